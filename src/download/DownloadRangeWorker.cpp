// The component's range workers: each takes the next range of the file, fetches it into the target and
// retries it within its budget, until the download is over.
#include <algorithm>

#include "download/DownloadComponent.h"

namespace kx {

bool DownloadJob::TakeRange(Range& range) {
    std::lock_guard<std::mutex> hold(lock_);
    if (cursor_ >= total_) return false;
    range.next = cursor_;
    range.last = std::min(cursor_ + kMaxRangeBytes, total_) - 1;
    range.budget = settings_.retries;
    cursor_ = range.last + 1;
    return true;
}

void DownloadJob::Worker() {
    Range range;
    bool holding = false;
    for (;;) {
        uint32_t state = State();
        if (state == kDownloadStopped || state == kDownloadFailed || state == kDownloadComplete) break;
        if (state == kDownloadPaused) {
            std::this_thread::sleep_for(settings_.pausePoll);
            continue;
        }
        if (!holding) {
            if (!TakeRange(range)) break;
            holding = true;
        }
        Attempt attempt;
        try {
            attempt = Fetch(range);
        } catch (...) {
            // Out of memory or a failing port: an attempt like any other, never the end of the process.
            attempt = Attempt::Failed;
        }
        switch (attempt) {
            case Attempt::Done:
                holding = false;
                break;
            case Attempt::Interrupted:
                // Paused or ended while reading: the bytes so far are kept, the rest is fetched on resume.
                break;
            case Attempt::Failed: {
                std::unique_lock<std::mutex> hold(lock_);
                if (range.budget <= 0) {
                    if (state_ == kDownloadRunning || state_ == kDownloadPaused) state_ = kDownloadFailed;
                    break;
                }
                --range.budget;
                hold.unlock();
                std::this_thread::sleep_for(settings_.retryDelay);
                break;
            }
        }
    }
    // The last worker of a completed download lets go of the file at once, so that the finished image
    // can be opened before the caller gets round to Stop.
    std::lock_guard<std::mutex> hold(lock_);
    if (--running_ == 0 && state_ == kDownloadComplete) store_.Close();
}

bool DownloadJob::SameValidators(const HttpResponse& response) const {
    if (lastModified_ && response.lastModified != lastModified_) return false;
    if (etag_ && response.etag != etag_) return false;
    return true;
}

// One request for the missing rest of a range. A response that is not exactly the part asked for, of
// the same file, is a failed attempt: writing it would corrupt the image. A body that ends early is a
// failed attempt too, but the bytes it did deliver stay written and counted, and the retry asks only
// for the rest, so a range can neither be counted twice nor be left short.
DownloadJob::Attempt DownloadJob::Fetch(Range& range) {
    auto response = transport_.Get(range.next, range.last);
    if (!response || response->status != 206 || !SameValidators(*response) || !response->contentRange) {
        return Attempt::Failed;
    }
    auto served = ParseContentRange(*response->contentRange);
    if (!served || served->first != range.next || served->last != range.last || served->total != total_) {
        return Attempt::Failed;
    }
    const uint64_t viewStart = range.next;
    auto view = store_.Map(viewStart, range.last - viewStart + 1);
    if (!view) return Attempt::Failed;
    uint8_t* data = view->Data();

    while (range.next <= range.last) {
        // Checked before every read, so that a pause also holds a request that was still connecting.
        if (State() != kDownloadRunning) return Attempt::Interrupted;
        size_t want = static_cast<size_t>(std::min<uint64_t>(kReadChunkBytes, range.last - range.next + 1));
        int64_t got = response->Read(data + (range.next - viewStart), want);
        if (got <= 0 || static_cast<uint64_t>(got) > want) return Attempt::Failed;
        range.next += static_cast<uint64_t>(got);
        std::lock_guard<std::mutex> hold(lock_);
        received_ += static_cast<uint64_t>(got);
        if (received_ == total_ && (state_ == kDownloadRunning || state_ == kDownloadPaused)) {
            state_ = kDownloadComplete;
        }
    }
    return Attempt::Done;
}

}  // namespace kx
