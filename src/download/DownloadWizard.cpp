#include "download/DownloadWizard.h"

namespace kx {
namespace {

struct WizardImageEntry {
    Shared<std::string> ImageCatalogue::*primary;
    Shared<std::string> ImageCatalogue::*fallback;
    Shared<std::string> ImageCatalogue::*sha256;
    const char* suffix;
};

const WizardImageEntry kImages[] = {
    {&ImageCatalogue::dz1, &ImageCatalogue::fdz1, &ImageCatalogue::sha1, ":\\VX_winxp_sp3.gho"},
    {&ImageCatalogue::dz2, &ImageCatalogue::fdz2, &ImageCatalogue::sha2, ":\\VX_win7_sp1_32.gho"},
    {&ImageCatalogue::dz3, &ImageCatalogue::fdz3, &ImageCatalogue::sha3, ":\\VX_win7_sp1_64.gho"},
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

bool RefuseWhileBusy(const DownloadContext& c) {
    if (!c.state.worker.Running()) return false;
    c.messages.Show(kBusy);
    return true;
}

// The download page as it stands before a download: no figures of an earlier one left on it.
void ResetDownloadPage(WindowPort& w) {
    w.SetText("下载状态", "准备下载");
    w.SetText("文件大小", "正在获取");
    w.SetText("已经接收", "0 KB");
    w.SetText("透明标签16", "下载速度:");
    w.SetText("下载的速度", "0 KB/S");
    w.SetText("已用时间", "0%");
    w.SetProgressMax("进度条2", 100);
    w.SetProgressPosition("进度条2", 0);
    w.SetVisible(kRetryButton, false);
}

void StartWorker(const DownloadContext& c, void (*run)(const DownloadContext&, const StopToken&)) {
    c.state.worker.Start([c, run](const StopToken& stop) { run(c, stop); });
}

void StartDownload(const DownloadContext& c) {
    if (!c.component.Bound()) {
        c.messages.ShowError(kNoComponent);
        c.window.SetPageIndex(kWizard, 0);
        return;
    }
    ResetDownloadPage(c.window);
    StartWorker(c, DownloadWorker);
}

}  // namespace

std::string PartialPath(const std::string& imagePath) { return imagePath + ".part"; }

void InstallImage(const DownloadContext& c, WizardImage image) {
    if (RefuseWhileBusy(c)) return;
    const WizardImageEntry& entry = kImages[static_cast<int>(image)];
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
        if (const Outcome can = c.checkInstall(target);
            !can && c.messages.Show(can.Describe() + "\r\n\r\n" + kInstallRefused, "提示", MessageButtons::YesNo) !=
                        MessageAnswer::Yes)
            return;
    }
    WindowPort& w = c.window;
    w.SetPageIndex(kWizard, 1);
    w.SetText("保存路径", target);
    w.SetText(kAddressField, primary);
    w.SetText(kFileNameField, target);
    c.state.fallbackAddress.Set((c.catalogue.catalogue.*entry.fallback).Get());
    c.state.expectedSha256.Set(digest);
    ConfirmAndStartDownload(c);
}

void ConfirmAndStartDownload(const DownloadContext& c) {
    if (RefuseWhileBusy(c)) return;
    const std::string target = c.window.Text(kFileNameField);
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
                ResetDownloadPage(c.window);
                // Checked (when the catalogue gives a digest) and installed on the worker: hashing a 4 GB file
                // must not hold up the window.
                StartWorker(c, InstallExistingImage);
                return;
            default:
                c.window.SetPageIndex(kWizard, 0);
                return;
        }
    }
    StartDownload(c);
}

void PauseOrResumeDownload(const DownloadContext& c) {
    std::lock_guard<std::mutex> lock(c.state.handleLock);
    if (!c.state.handle) return;
    if (c.window.Text(kPauseButton) == "继续下载") {
        c.component.Restore(c.state.handle);
        c.window.SetText(kPauseButton, "暂停下载");
    } else {
        c.component.Pause(c.state.handle);
        c.window.SetText(kPauseButton, "继续下载");
    }
}

void RetryDownload(const DownloadContext& c) {
    if (RefuseWhileBusy(c)) return;
    StartDownload(c);
}

void StartDownloadTimerTick(const DownloadContext& c) {
    c.window.SetTimerPeriod(kRestartTimer, 0);
    // The worker that armed the timer may still be on its way out: come back at the next tick.
    if (c.state.worker.Running()) {
        c.window.SetTimerPeriod(kRestartTimer, 1000);
        return;
    }
    StartDownload(c);
}

}  // namespace kx
