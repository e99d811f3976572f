// The engine route on a UEFI machine: our files on the EFI system partition, a load option with BootNext
// instead of boot files and a boot-menu entry, and all of it taken back at the next start or on a failure.
#include <gtest/gtest.h>

#include "ImagingRig.h"
#include "boot/EfiBoot.h"
#include "imaging/EfiRoute.h"
#include "imaging/EngineRoute.h"

namespace kx::test {
namespace {

const char* const kEspFiles[] = {"S:\\EFI\\korvanix\\shimx64.efi", "S:\\EFI\\korvanix\\grubx64.efi",
                                 "S:\\EFI\\korvanix\\kxlinux64",   "S:\\EFI\\korvanix\\kxinitrd",
                                 "S:\\EFI\\korvanix\\kxmod64",     "S:\\EFI\\korvanix\\grub.cfg"};

PartitionIdentity Gpt(const char* partition, uint64_t offset) {
    PartitionIdentity id;
    id.diskGuid = ParseGuid("0F3A6C2D-8E41-4B7A-9C15-3D2E1F4A5B60").value();
    id.partitionGuid = ParseGuid(partition).value();
    id.startOffset = offset;
    return id;
}

// A Windows 8 x64 machine started through UEFI from a GPT disk: C: and D: on it, an EFI system partition
// (FakeEsp) before them, and a firmware with Windows's option 0000 in BootOrder.
struct EfiRig : ImagingRig {
    EfiRig() {
        route = ImagingRoute::Engine;
        dosImage = DosImageKind::Diagnostic;
        program.state().route = ImagingRoute::Engine;
        program.state().dosImage = DosImageKind::Diagnostic;
        system.version = "Win8";
        system.windows64 = true;
        machine.firmware = Firmware::Uefi;
        machine.styles['C'] = machine.styles['D'] = PartitionStyle::Gpt;
        machine.identities['C'] = Gpt("A1B2C3D4-0001-4000-8000-000000000001", 106954752);
        machine.identities['D'] = Gpt("A1B2C3D4-0002-4000-8000-000000000002", 41ull << 30);
        firmware.vars["BootOrder"] = std::string("\x00\x00", 2);
        firmware.vars["Boot0000"] = "windows";
        imageFiles.Add("D:\\SYS\\manifest.txt", 300);
    }
    void Restore(MessageAnswer answer = MessageAnswer::Yes) {
        ChooseImage("D:\\SYS");
        messages.answer = answer;
        OneTapRun(Context());
    }
    // Nothing of ours on either partition nor in the firmware; Windows's own option as it was.
    void ExpectNothingLeft(const char* name) {
        EXPECT_TRUE(bootFiles.files.empty())
            << name << ": " << (bootFiles.files.empty() ? "" : bootFiles.files.begin()->first);
        EXPECT_EQ(firmware.vars.size(), 2u) << name;
        EXPECT_FALSE(firmware.vars.count("BootNext")) << name;
        EXPECT_EQ(firmware.vars["Boot0000"], "windows") << name;
        EXPECT_EQ(esp.mounts, 0) << name << ": the partition is unmounted again";
        EXPECT_TRUE(bcd.entries.empty()) << name;
        EXPECT_EQ(restart.Count(), 0u) << name;
    }
};

TEST(EfiRoute, OneTapRestoreStagesTheEspAndTheFirmwareAndTheNextStartTakesThemBack) {
    EfiRig r;
    r.firmware.vars["SecureBoot"] = std::string(1, '\x01');
    r.Restore();
    ASSERT_EQ(r.restart.Count(), 1u) << r.LastMessage();
    auto job = ParseEngineJob(r.bootFiles.files["C:\\KORVANIX.JOB"].bytes);
    ASSERT_TRUE(job.ok());
    EXPECT_EQ(job.value().system, r.machine.identities['C']);
    EXPECT_EQ(job.value().image, r.machine.identities['D']);
    for (const char* file : kEspFiles) EXPECT_TRUE(r.bootFiles.files.count(file)) << file;
    EXPECT_EQ(r.bootFiles.files["S:\\EFI\\korvanix\\kxlinux64"].bytes, "KERNEL64");
    EXPECT_EQ(r.bootFiles.files["S:\\EFI\\korvanix\\kxinitrd"].bytes, "INITRD");
    EXPECT_EQ(r.bootFiles.files["S:\\EFI\\korvanix\\grub.cfg"].bytes, EfiGrubConfig("0123456789abcdef").value());
    // No BIOS boot files and no boot-menu entry: the firmware starts the engine.
    for (const char* file : {"C:\\kxlinux", "C:\\qzrpldr.mbr", "C:\\otldr", "C:\\Dorv.ima"})
        EXPECT_FALSE(r.bootFiles.files.count(file)) << file;
    EXPECT_TRUE(r.bcd.entries.empty());
    EXPECT_EQ(r.esp.mounts, 0);
    auto option = ParseEfiLoadOption(r.firmware.vars["Boot0001"]);
    ASSERT_TRUE(option.ok());
    EXPECT_EQ(option.value().partition, r.esp.partition);
    EXPECT_EQ(option.value().path, kEfiLoaderPath);
    EXPECT_EQ(r.firmware.vars["BootNext"], EfiBootNextValue(1));
    EXPECT_EQ(r.firmware.vars["BootOrder"], std::string("\x00\x00", 2));
    EXPECT_EQ(r.bootFiles.files["C:\\KORVANIX.EFI"].bytes, "Boot0001\n");
    EXPECT_NE(r.messages.shown.back().text.find("安全启动（Secure Boot）已打开"), std::string::npos)
        << r.messages.shown.back().text;

    // The engine ran (the firmware took BootNext) and removed its job.
    r.firmware.vars.erase("BootNext");
    r.firmware.vars.erase("SecureBoot");
    r.bootFiles.files.erase("C:\\KORVANIX.JOB");
    r.bootFiles.files["C:\\KORVANIX.LOG"].bytes = "RESULT OK\n";
    r.messages.shown.clear();
    ShowLastEngineResult(r.Context());
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].icon, MessageIcon::Information) << r.messages.shown[0].text;
    r.bootFiles.files.erase("C:\\KORVANIX.OLD");
    r.restart.requests.clear();
    r.ExpectNothingLeft("after the job");
    EXPECT_NE(std::find(r.bootFiles.log.begin(), r.bootFiles.log.end(), "rmdir S:\\EFI\\korvanix"),
              r.bootFiles.log.end());
}

TEST(EfiRoute, RefusalsAndFailedStepsLeaveNothingBehind) {
    struct Case {
        const char* name;
        std::function<void(EfiRig&)> arrange;
        const char* message;
    };
    const Case cases[] = {
        {"32-bit UEFI", [](EfiRig& r) { r.system.windows64 = false; }, "32 位 UEFI"},
        {"hybrid MBR", [](EfiRig& r) { r.machine.styles['C'] = PartitionStyle::Hybrid; }, "混合 MBR"},
        {"dynamic disk", [](EfiRig& r) { r.machine.styles['C'] = PartitionStyle::Dynamic; }, "动态磁盘"},
        {"no ESP", [](EfiRig& r) { r.esp.found = false; }, "找不到系统盘所在磁盘上的 EFI 系统分区"},
        {"ESP not mountable", [](EfiRig& r) { r.esp.mountable = false; }, "无法打开 EFI 系统分区"},
        {"ESP full",
         [](EfiRig& r) {
             r.bootAssets.bytes[BootAsset::EfiKernel] = std::string(12 * kMiB, 'K');
             r.esp.free = 12 * kMiB;
         },
         "EFI 系统分区只剩 12 MB，本工具的启动文件需要 14 MB"},
        {"Boot#### refused", [](EfiRig& r) { r.firmware.refuse.insert("Boot0001"); }, "固件没有接受本工具的启动项"},
        {"BootNext refused", [](EfiRig& r) { r.firmware.refuse.insert("BootNext"); }, "固件没有接受本工具的启动项"},
        {"BootNext dropped", [](EfiRig& r) { r.firmware.drop.insert("BootNext"); }, "固件没有保存 BootNext"},
    };
    for (const Case& k : cases) {
        EfiRig r;
        k.arrange(r);
        r.Restore();
        EXPECT_NE(r.LastMessage().find(k.message), std::string::npos) << k.name << ": " << r.LastMessage();
        r.ExpectNothingLeft(k.name);
    }
}

TEST(EfiRoute, TheBackupPageStagesThroughTheFirmwareAndARefusedRemovalIsTriedAgain) {
    EfiRig r;
    r.window.SetSelection(kBackupList, 0);
    r.window.SetText("备份路径", "E:\\C201571020656.gho");
    r.program.Dispatch("开始还原_按钮2", Event::Click);
    ASSERT_TRUE(r.firmware.vars.count("Boot0001")) << r.LastMessage();
    EXPECT_TRUE(r.bootFiles.files.count("S:\\EFI\\korvanix\\shimx64.efi"));
    EXPECT_TRUE(r.bcd.entries.empty());

    // The engine ran; at the next start the firmware refuses to delete the option: the record stays, and the
    // start after that takes the rest away.
    r.bootFiles.files.erase("C:\\KORVANIX.JOB");
    r.bootFiles.files["C:\\KORVANIX.LOG"].bytes = "RESULT OK\n";
    r.firmware.refuse.insert("Boot0001");
    ShowLastEngineResult(r.Context());
    EXPECT_EQ(r.bootFiles.files["C:\\KORVANIX.EFI"].bytes, "Boot0001\n");
    EXPECT_NE(r.LastMessage().find("未能全部删除"), std::string::npos) << r.LastMessage();
    r.firmware.refuse.clear();
    ShowLastEngineResult(r.Context());
    r.bootFiles.files.erase("C:\\KORVANIX.OLD");
    r.ExpectNothingLeft("after the second start");
}

TEST(EfiRoute, AJobStagedAgainBeforeTheRestartReplacesTheEarlierOption) {
    EfiRig r;
    r.Restore(MessageAnswer::No);  // restart later
    r.Restore(MessageAnswer::No);
    EXPECT_FALSE(r.firmware.vars.count("Boot0002")) << r.LastMessage();
    ASSERT_TRUE(r.firmware.vars.count("Boot0001")) << r.LastMessage();
    EXPECT_EQ(r.firmware.vars["BootNext"], EfiBootNextValue(1));
    EXPECT_EQ(r.bootFiles.files["C:\\KORVANIX.EFI"].bytes, "Boot0001\n");
}

TEST(EfiRoute, TheDosRouteStillRefusesUefi) {
    EfiRig r;
    r.route = ImagingRoute::Dos;
    r.dosImage = DosImageKind::DosEnvironment;
    r.imageFiles.Add("D:\\sys.gho", 3 * kGiB);
    r.ChooseImage("D:\\sys.gho");
    OneTapRun(r.Context());
    EXPECT_NE(r.LastMessage().find("只能在传统 BIOS 方式下运行"), std::string::npos) << r.LastMessage();
    r.ExpectNothingLeft("DOS route");
}

}  // namespace
}  // namespace kx::test
