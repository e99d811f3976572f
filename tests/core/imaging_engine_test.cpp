// The engine route: a build without the DOS kit stages jobs for our imaging engine (KORVANIX.JOB beside the
// boot files, the partitions named by disk signature and start offset) instead of Ghost.bat.
#include <gtest/gtest.h>

#include "ImagingRig.h"
#include "imaging/EngineNotice.h"
#include "imaging/EngineRoute.h"
#include "imaging/Install.h"

namespace kx::test {
namespace {

constexpr uint32_t kDisk = 0x5A3C0F12;
constexpr uint64_t kOffsetC = 1048576, kOffsetD = 41ull << 30, kOffsetE = 141ull << 30;

struct EngineRig : ImagingRig {
    EngineRig() {
        route = ImagingRoute::Engine;
        dosImage = DosImageKind::Diagnostic;
        program.state().route = ImagingRoute::Engine;
        program.state().dosImage = DosImageKind::Diagnostic;
        imageFiles.Add("D:\\SYS\\manifest.txt", 300);
        imageFiles.Add("D:\\SYS\\image.zst", 2 * kGiB);
    }
    void Run(MessageAnswer answer = MessageAnswer::Yes) {
        messages.answer = answer;
        OneTapRun(Context());
    }
};

TEST(EngineRoute, OneTapRestoreWritesTheEngineAndAJobNamingThePartitionsByIdentity) {
    EngineRig r;
    r.ChooseImage("D:\\SYS");
    r.Run();
    auto job = r.Job();
    ASSERT_TRUE(job.ok()) << job.outcome().Describe();
    EXPECT_EQ(job.value().mode, EngineJobMode::Restore);
    EXPECT_EQ(job.value().system, (PartitionIdentity{kDisk, kOffsetC}));
    EXPECT_EQ(job.value().partition, (PartitionIdentity{kDisk, kOffsetC}));
    EXPECT_EQ(job.value().image, (PartitionIdentity{kDisk, kOffsetD}));
    EXPECT_EQ(job.value().folder, "/SYS");
    EXPECT_EQ(job.value().ghostPartition, "1:1");
    EXPECT_EQ(job.value().ghostImage, "1:2\\SYS");
    for (const char* file : {"C:\\kxlinux", "C:\\kxinitrd", "C:\\qzrpldr.mbr", "C:\\otldr"}) {
        ASSERT_TRUE(r.bootFiles.files.count(file)) << file;
        EXPECT_TRUE(r.bootFiles.files[file].stamped) << file;
    }
    EXPECT_EQ(r.bootFiles.files["C:\\kxlinux"].bytes, "KERNEL");
    EXPECT_FALSE(r.bootFiles.files.count("C:\\Ghost.bat"));
    ASSERT_EQ(r.bcd.entries.size(), 1u);
    EXPECT_EQ(r.restart.Count(), 1u);
}

TEST(EngineRoute, OneTapBackupSavesIntoTheFolderTheFileNameGivesAndAsksBeforeReplacingIt) {
    EngineRig r;
    r.ChooseImage("D:\\SYS");
    ImagingContext c = r.Context();
    SetOneTapBackupMode(c);  // the current item becomes E:\qzrpgho\temp.gho
    r.messages.answer = MessageAnswer::No;
    OneTapRun(c);
    auto job = r.Job();
    ASSERT_TRUE(job.ok()) << job.outcome().Describe();
    EXPECT_EQ(job.value().mode, EngineJobMode::Backup);
    EXPECT_EQ(job.value().partition, (PartitionIdentity{kDisk, kOffsetC}));
    EXPECT_EQ(job.value().image, (PartitionIdentity{kDisk, kOffsetD}));
    EXPECT_EQ(job.value().folder, "/qzrpgho/temp");
    EXPECT_TRUE(r.window.Closed()) << "No keeps the job for the next start";

    // The folder is there now: a No to the replace question writes nothing.
    r.imageFiles.Add("D:\\qzrpgho\\temp\\manifest.txt", 300);
    r.bootFiles.files.clear();
    r.messages.shown.clear();
    r.messages.answer = MessageAnswer::No;
    OneTapRun(c);
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].text, "映像文件夹 D:\\qzrpgho\\temp 已经存在，备份会替换它。是否继续？");
    EXPECT_TRUE(r.bootFiles.files.empty());
}

TEST(EngineRoute, EveryRefusalComesBeforeAnythingIsWritten) {
    struct Case {
        const char* name;
        std::function<void(EngineRig&)> arrange;
        const char* message;
    };
    const Case cases[] = {
        {"a Ghost image",
         [](EngineRig& r) {
             r.imageFiles.Add("D:\\vx_win7.GHO", 3 * kGiB);
             r.ChooseImage("D:\\vx_win7.GHO");
         },
         "不能还原 Ghost 映像"},
        {"a folder without manifest",
         [](EngineRig& r) {
             r.imageFiles.Add("D:\\photos\\a.jpg", 3 * kMiB);
             r.ChooseImage("D:\\photos");
         },
         "文件夹中没有 manifest.txt"},
        {"an image on a stick",
         [](EngineRig& r) {
             r.AddStick('F');
             r.imageFiles.Add("F:\\SYS\\manifest.txt", 300);
             r.ChooseImage("F:\\SYS");
         },
         "映像要在分区列表中的硬盘分区上"},
        {"an unreadable identity",
         [](EngineRig& r) {
             r.machine.identities.erase('D');
             r.ChooseImage("D:\\SYS");
         },
         "无法确定分区 D: 在磁盘上的位置"},
        {"two drives with one identity",
         [](EngineRig& r) {
             r.machine.identities['D'] = r.machine.identities['C'];
             r.ChooseImage("D:\\SYS");
         },
         "映像引擎的作业不能写"},
        {"GPT",
         [](EngineRig& r) {
             r.machine.styles['C'] = PartitionStyle::Gpt;
             r.ChooseImage("D:\\SYS");
         },
         "在 GPT 磁盘上，本工具的映像引擎不能处理"},
        {"UEFI",
         [](EngineRig& r) {
             r.machine.firmware = Firmware::Uefi;
             r.ChooseImage("D:\\SYS");
         },
         "UEFI"},
    };
    for (const Case& k : cases) {
        EngineRig r;
        k.arrange(r);
        r.Run();
        EXPECT_NE(r.LastMessage().find(k.message), std::string::npos) << k.name << ": " << r.LastMessage();
        EXPECT_TRUE(r.NothingWritten()) << k.name;
        EXPECT_EQ(r.restart.Count(), 0u) << k.name;
    }
}

TEST(EngineRoute, ACancelOrARefusedEntryTakesTheJobBack) {
    EngineRig r;
    r.ChooseImage("D:\\SYS");
    r.Run(MessageAnswer::Cancel);
    EXPECT_FALSE(r.bootFiles.files.count("C:\\KORVANIX.JOB"));
    EXPECT_FALSE(r.bootFiles.files.count("C:\\kxlinux"));
    EXPECT_FALSE(r.bootFiles.files.count("C:\\qzrpldr.mbr"));
    EXPECT_TRUE(r.bcd.entries.empty());

    r.commands.answer = [](const std::string&) { return std::string("拒绝访问。"); };
    r.Run();
    EXPECT_FALSE(r.bootFiles.files.count("C:\\KORVANIX.JOB"));
    EXPECT_EQ(r.restart.Count(), 0u);
    EXPECT_EQ(r.messages.shown.back().icon, MessageIcon::Error);
}

TEST(EngineRoute, TheWizardsGhostImageIsRefusedWithTheReason) {
    EngineRig r;
    r.imageFiles.Add("D:\\vx_win7.GHO", 3 * kGiB);
    const Outcome done = InstallAndScheduleRestart(r.Context(), "D:\\vx_win7.GHO");
    EXPECT_FALSE(done.ok());
    EXPECT_NE(r.LastMessage().find("不能还原 Ghost 映像"), std::string::npos);
    EXPECT_TRUE(r.NothingWritten());
    EXPECT_EQ(r.program.facts().deploymentReady.Get(), "");
}

TEST(EngineRoute, TheWizardsPreflightNamesTheRouteBeforeTheDownload) {
    EngineRig r;
    const std::string image = "D:\\VX_win7_sp1_64.gho";
    const Outcome engine = r.program.Download().checkInstall(image);
    EXPECT_NE(engine.Describe().find("不能还原 Ghost 映像"), std::string::npos);
    r.program.state().route = ImagingRoute::Dos;
    r.program.state().dosImage = DosImageKind::DosEnvironment;
    EXPECT_TRUE(r.program.Download().checkInstall(image).ok());
    // A fixed drive outside the partition list (a mapped share, Wine's Z:): the install could not name it.
    r.drives.AddFixed('Z', 900, 800);
    EXPECT_EQ(r.program.Download().checkInstall("Z:\\VX_win7_sp1_64.gho").Describe(),
              "映像文件所在的分区 Z: 不在分区列表中");
    r.machine.styles['C'] = PartitionStyle::Dynamic;
    EXPECT_NE(r.program.Download().checkInstall(image).Describe().find("动态磁盘"), std::string::npos);
    ClearPartitions(r.program);
    r.AddPartition("D:", "1:2", 100, 60);
    EXPECT_NE(r.program.Download().checkInstall(image).Describe().find("系统盘不在分区列表中"), std::string::npos);
    EXPECT_TRUE(r.NothingWritten());
}

TEST(EngineRoute, TheBackupPageStagesABackupIntoAFolder) {
    EngineRig r;
    r.window.SetSelection(kBackupList, 0);
    r.window.SetText("备份路径", "E:\\C201571020656.gho");
    r.program.Dispatch("开始还原_按钮2", Event::Click);
    auto job = r.Job();
    ASSERT_TRUE(job.ok()) << r.LastMessage();
    EXPECT_EQ(job.value().mode, EngineJobMode::Backup);
    EXPECT_EQ(job.value().image, (PartitionIdentity{kDisk, kOffsetE}));
    EXPECT_EQ(job.value().folder, "/C201571020656");
    EXPECT_EQ(job.value().ghostImage, "1:3\\C201571020656");
    // What the next start shows and how long it takes, from the 30 GB in use on C: at 15 MB/s.
    EXPECT_EQ(r.LastMessage(),
              "备份已准备好：下次重新启动电脑时会自动备份分区 C:，映像保存在文件夹 E:\\C201571020656 中。\r\n\r\n" +
                  EngineScreenNotice(false, "30 GB"));
    EXPECT_NE(r.LastMessage().find("大约需要 35 分钟"), std::string::npos);
    ASSERT_EQ(r.bcd.entries.size(), 1u);
    EXPECT_EQ(r.bcd.entries[0].second, "备份系统");
}

TEST(EngineRoute, TheSearchListsImageFoldersDownToTwoLevels) {
    EngineRig r;
    r.imageFiles.Add("E:\\qzrpgho\\C2015\\manifest.txt", 300);
    r.imageFiles.Add("E:\\a\\b\\deep\\manifest.txt", 300);
    r.imageFiles.Add("E:\\$RECYCLE.BIN\\old\\manifest.txt", 300);
    r.imageFiles.Add("E:\\notes\\readme.txt", 300);
    EXPECT_EQ(r.Search(), (std::vector<std::string>{"D:\\SYS", "E:\\qzrpgho\\C2015"}));
    EXPECT_EQ(r.window.Items(kImageList), r.program.state().imaging.restorePage.images);
    EXPECT_TRUE(r.window.Enabled("开始还原_按钮"));
}

TEST(EngineRoute, TheLastJobsResultIsShownOnceAndTheLogKept) {
    EngineRig r;
    r.bootFiles.files["C:\\KORVANIX.LOG"].bytes = "restoring 1:1\nRESULT FAILED: stream image.zst is short\n";
    ShowLastEngineResult(r.Context());
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_NE(r.messages.shown[0].text.find("stream image.zst is short"), std::string::npos);
    EXPECT_NE(r.messages.shown[0].text.find("C:\\KORVANIX.OLD"), std::string::npos);
    EXPECT_EQ(r.window.Text("提示透明标签"), "还原系统（上次的映像作业失败）");
    EXPECT_FALSE(r.bootFiles.files.count("C:\\KORVANIX.LOG"));
    EXPECT_NE(r.bootFiles.files["C:\\KORVANIX.OLD"].bytes.find("RESULT FAILED"), std::string::npos);

    ShowLastEngineResult(r.Context());
    EXPECT_EQ(r.messages.shown.size(), 1u) << "shown once";

    // A success: the time it took and the image's size, from the summary line of a newer engine.
    r.bootFiles.files["C:\\KORVANIX.LOG"].bytes =
        "backing up 1:1\nSUMMARY mode=backup seconds=123 image-bytes=3489660928\nRESULT OK\n";
    ShowLastEngineResult(r.Context());
    ASSERT_EQ(r.messages.shown.size(), 2u);
    EXPECT_EQ(r.messages.shown[1].text,
              "上次重新启动后，映像引擎完成了备份。\r\n\r\n用时：2 分 3 秒\r\n映像大小：3.25 GB"
              "\r\n\r\n详细的记录在 C:\\KORVANIX.OLD 中。");
    EXPECT_EQ(r.messages.shown[1].icon, MessageIcon::Information);
    EXPECT_EQ(r.window.Text("提示透明标签"), "还原系统（上次的映像作业已完成）");
    EXPECT_NE(r.bootFiles.files["C:\\KORVANIX.OLD"].bytes.find("RESULT OK"), std::string::npos);
    r.bootFiles.files["C:\\KORVANIX.LOG"].bytes = "SUMMARY mode=restore seconds=59 image-bytes=456789\nRESULT OK\n";
    ShowLastEngineResult(r.Context());
    ASSERT_EQ(r.messages.shown.size(), 3u);
    EXPECT_NE(r.messages.shown[2].text.find("完成了还原。\r\n\r\n用时：59 秒\r\n映像大小：0.44 MB"), std::string::npos)
        << r.messages.shown[2].text;
    r.bootFiles.files["C:\\KORVANIX.LOG"].bytes = "SUMMARY mode=apply seconds=600 image-bytes=3489660928\nRESULT OK\n";
    ShowLastEngineResult(r.Context());
    ASSERT_EQ(r.messages.shown.size(), 4u);
    EXPECT_NE(r.messages.shown[3].text.find("完成了系统安装。"), std::string::npos) << r.messages.shown[3].text;
    r.messages.shown.pop_back();
    // An engine without the summary line: only that it completed.
    r.bootFiles.files["C:\\KORVANIX.LOG"].bytes = "backing up 1:1\nRESULT OK\n";
    ShowLastEngineResult(r.Context());
    ASSERT_EQ(r.messages.shown.size(), 4u);
    EXPECT_EQ(r.messages.shown[3].text,
              "上次重新启动后，映像引擎完成了作业。\r\n\r\n详细的记录在 C:\\KORVANIX.OLD 中。");
    EXPECT_EQ(r.messages.shown[3].icon, MessageIcon::Information);

    // A log the engine could not finish counts as a failure.
    r.bootFiles.files["C:\\KORVANIX.LOG"].bytes = "restoring 1:1\npartclone: writing\n";
    ShowLastEngineResult(r.Context());
    ASSERT_EQ(r.messages.shown.size(), 5u);
    EXPECT_NE(r.messages.shown[4].text.find("日志不完整"), std::string::npos);
}

// What a staged job leaves on the system drive, and in the boot store or boot.ini.
const char* const kLeftFiles[] = {"C:\\KORVANIX.JOB", "C:\\qzrpldr.mbr", "C:\\otldr",        "C:\\Dorv.ima",
                                  "C:\\kxlinux",      "C:\\kxinitrd",    "C:\\KORVANIX.BCD", "C:\\boot.in_"};

// A job staged with "restart later" (No), on Windows 7 or XP; `restarted` as when Windows started again since.
void StageForLater(EngineRig& r, const char* version, bool restarted) {
    r.system.version = version;
    r.bootFiles.files["C:\\boot.ini"] = FakeFile{"[boot loader]\r\ntimeout=30\r\n", 0x27, false};
    r.ChooseImage("D:\\SYS");
    r.Run(MessageAnswer::No);
    ASSERT_TRUE(r.bootFiles.files.count("C:\\KORVANIX.JOB"));
    r.messages.shown.clear();
    r.commands.run.clear();
    if (!restarted) return;
    for (auto& [path, file] : r.bootFiles.files) file.writtenSinceStart = false;
    r.bcd.bootSequence.clear();  // used by that start
}

TEST(EngineRoute, AJobTheEngineDidNotRunIsReportedAndEverythingTakenBack) {
    for (const char* version : {"Win7", "WinXP"}) {
        EngineRig r;
        StageForLater(r, version, true);
        ShowLastEngineResult(r.Context());
        ASSERT_EQ(r.messages.shown.size(), 1u) << version;
        const ShownMessage& box = r.messages.shown[0];
        EXPECT_EQ(box.icon, MessageIcon::Error);
        for (const char* part : {"映像引擎没有运行准备好的作业", "C:\\KORVANIX.JOB", "没有选择本程序添加的启动项",
                                 "硬盘控制器", "启动文件被删除了", "作业已撤销"})
            EXPECT_NE(box.text.find(part), std::string::npos) << version << ": " << part << " in " << box.text;
        for (const char* file : kLeftFiles) EXPECT_FALSE(r.bootFiles.files.count(file)) << version << ": " << file;
        EXPECT_TRUE(r.bcd.entries.empty()) << version;
        EXPECT_EQ(r.bcd.timeout, "30") << version;
        EXPECT_EQ(r.bootFiles.files["C:\\boot.ini"].attributes, 0x27u) << version;
        EXPECT_EQ(r.bootFiles.ReadIniValue("C:\\boot.ini", "boot loader", "default"), "") << version;
        EXPECT_FALSE(r.bootFiles.files.count("C:\\KORVANIX.OLD")) << version;
    }
}

TEST(EngineRoute, AnEntryThatCannotBeDeletedKeepsTheBootFilesAndItsRecord) {
    // The boot manager would otherwise stop at a missing boot sector; with the files the loader finds no job
    // and Windows starts. The record stays for the next start to try again.
    EngineRig r;
    StageForLater(r, "Win7", true);
    r.commands.answer = [&r](const std::string& c) {
        return c.find("/delete") != std::string::npos ? std::string("拒绝访问。\r\n") : r.bcd.Answer(c);
    };
    ShowLastEngineResult(r.Context());
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_NE(r.messages.shown[0].text.find("作业撤销时出了错"), std::string::npos) << r.messages.shown[0].text;
    EXPECT_NE(r.messages.shown[0].text.find("拒绝访问"), std::string::npos) << r.messages.shown[0].text;
    EXPECT_FALSE(r.bootFiles.files.count("C:\\KORVANIX.JOB"));
    for (const char* file : {"C:\\qzrpldr.mbr", "C:\\otldr", "C:\\kxlinux", "C:\\KORVANIX.BCD"})
        EXPECT_TRUE(r.bootFiles.files.count(file)) << file;

    r.messages.shown.clear();
    r.commands.answer = [&r](const std::string& c) { return r.bcd.Answer(c); };
    ShowLastEngineResult(r.Context());
    EXPECT_TRUE(r.messages.shown.empty()) << "nothing to report once it is all gone";
    for (const char* file : kLeftFiles) EXPECT_FALSE(r.bootFiles.files.count(file)) << file;
    EXPECT_TRUE(r.bcd.entries.empty());
}

TEST(EngineRoute, AJobThatRanLeavesNothingBehind) {
    // The engine removed its job and put boot.ini back; the boot files and the store's entry are left to us.
    EngineRig r;
    StageForLater(r, "Win7", true);
    r.bootFiles.files.erase("C:\\KORVANIX.JOB");
    r.bootFiles.files["C:\\KORVANIX.LOG"].bytes = "SUMMARY mode=restore seconds=600 image-bytes=1048576\nRESULT OK\n";
    ShowLastEngineResult(r.Context());
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].icon, MessageIcon::Information);
    for (const char* file : kLeftFiles) EXPECT_FALSE(r.bootFiles.files.count(file)) << file;
    EXPECT_TRUE(r.bcd.entries.empty());
    EXPECT_EQ(r.bcd.timeout, "30");
}

TEST(EngineRoute, AJobWaitingForTheRestartStays) {
    for (bool unknown : {false, true}) {
        EngineRig r;
        StageForLater(r, "Win7", unknown);
        r.bootFiles.unknownStartTime = unknown;
        const auto before = r.bootFiles.files.size();
        ShowLastEngineResult(r.Context());
        EXPECT_TRUE(r.messages.shown.empty()) << unknown;
        EXPECT_EQ(r.bootFiles.files.size(), before) << unknown;
        EXPECT_EQ(r.bcd.entries.size(), 1u) << unknown;
        EXPECT_TRUE(r.commands.run.empty()) << unknown;
    }
}

TEST(EngineRoute, ACancelAfterAnEarlierRestartLaterTakesTheEntryBack) {
    EngineRig r;
    StageForLater(r, "Win7", false);
    ASSERT_EQ(r.bcd.timeout, "25");
    r.Run(MessageAnswer::Cancel);
    for (const char* file : kLeftFiles) EXPECT_FALSE(r.bootFiles.files.count(file)) << file;
    EXPECT_TRUE(r.bcd.entries.empty());
    EXPECT_EQ(r.bcd.timeout, "30");
    EXPECT_EQ(r.bcd.bootSequence, "");
    EXPECT_TRUE(r.messages.shown.size() == 1u && r.messages.shown[0].icon != MessageIcon::Error);
}

}  // namespace
}  // namespace kx::test
