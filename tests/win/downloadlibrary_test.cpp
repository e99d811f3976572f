#include "download/DownloadLibrary_win.h"

// Winsock 2 must come before anything that includes <windows.h>.
#include "LoopbackServer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace kx {
namespace {

TEST(DownloadComponent, LoadsFromTheProgramsResourceAndBindsAllFiveEntryPoints) {
    DownloadEntryPoints entry = LoadDownloadComponent();
    ASSERT_TRUE(entry.Bound());
    // The component answers through the bound pointers: an empty address is refused without a handle.
    EXPECT_EQ(entry.start(nullptr, nullptr, nullptr, nullptr, L"x", 32, 10, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetModuleHandleW(L"HTTP_DownLoad_Dll.dll"), nullptr) << "loaded from memory, not by the system";
}

// Serves one file with ranges, the way the component asks for it.
std::string RangeResponse(const std::string& file, const std::string& head) {
    unsigned long long first = 0, last = 0;
    const size_t at = head.find("Range: bytes=");
    if (at == std::string::npos || sscanf(head.c_str() + at, "Range: bytes=%llu-%llu", &first, &last) != 2 ||
        first > last || last >= file.size())
        return "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    return "HTTP/1.1 206 Partial Content\r\nConnection: close\r\nETag: \"d1\"\r\nContent-Length: " +
           std::to_string(last - first + 1) + "\r\nContent-Range: bytes " + std::to_string(first) + "-" +
           std::to_string(last) + "/" + std::to_string(file.size()) + "\r\n\r\n" + file.substr(first, last - first + 1);
}

TEST(DownloadComponent, TheMemoryLoadedComponentDownloadsAFile) {
    std::string file(2600000, 0);
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>((i * 2654435761u) >> 13);
    RecordingServer server([&](int, const std::string& head) { return RangeResponse(file, head); });
    DownloadEntryPoints entry = LoadDownloadComponent();
    ASSERT_TRUE(entry.Bound());

    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring target =
        std::wstring(folder) + L"kx-component-" + std::to_wstring(GetCurrentProcessId()) + L".bin";
    const std::wstring address = L"http://" + std::wstring(server.Host().begin(), server.Host().end()) + L"/image.gho";
    DownloadHandle handle =
        entry.start(address.c_str(), nullptr, nullptr, nullptr, target.c_str(), 4, 3, nullptr, nullptr, nullptr);
    ASSERT_NE(handle, nullptr);
    DownloadInfo info{};
    for (int i = 0; i < 600; ++i) {  // a minute at most; it takes well under a second
        entry.info(handle, &info);
        if (info.state == kDownloadComplete || info.state == kDownloadFailed) break;
        Sleep(100);
    }
    entry.stop(handle);
    EXPECT_EQ(info.state, static_cast<uint32_t>(kDownloadComplete));
    EXPECT_EQ(info.total, file.size());
    std::ifstream in(target.c_str(), std::ios::binary);
    const std::string got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    DeleteFileW(target.c_str());
    EXPECT_TRUE(got == file) << "the downloaded bytes differ from the served file";
}

TEST(DownloadComponent, AnImageThatCannotLoadLeavesNothingToCall) {
    EXPECT_FALSE(LoadDownloadComponent(nullptr, 0).Bound());
    std::vector<uint8_t> notAnImage(4096, 0x90);
    DownloadEntryPoints entry = LoadDownloadComponent(notAnImage.data(), notAnImage.size());
    EXPECT_FALSE(entry.Bound());
    EXPECT_EQ(entry.start, nullptr);
    EXPECT_EQ(entry.info, nullptr);
}

}  // namespace
}  // namespace kx
