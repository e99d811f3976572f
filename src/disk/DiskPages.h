#pragma once
// The disk inventory as the window uses it: the two partition list views, the refreshes that fill them,
// the system and target drives, and the image search that follows a full refresh.
#include <functional>
#include <string>

#include "base/Ports.h"
#include "base/ProgramFacts.h"
#include "base/WindowPort.h"
#include "base/Worker.h"
#include "disk/DrivePort.h"

namespace kx {

struct DiskState {
    Worker imageSearch;  // the search that follows each full drive refresh
};

struct DiskContext {
    WindowPort& window;
    MessagePort& messages;
    CommandPort& commands;
    DrivePort& drives;
    ClockPort& clock;
    ProgramFacts& facts;
    DiskState& state;
    // The image search a full refresh starts once the lists are filled (runs on the worker, returns soon
    // after a stop is requested), and what the backup page does when the list is copied to it (it proposes
    // a backup file name). The program supplies both; either may be empty.
    std::function<void(const StopToken&)> searchImages;
    std::function<void()> backupListCopied;
};

void DetermineSystemDrive(const DiskContext& c);
// The fixed drive with the most room available to the caller becomes the target drive.
void ChooseTargetDrive(const DiskContext& c);
void RefreshByDiskDetail(const DiskContext& c);
void RefreshByVolumeList(const DiskContext& c);
void RefreshByVolumeColumns(const DiskContext& c);
void RefreshByLetters(const DiskContext& c);
void CopyToBackupList(const DiskContext& c);
void StartImageSearch(const DiskContext& c);
// Asks the search to stop and waits for it while the window keeps handling its messages.
void StopImageSearch(const DiskContext& c);

}  // namespace kx
