#include <gtest/gtest.h>

#include "ImagingRig.h"
#include "imaging/EngineRoute.h"

namespace kx::test {
namespace {

constexpr const char* kJobOfD =
    "Ghost.exe -noide -nousb -clone,mode=pload,src=1:2\\vx_win7.GHO:1,dst=1:1 -sure -rb\r\nrestart";

struct OneTapRig : ImagingRig {
    OneTapRig() { imageFiles.Add("D:\\vx_win7.GHO", 3 * kGiB); }
    void Run(MessageAnswer answer = MessageAnswer::Yes) {
        messages.answer = answer;
        OneTapRun(Context());
    }
};

TEST(OneTap, YesWritesTheRestoreJobRegistersTheEntryAndRestarts) {
    OneTapRig r;
    r.ChooseImage("D:\\vx_win7.GHO");
    r.Run();
    EXPECT_EQ(r.Batch(), kJobOfD);
    EXPECT_TRUE(r.bootFiles.files["C:\\Ghost.bat"].stamped);
    EXPECT_TRUE(r.bootFiles.files.count("C:\\Dorv.ima"));
    ASSERT_EQ(r.bcd.entries.size(), 1u);
    EXPECT_EQ(r.bcd.entries[0].second, "安装系统");
    ASSERT_EQ(r.restart.Count(), 1u);
    EXPECT_EQ(r.restart.requests[0].flags, 6u);
    const ShownMessage& question = r.messages.shown.back();
    EXPECT_EQ(question.title, "Korvanix 2015");
    EXPECT_EQ(question.buttons, MessageButtons::YesNoCancel);
    EXPECT_EQ(question.icon, MessageIcon::Warning) << "the partition's data goes";
    EXPECT_EQ(question.text,
              "程序处理完成，是否马上重启计算机进行还原？\r\n\r\n警告：此操作将会删除C:的所有数据。\r\n\r\n"
              "选择\"是(Y)\"立即重新启动，选择\"否(N)\"稍后重新启动，\r\n\r\n选择\"取消\"撤销本次操作。");
}

TEST(OneTap, AnyImageNameIsAcceptedNotOnlyDownloadedOnes) {
    OneTapRig r;
    r.imageFiles.Add("E:\\C201571020656.gho", 5 * kGiB);
    r.ChooseImage("E:\\C201571020656.gho");
    r.Run();
    EXPECT_NE(r.Batch().find("src=1:3\\C201571020656.gho:1,dst=1:1"), std::string::npos);
}

TEST(OneTap, CancelDeletesTheJobAndAddsNoEntry) {
    OneTapRig r;
    r.ChooseImage("D:\\vx_win7.GHO");
    r.Run(MessageAnswer::Cancel);
    EXPECT_FALSE(r.bootFiles.files.count("C:\\Ghost.bat"));
    EXPECT_TRUE(r.bcd.entries.empty());
    EXPECT_EQ(r.restart.Count(), 0u);
    EXPECT_FALSE(r.window.Closed());
}

TEST(OneTap, NoKeepsTheJobWithItsEntryAndEndsWithoutRestarting) {
    OneTapRig r;
    r.ChooseImage("D:\\vx_win7.GHO");
    r.Run(MessageAnswer::No);
    EXPECT_EQ(r.Batch(), kJobOfD);
    EXPECT_EQ(r.bcd.entries.size(), 1u) << "the later restart must run the job";
    EXPECT_EQ(r.restart.Count(), 0u);
    EXPECT_TRUE(r.window.Closed());
}

TEST(OneTap, AGhostJobTheBootEnvironmentDidNotRunIsReportedAtTheNextStart) {
    OneTapRig r;
    r.ChooseImage("D:\\vx_win7.GHO");
    r.Run(MessageAnswer::No);
    r.messages.shown.clear();
    // Still waiting at a start before the restart; left over at the start after it.
    ShowLastEngineResult(r.Context());
    EXPECT_TRUE(r.messages.shown.empty());
    EXPECT_EQ(r.Batch(), kJobOfD);
    for (auto& [path, file] : r.bootFiles.files) file.writtenSinceStart = false;
    ShowLastEngineResult(r.Context());
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_NE(r.messages.shown[0].text.find("启动环境没有运行准备好的 Ghost 作业：系统盘上还留着 C:\\Ghost.bat"),
              std::string::npos)
        << r.messages.shown[0].text;
    EXPECT_TRUE(r.bootFiles.files.empty()) << r.bootFiles.files.begin()->first;
    EXPECT_TRUE(r.bcd.entries.empty());
}

TEST(OneTap, AFailedEntryWithdrawsTheJobAndNeverRestarts) {
    OneTapRig r;
    r.commands.answer = [](const std::string&) { return std::string("拒绝访问。"); };
    r.ChooseImage("D:\\vx_win7.GHO");
    r.Run();
    EXPECT_FALSE(r.bootFiles.files.count("C:\\Ghost.bat"));
    EXPECT_EQ(r.restart.Count(), 0u);
    EXPECT_EQ(r.messages.shown.back().title, "错误");
}

TEST(OneTap, AnImageOnAStickIsCopiedToTheDriveWithMostRoomFirst) {
    OneTapRig r;
    r.AddStick('F');
    r.imageFiles.Add("F:\\vx_win7.GHO", 3 * kGiB);
    r.ChooseImage("F:\\vx_win7.GHO");
    r.Run();
    EXPECT_EQ(r.imageFiles.copies, std::vector<std::string>{"F:\\vx_win7.GHO -> E:\\vx_win7.GHO"});
    EXPECT_NE(r.Batch().find("src=1:3\\vx_win7.GHO:1,dst=1:1"), std::string::npos);
}

TEST(OneTap, ACancelledCopyEndsSilentlyAndAFailedOneIsReported) {
    for (bool cancel : {true, false}) {
        OneTapRig r;
        r.AddStick('F');
        r.imageFiles.Add("F:\\vx_win7.GHO", 3 * kGiB);
        r.imageFiles.cancelCopies = cancel;
        r.imageFiles.failCopies = !cancel;
        r.ChooseImage("F:\\vx_win7.GHO");
        r.Run();
        EXPECT_EQ(r.messages.shown.size(), cancel ? 0u : 1u);
        if (!cancel) {
            EXPECT_NE(r.LastMessage().find("复制到 E:\\vx_win7.GHO 失败"), std::string::npos);
        }
        EXPECT_TRUE(r.NothingWritten()) << "nothing is staged that cannot run";
        EXPECT_EQ(r.restart.Count(), 0u);
    }
}

TEST(OneTap, StagingRoundsTheSizeUpToWholeGigabytes) {
    OneTapRig r;
    r.drives.AddFixed('D', 100, 0);
    r.drives.AddFixed('E', 200, 8);  // exactly 8 whole gigabytes free
    r.AddStick('F');
    r.imageFiles.Add("F:\\vx_win7.GHO", 8 * kGiB + 1);
    r.ChooseImage("F:\\vx_win7.GHO");
    r.Run();
    EXPECT_TRUE(r.imageFiles.copies.empty());
    EXPECT_EQ(r.LastMessage(), "所有非系统盘空间大小均已不足！无法成功执行操作，请释放本地磁盘空间后重试！");
    EXPECT_TRUE(r.NothingWritten());
}

// Each refusal shows its reason and writes nothing: no boot files, no job, no entry, no restart.
struct Refusal {
    const char* name;
    std::function<void(OneTapRig&)> arrange;
    const char* message;  // a part of the message shown
};

TEST(OneTap, EveryRefusalComesBeforeAnythingIsWritten) {
    const Refusal refusals[] = {
        {"Chinese path",
         [](OneTapRig& r) {
             r.imageFiles.Add("D:\\系统.gho", kGiB);
             r.ChooseImage("D:\\系统.gho");
         },
         "映像文件包含中文无法被正常加载，请改名后重试!"},
        {"blank in path",
         [](OneTapRig& r) {
             r.imageFiles.Add("D:\\my image.gho", kGiB);
             r.ChooseImage("D:\\my image.gho");
         },
         "包含空格"},
        {"diagnostic build",
         [](OneTapRig& r) {
             r.ChooseImage("D:\\vx_win7.GHO");
             r.dosImage = DosImageKind::Diagnostic;
         },
         "没有带 DOS 版 Ghost"},
        {"UEFI",
         [](OneTapRig& r) {
             r.ChooseImage("D:\\vx_win7.GHO");
             r.machine.firmware = Firmware::Uefi;
         },
         "UEFI"},
        {"GPT",
         [](OneTapRig& r) {
             r.ChooseImage("D:\\vx_win7.GHO");
             r.machine.styles['C'] = PartitionStyle::Gpt;
         },
         "GPT"},
        {"dynamic",
         [](OneTapRig& r) {
             r.ChooseImage("D:\\vx_win7.GHO");
             r.machine.styles['C'] = PartitionStyle::Dynamic;
         },
         "动态磁盘"},
        {"Windows 10",
         [](OneTapRig& r) {
             r.ChooseImage("D:\\vx_win7.GHO");
             r.system.version = "未知";
         },
         "不支持当前的 Windows 版本"},
        {"no target row",
         [](OneTapRig& r) {
             r.ChooseImage("D:\\vx_win7.GHO");
             r.window.SetSelection(kRestoreList, -1);
         },
         "请先在列表中选择要还原到的磁盘分区。"},
        {"image on its target", [](OneTapRig& r) { r.ChooseImage("D:\\vx_win7.GHO", "D:"); }, "还原时会被覆盖"},
        {"missing file", [](OneTapRig& r) { r.ChooseImage("D:\\gone.gho"); }, "不存在或是空文件"},
        {"empty file",
         [](OneTapRig& r) {
             r.imageFiles.Add("D:\\zero.gho", 0);
             r.ChooseImage("D:\\zero.gho");
         },
         "不存在或是空文件"},
        {"list emptied",
         [](OneTapRig& r) {
             r.ChooseImage("D:\\vx_win7.GHO");
             ClearImageList(r.Context());
         },
         "请先在列表中选择要还原的映像文件。"},
        {"ISO",
         [](OneTapRig& r) {
             r.imageFiles.Add("D:\\win.iso", kGiB);
             r.ChooseImage("D:\\win.iso");
         },
         "ISO和GGH"},
    };
    for (const Refusal& refusal : refusals) {
        OneTapRig r;
        refusal.arrange(r);
        r.Run();
        EXPECT_NE(r.LastMessage().find(refusal.message), std::string::npos) << refusal.name << ": " << r.LastMessage();
        EXPECT_TRUE(r.NothingWritten()) << refusal.name;
        EXPECT_EQ(r.restart.Count(), 0u) << refusal.name;
    }
}

TEST(OneTap, ABuildForcedOntoTheDosRouteWithoutAKitRefusesThroughTheWindowToo) {
    OneTapRig r;
    r.program.state().dosImage = DosImageKind::Diagnostic;
    r.ChooseImage("D:\\vx_win7.GHO");
    r.program.Dispatch("开始还原_按钮", Event::Click);
    EXPECT_NE(r.LastMessage().find("没有带 DOS 版 Ghost"), std::string::npos);
    EXPECT_TRUE(r.NothingWritten());
}

TEST(OneTap, BackupModeWritesTheBackupJobAndAsksBeforeOverwriting) {
    OneTapRig r;
    r.ChooseImage("D:\\vx_win7.GHO");
    ImagingContext c = r.Context();
    SetOneTapBackupMode(c);
    r.messages.answer = MessageAnswer::Cancel;
    OneTapRun(c);
    EXPECT_EQ(r.bootFiles.folders, std::vector<std::string>{"D:\\qzrpgho\\"});
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].text.rfind("程序处理完成，是否马上重启计算机进行备份？\r\n\r\n选择", 0), 0u);
    EXPECT_EQ(r.messages.shown[0].icon, MessageIcon::Question);

    r.messages.answer = MessageAnswer::No;
    OneTapRun(c);
    EXPECT_EQ(
        r.Batch(),
        "Ghost.exe -noide -nousb -clone,mode=pdump,src=1:1,dst=1:2\\qzrpgho\\temp.gho -sure -fro -rb -z1\r\nrestart");

    // The image to create is there now: a No to the overwrite question writes nothing more.
    r.imageFiles.Add("D:\\qzrpgho\\temp.gho", kGiB);
    r.bootFiles.files.clear();
    r.messages.shown.clear();
    r.messages.answer = MessageAnswer::No;
    OneTapRun(c);
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_NE(r.messages.shown[0].text.find("已经存在"), std::string::npos);
    EXPECT_EQ(r.messages.shown[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(r.bootFiles.files.empty());
}

TEST(OneTap, BackupModeRefusesAnImageOnTheSavedPartitionOrOffTheList) {
    for (const char* image : {"C:\\qzrpgho\\temp.gho", "F:\\temp.gho"}) {
        OneTapRig r;
        r.AddStick('F');
        r.ChooseImage(image);
        ImagingContext c = r.Context();
        c.state.oneTapRestore = false;
        OneTapRun(c);
        EXPECT_EQ(r.messages.shown.size(), 1u) << image;
        EXPECT_TRUE(r.NothingWritten()) << image;
    }
}

}  // namespace
}  // namespace kx::test
