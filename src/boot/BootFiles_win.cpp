#include "boot/BootFiles_win.h"

#include <windows.h>

#include <algorithm>

#include "platform/Handle_win.h"
#include "platform/LastError_win.h"
#include "platform/Resources_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

constexpr DWORD kReadMask = 0x37;
constexpr DWORD kWriteMask = 0x27;  // read-only, hidden, system, archive

}  // namespace

BootStampTime BootFileStamp() {
    // 2010-02-03 04:05:06 China time (UTC+8) is 20:05:06 UTC on Tuesday 2 February.
    return BootStampTime{2010, 2, 2, 2, 20, 5, 6};
}

Outcome BootFilesWin::WriteNewFile(const std::string& path, std::string_view bytes) {
    const std::string what = "写入 " + path + " 失败";
    UniqueFile file(
        CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastError(what, "CreateFileW");
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 20));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr)) return LastError(what, "WriteFile");
        if (written == 0) return Outcome::Failed(what, Win32Error{ERROR_DISK_FULL, "WriteFile"});
        bytes.remove_prefix(written);
    }
    // Data the cache could not write out shows up only here.
    if (!CloseHandle(file.release())) return LastError(what, "CloseHandle");
    return Outcome::Done();
}

Outcome BootFilesWin::StampBootFile(const std::string& path) {
    const std::string what = "设置 " + path + " 的时间失败";
    const std::wstring wide = Widen(path);
    // A failed read gives all bits, as the mask is applied to -1.
    const DWORD attributes = (GetFileAttributesW(wide.c_str()) & kReadMask) | FILE_ATTRIBUTE_HIDDEN;
    SetFileAttributesW(wide.c_str(), attributes & kWriteMask);

    // The time stamps are set only where a find for the path followed by "\nul" finds something: on a
    // file, Windows answers that probe per version and file system.
    WIN32_FIND_DATAW found;
    UniqueFind probe(FindFirstFileW((wide + L"\\nul").c_str(), &found));
    if (!probe) return LastError(what, "FindFirstFileW");
    probe.reset();

    wchar_t shortName[260];
    const DWORD length = GetShortPathNameW(wide.c_str(), shortName, 260);
    if (length == 0) return LastError(what, "GetShortPathNameW");
    if (length >= 260) return Outcome::Failed(what, Win32Error{ERROR_FILENAME_EXCED_RANGE, "GetShortPathNameW"});
    UniqueFile file(CreateFileW(shortName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return LastError(what, "CreateFileW");

    const BootStampTime t = BootFileStamp();
    SYSTEMTIME stamp{};
    stamp.wYear = static_cast<WORD>(t.year);
    stamp.wMonth = static_cast<WORD>(t.month);
    stamp.wDayOfWeek = static_cast<WORD>(t.dayOfWeek);
    stamp.wDay = static_cast<WORD>(t.day);
    stamp.wHour = static_cast<WORD>(t.hour);
    stamp.wMinute = static_cast<WORD>(t.minute);
    stamp.wSecond = static_cast<WORD>(t.second);
    FILETIME created, accessed, written;
    if (!SystemTimeToFileTime(&stamp, &created) || !SystemTimeToFileTime(&stamp, &accessed) ||
        !SystemTimeToFileTime(&stamp, &written))
        return LastError(what, "SystemTimeToFileTime");
    if (!SetFileTime(file.get(), &created, &accessed, &written)) return LastError(what, "SetFileTime");
    return Outcome::Done();
}

bool BootFilesWin::FileExists(const std::string& path) {
    return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

Result<bool> BootFilesWin::WrittenSinceWindowsStarted(const std::string& path) {
    const std::string what = "读不出 " + path + " 是否在这次启动 Windows 之后写的";
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data))
        return LastError(what, "GetFileAttributesExW");
    // The boot time as the kernel keeps it (the first fields of SYSTEM_TIMEOFDAY_INFORMATION, which every
    // version from XP on accepts at this length): a tick count would wrap after 49.7 days on XP.
    using Query = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return LastError(what, "GetProcAddress");
    constexpr int kSystemTimeOfDayInformation = 3;
    struct {
        LARGE_INTEGER bootTime, currentTime, timeZoneBias;
        ULONG timeZoneId, reserved;
    } timeOfDay{};
    const LONG status = query(kSystemTimeOfDayInformation, &timeOfDay, sizeof timeOfDay, nullptr);
    if (status < 0) return Outcome::Failed(what, Win32Error{static_cast<uint32_t>(status), "NtQuerySystemInformation"});
    const ULONGLONG written =
        (ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return written >= static_cast<ULONGLONG>(timeOfDay.bootTime.QuadPart);
}

Result<std::string> BootFilesWin::ReadSmallFile(const std::string& path, size_t limit) {
    const std::string what = "读取 " + path + " 失败";
    UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastError(what, "CreateFileW");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return LastError(what, "GetFileSizeEx");
    if (static_cast<uint64_t>(size.QuadPart) > limit) return Outcome::Failed(path + " 太大，没有读取");
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got, nullptr))
            return LastError(what, "ReadFile");
        if (got == 0) break;  // shortened meanwhile
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

Outcome BootFilesWin::RemoveFile(const std::string& path) {
    if (DeleteFileW(Widen(path).c_str())) return Outcome::Done();
    return LastError("删除 " + path + " 失败", "DeleteFileW");
}

Outcome BootFilesWin::CopyNewFile(const std::string& from, const std::string& to) {
    if (CopyFileW(Widen(from).c_str(), Widen(to).c_str(), TRUE)) return Outcome::Done();
    return LastError("把 " + from + " 复制为 " + to + " 失败", "CopyFileW");
}

Outcome BootFilesWin::MoveReplacing(const std::string& from, const std::string& to) {
    // A rename within the volume: boot.ini is the old file or the new one at every moment, never missing.
    if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Outcome::Done();
    return LastError("把 " + from + " 改回 " + to + " 失败", "MoveFileExW");
}

Outcome BootFilesWin::SetAttributes(const std::string& path, uint32_t attributes) {
    if (SetFileAttributesW(Widen(path).c_str(), attributes)) return Outcome::Done();
    return LastError("修改 " + path + " 的属性失败", "SetFileAttributesW");
}

Outcome BootFilesWin::WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                                    const std::string& value) {
    // The wide call keeps an ANSI boot.ini in the system's ANSI code page (936 on Chinese Windows).
    if (WritePrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(value).c_str(),
                                   Widen(file).c_str()))
        return Outcome::Done();
    return LastError("写入 " + file + " 的 [" + section + "] " + key + " 失败", "WritePrivateProfileStringW");
}

std::string BootFilesWin::ReadIniValue(const std::string& file, const std::string& section, const std::string& key) {
    wchar_t value[1024] = {};
    GetPrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), L"", value, 1024, Widen(file).c_str());
    return Narrow(value);
}

Outcome BootFilesWin::CreateFolder(const std::string& path) {
    if (CreateDirectoryW(Widen(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        return Outcome::Done();
    return LastError("创建文件夹 " + path + " 失败", "CreateDirectoryW");
}

Outcome BootFilesWin::RemoveFolder(const std::string& path) {
    if (RemoveDirectoryW(Widen(path).c_str())) return Outcome::Done();
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Outcome::Done();
    return Outcome::Failed("删除文件夹 " + path + " 失败", Win32Error{error, "RemoveDirectoryW"});
}

std::string_view ResourceBootAssets::Bytes(BootAsset asset) {
    const wchar_t* name = asset == BootAsset::Helper         ? L"KX_HELPER"
                          : asset == BootAsset::Loader       ? L"KX_LOADER"
                          : asset == BootAsset::DosImage     ? L"KX_DOSIMAGE"
                          : asset == BootAsset::EngineKernel ? L"KX_ENGINE_KERNEL"
                          : asset == BootAsset::EngineInitrd ? L"KX_ENGINE_INITRD"
                          : asset == BootAsset::EfiShim      ? L"KX_EFI_SHIM"
                          : asset == BootAsset::EfiGrub      ? L"KX_EFI_GRUB"
                          : asset == BootAsset::EfiKernel    ? L"KX_EFI_KERNEL"
                          : asset == BootAsset::EfiModules   ? L"KX_EFI_MODULES"
                                                             : L"KX_GHOST32";
    return ProgramResource(name);
}

}  // namespace kx
