#include "imaging/EspPort_win.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <winioctl.h>

#include "platform/Handle_win.h"
#include "platform/LastError_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

const char* const kEspType = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B";

std::wstring Env(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

// The value for `letter` in "C=...;D=...".
std::string ValueFor(const std::string& list, char letter) {
    const std::string key = std::string(1, letter) + "=";
    for (size_t at = 0; at < list.size();) {
        size_t end = list.find(';', at);
        if (end == std::string::npos) end = list.size();
        if (list.compare(at, key.size(), key) == 0) return list.substr(at + key.size(), end - at - key.size());
        at = end + 1;
    }
    return {};
}

Result<uint64_t> FreeBytesOf(const std::string& root) {
    ULARGE_INTEGER free{};
    if (!GetDiskFreeSpaceExW(Widen(root).c_str(), &free, nullptr, nullptr))
        return LastError("无法读取 " + root + " 的剩余空间", "GetDiskFreeSpaceExW");
    return static_cast<uint64_t>(free.QuadPart);
}

class EspWin : public EspPort {
public:
    Result<EfiPartition> Find(char letter) override {
        const std::string drive = std::string(1, letter) + ":";
        auto extents = VolumeExtentsOf(letter);
        if (!extents) return extents.outcome();
        UniqueFile disk = OpenPhysicalDisk(extents.value().first.DiskNumber);
        DWORD returned = 0;
        if (!disk) return LastError("无法打开分区 " + drive + " 所在的磁盘", "CreateFileW");
        DISK_GEOMETRY geometry{};
        if (!DeviceIoControl(disk.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry,
                             &returned, nullptr) ||
            geometry.BytesPerSector == 0)
            return LastError("无法读取分区 " + drive + " 所在磁盘的扇区大小", "IOCTL_DISK_GET_DRIVE_GEOMETRY");
        auto layout = DriveLayout(disk.get());
        if (!layout) return Outcome::Failed("无法读取分区 " + drive + " 所在磁盘的分区表", layout.outcome().error());
        const auto* info = reinterpret_cast<const DRIVE_LAYOUT_INFORMATION_EX*>(layout.value().data());
        if (info->PartitionStyle != PARTITION_STYLE_GPT)
            return Outcome::Failed("分区 " + drive + " 所在的磁盘不是 GPT 磁盘，上面没有 EFI 系统分区");
        const Guid espType = ParseGuid(kEspType).value();
        for (DWORD i = 0; i < info->PartitionCount; ++i) {
            const PARTITION_INFORMATION_EX& p = info->PartitionEntry[i];
            Guid type;
            std::memcpy(type.bytes.data(), &p.Gpt.PartitionType, 16);
            if (type != espType) continue;
            EfiPartition esp;
            esp.number = p.PartitionNumber;
            esp.startLba = static_cast<uint64_t>(p.StartingOffset.QuadPart) / geometry.BytesPerSector;
            esp.sizeLba = static_cast<uint64_t>(p.PartitionLength.QuadPart) / geometry.BytesPerSector;
            std::memcpy(esp.partitionGuid.bytes.data(), &p.Gpt.PartitionId, 16);
            return esp;
        }
        return Outcome::Failed("分区 " + drive + " 所在的磁盘上没有 EFI 系统分区");
    }

    Result<std::string> Mount() override {
        const DWORD used = GetLogicalDrives();
        char letter = 0;
        for (char l = 'Z'; l >= 'D' && !letter; --l)
            if (!(used & (1u << (l - 'A')))) letter = l;
        if (!letter) return Outcome::Failed("没有空闲的盘符可以打开 EFI 系统分区");
        const std::string root = std::string(1, letter) + ":\\";
        std::wstring line = L"mountvol.exe " + std::wstring(1, static_cast<wchar_t>(letter)) + L": /S";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                            &pi))
            return LastError("无法运行 mountvol", "CreateProcessW");
        UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
        DWORD code = 1;
        if (WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.get(), &code) ||
            code != 0)
            return Outcome::Failed("mountvol " + std::string(1, letter) + ": /S 没有成功",
                                   Win32Error{code, "mountvol"});
        if (GetFileAttributesW(Widen(root).c_str()) == INVALID_FILE_ATTRIBUTES) {
            (void)Unmount(root);
            return LastError("EFI 系统分区打开后无法读取", "GetFileAttributesW");
        }
        return root;
    }

    Outcome Unmount(const std::string& root) override {
        if (DeleteVolumeMountPointW(Widen(root).c_str())) return Outcome::Done();
        return LastError("无法卸下 " + root, "DeleteVolumeMountPointW");
    }

    Result<uint64_t> FreeBytes(const std::string& root) override { return FreeBytesOf(root); }

    Result<std::string> FileSystemSerial(char letter) override {
        const std::string drive = std::string(1, letter) + ":";
        const std::wstring volume = std::wstring(L"\\\\.\\") + static_cast<wchar_t>(letter) + L":";
        UniqueFile device(CreateFileW(volume.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        NTFS_VOLUME_DATA_BUFFER ntfs{};
        DWORD returned = 0;
        char text[20];
        if (device && DeviceIoControl(device.get(), FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, &ntfs, sizeof ntfs,
                                      &returned, nullptr)) {
            std::snprintf(text, sizeof text, "%016llx",
                          static_cast<unsigned long long>(ntfs.VolumeSerialNumber.QuadPart));
            return std::string(text);
        }
        // FAT32 keeps a 32-bit serial, which Windows reports as it stands in the boot sector.
        wchar_t fileSystem[32] = {};
        DWORD serial = 0;
        const std::wstring root = std::wstring(1, static_cast<wchar_t>(letter)) + L":\\";
        if (!GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, fileSystem, 32))
            return LastError("无法读取分区 " + drive + " 的文件系统", "GetVolumeInformationW");
        if (std::wstring(fileSystem) != L"FAT32")
            return Outcome::Failed("分区 " + drive + " 的文件系统不是 NTFS 或 FAT32");
        std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(serial));
        return std::string(text);
    }
};

// The test hook: the partition KORVANIX_ESP describes, a folder of the prefix standing for its files.
class EspFolder : public EspPort {
public:
    EspFolder(std::string description, std::string serials) : serials_(std::move(serials)) {
        std::vector<std::string> fields;
        for (size_t at = 0;;) {
            const size_t bar = description.find('|', at);
            fields.push_back(description.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
            if (bar == std::string::npos) break;
            at = bar + 1;
        }
        if (fields.size() != 5) return;
        folder_ = fields[0];
        while (!folder_.empty() && folder_.back() == '\\') folder_.pop_back();
        auto guid = ParseGuid(fields[2]);
        if (!guid) return;
        esp_ = EfiPartition{static_cast<uint32_t>(std::strtoul(fields[1].c_str(), nullptr, 10)),
                            std::strtoull(fields[3].c_str(), nullptr, 10),
                            std::strtoull(fields[4].c_str(), nullptr, 10), guid.value()};
    }
    Result<EfiPartition> Find(char) override {
        if (esp_.number == 0) return Outcome::Failed("KORVANIX_ESP 的格式不对");
        return esp_;
    }
    Result<std::string> Mount() override {
        if (GetFileAttributesW(Widen(folder_).c_str()) == INVALID_FILE_ATTRIBUTES)
            return LastError("无法打开 " + folder_, "GetFileAttributesW");
        return folder_ + "\\";
    }
    Outcome Unmount(const std::string&) override { return Outcome::Done(); }
    Result<uint64_t> FreeBytes(const std::string& root) override { return FreeBytesOf(root); }
    Result<std::string> FileSystemSerial(char letter) override {
        const std::string serial = ValueFor(serials_, letter);
        if (serial.empty()) return Outcome::Failed("KORVANIX_VOLUME_SERIALS 没有分区 " + std::string(1, letter) + ":");
        return serial;
    }

private:
    std::string folder_, serials_;
    EfiPartition esp_;
};

}  // namespace

Result<std::vector<unsigned char>> DriveLayout(HANDLE disk) {
    std::vector<unsigned char> layout(sizeof(DRIVE_LAYOUT_INFORMATION_EX) + 16 * sizeof(PARTITION_INFORMATION_EX));
    DWORD returned = 0;
    while (!DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, layout.data(),
                            static_cast<DWORD>(layout.size()), &returned, nullptr)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || layout.size() > 1048576)
            return LastError("无法读取磁盘的分区表", "IOCTL_DISK_GET_DRIVE_LAYOUT_EX");
        layout.resize(layout.size() * 2);
    }
    return layout;
}

Result<VolumeExtents> VolumeExtentsOf(char letter) {
    const std::string drive = std::string(1, letter) + ":";
    const std::wstring volume = std::wstring(L"\\\\.\\") + static_cast<wchar_t>(letter) + L":";
    UniqueFile device(
        CreateFileW(volume.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!device) return LastError("无法打开分区 " + drive, "CreateFileW");
    VOLUME_DISK_EXTENTS extents{};
    DWORD returned = 0;
    if (!DeviceIoControl(device.get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &extents, sizeof extents,
                         &returned, nullptr))
        return LastError("无法读取分区 " + drive + " 在磁盘上的位置", "IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS");
    return VolumeExtents{extents.NumberOfDiskExtents, extents.Extents[0]};
}

UniqueFile OpenPhysicalDisk(DWORD number) {
    const std::wstring physical = L"\\\\.\\PhysicalDrive" + std::to_wstring(number);
    return UniqueFile(CreateFileW(physical.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
}

std::unique_ptr<EspPort> MakeEspPort() {
    const std::wstring hook = Env(L"KORVANIX_ESP");
    if (!hook.empty()) return std::make_unique<EspFolder>(Narrow(hook), Narrow(Env(L"KORVANIX_VOLUME_SERIALS")));
    return std::make_unique<EspWin>();
}

}  // namespace kx
