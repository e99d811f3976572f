#pragma once
// The wizard's download page as the window uses it: the three install buttons, the start question, the
// download worker that drives the component and fills the page, pause and continue, retry and the
// one-time switch to the fallback address. The finished image is handed to the install the program
// supplies.
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "base/Outcome.h"
#include "base/Ports.h"
#include "base/ProgramFacts.h"
#include "base/Shared.h"
#include "base/WindowPort.h"
#include "base/Worker.h"
#include "download/Catalogue.h"
#include "download/DownloadPorts.h"

namespace kx {

enum class WizardImage { WinXp = 0, Win7x86 = 1, Win7x64 = 2 };

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

// The one download at a time.
struct WizardDownload {
    Shared<std::string> fallbackAddress;  // of the chosen image; moved to the address field once
    Shared<std::string> expectedSha256;   // of the chosen image; empty when the catalogue gives none
    Worker worker;
    int pollMilliseconds = 1000;  // how often the worker reads the component
    // The component's handle, published while the download runs; the pause button acts on it only then.
    std::mutex handleLock;
    DownloadHandle handle = nullptr;
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
    // Stages the finished image's restore and starts the restart countdown; shows its own messages. When it
    // fails the wizard goes back to the image choice.
    std::function<Outcome(const std::string& imagePath)> install;
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
};

// Names of the download page's controls.
inline constexpr Control kWizard{"高级选择夹2"};
inline constexpr Control kAddressField{"下载的地址"};
inline constexpr Control kFileNameField{"保存到文件名"};
inline constexpr Control kPauseButton{"按钮17"};
inline constexpr Control kRetryButton{"按钮22"};
inline constexpr Control kRestartTimer{"时钟2"};

// Where the component writes until the image is complete; only then is it renamed to its own name.
std::string PartialPath(const std::string& imagePath);

// A "安装此系统" button.
void InstallImage(const DownloadContext& c, WizardImage image);
// "开始下载", and the end of InstallImage: asks about an image already there, then downloads or installs.
void ConfirmAndStartDownload(const DownloadContext& c);
void PauseOrResumeDownload(const DownloadContext& c);
void RetryDownload(const DownloadContext& c);
// The fallback address's start one second after the first address failed.
void StartDownloadTimerTick(const DownloadContext& c);
// The worker's run: returns when the download and, for a complete one, the install are over, or soon
// after a stop is requested.
void DownloadWorker(const DownloadContext& c, const StopToken& stop);
// Checks a file against the chosen image's digest, showing "正在校验" and the progress; false (the page and
// `mismatchMessage` say why) when it differs or cannot be read, and false at once when a stop was requested.
bool VerifyImage(const DownloadContext& c, const std::string& path, const StopToken& stop,
                 const std::string& mismatchMessage);
// "否" to the question: the image already on the disk, checked against the catalogue's digest, is installed.
void InstallExistingImage(const DownloadContext& c, const StopToken& stop);

}  // namespace kx
