#include "download/DownloadComponent.h"

#include <algorithm>
#include <charconv>
#include <system_error>

namespace kx {

namespace {

// More connections than this only hurt the server and the machine; a caller asking for thousands
// gets this many.
constexpr int kMaxThreads = 64;

bool TakeNumber(std::string_view& text, uint64_t& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return false;
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return true;
}

bool TakeChar(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

}  // namespace

std::optional<ContentRange> ParseContentRange(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
    constexpr std::string_view kUnit = "bytes ";
    if (text.substr(0, kUnit.size()) != kUnit) return std::nullopt;
    text.remove_prefix(kUnit.size());
    ContentRange range;
    if (!TakeNumber(text, range.first) || !TakeChar(text, '-') || !TakeNumber(text, range.last) ||
        !TakeChar(text, '/') || !TakeNumber(text, range.total) || !text.empty()) {
        return std::nullopt;
    }
    if (range.first > range.last || range.last >= range.total) return std::nullopt;
    return range;
}

DownloadJob::DownloadJob(HttpTransport& transport, TargetStore& store, DownloadSettings settings)
    : transport_(transport), store_(store), settings_(std::move(settings)) {
    if (settings_.threads <= 0) settings_.threads = 4;
    settings_.threads = std::min(settings_.threads, kMaxThreads);
    if (settings_.retries <= 0) settings_.retries = 3;
    if (!settings_.launch) {
        settings_.launch = [](std::function<void()> body) { return std::thread(std::move(body)); };
    }
}

std::unique_ptr<DownloadJob> DownloadJob::Start(HttpTransport& transport, TargetStore& store,
                                                DownloadSettings settings) {
    std::unique_ptr<DownloadJob> job(new DownloadJob(transport, store, std::move(settings)));

    // The probe: only a server that answers a one-byte range with 206 and names the total can be
    // downloaded in parallel ranges.
    auto probe = transport.Get(0, 0);
    if (!probe || probe->status != 206 || !probe->contentRange) return nullptr;
    auto range = ParseContentRange(*probe->contentRange);
    if (!range || range->first != 0) return nullptr;
    job->total_ = range->total;
    job->lastModified_ = probe->lastModified;
    job->etag_ = probe->etag;
    probe.reset();

    if (!store.Create(job->total_)) return nullptr;
    job->closed_ = false;
    if (job->total_ == 0) {
        job->state_ = kDownloadComplete;
        store.Close();
        return job;
    }

    job->state_ = kDownloadRunning;
    uint64_t ranges = (job->total_ + kMaxRangeBytes - 1) / kMaxRangeBytes;
    int count = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(job->settings_.threads), ranges));
    // Counted before any starts, so that a quick first worker cannot take itself for the last one.
    job->running_ = count;
    for (int i = 0; i < count; ++i) {
        try {
            job->workers_.push_back(job->settings_.launch([raw = job.get()] { raw->Worker(); }));
        } catch (...) {
            {
                std::lock_guard<std::mutex> hold(job->lock_);
                job->running_ -= count - i;
            }
            job->Stop();
            return nullptr;
        }
    }
    return job;
}

DownloadJob::~DownloadJob() { Stop(); }

DownloadInfo DownloadJob::Info() const {
    std::lock_guard<std::mutex> hold(lock_);
    DownloadInfo info{};
    // Complete is reported once the last worker has let go of the file, so that the caller can open
    // the finished image as soon as it sees state 8.
    info.state = state_ == kDownloadComplete && running_ > 0 ? kDownloadRunning : state_;
    info.received = received_;
    info.total = total_;
    return info;
}

void DownloadJob::Pause() {
    std::lock_guard<std::mutex> hold(lock_);
    if (state_ == kDownloadRunning) state_ = kDownloadPaused;
}

void DownloadJob::Restore() {
    std::lock_guard<std::mutex> hold(lock_);
    if (state_ == kDownloadPaused) state_ = kDownloadRunning;
}

void DownloadJob::Stop() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        state_ = kDownloadStopped;
    }
    for (auto& worker : workers_) {
        if (worker.joinable()) worker.join();
    }
    workers_.clear();
    if (!closed_) {
        store_.Close();
        closed_ = true;
    }
}

uint32_t DownloadJob::State() const {
    std::lock_guard<std::mutex> hold(lock_);
    return state_;
}

}  // namespace kx
