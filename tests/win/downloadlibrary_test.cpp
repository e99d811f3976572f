#include "download/DownloadLibrary_win.h"

// Winsock 2 must come before anything that includes <windows.h>.
#include "LoopbackServer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "WinFiles.h"
#include "download/DownloadFiles_win.h"
#include "download/Sha256.h"
#include "text/Wide_win.h"

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

TEST(DownloadComponent, TheWizardsPortsDownloadToAChineseNameThenCheckAndRenameIt) {
    std::string file(300000, 0);
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>((i * 40503u) >> 7);
    RecordingServer server([&](int, const std::string& head) { return RangeResponse(file, head); });
    DownloadEntryPoints entry = LoadDownloadComponent();
    BoundComponent component(entry);
    ASSERT_TRUE(component.Bound());
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::string image = Narrow(folder) + "kx-系统-" + std::to_string(GetCurrentProcessId()) + ".gho";
    const std::string partial = image + ".part";
    DownloadFilesWin files;
    {  // an older image already there is replaced by the rename
        std::ofstream old(Widen(image).c_str(), std::ios::binary);
        old << "old";
    }
    DownloadHandle handle = component.Start("http://" + server.Host() + "/系统 image.gho", partial, 4, 3);
    ASSERT_NE(handle, nullptr);
    DownloadInfo info{};
    for (int i = 0; i < 600; ++i) {
        info = component.Info(handle);
        if (info.state == kDownloadComplete || info.state == kDownloadFailed) break;
        Sleep(100);
    }
    component.Stop(handle);
    ASSERT_EQ(info.state, static_cast<uint32_t>(kDownloadComplete));
    EXPECT_TRUE(files.IsFile(partial));
    Sha256 expected;
    expected.Update(file);
    int reports = 0;
    Result<std::string> digest = files.Sha256Of(partial, [&](uint64_t done, uint64_t total) {
        ++reports;
        return done <= total;
    });
    ASSERT_TRUE(digest.ok()) << digest.outcome().Describe();
    EXPECT_EQ(digest.value(), expected.HexDigest());
    EXPECT_GE(reports, 1);
    EXPECT_FALSE(files.Sha256Of(partial, [](uint64_t, uint64_t) { return false; }).ok()) << "a stop ends the hash";
    const Outcome flushed = files.Flush(partial);
    EXPECT_TRUE(flushed.ok()) << flushed.Describe();
    EXPECT_TRUE(files.Replace(partial, image).ok());
    EXPECT_FALSE(files.IsFile(partial));
    EXPECT_FALSE(files.Flush(partial).ok()) << "a file that is not there cannot be flushed";
    EXPECT_FALSE(files.FileSystem(image).empty());
    EXPECT_TRUE(test::ReadAll(image) == file);
    EXPECT_GT(files.FreeBytes(image), 0u);
    EXPECT_TRUE(files.Remove(image).ok());
    EXPECT_FALSE(files.IsFile(image));
    EXPECT_TRUE(files.Remove(image).ok()) << "a file that is not there counts as removed";
    EXPECT_FALSE(files.Replace(partial, image).ok());
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
