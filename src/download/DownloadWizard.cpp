#include "download/DownloadWizard.h"

#include "base/ControlNames.h"

namespace kx {
namespace {

struct WizardImageEntry {
    Shared<std::string> ImageCatalogue::*primary;
    Shared<std::string> ImageCatalogue::*fallback;
    Shared<std::string> ImageCatalogue::*sha256;
    const char* suffix;
    Shared<std::string> ImageCatalogue::*edition;  // Windows imaging files only
};

const WizardImageEntry kGhostImages[] = {
    {&ImageCatalogue::dz1, &ImageCatalogue::fdz1, &ImageCatalogue::sha1, ":\\VX_winxp_sp3.gho", nullptr},
    {&ImageCatalogue::dz2, &ImageCatalogue::fdz2, &ImageCatalogue::sha2, ":\\VX_win7_sp1_32.gho", nullptr},
    {&ImageCatalogue::dz3, &ImageCatalogue::fdz3, &ImageCatalogue::sha3, ":\\VX_win7_sp1_64.gho", nullptr},
};

// The same three systems as Windows imaging files, for the build whose engine applies them. The catalogue
// numbers them 6 (XP), 4 and 5.
const WizardImageEntry kImagingFiles[] = {
    {&ImageCatalogue::dz6, &ImageCatalogue::fdz6, &ImageCatalogue::sha6, ":\\VX_winxp_sp3.wim", &ImageCatalogue::idx6},
    {&ImageCatalogue::dz4, &ImageCatalogue::fdz4, &ImageCatalogue::sha4, ":\\VX_win7_sp1_32.wim",
     &ImageCatalogue::idx4},
    {&ImageCatalogue::dz5, &ImageCatalogue::fdz5, &ImageCatalogue::sha5, ":\\VX_win7_sp1_64.esd",
     &ImageCatalogue::idx5},
};

constexpr const char* kNewVersion = "发现软件有新版本,请更新软件到最新版本后重试!";
constexpr const char* kAlreadyThere =
    "发现选择的系统镜像文件已经存在,是否要重新下载?点是重新下载,点否直接开始安装.按取消按钮返回重新选择系统文件.";
constexpr const char* kNoRoom = "所有非系统盘空间大小均已不足！无法成功执行操作，请释放本地磁盘空间后重试！";
constexpr const char* kCatalogueComing = "正在从服务器获取系统列表,请稍候几秒后再点击安装。";
constexpr const char* kCatalogueMissing = "无法从服务器获取系统列表";
constexpr const char* kCatalogueRetried = ",请检查网络连接。程序已重新开始获取,请稍候再点击安装。";
constexpr const char* kBadDigest =
    "服务器公布的这个系统镜像的校验值格式不对(应为 64 位十六进制数),无法校验下载的文件,为安全起见不下载。"
    "请稍后再试,或点击手动下载。";
constexpr const char* kNoComponent = "下载组件无法加载,不能下载系统镜像。请重新下载本软件后再试。";
constexpr const char* kInstallRefused = "下载完成后不能自动安装。是否仍然下载这个映像文件？";
constexpr const char* kBusy = "正在下载系统镜像,请等待本次下载结束后再操作。";

std::string Kb(uint64_t bytes) { return std::to_string(bytes / 1024) + " KB"; }

// Whether the running Windows can take `image` from this build: an imaging file is applied over the system
// partition, whose boot code starts the loader of its own generation (XP's NTLDR, or BOOTMGR).
bool SameGeneration(const DownloadContext& c, WizardImage image) {
    if (!c.imagingFiles || c.windowsVersion.empty()) return true;
    return (image == WizardImage::WinXp) == (c.windowsVersion == "WinXP");
}

std::string OtherGeneration(const DownloadContext& c) {
    return c.windowsVersion == "WinXP"
               ? "这台电脑的系统分区用的是 Windows XP 的启动代码，本程序自带的映像引擎不能在上面安装 Windows 7。"
               : "这台电脑的系统分区用的是 Windows Vista 到 8 的启动代码，本程序自带的映像引擎不能在上面安装 "
                 "Windows XP。";
}

void Draw(WindowPort& w, const DownloadPage& p) {
    const DownloadSnapshot& s = p.shown;
    w.SetText("保存路径", p.chosen.imagePath);
    w.SetText(kAddressField, p.chosen.address);
    w.SetText(kFileNameField, p.chosen.imagePath);
    w.SetText("文件大小", s.total ? Kb(s.total) : "正在获取");
    w.SetText("已经接收", Kb(s.received));
    w.SetText("透明标签16", s.average ? "平均速度:" : "下载速度:");
    w.SetText("下载的速度", std::to_string(s.speedKb) + " KB/S");
    w.SetText("已用时间", std::to_string(s.percent) + "%");
    w.SetProgressMax("进度条2", 100);
    w.SetProgressPosition("进度条2", s.percent);
    w.SetText("下载状态", s.status);
    w.SetText(kPauseButton, p.paused ? "继续下载" : "暂停下载");
    w.SetVisible(kPauseButton, p.pauseShown);
    w.SetVisible(kRetryButton, p.retryShown);
    if (p.refreshShown) w.SetVisible(ctl::kRefreshAfterDownloadButton, true);
}

// A job runs, or its end is not drawn yet (and acted on) by the page's timer.
bool RefuseWhileBusy(const DownloadContext& c) {
    const WizardDownload& s = c.state;
    if (!s.worker.Running() && !s.page.installing && s.channel.progress.Sequence() == s.page.seen) return false;
    c.messages.Show(kBusy);
    return true;
}

void StartJob(const DownloadContext& c,
              void (*job)(const DownloadWorkerPorts&, const DownloadRequest&, DownloadChannel&, const StopToken&)) {
    DownloadPage& page = c.state.page;
    // The page as it stands before a job: no figures of an earlier one left on it.
    page.shown = DownloadSnapshot{};
    page.shown.address = page.chosen.address;
    page.pauseShown = page.paused = page.retryShown = false;
    Draw(c.window, page);
    DownloadRequest request = page.chosen;
    request.pollMilliseconds = c.state.pollMilliseconds;
    const DownloadWorkerPorts ports{c.component, c.files, c.http};
    DownloadChannel& channel = c.state.channel;
    c.state.worker.Start(
        [ports, request, &channel, job](const StopToken& stop) { job(ports, request, channel, stop); });
    c.window.SetTimerPeriod(kProgressTimer, kProgressTimerPeriod);
}

void StartDownload(const DownloadContext& c) {
    if (!c.component.Bound()) {
        c.messages.ShowError(kNoComponent);
        c.window.SetPageIndex(kWizard, 0);
        return;
    }
    StartJob(c, DownloadWorker);
}

// The end of a job, drawn already: the install, or the failure's message.
void ActOnEnd(const DownloadContext& c) {
    DownloadPage& page = c.state.page;
    if (page.shown.phase == DownloadPhase::Failed) {
        if (!page.shown.failure.empty()) c.messages.ShowError(page.shown.failure);
        if (page.shown.backToChoice) c.window.SetPageIndex(kWizard, 0);
        return;
    }
    // On this thread: the install shows its questions and may run console tools, while the window keeps
    // handling its messages.
    const std::string image = page.shown.image;
    page.installing = true;
    const Outcome installed = c.install(image, page.edition);
    page.installing = false;
    if (!installed) c.window.SetPageIndex(kWizard, 0);
}

}  // namespace

void InstallImage(const DownloadContext& c, WizardImage image) {
    if (RefuseWhileBusy(c)) return;
    const WizardImageEntry& entry = (c.imagingFiles ? kImagingFiles : kGhostImages)[static_cast<int>(image)];
    const std::string primary = (c.catalogue.catalogue.*entry.primary).Get();
    if (primary.empty()) {
        // An empty address means "outdated" only when the catalogue did arrive without it.
        switch (c.catalogue.status.Get()) {
            case CatalogueStatus::Arrived:
                c.messages.Show(kNewVersion);
                c.shell.OpenUrl(SiteUrl(c.facts, "/vx/wngjxz.htm"));
                return;
            case CatalogueStatus::Failed: {
                // The reason is read before the fetch starts again and clears it.
                const std::string reason = c.catalogue.failure.Get();
                if (c.refetchCatalogue) c.refetchCatalogue();
                c.messages.Show(std::string(kCatalogueMissing) + (reason.empty() ? "" : "（" + reason + "）") +
                                kCatalogueRetried);
                return;
            }
            default:
                c.messages.Show(kCatalogueComing);
                return;
        }
    }
    // A digest field that holds no digest is a damaged or tampered catalogue: the check it promises cannot be
    // made, and a download without it could install anything.
    const std::string digest = (c.catalogue.catalogue.*entry.sha256).Get();
    if (!digest.empty() && !IsSha256Digest(digest)) {
        c.messages.ShowError(kBadDigest);
        return;
    }
    // The image must not land on the partition it is going to overwrite, nor on a drive the install cannot
    // name (the start-up rule takes any fixed drive with the most room, the system's or one outside the
    // partition list among them): the partition is chosen among the listed ones.
    const std::string drive = c.chooseTargetDrive ? c.chooseTargetDrive() : c.facts.targetDrive.Get();
    if (drive.empty() || drive == c.facts.systemDriveLetter) {
        c.messages.Show(kNoRoom);
        return;
    }
    const std::string target = drive + entry.suffix;
    // The install's own refusal comes before gigabytes are fetched; the user may still want the file.
    if (c.checkInstall) {
        if (const Outcome can = SameGeneration(c, image) ? c.checkInstall(target) : Outcome::Failed(OtherGeneration(c));
            !can && c.messages.Show(can.Describe() + "\r\n\r\n" + kInstallRefused, "提示", MessageButtons::YesNo) !=
                        MessageAnswer::Yes)
            return;
    }
    DownloadPage& page = c.state.page;
    page.chosen.address = primary;
    page.chosen.fallback = (c.catalogue.catalogue.*entry.fallback).Get();
    page.chosen.imagePath = target;
    page.chosen.expectedSha256 = digest;
    // An edition number the catalogue garbles is no edition: the user then chooses among the file's own.
    page.edition = entry.edition ? EditionNumber((c.catalogue.catalogue.*entry.edition).Get()).value_or(0) : 0;
    c.window.SetPageIndex(kWizard, 1);
    Draw(c.window, page);
    ConfirmAndStartDownload(c);
}

void ConfirmAndStartDownload(const DownloadContext& c) {
    if (RefuseWhileBusy(c)) return;
    const std::string target = c.state.page.chosen.imagePath;
    if (target.empty()) {
        c.window.SetPageIndex(kWizard, 0);
        return;
    }
    // Only a complete download carries the image's own name, so this is never a broken image.
    if (c.files.IsFile(target)) {
        switch (c.messages.Show(kAlreadyThere, "信息：", MessageButtons::YesNoCancel)) {
            case MessageAnswer::Yes:
                break;
            case MessageAnswer::No:
                // Checked (when the catalogue gives a digest) on the worker: hashing a 4 GB file must not
                // hold up the window.
                StartJob(c, CheckExistingImage);
                return;
            default:
                c.window.SetPageIndex(kWizard, 0);
                return;
        }
    }
    StartDownload(c);
}

void PauseOrResumeDownload(const DownloadContext& c) {
    DownloadPage& page = c.state.page;
    {
        std::lock_guard<std::mutex> lock(c.state.channel.handleLock);
        if (!c.state.channel.handle) return;
        if (page.paused)
            c.component.Restore(c.state.channel.handle);
        else
            c.component.Pause(c.state.channel.handle);
    }
    page.paused = !page.paused;
    Draw(c.window, page);
}

void RetryDownload(const DownloadContext& c) {
    if (RefuseWhileBusy(c)) return;
    StartDownload(c);
}

void DownloadTimerTick(const DownloadContext& c) {
    WizardDownload& s = c.state;
    // A tick that comes while the window waits for its workers to end installs nothing.
    if (s.closing) return;
    // Asked before the snapshot is taken: a job that had ended by then has published all it ever will.
    const bool running = s.worker.Running();
    DownloadSnapshot latest;
    if (!s.channel.progress.TakeNewer(s.page.seen, latest)) {
        if (!running) c.window.SetTimerPeriod(kProgressTimer, 0);
        return;
    }
    DownloadPage& page = s.page;
    page.shown = std::move(latest);
    page.chosen.address = page.shown.address;
    page.pauseShown = page.shown.phase == DownloadPhase::Running;
    page.retryShown = page.shown.phase == DownloadPhase::Failed;
    page.refreshShown = page.refreshShown || page.shown.partitionsChanged;
    Draw(c.window, page);
    if (page.shown.phase != DownloadPhase::Complete && page.shown.phase != DownloadPhase::Failed) return;
    // The end is acted on once: the timer stops before a message box or the install handles messages, among
    // which the timer's next tick may already wait (it then finds nothing new).
    c.window.SetTimerPeriod(kProgressTimer, 0);
    ActOnEnd(c);
}

}  // namespace kx
