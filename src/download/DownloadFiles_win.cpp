#include "download/DownloadFiles_win.h"

#include <windows.h>

#include <vector>

#include "download/Sha256.h"
#include "platform/Handle_win.h"
#include "text/Wide_win.h"

namespace kx {

bool DownloadFilesWin::IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Outcome DownloadFilesWin::Remove(const std::string& path) {
    if (DeleteFileW(Widen(path).c_str())) return Outcome::Done();
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Outcome::Done();
    return Outcome::Failed("删除 " + path, {error, "DeleteFileW"});
}

Outcome DownloadFilesWin::Flush(const std::string& path) {
    // The component wrote the file through a mapping and has closed it; the pages it wrote may still be
    // waiting in the system's cache. Flushing needs a handle with write access.
    UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Outcome::Failed("打开 " + path, {GetLastError(), "CreateFileW"});
    if (!FlushFileBuffers(file.get()))
        return Outcome::Failed("把 " + path + " 写入磁盘", {GetLastError(), "FlushFileBuffers"});
    return Outcome::Done();
}

Outcome DownloadFilesWin::Replace(const std::string& from, const std::string& to) {
    // MoveFileExW with REPLACE_EXISTING is on XP too; the two names are on one drive, so it is a rename, and
    // WRITE_THROUGH returns only once it is on the disk.
    if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Outcome::Done();
    return Outcome::Failed("把 " + from + " 改名为 " + to, {GetLastError(), "MoveFileExW"});
}

Result<std::string> DownloadFilesWin::Sha256Of(const std::string& path, const HashProgress& progress) {
    UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return Outcome::Failed("打开 " + path, {GetLastError(), "CreateFileW"});
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return Outcome::Failed("读取 " + path, {GetLastError(), "GetFileSizeEx"});
    const uint64_t total = static_cast<uint64_t>(size.QuadPart);
    std::vector<uint8_t> buffer(1 << 20);
    Sha256 hash;
    uint64_t done = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            return Outcome::Failed("读取 " + path, {GetLastError(), "ReadFile"});
        if (read == 0) break;
        hash.Update(buffer.data(), read);
        done += read;
        if (progress && !progress(done, total)) return Outcome::Failed("校验 " + path + " 已取消");
    }
    return hash.HexDigest();
}

namespace {

// The root of the path's drive: "D:\VX_win7_sp1_64.gho" -> "D:\".
std::string RootOf(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) + "\\" : path;
}

}  // namespace

uint64_t DownloadFilesWin::FreeBytes(const std::string& path) {
    const std::string root = RootOf(path);
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(Widen(root).c_str(), &available, nullptr, nullptr)) return UINT64_MAX;
    return available.QuadPart;
}

std::string DownloadFilesWin::FileSystem(const std::string& path) {
    wchar_t name[MAX_PATH + 1] = {0};
    if (!GetVolumeInformationW(Widen(RootOf(path)).c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH))
        return {};
    return Narrow(name);
}

}  // namespace kx
