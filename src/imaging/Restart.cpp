// The restart countdown of the wizard's last page, its two buttons, and the restart request itself.
#include <string>

#include "imaging/Imaging.h"

namespace kx {
namespace {

constexpr Control kCountdownLabel{"提示透明标签5"};
constexpr const char* kReady = "就绪";
constexpr int kCountdownSeconds = 60;
// The countdown looks at its stop request this often, so "稍后重启" takes effect at once.
constexpr int kStepMs = 100;
constexpr int kRestartKind = 2;
constexpr uint32_t kLaterColour = 0xFF0000;

bool Ready(const ImagingContext& c) { return c.facts.deploymentReady.Get() == kReady; }

// Both the countdown and "立即重启" end here; whichever comes first asks Windows, the other does nothing. A
// refused request is said, so that nobody waits for a restart that will not come; "立即重启" may ask again.
void RestartOnce(const ImagingContext& c) {
    if (c.state.restartAsked.exchange(true)) return;
    if (const Outcome restarted = SystemRestart(*c.ports.restart, c.system, kRestartKind, true); !restarted) {
        c.state.restartAsked = false;
        c.messages.ShowError(restarted.Describe() + "。系统已准备好，请手动重新启动电脑。");
    }
}

void RunCountdown(const ImagingContext& c, const StopToken& stop) {
    c.window.SetTopmost(true);
    c.window.Activate();
    for (int i = 1; i <= kCountdownSeconds; ++i) {
        if (stop.StopRequested()) return;
        c.window.SetText(kCountdownLabel, std::to_string(kCountdownSeconds - i) + "秒 后自动重启!");
        for (int step = 0; step < 1000 / kStepMs; ++step)
            if (c.wait(stop, kStepMs)) return;
    }
    // A deployment that failed never sets the mark: the countdown then waits until it is stopped.
    while (!Ready(c))
        if (c.wait(stop, kStepMs)) return;
    if (stop.StopRequested()) return;
    RestartOnce(c);
}

}  // namespace

std::optional<RestartRequest> RestartRequestFor(int kind, bool force, bool ntFamily) {
    constexpr uint32_t kLogoff = 0, kShutdown = 1, kReboot = 2, kForce = 4, kPowerOff = 8;
    RestartRequest r;
    r.force = force;
    r.enablePrivilege = ntFamily;
    switch (kind) {
        case 1:
            r.flags = ntFamily ? kPowerOff : kShutdown;
            break;
        case 2:
            r.flags = kReboot;
            break;
        case 3:
            r.flags = kLogoff;
            break;
        case 4:
            r.method = RestartRequest::Suspend;
            return r;
        case 5:
            r.method = RestartRequest::Hibernate;
            return r;
        default:
            return std::nullopt;
    }
    if (force) r.flags |= kForce;
    return r;
}

Outcome SystemRestart(RestartPort& port, SystemPort& system, int kind, bool force) {
    constexpr int kNtFamily = 3;
    const std::optional<RestartRequest> request = RestartRequestFor(kind, force, system.PlatformFamily() == kNtFamily);
    if (!request) return Outcome::Failed("没有第 " + std::to_string(kind) + " 种关机方式");
    return port.Request(*request);
}

void StartRestartCountdown(const ImagingContext& c) {
    std::lock_guard<std::recursive_mutex> lock(c.state.countdownLock);
    if (c.state.closing) return;
    c.state.restartAsked = false;
    // The job keeps a copy of the context: its references outlive the worker, which the program joins.
    c.state.countdown.Start([c](const StopToken& stop) { RunCountdown(c, stop); });
}

void RestartNow(const ImagingContext& c) {
    // Runs on the window thread: the wait keeps the window handling its messages, and ends when "稍后重启"
    // is clicked meanwhile or the window closes.
    const int cancels = c.state.restartCancels;
    while (!Ready(c)) {
        if (c.state.closing || c.state.restartCancels != cancels) return;
        c.clock.Pause(500);
    }
    if (c.state.closing || c.state.restartCancels != cancels) return;
    RestartOnce(c);
}

void RestartLater(const ImagingContext& c) {
    ++c.state.restartCancels;
    {
        std::lock_guard<std::recursive_mutex> lock(c.state.countdownLock);
        c.state.countdown.Stop([&c] { c.clock.Pause(10); });
    }
    // The countdown's last label writes may still be on their way to the window thread: let them land first,
    // so the final text is not overwritten by a number.
    c.clock.Pause(10);
    c.window.SetText(kCountdownLabel, "部署完成,请重启电脑!");
    c.window.SetTextColour(kCountdownLabel, kLaterColour);
    c.window.SetTopmost(false);
}

}  // namespace kx
