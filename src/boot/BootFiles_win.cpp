#include "boot/BootFiles_win.h"
#include "platform/Resources_win.h"

#include <windows.h>

#include "text/Wide_win.h"

namespace kx {
namespace {

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle() {
        if (valid()) CloseHandle(h_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

constexpr DWORD kReadMask = 0x37;
constexpr DWORD kWriteMask = 0x27;  // read-only, hidden, system, archive

}  // namespace

BootStampTime BootFileStamp() {
    // 2010-02-03 04:05:06 China time (UTC+8) is 20:05:06 UTC on Tuesday 2 February.
    return BootStampTime{2010, 2, 2, 2, 20, 5, 6};
}

bool BootFilesWin::WriteNewFile(const std::string& path, std::string_view bytes) {
    FileHandle file(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file.valid()) return false;
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 20));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

bool BootFilesWin::StampBootFile(const std::string& path) {
    const std::wstring wide = Widen(path);
    // A failed read gives all bits, as the mask is applied to -1.
    const DWORD attributes = (GetFileAttributesW(wide.c_str()) & kReadMask) | FILE_ATTRIBUTE_HIDDEN;
    SetFileAttributesW(wide.c_str(), attributes & kWriteMask);

    WIN32_FIND_DATAW found;
    HANDLE probe = FindFirstFileW((wide + L"\\nul").c_str(), &found);
    if (probe == INVALID_HANDLE_VALUE) return false;
    FindClose(probe);

    wchar_t shortName[260];
    const DWORD length = GetShortPathNameW(wide.c_str(), shortName, 260);
    if (length == 0 || length >= 260) return false;
    FileHandle file(CreateFileW(shortName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) return false;

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
        return false;
    return SetFileTime(file.get(), &created, &accessed, &written) != FALSE;
}

bool BootFilesWin::FileExists(const std::string& path) {
    return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool BootFilesWin::RemoveFile(const std::string& path) { return DeleteFileW(Widen(path).c_str()) != FALSE; }

bool BootFilesWin::CopyNewFile(const std::string& from, const std::string& to) {
    return CopyFileW(Widen(from).c_str(), Widen(to).c_str(), TRUE) != FALSE;
}

bool BootFilesWin::SetAttributes(const std::string& path, uint32_t attributes) {
    return SetFileAttributesW(Widen(path).c_str(), attributes) != FALSE;
}

bool BootFilesWin::WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                                      const std::string& value) {
    // The wide call keeps an ANSI boot.ini in the system's ANSI code page (936 on Chinese Windows).
    return WritePrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(value).c_str(),
                                      Widen(file).c_str()) != FALSE;
}

bool BootFilesWin::CreateFolder(const std::string& path) {
    return CreateDirectoryW(Widen(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::string_view ResourceBootAssets::Bytes(BootAsset asset) {
    const wchar_t* name = asset == BootAsset::Helper     ? L"KX_HELPER"
                          : asset == BootAsset::Loader   ? L"KX_LOADER"
                          : asset == BootAsset::DosImage ? L"KX_DOSIMAGE"
                                                         : L"KX_GHOST32";
    return ProgramResource(name);
}

}  // namespace kx
