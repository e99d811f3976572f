#include <gtest/gtest.h>

#include "BootFakes.h"
#include "boot/BootAssets.h"
#include "boot/BootMenu.h"

namespace kx::test {
namespace {

struct BcdRig : BootRig {
    FakeBcd bcd;
    BcdRig() {
        commands.answer = [this](const std::string& c) { return bcd.Answer(c); };
    }
    Outcome Register(const std::string& title) { return RegisterBcdEntry(commands, files, systemDrive, title); }
    Outcome Remove() { return RemoveBootEntry(commands, files, systemDrive); }
    std::string Record() { return files.FileExists("C:\\KORVANIX.BCD") ? files.files["C:\\KORVANIX.BCD"].bytes : ""; }
    Outcome RegisterAny(const std::string& title) {
        return RegisterBootEntry(system, commands, files, systemDrive, title);
    }
};

Outcome RegisterIni(BootRig& rig, const std::string& title) {
    return RegisterBootIniEntry(rig.files, rig.systemDrive, title);
}

TEST(BcdRules, SuccessRuleAndIdentifiers) {
    EXPECT_TRUE(BcdSucceeded("操作成功完成。"));
    EXPECT_TRUE(BcdSucceeded("The operation completed successfully."));
    EXPECT_FALSE(BcdSucceeded("An error occurred while attempting the specified operation."));
    EXPECT_FALSE(BcdSucceeded(""));
    EXPECT_EQ(FirstIdentifier("已成功创建项 {abc-1}。{other}"), "{abc-1}");
    EXPECT_EQ(FirstIdentifier("no braces"), "{}");
    EXPECT_EQ(FirstIdentifier("open { only"), "{}");
    EXPECT_EQ(FirstIdentifier("} before {x}"), "{x}");
}

TEST(BcdRules, IdentifierOfTitleTakesTheBlockThatHoldsIt) {
    FakeBcd bcd;
    bcd.entries = {{"{aaaa}", "安装系统"}, {"{bbbb}", "备份系统"}};
    const std::string listing = bcd.Answer("bcdedit");
    EXPECT_EQ(IdentifierOfTitle(listing, "备份系统"), "{bbbb}");
    EXPECT_EQ(IdentifierOfTitle(listing, "安装系统"), "{aaaa}");
    EXPECT_EQ(IdentifierOfTitle(listing, "其他"), "");
}

TEST(BcdEntry, FirstRunCreatesAnEntryThatStartsOnce) {
    for (bool chinese : {true, false}) {
        BcdRig rig;
        rig.bcd.chinese = chinese;
        const Outcome outcome = rig.Register("安装系统");
        EXPECT_TRUE(outcome.ok()) << outcome.Describe();
        const std::string id = "{00000001-1111-2222-3333-444444444444}";
        const std::vector<std::string> expected = {"bcdedit",
                                                   "bcdedit /create /d \"安装系统\" /application bootsector",
                                                   "bcdedit /set " + id + " device partition=C:",
                                                   "bcdedit /set " + id + " path \\qzrpldr.mbr",
                                                   "bcdedit /displayorder " + id + " /addlast",
                                                   "bcdedit /bootsequence " + id,
                                                   "bcdedit /timeout 25"};
        EXPECT_EQ(rig.commands.run, expected);
        for (const std::string& c : rig.commands.run) EXPECT_EQ(c.find("/default"), std::string::npos);
    }
}

TEST(BcdEntry, TakenBackTheStoreIsAsBefore) {
    for (bool chinese : {true, false}) {
        for (std::optional<std::string> timeout : {std::optional<std::string>("30"), std::optional<std::string>()}) {
            BcdRig rig;
            rig.bcd.chinese = chinese;
            rig.bcd.timeout = timeout;
            ASSERT_TRUE(rig.Register("安装系统").ok());
            ASSERT_TRUE(rig.Register("备份系统").ok());
            EXPECT_EQ(rig.bcd.timeout, "25");
            // The time-out kept is the one from before the first entry, not the 25 the first one set.
            EXPECT_EQ(rig.Record(), "korvanix-bcd 1\ntimeout=" + timeout.value_or("") +
                                        "\nentry={00000001-1111-2222-3333-444444444444}\n"
                                        "entry={00000002-1111-2222-3333-444444444444}\nend\n");
            rig.commands.run.clear();
            const Outcome removed = rig.Remove();
            EXPECT_TRUE(removed.ok()) << removed.Describe();
            EXPECT_TRUE(rig.bcd.entries.empty());
            EXPECT_EQ(rig.bcd.timeout, timeout);
            EXPECT_EQ(rig.bcd.bootSequence, "");
            EXPECT_EQ(rig.commands.run.back(),
                      timeout ? "bcdedit /timeout 30" : "bcdedit /deletevalue {bootmgr} timeout");
            EXPECT_FALSE(rig.files.FileExists("C:\\KORVANIX.BCD"));
            rig.commands.run.clear();
            EXPECT_TRUE(rig.Remove().ok());
            EXPECT_TRUE(rig.commands.run.empty()) << "nothing left to take back";
        }
    }
}

TEST(BcdEntry, TheRecordStaysUntilTheStoreIsBack) {
    BcdRig rig;
    ASSERT_TRUE(rig.Register("安装系统").ok());
    const std::string record = rig.Record();
    rig.commands.answer = [&rig](const std::string& c) {
        return c.find("/delete") != std::string::npos ? std::string("拒绝访问。\r\n") : rig.bcd.Answer(c);
    };
    const Outcome refused = rig.Remove();
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.what().find("拒绝访问"), std::string::npos) << refused.what();
    EXPECT_EQ(rig.Record(), record);
    EXPECT_EQ(rig.bcd.timeout, "30") << "the time-out goes back even so";

    // The next try finishes; an entry removed by hand meanwhile is no failure.
    rig.commands.answer = [&rig](const std::string& c) { return rig.bcd.Answer(c); };
    EXPECT_TRUE(rig.Remove().ok());
    EXPECT_TRUE(rig.bcd.entries.empty());
    EXPECT_EQ(rig.Record(), "");
    ASSERT_TRUE(rig.Register("安装系统").ok());
    rig.bcd.entries.clear();
    EXPECT_TRUE(rig.Remove().ok());
    EXPECT_EQ(rig.Record(), "");
}

TEST(BcdEntry, WithoutAKnownTimeoutOrARecordNothingIsChanged) {
    // A time-out that is no number is not carried into a command line later.
    BcdRig rig;
    rig.bcd.timeout = "30 & format c:";
    EXPECT_FALSE(rig.Register("安装系统").ok());
    EXPECT_TRUE(rig.bcd.entries.empty());
    EXPECT_EQ(rig.commands.run, (std::vector<std::string>{"bcdedit"}));

    // The record cannot be written: the entry just created goes again.
    BcdRig full;
    full.files.failWrites = true;
    EXPECT_FALSE(full.Register("安装系统").ok());
    EXPECT_TRUE(full.bcd.entries.empty());
    EXPECT_EQ(full.bcd.timeout, "30");

    // One saved again by a Windows editor still reads.
    const auto crlf = ParseBcdRecord("korvanix-bcd 1\r\ntimeout=\r\nentry={1a-2}\r\nend\r\n");
    ASSERT_TRUE(crlf.ok()) << crlf.outcome().Describe();
    EXPECT_FALSE(crlf.value().timeout);
    EXPECT_EQ(crlf.value().entries, (std::vector<std::string>{"{1a-2}"}));

    // A record that is not ours to act on (a changed file) runs no command.
    BcdRig changed;
    changed.files.files["C:\\KORVANIX.BCD"].bytes = "korvanix-bcd 1\ntimeout=30\nentry={1} & del c:\\x\nend\n";
    const Outcome outcome = changed.Remove();
    EXPECT_FALSE(outcome.ok());
    EXPECT_NE(outcome.what().find("KORVANIX.BCD"), std::string::npos) << outcome.what();
    EXPECT_TRUE(changed.commands.run.empty());
}

TEST(BcdEntry, SecondRunStartsTheExistingEntryAgainWithoutAddingOne) {
    BcdRig rig;
    ASSERT_TRUE(rig.Register("安装系统").ok());
    rig.commands.run.clear();
    EXPECT_TRUE(rig.Register("安装系统").ok());
    EXPECT_EQ(rig.bcd.entries.size(), 1u);
    EXPECT_EQ(rig.commands.run,
              (std::vector<std::string>{"bcdedit", "bcdedit /bootsequence {00000001-1111-2222-3333-444444444444}"}));

    // Another title is another entry; the newer one starts next.
    rig.commands.run.clear();
    EXPECT_TRUE(rig.Register("备份系统").ok());
    ASSERT_EQ(rig.bcd.entries.size(), 2u);
    EXPECT_EQ(rig.commands.run[5], "bcdedit /bootsequence {00000002-1111-2222-3333-444444444444}");
}

TEST(BcdEntry, DeviceIsTheSystemDriveWhereTheHelperWasWritten) {
    BcdRig rig;
    rig.systemDrive = "D";
    ASSERT_TRUE(rig.Register("安装系统").ok());
    EXPECT_EQ(rig.commands.run[2], "bcdedit /set {00000001-1111-2222-3333-444444444444} device partition=D:");
}

TEST(BcdEntry, BcdeditThatDoesNotRunFailsBeforeAnythingIsCreated) {
    BootRig rig;  // every command answers nothing
    const Outcome outcome = RegisterBcdEntry(rig.commands, rig.files, rig.systemDrive, "安装系统");
    EXPECT_FALSE(outcome.ok());
    EXPECT_NE(outcome.what().find("没有运行"), std::string::npos) << outcome.what();
    EXPECT_EQ(rig.commands.run, (std::vector<std::string>{"bcdedit"}));
    EXPECT_TRUE(rig.files.files.empty());
}

TEST(BcdEntry, AFailureInTheMiddleIsNotUndoneByLaterSuccesses) {
    // The path command fails in English; every later command reports "成功", which must not hide it.
    BcdRig rig;
    rig.commands.answer = [&rig](const std::string& c) {
        if (c.find(" path ") != std::string::npos) return std::string("An error occurred while attempting it.\r\n");
        return rig.bcd.Answer(c);
    };
    const Outcome outcome = rig.Register("安装系统");
    ASSERT_FALSE(outcome.ok());
    const std::string id = "{00000001-1111-2222-3333-444444444444}";
    EXPECT_EQ(outcome.what(), "启动菜单设置失败：“bcdedit /set " + id +
                                  " path \\qzrpldr.mbr”报告：An error occurred while attempting it.");
    // The half-made entry is not started at the next boot, and is removed so a later run makes a whole one.
    for (const std::string& c : rig.commands.run) EXPECT_EQ(c.find("/bootsequence"), std::string::npos) << c;
    EXPECT_EQ(rig.commands.run.back(), "bcdedit /delete " + id);

    // Each step on its own: device, order, boot sequence and time-out fail the registration as well.
    for (const char* failing : {" device ", "/displayorder", "/bootsequence", "/timeout"}) {
        BcdRig r;
        r.commands.answer = [&r, failing](const std::string& c) {
            return c.find(failing) != std::string::npos ? std::string("参数错误。") : r.bcd.Answer(c);
        };
        const Outcome o = r.Register("安装系统");
        EXPECT_FALSE(o.ok()) << failing;
        EXPECT_NE(o.what().find(failing), std::string::npos) << o.what();
    }
}

TEST(BcdEntry, AListedTitleWithoutAnIdentifierIsAFailure) {
    BootRig rig;
    rig.commands.answer = [](const std::string& c) {
        return c == "bcdedit" ? std::string("description             安装系统\r\n") : std::string("操作成功完成。");
    };
    EXPECT_FALSE(RegisterBcdEntry(rig.commands, rig.files, rig.systemDrive, "安装系统").ok());
    EXPECT_EQ(rig.commands.run.size(), 1u);
}

TEST(BootEntry, BranchFollowsTheWindowsClassification) {
    for (const char* version : {"Win7", "Win8"}) {
        BcdRig rig;
        rig.system.version = version;
        EXPECT_TRUE(rig.RegisterAny("安装系统").ok());
        EXPECT_EQ(rig.bcd.entries.size(), 1u) << version;
        EXPECT_FALSE(rig.files.FileExists("C:\\boot.ini"));
        EXPECT_FALSE(rig.files.FileExists("C:\\boot.in_"));
    }
    // Versions without a boot-menu branch: the staged job would never run, and the caller hears why.
    for (const char* version : {"Vista", "Win2003", "未知", ""}) {
        BcdRig rig;
        rig.system.version = version;
        const Outcome outcome = rig.RegisterAny("安装系统");
        EXPECT_FALSE(outcome.ok()) << version;
        EXPECT_NE(outcome.what().find(*version ? version : "未知"), std::string::npos) << outcome.what();
        EXPECT_TRUE(rig.commands.run.empty()) << version;
        EXPECT_TRUE(rig.files.log.empty()) << version;
    }
}

TEST(BootIni, SavesTheOriginalOnceAndKeepsOneEntryLine) {
    BcdRig rig;
    rig.system.version = "WinXP";
    rig.files.files["C:\\boot.ini"] = FakeFile{"[boot loader]\r\ntimeout=30\r\n", 0x27, false};
    EXPECT_TRUE(rig.RegisterAny("安装系统").ok());

    EXPECT_EQ(rig.files.files["C:\\boot.ini"].attributes, 0x20u);
    ASSERT_TRUE(rig.files.FileExists("C:\\boot.in_"));
    EXPECT_EQ(rig.files.files["C:\\boot.in_"].bytes, "[boot loader]\r\ntimeout=30\r\n");
    auto& ini = rig.files.profile["C:\\boot.ini"];
    EXPECT_EQ(ini["boot loader"]["default"], "C:\\qzrpldr.mbr");
    EXPECT_EQ(ini["operating systems"]["C:\\qzrpldr.mbr"], "安装系统");

    // A later run keeps the saved original and replaces the title of the same key.
    rig.files.files["C:\\boot.ini"].bytes = "changed";
    EXPECT_TRUE(rig.RegisterAny("备份系统").ok());
    EXPECT_EQ(rig.files.files["C:\\boot.in_"].bytes, "[boot loader]\r\ntimeout=30\r\n");
    EXPECT_EQ(ini["operating systems"].size(), 1u);
    EXPECT_EQ(ini["operating systems"]["C:\\qzrpldr.mbr"], "备份系统");
}

TEST(BootIni, TakenBackTheOriginalIsBackAsItWas) {
    BcdRig rig;
    rig.system.version = "WinXP";
    rig.files.files["C:\\boot.ini"] = FakeFile{"[boot loader]\r\ntimeout=30\r\n", 0x27, false};
    ASSERT_TRUE(rig.RegisterAny("安装系统").ok());
    EXPECT_TRUE(rig.Remove().ok());
    EXPECT_EQ(rig.files.files["C:\\boot.ini"].bytes, "[boot loader]\r\ntimeout=30\r\n");
    EXPECT_EQ(rig.files.files["C:\\boot.ini"].attributes, 0x27u);
    EXPECT_EQ(rig.files.profile["C:\\boot.ini"]["boot loader"]["default"], "");
    EXPECT_FALSE(rig.files.FileExists("C:\\boot.in_"));
    EXPECT_TRUE(rig.commands.run.empty());
}

TEST(BootIni, SystemDriveNamesTheFiles) {
    BootRig rig;
    rig.systemDrive = "D";
    rig.files.files["D:\\boot.ini"] = FakeFile{"[boot loader]\r\n", 0x27, false};
    EXPECT_TRUE(RegisterIni(rig, "安装系统").ok());
    EXPECT_TRUE(rig.files.FileExists("D:\\boot.in_"));
    EXPECT_EQ(rig.files.profile["D:\\boot.ini"]["boot loader"]["default"], "D:\\qzrpldr.mbr");
}

TEST(BootIni, FailuresAreNamedAndLeaveTheDefaultAlone) {
    {
        // Written, but read back as before: the entry is not there, whatever the calls answered.
        BootRig rig;
        rig.files.files["C:\\boot.ini"] = FakeFile{"[boot loader]\r\n", 0x27, false};
        rig.files.ignoreIniWrites = true;
        const Outcome outcome = RegisterIni(rig, "安装系统");
        EXPECT_FALSE(outcome.ok());
        EXPECT_NE(outcome.what().find("读回"), std::string::npos) << outcome.what();
    }
    {
        // No boot.ini: one written from nothing would hold only our entry.
        BootRig rig;
        const Outcome outcome = RegisterIni(rig, "安装系统");
        EXPECT_FALSE(outcome.ok());
        EXPECT_NE(outcome.what().find("C:\\boot.ini"), std::string::npos) << outcome.what();
        EXPECT_TRUE(rig.files.profile.empty());
    }
    {
        // Without the saved original the DOS side could not put the old default back.
        BootRig rig;
        rig.files.files["C:\\boot.ini"] = FakeFile{"[boot loader]\r\n", 0x27, false};
        rig.files.failCopies = true;
        const Outcome outcome = RegisterIni(rig, "安装系统");
        EXPECT_FALSE(outcome.ok());
        EXPECT_EQ(outcome.error().call, "CopyFileW");
        EXPECT_TRUE(rig.files.profile.empty());
    }
}

TEST(Deploy, WritesTheThreeAssetsInOrderEachStamped) {
    BootRig rig;
    const Outcome outcome = DeployBootAssets(rig.files, rig.assets, "D");
    EXPECT_TRUE(outcome.ok()) << outcome.Describe();
    EXPECT_EQ(rig.files.log,
              (std::vector<std::string>{"write D:\\qzrpldr.mbr", "stamp D:\\qzrpldr.mbr", "write D:\\otldr",
                                        "stamp D:\\otldr", "write D:\\Dorv.ima", "stamp D:\\Dorv.ima"}));
    EXPECT_EQ(rig.files.files["D:\\otldr"].bytes, "LOADER");
}

TEST(Deploy, ARepeatReplacesTheHiddenAssetsAndSucceeds) {
    BootRig rig;
    ASSERT_TRUE(DeployBootAssets(rig.files, rig.assets, "C").ok());
    // The DOS side leaves what it keeps hidden, system and read-only; a newer build carries other bytes.
    rig.files.files["C:\\otldr"].attributes = 0x27;
    rig.assets.bytes[BootAsset::Loader] = "LOADER 2";
    const Outcome again = DeployBootAssets(rig.files, rig.assets, "C");
    EXPECT_TRUE(again.ok()) << again.Describe();
    EXPECT_EQ(rig.files.files.size(), 3u);
    EXPECT_EQ(rig.files.files["C:\\otldr"].bytes, "LOADER 2");
    for (const auto& [path, file] : rig.files.files) {
        EXPECT_TRUE(file.stamped) << path;
        EXPECT_EQ(file.attributes & 0x02, 0x02u) << path;
    }
}

TEST(Deploy, AFailedOrMissingAssetIsNamed) {
    BootRig rig;
    rig.assets.bytes[BootAsset::Loader].clear();
    Outcome outcome = DeployBootAssets(rig.files, rig.assets, "C");
    EXPECT_FALSE(outcome.ok());
    EXPECT_NE(outcome.what().find("otldr"), std::string::npos) << outcome.what();
    EXPECT_FALSE(rig.files.FileExists("C:\\otldr"));  // not written as an empty file
    EXPECT_TRUE(rig.files.FileExists("C:\\Dorv.ima"));

    BootRig full;
    full.files.failWrites = true;
    outcome = DeployBootAssets(full.files, full.assets, "C");
    EXPECT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.Describe(), "写入 C:\\qzrpldr.mbr 失败（WriteFile 错误 5）");
    EXPECT_FALSE(DeployBootAssets(full.files, full.assets, "").ok());
}

TEST(Deploy, WindowsGhostGoesToDriveCOnlyWhenCarried) {
    BootRig rig;
    EXPECT_FALSE(WriteWindowsGhost(rig.files, rig.assets).ok());
    EXPECT_TRUE(rig.files.files.empty());
    rig.assets.bytes[BootAsset::WindowsGhost] = "MZghost";
    EXPECT_TRUE(WriteWindowsGhost(rig.files, rig.assets).ok());
    EXPECT_EQ(rig.files.files["C:\\ghost32.exe"].bytes, "MZghost");
    EXPECT_FALSE(rig.files.files["C:\\ghost32.exe"].stamped);
}

}  // namespace
}  // namespace kx::test
