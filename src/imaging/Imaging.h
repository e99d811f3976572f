#pragma once
// The imaging pages as the window uses them: the image search and the one-tap restore or backup page, the
// system backup page, installing an image over the system partition, and the restart countdown.
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/Ports.h"
#include "base/ProgramFacts.h"
#include "base/WindowPort.h"
#include "base/Worker.h"
#include "boot/BootAssets.h"
#include "boot/BootPorts.h"
#include "boot/EngineJob.h"
#include "disk/DrivePort.h"
#include "imaging/ImageSearchWorker.h"
#include "imaging/ImagingPorts.h"

namespace kx {

// The restore page as the window draws it (window thread only): the images offered, those the last search
// found and then those the user picked, and the chosen one.
struct RestorePageState {
    std::vector<std::string> images;
    int chosen = -1;
    std::string replacedItem;  // the chosen image the backup mode's default file stands in for
};

struct ImagingState {
    RestorePageState restorePage;
    Latest<FoundImages> found;              // published by the image search, drawn on the page's timer
    uint64_t foundSeen = 0;                 // the last of those the window drew
    std::atomic<bool> oneTapRestore{true};  // the one-tap page's mode
    // The countdown may be started by the download worker and stopped by the window thread: its worker is
    // only touched under this lock (recursive: a stop waits while the window handles messages, and one of
    // them may be another click on the same page).
    std::recursive_mutex countdownLock;
    Worker countdown;
    std::atomic<int> restartCancels{0};     // "稍后重启" also ends a "立即重启" that is still waiting
    std::atomic<bool> restartAsked{false};  // the countdown and "立即重启" restart the machine once
    std::atomic<bool> closing{false};       // the window is going away: waits end
};

struct ImagingContext {
    WindowPort& window;
    MessagePort& messages;
    ShellPort& shell;
    ClockPort& clock;
    CommandPort& commands;
    SystemPort& system;
    DrivePort& drives;
    BootFilePort& bootFiles;
    BootAssetSource& bootAssets;
    ImagingPorts& ports;
    ProgramFacts& facts;
    ImagingState& state;
    // The quick partition refresh (fills the restore-partition list and returns; fails with the reason when
    // the disks could not be read or another refresh runs).
    std::function<Outcome()> refreshPartitions;
    // What runs a job at the next start: the DOS floppy with Ghost (which may be only the diagnostic floppy in
    // a build without a DOS kit) or our imaging engine.
    DosImageKind dosImage = DosImageKind::Diagnostic;
    ImagingRoute route = ImagingRoute::Dos;
    // The countdown's pause: waits up to `milliseconds`, true when a stop was requested meanwhile.
    std::function<bool(const StopToken&, int)> wait = [](const StopToken& stop, int ms) { return stop.WaitFor(ms); };
};

// " 系统还原 ". The image search's job, with what it searches taken now (window thread); the drawing of what it
// published (true once a finished search is drawn, when the timer can stop); the list emptied for a refresh.
Worker::Job ImageSearchJob(const ImagingContext& c);
bool DrawImageSearch(const ImagingContext& c);
void ClearImageList(const ImagingContext& c);
void DrawImageList(const ImagingContext& c);
void ShowChosenImage(const ImagingContext& c);
void ShowChosenTarget(const ImagingContext& c);
void PickImageFile(const ImagingContext& c);
void SetOneTapRestoreMode(const ImagingContext& c);
void SetOneTapBackupMode(const ImagingContext& c);
void OneTapRun(const ImagingContext& c);
// The Ghost path of an image the boot environment can read: an image on a drive that is not a fixed disk is
// first copied to one; so is an image on `avoidDrive` (the partition the job overwrites). Nothing when the run
// must stop (the reason was shown, a cancel is silent).
std::optional<std::string> StageImage(const ImagingContext& c, const std::string& imagePath,
                                      const std::string& avoidDrive = {});

// " 系统备份 ".
// 2015-07-10 20:06:56 gives "201571020656": the date and time digits without leading zeros, the trailing zero
// parts of the time left out.
std::string DateTimeDigits(const LocalTime& t);
void ProposeBackupFileName(const ImagingContext& c);
void ChooseBackupPath(const ImagingContext& c);
void BackupNow(const ImagingContext& c);
void BackupAtRestart(const ImagingContext& c);

// The restart: the countdown of the wizard's last page and its two buttons.
std::optional<RestartRequest> RestartRequestFor(int kind, bool force, bool ntFamily);
Outcome SystemRestart(RestartPort& port, SystemPort& system, int kind, bool force);
void StartRestartCountdown(const ImagingContext& c);
void RestartNow(const ImagingContext& c);
void RestartLater(const ImagingContext& c);

}  // namespace kx
