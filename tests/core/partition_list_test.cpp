#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "DiskFakes.h"
#include "app/Handlers.h"
#include "disk/Diskpart.h"
#include "disk/PartitionList.h"

namespace kx {
namespace {

using test::DiskRig;
using test::ReadTestData;
using test::ScriptFileOf;
using Strings = std::vector<std::string>;

// The drive and designator of every row of a list view.
Strings Rows(WindowPort& w, Control list) {
    Strings rows;
    for (int r = 0; r < w.RowCount(list); ++r) rows.push_back(w.Cell(list, r, 0) + " " + w.Cell(list, r, 1));
    return rows;
}

// A machine like the Chinese two-disk recording: C: (system) and D: on disk 1, E: on disk 2.
struct ChineseMachine : DiskRig {
    explicit ChineseMachine(int wmiDisks = 2) {
        drives.AddFixed('C', 59.99, 13.7);
        drives.AddFixed('D', 40, 30, "新加卷");
        drives.AddFixed('E', 931.51, 500, "资料");
        drives.disks = wmiDisks;
        program.facts().systemDriveLetter = "C";
        commands.answer = [this](const std::string& command) -> std::string {
            if (command == kVolumeListCommand) return ReadTestData("diskpart/zh-win7/volumes.txt");
            if (command != ScriptCommand(ScriptFileOf(command))) return "";
            const std::string& script = drives.files.at(ScriptFileOf(command));
            if (script.find("disk 0") != std::string::npos) return ReadTestData("diskpart/zh-win7/disk0.txt");
            if (script.find("disk 1") != std::string::npos) return ReadTestData("diskpart/zh-win7/disk1.txt");
            return ReadTestData("diskpart/zh-win7/nodisk.txt");
        };
    }
    // The search waited for, then drawn as the start-up timer's next tick draws it.
    void WaitForSearch() {
        program.state().disk.imageSearch.Wait();
        (void)DrawImageSearch(program.Imaging());
    }
};

TEST(PartitionList, StartUpRefreshFillsBothViewsOnce) {
    ChineseMachine m(3);  // WMI counts a third disk that diskpart does not know
    MemoryWindow& w = m.window;
    ASSERT_TRUE(m.program.Dispatch("时钟1", Event::Tick));
    m.program.state().disk.imageSearch.Wait();
    m.program.Dispatch("时钟1", Event::Tick);
    EXPECT_EQ(w.TimerPeriod("时钟1"), 0) << "the start-up work runs once; the search is drawn, the timer stops";
    EXPECT_EQ(m.drives.scripts, (Strings{DiskScript(0), DiskScript(1), DiskScript(2)}));
    EXPECT_EQ(Rows(w, kRestoreList), (Strings{"C: 1:2", "D: 1:3", "E: 2:1"}));
    EXPECT_EQ(Rows(w, kBackupList), Rows(w, kRestoreList));
    for (int c = 2; c < 8; ++c) EXPECT_EQ(w.Cell(kBackupList, 0, c), w.Cell(kRestoreList, 0, c)) << c;
    EXPECT_EQ(w.Cell(kRestoreList, 0, 7), "是");
    EXPECT_EQ(w.RowIcon(kRestoreList, 0), 0);
    EXPECT_EQ(w.RowIcon(kRestoreList, 1), 1);
    EXPECT_EQ(w.RowIcon(kBackupList, 0), -1) << "the backup view carries no icons";
    EXPECT_EQ(w.Selection(kBackupList), 0);
    EXPECT_TRUE(m.drives.files.empty()) << "a full refresh deletes its script";
    // The search that follows ends with the lists ready for use.
    EXPECT_TRUE(w.Enabled(kResearchButton));
    EXPECT_TRUE(w.Enabled(kImageList));
    EXPECT_EQ(w.Selection(kRestoreList), 0);
    EXPECT_EQ(w.Text(kStatusLabel), kRefreshingText);
}

TEST(PartitionList, AScriptThatCannotBeWrittenKeepsTheListAndSaysWhy) {
    ChineseMachine m;
    m.window.AddRow(kRestoreList, "Z:");
    m.drives.refuseScriptFor = "disk 1";
    m.program.Dispatch(kResearchButton, Event::Click);
    m.WaitForSearch();
    EXPECT_EQ(Rows(m.window, kRestoreList), (Strings{"Z: "})) << "no list without the second disk";
    EXPECT_EQ(m.commands.run.size(), 1u) << "diskpart was not run on the first disk's script a second time";
    ASSERT_EQ(m.messages.shown.size(), 1u);
    EXPECT_NE(m.messages.shown[0].text.find("无法写入 diskpart 脚本 kxdisk1.txt（CreateFileW 错误 5）"),
              std::string::npos);
}

TEST(PartitionList, QuickRefreshLeavesSearchAndBackupViewAlone) {
    ChineseMachine m;
    MemoryWindow& w = m.window;
    w.AddRow(kBackupList, "Z:");
    w.SetEnabled(kResearchButton, true);
    ASSERT_TRUE(RefreshByDiskDetail(m.Disk(), false).ok());
    EXPECT_FALSE(m.program.state().disk.imageSearch.Running());
    EXPECT_EQ(Rows(w, kRestoreList), (Strings{"C: 1:2", "D: 1:3", "E: 2:1"}));
    EXPECT_EQ(Rows(w, kBackupList), (Strings{"Z: "}));
    EXPECT_TRUE(m.drives.files.empty()) << "its script is gone as well";
    EXPECT_TRUE(w.Enabled(kResearchButton)) << "a full refresh can follow";
    EXPECT_FALSE(w.Enabled(kImageList));
    EXPECT_EQ(w.Text(kStatusLabel), kRefreshingText);
}

TEST(PartitionList, RefreshStopsARunningSearchBeforeEmptyingTheImageList) {
    ChineseMachine m;
    MemoryWindow& w = m.window;
    std::atomic<bool> started{false}, sawStop{false};
    w.AddItem(kImageList, "D:\\old.gho");
    m.program.state().disk.imageSearch.Start([&](const StopToken& stop) {
        started = true;
        while (!stop.StopRequested()) std::this_thread::yield();
        // Still running when the stop came: the image list was not emptied yet.
        sawStop = w.Items(kImageList).size() == 1;
    });
    while (!started) std::this_thread::yield();
    m.program.Dispatch(kResearchButton, Event::Click);
    EXPECT_TRUE(sawStop);
    m.WaitForSearch();
    EXPECT_TRUE(w.Items(kImageList).empty());
    EXPECT_EQ(Rows(w, kRestoreList).size(), 3u);
    EXPECT_TRUE(w.Enabled(kResearchButton)) << "a new search ran to its end";
}

TEST(PartitionList, WindowDestructionStopsTheSearch) {
    ChineseMachine m;
    std::atomic<bool> ended{false};
    m.program.state().disk.imageSearch.Start([&](const StopToken& stop) {
        while (!stop.StopRequested()) std::this_thread::yield();
        ended = true;
    });
    m.program.OnDestroying();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(m.program.state().disk.imageSearch.Running());
    m.program.OnDestroying();  // nothing left to stop
}

TEST(PartitionList, StopsAndRefreshesWhileWaitingForTheSearchAreHarmless) {
    // Waiting handles window messages, so another handler may stop, or stop and restart, the search. (The
    // worker's own tests prove that an outer wait leaves a search started inside it running.)
    ChineseMachine m;
    Worker& worker = m.program.state().disk.imageSearch;
    auto endless = [](const StopToken& stop) {
        while (!stop.StopRequested()) std::this_thread::yield();
    };
    worker.Start(endless);
    int nested = 0;
    worker.Stop([&] {
        if (nested++ == 0) StopImageSearch(m.Disk());
    });
    EXPECT_FALSE(worker.Running());

    // A refresh clicked during the wait stops the search again and starts a new one, which ends on its own.
    worker.Start(endless);
    nested = 0;
    worker.Stop([&] {
        if (nested++ == 0) m.program.Dispatch(kResearchButton, Event::Click);
    });
    m.WaitForSearch();
    EXPECT_EQ(Rows(m.window, kRestoreList).size(), 3u);
    EXPECT_TRUE(m.window.Enabled(kResearchButton)) << "the search the click started ran to its end";
}

TEST(PartitionList, VolumeListRefreshes) {
    ChineseMachine m;
    MemoryWindow& w = m.window;
    m.program.Dispatch("按钮2", Event::Click);
    m.WaitForSearch();
    EXPECT_EQ(m.commands.run, (Strings{kVolumeListCommand}));
    EXPECT_EQ(Rows(w, kRestoreList), (Strings{"C: 1:2", "D: 1:3", "E: 1:4"}));
    EXPECT_EQ(Rows(w, kBackupList), Rows(w, kRestoreList));
    EXPECT_EQ(w.Cell(kRestoreList, 1, 3), "新加卷") << "asked of Windows";

    // The developer's variant copies diskpart's words and notes each letter against the system drive.
    w.DeleteRows(kBackupList);
    m.program.Dispatch("按钮1", Event::Click);
    m.WaitForSearch();
    EXPECT_EQ(Rows(w, kRestoreList), (Strings{"C: 1:2", "D: 1:3", "E: 1:4"}));
    EXPECT_EQ(w.RowCount(kBackupList), 0) << "not copied";
    ASSERT_EQ(m.messages.shown.size(), 3u);
    EXPECT_EQ(m.messages.shown[0].text, "CC");
    EXPECT_EQ(m.messages.shown[1].text, "DC");
    EXPECT_EQ(w.Cell(kRestoreList, 1, 2), "磁盘分区");
    EXPECT_EQ(w.Cell(kRestoreList, 1, 3), "新加卷");
    EXPECT_EQ(w.Cell(kRestoreList, 1, 4), "NTFS");
    EXPECT_EQ(w.Cell(kRestoreList, 1, 5), "40 GB");
    EXPECT_EQ(w.Cell(kRestoreList, 0, 7), "是");
}

TEST(PartitionList, NothingToListLeavesEmptyViews) {
    ChineseMachine m(0);
    MemoryWindow& w = m.window;
    // WMI that cannot count the disks gives no list: the rows stay, and the box says why.
    w.AddRow(kRestoreList, "C:");
    m.drives.wmiFails = true;
    m.program.Dispatch(kResearchButton, Event::Click);
    m.WaitForSearch();
    EXPECT_EQ(w.RowCount(kRestoreList), 1);
    ASSERT_EQ(m.messages.shown.size(), 1u);
    EXPECT_NE(m.messages.shown[0].text.find("WMI 没有回答有几块硬盘（ConnectServer 错误 0x80041003）"),
              std::string::npos)
        << m.messages.shown[0].text;

    m.drives.wmiFails = false;  // no disk at all
    w.AddRow(kBackupList, "C:");
    m.program.Dispatch(kResearchButton, Event::Click);
    m.WaitForSearch();
    EXPECT_TRUE(m.commands.run.empty());
    EXPECT_EQ(w.RowCount(kRestoreList), 0);
    EXPECT_EQ(w.RowCount(kBackupList), 0);
    EXPECT_EQ(w.Selection(kBackupList), -1);

    // diskpart that cannot start, or prints rubbish.
    m.drives.disks = 1;
    for (std::string out :
         {std::string(), std::string("\xFF\xFE garbage \0 卷 卷 Volume", 24), std::string(100000, '\n')}) {
        m.commands.answer = [out](const std::string&) { return out; };
        m.program.Dispatch(kResearchButton, Event::Click);
        m.program.Dispatch("按钮2", Event::Click);
        m.WaitForSearch();
        EXPECT_EQ(w.RowCount(kRestoreList), 0);
    }
}

TEST(PartitionList, LetterRefreshNumbersFixedDrivesOnOneDisk) {
    ChineseMachine m;
    MemoryWindow& w = m.window;
    m.drives.drives['A'].type = 2;  // a card reader before the hard disks
    m.drives.drives['F'].type = 2;
    m.drives.windowsDirectory = "D:\\Windows";
    w.AddItem(kImageList, "C:\\x.gho");
    m.program.Dispatch("按钮26", Event::Click);
    EXPECT_EQ(Rows(w, kRestoreList), (Strings{"C: 1:1", "D: 1:2", "E: 1:3"}));
    EXPECT_EQ(m.program.facts().systemDriveLetter, "D");
    EXPECT_EQ(w.Cell(kRestoreList, 1, 7), "是");
    EXPECT_EQ(w.Selection(kRestoreList), 0);
    EXPECT_EQ(w.Items(kImageList).size(), 1u) << "the image list is left alone";
    EXPECT_EQ(w.RowCount(kBackupList), 0);
    EXPECT_TRUE(m.commands.run.empty());
}

TEST(PartitionList, OneRefreshAtATimeWhatEverAsksMeanwhile) {
    // A click on "重新搜索" within the first second: while diskpart works the window handles its messages, and
    // the start-up timer, another click and the install's quick refresh come in then.
    ChineseMachine m;
    MemoryWindow& w = m.window;
    w.SetTimerPeriod("时钟1", 1000);
    const auto answer = m.commands.answer;
    Strings disabled;
    Outcome quick = Outcome::Done();
    bool nested = false;
    m.commands.answer = [&](const std::string& command) {
        if (!nested) {
            nested = true;
            for (Control button : {kResearchButton, Control("按钮26"), Control("按钮2"), Control("按钮1")})
                if (!w.Enabled(button)) disabled.push_back(button.str());
            m.program.Dispatch("时钟1", Event::Tick);
            m.program.Dispatch(kResearchButton, Event::Click);
            m.program.Dispatch("按钮2", Event::Click);
            m.program.Dispatch("按钮26", Event::Click);
            quick = RefreshByDiskDetail(m.Disk(), false);
        }
        return answer(command);
    };
    m.program.Dispatch(kResearchButton, Event::Click);
    m.program.state().disk.imageSearch.Wait();
    // The start-up timer waited: it ticks again (its first tick does the start-up work and draws the search),
    // and the lists that refresh filled are not read again.
    EXPECT_GT(w.TimerPeriod("时钟1"), 0);
    m.program.Dispatch("时钟1", Event::Tick);
    EXPECT_EQ(disabled, (Strings{kResearchButton.str(), "按钮26", "按钮2", "按钮1"}))
        << "every refresh button while it runs";
    EXPECT_EQ(quick.what(), "正在刷新分区列表，请等它完成后再试。");
    EXPECT_EQ(m.drives.scripts, (Strings{DiskScript(0), DiskScript(1)})) << "the disks asked once, in order";
    EXPECT_EQ(m.commands.run, (Strings{ScriptCommand("kxdisk1.txt"), ScriptCommand("kxdisk1.txt")}));
    EXPECT_EQ(Rows(w, kRestoreList), (Strings{"C: 1:2", "D: 1:3", "E: 2:1"}));
    EXPECT_EQ(Rows(w, kBackupList), Rows(w, kRestoreList));
    EXPECT_TRUE(w.Enabled(kResearchButton) && w.Enabled("按钮26") && w.Enabled("按钮2"));
    EXPECT_TRUE(m.messages.shown.empty());
    EXPECT_EQ(w.TimerPeriod("时钟1"), 0);
    EXPECT_EQ(m.commands.run.size(), 2u);
    EXPECT_EQ(Rows(w, kRestoreList).size(), 3u);
}

TEST(PartitionList, EachReadHasAScriptOfItsOwnAndTheListIsReplacedOnlyWhenItCompleted) {
    ChineseMachine m;
    MemoryWindow& w = m.window;
    m.program.Dispatch(kResearchButton, Event::Click);
    m.WaitForSearch();
    ASSERT_TRUE(RefreshByDiskDetail(m.Disk(), false).ok());
    EXPECT_EQ(m.commands.run[0], ScriptCommand("kxdisk1.txt"));
    EXPECT_EQ(m.commands.run[2], ScriptCommand("kxdisk2.txt"));
    EXPECT_TRUE(m.drives.files.empty());
    const std::map<std::string, std::string> ids{{"1:2", "1A2B3C00"}, {"1:3", "1A2B3C00"}, {"2:1", "1A2B3C01"}};
    EXPECT_EQ(m.program.facts().listedDiskIds.Get(), ids) << "the disk each row was read from";

    // diskpart never answers: the runner ends it, the rows stay, the page is usable and says so.
    m.commands.timeOutOn = "diskpart";
    m.commands.run.clear();
    m.program.Dispatch(kResearchButton, Event::Click);
    m.WaitForSearch();
    EXPECT_EQ(m.commands.run.size(), 1u) << "the other disks are not asked after a time-out";
    EXPECT_EQ(Rows(w, kRestoreList), (Strings{"C: 1:2", "D: 1:3", "E: 2:1"}));
    EXPECT_EQ(Rows(w, kBackupList), Rows(w, kRestoreList));
    EXPECT_TRUE(m.drives.files.empty());
    ASSERT_EQ(m.messages.shown.size(), 1u);
    EXPECT_EQ(m.messages.shown[0].icon, MessageIcon::Error);
    EXPECT_NE(m.messages.shown[0].text.find("在 120 秒内没有完成，已被结束"), std::string::npos);
    EXPECT_TRUE(w.Enabled(kResearchButton) && w.Enabled(kImageList) && w.Enabled("按钮2"));
    EXPECT_EQ(w.Text(kStatusLabel), "分区列表没有刷新，请稍后点“重新搜索”再试。");
    EXPECT_FALSE(RefreshByDiskDetail(m.Disk(), false).ok());
    m.program.Dispatch("按钮2", Event::Click);
    m.WaitForSearch();
    EXPECT_EQ(m.messages.shown.size(), 2u) << "the volume list's time-out is shown too; the quick refresh shows none";
    EXPECT_EQ(Rows(w, kRestoreList).size(), 3u);
    EXPECT_FALSE(m.program.state().disk.refreshing);
    EXPECT_EQ(m.program.facts().listedDiskIds.Get(), ids) << "kept with the rows";
    m.program.Dispatch("按钮26", Event::Click);
    EXPECT_TRUE(m.program.facts().listedDiskIds.Get().empty()) << "rows numbered by letter name no disk";
}

TEST(PartitionList, SystemDriveAtStartUp) {
    DiskRig rig;
    rig.drives.windowsDirectory = "E:\\WINNT";
    DetermineSystemDrive(rig.Disk());
    EXPECT_EQ(rig.program.facts().systemDriveLetter, "E");
}

}  // namespace
}  // namespace kx
