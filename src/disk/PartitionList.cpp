// The partition lists: the letter refresh, the diskpart refreshes, the copy to the backup view and the
// image search that follows a full refresh.
#include "disk/PartitionList.h"

#include "app/Handlers.h"
#include "disk/Diskpart.h"

namespace kx {
namespace {

DrivePort& Drives(Program& p) { return *p.ports().drives; }

void IdleOnWindowThread(Program& p) {
    if (p.ports().clock) p.ports().clock->Pause(10);
}

// Rows taken from diskpart: column 0 and the icon from the letter, columns 2 to 7 asked of Windows.
void AppendListedVolumes(Program& p, const std::vector<ListedVolume>& volumes) {
    for (const ListedVolume& v : volumes)
        AppendDriveRecord(p.window(), kRestoreList,
                          MakeDriveRecord(Drives(p), v.row.letter, v.designator, p.state().systemDriveLetter), true);
}

// The end of the volume-list refreshes.
void FinishVolumeListRefresh(Program& p, bool copyToBackup) {
    SortPartitionList(p.window(), kRestoreList, kDriveCol);
    if (copyToBackup) CopyToBackupList(p);
    StartImageSearch(p);
}

}  // namespace

int AppendDriveRecord(WindowPort& window, const std::string& list, const DriveRecord& record, bool withIcon) {
    int row = window.AddRow(list, record.cells[0]);
    if (withIcon) window.SetRowIcon(list, row, record.icon);
    for (int c = 1; c < static_cast<int>(record.cells.size()); ++c) window.SetCell(list, row, c, record.cells[c]);
    return row;
}

void SortPartitionList(WindowPort& window, const std::string& list, int column) { window.SortRows(list, column); }

void PrepareDiskRefresh(Program& p) {
    WindowPort& w = p.window();
    w.SetEnabled(kResearchButton, false);
    w.SetEnabled(kImageList, false);
    StopImageSearch(p);
    w.ClearItems(kImageList);
    w.SetText(kStatusLabel, kRefreshingText);
    w.DeleteRows(kRestoreList);
}

void StartImageSearch(Program& p) {
    p.state().imageSearch.Start([&p](const std::atomic<bool>& stop) { ImageSearch(p, stop); },
                                [&p] { IdleOnWindowThread(p); });
}

void StopImageSearch(Program& p) {
    p.state().imageSearch.Stop([&p] { IdleOnWindowThread(p); });
}

void RefreshByDiskDetail(Program& p, bool full) {
    PrepareDiskRefresh(p);
    DrivePort& drives = Drives(p);
    int disks = drives.CountPhysicalDisks();
    for (int i = 1; i <= disks; ++i) {
        drives.WriteScript(kScriptName, DiskScript(i - 1));
        std::string out = p.ports().commands->RunCommandCaptured(kScriptCommand);
        AppendListedVolumes(p, VolumesOfDiskDetail(out, i));
    }
    SortPartitionList(p.window(), kRestoreList, kDriveCol);
    if (!full) return;
    CopyToBackupList(p);
    drives.DeleteScript(kScriptName);
    StartImageSearch(p);
}

void RefreshByDiskDetail(Program& p) { RefreshByDiskDetail(p, true); }

void RefreshByVolumeList(Program& p) {
    PrepareDiskRefresh(p);
    AppendListedVolumes(p, VolumesOfVolumeList(p.ports().commands->RunCommandCaptured(kVolumeListCommand)));
    FinishVolumeListRefresh(p, true);
}

void RefreshByVolumeColumns(Program& p) {
    // The developer's view of the volume list: columns 2 to 6 as diskpart printed them (right for
    // volumes with a one-word label), and a note of each letter against the system drive.
    PrepareDiskRefresh(p);
    WindowPort& w = p.window();
    const std::string& system = p.state().systemDriveLetter;
    for (const ListedVolume& v : VolumesOfVolumeList(p.ports().commands->RunCommandCaptured(kVolumeListCommand))) {
        const std::string& letter = v.row.letter;
        int row = w.AddRow(kRestoreList, letter + ":");
        w.SetRowIcon(kRestoreList, row, letter == system ? 0 : 1);
        w.SetCell(kRestoreList, row, kDesignatorCol, v.designator);
        w.SetCell(kRestoreList, row, kTypeCol, v.row.Field(4));
        w.SetCell(kRestoreList, row, kLabelCol, v.row.Field(2));
        w.SetCell(kRestoreList, row, kFileSystemCol, v.row.Field(3));
        w.SetCell(kRestoreList, row, kUsedCol, v.row.Field(5) + " GB");
        w.SetCell(kRestoreList, row, kTotalCol, v.row.Field(7));
        p.messages().Show(letter + system);
        w.SetCell(kRestoreList, row, kSystemCol, letter == system ? "是" : "否");
    }
    FinishVolumeListRefresh(p, false);
}

void RefreshByLetters(Program& p) {
    WindowPort& w = p.window();
    DrivePort& drives = Drives(p);
    std::vector<std::string> fixed = DriveLettersOfType(drives, kFixedDrive);
    w.DeleteRows(kRestoreList);
    p.state().systemDriveLetter = GetSystemDriveLetter(drives);
    for (size_t i = 0; i < fixed.size(); ++i) {
        std::string designator = "1:" + std::to_string(i + 1);
        AppendDriveRecord(w, kRestoreList,
                          MakeDriveRecord(drives, fixed[i].substr(0, 1), designator, p.state().systemDriveLetter), true);
    }
    SortPartitionList(w, kRestoreList, kDriveCol);
    w.SetSelection(kRestoreList, 0);
}

void CopyToBackupList(Program& p) {
    WindowPort& w = p.window();
    w.DeleteRows(kBackupList);
    for (int r = 0, n = w.RowCount(kRestoreList); r < n; ++r) {
        DriveRecord record;
        for (int c = 0; c < static_cast<int>(record.cells.size()); ++c) record.cells[c] = w.Cell(kRestoreList, r, c);
        AppendDriveRecord(w, kBackupList, record, false);
    }
    if (w.Selection(kBackupList) == -1 && w.RowCount(kBackupList) > 0) w.SetSelection(kBackupList, 0);
    // The backup page proposes its default backup path for the selected partition.
    ProposeBackupFileName(p);
}

void DetermineSystemDrive(Program& p) {
    // A program wired without drive queries (the shell's own tests) has no system drive to learn.
    if (p.ports().drives) p.state().systemDriveLetter = GetSystemDriveLetter(Drives(p));
}

}  // namespace kx
