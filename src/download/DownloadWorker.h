#pragma once
// The download page's thread jobs: the download of a chosen image, and the check of an image already on
// the disk. Each gets its inputs as values when it starts and publishes what it has reached as a whole
// snapshot; it never touches the window. The window thread draws the latest snapshot on the page's timer
// and acts on the end of a job (the install, a failure's message).
#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/Latest.h"
#include "base/Worker.h"
#include "download/Catalogue.h"
#include "download/DownloadPorts.h"

namespace kx {

// What a job is asked to do, fixed when it starts.
struct DownloadRequest {
    std::string address;          // fetched first
    std::string fallback;         // tried once when `address` delivers no image; empty: none
    std::string imagePath;        // where the image goes, under its own name only once it is complete
    std::string expectedSha256;   // the catalogue's digest; empty: the image is not checked
    int pollMilliseconds = 1000;  // how often the component is read, and the wait before the fallback
};

enum class DownloadPhase {
    Idle,       // no job has run
    Starting,   // the image's size is asked and the component started, the fallback's too when needed
    Running,    // the component downloads, or is paused: the figures move
    Verifying,  // the finished file is checked against the digest
    Complete,   // the image is on the disk under its own name: the window thread installs it
    Failed,     // over without an image
};

// Where a job stands: the figures the download page shows and what its end asks of the window thread.
struct DownloadSnapshot {
    DownloadPhase phase = DownloadPhase::Idle;
    std::string address;    // the address fetched: the fallback once it has had its chance
    uint64_t total = 0;     // bytes; 0 until the component knows the size of a real image
    uint64_t received = 0;  // bytes
    int percent = 0;        // of the download, or of the check while verifying
    int64_t speedKb = 0;    // the last tick's, or the average over the download once `average`
    bool average = false;
    std::string status = "准备下载";
    // The download wrote or gave back room on a partition, so the partition list's sizes are out of date.
    bool partitionsChanged = false;
    std::string failure;        // Failed: the text of the message the user is shown; empty: none
    bool backToChoice = false;  // Failed: the wizard goes back to the image choice
    std::string image;          // Complete: the image to install
};

// What a job shares with the window thread.
struct DownloadChannel {
    Latest<DownloadSnapshot> progress;
    // The component's handle, published while the download runs: the pause button acts on it only then.
    std::mutex handleLock;
    DownloadHandle handle = nullptr;
};

struct DownloadWorkerPorts {
    DownloadComponentPort& component;
    DownloadFilePort& files;
    HttpGetPort* http;  // asks the image's size before the download (HEAD); null: not asked
};

// Bytes per second readings of one download, taken once a tick.
class ProgressHistory {
public:
    struct Reading {
        int64_t speedKb = 0;    // this tick's bytes / 1024
        int64_t averageKb = 0;  // bytes per tick over the kept ticks / 1024
    };
    static constexpr int kTicks = 1000;

    Reading Tick(int64_t received);
    Reading Last() const { return last_; }
    int TickNumber() const { return k_; }

private:
    int k_ = 0;
    std::array<int64_t, kTicks + 1> received_{};  // [1..k]
    std::array<int64_t, kTicks + 1> amount_{};
    int64_t total_ = 0;
    Reading last_;
};

// Where the component writes until the image is complete; only then is it renamed to its own name.
std::string PartialPath(const std::string& imagePath);

// Downloads the request's image (the fallback once, when the address delivers none), checks it and gives it
// its own name. Ends having published Complete or Failed, or soon after a stop is requested, with nothing
// left of the download on the disk.
void DownloadWorker(const DownloadWorkerPorts& ports, const DownloadRequest& request, DownloadChannel& channel,
                    const StopToken& stop);
// An image already at the request's path: checked against the digest when there is one, then Complete.
void CheckExistingImage(const DownloadWorkerPorts& ports, const DownloadRequest& request, DownloadChannel& channel,
                        const StopToken& stop);

}  // namespace kx
