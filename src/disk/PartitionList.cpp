// The partition lists: the letter refresh, the diskpart refreshes, the copy to the backup view and the
// image search that follows a full refresh.
#include "disk/PartitionList.h"

#include "disk/Diskpart.h"

namespace kx {
namespace {

// While the window thread waits for the search, it keeps handling its messages: the search's window
// updates go through that thread.
Worker::Idle IdleOnWindowThread(const DiskContext& c) {
    return [&clock = c.clock] { clock.Pause(10); };
}

// Rows taken from diskpart: column 0 and the icon from the letter, columns 2 to 7 asked of Windows.
void AppendListedVolumes(const DiskContext& c, const std::vector<ListedVolume>& volumes) {
    for (const ListedVolume& v : volumes)
        AppendDriveRecord(c.window, kRestoreList,
                          MakeDriveRecord(c.drives, v.row.letter, v.designator, c.facts.systemDriveLetter), true);
}

// The end of the volume-list refreshes.
void FinishVolumeListRefresh(const DiskContext& c, bool copyToBackup) {
    SortPartitionList(c.window, kRestoreList, kDriveCol);
    if (copyToBackup) CopyToBackupList(c);
    StartImageSearch(c);
}

}  // namespace

int AppendDriveRecord(WindowPort& window, const std::string& list, const DriveRecord& record, bool withIcon) {
    int row = window.AddRow(list, record.cells[0]);
    if (withIcon) window.SetRowIcon(list, row, record.icon);
    for (int c = 1; c < static_cast<int>(record.cells.size()); ++c) window.SetCell(list, row, c, record.cells[c]);
    return row;
}

void SortPartitionList(WindowPort& window, const std::string& list, int column) { window.SortRows(list, column); }

void PrepareDiskRefresh(const DiskContext& c) {
    WindowPort& w = c.window;
    w.SetEnabled(kResearchButton, false);
    w.SetEnabled(kImageList, false);
    StopImageSearch(c);
    w.ClearItems(kImageList);
    w.SetText(kStatusLabel, kRefreshingText);
    w.DeleteRows(kRestoreList);
}

void StartImageSearch(const DiskContext& c) {
    if (!c.searchImages) return;
    c.state.imageSearch.Start(c.searchImages, IdleOnWindowThread(c));
}

void StopImageSearch(const DiskContext& c) { c.state.imageSearch.Stop(IdleOnWindowThread(c)); }

void RefreshByDiskDetail(const DiskContext& c, bool full) {
    PrepareDiskRefresh(c);
    DrivePort& drives = c.drives;
    int disks = drives.CountPhysicalDisks();
    for (int i = 1; i <= disks; ++i) {
        // A script that could not be written would leave diskpart reading the previous disk's, whose
        // volumes would then be listed again under this disk's number: that disk is left out instead.
        if (!drives.WriteScript(kScriptName, DiskScript(i - 1))) continue;
        std::string out = c.commands.RunCommandCaptured(kScriptCommand);
        AppendListedVolumes(c, VolumesOfDiskDetail(out, i));
    }
    SortPartitionList(c.window, kRestoreList, kDriveCol);
    if (!full) return;
    CopyToBackupList(c);
    drives.DeleteScript(kScriptName);
    StartImageSearch(c);
}

void RefreshByDiskDetail(const DiskContext& c) { RefreshByDiskDetail(c, true); }

void RefreshByVolumeList(const DiskContext& c) {
    PrepareDiskRefresh(c);
    AppendListedVolumes(c, VolumesOfVolumeList(c.commands.RunCommandCaptured(kVolumeListCommand)));
    FinishVolumeListRefresh(c, true);
}

void RefreshByVolumeColumns(const DiskContext& c) {
    // The developer's view of the volume list: columns 2 to 6 as diskpart printed them (right for
    // volumes with a one-word label), and a note of each letter against the system drive.
    PrepareDiskRefresh(c);
    WindowPort& w = c.window;
    const std::string& system = c.facts.systemDriveLetter;
    for (const ListedVolume& v : VolumesOfVolumeList(c.commands.RunCommandCaptured(kVolumeListCommand))) {
        const std::string& letter = v.row.letter;
        int row = w.AddRow(kRestoreList, letter + ":");
        w.SetRowIcon(kRestoreList, row, letter == system ? 0 : 1);
        w.SetCell(kRestoreList, row, kDesignatorCol, v.designator);
        w.SetCell(kRestoreList, row, kTypeCol, v.row.Field(4));
        w.SetCell(kRestoreList, row, kLabelCol, v.row.Field(2));
        w.SetCell(kRestoreList, row, kFileSystemCol, v.row.Field(3));
        w.SetCell(kRestoreList, row, kUsedCol, v.row.Field(5) + " GB");
        w.SetCell(kRestoreList, row, kTotalCol, v.row.Field(7));
        c.messages.Show(letter + system);
        w.SetCell(kRestoreList, row, kSystemCol, letter == system ? "是" : "否");
    }
    FinishVolumeListRefresh(c, false);
}

void RefreshByLetters(const DiskContext& c) {
    WindowPort& w = c.window;
    DrivePort& drives = c.drives;
    std::vector<std::string> fixed = DriveLettersOfType(drives, kFixedDrive);
    w.DeleteRows(kRestoreList);
    c.facts.systemDriveLetter = GetSystemDriveLetter(drives);
    for (size_t i = 0; i < fixed.size(); ++i) {
        std::string designator = "1:" + std::to_string(i + 1);
        AppendDriveRecord(w, kRestoreList,
                          MakeDriveRecord(drives, fixed[i].substr(0, 1), designator, c.facts.systemDriveLetter), true);
    }
    SortPartitionList(w, kRestoreList, kDriveCol);
    w.SetSelection(kRestoreList, 0);
}

void CopyToBackupList(const DiskContext& c) {
    WindowPort& w = c.window;
    w.DeleteRows(kBackupList);
    for (int r = 0, n = w.RowCount(kRestoreList); r < n; ++r) {
        DriveRecord record;
        for (int col = 0; col < static_cast<int>(record.cells.size()); ++col)
            record.cells[col] = w.Cell(kRestoreList, r, col);
        AppendDriveRecord(w, kBackupList, record, false);
    }
    if (w.Selection(kBackupList) == -1 && w.RowCount(kBackupList) > 0) w.SetSelection(kBackupList, 0);
    if (c.backupListCopied) c.backupListCopied();
}

void DetermineSystemDrive(const DiskContext& c) { c.facts.systemDriveLetter = GetSystemDriveLetter(c.drives); }

}  // namespace kx
