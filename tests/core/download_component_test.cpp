#include "download/DownloadComponent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace kx {
namespace {

using namespace std::chrono_literals;

// What the fake server does with one request.
struct Reply {
    int status = 206;
    std::optional<std::string> etag = "\"v1\"";
    std::optional<std::string> lastModified = "Thu, 16 Jul 2015 10:30:00 GMT";
    std::optional<std::string> contentRange;  // empty: the correct one
    bool omitContentRange = false;
    int64_t cutAfter = -1;   // end the body (0-byte read) after this many bytes
    int64_t failAfter = -1;  // fail the read after this many bytes
    bool noResponse = false;
};

struct Request {
    uint64_t first, last;
};

class FakeServer : public HttpTransport {
public:
    explicit FakeServer(uint64_t size) : content(size) {
        for (uint64_t i = 0; i < size; ++i) content[i] = static_cast<uint8_t>((i * 7919 + i / 251) & 0xff);
    }

    std::unique_ptr<HttpResponse> Get(uint64_t first, uint64_t last) override;

    std::vector<Request> Requests() {
        std::lock_guard<std::mutex> hold(lock);
        return requests;
    }

    std::vector<uint8_t> content;
    // Decides the reply to request number n (0 is the probe).
    std::function<Reply(size_t n, uint64_t first, uint64_t last)> script = [](size_t, uint64_t, uint64_t) {
        return Reply{};
    };
    std::chrono::microseconds readDelay{0};
    std::chrono::milliseconds getDelay{0};  // time to the response's headers
    std::atomic<int> open{0};               // responses alive now
    std::atomic<int> answering{0};          // requests still waiting for their headers
    std::atomic<bool> holdAnswers{false};   // every request after the probe waits for its headers meanwhile
    std::atomic<int> maxOpen{0};
    std::mutex lock;
    std::vector<Request> requests;
};

class FakeResponse : public HttpResponse {
public:
    FakeResponse(FakeServer& server, uint64_t first, uint64_t last, const Reply& reply)
        : server_(server), next_(first), last_(last), reply_(reply) {
        int now = ++server_.open;
        int seen = server_.maxOpen.load();
        while (now > seen && !server_.maxOpen.compare_exchange_weak(seen, now)) {
        }
    }
    ~FakeResponse() override { --server_.open; }

    int64_t Read(uint8_t* buffer, size_t size) override {
        if (server_.readDelay.count()) std::this_thread::sleep_for(server_.readDelay);
        if (reply_.failAfter >= 0 && sent_ >= reply_.failAfter) return -1;
        if (reply_.cutAfter >= 0 && sent_ >= reply_.cutAfter) return 0;
        if (next_ > last_ || next_ >= server_.content.size()) return 0;
        uint64_t n = std::min<uint64_t>({size, last_ - next_ + 1, 700});
        if (reply_.cutAfter >= 0) n = std::min<uint64_t>(n, static_cast<uint64_t>(reply_.cutAfter - sent_));
        if (reply_.failAfter >= 0) n = std::min<uint64_t>(n, static_cast<uint64_t>(reply_.failAfter - sent_));
        std::memcpy(buffer, server_.content.data() + next_, n);
        next_ += n;
        sent_ += static_cast<int64_t>(n);
        return static_cast<int64_t>(n);
    }

private:
    FakeServer& server_;
    uint64_t next_, last_;
    Reply reply_;
    int64_t sent_ = 0;
};

std::unique_ptr<HttpResponse> FakeServer::Get(uint64_t first, uint64_t last) {
    size_t n;
    {
        std::lock_guard<std::mutex> hold(lock);
        n = requests.size();
        requests.push_back({first, last});
    }
    Reply reply = script(n, first, last);
    ++answering;
    if (getDelay.count()) std::this_thread::sleep_for(getDelay);
    while (n > 0 && holdAnswers) std::this_thread::sleep_for(1ms);
    --answering;
    if (reply.noResponse) return nullptr;
    auto response = std::make_unique<FakeResponse>(*this, first, last, reply);
    response->status = reply.status;
    response->etag = reply.etag;
    response->lastModified = reply.lastModified;
    if (!reply.omitContentRange) {
        response->contentRange = reply.contentRange.value_or(
            "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(content.size()));
    }
    return response;
}

class FakeStore : public TargetStore {
public:
    class View : public RangeView {
    public:
        explicit View(uint8_t* data) : data_(data) {}
        uint8_t* Data() override { return data_; }

    private:
        uint8_t* data_;
    };

    bool Create(uint64_t total) override {
        ++creates;
        if (!creatable) return false;
        bytes.assign(total, 0);
        return true;
    }
    std::unique_ptr<RangeView> Map(uint64_t first, uint64_t length) override {
        EXPECT_LE(length, kMaxRangeBytes);
        EXPECT_LE(first + length, bytes.size());
        return std::make_unique<View>(bytes.data() + first);
    }
    void Close() override { ++closes; }

    bool creatable = true;
    std::atomic<int> creates{0}, closes{0};
    std::vector<uint8_t> bytes;
};

DownloadSettings Quick(int threads = 32, int retries = 10) {
    DownloadSettings settings;
    settings.threads = threads;
    settings.retries = retries;
    settings.pausePoll = 2ms;
    settings.retryDelay = 0ms;
    return settings;
}

// Polls until the state is final; a hang fails the test instead of blocking the suite.
DownloadInfo WaitForEnd(DownloadJob& job, std::chrono::seconds limit = 20s) {
    auto until = std::chrono::steady_clock::now() + limit;
    DownloadInfo info = job.Info();
    while (info.state != kDownloadComplete && info.state != kDownloadFailed &&
           std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(2ms);
        info = job.Info();
    }
    return info;
}

// Waits for a condition the test needs before its next step; false when it never came.
bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit = 20s) {
    auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Lets the download's own threads go round their pause poll a good many times: what they must not do
// while paused, they would have done by then.
void LetThePausedWorkersPoll() { std::this_thread::sleep_for(Quick().pausePoll * 25); }

constexpr uint64_t kOddSize = 5 * kMaxRangeBytes + 12345;

TEST(ContentRange, ParsesOnlyWellFormedRanges) {
    auto range = ParseContentRange("bytes 1048576-2097151/4294967297");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 1048576u);
    EXPECT_EQ(range->last, 2097151u);
    EXPECT_EQ(range->total, 4294967297u);
    EXPECT_TRUE(ParseContentRange(" bytes 0-0/1\r\n"));
    for (const char* bad :
         {"", "bytes 0-0/*", "bytes */100", "bytes 0-0", "bytes 5-4/10", "bytes 0-10/10", "items 0-0/10",
          "bytes 0-0/10x", "bytes -1-0/10", "bytes 0-0/99999999999999999999999", "bytes=0-0/10"}) {
        EXPECT_FALSE(ParseContentRange(bad)) << bad;
    }
}

TEST(DownloadJob, ThirtyTwoWorkersFetchEveryByteOnceInRangesOfAtMostOneMegabyte) {
    FakeServer server(kOddSize);
    FakeStore store;
    auto job = DownloadJob::Start(server, store, Quick());
    ASSERT_TRUE(job);
    EXPECT_EQ(job->Info().total, kOddSize);
    DownloadInfo info = WaitForEnd(*job);
    EXPECT_EQ(info.state, kDownloadComplete);
    EXPECT_EQ(info.received, kOddSize);
    EXPECT_TRUE(store.bytes == server.content);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 7u);  // the probe and six ranges
    EXPECT_EQ(requests[0].first, 0u);
    EXPECT_EQ(requests[0].last, 0u);
    for (size_t i = 1; i < requests.size(); ++i) EXPECT_LE(requests[i].last - requests[i].first + 1, kMaxRangeBytes);
    // No more workers than ranges; the finished file is let go before Stop.
    EXPECT_LE(server.maxOpen.load(), 6);
    EXPECT_EQ(store.closes.load(), 1);
    job->Stop();
    EXPECT_EQ(job->Info().state, kDownloadStopped);
}

TEST(DownloadJob, DefaultsAreFourWorkersAndThreeRetries) {
    FakeServer server(20 * kMaxRangeBytes);
    server.readDelay = 50us;
    server.script = [](size_t n, uint64_t first, uint64_t) {
        Reply reply;
        if (n > 0 && first == 0) reply.failAfter = 0;  // the first range always fails
        return reply;
    };
    FakeStore store;
    auto job = DownloadJob::Start(server, store, Quick(0, 0));
    ASSERT_TRUE(job);
    EXPECT_EQ(WaitForEnd(*job).state, kDownloadFailed);
    job->Stop();
    EXPECT_LE(server.maxOpen.load(), 4);
    size_t firstRangeAttempts = 0;
    for (const auto& r : server.Requests()) firstRangeAttempts += (r.first == 0 && r.last > 0);
    EXPECT_EQ(firstRangeAttempts, 4u);
}

TEST(DownloadJob, ProbeMustBeAUsable206BeforeTheTargetIsTouched) {
    std::vector<std::function<void(Reply&)>> faults = {
        [](Reply& r) { r.status = 200; },
        [](Reply& r) { r.omitContentRange = true; },
        [](Reply& r) { r.contentRange = "bytes 0-0/*"; },
        [](Reply& r) { r.contentRange = "bytes 1-1/100"; },
        [](Reply& r) { r.noResponse = true; },
    };
    for (size_t i = 0; i < faults.size(); ++i) {
        FakeServer server(1000);
        server.script = [&](size_t, uint64_t, uint64_t) {
            Reply reply;
            faults[i](reply);
            return reply;
        };
        FakeStore store;
        EXPECT_FALSE(DownloadJob::Start(server, store, Quick())) << "fault " << i;
        EXPECT_EQ(store.creates.load(), 0) << "fault " << i;
    }
    FakeServer server(1000);
    FakeStore store;
    store.creatable = false;
    EXPECT_FALSE(DownloadJob::Start(server, store, Quick()));
}

// Every range's first answer ends early (a 0-byte read), or breaks off with a read error, half-way.
TEST(DownloadJob, BodiesCutShortAreCompletedFromWhereTheyStopped) {
    for (bool asError : {false, true}) {
        FakeServer server(kOddSize);
        server.script = [&](size_t n, uint64_t first, uint64_t) {
            Reply reply;
            if (n > 0 && first % kMaxRangeBytes == 0) (asError ? reply.failAfter : reply.cutAfter) = 5000;
            return reply;
        };
        FakeStore store;
        auto job = DownloadJob::Start(server, store, Quick(32, 1));
        ASSERT_TRUE(job);
        DownloadInfo info = WaitForEnd(*job);
        EXPECT_EQ(info.state, kDownloadComplete);
        EXPECT_EQ(info.received, kOddSize);
        EXPECT_TRUE(store.bytes == server.content);
        // The retry asks only for the missing rest.
        size_t resumed = 0;
        for (const auto& r : server.Requests()) resumed += (r.first % kMaxRangeBytes == 5000);
        EXPECT_EQ(resumed, 6u);
    }
}

TEST(DownloadJob, ARangeThatKeepsFailingSpendsItsBudgetAndFails) {
    std::vector<std::function<void(Reply&)>> faults = {
        [](Reply& r) { r.cutAfter = 100; },
        [](Reply& r) { r.failAfter = 0; },
        [](Reply& r) { r.noResponse = true; },
        [](Reply& r) { r.status = 200; },
        [](Reply& r) { r.omitContentRange = true; },
        [](Reply& r) { r.contentRange = "bytes 0-1048575/" + std::to_string(kOddSize); },
        [](Reply& r) { r.contentRange = "bytes 2097152-3145727/" + std::to_string(kOddSize + 1); },
        [](Reply& r) { r.etag = "\"v2\""; },
        [](Reply& r) { r.etag.reset(); },
        [](Reply& r) { r.lastModified = "Fri, 17 Jul 2015 10:30:00 GMT"; },
    };
    for (size_t i = 0; i < faults.size(); ++i) {
        FakeServer server(kOddSize);
        server.script = [&](size_t n, uint64_t first, uint64_t) {
            Reply reply;
            if (n > 0 && first / kMaxRangeBytes == 2) faults[i](reply);
            return reply;
        };
        FakeStore store;
        auto job = DownloadJob::Start(server, store, Quick(32, 2));
        ASSERT_TRUE(job);
        DownloadInfo info = WaitForEnd(*job);
        job->Stop();
        EXPECT_EQ(info.state, kDownloadFailed) << "fault " << i;
        EXPECT_LT(info.received, kOddSize) << "fault " << i;
        size_t attempts = 0;
        for (const auto& r : server.Requests()) attempts += (r.first / kMaxRangeBytes == 2);
        EXPECT_EQ(attempts, 3u) << "fault " << i;
        // Nothing of a wrong answer was written.
        if (i >= 3) {
            EXPECT_TRUE(std::all_of(store.bytes.begin() + 2 * kMaxRangeBytes, store.bytes.begin() + 3 * kMaxRangeBytes,
                                    [](uint8_t b) { return b == 0; }))
                << "fault " << i;
        }
    }
}

TEST(DownloadJob, OneFailedAttemptWithinTheBudgetStillCompletes) {
    FakeServer server(kOddSize);
    std::atomic<int> faults{0};
    server.script = [&](size_t n, uint64_t first, uint64_t) {
        Reply reply;
        if (n > 0 && first == 3 * kMaxRangeBytes && faults++ == 0) reply.status = 200;
        return reply;
    };
    FakeStore store;
    auto job = DownloadJob::Start(server, store, Quick(32, 1));
    ASSERT_TRUE(job);
    EXPECT_EQ(WaitForEnd(*job).state, kDownloadComplete);
    EXPECT_TRUE(store.bytes == server.content);
}

TEST(DownloadJob, PauseHoldsReceivedStillAndRestoreCompletes) {
    FakeServer server(4 * kMaxRangeBytes);
    server.readDelay = 200us;
    FakeStore store;
    auto job = DownloadJob::Start(server, store, Quick(8, 3));
    ASSERT_TRUE(job);
    ASSERT_TRUE(WaitUntil([&] { return job->Info().received > 0; }));
    job->Pause();
    job->Pause();
    EXPECT_EQ(job->Info().state, kDownloadPaused);
    // Reads already under way finish, and then every connection is let go.
    ASSERT_TRUE(WaitUntil([&] { return server.open.load() == 0; }));
    uint64_t held = job->Info().received;
    size_t requests = server.Requests().size();
    LetThePausedWorkersPoll();
    EXPECT_EQ(job->Info().received, held);
    EXPECT_EQ(server.Requests().size(), requests) << "no new request while paused";
    EXPECT_LT(held, 4 * kMaxRangeBytes);
    EXPECT_EQ(server.open.load(), 0);  // connections are let go while paused
    job->Restore();
    EXPECT_EQ(job->Info().state, kDownloadRunning);
    DownloadInfo info = WaitForEnd(*job);
    EXPECT_EQ(info.state, kDownloadComplete);
    EXPECT_TRUE(store.bytes == server.content);
    // Pause and Restore leave final states alone.
    job->Pause();
    job->Restore();
    EXPECT_EQ(job->Info().state, kDownloadComplete);
}

TEST(DownloadJob, PauseAlsoHoldsRequestsThatWereStillWaitingForTheirAnswer) {
    FakeServer server(4 * kMaxRangeBytes);
    server.holdAnswers = true;
    FakeStore store;
    auto job = DownloadJob::Start(server, store, Quick(4, 3));
    ASSERT_TRUE(job);
    // The probe was answered; the four workers' first requests are waiting for their answers.
    ASSERT_TRUE(WaitUntil([&] { return server.answering.load() == 4; }));
    job->Pause();
    server.holdAnswers = false;
    // The answers arrive during the pause; not one byte of them is taken, and the connections are let go.
    ASSERT_TRUE(WaitUntil([&] { return server.answering.load() == 0 && server.open.load() == 0; }));
    LetThePausedWorkersPoll();
    EXPECT_EQ(job->Info().received, 0u);
    job->Restore();
    EXPECT_EQ(WaitForEnd(*job).state, kDownloadComplete);
    EXPECT_TRUE(store.bytes == server.content);
}

TEST(DownloadJob, StopWaitsForEveryWorkerAndClosesTheTarget) {
    FakeServer server(8 * kMaxRangeBytes);
    server.readDelay = 200us;
    FakeStore store;
    auto job = DownloadJob::Start(server, store, Quick(32, 3));
    ASSERT_TRUE(job);
    ASSERT_TRUE(WaitUntil([&] { return job->Info().received > 0; }));
    job->Stop();
    EXPECT_EQ(server.open.load(), 0);
    EXPECT_EQ(store.closes.load(), 1);
    size_t requests = server.Requests().size();
    DownloadInfo info = job->Info();
    EXPECT_EQ(info.state, kDownloadStopped);
    EXPECT_LT(info.received, info.total);
    EXPECT_EQ(store.bytes.size(), info.total);  // the target keeps its full size
    job->Restore();
    LetThePausedWorkersPoll();
    EXPECT_EQ(server.Requests().size(), requests);
    EXPECT_EQ(job->Info().state, kDownloadStopped);
}

// A 5 GB image: every offset and count past 4 GB must survive. The fake delivers bytes without copying
// them and the store hands out scratch views, so that only the arithmetic is exercised.
TEST(DownloadJob, FilesOverFourGigabytesAreTiledExactly) {
    constexpr uint64_t kTotal = 5 * (1ull << 30) + 3;
    class CountingServer : public HttpTransport {
    public:
        class Body : public HttpResponse {
        public:
            explicit Body(uint64_t left) : left_(left) {}
            int64_t Read(uint8_t*, size_t size) override {
                uint64_t n = std::min<uint64_t>(size, left_);
                left_ -= n;
                return static_cast<int64_t>(n);
            }

        private:
            uint64_t left_;
        };
        std::unique_ptr<HttpResponse> Get(uint64_t first, uint64_t last) override {
            {
                std::lock_guard<std::mutex> hold(lock);
                requests.push_back({first, last});
            }
            auto body = std::make_unique<Body>(last - first + 1);
            body->status = 206;
            body->contentRange =
                "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(kTotal);
            return body;
        }
        std::mutex lock;
        std::vector<Request> requests;
    } server;
    class ScratchStore : public TargetStore {
    public:
        class View : public RangeView {
        public:
            explicit View(uint64_t length) : bytes_(length) {}
            uint8_t* Data() override { return bytes_.data(); }

        private:
            std::vector<uint8_t> bytes_;
        };
        bool Create(uint64_t total) override {
            created = total;
            return true;
        }
        std::unique_ptr<RangeView> Map(uint64_t first, uint64_t length) override {
            EXPECT_LE(first + length, created);
            return std::make_unique<View>(length);
        }
        void Close() override {}
        uint64_t created = 0;
    } store;

    auto job = DownloadJob::Start(server, store, Quick());
    ASSERT_TRUE(job);
    EXPECT_EQ(store.created, kTotal);
    DownloadInfo info = WaitForEnd(*job, 120s);
    EXPECT_EQ(info.state, kDownloadComplete);
    EXPECT_EQ(info.received, kTotal);
    EXPECT_EQ(info.total, kTotal);
    job->Stop();
    auto requests = server.requests;
    std::sort(requests.begin() + 1, requests.end(),
              [](const Request& a, const Request& b) { return a.first < b.first; });
    ASSERT_EQ(requests.size(), 1 + (kTotal + kMaxRangeBytes - 1) / kMaxRangeBytes);
    uint64_t next = 0;
    for (size_t i = 1; i < requests.size(); ++i) {
        ASSERT_EQ(requests[i].first, next);
        ASSERT_EQ(requests[i].last, std::min(next + kMaxRangeBytes, kTotal) - 1);
        next = requests[i].last + 1;
    }
    EXPECT_EQ(next, kTotal);
}

TEST(DownloadJob, AWorkerThatCannotBeStartedEndsTheOthersAndTheStart) {
    FakeServer server(8 * kMaxRangeBytes);
    server.readDelay = 100us;
    FakeStore store;
    DownloadSettings settings = Quick(8, 3);
    std::atomic<int> started{0};
    settings.launch = [&](std::function<void()> body) {
        if (++started == 3) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(body));
    };
    EXPECT_FALSE(DownloadJob::Start(server, store, settings));
    EXPECT_EQ(server.open.load(), 0);
    EXPECT_EQ(store.closes.load(), 1);
}

}  // namespace
}  // namespace kx
