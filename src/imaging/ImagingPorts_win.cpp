#include "imaging/ImagingPorts_win.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include <commdlg.h>
#include <shellapi.h>
#include <winioctl.h>

#include "boot/EfiVariables_win.h"
#include "imaging/ChoiceDialog_win.h"
#include "imaging/EspPort_win.h"
#include "platform/Handle_win.h"
#include "platform/LastError_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

// A drive without a medium (an empty card reader, a stick pulled during the search) would otherwise make
// Windows ask the user to insert one.
class QuietDriveErrors {
public:
    QuietDriveErrors() : old_(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
    ~QuietDriveErrors() { SetErrorMode(old_); }

private:
    UINT old_;
};

class ImageFilesWin : public ImageFilePort {
public:
    Result<std::vector<FoundEntry>> List(const std::string& folder, const std::string& pattern) override {
        QuietDriveErrors quiet;
        WIN32_FIND_DATAW data;
        UniqueFind find(FindFirstFileW(Widen(folder + pattern).c_str(), &data));
        std::vector<FoundEntry> entries;
        if (!find) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return entries;
            return Outcome::Failed("无法读取 " + folder, Win32Error{error, "FindFirstFileW"});
        }
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const bool folderEntry = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            // Junctions ("Documents and Settings" on 7) lead back into the drive: not followed.
            if (folderEntry && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
            entries.push_back(
                {Narrow(name), folderEntry, (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow});
        } while (FindNextFileW(find.get(), &data));
        return entries;
    }

    bool Exists(const std::string& path) override {
        QuietDriveErrors quiet;
        WIN32_FIND_DATAW data;
        UniqueFind find(FindFirstFileW(Widen(path).c_str(), &data));
        return static_cast<bool>(find);
    }

    std::optional<uint64_t> Size(const std::string& path) override {
        QuietDriveErrors quiet;
        UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size;
        if (!file || !GetFileSizeEx(file.get(), &size)) return std::nullopt;
        return static_cast<uint64_t>(size.QuadPart);
    }

    Result<std::string> ReadAt(const std::string& path, uint64_t offset, uint32_t size) override {
        QuietDriveErrors quiet;
        UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return LastError("无法打开 " + path, "CreateFileW");
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN))
            return LastError("无法读取 " + path, "SetFilePointerEx");
        std::string bytes(size, '\0');
        DWORD got = 0;
        if (size && !ReadFile(file.get(), bytes.data(), size, &got, nullptr))
            return LastError("无法读取 " + path, "ReadFile");
        bytes.resize(got);
        return bytes;
    }

    Outcome ShellCopy(const std::string& from, const std::string& to) override {
        // The shell wants lists of names, each ended by a null, the list by a second one.
        std::wstring source = Widen(from) + L'\0', target = Widen(to) + L'\0';
        SHFILEOPSTRUCTW op{};
        op.hwnd = GetActiveWindow();
        op.wFunc = FO_COPY;
        op.pFrom = source.c_str();
        op.pTo = target.c_str();
        op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR;
        const int result = SHFileOperationW(&op);
        if (op.fAnyOperationsAborted || result == ERROR_CANCELLED)
            return Outcome::Failed("复制已取消", Win32Error{kCancelledCode, "SHFileOperationW"});
        if (result != 0)
            return Outcome::Failed("复制 " + from + " 失败",
                                   Win32Error{static_cast<uint32_t>(result), "SHFileOperationW"});
        return Outcome::Done();
    }

    Outcome StartProcess(const std::string& commandLine) override {
        std::wstring line = Widen(commandLine);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return LastError("无法启动 " + commandLine, "CreateProcessW");
        UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
        // Ghost runs on by itself; the wait only lets its window come up before the program goes on.
        WaitForInputIdle(process.get(), 1000);
        return Outcome::Done();
    }
};

// "描述|*.GHO;*.ISO" as the dialog wants it: pairs separated by nulls, ended by two.
std::wstring DialogFilter(const std::string& filter) {
    std::wstring f = Widen(filter);
    for (wchar_t& ch : f)
        if (ch == L'|') ch = L'\0';
    return f + L'\0' + L'\0';
}

class FileDialogsWin : public FileDialogPort {
public:
    std::optional<std::string> Choose(const FileDialogRequest& request) override {
        std::wstring buffer(32768, L'\0');
        const std::wstring name = Widen(request.fileName);
        name.copy(buffer.data(), std::min<size_t>(name.size(), buffer.size() - 1));
        const std::wstring filter = request.filter.empty() ? std::wstring() : DialogFilter(request.filter);
        const std::wstring folder = Widen(request.folder);
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = GetActiveWindow();
        ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = buffer.data();
        ofn.nMaxFile = static_cast<DWORD>(buffer.size());
        ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
        // The program asks itself before it overwrites an image; the dialog does not ask twice.
        ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
                    (request.save ? 0 : OFN_FILEMUSTEXIST);
        const BOOL chosen = request.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
        if (!chosen) return std::nullopt;
        return Narrow(buffer.c_str());
    }
};

#ifndef IOCTL_VOLUME_IS_DYNAMIC
#define IOCTL_VOLUME_IS_DYNAMIC CTL_CODE(0x56, 18, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif

class MachineWin : public MachinePort {
public:
    // Under Wine no drive is a partition of a disk: the scenarios give the identities
    // ("C=5A3C0F12:1048576;D=5A3C0F12:68157440", a GPT one "C=DISK-GUID/PARTITION-GUID:1048576" with the
    // partition on a GPT disk) in KORVANIX_DISK_IDENTITIES, and the firmware ("uefi", "bios") in
    // KORVANIX_FIRMWARE, as the restart port takes its log.
    MachineWin(std::string fakeIdentities, std::string fakeFirmware)
        : fakeIdentities_(std::move(fakeIdentities)), fakeFirmware_(std::move(fakeFirmware)) {}

    Firmware FirmwareType() override {
        if (fakeFirmware_ == "uefi") return Firmware::Uefi;
        if (fakeFirmware_ == "bios") return Firmware::Bios;
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        // Windows 8 and later say it directly.
        using GetFirmwareTypeFn = BOOL(WINAPI*)(DWORD*);
        if (auto getType = reinterpret_cast<GetFirmwareTypeFn>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "GetFirmwareType")))) {
            DWORD type = 0;
            if (getType(&type)) return type == 1 ? Firmware::Bios : type == 2 ? Firmware::Uefi : Firmware::Unknown;
        }
        // Windows 7: on BIOS firmware every firmware variable read fails with ERROR_INVALID_FUNCTION.
        using GetVariableFn = DWORD(WINAPI*)(LPCWSTR, LPCWSTR, PVOID, DWORD);
        auto getVariable = reinterpret_cast<GetVariableFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "GetFirmwareEnvironmentVariableW")));
        if (!getVariable) return Firmware::Bios;  // XP before SP1 knows nothing but BIOS
        if (getVariable(L"", L"{00000000-0000-0000-0000-000000000000}", nullptr, 0) == 0 &&
            GetLastError() == ERROR_INVALID_FUNCTION)
            return Firmware::Bios;
        return Firmware::Uefi;
    }

    PartitionStyle StyleOf(char letter) override {
        if (!fakeIdentities_.empty()) {
            auto id = FakeIdentity(letter);
            return !id ? PartitionStyle::Unknown : id.value().IsGpt() ? PartitionStyle::Gpt : PartitionStyle::Mbr;
        }
        const std::wstring volume = std::wstring(L"\\\\.\\") + static_cast<wchar_t>(letter) + L":";
        UniqueFile device(
            CreateFileW(volume.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!device) return PartitionStyle::Unknown;
        DWORD returned = 0;
        if (DeviceIoControl(device.get(), IOCTL_VOLUME_IS_DYNAMIC, nullptr, 0, nullptr, 0, &returned, nullptr))
            return PartitionStyle::Dynamic;
        PARTITION_INFORMATION_EX info{};
        if (!DeviceIoControl(device.get(), IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &info, sizeof info, &returned,
                             nullptr))
            return PartitionStyle::Unknown;
        if (info.PartitionStyle == PARTITION_STYLE_GPT)
            return HasHybridMbr(letter) ? PartitionStyle::Hybrid : PartitionStyle::Gpt;
        if (info.PartitionStyle != PARTITION_STYLE_MBR) return PartitionStyle::Unknown;
        constexpr BYTE kLogicalDiskManager = 0x42;
        return info.Mbr.PartitionType == kLogicalDiskManager ? PartitionStyle::Dynamic : PartitionStyle::Mbr;
    }

    Result<PartitionIdentity> IdentityOf(char letter) override {
        auto id = fakeIdentities_.empty() ? ReadIdentity(letter) : FakeIdentity(letter);
        // A disk without a signature (never initialised by Windows) cannot be found again at the next start.
        if (id && !id.value().IsGpt() && id.value().diskSignature == 0)
            return Outcome::Failed("分区 " + std::string(1, letter) + ": 所在的磁盘没有磁盘签名");
        return id;
    }

private:
    Result<PartitionIdentity> ReadIdentity(char letter) {
        const std::string drive = std::string(1, letter) + ":";
        // One extent: a volume over several partitions or disks cannot be named by one start offset.
        auto extents = VolumeExtentsOf(letter);
        if (!extents) return extents.outcome();
        if (extents.value().count != 1)
            return Outcome::Failed("分区 " + drive + " 跨越了多个磁盘区域，映像引擎无法处理");
        const uint64_t start = static_cast<uint64_t>(extents.value().first.StartingOffset.QuadPart);
        UniqueFile whole = OpenPhysicalDisk(extents.value().first.DiskNumber);
        if (!whole) return LastError("无法打开分区 " + drive + " 所在的磁盘", "CreateFileW");
        auto layout = DriveLayout(whole.get());
        if (!layout) return Outcome::Failed("无法读取分区 " + drive + " 所在磁盘的分区表", layout.outcome().error());
        const auto* info = reinterpret_cast<const DRIVE_LAYOUT_INFORMATION_EX*>(layout.value().data());
        if (info->PartitionStyle == PARTITION_STYLE_MBR) return PartitionIdentity{info->Mbr.Signature, start};
        if (info->PartitionStyle != PARTITION_STYLE_GPT)
            return Outcome::Failed("分区 " + drive + " 所在磁盘的分区表既不是 MBR 也不是 GPT");
        // On GPT the disk's and the partition's GUIDs, in the byte order the disk stores them (a GUID's first
        // three fields are little-endian in memory as on disk).
        PartitionIdentity id;
        std::memcpy(id.diskGuid.bytes.data(), &info->Gpt.DiskId, 16);
        id.startOffset = start;
        for (DWORD i = 0; i < info->PartitionCount; ++i)
            if (static_cast<uint64_t>(info->PartitionEntry[i].StartingOffset.QuadPart) == start)
                std::memcpy(id.partitionGuid.bytes.data(), &info->PartitionEntry[i].Gpt.PartitionId, 16);
        if (id.partitionGuid.IsZero()) return Outcome::Failed("分区 " + drive + " 不在所在磁盘的 GPT 分区表中");
        return id;
    }

    // A GPT disk whose first sector lists partitions besides the protective one (type 0xEE).
    bool HasHybridMbr(char letter) {
        auto extents = VolumeExtentsOf(letter);
        if (!extents) return false;
        UniqueFile whole = OpenPhysicalDisk(extents.value().first.DiskNumber);
        DWORD returned = 0;
        // Whole sectors of any size: 4096 bytes hold the first one.
        std::vector<unsigned char> sector(4096);
        if (!whole || !ReadFile(whole.get(), sector.data(), static_cast<DWORD>(sector.size()), &returned, nullptr) ||
            returned < 512 || sector[510] != 0x55 || sector[511] != 0xAA)
            return false;
        for (int entry = 0; entry < 4; ++entry) {
            const unsigned char type = sector[446 + entry * 16 + 4];
            if (type != 0 && type != 0xEE) return true;
        }
        return false;
    }

    Result<PartitionIdentity> FakeIdentity(char letter) {
        const std::string key = std::string(1, letter) + "=";
        size_t at = 0;
        while (at < fakeIdentities_.size()) {
            size_t end = fakeIdentities_.find(';', at);
            if (end == std::string::npos) end = fakeIdentities_.size();
            if (fakeIdentities_.compare(at, key.size(), key) == 0)
                return ParseIdentity(std::string_view(fakeIdentities_).substr(at + key.size(), end - at - key.size()));
            at = end + 1;
        }
        return Outcome::Failed("无法读取分区 " + std::string(1, letter) + ": 在磁盘上的位置");
    }

    std::string fakeIdentities_, fakeFirmware_;
};

class RestartWin : public RestartPort {
public:
    explicit RestartWin(std::wstring log) : log_(std::move(log)) {}

    Outcome Request(const RestartRequest& request) override {
        const Outcome privileged = request.enablePrivilege ? EnableShutdownPrivilege() : Outcome::Done();
        if (!log_.empty()) return Log(request, privileged);
        if (!privileged) return privileged;
        BOOL accepted = FALSE;
        const char* call = "SetSystemPowerState";
        switch (request.method) {
            case RestartRequest::ExitWindows:
                call = "ExitWindowsEx";
                accepted = ExitWindowsEx(request.flags, SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_FLAG_PLANNED);
                break;
            case RestartRequest::Suspend:
                accepted = SetSystemPowerState(TRUE, request.force);
                break;
            case RestartRequest::Hibernate:
                accepted = SetSystemPowerState(FALSE, request.force);
                break;
        }
        return accepted ? Outcome::Done() : LastError(kRefused, call);
    }

private:
    static constexpr const char* kRefused = "Windows 没有接受重新启动的请求";

    static Outcome EnableShutdownPrivilege() {
        constexpr const char* kNoPrivilege = "无法取得重新启动电脑的权限";
        UniqueKernelHandle token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
            return LastError(kNoPrivilege, "OpenProcessToken");
        TOKEN_PRIVILEGES tp{};
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &tp.Privileges[0].Luid))
            return LastError(kNoPrivilege, "LookupPrivilegeValueW");
        // AdjustTokenPrivileges succeeds even when it enabled nothing; only the last error tells.
        SetLastError(ERROR_SUCCESS);
        AdjustTokenPrivileges(token.get(), FALSE, &tp, 0, nullptr, nullptr);
        return GetLastError() == ERROR_SUCCESS ? Outcome::Done() : LastError(kNoPrivilege, "AdjustTokenPrivileges");
    }

    Outcome Log(const RestartRequest& request, const Outcome& privileged) {
        const char* method = request.method == RestartRequest::ExitWindows ? "ExitWindowsEx"
                             : request.method == RestartRequest::Suspend   ? "suspend"
                                                                           : "hibernate";
        const std::string line = std::string(method) + " flags=" + std::to_string(request.flags) +
                                 " force=" + (request.force ? "1" : "0") +
                                 " privilege=" + (privileged ? "enabled" : "refused") + "\r\n";
        UniqueFile file(CreateFileW(log_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return LastError("无法写入重新启动的记录", "CreateFileW");
        DWORD written = 0;
        if (!WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
            return LastError("无法写入重新启动的记录", "WriteFile");
        return privileged;
    }

    std::wstring log_;
};

struct WindowsImagingPorts : OwnedImagingPorts {
    WindowsImagingPorts(std::wstring restartLog, std::string fakeIdentities, std::string fakeFirmware)
        : machine(std::move(fakeIdentities), std::move(fakeFirmware)), restart(std::move(restartLog)) {
        ports = ImagingPorts{&files, &dialogs, &machine, &restart, &choices};
        ports.esp = esp.get();
        ports.efiVariables = efiVariables.get();
    }
    std::unique_ptr<EspPort> esp = MakeEspPort();
    std::unique_ptr<EfiVariablePort> efiVariables = MakeEfiVariablePort();
    ImageFilesWin files;
    FileDialogsWin dialogs;
    MachineWin machine;
    RestartWin restart;
    ChoiceDialogWin choices;
};

}  // namespace

std::unique_ptr<OwnedImagingPorts> MakeImagingPorts() {
    wchar_t log[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(L"KORVANIX_RESTART_LOG", log, MAX_PATH);
    wchar_t identities[512] = {};
    const DWORD m = GetEnvironmentVariableW(L"KORVANIX_DISK_IDENTITIES", identities, 512);
    wchar_t firmware[16] = {};
    const DWORD f = GetEnvironmentVariableW(L"KORVANIX_FIRMWARE", firmware, 16);
    return std::make_unique<WindowsImagingPorts>(n > 0 && n < MAX_PATH ? std::wstring(log, n) : std::wstring(),
                                                 m > 0 && m < 512 ? Narrow(std::wstring(identities, m)) : std::string(),
                                                 f > 0 && f < 16 ? Narrow(std::wstring(firmware, f)) : std::string());
}

}  // namespace kx
