#pragma once
// One parallel range download: the probe, the shared range cursor, the workers and the state machine
// behind the download DLL's five entry points. HTTP and the target file are ports, so the whole logic
// runs natively in tests with fakes; the DLL supplies WinINet and a file mapping.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "download/DownloadApi.h"

namespace kx {

inline constexpr uint64_t kMaxRangeBytes = 1048576;
// Each read is a trip through WinINet's locks (and, under Wine, a server round trip per socket read):
// 64 KB reads move a 200 MB file about four times faster than 1 KB reads did, at the same CPU per byte
// or less. A paused or stopped download still reacts within one read.
inline constexpr size_t kReadChunkBytes = 65536;

struct ContentRange {
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t total = 0;
};

// "bytes first-last/total" with first <= last < total; anything else (including "*" totals) is empty.
std::optional<ContentRange> ParseContentRange(std::string_view text);

// A response whose status and headers have arrived; the body is read from it.
class HttpResponse {
public:
    virtual ~HttpResponse() = default;
    int status = 0;
    std::optional<std::string> lastModified;
    std::optional<std::string> etag;
    std::optional<std::string> contentRange;
    // Bytes read into buffer (at most size); 0 at the end of the body; negative on a failed read.
    virtual int64_t Read(uint8_t* buffer, size_t size) = 0;
};

// Sends one GET for the address with "Range: bytes=first-last". Null when no response arrived
// (no connection, a TLS failure, a time-out). Called from many threads at once.
class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    virtual std::unique_ptr<HttpResponse> Get(uint64_t first, uint64_t last) = 0;
};

// Writable bytes [first, first + length) of the target file.
class RangeView {
public:
    virtual ~RangeView() = default;
    virtual uint8_t* Data() = 0;
};

// The target file. Create replaces any existing file and sizes it at total; Map is called from many
// threads at once; Close is called once every worker has ended, and may be called again.
class TargetStore {
public:
    virtual ~TargetStore() = default;
    virtual bool Create(uint64_t total) = 0;
    virtual std::unique_ptr<RangeView> Map(uint64_t first, uint64_t length) = 0;
    virtual void Close() = 0;
};

struct DownloadSettings {
    int32_t threads = 0;  // 0 (or less) means 4
    int32_t retries = 0;  // retries per range; 0 (or less) means 3
    std::chrono::milliseconds pausePoll{100};
    std::chrono::milliseconds retryDelay{500};
    // Starts one worker; throws std::system_error when no thread can be made (tests replace it).
    std::function<std::thread(std::function<void()>)> launch;
};

class DownloadJob {
public:
    // Probes the address, creates the target and starts the workers. Null when the server does not
    // answer the probe with a usable 206, the target cannot be created or no worker could be started.
    static std::unique_ptr<DownloadJob> Start(HttpTransport& transport, TargetStore& store, DownloadSettings settings);
    ~DownloadJob();
    DownloadJob(const DownloadJob&) = delete;
    DownloadJob& operator=(const DownloadJob&) = delete;

    DownloadInfo Info() const;
    void Pause();    // downloading -> paused
    void Restore();  // paused -> downloading
    // Sets state 0, waits for every worker and closes the target. The state stays 0 afterwards.
    void Stop();

private:
    struct Range {
        uint64_t next = 0;  // first byte still missing
        uint64_t last = 0;
        int budget = 0;
    };
    enum class Attempt { Done, Interrupted, Failed };

    DownloadJob(HttpTransport& transport, TargetStore& store, DownloadSettings settings);
    void Worker();
    bool TakeRange(Range& range);
    Attempt Fetch(Range& range);
    bool SameValidators(const HttpResponse& response) const;
    uint32_t State() const;

    HttpTransport& transport_;
    TargetStore& store_;
    DownloadSettings settings_;
    std::optional<std::string> lastModified_;
    std::optional<std::string> etag_;
    uint64_t total_ = 0;

    mutable std::mutex lock_;  // state, cursor, received and the count of running workers
    uint32_t state_ = kDownloadStopped;
    uint64_t cursor_ = 0;
    uint64_t received_ = 0;
    int running_ = 0;
    std::vector<std::thread> workers_;
    bool closed_ = true;  // nothing to close until the target is created
};

}  // namespace kx
