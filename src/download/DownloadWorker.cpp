#include "download/DownloadWorker.h"

#include <algorithm>

namespace kx {
namespace {

// An address that delivers less than this is an error page, not an image.
constexpr uint64_t kSmallestImage = 100000;
// Below this much room on the target drive, a failed download is taken for a full disk.
constexpr uint64_t kDiskFullMargin = 1048576;
constexpr int kThreads = 32;
constexpr int kRetriesPerRange = 10;

constexpr const char* kMismatch =
    "下载的系统镜像文件与服务器公布的校验值不符(文件已损坏或被篡改),不能用来安装系统。已删除该文件,请重新下载。";
constexpr const char* kExistingMismatch =
    "已经存在的系统镜像文件与服务器公布的校验值不符,不能用来安装系统。请重新选择该系统,在提示时点\"是\"重新下载。";
constexpr const char* kUnreadable = "无法读取系统镜像文件,不能安装系统：";
constexpr uint64_t kGiB = 1073741824;
// The largest file a FAT partition holds is one byte short of 4 GiB.
constexpr uint64_t kFatLimit = 4 * kGiB;

const char* StatusText(uint32_t state) {
    switch (state) {
        case kDownloadStopped:
            return "停止下载";
        case kDownloadRunning:
            return "正在下载";
        case kDownloadPaused:
            return "暂停下载";
        case kDownloadFailed:
            return "下载失败";
        case kDownloadComplete:
            return "下载完成";
        default:
            return "";
    }
}

std::string Gb(uint64_t bytes) {
    const uint64_t hundredths = bytes * 100 / kGiB;
    const std::string cents = std::to_string(hundredths % 100);
    return std::to_string(hundredths / 100) + "." + (cents.size() < 2 ? "0" : "") + cents + " GB";
}

// One run of a job: the snapshot it keeps whole and publishes after each step.
class Job {
public:
    Job(const DownloadWorkerPorts& ports, const DownloadRequest& request, DownloadChannel& channel,
        const StopToken& stop)
        : p_(ports), r_(request), channel_(channel), stop_(stop) {
        snap_.phase = DownloadPhase::Starting;
        snap_.address = request.address;
    }

    void Download();
    void CheckExisting();

private:
    void Publish() { channel_.progress.Publish(snap_); }
    void Fail(std::string status, std::string failure = {}, bool backToChoice = false) {
        snap_.phase = DownloadPhase::Failed;
        snap_.status = std::move(status);
        snap_.failure = std::move(failure);
        snap_.backToChoice = backToChoice;
    }
    void DiscardPartial() {
        // A partial file that cannot be deleted is replaced by the next download's start; nothing else to do.
        static_cast<void>(p_.files.Remove(partial_));
    }
    std::string FailureStatus() {
        // Asked before the partial file is deleted: its room is given back then.
        return p_.files.FreeBytes(r_.imagePath) < kDiskFullMargin ? "磁盘空间不足,下载失败" : "下载失败";
    }
    Outcome CheckImageFits(const std::string& address);
    DownloadHandle StartComponent();
    void Finish();
    bool Verify(const std::string& path, const std::string& mismatchMessage);

    const DownloadWorkerPorts& p_;
    const DownloadRequest& r_;
    DownloadChannel& channel_;
    const StopToken& stop_;
    const std::string partial_ = PartialPath(r_.imagePath);
    DownloadSnapshot snap_;
};

// An image the target partition cannot hold is refused before the component creates its file. Its size is
// asked of the server (HEAD) here, since the component reports it only once the download runs; a size the
// server does not tell leaves the decision to the component.
Outcome Job::CheckImageFits(const std::string& address) {
    if (!p_.http) return Outcome::Done();
    HttpGetRequest head;
    head.url = address;
    head.userAgent = std::string(kCatalogueUserAgent);
    head.verb = "HEAD";
    const Result<HttpReply> reply = p_.http->Get(head);
    if (!reply || reply->status != 200 || !reply->contentLength) return Outcome::Done();
    const uint64_t size = *reply->contentLength;
    const std::string& image = r_.imagePath;
    const std::string drive = image.substr(0, 2);
    if (size >= kFatLimit && p_.files.FileSystem(image).rfind("FAT", 0) == 0)
        return Outcome::Failed("系统镜像文件有 " + Gb(size) + "(4 GB 或更大),分区 " + drive + " 是 " +
                               p_.files.FileSystem(image) +
                               " 格式,放不下这么大的文件。请把该分区转换为 NTFS 格式后重试。");
    const uint64_t free = p_.files.FreeBytes(image);
    if (free < size)
        return Outcome::Failed("系统镜像文件有 " + Gb(size) + ",分区 " + drive + " 只有 " + Gb(free) +
                               " 可用空间,放不下。请释放磁盘空间后重试。");
    return Outcome::Done();
}

// The component started on the address, then on the fallback when the address delivers no image; null when
// neither did (the snapshot says why) or a stop was requested.
DownloadHandle Job::StartComponent() {
    for (;;) {
        // A partial file an earlier run left is removed first, so that the room it takes counts as free.
        DiscardPartial();
        const Outcome fits = CheckImageFits(snap_.address);
        if (stop_.StopRequested()) return nullptr;
        if (!fits) {
            Fail("分区放不下,没有下载", fits.Describe(), true);
            return nullptr;
        }
        const DownloadHandle handle = p_.component.Start(snap_.address, partial_, kThreads, kRetriesPerRange);
        const DownloadInfo info = handle ? p_.component.Info(handle) : DownloadInfo{};
        if (handle && info.total >= kSmallestImage) {
            snap_.total = info.total;
            return handle;
        }
        if (handle) p_.component.Stop(handle);
        std::string failure = FailureStatus();
        DiscardPartial();
        if (stop_.StopRequested()) return nullptr;
        snap_.partitionsChanged = true;
        // The fallback gets one chance, a beat later: once it is the address in use it is what failed, and the
        // page says so instead of trying it again and again.
        if (!r_.fallback.empty() && r_.fallback != snap_.address) {
            snap_.address = r_.fallback;
            Publish();
            if (stop_.WaitFor(r_.pollMilliseconds)) return nullptr;
            continue;
        }
        Fail(std::move(failure));
        return nullptr;
    }
}

void Job::Download() {
    Publish();
    const DownloadHandle handle = StartComponent();
    if (!handle) {
        if (!stop_.StopRequested()) Publish();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(channel_.handleLock);
        channel_.handle = handle;
    }
    snap_.phase = DownloadPhase::Running;
    Publish();
    ProgressHistory history;
    DownloadInfo info;
    for (;;) {
        info = p_.component.Info(handle);
        const ProgressHistory::Reading reading = history.Tick(static_cast<int64_t>(info.received));
        snap_.received = info.received;
        snap_.percent = static_cast<int>(info.total ? std::min<uint64_t>(info.received * 100 / info.total, 100) : 0);
        snap_.speedKb = reading.speedKb;
        snap_.status = StatusText(info.state);
        if (info.state != kDownloadRunning && info.state != kDownloadPaused) break;
        Publish();
        if (stop_.WaitFor(r_.pollMilliseconds)) break;
    }
    // The component closes the file here, before anything reads, renames or installs it. The handle is
    // withdrawn under the lock first, so no pause or continue click can be using it when it is stopped.
    const std::string failure = info.state == kDownloadComplete ? "" : FailureStatus();
    {
        std::lock_guard<std::mutex> lock(channel_.handleLock);
        channel_.handle = nullptr;
    }
    p_.component.Stop(handle);
    if (stop_.StopRequested()) {
        DiscardPartial();
        return;
    }
    if (info.state == kDownloadComplete) {
        Finish();
    } else {
        DiscardPartial();
        Fail(info.state == kDownloadFailed ? failure : StatusText(info.state));
    }
    if (stop_.StopRequested()) return;
    snap_.average = true;
    snap_.speedKb = history.Last().averageKb;
    snap_.partitionsChanged = true;
    Publish();
}

// The image's own name is given to a complete, checked image only, once it is on the disk.
void Job::Finish() {
    if (!r_.expectedSha256.empty() && !Verify(partial_, kMismatch)) {
        DiscardPartial();
        return;
    }
    // A power cut after the rename must not leave a file under the image's own name whose last pieces
    // never reached the disk: "否" to the question would install it.
    Outcome moved = p_.files.Flush(partial_);
    if (moved) moved = p_.files.Replace(partial_, r_.imagePath);
    if (!moved) {
        DiscardPartial();
        Fail("下载失败", "无法保存下载的系统镜像文件：" + moved.Describe());
        return;
    }
    snap_.phase = DownloadPhase::Complete;
    snap_.status = "下载完成";
    snap_.image = r_.imagePath;
}

// False (the snapshot says why) when the file differs from the digest or cannot be read, and at once when a
// stop was requested.
bool Job::Verify(const std::string& path, const std::string& mismatchMessage) {
    snap_.phase = DownloadPhase::Verifying;
    snap_.status = "正在校验";
    snap_.percent = 0;
    Publish();
    Result<std::string> digest = p_.files.Sha256Of(path, [&](uint64_t done, uint64_t total) {
        const int percent = total ? static_cast<int>(done * 100 / total) : 100;
        if (percent != snap_.percent) {
            snap_.percent = percent;
            Publish();
        }
        return !stop_.StopRequested();
    });
    if (stop_.StopRequested()) return false;
    if (!digest) {
        Fail("校验失败", kUnreadable + digest.outcome().Describe());
        return false;
    }
    if (digest.value() != r_.expectedSha256) {
        Fail("校验失败", mismatchMessage);
        return false;
    }
    return true;
}

void Job::CheckExisting() {
    Publish();
    if (!r_.expectedSha256.empty() && !Verify(r_.imagePath, kExistingMismatch)) {
        if (stop_.StopRequested()) return;
        snap_.backToChoice = true;
    } else {
        snap_.phase = DownloadPhase::Complete;
        snap_.image = r_.imagePath;
    }
    Publish();
}

}  // namespace

std::string PartialPath(const std::string& imagePath) { return imagePath + ".part"; }

ProgressHistory::Reading ProgressHistory::Tick(int64_t received) {
    const int64_t previous = k_ >= 1 ? received_[k_] : 0;
    if (++k_ > kTicks) {
        // The history starts again, but the last reading is carried over: this tick counts only the bytes
        // since the previous one, not the whole file so far.
        received_.fill(0);
        amount_.fill(0);
        total_ = 0;
        k_ = 1;
    }
    received_[k_] = received;
    int64_t amount = received;
    if (k_ >= 2 && received_[k_ - 1] != 0)
        amount = received - received_[k_ - 1];
    else if (k_ == 1 && previous != 0)
        amount = received - previous;
    amount_[k_] = amount;
    total_ += amount;
    // A range that failed takes its bytes off the count; the page never shows a negative speed.
    last_.speedKb = std::max<int64_t>(amount, 0) / 1024;
    last_.averageKb = std::max<int64_t>(total_ / k_, 0) / 1024;
    return last_;
}

void DownloadWorker(const DownloadWorkerPorts& ports, const DownloadRequest& request, DownloadChannel& channel,
                    const StopToken& stop) {
    Job(ports, request, channel, stop).Download();
}

void CheckExistingImage(const DownloadWorkerPorts& ports, const DownloadRequest& request, DownloadChannel& channel,
                        const StopToken& stop) {
    Job(ports, request, channel, stop).CheckExisting();
}

}  // namespace kx
