#include "download/DownloadWizard.h"

#include <gtest/gtest.h>

#include "WizardRig.h"
#include "app/Handlers.h"

namespace kx::test {
namespace {

TEST(WizardChoice, TheButtonFillsTheDownloadPageFromTheCatalogueAndTheTargetDrive) {
    WizardRig r;
    r.Plan(kWin7, 400000, 100000);
    r.Click(WizardImage::Win7x64);
    r.RunToEnd();
    EXPECT_EQ(r.window.PageIndex(kWizard), 1);
    const DownloadRequest& chosen = r.Page().chosen;
    EXPECT_EQ(chosen.address, kWin7);
    EXPECT_EQ(chosen.fallback, kMirror);
    EXPECT_EQ(chosen.imagePath, kTarget);
    EXPECT_EQ(r.window.Text("保存路径"), kTarget);
    ASSERT_EQ(r.component.started.size(), 1u);
    EXPECT_EQ(r.component.started[0].target, kPartial) << "the component writes under a temporary name";
    EXPECT_EQ(r.component.started[0].threads, 32);
    EXPECT_EQ(r.component.started[0].retries, 10);

    // A later change of the target partition changes the next download's path.
    r.program.facts().targetDrive.Set("E");
    r.Click(WizardImage::WinXp);
    r.RunToEnd();
    EXPECT_EQ(r.Page().chosen.imagePath, "E:\\VX_winxp_sp3.gho");
}

TEST(WizardChoice, AnInstallThatCannotRunIsSaidBeforeTheDownloadWhichGoesOnlyOnAYes) {
    WizardRig r;
    r.Plan(kWin7, 400000, 100000);
    r.checkAnswer = Outcome::Failed("这台电脑以 UEFI 方式启动");
    r.messages.answer = MessageAnswer::No;
    r.Click(WizardImage::Win7x64);
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].text,
              "这台电脑以 UEFI 方式启动\r\n\r\n下载完成后不能自动安装。是否仍然下载这个映像文件？");
    EXPECT_EQ(r.messages.shown[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(r.window.PageIndex(kWizard), 0);
    EXPECT_TRUE(r.component.started.empty());

    r.messages.answer = MessageAnswer::Yes;
    r.Click(WizardImage::Win7x64);
    r.RunToEnd();
    EXPECT_EQ(r.window.PageIndex(kWizard), 1);
    EXPECT_EQ(r.component.started.size(), 1u);
}

TEST(WizardChoice, AnImageTheArrivedCatalogueDoesNotNameMeansANewVersion) {
    WizardRig r;
    r.Click(WizardImage::Win7x86);
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].text, "发现软件有新版本,请更新软件到最新版本后重试!");
    EXPECT_EQ(r.messages.shown[0].title, "信息：");
    EXPECT_EQ(r.shell.opened, std::vector<std::string>{SiteUrl(r.program.facts(), "/vx/wngjxz.htm")});
    EXPECT_EQ(r.window.PageIndex(kWizard), 0);
    EXPECT_TRUE(r.component.started.empty());
}

TEST(WizardChoice, AClickBeforeTheCatalogueArrivedSaysSoInsteadOfANewVersion) {
    for (CatalogueStatus status : {CatalogueStatus::NotFetched, CatalogueStatus::Fetching, CatalogueStatus::Failed}) {
        WizardRig r;
        r.program.state().catalogue.catalogue.dz3.Set("");
        r.program.state().catalogue.status.Set(status);
        int refetched = 0;
        DownloadContext c = r.Context();
        c.refetchCatalogue = [&] { ++refetched; };
        InstallImage(c, WizardImage::Win7x64);
        ASSERT_EQ(r.messages.shown.size(), 1u);
        EXPECT_EQ(r.messages.shown[0].text.find("新版本"), std::string::npos);
        EXPECT_NE(r.messages.shown[0].text.find("系统列表"), std::string::npos);
        EXPECT_TRUE(r.shell.opened.empty());
        EXPECT_EQ(refetched, status == CatalogueStatus::Failed ? 1 : 0) << "a failed fetch is tried again";
        EXPECT_EQ(r.window.PageIndex(kWizard), 0);
    }
}

TEST(WizardChoice, NoListedPartitionBesideTheSystemsIsRefused) {
    for (const char* drive : {"", "C"}) {
        WizardRig r;
        r.program.facts().targetDrive.Set(drive);
        ClearPartitions(r.program);
        ListPartition(r.program, MakeDriveRecord(r.drives, "C", "1:1", "C"));
        r.Click(WizardImage::Win7x64);
        ASSERT_EQ(r.messages.shown.size(), 1u) << drive;
        EXPECT_EQ(r.messages.shown[0].text,
                  "所有非系统盘空间大小均已不足！无法成功执行操作，请释放本地磁盘空间后重试！");
        EXPECT_EQ(r.window.PageIndex(kWizard), 0);
        EXPECT_TRUE(r.component.started.empty());
    }
}

TEST(WizardChoice, WhenTheSystemDriveHasTheMostRoomAnotherPartitionWithRoomIsTaken) {
    WizardRig r;
    r.program.facts().targetDrive.Set("C");
    r.Plan(kWin7, 400000, 400000);
    DownloadContext c = r.Context();
    c.chooseTargetDrive = [] { return std::string("E"); };
    InstallImage(c, WizardImage::Win7x64);
    r.RunToEnd();
    EXPECT_TRUE(r.messages.shown.empty());
    EXPECT_EQ(r.Page().chosen.imagePath, "E:\\VX_win7_sp1_64.gho");

    WizardRig none;  // no other partition: refused
    none.program.facts().targetDrive.Set("C");
    DownloadContext n = none.Context();
    n.chooseTargetDrive = [] { return std::string(); };
    InstallImage(n, WizardImage::Win7x64);
    ASSERT_EQ(none.messages.shown.size(), 1u);
    EXPECT_TRUE(none.component.started.empty());
}

TEST(WizardChoice, AComponentThatDidNotLoadIsReportedNotCalled) {
    WizardRig r;
    r.program.ports().downloadComponent = nullptr;  // the entry points bound at start: none here
    r.Click(WizardImage::Win7x64);
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_NE(r.messages.shown[0].text.find("下载组件无法加载"), std::string::npos);
    EXPECT_FALSE(r.program.state().downloading.worker.Running());
    EXPECT_EQ(r.window.PageIndex(kWizard), 0);
}

TEST(WizardChoice, AnImageAlreadyThereAsksYesNoCancel) {
    {  // Yes: downloaded again.
        WizardRig r;
        r.Plan(kWin7, 400000, 400000);
        r.downloadFiles.Put(kTarget, "old");
        r.messages.answers = {MessageAnswer::Yes};
        r.Click(WizardImage::Win7x64);
        r.RunToEnd();
        EXPECT_EQ(r.messages.shown.at(0).buttons, MessageButtons::YesNoCancel);
        EXPECT_EQ(r.component.started.size(), 1u);
        EXPECT_EQ(r.downloadFiles.Content(kTarget), "image bytes");
    }
    {  // No: the file there is installed without a download.
        WizardRig r;
        r.downloadFiles.Put(kTarget, "old");
        r.messages.answers = {MessageAnswer::No};
        r.Click(WizardImage::Win7x64);
        r.RunToEnd();
        EXPECT_TRUE(r.component.started.empty());
        EXPECT_EQ(r.installed, std::vector<std::string>{kTarget});
    }
    {  // Cancel (or closing the box): back to the choice, nothing else.
        WizardRig r;
        r.downloadFiles.Put(kTarget, "old");
        r.messages.answers = {MessageAnswer::Cancel};
        r.Click(WizardImage::Win7x64);
        r.RunToEnd();
        EXPECT_EQ(r.window.PageIndex(kWizard), 0);
        EXPECT_TRUE(r.component.started.empty());
        EXPECT_TRUE(r.installed.empty());
    }
    {  // A partial file left by an earlier run is no image: no question, a new download.
        WizardRig r;
        r.Plan(kWin7, 400000, 400000);
        r.downloadFiles.Put(kPartial, "half");
        r.Click(WizardImage::Win7x64);
        r.RunToEnd();
        EXPECT_TRUE(r.messages.shown.empty());
        EXPECT_EQ(r.component.started.size(), 1u);
    }
}

TEST(WizardChoice, AnExistingImageWithTheWrongDigestIsNotInstalled) {
    WizardRig r;
    r.program.state().catalogue.catalogue.sha3.Set(Sha256Hex("the published image"));
    r.downloadFiles.Put(kTarget, "some other file");
    r.messages.answers = {MessageAnswer::No};
    r.Click(WizardImage::Win7x64);
    r.RunToEnd();
    r.ExpectDigestRefused(2, 0);
    EXPECT_EQ(r.downloadFiles.Content(kTarget), "some other file") << "not ours to delete";
}

TEST(WizardChoice, ASecondStartWhileOneRunsIsRefused) {
    WizardRig r;
    r.Plan(kWin7, 400000, 1000);
    std::mutex m;
    std::condition_variable cv;
    bool inside = false, release = false;
    r.component.onInfo = [&](int call) {
        if (call != 2) return;
        std::unique_lock<std::mutex> lock(m);
        inside = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
    };
    r.Click(WizardImage::Win7x64);
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return inside; });
    }
    r.Click(WizardImage::WinXp);
    ConfirmAndStartDownload(r.Context());
    EXPECT_EQ(r.messages.shown.size(), 2u);
    EXPECT_EQ(r.Page().chosen.imagePath, kTarget) << "the running download's fields stay";
    {
        std::lock_guard<std::mutex> lock(m);
        release = true;
        cv.notify_all();
    }
    // Over, but its end not drawn yet: the install of this image is still to come.
    r.program.state().downloading.worker.Wait();
    r.Click(WizardImage::WinXp);
    EXPECT_EQ(r.messages.shown.size(), 3u);
    r.Tick();
    EXPECT_EQ(r.installed, std::vector<std::string>{kTarget});
    EXPECT_EQ(r.component.started.size(), 1u);
}

TEST(DownloadWorker, TheWindowDrawsEachSnapshotAndInstallsTheCompleteImageOnItsOwnThread) {
    WizardRig r;
    r.Plan(kWin7, 1048575, 104857);  // one byte short of 1024 KB, a tenth of it a read: every figure truncates
    Stepper step(r.component, r.program.state().downloading.worker);
    const DownloadPage& page = r.Page();
    r.Click(WizardImage::Win7x64);
    EXPECT_EQ(r.window.TimerPeriod(kProgressTimer), kProgressTimerPeriod);

    step.Let(1);  // the component started: its size known
    EXPECT_EQ(r.window.Text("文件大小"), "正在获取") << "the worker never draws; only the timer does";
    r.Tick();
    EXPECT_EQ(page.shown.phase, DownloadPhase::Running);
    EXPECT_EQ(r.window.Text("文件大小"), "1023 KB");
    EXPECT_TRUE(r.window.Visible(kPauseButton));

    step.Let(1);  // the first tick: what arrived since the start
    r.Tick();
    EXPECT_EQ(page.shown.received, 209714u);
    EXPECT_EQ(page.shown.percent, 19);
    EXPECT_EQ(page.shown.speedKb, 204);
    EXPECT_EQ(page.shown.status, "正在下载");
    EXPECT_EQ(r.window.Text("已经接收"), "204 KB");
    EXPECT_EQ(r.window.ProgressPosition("进度条2"), 19);

    PauseOrResumeDownload(r.Context());
    EXPECT_EQ(r.window.Text(kPauseButton), "继续下载");
    step.Let(1);
    r.Tick();
    EXPECT_EQ(page.shown.status, "暂停下载");
    EXPECT_EQ(page.shown.speedKb, 0);
    EXPECT_EQ(page.shown.received, 209714u) << "the same download, held";

    PauseOrResumeDownload(r.Context());
    EXPECT_EQ(r.window.Text(kPauseButton), "暂停下载");
    EXPECT_EQ(r.component.pauses, 1);
    EXPECT_EQ(r.component.restores, 1);
    step.Let(100);
    EXPECT_TRUE(r.installed.empty()) << "the worker installs nothing itself";
    r.Tick();
    EXPECT_EQ(r.installed, std::vector<std::string>{kTarget});
    EXPECT_EQ(r.installThreads, std::vector<std::thread::id>{std::this_thread::get_id()});
    EXPECT_FALSE(r.componentLiveAtInstall) << "the file is closed before the install reads it";
    EXPECT_EQ(r.downloadFiles.Content(kTarget), "image bytes");
    EXPECT_FALSE(r.downloadFiles.IsFile(kPartial));
    EXPECT_EQ(page.shown.status, "下载完成");
    EXPECT_TRUE(page.shown.average);
    EXPECT_EQ(r.window.Text("透明标签16"), "平均速度:");
    EXPECT_EQ(r.window.Text("下载的速度"), "93 KB/S") << "1048575 bytes over 11 ticks, the paused one among them";
    EXPECT_FALSE(r.window.Visible(kPauseButton));
    EXPECT_TRUE(r.window.Visible(ctl::kRefreshAfterDownloadButton)) << "the partitions' room changed";
    EXPECT_EQ(r.window.TimerPeriod(kProgressTimer), 0);
    r.Tick();  // nothing new: the end is acted on once
    EXPECT_EQ(r.installed.size(), 1u);

    // Once the download is over the button acts on nothing.
    PauseOrResumeDownload(r.Context());
    EXPECT_EQ(r.component.pauses, 1);
    EXPECT_EQ(r.component.stops, 1);
    EXPECT_FALSE(r.component.misuse);
}

TEST(DownloadWorker, AFailedInstallTakesTheWizardBackToTheChoice) {
    WizardRig r;
    r.Plan(kWin7, 400000, 400000);
    r.installAnswer = Outcome::Failed("安装系统");
    r.Click(WizardImage::Win7x64);
    r.RunToEnd();
    EXPECT_EQ(r.installed.size(), 1u);
    EXPECT_EQ(r.window.PageIndex(kWizard), 0);
}

TEST(DownloadWorker, TheFallbackAddressIsTriedOnceThenThePageSaysFailed) {
    WizardRig r;
    r.Plan(kWin7, 99999, 99999);  // an error page, not an image; the mirror gives no handle at all
    r.Click(WizardImage::Win7x64);
    r.RunToEnd();
    ASSERT_EQ(r.component.started.size(), 2u) << "the mirror once, not again and again";
    EXPECT_EQ(r.component.started[1].address, kMirror);
    EXPECT_EQ(r.Page().chosen.address, kMirror);
    EXPECT_EQ(r.window.Text(kAddressField), kMirror);
    EXPECT_EQ(r.Page().shown.status, "下载失败");
    EXPECT_TRUE(r.Page().retryShown);
    EXPECT_TRUE(r.window.Visible(kRetryButton));
    EXPECT_FALSE(r.downloadFiles.IsFile(kPartial));

    // Retry starts again from the mirror, which now delivers.
    r.Plan(kMirror, 400000, 400000);
    RetryDownload(r.Context());
    r.RunToEnd();
    ASSERT_EQ(r.component.started.size(), 3u);
    EXPECT_EQ(r.component.started[2].address, kMirror);
    EXPECT_EQ(r.installed, std::vector<std::string>{kTarget});
    EXPECT_FALSE(r.window.Visible(kRetryButton));
}

TEST(DownloadWorker, WithoutAFallbackAFailedStartFailsAtOnce) {
    WizardRig r;
    r.program.state().catalogue.catalogue.fdz3.Set("");
    r.Click(WizardImage::Win7x64);  // no plan: null handle
    r.RunToEnd();
    EXPECT_EQ(r.component.started.size(), 1u);
    EXPECT_EQ(r.Page().shown.status, "下载失败");
    EXPECT_TRUE(r.Page().retryShown);
    EXPECT_FALSE(r.component.misuse) << "a null handle is never passed to the component";
}

TEST(DownloadWorker, AFailedDownloadLeavesNoPartialFileAndInstallsNothing) {
    WizardRig r;
    r.component.plans[kWin7] = {400000, 100000, 200000, "x"};
    r.Click(WizardImage::Win7x64);
    r.RunToEnd();
    EXPECT_EQ(r.Page().shown.phase, DownloadPhase::Failed);
    EXPECT_EQ(r.window.Text("下载状态"), "下载失败");
    EXPECT_TRUE(r.window.Visible(kRetryButton));
    EXPECT_EQ(r.window.TimerPeriod(kProgressTimer), 0);
    EXPECT_FALSE(r.downloadFiles.IsFile(kPartial));
    EXPECT_FALSE(r.downloadFiles.IsFile(kTarget)) << "\"否\" can never install a broken image";
    EXPECT_TRUE(r.installed.empty());

    WizardRig full;
    full.component.plans[kWin7] = {400000, 100000, 200000, "x"};
    full.downloadFiles.freeBytes = 4096;
    full.Click(WizardImage::Win7x64);
    full.RunToEnd();
    EXPECT_EQ(full.Page().shown.status, "磁盘空间不足,下载失败");
    EXPECT_FALSE(full.downloadFiles.IsFile(kPartial));
}

TEST(DownloadWorker, TheImageIsCheckedAgainstTheCataloguesDigest) {
    WizardRig good;
    good.program.state().catalogue.catalogue.sha3.Set(Sha256Hex("image bytes"));
    good.Plan(kWin7, 400000, 400000);
    good.Click(WizardImage::Win7x64);
    good.RunToEnd();
    EXPECT_EQ(good.downloadFiles.hashed, std::vector<std::string>{kPartial});
    EXPECT_EQ(good.installed, std::vector<std::string>{kTarget});

    WizardRig bad;
    bad.program.state().catalogue.catalogue.sha3.Set(Sha256Hex("the published image"));
    bad.Plan(kWin7, 400000, 400000);
    bad.Click(WizardImage::Win7x64);
    bad.RunToEnd();
    bad.ExpectDigestRefused(1, 1);
    EXPECT_FALSE(bad.downloadFiles.IsFile(kPartial));
    EXPECT_FALSE(bad.downloadFiles.IsFile(kTarget));
    EXPECT_EQ(bad.Page().shown.status, "校验失败");
    EXPECT_TRUE(bad.Page().retryShown);
}

TEST(DownloadWorker, ClosingTheWindowStopsTheDownloadAndRemovesThePartialFile) {
    WizardRig r;
    r.Plan(kWin7, 400000000, 1);
    r.program.state().downloading.pollMilliseconds = 1000;
    std::mutex m;
    std::condition_variable cv;
    bool ticked = false;
    r.component.onInfo = [&](int) {
        std::lock_guard<std::mutex> lock(m);
        ticked = true;
        cv.notify_all();
    };
    r.Click(WizardImage::Win7x64);
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return ticked; });
    }
    r.program.OnDestroying();
    EXPECT_FALSE(r.program.state().downloading.worker.Running());
    EXPECT_EQ(r.component.stops, 1);
    EXPECT_FALSE(r.downloadFiles.IsFile(kPartial));
    EXPECT_TRUE(r.installed.empty());

    WizardRig done;  // complete, but its end not drawn yet when the window goes away
    done.Plan(kWin7, 400000, 400000);
    done.Click(WizardImage::Win7x64);
    done.program.state().downloading.worker.Wait();
    done.program.OnDestroying();
    done.Tick();
    EXPECT_TRUE(done.installed.empty());
}

TEST(ProgressHistory, SpeedIsTheTicksAmountAndTheRestartCarriesTheLastReadingOver) {
    ProgressHistory h;
    EXPECT_EQ(h.Tick(10240).speedKb, 10) << "the first tick counts what arrived since the start";
    EXPECT_EQ(h.Tick(20480).speedKb, 10);
    EXPECT_EQ(h.Tick(20480).speedKb, 0) << "paused";
    int64_t received = 20480;
    for (int k = 4; k <= ProgressHistory::kTicks; ++k) h.Tick(received += 2048);
    EXPECT_EQ(h.TickNumber(), ProgressHistory::kTicks);
    const ProgressHistory::Reading restart = h.Tick(received += 2048);
    EXPECT_EQ(h.TickNumber(), 1);
    EXPECT_EQ(restart.speedKb, 2) << "no spike of the whole file so far";
    EXPECT_EQ(restart.averageKb, 2);
    EXPECT_EQ(h.Tick(received += 4096).averageKb, 3);
}

TEST(Sha256, KnownDigests) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // A million 'a' fed in uneven pieces: blocks split across calls.
    Sha256 h;
    const std::string piece(997, 'a');
    size_t fed = 0;
    for (; fed + piece.size() <= 1000000; fed += piece.size()) h.Update(piece);
    h.Update(std::string(1000000 - fed, 'a'));
    EXPECT_EQ(h.HexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Utf16Of, ConvertsAddressesForTheComponent) {
    EXPECT_EQ(Utf16Of("http://a/b c"), L"http://a/b c");
    const std::wstring chinese = Utf16Of("D:\\系统.gho");
    EXPECT_EQ(chinese.size(), 9u);
    EXPECT_EQ(static_cast<uint32_t>(chinese[3]), 0x7cfbu);
    const std::wstring astral = Utf16Of("\xf0\x9f\x98\x80");
    ASSERT_EQ(astral.size(), 2u);
    EXPECT_EQ(static_cast<uint32_t>(astral[0]), 0xd83du);
    EXPECT_EQ(static_cast<uint32_t>(astral[1]), 0xde00u);
    EXPECT_EQ(static_cast<uint32_t>(Utf16Of("\xc0\xaf")[0]), 0xfffdu) << "an overlong form";
}

}  // namespace
}  // namespace kx::test

namespace kx::test {
namespace {

TEST(CatalogueDigest, AnOptionalFieldBesideEachAddressAndAMalformedOneIsKeptAsWritten) {
    const std::string digest(64, 'a');
    ImageCatalogue c;
    ASSERT_TRUE(ApplyCataloguePage("system ***dz3ks:http://x/a.gho:dz3js*** ***sha3ks: " + std::string(64, 'A') +
                                       " :sha3js*** ***sha1ks: xyz :sha1js*** ***sha2ks:  :sha2js***",
                                   c));
    EXPECT_EQ(c.sha3.Get(), digest) << "blanks dropped, lower case";
    EXPECT_TRUE(IsSha256Digest(c.sha3.Get()));
    EXPECT_EQ(c.sha1.Get(), "xyz") << "not a digest: kept, so that the image is refused";
    EXPECT_FALSE(IsSha256Digest(c.sha1.Get()));
    EXPECT_EQ(c.sha2.Get(), "") << "blank: as if absent";
    EXPECT_EQ(c.dz3.Get(), "http://x/a.gho");
    // A later page without the field forgets it, like any other field.
    ASSERT_TRUE(ApplyCataloguePage("system ***dz3ks:http://x/a.gho:dz3js***", c));
    EXPECT_EQ(c.sha3.Get(), "");
    EXPECT_EQ(NormaliseSha256(std::string(63, 'a') + "g"), "");
}

}  // namespace
}  // namespace kx::test

namespace kx::test {
namespace {

// The build with its own imaging engine fetches the catalogue's Windows imaging files instead, with the
// edition the catalogue names (a garbled number is none: the user then chooses).
TEST(WizardChoice, TheEngineBuildDownloadsTheImagingFileAndPassesItsEdition) {
    WizardRig r;
    r.program.state().route = ImagingRoute::Engine;
    ImageCatalogue& cat = r.program.state().catalogue.catalogue;
    ASSERT_TRUE(
        ApplyCataloguePage("system ***dz4ks:http://h/7.wim:dz4js*** ***idx4ks:2:idx4js*** "
                           "***dz5ks:http://h/7.esd:dz5js*** ***idx5ks:x2:idx5js***",
                           cat));
    r.Plan("http://h/7.wim", 400000, 100000);
    r.Click(WizardImage::Win7x86);
    EXPECT_EQ(r.Page().chosen.address, "http://h/7.wim");
    EXPECT_EQ(r.Page().chosen.imagePath, "D:\\VX_win7_sp1_32.wim");
    EXPECT_EQ(r.Page().edition, 2u);
    r.RunToEnd();
    ASSERT_EQ(r.installed, std::vector<std::string>{"D:\\VX_win7_sp1_32.wim"});
    EXPECT_EQ(r.editions, std::vector<uint32_t>{2});

    r.Plan("http://h/7.esd", 400000, 100000);
    r.Click(WizardImage::Win7x64);
    r.RunToEnd();
    EXPECT_EQ(r.Page().chosen.imagePath, "D:\\VX_win7_sp1_64.esd");
    EXPECT_EQ(r.Page().edition, 0u);
    r.messages.shown.clear();
    r.Click(WizardImage::WinXp);  // no entry 6 in this catalogue: the program is out of date
    EXPECT_EQ(r.messages.shown.size(), 1u);

    // XP on this Windows 7: the engine could not install it over the system partition, said before the
    // download (which the user may still want).
    ASSERT_TRUE(ApplyCataloguePage("system ***dz6ks:http://h/xp.wim:dz6js***", cat));
    r.messages.shown.clear();
    r.Click(WizardImage::WinXp);
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_NE(r.messages.shown[0].text.find("不能在上面安装 Windows XP"), std::string::npos);
    EXPECT_NE(r.Page().chosen.address, "http://h/xp.wim") << "a No downloads nothing";
}

}  // namespace
}  // namespace kx::test
