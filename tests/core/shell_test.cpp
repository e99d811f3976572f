#include <gtest/gtest.h>

#include <set>

#include "DiskFakes.h"
#include "app/Handlers.h"
#include "app/Layout.h"

namespace kx {
namespace {

using test::Rig;

TEST(Layout, NamesAreUniqueAndEveryParentExists) {
    std::set<std::string> names;
    for (const auto& c : MainLayout()) {
        EXPECT_TRUE(names.insert(c.name).second) << "duplicate control " << c.name;
        if (*c.parent) {
            EXPECT_TRUE(names.count(c.parent)) << c.name << " comes before its parent " << c.parent;
        }
    }
    // Every page of both page controls, in order.
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(names.count(PageName("高级选择夹1", i)));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(names.count(PageName("高级选择夹2", i)));
    EXPECT_FALSE(names.count(PageName("高级选择夹1", 8)));
}

TEST(Layout, KeepsTheWindowAndKeyPlaces) {
    const WindowSpec& w = MainWindowSpec();
    EXPECT_STREQ(w.className, "TQzrpOneTapGhost");
    EXPECT_STREQ(w.title, "重装系统工具");
    EXPECT_EQ(std::make_tuple(w.x, w.y, w.w, w.h), std::make_tuple(50, 50, 789, 590));
    const ControlSpec* outer = FindControl("高级选择夹1");
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(std::make_tuple(outer->x, outer->y, outer->w, outer->h), std::make_tuple(-888, 90, 779, 431));
    const ControlSpec* countdown = FindControl("提示透明标签5");
    ASSERT_NE(countdown, nullptr);
    EXPECT_STREQ(countdown->caption, "60秒 后自动重启!");
    EXPECT_STREQ(countdown->parent, "高级选择夹2#2");
    // The ten rows of the folder page sit at the rows' heights.
    const int rows[] = {18, 48, 78, 108, 138, 168, 198, 228, 258, 294};
    const char* stems[] = {"我的文档", "历史记录", "IE临时文件夹", "Cookies", "收藏夹",
                           "桌面",     "开始菜单", "菜单程序",     "启动项",  "下载目录"};
    for (int i = 0; i < 10; ++i) {
        const ControlSpec* box = FindControl(std::string(stems[i]) + "编辑框1");
        ASSERT_NE(box, nullptr) << stems[i];
        EXPECT_EQ(box->y, rows[i]);
        EXPECT_EQ(box->x, 415);
        EXPECT_EQ(FindControl(std::string(stems[i]) + "超级按钮")->x, 692);
    }
}

TEST(Layout, HiddenAtStartAreTheOnesTheWorkflowsShow) {
    for (const char* name : {"按钮16", "按钮17", "按钮21", "按钮22", "下载的地址", "保存到文件名", "按钮1", "按钮3",
                             "开始还原_按钮2", "图形按钮6", "透明标签3", "还原_单选框", "备份_单选框"})
        EXPECT_FALSE(FindControl(name)->visible) << name;
    for (const char* name : {"按钮18", "按钮19", "按钮20", "按钮26", "开始还原_按钮"})
        EXPECT_TRUE(FindControl(name)->visible) << name;
}

TEST(SingleInstance, FirstInstanceKeepsRunning) {
    Rig r;
    SingleInstanceGuard(r.instance, r.window, kMutexName, "TQzrpOneTapGhost", "重装系统工具");
    EXPECT_EQ(r.instance.mutexName, "Korvanix-0.1-Tamsin&Orwen");
    EXPECT_EQ(r.instance.exitCode, -1);
    EXPECT_FALSE(r.instance.released);
}

TEST(SingleInstance, AlreadyExistsOrAccessDeniedMeansAnotherInstance) {
    for (uint32_t error : {183u, 5u}) {
        Rig r;
        r.instance.lastError = error;
        SingleInstanceGuard(r.instance, r.window, kMutexName, "TQzrpOneTapGhost", "重装系统工具");
        EXPECT_EQ(r.instance.exitCode, 0) << error;
        EXPECT_TRUE(r.instance.released);
        EXPECT_EQ(r.instance.searchedClass, "TQzrpOneTapGhost");
        EXPECT_EQ(r.instance.searchedTitle, "重装系统工具");
        EXPECT_EQ(r.window.Title(), "重装系统工具") << "the saved title comes back";
    }
}

TEST(SingleInstance, OtherErrorsRunAsFirstInstance) {
    Rig r;
    r.instance.lastError = 1450;
    SingleInstanceGuard(r.instance, r.window, kMutexName, "TQzrpOneTapGhost", "重装系统工具");
    EXPECT_EQ(r.instance.exitCode, -1);
}

TEST(Startup, DatedBackupFolderName) {
    EXPECT_EQ(DatedBackupFolderName({2015, 7, 16, 9, 5, 3}), "2015年7月16日备份");
    EXPECT_EQ(DatedBackupFolderName({2016, 1, 1, 0, 0, 0}), "2016年1月1日备份");
    EXPECT_EQ(DatedBackupFolderName({2015, 12, 31, 23, 59, 59}), "2015年12月31日备份");
}

// A program wired to fakes of every subsystem's ports, so that the created handler runs all its steps.
struct StartupRig : test::DiskRig {
    StartupRig() {
        drives.AddFixed('C', 40, 10);
        drives.AddFixed('D', 100, 60);
    }
};

TEST(Startup, CreatedHandlerRunsEveryStepAndFixesTheDayFolder) {
    StartupRig r;
    r.clock.now = {2016, 1, 1, 0, 0, 0};
    r.program.OnCreated();
    EXPECT_EQ(r.program.facts().backupDayFolder, "2016年1月1日备份");
    EXPECT_EQ(r.program.state().imaging.restorePage.chosen, -1);
    EXPECT_TRUE(r.window.Checked("还原_单选框")) << "the one-tap page starts in restore mode";
    EXPECT_EQ(r.program.facts().systemDriveLetter, "C");
    EXPECT_EQ(r.program.facts().targetDrive.Get(), "D") << "the fixed drive with the most free space";
    EXPECT_EQ(r.instance.mutexName, "Korvanix-0.1-Tamsin&Orwen");
    EXPECT_EQ(r.instance.exitCode, -1);
    // Used after midnight: a backup made then still goes into the start day's folder.
    r.clock.now = {2016, 1, 2, 0, 0, 1};
    r.window.SetText("备份到目录", "E:\\备份");
    r.window.SetChecked("备份我的文档", true);
    r.program.Dispatch("按钮8", Event::Click);
    ASSERT_FALSE(r.files.created.empty());
    EXPECT_EQ(r.files.created.front(), "E:\\备份\\2016年1月1日备份");
}

// The start-up work runs at the first tick; the timer then draws the image search it started and stops once
// the finished search is drawn.
TEST(Startup, TheTimerDoesTheStartUpOnceThenDrawsTheSearch) {
    StartupRig r;
    EXPECT_EQ(r.window.TimerPeriod("时钟1"), 1000);
    r.window.SetChecked("还原_单选框", true);
    EXPECT_TRUE(r.program.Dispatch("时钟1", Event::Tick));
    EXPECT_TRUE(r.program.state().started);
    EXPECT_TRUE(r.program.state().imaging.oneTapRestore);
    r.program.state().disk.imageSearch.Wait();
    r.program.Dispatch("时钟1", Event::Tick);
    EXPECT_EQ(r.window.TimerPeriod("时钟1"), 0);
    EXPECT_TRUE(r.window.Enabled("刷新硬盘映像_按钮")) << "the finished search was drawn";
}

TEST(Shell, HelpPageLoadsOnceAndOnlyOnItsPage) {
    Rig r;
    r.window.SetPageIndex("高级选择夹1", 5);
    r.program.Dispatch("高级选择夹1", Event::PageChanged);
    EXPECT_EQ(r.window.Text("超文本浏览框3"), "about:blank");
    r.window.SetPageIndex("高级选择夹1", 6);
    r.program.Dispatch("高级选择夹1", Event::PageChanged);
    std::string help = "http://" + r.program.facts().siteHost + "/system/help.htm";
    EXPECT_EQ(r.window.Text("超文本浏览框3"), help);
    // The user navigated elsewhere: coming back does not reset the view.
    r.window.SetText("超文本浏览框3", "http://elsewhere/");
    r.window.SetPageIndex("高级选择夹1", 0);
    r.program.Dispatch("高级选择夹1", Event::PageChanged);
    r.window.SetPageIndex("高级选择夹1", 6);
    r.program.Dispatch("高级选择夹1", Event::PageChanged);
    EXPECT_EQ(r.window.Text("超文本浏览框3"), "http://elsewhere/");
}

TEST(Shell, WindowButtonsAndTheManualDownloadPage) {
    Rig r;
    r.program.Dispatch("按钮18", Event::Click);
    ASSERT_EQ(r.shell.opened.size(), 1u);
    EXPECT_EQ(r.shell.opened[0], "http://" + r.program.facts().siteHost + "/vx/system.htm");
    r.program.Dispatch("最小化按钮", Event::Click);
    EXPECT_TRUE(r.window.Minimised());
    r.program.Dispatch("按钮10", Event::Click);  // "加入" does nothing
    EXPECT_TRUE(r.messages.shown.empty());
    EXPECT_FALSE(r.window.Closed());
    r.program.Dispatch("图形按钮1", Event::Click);
    EXPECT_TRUE(r.window.Closed());
}

TEST(Shell, ToolPagesComeIntoViewAndGoBack) {
    Rig r;
    r.program.Dispatch(kToolsToggle, Event::Click);
    EXPECT_EQ(r.window.Left("高级选择夹1"), kToolsPlaceX);
    EXPECT_FALSE(r.window.Visible("高级选择夹2"));
    EXPECT_EQ(r.window.Text(kToolsToggle), "返回向导");
    r.program.Dispatch(kToolsToggle, Event::Click);
    EXPECT_EQ(r.window.Left("高级选择夹1"), -888);
    EXPECT_TRUE(r.window.Visible("高级选择夹2"));
    EXPECT_EQ(r.window.Text(kToolsToggle), "高级工具");
    EXPECT_EQ(r.window.PageIndex("高级选择夹2"), 0) << "the wizard's page is left alone";
}

TEST(Shell, EventsWithoutHandlerAreNotDispatched) {
    Rig r;
    EXPECT_FALSE(r.program.Dispatch("透明标签10", Event::Click));
    EXPECT_FALSE(r.program.Dispatch("按钮18", Event::Tick));
}

TEST(CommandLine, SiteOptions) {
    CommandLine c = ParseCommandLine({"--site=127.0.0.1:8080"});
    EXPECT_EQ(c.siteHost, "127.0.0.1:8080");
    EXPECT_EQ(c.catalogueHost, "127.0.0.1:8080");
    c = ParseCommandLine({"--catalogue=localhost:1"});
    EXPECT_EQ(c.siteHost, "");
    EXPECT_EQ(c.catalogueHost, "localhost:1");
    EXPECT_EQ(ParseCommandLine({"--bogus"}).error, "--bogus");
}

}  // namespace
}  // namespace kx

namespace kx {
namespace {

TEST(Shell, SitePagesFollowTheSiteHost) {
    test::Rig r;
    r.program.facts().siteHost = "127.0.0.1:8080";
    ShowSitePages(r.program);
    EXPECT_EQ(r.window.Text("超文本浏览框1"), "http://127.0.0.1:8080/system/");
    EXPECT_EQ(r.window.Text("超文本浏览框2"), "http://127.0.0.1:8080/softbox/");
    EXPECT_EQ(r.window.Text("超文本浏览框3"), "about:blank") << "the help page waits for its page";
}

}  // namespace
}  // namespace kx
