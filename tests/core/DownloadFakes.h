#pragma once
// Fakes of the download wizard's ports: a component that downloads by a plan per address, and the target
// drive's files in memory.
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "download/Catalogue.h"
#include "download/DownloadPorts.h"
#include "download/Sha256.h"

namespace kx::test {

class FakeDownloadFiles : public DownloadFilePort {
public:
    bool IsFile(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex);
        return files.count(path) > 0;
    }
    Outcome Remove(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex);
        files.erase(path);
        return Outcome::Done();
    }
    Outcome Flush(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex);
        steps.push_back("flush " + path);
        if (refuseFlush) return Outcome::Failed("把 " + path + " 写入磁盘", {1117, "FlushFileBuffers"});
        return Outcome::Done();
    }
    Outcome Replace(const std::string& from, const std::string& to) override {
        std::lock_guard<std::mutex> lock(mutex);
        steps.push_back("rename " + from);
        auto it = files.find(from);
        if (it == files.end() || refuseRename) return Outcome::Failed("改名", {5, "MoveFileExW"});
        files[to] = it->second;
        files.erase(from);
        return Outcome::Done();
    }
    Result<std::string> Sha256Of(const std::string& path, const HashProgress& progress) override {
        std::string bytes;
        {
            std::lock_guard<std::mutex> lock(mutex);
            auto it = files.find(path);
            if (it == files.end()) return Outcome::Failed("打开 " + path, {2, "CreateFileW"});
            bytes = it->second;
            hashed.push_back(path);
        }
        if (progress && !progress(bytes.size() / 2, bytes.size())) return Outcome::Failed("校验已取消");
        Sha256 hash;
        hash.Update(bytes);
        return hash.HexDigest();
    }
    uint64_t FreeBytes(const std::string&) override { return freeBytes; }
    std::string FileSystem(const std::string&) override { return fileSystem; }

    std::string Content(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = files.find(path);
        return it == files.end() ? std::string() : it->second;
    }
    void Put(const std::string& path, const std::string& bytes) {
        std::lock_guard<std::mutex> lock(mutex);
        files[path] = bytes;
    }

    std::mutex mutex;
    std::map<std::string, std::string> files;
    std::vector<std::string> hashed;
    uint64_t freeBytes = 100ull << 30;
    std::string fileSystem = "NTFS";
    bool refuseRename = false;
    bool refuseFlush = false;
    std::vector<std::string> steps;  // flushes and renames, in order
};

// A web server by address: each answers with a status, a body and a length (HEAD: the length alone); an
// address without an answer fails as an unreachable server. `stall` holds every request until an abort.
class FakeHttp : public HttpGetPort {
public:
    struct Answer {
        int status = 200;
        std::string body;
        std::optional<uint64_t> length;
    };
    Result<HttpReply> Get(const HttpGetRequest& request) override {
        std::unique_lock<std::mutex> lock(mutex);
        requests.push_back(request);
        if (stall) {
            // A server that accepts and never answers: only an abort ends the request.
            changed.notify_all();
            changed.wait(lock, [&] { return aborted; });
        }
        if (aborted) return Outcome::Failed("请求已取消");
        auto it = answers.find(request.url);
        if (it == answers.end()) return Outcome::Failed("连接服务器", {12029, "HttpSendRequestW"});
        HttpReply reply{it->second.status, request.verb == "HEAD" ? std::string() : it->second.body, it->second.length};
        return reply;
    }
    void Serve(const std::string& url, int status, std::string body, std::optional<uint64_t> length = {}) {
        std::lock_guard<std::mutex> lock(mutex);
        answers[url] = Answer{status, std::move(body), length};
    }
    void Abort() override {
        std::lock_guard<std::mutex> lock(mutex);
        aborted = true;
        changed.notify_all();
    }
    void WaitForRequest() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return !requests.empty(); });
    }

    std::map<std::string, Answer> answers;
    bool stall = false;
    bool aborted = false;
    std::vector<HttpGetRequest> requests;
    std::mutex mutex;
    std::condition_variable changed;
};

// Each address has a plan; Info advances the download by one step per call while it runs.
class FakeComponent : public DownloadComponentPort {
public:
    struct Plan {
        uint64_t total = 0;
        uint64_t step = 0;
        std::optional<uint64_t> failAt;     // state 4 once this much arrived
        std::string bytes = "image bytes";  // what the complete file holds
    };
    struct Started {
        std::string address, target;
        int threads, retries;
    };

    explicit FakeComponent(FakeDownloadFiles& files) : files_(files) {}

    bool Bound() const override { return bound; }
    DownloadHandle Start(const std::string& address, const std::string& target, int threads, int retries) override {
        std::lock_guard<std::mutex> lock(mutex);
        started.push_back({address, target, threads, retries});
        auto it = plans.find(address);
        if (it == plans.end()) return nullptr;
        plan_ = it->second;
        target_ = target;
        info_ = {kDownloadRunning, 0, 0, plan_.total};
        files_.Put(target, std::string());  // created and sized, holes and all
        live = true;
        return &live;
    }
    DownloadInfo Info(DownloadHandle handle) override {
        std::function<void(int)> hook;
        int call;
        {
            std::lock_guard<std::mutex> lock(mutex);
            Check(handle);
            call = ++infoCalls;
            hook = onInfo;
        }
        if (hook) hook(call);
        std::lock_guard<std::mutex> lock(mutex);
        if (info_.state == kDownloadRunning) {
            info_.received = std::min(info_.received + plan_.step, plan_.total);
            if (plan_.failAt && info_.received >= *plan_.failAt)
                info_.state = kDownloadFailed;
            else if (info_.received == plan_.total) {
                info_.state = kDownloadComplete;
                files_.Put(target_, plan_.bytes);
            }
        }
        return info_;
    }
    void Pause(DownloadHandle handle) override {
        std::lock_guard<std::mutex> lock(mutex);
        Check(handle);
        ++pauses;
        if (info_.state == kDownloadRunning) info_.state = kDownloadPaused;
    }
    void Restore(DownloadHandle handle) override {
        std::lock_guard<std::mutex> lock(mutex);
        Check(handle);
        ++restores;
        if (info_.state == kDownloadPaused) info_.state = kDownloadRunning;
    }
    void Stop(DownloadHandle handle) override {
        std::lock_guard<std::mutex> lock(mutex);
        Check(handle);
        live = false;
        ++stops;
    }
    bool Live() {
        std::lock_guard<std::mutex> lock(mutex);
        return live;
    }

    std::mutex mutex;
    bool bound = true;
    std::map<std::string, Plan> plans;
    std::vector<Started> started;
    std::function<void(int call)> onInfo;  // runs on the worker before each Info, outside the lock
    int infoCalls = 0, pauses = 0, restores = 0, stops = 0;
    bool live = false;
    bool misuse = false;  // a call with a handle that is not live

private:
    void Check(DownloadHandle handle) {
        if (handle != &live || !live) misuse = true;
    }
    FakeDownloadFiles& files_;
    Plan plan_;
    std::string target_;
    DownloadInfo info_{};
};

}  // namespace kx::test
