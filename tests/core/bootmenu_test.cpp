#include <gtest/gtest.h>

#include "BootFakes.h"
#include "boot/BootAssets.h"
#include "boot/BootMenu.h"

namespace kx::test {
namespace {

// A boot store the way bcdedit lists it, for the fake command port.
struct FakeBcd {
    std::vector<std::pair<std::string, std::string>> entries;  // identifier, description
    bool chinese = true;

    std::string Answer(const std::string& command) {
        const std::string ok = chinese ? "操作成功完成。\r\n" : "The operation completed successfully.\r\n";
        if (command == "bcdedit") {
            std::string out = "Windows Boot Manager\r\n--------------------\r\nidentifier              {bootmgr}\r\n"
                              "description             Windows Boot Manager\r\n\r\n";
            for (const auto& [id, title] : entries)
                out += "Real-mode Boot Sector\r\n---------------------\r\n" +
                       std::string(chinese ? "标识符" : "identifier") + "                  " + id +
                       "\r\ndevice                  partition=C:\r\npath                    "
                       "\\qzrpldr.mbr\r\ndescription             " + title + "\r\n\r\n";
            return out;
        }
        const std::string create = "bcdedit /create /d \"";
        if (command.rfind(create, 0) == 0) {
            const std::string id = "{0000000" + std::to_string(entries.size() + 1) + "-1111-2222-3333-444444444444}";
            entries.emplace_back(id, command.substr(create.size(), command.find('"', create.size()) - create.size()));
            return chinese ? "已成功创建项 " + id + "。\r\n" : "The entry " + id + " was successfully created.\r\n";
        }
        return ok;
    }
};

struct BcdRig : BootRig {
    FakeBcd bcd;
    BcdRig() {
        commands.answer = [this](const std::string& c) { return bcd.Answer(c); };
    }
};

TEST(BcdRules, SuccessRuleAndIdentifiers) {
    EXPECT_TRUE(BcdSucceeded(false, "操作成功完成。"));
    EXPECT_TRUE(BcdSucceeded(true, "The operation completed successfully."));
    EXPECT_FALSE(BcdSucceeded(false, "The operation completed successfully."));  // English cannot undo a failure
    EXPECT_FALSE(BcdSucceeded(true, ""));
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
        EXPECT_TRUE(RegisterBcdEntry(rig.program, "安装系统"));
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

TEST(BcdEntry, SecondRunStartsTheExistingEntryAgainWithoutAddingOne) {
    BcdRig rig;
    RegisterBcdEntry(rig.program, "安装系统");
    rig.commands.run.clear();
    EXPECT_TRUE(RegisterBcdEntry(rig.program, "安装系统"));
    EXPECT_EQ(rig.bcd.entries.size(), 1u);
    EXPECT_EQ(rig.commands.run,
              (std::vector<std::string>{"bcdedit", "bcdedit /bootsequence {00000001-1111-2222-3333-444444444444}"}));

    // Another title is another entry; the newer one starts next.
    rig.commands.run.clear();
    EXPECT_TRUE(RegisterBcdEntry(rig.program, "备份系统"));
    ASSERT_EQ(rig.bcd.entries.size(), 2u);
    EXPECT_EQ(rig.commands.run[5], "bcdedit /bootsequence {00000002-1111-2222-3333-444444444444}");
}

TEST(BcdEntry, DeviceIsTheSystemDriveWhereTheHelperWasWritten) {
    BcdRig rig;
    rig.program.facts().systemDriveLetter = "D";
    RegisterBcdEntry(rig.program, "安装系统");
    EXPECT_EQ(rig.commands.run[2], "bcdedit /set {00000001-1111-2222-3333-444444444444} device partition=D:");
}

TEST(BcdEntry, BcdeditThatDoesNotRunGivesFalseAndEmptyIdentifier) {
    BootRig rig;  // every command answers nothing
    EXPECT_FALSE(RegisterBcdEntry(rig.program, "安装系统"));
    ASSERT_EQ(rig.commands.run.size(), 7u);
    EXPECT_EQ(rig.commands.run[2], "bcdedit /set {} device partition=C:");
}

TEST(BcdEntry, EnglishFailureAfterChineseSuccessIsFailure) {
    BcdRig rig;
    rig.bcd.chinese = false;
    rig.commands.answer = [&rig](const std::string& c) {
        return c.find("/timeout") != std::string::npos ? std::string("An error occurred.") : rig.bcd.Answer(c);
    };
    EXPECT_FALSE(RegisterBcdEntry(rig.program, "安装系统"));
}

TEST(BootEntry, BranchFollowsTheWindowsClassification) {
    for (const char* version : {"Win7", "Win8"}) {
        BcdRig rig;
        rig.system.version = version;
        RegisterBootEntry(rig.program, "安装系统");
        EXPECT_EQ(rig.bcd.entries.size(), 1u) << version;
        EXPECT_TRUE(rig.files.log.empty());
    }
    for (const char* version : {"Vista", "Win2003", "未知", ""}) {
        BcdRig rig;
        rig.system.version = version;
        RegisterBootEntry(rig.program, "安装系统");
        EXPECT_TRUE(rig.commands.run.empty()) << version;
        EXPECT_TRUE(rig.files.log.empty()) << version;
    }
}

TEST(BootIni, SavesTheOriginalOnceAndKeepsOneEntryLine) {
    BootRig rig;
    rig.system.version = "WinXP";
    rig.files.files["C:\\boot.ini"] = FakeFile{"[boot loader]\r\ntimeout=30\r\n", 0x27, false};
    RegisterBootEntry(rig.program, "安装系统");

    EXPECT_EQ(rig.files.files["C:\\boot.ini"].attributes, 0x20u);
    ASSERT_TRUE(rig.files.FileExists("C:\\boot.in_"));
    EXPECT_EQ(rig.files.files["C:\\boot.in_"].bytes, "[boot loader]\r\ntimeout=30\r\n");
    auto& ini = rig.files.profile["C:\\boot.ini"];
    EXPECT_EQ(ini["boot loader"]["default"], "C:\\qzrpldr.mbr");
    EXPECT_EQ(ini["operating systems"]["C:\\qzrpldr.mbr"], "安装系统");

    // A later run keeps the saved original and replaces the title of the same key.
    rig.files.files["C:\\boot.ini"].bytes = "changed";
    RegisterBootEntry(rig.program, "备份系统");
    EXPECT_EQ(rig.files.files["C:\\boot.in_"].bytes, "[boot loader]\r\ntimeout=30\r\n");
    EXPECT_EQ(ini["operating systems"].size(), 1u);
    EXPECT_EQ(ini["operating systems"]["C:\\qzrpldr.mbr"], "备份系统");
}

TEST(BootIni, SystemDriveNamesTheFiles) {
    BootRig rig;
    rig.program.facts().systemDriveLetter = "D";
    RegisterBootIniEntry(rig.program, "安装系统");
    EXPECT_FALSE(rig.files.FileExists("D:\\boot.in_"));  // nothing to save
    EXPECT_EQ(rig.files.profile["D:\\boot.ini"]["boot loader"]["default"], "D:\\qzrpldr.mbr");
}

TEST(Deploy, WritesTheThreeAssetsInOrderEachStamped) {
    BootRig rig;
    rig.program.facts().systemDriveLetter = "D";
    EXPECT_TRUE(DeployBootAssets(rig.program));
    EXPECT_EQ(rig.files.log, (std::vector<std::string>{"write D:\\qzrpldr.mbr", "stamp D:\\qzrpldr.mbr",
                                                       "write D:\\otldr", "stamp D:\\otldr", "write D:\\Dorv.ima",
                                                       "stamp D:\\Dorv.ima"}));
    EXPECT_EQ(rig.files.files["D:\\otldr"].bytes, "LOADER");

    // Again: the hidden files refuse the rewrite, keep their bytes and are stamped again.
    rig.files.log.clear();
    EXPECT_FALSE(DeployBootAssets(rig.program));
    EXPECT_EQ(rig.files.files.size(), 3u);
    EXPECT_EQ(rig.files.files["D:\\qzrpldr.mbr"].bytes.size(), 8192u);
    EXPECT_EQ(std::count(rig.files.log.begin(), rig.files.log.end(), "stamp D:\\Dorv.ima"), 1);
}

TEST(Deploy, MissingAssetIsNotWrittenAsAnEmptyFile) {
    BootRig rig;
    rig.assets.bytes[BootAsset::Loader].clear();
    EXPECT_FALSE(DeployBootAssets(rig.program));
    EXPECT_FALSE(rig.files.FileExists("C:\\otldr"));
    EXPECT_TRUE(rig.files.FileExists("C:\\Dorv.ima"));
}

TEST(Deploy, WindowsGhostGoesToDriveCOnlyWhenCarried) {
    BootRig rig;
    rig.program.facts().systemDriveLetter = "D";
    EXPECT_FALSE(WriteWindowsGhost(rig.program));
    EXPECT_TRUE(rig.files.files.empty());
    rig.assets.bytes[BootAsset::WindowsGhost] = "MZghost";
    EXPECT_TRUE(WriteWindowsGhost(rig.program));
    EXPECT_EQ(rig.files.files["C:\\ghost32.exe"].bytes, "MZghost");
    EXPECT_FALSE(rig.files.files["C:\\ghost32.exe"].stamped);
}

}  // namespace
}  // namespace kx::test
