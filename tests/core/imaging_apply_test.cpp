// The engine route's Windows imaging files: the wizard's install stages an apply of one edition onto the
// system partition, and the backup page's "开始备份系统" stages the engine's backup and asks about the restart.
#include <gtest/gtest.h>

#include "DiskFakes.h"
#include "ImagingRig.h"
#include "WimBytes.h"
#include "imaging/EngineRoute.h"
#include "imaging/Install.h"

namespace kx::test {
namespace {

constexpr uint32_t kDisk = 0x5A3C0F12;
constexpr const char* kWim = "D:\\VX_win7_sp1_32.wim";

struct ApplyRig : ImagingRig {
    ApplyRig() {
        program.state().route = ImagingRoute::Engine;
        program.state().dosImage = DosImageKind::Diagnostic;
        imageFiles.AddBytes(kWim, ReadTestData("wim/two-editions.wim"));
    }
    Outcome Install(uint32_t edition) { return InstallAndScheduleRestart(program.Imaging(), kWim, edition); }
};

TEST(Apply, TheWizardsImageIsAppliedToTheSystemPartitionAndTheCountdownRuns) {
    ApplyRig r;
    r.restart.accept = true;
    const Outcome done = r.Install(2);
    ASSERT_TRUE(done.ok()) << done.Describe() << " / " << r.LastMessage();
    auto job = r.Job();
    ASSERT_TRUE(job.ok()) << job.outcome().Describe();
    EXPECT_EQ(job.value().mode, EngineJobMode::Apply);
    EXPECT_EQ(job.value().index, 2u);
    EXPECT_EQ(job.value().partition, (PartitionIdentity{kDisk, 1048576}));
    EXPECT_EQ(job.value().image, (PartitionIdentity{kDisk, 41ull << 30}));
    EXPECT_EQ(job.value().folder, "/VX_win7_sp1_32.wim");
    EXPECT_TRUE(r.choice.asked.empty()) << "the catalogue named the edition";
    ASSERT_EQ(r.bcd.entries.size(), 1u);
    EXPECT_EQ(r.program.facts().deploymentReady.Get(), "就绪");
    EXPECT_EQ(r.window.PageIndex("高级选择夹2"), 2);
    r.program.state().imaging.countdown.Wait();
    EXPECT_EQ(r.restart.Count(), 1u);
}

TEST(Apply, WithoutAnEditionTheUserChoosesAmongTheFilesOwn) {
    ApplyRig r;
    r.choice.answer = 1;
    ASSERT_TRUE(r.Install(0).ok()) << r.LastMessage();
    ASSERT_EQ(r.choice.offered.size(), 2u);
    EXPECT_NE(r.choice.offered[1].find("2"), std::string::npos) << r.choice.offered[1];
    EXPECT_EQ(r.Job().value().index, 2u);

    ApplyRig cancelled;
    cancelled.choice.answer = std::nullopt;
    EXPECT_FALSE(cancelled.Install(0).ok());
    EXPECT_TRUE(cancelled.NothingWritten());
    EXPECT_EQ(cancelled.window.PageIndex("高级选择夹2"), 0);
}

TEST(Apply, AFileThatCannotBeAppliedIsRefusedBeforeAnythingIsWritten) {
    {
        ApplyRig r;
        EXPECT_FALSE(r.Install(3).ok());
        EXPECT_NE(r.LastMessage().find("没有第 3 个映像"), std::string::npos) << r.LastMessage();
        EXPECT_TRUE(r.NothingWritten());
    }
    {
        ApplyRig r;
        std::string bytes = ReadTestData("wim/two-editions.wim");
        bytes[0] = 'X';  // not a WIM any more
        r.imageFiles.AddBytes(kWim, bytes);
        EXPECT_FALSE(r.Install(1).ok());
        EXPECT_NE(r.LastMessage().find("不能用"), std::string::npos) << r.LastMessage();
        EXPECT_TRUE(r.NothingWritten());
    }
    {
        ApplyRig r;
        r.imageFiles.AddBytes("C:\\x.wim", ReadTestData("wim/two-editions.wim"));
        EXPECT_FALSE(InstallAndScheduleRestart(r.program.Imaging(), "C:\\x.wim", 1).ok());
        EXPECT_NE(r.LastMessage().find("在系统盘上"), std::string::npos) << r.LastMessage();
        EXPECT_TRUE(r.NothingWritten());
    }
    {
        // An XP edition for a Windows 7 system partition, whose boot code starts BOOTMGR; Windows 8 is fine.
        ApplyRig r;
        const auto wim = [](const char16_t* major) {
            return MadeWim(
                Utf16(std::u16string(u"\xFEFF<WIM><IMAGE INDEX=\"1\"><NAME>x</NAME><WINDOWS><VERSION><MAJOR>") + major +
                      u"</MAJOR></VERSION></WINDOWS></IMAGE></WIM>"),
                1);
        };
        r.imageFiles.AddBytes(kWim, wim(u"5"));
        EXPECT_FALSE(r.Install(1).ok());
        EXPECT_NE(r.LastMessage().find("Windows XP 一代的系统"), std::string::npos) << r.LastMessage();
        EXPECT_TRUE(r.NothingWritten());
        r.imageFiles.AddBytes(kWim, wim(u"6"));
        EXPECT_TRUE(r.Install(1).ok()) << r.LastMessage();
    }
    {
        // An edition larger than the 40 GB system partition.
        ApplyRig r;
        r.imageFiles.AddBytes(kWim, MadeWim(Utf16(u"\xFEFF<WIM><IMAGE INDEX=\"1\"><NAME>x</NAME><TOTALBYTES>"
                                                  u"53687091200</TOTALBYTES></IMAGE></WIM>"),
                                            1));
        EXPECT_FALSE(r.Install(1).ok());
        EXPECT_NE(r.LastMessage().find("安装后有 50 GB，分区 C: 只有 40 GB"), std::string::npos) << r.LastMessage();
        EXPECT_TRUE(r.NothingWritten());
    }
    {
        // A Ghost image on this route, before the download and after it.
        ApplyRig r;
        EXPECT_FALSE(r.program.Download().checkInstall("D:\\VX_win7_sp1_32.gho").ok());
        EXPECT_TRUE(r.program.Download().checkInstall(kWim).ok());
    }
}

TEST(Apply, BackupNowStagesTheEnginesBackupAndAsksAboutTheRestart) {
    ApplyRig r;
    r.window.SetSelection(kBackupList, 0);
    r.window.SetText("备份路径", "E:\\C2015.gho");
    r.messages.answer = MessageAnswer::Cancel;
    r.program.Dispatch("开始还原_按钮1", Event::Click);
    EXPECT_NE(r.LastMessage().find("是否马上重启计算机进行备份"), std::string::npos) << r.LastMessage();
    EXPECT_TRUE(r.bootFiles.files.empty()) << "a cancel takes the job back";
    EXPECT_TRUE(r.bcd.entries.empty());
    EXPECT_TRUE(r.imageFiles.started.empty()) << "no Windows Ghost on this route";

    r.messages.answer = MessageAnswer::Yes;
    r.program.Dispatch("开始还原_按钮1", Event::Click);
    auto job = r.Job();
    ASSERT_TRUE(job.ok()) << r.LastMessage();
    EXPECT_EQ(job.value().mode, EngineJobMode::Backup);
    EXPECT_EQ(job.value().folder, "/C2015");
    EXPECT_EQ(r.bcd.entries.size(), 1u);
    EXPECT_EQ(r.restart.Count(), 1u);
}

}  // namespace
}  // namespace kx::test
