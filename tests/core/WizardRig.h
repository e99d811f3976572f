#pragma once
// The download wizard's tests: a program wired to fakes, with a catalogue that arrived, three listed
// partitions (C: the system, D: and E:) and an install that records what it was given.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

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

// Holds the worker before each read of the component until the test lets it go on: in between, the test
// plays the window thread and sees each snapshot the worker published before it reads again.
class Stepper {
public:
    Stepper(FakeComponent& component, Worker& worker) : component_(component), worker_(worker) {
        component.onInfo = [this](int call) {
            std::unique_lock<std::mutex> lock(mutex_);
            at_ = call;
            changed_.notify_all();
            changed_.wait(lock, [&] { return call <= allowed_; });
        };
    }
    ~Stepper() {
        Let(1 << 20);
        worker_.Stop();
        std::lock_guard<std::mutex> lock(component_.mutex);
        component_.onInfo = nullptr;
    }
    // Lets the worker read `reads` times more, and returns once it waits before the next read or has ended.
    void Let(int reads) {
        std::unique_lock<std::mutex> lock(mutex_);
        allowed_ += reads;
        changed_.notify_all();
        while (at_ != allowed_ + 1 && worker_.Running()) changed_.wait_for(lock, std::chrono::milliseconds(5));
    }

private:
    FakeComponent& component_;
    Worker& worker_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int allowed_ = 0, at_ = 0;
};

struct WizardRig : Rig {
    std::vector<std::string> installed;
    std::vector<uint32_t> editions;  // the edition each install was given
    std::vector<std::thread::id> installThreads;
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
        // The Ghost images of the catalogue's first three entries, as the build with the DOS kit fetches them.
        program.state().route = ImagingRoute::Dos;
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
        c.install = [this](const std::string& path, uint32_t edition) {
            installed.push_back(path);
            editions.push_back(edition);
            installThreads.push_back(std::this_thread::get_id());
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
    DownloadPage& Page() { return program.state().downloading.page; }
    // The page's timer, as the window delivers it: draws the latest snapshot and acts on a job's end.
    void Tick() { DownloadTimerTick(Context()); }
    // The job runs to its end, then the timer draws it.
    void RunToEnd() {
        program.state().downloading.worker.Wait();
        Tick();
    }
    void Plan(const std::string& address, uint64_t total, uint64_t step) {
        component.plans[address] = FakeComponent::Plan{total, step, std::nullopt, "image bytes"};
    }
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
