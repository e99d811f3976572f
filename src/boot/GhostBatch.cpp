#include "boot/GhostBatch.h"

#include "boot/BootAssets.h"
#include "text/Text.h"

namespace kx {
namespace {

void RemoveAll(std::string& text, std::string_view what) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at)) text.erase(at, what.size());
}

}  // namespace

std::string FormatLine(std::string_view format, std::initializer_list<std::string_view> values) {
    std::string out;
    auto value = values.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' && value != values.end()) {
            out += *value++;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

std::string GhostRestoreJob(const std::string& imageGhostPath, const std::string& partitionInImage,
                            const std::string& target) {
    return FormatLine(GhostRestoreLine, {imageGhostPath, partitionInImage, target});
}

std::string GhostBackupJob(const std::string& source, const std::string& imageGhostPath) {
    return FormatLine(GhostBackupLine, {source, imageGhostPath});
}

std::string DesignatorOfDrive(const PartitionRows& rows, const std::string& driveLetter) {
    const std::string drive = AsciiUpper(driveLetter.substr(0, 1)) + ":";
    for (const DriveRecord& row : rows)
        if (row.cells[kDriveCol] == drive) return row.cells[kDesignatorCol];
    return "0:0";
}

std::string DriveOfDesignator(const PartitionRows& rows, const std::string& designator) {
    for (const DriveRecord& row : rows)
        if (row.cells[kDesignatorCol] == designator) return row.cells[kDriveCol].substr(0, 1);
    return "C";
}

std::string ToGhostPath(const PartitionRows& rows, const std::string& windowsPath) {
    const std::string rest = windowsPath.size() > 2 ? windowsPath.substr(2) : std::string();
    return DesignatorOfDrive(rows, windowsPath.substr(0, 1)) + rest;
}

std::string FolderOfPath(const std::string& path) {
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ImageFolderOfGhostPath(const PartitionRows& rows, const std::string& imageGhostPath) {
    // The designator runs up to the first "\": disks or partitions numbered 10 and up ("1:12") are longer
    // than three characters.
    const size_t slash = imageGhostPath.find('\\');
    const std::string designator = imageGhostPath.substr(0, slash);
    const std::string rest = slash == std::string::npos ? std::string() : imageGhostPath.substr(slash);
    return FolderOfPath(DriveOfDesignator(rows, designator) + ":" + rest);
}

Outcome CreateImageFolder(const PartitionRows& rows, BootFilePort& files, const std::string& imageGhostPath) {
    const std::string folder = ImageFolderOfGhostPath(rows, imageGhostPath);
    return folder.empty() ? Outcome::Done() : files.CreateFolder(folder);
}

Outcome WriteGhostBatch(BootFilePort& files, const std::string& systemDrive, const std::string& jobText, bool stamp) {
    const std::string root = DriveRoot(systemDrive);
    if (root.empty()) return Outcome::Failed("不知道系统盘是哪个盘，无法写入 Ghost.bat");
    const std::string path = root + kGhostBatchFile;
    // Always deleted first: the file left by an earlier job is hidden, and a hidden file is not replaced.
    // A read-only one (the DOS side marks ghost*.* read-only) is not deleted either, hence the attributes.
    if (files.FileExists(path)) {
        (void)files.SetAttributes(path, kArchiveOnly);
        Outcome removed = files.RemoveFile(path);
        if (!removed) return removed;
    }
    Outcome written = files.WriteNewFile(path, ToCodePage(jobText, kChineseCodePage));
    // The stamp hides and dates the file; a job that is not dated still runs.
    if (written && stamp) (void)files.StampBootFile(path);
    return written;
}

std::string WindowsGhostCommandLine(const std::string& sourceDesignator, const std::string& imageGhostPath) {
    std::string line = GhostBackupJob(sourceDesignator, imageGhostPath);
    RemoveAll(line, "Ghost.exe");
    RemoveAll(line, " -rb");
    const size_t lineEnd = line.find_first_of("\r\n");
    if (lineEnd != std::string::npos) line.erase(lineEnd);
    return std::string("C:\\ghost32.exe ") + line;
}

}  // namespace kx
