// The partition lists: the letter refresh, the diskpart refreshes, the copy to the backup view and the
// image search that follows a full refresh.
#include "disk/PartitionList.h"

#include <algorithm>
#include <map>

#include "disk/DiskRead.h"
#include "disk/Diskpart.h"

namespace kx {
namespace {

constexpr const char* kRefreshFailedText = "分区列表没有刷新，请稍后点“重新搜索”再试。";
constexpr const char* kBusyText = "正在刷新分区列表，请等它完成后再试。";
// The buttons that start a refresh: disabled while one runs.
constexpr Control kRefreshButtons[] = {"按钮26", "按钮2", "按钮1"};

// While the window thread waits for the search, it keeps handling its messages: the search's window
// updates go through that thread.
Worker::Idle IdleOnWindowThread(const DiskContext& c) {
    return [&clock = c.clock] { clock.Pause(10); };
}

// The one refresh that runs: taken or not at the start, given back at the end. The refreshes run on the
// window thread, whose messages are handled while diskpart works: without the turn a click or the
// start-up timer would start a second refresh inside the first, and both would fill the same views.
class RefreshTurn {
public:
    explicit RefreshTurn(const DiskContext& c) : c_(c), taken_(!c.state.refreshing.exchange(true)) {
        if (!taken_) return;
        c.window.SetEnabled(kResearchButton, false);
        for (Control button : kRefreshButtons) c.window.SetEnabled(button, false);
    }
    ~RefreshTurn() {
        if (!taken_) return;
        for (Control button : kRefreshButtons) c_.window.SetEnabled(button, true);
        // The search a refresh starts enables "重新搜索" when it ends; without one the refresh does.
        if (!c_.state.imageSearch.Running()) c_.window.SetEnabled(kResearchButton, true);
        c_.state.refreshing = false;
    }
    RefreshTurn(const RefreshTurn&) = delete;
    RefreshTurn& operator=(const RefreshTurn&) = delete;
    explicit operator bool() const { return taken_; }

private:
    const DiskContext& c_;
    bool taken_;
};

// The restore view replaced whole by rows taken from diskpart: column 0 and the icon from the letter,
// columns 2 to 7 asked of Windows.
void ReplaceWithListedVolumes(const DiskContext& c, const std::vector<ListedVolume>& volumes) {
    std::vector<DriveRecord> records;
    std::map<std::string, std::string> diskIds;
    for (const ListedVolume& v : volumes) {
        records.push_back(MakeDriveRecord(c.drives, v.row.letter, v.designator, c.facts.systemDriveLetter));
        if (!v.diskId.empty()) diskIds[v.designator] = v.diskId;
    }
    c.facts.listedDiskIds.Set(std::move(diskIds));
    SetPartitionRows(c.window, c.facts, std::move(records));
}

// The end of a full refresh: the lists replaced and copied, or kept when the read failed; the image search
// starts again either way, over the rows the views hold.
Outcome FinishFullRefresh(const DiskContext& c, const Result<std::vector<ListedVolume>>& volumes, bool copyToBackup) {
    if (volumes) {
        ReplaceWithListedVolumes(c, volumes.value());
        if (copyToBackup) CopyToBackupList(c);
        ++c.state.completedRefreshes;
    } else {
        c.window.SetText(kStatusLabel, kRefreshFailedText);
    }
    StartImageSearch(c);
    return volumes.outcome();
}

// A full refresh's failure is shown once its turn is given back, so the page is usable behind the box.
void ShowRefreshFailure(const DiskContext& c, const Outcome& refreshed) {
    if (!refreshed)
        c.messages.ShowError("刷新分区列表没有完成：" + refreshed.Describe() + "。\r\n\r\n" + kRefreshFailedText);
}

Result<std::vector<ListedVolume>> ReadVolumeList(const DiskContext& c) {
    Result<std::string> out = c.commands.RunCommandCaptured(kVolumeListCommand);
    if (!out) return out.outcome();
    return VolumesOfVolumeList(out.value());
}

Outcome RefreshByVolumeListOnce(const DiskContext& c) {
    RefreshTurn turn(c);
    if (!turn) return Outcome::Done();
    PrepareDiskRefresh(c);
    return FinishFullRefresh(c, ReadVolumeList(c), true);
}

Outcome RefreshByVolumeColumnsOnce(const DiskContext& c) {
    // The developer's view of the volume list: columns 2 to 6 as diskpart printed them (right for
    // volumes with a one-word label), and a note of each letter against the system drive.
    RefreshTurn turn(c);
    if (!turn) return Outcome::Done();
    PrepareDiskRefresh(c);
    auto volumes = ReadVolumeList(c);
    if (!volumes) return FinishFullRefresh(c, volumes, false);
    c.facts.listedDiskIds.Set({});
    const std::string& system = c.facts.systemDriveLetter;
    PartitionRows rows;
    for (const ListedVolume& v : volumes.value()) {
        const std::string& letter = v.row.letter;
        DriveRecord record;
        record.icon = letter == system ? 0 : 1;
        record.cells = {letter + ":",   v.designator,           v.row.Field(4), v.row.Field(2),
                        v.row.Field(3), v.row.Field(5) + " GB", v.row.Field(7), letter == system ? "是" : "否"};
        c.messages.Show(letter + system);
        rows.push_back(std::move(record));
    }
    SetPartitionRows(c.window, c.facts, std::move(rows));
    StartImageSearch(c);
    return Outcome::Done();
}

}  // namespace

void SetPartitionRows(WindowPort& window, ProgramFacts& facts, PartitionRows rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const DriveRecord& a, const DriveRecord& b) {
        return a.cells[kDriveCol] < b.cells[kDriveCol];
    });
    DrawPartitionList(window, kRestoreList, rows, true);
    facts.partitions.Set(std::move(rows));
}

void DrawPartitionList(WindowPort& window, Control list, const PartitionRows& rows, bool withIcon) {
    window.DeleteRows(list);
    for (const DriveRecord& record : rows) {
        const int row = window.AddRow(list, record.cells[0]);
        if (withIcon) window.SetRowIcon(list, row, record.icon);
        for (int c = 1; c < static_cast<int>(record.cells.size()); ++c) window.SetCell(list, row, c, record.cells[c]);
    }
}

void PrepareDiskRefresh(const DiskContext& c) {
    WindowPort& w = c.window;
    w.SetEnabled(kResearchButton, false);
    w.SetEnabled(kImageList, false);
    StopImageSearch(c);
    if (c.clearImages) c.clearImages();
    w.SetText(kStatusLabel, kRefreshingText);
}

void StartImageSearch(const DiskContext& c) {
    if (!c.imageSearchJob) return;
    StopImageSearch(c);
    c.state.imageSearch.Start(c.imageSearchJob(), IdleOnWindowThread(c));
    // The window thread draws what the search finds on the start-up timer, which stops once it has drawn the
    // finished search.
    c.window.SetTimerPeriod(ctl::kStartupTimer, kSearchDrawMilliseconds);
}

void StopImageSearch(const DiskContext& c) { c.state.imageSearch.Stop(IdleOnWindowThread(c)); }

Outcome RefreshByDiskDetail(const DiskContext& c, bool full) {
    RefreshTurn turn(c);
    if (!turn) return Outcome::Failed(kBusyText);
    PrepareDiskRefresh(c);
    auto volumes = ReadDiskDetails(c.drives, c.commands);
    if (full) return FinishFullRefresh(c, volumes, true);
    if (volumes) ReplaceWithListedVolumes(c, volumes.value());
    return volumes.outcome();
}

void RefreshByDiskDetail(const DiskContext& c) {
    if (DiskRefreshRunning(c)) return;  // the one that runs fills the views
    ShowRefreshFailure(c, RefreshByDiskDetail(c, true));
}

bool DiskRefreshRunning(const DiskContext& c) { return c.state.refreshing; }

bool DiskRefreshCompleted(const DiskContext& c) { return c.state.completedRefreshes > 0; }

void RefreshByVolumeList(const DiskContext& c) { ShowRefreshFailure(c, RefreshByVolumeListOnce(c)); }

void RefreshByVolumeColumns(const DiskContext& c) { ShowRefreshFailure(c, RefreshByVolumeColumnsOnce(c)); }

void RefreshByLetters(const DiskContext& c) {
    RefreshTurn turn(c);
    if (!turn) return;
    DrivePort& drives = c.drives;
    std::vector<std::string> fixed = DriveLettersOfType(drives, kFixedDrive);
    c.facts.listedDiskIds.Set({});  // numbered by letter: no disk is known
    c.facts.systemDriveLetter = GetSystemDriveLetter(drives);
    PartitionRows rows;
    for (size_t i = 0; i < fixed.size(); ++i) {
        std::string designator = "1:" + std::to_string(i + 1);
        rows.push_back(MakeDriveRecord(drives, fixed[i].substr(0, 1), designator, c.facts.systemDriveLetter));
    }
    SetPartitionRows(c.window, c.facts, std::move(rows));
    c.window.SetSelection(kRestoreList, 0);
}

void CopyToBackupList(const DiskContext& c) {
    WindowPort& w = c.window;
    const PartitionRows rows = c.facts.partitions.Get();
    c.facts.backupPartitions.Set(rows);
    DrawPartitionList(w, kBackupList, rows, false);
    if (w.Selection(kBackupList) == -1 && !rows.empty()) w.SetSelection(kBackupList, 0);
    if (c.backupListCopied) c.backupListCopied();
}

void DetermineSystemDrive(const DiskContext& c) { c.facts.systemDriveLetter = GetSystemDriveLetter(c.drives); }

}  // namespace kx
