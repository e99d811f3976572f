// The wizard's refusals before and after the bytes: a catalogue that is an error page or carries a
// malformed digest, an image the chosen partition cannot hold, a partition the install cannot name, and
// an image that must be on the disk before it takes its own name.
#include <gtest/gtest.h>

#include "WizardRig.h"

namespace kx::test {
namespace {

constexpr uint64_t kGiBytes = 1ull << 30;

const std::string& LastText(const WizardRig& r) { return r.messages.shown.back().text; }

TEST(WizardSafety, AFailedCatalogueFetchIsExplainedWithItsReason) {
    WizardRig r;
    r.program.state().catalogue.catalogue.dz3.Set("");
    r.program.state().catalogue.status.Set(CatalogueStatus::Failed);
    r.program.state().catalogue.failure.Set("服务器回答 HTTP 404");
    r.Click(WizardImage::Win7x64);
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(LastText(r),
              "无法从服务器获取系统列表（服务器回答 HTTP 404）,请检查网络连接。程序已重新开始获取,请稍候再点击安装。");
}

TEST(WizardSafety, AMalformedDigestRefusesThatImageOnly) {
    WizardRig r;
    r.Plan(kXp, 400000, 400000);
    auto& catalogue = r.program.state().catalogue.catalogue;
    ASSERT_TRUE(ApplyCataloguePage(std::string("system ***dz1ks:") + kXp + ":dz1js*** ***dz3ks:" + kWin7 +
                                       ":dz3js*** ***sha3ks:" + std::string(63, 'a') + ":sha3js***",
                                   catalogue));
    r.Click(WizardImage::Win7x64);
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_NE(LastText(r).find("校验值格式不对"), std::string::npos) << LastText(r);
    EXPECT_EQ(r.messages.shown[0].title, "错误");
    EXPECT_TRUE(r.component.started.empty()) << "nothing downloaded unchecked";
    EXPECT_EQ(r.window.PageIndex(kWizard), 0);

    r.Click(WizardImage::WinXp);  // no digest published for it: downloaded as before
    r.RunToEnd();
    EXPECT_EQ(r.installed, std::vector<std::string>{"D:\\VX_winxp_sp3.gho"});
}

TEST(WizardSafety, TheDownloadGoesToAListedPartitionAndThePreflightIsAskedAboutIt) {
    WizardRig r;
    r.Plan(kWin7, 400000, 400000);
    // Wine's Z: or a share mapped as a fixed drive: the most room, so the start-up rule took it.
    r.drives.AddFixed('Z', 2000, 1500);
    r.program.facts().targetDrive.Set("Z");
    r.Click(WizardImage::Win7x64);
    r.RunToEnd();
    EXPECT_EQ(r.window.Text(kFileNameField), kTarget) << "D: has the most room of the listed partitions";
    EXPECT_EQ(r.checkedPaths, std::vector<std::string>{kTarget});
    EXPECT_EQ(r.installed, std::vector<std::string>{kTarget});
}

TEST(WizardSafety, AnImageThePartitionCannotHoldIsRefusedBeforeTheDownload) {
    struct Case {
        uint64_t size, free;
        const char* fileSystem;
        const char* said;  // empty: downloaded
    };
    const Case cases[] = {
        {5 * kGiBytes, 4 * kGiBytes, "NTFS", "只有 4.00 GB 可用空间"},
        {4 * kGiBytes, 100 * kGiBytes, "FAT32", "是 FAT32 格式"},
        {4 * kGiBytes - 1, 100 * kGiBytes, "FAT32", ""},
        {5 * kGiBytes, 5 * kGiBytes, "NTFS", ""},
    };
    for (const Case& k : cases) {
        WizardRig r;
        r.Plan(kWin7, 400000, 400000);
        r.http.Serve(kWin7, 200, "", k.size);
        r.downloadFiles.freeBytes = k.free;
        r.downloadFiles.fileSystem = k.fileSystem;
        r.downloadFiles.Put(kPartial, "left by an earlier run");
        r.Click(WizardImage::Win7x64);
        r.RunToEnd();
        ASSERT_FALSE(r.http.requests.empty());
        EXPECT_EQ(r.http.requests.back().verb, "HEAD");
        EXPECT_EQ(r.http.requests.back().url, kWin7);
        if (*k.said) {
            ASSERT_EQ(r.messages.shown.size(), 1u) << k.size;
            EXPECT_NE(LastText(r).find(k.said), std::string::npos) << LastText(r);
            EXPECT_TRUE(r.component.started.empty());
            EXPECT_EQ(r.window.PageIndex(kWizard), 0);
            EXPECT_FALSE(r.downloadFiles.IsFile(kPartial));
        } else {
            EXPECT_TRUE(r.messages.shown.empty()) << LastText(r);
            EXPECT_EQ(r.installed, std::vector<std::string>{kTarget});
        }
    }
}

TEST(WizardSafety, TheImageIsFlushedBeforeItIsRenamedAndAFailedFlushIsReported) {
    WizardRig r;
    r.Plan(kWin7, 400000, 400000);
    r.Click(WizardImage::Win7x64);
    r.RunToEnd();
    EXPECT_EQ(r.downloadFiles.steps,
              (std::vector<std::string>{std::string("flush ") + kPartial, std::string("rename ") + kPartial}));

    WizardRig bad;
    bad.Plan(kWin7, 400000, 400000);
    bad.downloadFiles.refuseFlush = true;
    bad.Click(WizardImage::Win7x64);
    bad.program.state().downloading.worker.Wait();
    EXPECT_TRUE(bad.messages.shown.empty()) << "shown by the window thread, from the snapshot";
    bad.Tick();
    ASSERT_EQ(bad.messages.shown.size(), 1u);
    EXPECT_NE(LastText(bad).find("FlushFileBuffers 错误 1117"), std::string::npos) << LastText(bad);
    EXPECT_TRUE(bad.installed.empty());
    EXPECT_FALSE(bad.downloadFiles.IsFile(kTarget)) << "never under its own name unflushed";
    EXPECT_FALSE(bad.downloadFiles.IsFile(kPartial));
    EXPECT_EQ(bad.Page().shown.status, "下载失败");
    EXPECT_TRUE(bad.Page().retryShown);
}

}  // namespace
}  // namespace kx::test
