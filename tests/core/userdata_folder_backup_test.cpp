// The " 文件备份 " page against fakes: day folders, copy and zip backup, the list, restore, one job at a time.
#include <gtest/gtest.h>

#include <chrono>

#include "ProgramRig.h"
#include "userdata/UserDataPages.h"

namespace kx {
namespace {

using test::UserDataRig;

constexpr Control kBackupBoxes[] = {"备份我的文档", "备份收藏夹", "备份Cookies", "备份桌面文件"};
constexpr Control kRestoreBoxes[] = {"还原我的文档", "还原收藏夹", "还原Cookies", "还原桌面文件"};

struct Page : UserDataRig {
    Page() {
        program.state().userData.userFolders.Set({"C:\\我的文档", "C:\\收藏夹", "C:\\Cookies", "C:\\桌面"});
        files.folders.insert("D:");
    }
    void Tick(const Control (&boxes)[4], std::initializer_list<int> which) {
        for (int i : which) window.SetChecked(boxes[i], true);
    }
    std::string Status() { return window.Text("分组框4"); }
};

TEST(Backup, ZipBackupWritesOneArchivePerTickedItemIntoTheDayFolder) {
    Page r;
    r.Tick(kBackupBoxes, {0, 3});
    r.window.SetProgressMax("进度条1", 4);
    ZipBackup(r.Context());
    const std::string base = "D:\\装系统前备份\\2015年7月16日备份";
    EXPECT_EQ(r.files.created, std::vector<std::string>{base});
    ASSERT_EQ(r.archives.zips.size(), 2u);
    EXPECT_EQ(r.archives.zips[0].from, "C:\\我的文档");
    EXPECT_EQ(r.archives.zips[0].to, base + "\\我的文档.zip");
    EXPECT_EQ(r.archives.zips[0].status, "正在备份我的文档,请稍候...");
    EXPECT_EQ(r.archives.zips[1].from, "C:\\桌面");
    EXPECT_EQ(r.archives.zips[1].to, base + "\\桌面.zip");
    EXPECT_EQ(r.archives.zips[1].status, "正在备份桌面,请稍候...");
    for (const auto& call : r.archives.zips) {
        EXPECT_EQ(call.positionBefore, 0);
        EXPECT_EQ(call.positionAfterProgress, 37);  // each report of the archive moves the bar
    }
    EXPECT_EQ(r.window.ProgressMax("进度条1"), 100);
    EXPECT_EQ(r.Status(), "所有文件备份完成");
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].text, "所有文件备份完成");
    EXPECT_EQ(r.messages.shown[0].title, "信息：");
}

TEST(Backup, TheDayFolderFollowsTheDirectoryAsTyped) {
    const std::pair<const char*, const char*> cases[] = {
        {"D:\\备份\\", "D:\\备份\\2015年7月16日备份\\收藏夹.zip"},
        {"D:\\", "D:\\2015年7月16日备份\\收藏夹.zip"},
        // A directory that already is the day folder is not joined with it a second time.
        {"D:\\备份\\2015年7月16日备份", "D:\\备份\\2015年7月16日备份\\收藏夹.zip"},
        {"D:\\备份\\2015年7月16日备份\\", "D:\\备份\\2015年7月16日备份\\收藏夹.zip"},
    };
    for (const auto& [directory, archive] : cases) {
        Page r;
        r.Tick(kBackupBoxes, {1});
        r.window.SetText("备份到目录", directory);
        ZipBackup(r.Context());
        ASSERT_EQ(r.archives.zips.size(), 1u) << directory;
        EXPECT_EQ(r.archives.zips[0].to, archive) << directory;
    }
}

TEST(Backup, ZipBackupWithNothingTickedStillMakesTheDayFolderAndFinishes) {
    Page r;
    ZipBackup(r.Context());
    EXPECT_TRUE(r.files.FolderExists("D:\\装系统前备份\\2015年7月16日备份"));
    EXPECT_TRUE(r.archives.zips.empty());
    EXPECT_EQ(r.Status(), "所有文件备份完成");
    EXPECT_EQ(r.messages.shown.size(), 1u);
}

TEST(Backup, ZipBackupIntoAFolderThatCannotBeCreatedSaysSo) {
    Page r;
    r.Tick(kBackupBoxes, {0, 1, 2, 3});
    r.window.SetText("备份到目录", "Q:\\备份");
    r.files.uncreatable = {"Q:"};
    ZipBackup(r.Context());
    EXPECT_TRUE(r.archives.zips.empty());
    EXPECT_EQ(r.Status(), "无法创建备份文件夹 Q:\\备份\\2015年7月16日备份，没有备份任何文件！");
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].text, r.Status());
    EXPECT_FALSE(r.program.state().userData.busy.Get());
}

TEST(Backup, ASecondClickWhileAJobRunsIsRefused) {
    Page r;
    r.ports.jobs = JobThread::Worker;
    r.archives.longRun = true;
    r.Tick(kBackupBoxes, {0});
    r.window.AddItem("列表框1", "2015年7月16日备份");
    ZipBackup(r.Context());
    r.archives.WaitUntilStarted();
    ZipBackup(r.Context());
    RestoreBackup(r.Context());
    CopyBackup(r.Context());
    EXPECT_TRUE(r.files.copies.empty());
    ASSERT_EQ(r.messages.shown.size(), 3u);
    for (const auto& m : r.messages.shown) EXPECT_EQ(m.text, "正在备份或还原，请等待当前操作完成！");
    r.program.state().userData.worker.Stop();
    EXPECT_FALSE(r.program.state().userData.busy.Get());
    r.archives.longRun = false;
    RestoreBackup(r.Context());
    r.program.state().userData.worker.Wait();
    EXPECT_EQ(r.messages.shown.back().text, "所有文件还原完成");  // free again once the first job ended
}

TEST(Backup, FailedArchivesAreNamedAndTheBackupIsNotReportedDone) {
    Page r;
    r.Tick(kBackupBoxes, {0, 1, 3});
    const std::string base = "D:\\装系统前备份\\2015年7月16日备份\\";
    ZipReport unwritable;
    unwritable.error = "写入压缩文件失败（磁盘已满或无法写入）：" + base + "我的文档.zip";
    ZipReport partly;
    partly.failed = {"锁定.dat"};
    r.archives.resultFor[base + "我的文档.zip"] = unwritable;
    r.archives.resultFor[base + "桌面.zip"] = partly;
    ZipBackup(r.Context());
    EXPECT_EQ(r.archives.zips.size(), 3u);  // one failure does not stop the others
    EXPECT_EQ(r.Status(), "以下项目备份失败：我的文档.zip、桌面.zip");
    ASSERT_EQ(r.messages.shown.size(), 1u);
    const test::ShownMessage& shown = r.messages.shown[0];
    EXPECT_EQ(shown.title, "错误");
    EXPECT_EQ(shown.icon, MessageIcon::Error);
    EXPECT_NE(shown.text.find("我的文档.zip：" + unwritable.error), std::string::npos) << shown.text;
    EXPECT_NE(shown.text.find("桌面.zip：1 个文件无法读取或写入：锁定.dat"), std::string::npos) << shown.text;
    EXPECT_EQ(shown.text.find("所有文件备份完成"), std::string::npos);
}

TEST(Backup, ATickedItemWhoseLocationIsUnknownIsNamed) {
    Page r;
    r.program.state().userData.userFolders.Set({"", "C:\\收藏夹", "", ""});
    r.Tick(kBackupBoxes, {0, 1});
    ZipBackup(r.Context());
    ASSERT_EQ(r.archives.zips.size(), 1u);
    EXPECT_EQ(r.Status(), "以下项目备份失败：我的文档.zip");
    CopyBackup(r.Context());
    ASSERT_EQ(r.files.copies.size(), 1u);  // the other ticked item is still copied
    EXPECT_EQ(r.files.copies[0].first, "C:\\收藏夹");
    EXPECT_EQ(r.Status(), "以下项目备份失败：我的文档");
}

TEST(Backup, AFailedFolderCopyIsNamed) {
    Page r;
    r.Tick(kBackupBoxes, {0, 2, 3});
    r.files.failingCopies = {"C:\\Cookies"};
    CopyBackup(r.Context());
    EXPECT_EQ(r.files.copies.size(), 3u);
    EXPECT_EQ(r.Status(), "以下项目备份失败：Cookies");
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_NE(r.messages.shown[0].text.find("CopyFolder 错误"), std::string::npos) << r.messages.shown[0].text;
    EXPECT_EQ(r.window.ProgressPosition("进度条1"), 4);
}

TEST(Backup, AFailedRestoreIsNamed) {
    Page r;
    r.window.AddItem("列表框1", "2015年7月16日备份");
    r.Tick(kRestoreBoxes, {0, 3});
    const std::string base = "D:\\装系统前备份\\2015年7月16日备份\\";
    r.files.files = {base + "我的文档.zip"};
    r.files.folders.insert(base + "桌面");
    ZipReport broken;
    broken.error = "压缩文件已损坏：" + base + "我的文档.zip";
    r.archives.result = broken;
    r.files.failingCopies = {base + "桌面"};
    RestoreBackup(r.Context());
    EXPECT_EQ(r.Status(), "以下项目还原失败：我的文档、桌面");
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_NE(r.messages.shown[0].text.find("我的文档：" + broken.error), std::string::npos);
}

TEST(Backup, ClosingTheWindowStopsALongZipBackupAtOnceWithoutAMessage) {
    Page r;
    r.ports.jobs = JobThread::Worker;
    r.archives.longRun = true;  // about ten seconds of reports unless one of them answers "stop"
    r.Tick(kBackupBoxes, {0, 1, 2, 3});
    ZipBackup(r.Context());
    r.archives.WaitUntilStarted();
    const auto before = std::chrono::steady_clock::now();
    r.program.state().userData.worker.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
    EXPECT_FALSE(r.program.state().userData.worker.Running());
    EXPECT_FALSE(r.program.state().userData.busy.Get());
    EXPECT_EQ(r.Status(), "备份已取消");
    EXPECT_TRUE(r.messages.shown.empty());  // a box would hold the closing window until someone clicks
}

TEST(Backup, ZipProgressMovesTheBarAndGoesOn) {
    Page r;
    EXPECT_EQ(ShowZipProgress(r.window, 42), 0);
    EXPECT_EQ(r.window.ProgressPosition("进度条1"), 42);
}

TEST(Backup, AJobThatThrowsStillFreesThePage) {
    Page r;
    r.Tick(kBackupBoxes, {0});
    r.archives.throws = true;
    ZipBackup(r.Context());
    EXPECT_FALSE(r.program.state().userData.busy.Get());
    EXPECT_EQ(r.Status(), "操作意外中止");
}

TEST(Backup, CopyBackupCopiesTickedFoldersWithTheBarAtOneToFour) {
    Page r;
    r.Tick(kBackupBoxes, {0, 1, 2, 3});
    r.window.SetText("备份到目录", "D:\\备份\\");
    CopyBackup(r.Context());
    const std::string base = "D:\\备份\\2015年7月16日备份\\";
    EXPECT_EQ(r.files.created.front(), "D:\\备份\\2015年7月16日备份");
    ASSERT_EQ(r.files.copies.size(), 4u);
    EXPECT_EQ(r.files.copies[0], std::make_pair(std::string("C:\\我的文档"), base + "我的文档"));
    EXPECT_EQ(r.files.copies[1], std::make_pair(std::string("C:\\收藏夹"), base + "收藏夹"));
    EXPECT_EQ(r.files.copies[2], std::make_pair(std::string("C:\\Cookies"), base + "Cookies"));
    EXPECT_EQ(r.files.copies[3], std::make_pair(std::string("C:\\桌面"), base + "桌面"));
    EXPECT_EQ(r.files.positionAtCopy, (std::vector<int>{1, 2, 3, 3}));
    EXPECT_EQ(r.files.statusAtCopy[2], "正在备份Cookies,请稍候...");
    EXPECT_EQ(r.window.ProgressMax("进度条1"), 4);
    EXPECT_EQ(r.window.ProgressPosition("进度条1"), 4);
    EXPECT_EQ(r.Status(), "备份完成");
    EXPECT_TRUE(r.messages.shown.empty());
}

TEST(Backup, TheListShowsDayFoldersOnlyWhereverDotEntriesCome) {
    Page r;
    r.files.listing = {"2015年7月16日备份", ".", "旧资料", "..", "2014年1月2日备份", "backup"};
    r.window.AddItem("列表框1", "stale");
    RefreshBackupList(r.Context());
    EXPECT_EQ(r.window.Items("列表框1"), (std::vector<std::string>{"2015年7月16日备份", "2014年1月2日备份"}));
    EXPECT_EQ(r.files.listed, std::vector<std::string>{"D:\\装系统前备份"});
    r.window.SetText("备份到目录", "");
    RefreshBackupList(r.Context());
    EXPECT_TRUE(r.window.Items("列表框1").empty());
    EXPECT_EQ(r.files.listed.size(), 1u);
}

TEST(Backup, RestoreWithAnEmptyListSaysSoAndStartsNothing) {
    Page r;
    RestoreBackup(r.Context());
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].text, "没有备份数据可以还原！");
    EXPECT_FALSE(r.program.state().userData.busy.Get());
}

TEST(Backup, RestoreTakesTheFirstEntryWhenNoneIsSelectedAndPrefersArchives) {
    Page r;
    r.window.AddItem("列表框1", "2015年7月10日备份");
    r.window.AddItem("列表框1", "2015年7月16日备份");
    r.Tick(kRestoreBoxes, {0, 1, 2, 3});
    const std::string base = "D:\\装系统前备份\\2015年7月10日备份\\";
    r.files.files = {base + "我的文档.zip"};
    r.files.folders.insert(base + "我的文档");  // the archive wins over the copied folder
    r.files.folders.insert(base + "Cookies");
    r.files.folders.insert(base + "桌面");
    RestoreBackup(r.Context());
    EXPECT_EQ(r.window.Selection("列表框1"), 0);
    ASSERT_EQ(r.archives.unzips.size(), 1u);
    EXPECT_EQ(r.archives.unzips[0].from, base + "我的文档.zip");
    EXPECT_EQ(r.archives.unzips[0].to, "C:\\我的文档");
    EXPECT_EQ(r.archives.unzips[0].status, "正在还原我的文档,请稍候...");
    EXPECT_EQ(r.archives.unzips[0].positionAfterProgress, 37);
    // Favorites has neither and is passed over; the others are copied with the bar at their places.
    ASSERT_EQ(r.files.copies.size(), 2u);
    EXPECT_EQ(r.files.copies[0], std::make_pair(base + "Cookies", std::string("C:\\Cookies")));
    EXPECT_EQ(r.files.copies[1], std::make_pair(base + "桌面", std::string("C:\\桌面")));
    EXPECT_EQ(r.files.positionAtCopy, (std::vector<int>{75, 100}));
    EXPECT_EQ(r.files.statusAtCopy[0], "正在还原Cookies,请稍候...");
    EXPECT_EQ(r.window.ProgressPosition("进度条1"), 100);
    EXPECT_EQ(r.Status(), "所有文件还原完成");
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].text, "所有文件还原完成");
}

TEST(Backup, RestoreUsesTheSelectedEntryAndReportsRefusedEntries) {
    Page r;
    r.window.AddItem("列表框1", "2015年7月10日备份");
    r.window.AddItem("列表框1", "2015年7月16日备份");
    r.window.SetSelection("列表框1", 1);
    r.window.SetText("备份到目录", "D:\\备份\\");
    r.Tick(kRestoreBoxes, {3});
    r.files.files = {"D:\\备份\\2015年7月16日备份\\桌面.zip"};
    r.archives.result.ok = false;
    r.archives.result.refused = {"../evil.exe", "C:/boot.ini"};
    RestoreBackup(r.Context());
    ASSERT_EQ(r.archives.unzips.size(), 1u);
    EXPECT_EQ(r.archives.unzips[0].from, "D:\\备份\\2015年7月16日备份\\桌面.zip");
    EXPECT_EQ(r.Status(), "所有文件还原完成（2个指向文件夹以外的文件已被拒绝）");
    EXPECT_EQ(r.messages.shown.back().text, r.Status());
}

TEST(Backup, RestoreOfAnEntryWithoutTextAsksForOne) {
    Page r;
    r.window.AddItem("列表框1", "");
    r.Tick(kRestoreBoxes, {0});
    RestoreBackup(r.Context());
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].text, "请选择要还原的数据包！");
    EXPECT_TRUE(r.archives.unzips.empty());
    EXPECT_FALSE(r.program.state().userData.busy.Get());
}

TEST(Backup, BrowseSetsTheBackupDirectory) {
    Page r;
    r.dialog.answer = "E:\\资料备份";
    ChooseBackupFolder(r.Context());
    EXPECT_EQ(r.window.Text("备份到目录"), "E:\\资料备份");
    EXPECT_EQ(r.dialog.titles, std::vector<std::string>{"设置备份位置"});
    r.dialog.answer = "";
    ChooseBackupFolder(r.Context());
    EXPECT_EQ(r.window.Text("备份到目录"), "E:\\资料备份");
}

}  // namespace
}  // namespace kx
