// Before a job that names a row of the partition lists is written, the disks are read afresh: a row that no
// longer names the partition it did (a list filled wrongly, or older than the disks) is refused.
#include <gtest/gtest.h>

#include "ImagingRig.h"
#include "imaging/Install.h"

namespace kx::test {
namespace {

constexpr const char* kStaleC =
    "分区列表中的 C:（3:2）与磁盘上现在的分区不一致（C: 现在是 1:1），分区列表已过时或分区已经改变。"
    "为了安全，没有写入任何内容。请点“重新搜索”刷新分区列表后重试。";

// The lists hold, beside C: 1:1, D: 1:2 and E: 1:3, the row "C: 3:2" of a refresh that read another's script
// (second, as the lists sort by drive).
struct StaleRig : ImagingRig {
    explicit StaleRig(ImagingRoute via = ImagingRoute::Dos) {
        if (via == ImagingRoute::Engine) {
            route = program.state().route = ImagingRoute::Engine;
            dosImage = program.state().dosImage = DosImageKind::Diagnostic;
        }
        imageFiles.Add("D:\\vx_win7.GHO", 3 * kGiB);
        imageFiles.Add("D:\\SYS\\manifest.txt", 300);
        imageFiles.Add("U:\\vx_win7.GHO", 3 * kGiB);
        AddPartition("C:", "3:2", 40, 10);
        onDisk.erase("3:2");
    }
    void Refused(const std::string& what, const std::string& message = kStaleC) {
        EXPECT_TRUE(NothingWritten()) << what;
        EXPECT_TRUE(imageFiles.copies.empty()) << what << ": not even the image copied";
        EXPECT_EQ(LastMessage(), message) << what;
        EXPECT_EQ(messages.shown.back().icon, MessageIcon::Error) << what;
        EXPECT_EQ(commands.run, (std::vector<std::string>{"diskpart /s \"kxdisk1.txt\""})) << what;
        EXPECT_TRUE(drives.files.empty()) << what << ": the script is gone";
    }
};

TEST(FreshRead, OneTapOnAStaleRowWritesNothingOnEitherRoute) {
    for (bool restore : {true, false}) {
        StaleRig dos;
        dos.ChooseImage(restore ? "U:\\vx_win7.GHO" : "D:\\new.gho");
        dos.program.state().imaging.oneTapRestore = restore;
        dos.messages.answer = MessageAnswer::Yes;
        OneTapRun(dos.Context());
        dos.Refused(restore ? "DOS restore" : "DOS backup");

        StaleRig engine(ImagingRoute::Engine);
        engine.ChooseImage(restore ? "D:\\SYS" : "D:\\new.gho");
        engine.program.state().imaging.oneTapRestore = restore;
        engine.messages.answer = MessageAnswer::Yes;
        OneTapRun(engine.Context());
        engine.Refused(restore ? "engine restore" : "engine backup");
        EXPECT_FALSE(engine.bootFiles.files.count("C:\\KORVANIX.JOB"));
    }
}

TEST(FreshRead, TheRightRowStillGoesThrough) {
    StaleRig r;
    r.ChooseImage("D:\\vx_win7.GHO");
    r.window.SetSelection(kRestoreList, 0);  // C: 1:1
    r.messages.answer = MessageAnswer::Yes;
    OneTapRun(r.Context());
    EXPECT_NE(r.Batch().find("dst=1:1 "), std::string::npos) << r.LastMessage();
}

TEST(FreshRead, TheBackupPageAndTheInstallCheckTheirRowToo) {
    for (ImagingRoute via : {ImagingRoute::Dos, ImagingRoute::Engine}) {
        StaleRig r(via);
        r.window.SetSelection(kBackupList, 1);  // the stale row
        r.window.SetText("备份路径", "E:\\C201571020656.gho");
        r.program.Dispatch("开始还原_按钮2", Event::Click);
        r.Refused(via == ImagingRoute::Dos ? "backup at restart, DOS" : "backup at restart, engine");
    }
    StaleRig now;
    now.bootAssets.bytes[BootAsset::WindowsGhost] = "MZ ghost32";
    now.window.SetSelection(kBackupList, 1);
    now.window.SetText("备份路径", "E:\\C201571020656.gho");
    now.program.Dispatch("开始还原_按钮1", Event::Click);
    now.Refused("backup in Windows");
    EXPECT_TRUE(now.imageFiles.started.empty());

    // The system partition moved: C: is now the second partition of the disk.
    StaleRig install;
    install.onDisk = {{"1:2", "C"}, {"1:3", "E"}};
    install.window.SetPageIndex("高级选择夹2", 2);
    EXPECT_FALSE(InstallAndScheduleRestart(install.Context(), "D:\\vx_win7.GHO").ok());
    install.Refused("install",
                    "分区列表中的 C:（1:1）与磁盘上现在的分区不一致（C: 现在是 1:2），分区列表已过时或分区已经改变。"
                    "为了安全，没有写入任何内容。请点“重新搜索”刷新分区列表后重试。");
    EXPECT_EQ(install.window.PageIndex("高级选择夹2"), 0);
    EXPECT_TRUE(install.program.facts().deploymentReady.Get().empty());
}

TEST(FreshRead, ARowOnAnotherDiskThanTheListWasFilledFromIsRefused) {
    // The list was filled while another disk was the first (a USB disk since taken away): C: and 1:1 agree,
    // but the disk is not the one the list was read from.
    StaleRig r;
    r.diskIds["1:"] = "1A2B3C00";
    r.program.facts().listedDiskIds.Set({{"1:1", "0BADF00D"}});
    r.ChooseImage("D:\\vx_win7.GHO");
    r.window.SetSelection(kRestoreList, 0);
    r.messages.answer = MessageAnswer::Yes;
    OneTapRun(r.Context());
    r.Refused("identity",
              "分区列表中的 C:（1:1）所在的磁盘已经不是分区列表刷新时的那块（磁盘 ID 刷新时是 0BADF00D，现在是 "
              "1A2B3C00），分区列表已过时。为了安全，没有写入任何内容。请点“重新搜索”刷新分区列表后重试。");

    r.program.facts().listedDiskIds.Set({{"1:1", "1A2B3C00"}});
    r.commands.run.clear();
    OneTapRun(r.Context());
    EXPECT_NE(r.Batch().find("dst=1:1 "), std::string::npos) << "the same disk: " << r.LastMessage();
}

TEST(FreshRead, ADiskThatCannotBeReadRefusesToo) {
    StaleRig r;
    r.commands.timeOutOn = "diskpart";
    r.ChooseImage("D:\\vx_win7.GHO");
    r.window.SetSelection(kRestoreList, 0);
    r.messages.answer = MessageAnswer::Yes;
    OneTapRun(r.Context());
    r.Refused("time-out",
              "无法重新读取磁盘来核对分区列表中的 C:（1:1）：命令“diskpart /s \"kxdisk1.txt\"”在 120 秒内没有完成，"
              "已被结束。为了安全，没有写入任何内容。");
}

}  // namespace
}  // namespace kx::test
