#pragma once
// The wizard's download page as the window uses it: the three install buttons, the start question, pause
// and continue, retry, and the page's timer that draws what the download's worker published and, at its
// end, installs the image or says why there is none. The install itself is the program's.
#include <functional>
#include <string>

#include "base/Outcome.h"
#include "base/Ports.h"
#include "base/ProgramFacts.h"
#include "base/WindowPort.h"
#include "base/Worker.h"
#include "download/Catalogue.h"
#include "download/DownloadPorts.h"
#include "download/DownloadWorker.h"

namespace kx {

enum class WizardImage { WinXp = 0, Win7x86 = 1, Win7x64 = 2 };

// The download page as the window shows it, written on the window thread only: by the handlers, and from the
// worker's snapshots on the page's timer. The page is drawn from it; nothing of it is read back from the
// window.
struct DownloadPage {
    // The chosen image. The address is the one the next start fetches: the fallback once it has had its chance.
    DownloadRequest chosen;
    // The figures, the status and the last failure, as the last snapshot drawn gave them.
    DownloadSnapshot shown;
    bool pauseShown = false;    // while the component runs
    bool paused = false;        // a click on the pause button continues the download
    bool retryShown = false;    // after a failure
    bool refreshShown = false;  // ctl::kRefreshAfterDownloadButton, once a download changed the partitions' room
    bool installing = false;    // the finished image is being installed
    uint32_t edition = 0;       // a Windows imaging file's edition the catalogue names; 0: the user chooses
    uint64_t seen = 0;          // the number of the last snapshot drawn
};

// The one download at a time.
struct WizardDownload {
    DownloadPage page;
    DownloadChannel channel;
    Worker worker;
    int pollMilliseconds = 1000;  // how often the worker reads the component
    bool closing = false;         // the window is going away: the timer acts on nothing any more
};

struct DownloadContext {
    WindowPort& window;
    MessagePort& messages;
    ShellPort& shell;
    const ProgramFacts& facts;
    CatalogueState& catalogue;
    DownloadComponentPort& component;
    DownloadFilePort& files;
    WizardDownload& state;
    // Stages the finished image's restore (a Windows imaging file's: its edition, 0 when the catalogue names
    // none) and starts the restart countdown; shows its own messages. When it fails the wizard goes back to
    // the image choice.
    std::function<Outcome(const std::string& imagePath, uint32_t edition)> install;
    // Asks for the catalogue again (after a failed fetch); may be empty.
    std::function<void()> refetchCatalogue;
    // The partition to download to: one of the partition list's, other than the system's, or empty when
    // there is none (it becomes the target drive). May be empty: then the target drive as it stands.
    std::function<std::string()> chooseTargetDrive;
    // Whether the image, once at this path, could be installed on this machine by this build: the install's
    // own checks, asked before the download. May be empty.
    std::function<Outcome(const std::string& imagePath)> checkInstall;
    // Asks the image's size before the download (a HEAD request); may be null.
    HttpGetPort* http = nullptr;
    // The build installs with its own imaging engine: the buttons download the catalogue's Windows imaging
    // files (entries 4 to 6) instead of its Ghost images.
    bool imagingFiles = false;
    // The running Windows ("WinXP", "Win7", ...): an imaging file of the other generation cannot be installed
    // over it (the system partition's boot code starts one generation's loader). Empty: not known.
    std::string windowsVersion;
};

// Names of the download page's controls.
inline constexpr Control kWizard{"高级选择夹2"};
inline constexpr Control kAddressField{"下载的地址"};
inline constexpr Control kFileNameField{"保存到文件名"};
inline constexpr Control kPauseButton{"按钮17"};
inline constexpr Control kRetryButton{"按钮22"};
// The page's own timer. It ticks while a job of the page runs or its end is not yet drawn: each tick draws
// the worker's latest snapshot, and the one that draws the end acts on it.
inline constexpr Control kProgressTimer{"时钟2"};
inline constexpr int kProgressTimerPeriod = 250;

// A "安装此系统" button.
void InstallImage(const DownloadContext& c, WizardImage image);
// "开始下载", and the end of InstallImage: asks about an image already there, then downloads or installs.
void ConfirmAndStartDownload(const DownloadContext& c);
void PauseOrResumeDownload(const DownloadContext& c);
void RetryDownload(const DownloadContext& c);
// The page's timer.
void DownloadTimerTick(const DownloadContext& c);

}  // namespace kx
