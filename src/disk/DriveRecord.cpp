#include "disk/DriveRecord.h"

#include <cmath>
#include <cstdio>

namespace kx {
namespace {

constexpr double kGigabyte = 1073741824.0;

}  // namespace

double RoundToDecimals(double value, int decimals) {
    double scale = std::pow(10.0, decimals);
    double whole = 0;
    double fraction = std::modf(std::fabs(value) * scale + 1e-12, &whole);
    if (fraction >= 0.5) whole += 1;
    return std::copysign(whole / scale, value);
}

std::string NumberText(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.13g", value);
    std::string text = buffer;
    return text == "-0" ? "0" : text;
}

std::string DriveTypeName(int type) {
    static const char* const kNames[] = {"未知驱动器", "无效根路径", "可移动驱动器", "硬盘驱动器",
                                         "网络驱动器", "光盘驱动器", "RAM存储器"};
    return type >= 0 && type <= 6 ? kNames[type] : "";
}

std::string GetSystemDriveLetter(DrivePort& drives) { return drives.WindowsDirectory().substr(0, 1); }

std::vector<std::string> DriveLettersOfType(DrivePort& drives, int type) {
    std::vector<std::string> letters;
    for (char c = 'A'; c <= 'Z'; ++c)
        if (drives.DriveType(c) == type) letters.push_back(std::string(1, c) + ":");
    return letters;
}

std::string VolumeLabelOf(DrivePort& drives, char letter) {
    VolumeFacts v = drives.Volume(letter);
    if (!v.ok) return std::string(255, ' ');
    return v.label.empty() ? "本地磁盘" : v.label;
}

std::string FileSystemOf(DrivePort& drives, char letter) {
    VolumeFacts v = drives.Volume(letter);
    return v.ok ? v.fileSystem : std::string(255, ' ');
}

double TotalSizeGb(DrivePort& drives, char letter) {
    SpaceFacts s = drives.Space(letter);
    return RoundToDecimals(s.ok ? static_cast<double>(s.total) / kGigabyte : 0.0, 2);
}

double FreeSizeGb(DrivePort& drives, char letter) {
    SpaceFacts s = drives.Space(letter);
    return std::trunc(RoundToDecimals(s.ok ? static_cast<double>(s.availableToCaller) / kGigabyte : 0.0, 2));
}

std::string TotalSizeText(DrivePort& drives, char letter) { return NumberText(TotalSizeGb(drives, letter)) + " GB"; }

DriveRecord MakeDriveRecord(DrivePort& drives, const std::string& letter, const std::string& designator,
                            const std::string& systemLetter) {
    DriveRecord r;
    char l = letter.empty() ? '\0' : letter[0];
    bool system = !letter.empty() && letter == systemLetter;
    r.cells[kDriveCol] = letter + ":";
    r.cells[kDesignatorCol] = designator;
    r.cells[kTypeCol] = DriveTypeName(drives.DriveType(l));
    r.cells[kLabelCol] = VolumeLabelOf(drives, l);
    r.cells[kFileSystemCol] = FileSystemOf(drives, l);
    r.cells[kUsedCol] = NumberText(TotalSizeGb(drives, l) - FreeSizeGb(drives, l)) + " GB";
    r.cells[kTotalCol] = TotalSizeText(drives, l);
    r.cells[kSystemCol] = system ? "是" : "否";
    r.icon = system ? 0 : 1;
    return r;
}

}  // namespace kx
