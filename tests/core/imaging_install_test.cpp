#include <gtest/gtest.h>

#include "ImagingRig.h"
#include "app/Handlers.h"
#include "imaging/Install.h"

namespace kx::test {
namespace {

struct InstallRig : ImagingRig {
    InstallRig() { imageFiles.Add("E:\\VX_win7_sp1_32.gho", 3 * kGiB); }
    Outcome Install(const std::string& image = "E:\\VX_win7_sp1_32.gho") {
        ImagingContext c = Context();
        // The countdown's second passes at once here; a test that wants it stops it.
        c.wait = [](const StopToken& stop, int) { return stop.StopRequested(); };
        return InstallAndScheduleRestart(c, image);
    }
};

TEST(Install, StagesTheRestoreOntoTheSystemPartitionAndStartsTheCountdown) {
    InstallRig r;
    r.window.SetSelection(kRestoreList, 2);
    r.program.facts().deploymentReady.Set("");
    r.restart.accept = true;
    const Outcome done = r.Install();
    ASSERT_TRUE(done.ok()) << done.Describe();
    EXPECT_EQ(r.Batch(),
              "Ghost.exe -noide -nousb -clone,mode=pload,src=1:3\\VX_win7_sp1_32.gho:1,dst=1:1 -sure -rb\r\nrestart");
    EXPECT_TRUE(r.bootFiles.files["C:\\Ghost.bat"].stamped);
    EXPECT_EQ(r.window.Selection(kRestoreList), 0) << "the system partition's row";
    ASSERT_EQ(r.bcd.entries.size(), 1u);
    EXPECT_EQ(r.program.facts().deploymentReady.Get(), "就绪");
    EXPECT_EQ(r.window.PageIndex("高级选择夹2"), 2);
    r.program.state().imaging.countdown.Wait();  // a countdown of no time at all
    ASSERT_EQ(r.restart.Count(), 1u);
    EXPECT_EQ(r.restart.requests[0].flags, 6u);

    // A second run adds no second boot entry.
    ASSERT_TRUE(r.Install().ok());
    EXPECT_EQ(r.bcd.entries.size(), 1u);
}

TEST(Install, NoRowForTheSystemDriveOpensTheToolPageAndWritesNothing) {
    InstallRig r;
    r.drives.windowsDirectory = "G:\\WINDOWS";
    r.window.SetPageIndex("高级选择夹2", 2);
    EXPECT_FALSE(r.Install().ok());
    EXPECT_EQ(r.LastMessage(), "你的系统盘不在c盘,本工具不支持自定义盘安装,请下载万能系统安装工具!");
    EXPECT_EQ(r.shell.opened, std::vector<std::string>{"http://www.korvanix.com/vx/wngjxz.htm"});
    EXPECT_TRUE(r.NothingWritten());
    EXPECT_EQ(r.window.PageIndex("高级选择夹2"), 0);
    EXPECT_FALSE(r.program.state().imaging.countdown.Running());
}

TEST(Install, AnEmptyPartitionListIsRefreshedFirst) {
    InstallRig r;
    ClearPartitions(r.program);
    ImagingContext c = r.Context();
    int refreshes = 0;
    c.refreshPartitions = [&] {
        ++refreshes;
        r.AddPartition("C:", "1:1", 40, 10);
        r.AddPartition("E:", "1:3", 200, 150);
        return Outcome::Done();
    };
    c.wait = [](const StopToken& stop, int) { return stop.WaitFor(1000); };
    ASSERT_TRUE(InstallAndScheduleRestart(c, "E:\\VX_win7_sp1_32.gho").ok());
    EXPECT_EQ(refreshes, 1);
    EXPECT_NE(r.Batch().find("dst=1:1"), std::string::npos);
}

TEST(Install, AnImageOnTheSystemPartitionIsCopiedOffItFirst) {
    InstallRig r;
    r.imageFiles.Add("C:\\VX_win7_sp1_64.gho", 4 * kGiB + 1);
    ASSERT_TRUE(r.Install("C:\\VX_win7_sp1_64.gho").ok());
    EXPECT_EQ(r.imageFiles.copies, std::vector<std::string>{"C:\\VX_win7_sp1_64.gho -> E:\\VX_win7_sp1_64.gho"});
    EXPECT_NE(r.Batch().find("src=1:3\\VX_win7_sp1_64.gho:1,dst=1:1"), std::string::npos);
}

TEST(Install, AFailedStepLeavesNoReadyMarkNoCountdownAndTheFirstPage) {
    const std::function<void(InstallRig&)> failures[] = {
        [](InstallRig& r) { r.commands.answer = [](const std::string&) { return std::string(); }; },  // bcdedit
        [](InstallRig& r) { r.bootFiles.failWrites = true; },
        [](InstallRig& r) { r.system.version = "Vista"; },
        [](InstallRig& r) { r.dosImage = DosImageKind::Diagnostic; },
        [](InstallRig& r) { r.imageFiles.sizes.clear(); },
    };
    for (size_t i = 0; i < std::size(failures); ++i) {
        InstallRig r;
        r.program.facts().deploymentReady.Set("就绪");  // left by an earlier run
        failures[i](r);
        r.window.SetPageIndex("高级选择夹2", 2);
        EXPECT_FALSE(r.Install().ok()) << i;
        EXPECT_EQ(r.program.facts().deploymentReady.Get(), "") << i;
        EXPECT_FALSE(r.bootFiles.files.count("C:\\Ghost.bat")) << i;
        EXPECT_FALSE(r.program.state().imaging.countdown.Running()) << i;
        EXPECT_EQ(r.window.PageIndex("高级选择夹2"), 0) << i;
        EXPECT_EQ(r.messages.shown.size(), 1u) << i << " every failure is shown";
        EXPECT_EQ(r.restart.Count(), 0u) << i;
    }
}

TEST(Install, ABootMenuToolThatCannotStartIsNamedInAnErrorBox) {
    InstallRig r;
    r.commands.cannotStart = "bcdedit";
    EXPECT_FALSE(r.Install().ok());
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].icon, MessageIcon::Error);
    EXPECT_NE(r.LastMessage().find("无法运行命令“bcdedit”（CreateProcessW 错误 2）"), std::string::npos)
        << r.LastMessage();
    EXPECT_EQ(r.commands.Others(), std::vector<std::string>{"bcdedit"}) << "nothing created after it";
}

TEST(Install, TheHiddenButtonInstallsTheFileOfTheDownloadPage) {
    InstallRig r;  // on the engine route the catalogue's Ghost image is refused with the reason
    r.program.state().route = ImagingRoute::Engine;
    r.window.SetText("保存到文件名", "E:\\VX_win7_sp1_32.gho");  // the hidden button's input
    r.program.Dispatch("按钮21", Event::Click);
    EXPECT_NE(r.LastMessage().find("没有带 DOS 版 Ghost"), std::string::npos);
    EXPECT_TRUE(r.NothingWritten());
    EXPECT_FALSE(InstallAndScheduleRestart(r.program.Imaging(), "E:\\VX_win7_sp1_32.gho").ok());
}

}  // namespace
}  // namespace kx::test
