#pragma once
// The download wizard's tests: a program wired to fakes, with a catalogue that arrived, three listed
// partitions (C: the system, D: and E:) and an install that records what it was given.
#include "ProgramRig.h"
#include "disk/DriveRecord.h"
#include "disk/PartitionList.h"
#include "download/DownloadWizard.h"
#include "download/Sha256.h"

namespace kx::test {

inline constexpr const char* kXp = "http://dl.example/xp.gho";
inline constexpr const char* kWin7 = "http://dl.example/win7_64.gho";
inline constexpr const char* kMirror = "http://mirror.example/win7_64.gho";
inline constexpr const char* kTarget = "D:\\VX_win7_sp1_64.gho";
inline constexpr const char* kPartial = "D:\\VX_win7_sp1_64.gho.part";

inline std::string Sha256Hex(const std::string& bytes) {
    Sha256 h;
    h.Update(bytes);
    return h.HexDigest();
}

struct WizardRig : Rig {
    std::vector<std::string> installed;
    Outcome installAnswer = Outcome::Done();
    Outcome checkAnswer = Outcome::Done();  // the install's pre-flight
    bool componentLiveAtInstall = true;
    std::vector<std::string> checkedPaths;  // what the pre-flight was asked about
    FakeHttp http;                          // answers the image size requests

    // C: the system, D: and E: data partitions, all in the partition list.
    // The workers end before the fakes they use go.
    ~WizardRig() { program.OnDestroying(); }
    WizardRig() {
        drives.AddFixed('C', 100, 40);
        drives.AddFixed('D', 500, 100);
        drives.AddFixed('E', 500, 50);
        for (const char* l : {"C", "D", "E"}) ListPartition(program, MakeDriveRecord(drives, l, "1:1", "C"));
        program.facts().systemDriveLetter = "C";
        program.facts().targetDrive.Set("D");
        program.state().catalogue.status.Set(CatalogueStatus::Arrived);
        program.state().downloading.pollMilliseconds = 0;
        auto& cat = program.state().catalogue.catalogue;
        cat.dz1.Set(kXp);
        cat.dz3.Set(kWin7);
        cat.fdz3.Set(kMirror);
    }
    DownloadContext Context() {
        DownloadContext c = program.Download();
        c.http = &http;
        c.install = [this](const std::string& path) {
            installed.push_back(path);
            componentLiveAtInstall = component.Live();
            return installAnswer;
        };
        c.checkInstall = [this](const std::string& path) {
            checkedPaths.push_back(path);
            return checkAnswer;
        };
        return c;
    }
    void Click(WizardImage image) { InstallImage(Context(), image); }
    void WaitForWorker() { program.state().downloading.worker.Wait(); }
    void Plan(const std::string& address, uint64_t total, uint64_t step) {
        component.plans[address] = FakeComponent::Plan{total, step, std::nullopt, "image bytes"};
    }
    // The fallback restart: the timer's tick as the window delivers it.
    void Tick() { StartDownloadTimerTick(Context()); }
    // A digest that does not match: said in the last message, nothing installed, the wizard on `page`.
    void ExpectDigestRefused(size_t shownCount, int page) {
        EXPECT_TRUE(installed.empty());
        ASSERT_EQ(messages.shown.size(), shownCount);
        EXPECT_NE(messages.shown.back().text.find("校验值不符"), std::string::npos);
        EXPECT_EQ(messages.shown.back().icon, MessageIcon::Error);
        EXPECT_EQ(window.PageIndex(kWizard), page);
    }
};

}  // namespace kx::test
