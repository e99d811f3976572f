#include <algorithm>

#include "download/DownloadWizard.h"

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

std::string Kb(uint64_t bytes) { return std::to_string(bytes / 1024) + " KB"; }

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

void Publish(WizardDownload& s, DownloadHandle handle) {
    std::lock_guard<std::mutex> lock(s.handleLock);
    s.handle = handle;
}

// Withdrawn under the lock, so no pause or continue click can be using it when it is stopped.
void StopComponent(const DownloadContext& c, DownloadHandle handle) {
    {
        std::lock_guard<std::mutex> lock(c.state.handleLock);
        c.state.handle = nullptr;
    }
    c.component.Stop(handle);
    c.window.SetVisible(kPauseButton, false);
}

void DiscardPartial(const DownloadContext& c, const std::string& partial) {
    // A partial file that cannot be deleted is replaced by the next download's start; nothing else to do.
    static_cast<void>(c.files.Remove(partial));
}

// The page's failure state: the reason, the retry button.
void ShowFailure(const DownloadContext& c, const std::string& status) {
    c.window.SetText("下载状态", status);
    c.window.SetVisible(kRetryButton, true);
}

std::string FailureStatus(const DownloadContext& c, const std::string& image) {
    // Asked before the partial file is deleted: its room is given back then.
    return c.files.FreeBytes(image) < kDiskFullMargin ? "磁盘空间不足,下载失败" : "下载失败";
}

void ShowTick(WindowPort& w, const DownloadInfo& info, const ProgressHistory::Reading& reading) {
    const uint64_t percent = info.total ? std::min<uint64_t>(info.received * 100 / info.total, 100) : 0;
    w.SetProgressPosition("进度条2", static_cast<int>(percent));
    w.SetText("已用时间", std::to_string(percent) + "%");
    w.SetText("已经接收", Kb(info.received));
    w.SetText("下载的速度", std::to_string(reading.speedKb) + " KB/S");
    w.SetText("下载状态", StatusText(info.state));
}

std::string Gb(uint64_t bytes) {
    const uint64_t hundredths = bytes * 100 / kGiB;
    const std::string cents = std::to_string(hundredths % 100);
    return std::to_string(hundredths / 100) + "." + (cents.size() < 2 ? "0" : "") + cents + " GB";
}

// An image the target partition cannot hold is refused before the component creates its file. Its size is
// asked of the server (HEAD) here, since the component reports it only once the download runs; a size the
// server does not tell leaves the decision to the component, as before.
Outcome CheckImageFits(const DownloadContext& c, const std::string& address, const std::string& image) {
    if (!c.http) return Outcome::Done();
    HttpGetRequest head;
    head.url = address;
    head.userAgent = std::string(kCatalogueUserAgent);
    head.verb = "HEAD";
    const Result<HttpReply> reply = c.http->Get(head);
    if (!reply || reply->status != 200 || !reply->contentLength) return Outcome::Done();
    const uint64_t size = *reply->contentLength;
    const std::string drive = image.substr(0, 2);
    if (size >= kFatLimit && c.files.FileSystem(image).rfind("FAT", 0) == 0)
        return Outcome::Failed("系统镜像文件有 " + Gb(size) + "(4 GB 或更大),分区 " + drive + " 是 " +
                               c.files.FileSystem(image) +
                               " 格式,放不下这么大的文件。请把该分区转换为 NTFS 格式后重试。");
    const uint64_t free = c.files.FreeBytes(image);
    if (free < size)
        return Outcome::Failed("系统镜像文件有 " + Gb(size) + ",分区 " + drive + " 只有 " + Gb(free) +
                               " 可用空间,放不下。请释放磁盘空间后重试。");
    return Outcome::Done();
}

// The worker's own name is given to a complete, checked image only, once it is on the disk; then it is
// installed.
void FinishImage(const DownloadContext& c, const std::string& partial, const std::string& image,
                 const StopToken& stop) {
    if (!c.state.expectedSha256.Get().empty() && !VerifyImage(c, partial, stop, kMismatch)) {
        DiscardPartial(c, partial);
        return;
    }
    // A power cut after the rename must not leave a file under the image's own name whose last pieces
    // never reached the disk: "否" to the question would install it.
    Outcome moved = c.files.Flush(partial);
    if (moved) moved = c.files.Replace(partial, image);
    if (!moved) {
        DiscardPartial(c, partial);
        ShowFailure(c, "下载失败");
        c.messages.ShowError("无法保存下载的系统镜像文件：" + moved.Describe());
        return;
    }
    c.window.SetText("下载状态", "下载完成");
    if (!c.install(image)) c.window.SetPageIndex(kWizard, 0);
}

}  // namespace

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

bool VerifyImage(const DownloadContext& c, const std::string& path, const StopToken& stop,
                 const std::string& mismatchMessage) {
    WindowPort& w = c.window;
    w.SetText("下载状态", "正在校验");
    w.SetProgressPosition("进度条2", 0);
    int shown = -1;
    Result<std::string> digest = c.files.Sha256Of(path, [&](uint64_t done, uint64_t total) {
        const int percent = total ? static_cast<int>(done * 100 / total) : 100;
        if (percent != shown) {
            shown = percent;
            w.SetProgressPosition("进度条2", percent);
            w.SetText("已用时间", std::to_string(percent) + "%");
        }
        return !stop.StopRequested();
    });
    if (stop.StopRequested()) return false;
    if (!digest) {
        ShowFailure(c, "校验失败");
        c.messages.ShowError(kUnreadable + digest.outcome().Describe());
        return false;
    }
    if (digest.value() != c.state.expectedSha256.Get()) {
        ShowFailure(c, "校验失败");
        c.messages.ShowError(mismatchMessage);
        return false;
    }
    return true;
}

void DownloadWorker(const DownloadContext& c, const StopToken& stop) {
    WindowPort& w = c.window;
    w.SetTimerPeriod(kRestartTimer, 0);
    const std::string address = w.Text(kAddressField);
    const std::string image = w.Text(kFileNameField);
    const std::string partial = PartialPath(image);

    // A partial file an earlier run left is removed first, so that the room it takes counts as free.
    DiscardPartial(c, partial);
    const Outcome fits = CheckImageFits(c, address, image);
    if (stop.StopRequested()) return;
    if (!fits) {
        ShowFailure(c, "分区放不下,没有下载");
        c.messages.ShowError(fits.Describe());
        w.SetPageIndex(kWizard, 0);
        return;
    }
    const DownloadHandle handle = c.component.Start(address, partial, kThreads, kRetriesPerRange);
    DownloadInfo info = handle ? c.component.Info(handle) : DownloadInfo{};
    if (!handle || info.total < kSmallestImage) {
        if (handle) c.component.Stop(handle);
        std::string failure = FailureStatus(c, image);
        DiscardPartial(c, partial);
        if (stop.StopRequested()) return;
        w.SetVisible("按钮1", true);
        // The fallback address gets one chance, a second after this worker ends: once it stands in the
        // address field it is what failed, and the page says so instead of trying it every second for ever.
        const std::string fallback = c.state.fallbackAddress.Get();
        if (!fallback.empty() && fallback != address) {
            w.SetText(kAddressField, fallback);
            w.SetTimerPeriod(kRestartTimer, 1000);
            return;
        }
        ShowFailure(c, failure);
        return;
    }

    Publish(c.state, handle);
    // The button's caption tells what a click will do, whatever an earlier download left on it.
    w.SetText(kPauseButton, "暂停下载");
    w.SetVisible(kPauseButton, true);
    w.SetText("文件大小", Kb(info.total));
    ProgressHistory history;
    for (;;) {
        info = c.component.Info(handle);
        ShowTick(w, info, history.Tick(static_cast<int64_t>(info.received)));
        if (info.state != kDownloadRunning && info.state != kDownloadPaused) break;
        if (stop.WaitFor(c.state.pollMilliseconds)) break;
    }
    // The component closes the file here, before anything reads, renames or installs it.
    const std::string failure = info.state == kDownloadComplete ? "" : FailureStatus(c, image);
    StopComponent(c, handle);
    if (stop.StopRequested()) {
        DiscardPartial(c, partial);
        return;
    }
    if (info.state == kDownloadComplete) {
        FinishImage(c, partial, image, stop);
    } else {
        DiscardPartial(c, partial);
        ShowFailure(c, info.state == kDownloadFailed ? failure : StatusText(info.state));
    }
    w.SetText("透明标签16", "平均速度:");
    w.SetText("下载的速度", std::to_string(history.Last().averageKb) + " KB/S");
    w.SetVisible("按钮1", true);
}

void InstallExistingImage(const DownloadContext& c, const StopToken& stop) {
    const std::string image = c.window.Text(kFileNameField);
    if (!c.state.expectedSha256.Get().empty() && !VerifyImage(c, image, stop, kExistingMismatch)) {
        if (!stop.StopRequested()) c.window.SetPageIndex(kWizard, 0);
        return;
    }
    if (!c.install(image)) c.window.SetPageIndex(kWizard, 0);
}

}  // namespace kx
