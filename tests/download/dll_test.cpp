// The download DLL under Wine against the servers of tests/servers/with-servers.sh: nginx with a big
// file, TLS with a self-signed certificate for another name, and the scripted fault server.
#include <windows.h>
#include <tlhelp32.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "download/DownloadApi.h"
#include "pe/XpCheck.h"

namespace kx {
namespace {

using namespace std::chrono_literals;

// Windows XP SP3 has SHA-256 in its AES provider; the headers show it only for later versions.
constexpr ALG_ID kSha256 = 0x800c;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring WinePath(const std::string& unixPath) {
    std::wstring path = L"Z:" + Wide(unixPath);
    for (auto& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

std::wstring Url(const char* base, const std::string& rest) { return Wide(Env(base) + rest); }
std::wstring Work(const std::wstring& name) { return Wide(Env("KX_DL_WORK")) + L"\\" + name; }

std::vector<uint8_t> ReadAll(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(file);
    return bytes;
}

void WriteAll(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    ASSERT_TRUE(file);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

std::string Sha256(const std::wstring& path) {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    std::string hex;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return hex;
    if (CryptCreateHash(provider, kSha256, 0, 0, &hash)) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            std::vector<BYTE> buffer(1 << 20);
            DWORD read = 0;
            while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0) {
                CryptHashData(hash, buffer.data(), read, 0);
            }
            CloseHandle(file);
            BYTE digest[32];
            DWORD size = sizeof(digest);
            if (CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0)) {
                char part[3];
                for (DWORD i = 0; i < size; ++i) {
                    snprintf(part, sizeof(part), "%02x", digest[i]);
                    hex += part;
                }
            }
        }
        CryptDestroyHash(hash);
    }
    CryptReleaseContext(provider, 0);
    return hex;
}

uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return UINT64_MAX;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int ThreadsOfThisProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    }
    CloseHandle(snapshot);
    return count;
}

class DownloadDll : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        path_ = WinePath(Env("KX_DOWNLOAD_DLL"));
        module_ = LoadLibraryW(path_.c_str());
        if (!module_) return;
        auto bind = [](auto& entry, uint16_t ordinal) {
            FARPROC found = GetProcAddress(module_, MAKEINTRESOURCEA(ordinal));
            entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(reinterpret_cast<void*>(found));
        };
        bind(api_.start, kOrdinalHttpDownLoadStart);
        bind(api_.stop, kOrdinalHttpDownLoadStop);
        bind(api_.pause, kOrdinalHttpDownLoadPause);
        bind(api_.restore, kOrdinalHttpDownLoadRestore);
        bind(api_.info, kOrdinalHttpDownLoadInfo);
    }

    void SetUp() override { ASSERT_TRUE(api_.Bound()) << "the DLL did not load or lacks an ordinal"; }

    DownloadHandle Start(const std::wstring& url, const std::wstring& target, int threads = 32, int retries = 10) {
        return api_.start(url.c_str(), nullptr, nullptr, nullptr, target.c_str(), threads, retries, nullptr, nullptr,
                          nullptr);
    }
    DownloadInfo Info(DownloadHandle handle) {
        DownloadInfo info{};
        api_.info(handle, &info);
        return info;
    }
    // Polls like the download page does, until a final state or the limit.
    DownloadInfo WaitForEnd(DownloadHandle handle, std::chrono::seconds limit = 300s) {
        auto until = std::chrono::steady_clock::now() + limit;
        DownloadInfo info = Info(handle);
        while (info.state != kDownloadComplete && info.state != kDownloadFailed &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(50ms);
            info = Info(handle);
        }
        return info;
    }
    void WaitForBytes(DownloadHandle handle, uint64_t bytes) {
        auto until = std::chrono::steady_clock::now() + 60s;
        while (Info(handle).received < bytes && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(20ms);
        }
    }

    static inline std::wstring path_;
    static inline HMODULE module_ = nullptr;
    static inline DownloadEntryPoints api_;
};

TEST_F(DownloadDll, ExportsByOrdinalAndLoadsOnXp) {
    EXPECT_EQ(reinterpret_cast<void*>(api_.start), reinterpret_cast<void*>(GetProcAddress(module_, "HTTP_DownLoad_Start")));
    EXPECT_EQ(reinterpret_cast<void*>(api_.info), reinterpret_cast<void*>(GetProcAddress(module_, "HTTP_DownLoad_Info")));
    EXPECT_FALSE(GetProcAddress(module_, MAKEINTRESOURCEA(6)));

    auto bytes = ReadAll(path_);
    XpCheckReport report = CheckForXp(bytes);
    EXPECT_TRUE(report.parsed);
    EXPECT_TRUE(report.isDll);
    EXPECT_EQ(report.subsystemMajor, 5);
    EXPECT_EQ(report.subsystemMinor, 1);
    EXPECT_TRUE(report.postXpImports.empty()) << report.postXpImports.front();
    for (const auto& problem : report.problems) ADD_FAILURE() << problem;
}

TEST_F(DownloadDll, NullHandleAndMissingArgumentsAreHarmless) {
    DownloadInfo info{};
    info.unused = 0x5a5a5a5a;
    info.state = 99;
    api_.info(nullptr, &info);
    EXPECT_EQ(info.state, 0u);
    EXPECT_EQ(info.total, 0u);
    EXPECT_EQ(info.unused, 0x5a5a5a5au);
    api_.pause(nullptr);
    api_.restore(nullptr);
    api_.stop(nullptr);
    EXPECT_FALSE(Start(L"", Work(L"dl\\none.bin")));
    EXPECT_FALSE(api_.start(Url("KX_DL_HTTP", "/small.bin").c_str(), nullptr, nullptr, nullptr, nullptr, 32, 10,
                            nullptr, nullptr, nullptr));
}

TEST_F(DownloadDll, StartReturnsNullWithoutRangesOrAWritableTarget) {
    std::wstring target = Work(L"dl\\refused.bin");
    WriteAll(target, std::vector<uint8_t>(100, 0xAA));
    // A server answering the probe with 200, a missing file, a closed port: the old file is untouched.
    EXPECT_FALSE(Start(Url("KX_DL_FAULT", "/norange/x"), target));
    EXPECT_FALSE(Start(Url("KX_DL_HTTP", "/missing.bin"), target));
    EXPECT_FALSE(Start(L"http://127.0.0.1:1/small.bin", target));
    EXPECT_FALSE(Start(L"ftp://127.0.0.1/small.bin", target));
    EXPECT_EQ(FileSize(target), 100u);
    EXPECT_FALSE(Start(Url("KX_DL_HTTP", "/small.bin"), Work(L"no such folder\\x.bin")));
}

TEST_F(DownloadDll, BigFileWithThirtyTwoWorkersHasTheSourcesSha256) {
    std::wstring target = Work(L"dl\\big.bin");
    DownloadHandle handle = Start(Url("KX_DL_HTTP", "/" + Env("KX_DL_BIG")), target);
    ASSERT_TRUE(handle);
    uint64_t size = FileSize(WinePath(Env("KX_DL_WORK_UNIX") + "/www/" + Env("KX_DL_BIG")));
    EXPECT_EQ(Info(handle).total, size);
    DownloadInfo info = WaitForEnd(handle);
    EXPECT_EQ(info.state, kDownloadComplete);
    EXPECT_EQ(info.received, size);
    EXPECT_EQ(Sha256(target), Env("KX_DL_BIG_SHA256"));  // readable at once: the file is let go at state 8
    api_.stop(handle);
    EXPECT_EQ(FileSize(target), size);
}

TEST_F(DownloadDll, PauseHoldsReceivedStillAndRestoreCompletes) {
    std::wstring target = Work(L"dl\\paused.bin");
    DownloadHandle handle = Start(Url("KX_DL_HTTP", "/limited/" + Env("KX_DL_BIG")), target);
    ASSERT_TRUE(handle);
    WaitForBytes(handle, 8 << 20);
    api_.pause(handle);
    EXPECT_EQ(Info(handle).state, kDownloadPaused);
    std::this_thread::sleep_for(1s);  // reads already under way end
    uint64_t held = Info(handle).received;
    std::this_thread::sleep_for(1500ms);
    DownloadInfo info = Info(handle);
    EXPECT_EQ(info.received, held);
    EXPECT_LT(held, info.total);
    EXPECT_EQ(info.state, kDownloadPaused);
    api_.restore(handle);
    EXPECT_EQ(Info(handle).state, kDownloadRunning);
    info = WaitForEnd(handle);
    EXPECT_EQ(info.state, kDownloadComplete);
    EXPECT_EQ(Sha256(target), Env("KX_DL_BIG_SHA256"));
    api_.stop(handle);
}

TEST_F(DownloadDll, StopEndsEveryWorkerAndLeavesTheFileAtFullSize) {
    // Warm WinINet up first, so that threads it keeps for itself are not taken for ours.
    DownloadHandle warm = Start(Url("KX_DL_HTTP", "/small.bin"), Work(L"dl\\warm.bin"));
    ASSERT_TRUE(warm);
    WaitForEnd(warm);
    api_.stop(warm);
    int before = ThreadsOfThisProcess();

    std::wstring target = Work(L"dl\\stopped.bin");
    DownloadHandle handle = Start(Url("KX_DL_HTTP", "/limited/" + Env("KX_DL_BIG")), target);
    ASSERT_TRUE(handle);
    WaitForBytes(handle, 4 << 20);
    uint64_t total = Info(handle).total;
    EXPECT_GE(ThreadsOfThisProcess(), before + 32);
    api_.stop(handle);
    EXPECT_EQ(ThreadsOfThisProcess(), before);
    EXPECT_EQ(FileSize(target), total);
    // Closed: nobody holds the file any more.
    HANDLE file = CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

TEST_F(DownloadDll, ATargetOverFourGigabytesIsCreatedAtItsFullSize) {
    constexpr uint64_t kHuge = 5 * (1ull << 30) + 3;
    std::wstring target = Work(L"dl\\huge.bin");
    DownloadHandle handle = Start(Url("KX_DL_HTTP", "/huge.bin"), target);
    ASSERT_TRUE(handle);
    EXPECT_EQ(Info(handle).total, kHuge);
    WaitForBytes(handle, 64 << 20);
    EXPECT_GE(Info(handle).received, uint64_t{64} << 20);
    api_.stop(handle);
    EXPECT_EQ(FileSize(target), kHuge);
    DeleteFileW(target.c_str());
}

TEST_F(DownloadDll, AnExistingTargetIsEmptiedByStart) {
    std::wstring target = Work(L"dl\\existing.bin");
    auto source = ReadAll(WinePath(Env("KX_DL_WORK_UNIX") + "/www/" + Env("KX_DL_SMALL")));
    WriteAll(target, std::vector<uint8_t>(source.size() + (3 << 20), 0xAA));
    // One slow worker: the file's last megabyte is certainly not fetched before Stop.
    DownloadHandle handle = Start(Url("KX_DL_HTTP", "/limited/" + Env("KX_DL_SMALL")), target, 1, 1);
    ASSERT_TRUE(handle);
    api_.stop(handle);
    auto bytes = ReadAll(target);
    ASSERT_EQ(bytes.size(), source.size());
    EXPECT_EQ(std::count(bytes.end() - (1 << 20), bytes.end(), 0), 1 << 20);
}

TEST_F(DownloadDll, HttpsWithASelfSignedCertificateForAnotherNameCompletes) {
    auto source = ReadAll(WinePath(Env("KX_DL_WORK_UNIX") + "/www/" + Env("KX_DL_SMALL")));
    for (const auto& url : {Url("KX_DL_HTTPS", "/" + Env("KX_DL_SMALL")), Url("KX_DL_HTTP", "/redirect-to-https")}) {
        std::wstring target = Work(L"dl\\secure.bin");
        DownloadHandle handle = Start(url, target);
        ASSERT_TRUE(handle) << std::string(url.begin(), url.end());
        EXPECT_EQ(WaitForEnd(handle, 120s).state, kDownloadComplete);
        api_.stop(handle);
        EXPECT_TRUE(ReadAll(target) == source);
    }
}

// Every third range of the scripted server misbehaves; ten retries per range carry the download through.
TEST_F(DownloadDll, FaultyServersEndInTheRightBytesOrInFailure) {
    auto source = ReadAll(WinePath(Env("KX_DL_WORK_UNIX") + "/www/" + Env("KX_DL_SMALL")));
    for (const char* mode : {"drop", "short", "stall", "badrange", "norangeheader"}) {
        std::wstring target = Work(L"dl\\fault.bin");
        DownloadHandle handle = Start(Url("KX_DL_FAULT", std::string("/") + mode + "/x"), target);
        ASSERT_TRUE(handle) << mode;
        DownloadInfo info = WaitForEnd(handle, 120s);
        api_.stop(handle);
        EXPECT_EQ(info.state, kDownloadComplete) << mode;
        EXPECT_TRUE(ReadAll(target) == source) << mode;
    }
    // The file changes under the download: no retry can help, and no mixture is ever reported complete.
    std::wstring target = Work(L"dl\\changed.bin");
    DownloadHandle handle = Start(Url("KX_DL_FAULT", "/etag/x"), target, 32, 2);
    ASSERT_TRUE(handle);
    DownloadInfo info = WaitForEnd(handle, 120s);
    api_.stop(handle);
    EXPECT_EQ(info.state, kDownloadFailed);
    EXPECT_EQ(FileSize(target), source.size());
}

}  // namespace
}  // namespace kx
