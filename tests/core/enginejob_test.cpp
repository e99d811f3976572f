#include <gtest/gtest.h>

#include "boot/EngineJob.h"

namespace kx::test {
namespace {

EngineJob Backup() {
    return {EngineJobMode::Backup,  {0x5A3C0F12, 1048576}, {0x5A3C0F12, 1048576},
            {0x5A3C0F12, 68157440}, "/qzrpgho/系统",       "1:1",
            "1:2\\qzrpgho\\系统"};
}

const char* const kBackupText =
    "korvanix-job 1\nmode=backup\nsystem=5A3C0F12:1048576\npartition=5A3C0F12:1048576\n"
    "image=5A3C0F12:68157440\nfolder=/qzrpgho/系统\nghost-partition=1:1\nghost-image=1:2\\qzrpgho\\系统\nend\n";

TEST(EngineJob, WritesTheFormatTheEngineReadsAndReadsItBack) {
    auto text = EngineJobText(Backup());
    ASSERT_TRUE(text) << text.outcome().what();
    EXPECT_EQ(text.value(), kBackupText);
    auto job = ParseEngineJob(text.value());
    ASSERT_TRUE(job) << job.outcome().what();
    EXPECT_EQ(job->mode, EngineJobMode::Backup);
    EXPECT_EQ(job->system, Backup().system);
    EXPECT_EQ(job->image, Backup().image);
    EXPECT_EQ(job->folder, "/qzrpgho/系统");
    EXPECT_EQ(job->ghostImage, "1:2\\qzrpgho\\系统");

    EngineJob restore = Backup();
    restore.mode = EngineJobMode::Restore;
    restore.partition = {0xFFFFFFFF, 512ull * 0xFFFFFFFF};  // the last start an MBR can hold
    auto back = ParseEngineJob(EngineJobText(restore).value());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->mode, EngineJobMode::Restore);
    EXPECT_EQ(back->partition, restore.partition);
}

// An apply carries the edition on a line of its own before the end; only an apply does, from 1 to 9999.
TEST(EngineJob, ApplyNamesTheEditionAndOnlyAnApplyDoes) {
    EngineJob apply = Backup();
    apply.mode = EngineJobMode::Apply;
    apply.folder = "/sources/install.wim";
    apply.index = 9999;
    auto text = EngineJobText(apply);
    ASSERT_TRUE(text) << text.outcome().what();
    EXPECT_EQ(text.value(),
              "korvanix-job 1\nmode=apply\nsystem=5A3C0F12:1048576\npartition=5A3C0F12:1048576\n"
              "image=5A3C0F12:68157440\nfolder=/sources/install.wim\nghost-partition=1:1\n"
              "ghost-image=1:2\\qzrpgho\\系统\nindex=9999\nend\n");
    auto back = ParseEngineJob(text.value());
    ASSERT_TRUE(back) << back.outcome().what();
    EXPECT_EQ(back->mode, EngineJobMode::Apply);
    EXPECT_EQ(back->index, 9999u);
    EXPECT_EQ(back->folder, "/sources/install.wim");

    for (uint32_t bad : {0u, 10000u}) {
        apply.index = bad;
        EXPECT_FALSE(EngineJobText(apply)) << bad;
    }
    apply.index = 1;
    apply.image = apply.partition;  // the image file on the partition it would format
    EXPECT_FALSE(EngineJobText(apply));
    EngineJob backup = Backup();
    backup.index = 1;
    EXPECT_FALSE(EngineJobText(backup));

    const std::string good = text.value();
    auto with = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    for (const std::string& t :
         {with("index=9999", "index=0"), with("index=9999", "index=01"), with("index=9999", "index=10000"),
          with("index=9999", "index="), with("index=9999", "index=+1"), with("index=9999", "edition=1"),
          with("index=9999\n", ""), with("mode=apply", "mode=restore")}) {
        EXPECT_FALSE(ParseEngineJob(t)) << t;
    }
    EXPECT_FALSE(ParseEngineJob(std::string(kBackupText).insert(std::string(kBackupText).find("end"), "index=1\n")));
}

TEST(EngineJob, ReadsWhatAWindowsEditorLeaves) {
    std::string crlf;
    for (char c : std::string(kBackupText)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_TRUE(ParseEngineJob(crlf));
    std::string noLastBreak(kBackupText);
    noLastBreak.pop_back();
    EXPECT_TRUE(ParseEngineJob(noLastBreak));
    std::string lower(kBackupText);
    lower.replace(lower.find("5A3C0F12"), 8, "5a3c0f12");
    auto job = ParseEngineJob(lower);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->system.diskSignature, 0x5A3C0F12u);
}

TEST(EngineJob, RefusesTruncatedUnknownAndMisorderedFiles) {
    const std::string full(kBackupText);
    // Every cut short of the "end" line is refused, including a cut inside a value.
    for (size_t cut = 0; cut + 4 < full.size(); ++cut) EXPECT_FALSE(ParseEngineJob(full.substr(0, cut))) << cut;
    auto withLine = [&](const std::string& after, const std::string& line) {
        std::string t = full;
        t.insert(t.find(after) + after.size(), line);
        return t;
    };
    EXPECT_FALSE(ParseEngineJob(withLine("mode=backup\n", "colour=red\n")));
    EXPECT_FALSE(ParseEngineJob(withLine("mode=backup\n", "mode=restore\n")));
    EXPECT_FALSE(ParseEngineJob(full + "\n"));
    EXPECT_FALSE(ParseEngineJob(full + "mode=restore\n"));
    std::string swapped = full;
    swapped.replace(swapped.find("system="), 6, "partit");  // "partition" twice, no "system"
    EXPECT_FALSE(ParseEngineJob(swapped));
    std::string header = full;
    header.replace(0, 14, "korvanix-job 2");
    EXPECT_FALSE(ParseEngineJob(header));
    std::string mode = full;
    mode.replace(mode.find("backup"), 6, "BACKUP");
    EXPECT_FALSE(ParseEngineJob(mode));
}

TEST(EngineJob, RefusesIdentitiesAndPlacesTheEngineCannotUse) {
    auto refused = [](void (*change)(EngineJob&)) {
        EngineJob j = Backup();
        change(j);
        return !EngineJobText(j);
    };
    EXPECT_TRUE(refused([](EngineJob& j) { j.image.diskSignature = 0; }));
    EXPECT_TRUE(refused([](EngineJob& j) { j.partition.startOffset = 1048577; }));
    EXPECT_TRUE(refused([](EngineJob& j) { j.system.startOffset = 0; }));
    EXPECT_TRUE(refused([](EngineJob& j) { j.image = j.partition; }));  // backup into itself
    EXPECT_TRUE(refused([](EngineJob& j) { j.mode = EngineJobMode::Restore, j.image = j.partition; }));
    EXPECT_TRUE(refused([](EngineJob& j) { j.folder = "/a/../b"; }));
    EXPECT_TRUE(refused([](EngineJob& j) { j.ghostImage = ""; }));
    EXPECT_TRUE(refused([](EngineJob& j) { j.ghostPartition = "1:1\nmode=restore"; }));

    for (const char* id : {"5A3C0F1:512", "5A3C0F12-512", "5A3C0F12:", "5A3C0G12:512", "5A3C0F12:5x2",
                           "5A3C0F12:12345678901234567890", "5A3C0F12:2199023255552", "5A3C0F12:1152921504606846977"}) {
        EXPECT_FALSE(ParseIdentity(id)) << id;
    }
    EXPECT_EQ(ParseIdentity("5A3C0F12:2199023254528").value().startOffset, 2199023254528u);  // below 2^41
    std::string text(kBackupText);
    text.replace(text.find("68157440"), 8, "68157441");
    EXPECT_FALSE(ParseEngineJob(text));
}

TEST(EngineJob, ImageFolderFromTheWindowsPath) {
    EXPECT_EQ(EngineFolderOfPath("D:\\qzrpgho\\系统 备份").value(), "/qzrpgho/系统 备份");
    EXPECT_EQ(EngineFolderOfPath("D:\\img\\").value(), "/img");
    for (const char* bad : {"D:\\", "D:", "qzrpgho\\a", "\\\\server\\share\\a", "D:\\a\\..\\b", "D:\\a\\\\b", "D:\\a:b",
                            "D:\\a/b", "D:\\a\\.", "D:\\a\tb"}) {
        EXPECT_FALSE(EngineFolderOfPath(bad)) << bad;
    }
    // A Windows path never holds "*"; a job may (a virtual machine's), and the engine takes it as a value.
    EXPECT_FALSE(EngineFolderOfPath("D:\\a*"));
    EngineJob j = Backup();
    j.folder = "/My Images [1]/系统 $x*";
    auto text = EngineJobText(j);
    ASSERT_TRUE(text);
    EXPECT_EQ(ParseEngineJob(text.value()).value().folder, j.folder);
}

TEST(EngineJob, LastResultFromTheLog) {
    EXPECT_TRUE(EngineLogResult("2026-12-08 20:09:10 engine started\n2026-12-08 20:11:48 RESULT OK\nRESULT OK\n").ok);
    EXPECT_TRUE(EngineLogResult("RESULT OK\r\n").ok);
    auto failed = EngineLogResult("x\nRESULT FAILED: partition 5A3C0F12:512 is not on any disk\n");
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.reason, "partition 5A3C0F12:512 is not on any disk");
    // An OK inside the log that is not its last line, or a log cut short, is no success.
    for (const char* log : {"RESULT OK\nbacking up 1:1\n", "", "\n\n", "RESULT FAILED: ", "RESULT OKAY"}) {
        auto r = EngineLogResult(log);
        EXPECT_FALSE(r.ok) << log;
        EXPECT_FALSE(r.reason.empty()) << log;
    }
}

TEST(EngineJob, SummaryOfASuccessFromTheLineBeforeIt) {
    auto r = EngineLogResult("engine started\nSUMMARY mode=backup seconds=123 image-bytes=456789\nRESULT OK\n");
    ASSERT_TRUE(r.ok);
    ASSERT_TRUE(r.summary);
    EXPECT_EQ(r.summary->mode, EngineJobMode::Backup);
    EXPECT_EQ(r.summary->seconds, 123u);
    EXPECT_EQ(r.summary->imageBytes, 456789u);
    r = EngineLogResult("SUMMARY mode=restore seconds=0 image-bytes=9999999999999999999\r\nRESULT OK\r\n");
    ASSERT_TRUE(r.summary);
    EXPECT_EQ(r.summary->mode, EngineJobMode::Restore);
    EXPECT_EQ(r.summary->imageBytes, 9999999999999999999u);
    r = EngineLogResult("SUMMARY mode=apply seconds=7 image-bytes=8\nRESULT OK\n");
    ASSERT_TRUE(r.summary);
    EXPECT_EQ(r.summary->mode, EngineJobMode::Apply);
    EXPECT_EQ(r.summary->seconds, 7u);

    // A log without the line, or with one that is not exactly of its form, is a success without a summary.
    for (const char* log :
         {"RESULT OK\n", "x\nRESULT OK\n", "SUMMARY mode=backup seconds=1 image-bytes=2\nx\nRESULT OK\n",
          "SUMMARY mode=copy seconds=1 image-bytes=2\nRESULT OK\n", "SUMMARY mode=apply\nRESULT OK\n",
          "SUMMARY mode=applyseconds=1 image-bytes=2\nRESULT OK\n", "SUMMARY mode=backup seconds=1\nRESULT OK\n",
          "SUMMARY mode=backup seconds=-1 image-bytes=2\nRESULT OK\n",
          "SUMMARY mode=backup seconds=1 image-bytes=2 extra\nRESULT OK\n",
          "SUMMARY mode=backup seconds=1 image-bytes=99999999999999999999\nRESULT OK\n",
          "2026-12-08 SUMMARY mode=backup seconds=1 image-bytes=2\nRESULT OK\n"}) {
        r = EngineLogResult(log);
        EXPECT_TRUE(r.ok) << log;
        EXPECT_FALSE(r.summary) << log;
    }
    // A failure carries none, whatever came before it.
    EXPECT_FALSE(EngineLogResult("SUMMARY mode=backup seconds=1 image-bytes=2\nRESULT FAILED: x\n").summary);
}

}  // namespace
}  // namespace kx::test

namespace kx::test {
namespace {

TEST(EngineJob, GptPartitionsByDiskAndPartitionGuid) {
    PartitionIdentity sys;
    sys.diskGuid = ParseGuid("1f3e5d7c-9b0a-4c2e-8d6f-a1b2c3d4e5f6").value();
    sys.partitionGuid = ParseGuid("2A4C6E80-1B3D-4F5A-8C7E-9D0F1A2B3C4D").value();
    sys.startOffset = 68157440;
    EXPECT_EQ(IdentityText(sys), "1F3E5D7C-9B0A-4C2E-8D6F-A1B2C3D4E5F6/2A4C6E80-1B3D-4F5A-8C7E-9D0F1A2B3C4D:68157440");
    auto back = ParseIdentity(IdentityText(sys));
    ASSERT_TRUE(back) << back.outcome().what();
    EXPECT_EQ(back.value(), sys);
    EXPECT_TRUE(back->IsGpt());

    // A job may name a GPT system partition and an image on an MBR disk; a zero GUID is no identity.
    EngineJob job{EngineJobMode::Backup, sys, sys, {0x5A3C0F12, 1048576}, "/x", "1:2", "2:1\\x"};
    auto text = EngineJobText(job);
    ASSERT_TRUE(text) << text.outcome().what();
    auto parsed = ParseEngineJob(text.value());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->system, sys);
    EXPECT_FALSE(parsed->image.IsGpt());
    job.partition.partitionGuid = Guid{};
    EXPECT_FALSE(EngineJobText(job));
}

}  // namespace
}  // namespace kx::test
