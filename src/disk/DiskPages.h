#pragma once
// The disk inventory as the window uses it: the two partition list views, the refreshes that fill them,
// the system and target drives, and the image search that follows a full refresh.
#include <atomic>
#include <functional>
#include <string>

#include "base/Ports.h"
#include "base/ProgramFacts.h"
#include "base/WindowPort.h"
#include "base/Worker.h"
#include "disk/DrivePort.h"

namespace kx {

// How often the window draws what a running image search has found.
inline constexpr int kSearchDrawMilliseconds = 200;

struct DiskState {
    Worker imageSearch;  // the search that follows each full drive refresh
    // One refresh of the partition lists at a time, whichever thread asks (the window's, or the download
    // worker's quick refresh before an install): set while one runs.
    std::atomic<bool> refreshing{false};
    std::atomic<int> completedRefreshes{0};  // full refreshes that replaced the lists
};

struct DiskContext {
    WindowPort& window;
    MessagePort& messages;
    CommandPort& commands;
    DrivePort& drives;
    ClockPort& clock;
    ProgramFacts& facts;
    DiskState& state;
    // The image search a full refresh starts once the lists are filled: its job, made on the window thread
    // from the lists (it runs on the worker and returns soon after a stop is requested), and the emptying of
    // the image list a refresh begins with. Then what the backup page does when the list is copied to it (it
    // proposes a backup file name). The program supplies them; any may be empty.
    std::function<Worker::Job()> imageSearchJob;
    std::function<void()> clearImages;
    std::function<void()> backupListCopied;
};

void DetermineSystemDrive(const DiskContext& c);
// The fixed drive with the most room available to the caller becomes the target drive.
void ChooseTargetDrive(const DiskContext& c);
// The full diskpart refresh ("重新搜索", the start-up timer). A failure (a tool that never answered) is
// shown; the lists then stay as they were.
void RefreshByDiskDetail(const DiskContext& c);
// Whether a refresh of the partition lists runs now, and whether a full one has completed since start.
bool DiskRefreshRunning(const DiskContext& c);
bool DiskRefreshCompleted(const DiskContext& c);
void RefreshByVolumeList(const DiskContext& c);
void RefreshByVolumeColumns(const DiskContext& c);
void RefreshByLetters(const DiskContext& c);
void CopyToBackupList(const DiskContext& c);
void StartImageSearch(const DiskContext& c);
// Asks the search to stop and waits for it while the window keeps handling its messages.
void StopImageSearch(const DiskContext& c);

}  // namespace kx
