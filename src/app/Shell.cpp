// The shell's own handlers: window buttons, the start-up timer, the help page, the tool pages.
#include "app/Handlers.h"
#include "app/Layout.h"
#include "imaging/EngineRoute.h"

namespace kx {

void MinimiseWindow(Program& p) { p.window().SetMinimised(true); }

void CloseProgram(Program& p) { p.window().Close(); }

void OpenManualDownloadPage(Program& p) { p.ports().shell->OpenUrl(SiteUrl(p.facts(), "/vx/system.htm")); }

void LoadHelpPage(Program& p) {
    // The help page is fetched once, the first time its page is shown.
    WindowPort& w = p.window();
    if (w.PageIndex("高级选择夹1") == 6 && w.Text("超文本浏览框3") == "about:blank")
        w.SetText("超文本浏览框3", SiteUrl(p.facts(), "/system/help.htm"));
}

void StartupTimerTick(Program& p) {
    const DiskContext disk = p.Disk();
    // A refresh the user started first runs to its end: the timer ticks again a second later, and the
    // lists that refresh filled are not read a second time.
    if (DiskRefreshRunning(disk)) return;
    if (!p.state().started) {
        p.state().started = true;
        if (!DiskRefreshCompleted(disk)) RefreshByDiskDetail(disk);
        CopyToBackupList(disk);
        p.state().imaging.oneTapRestore = p.window().Checked("还原_单选框");
        // The window is up: the result of a job our engine ran at this start can be shown.
        ShowLastEngineResult(p.Imaging());
    }
    // Then the timer draws what the image search finds, and stops once the finished search is drawn (or the
    // search has ended without finishing: the next one starts it again).
    const bool searching = disk.state.imageSearch.Running();
    const bool finished = DrawImageSearch(p.Imaging());
    p.window().SetTimerPeriod("时钟1", finished || !searching ? 0 : kSearchDrawMilliseconds);
}

void ToggleToolPages(Program& p) {
    // The tool pages live beside the wizard: showing them moves the outer page control into view.
    WindowPort& w = p.window();
    bool show = !p.state().toolsShown;
    p.state().toolsShown = show;
    w.SetLeft("高级选择夹1", show ? kToolsPlaceX : FindControl("高级选择夹1")->x);
    w.SetVisible("高级选择夹2", !show);
    w.SetText(kToolsToggle, show ? "返回向导" : "高级工具");
}

void DoNothing(Program&) {}

void ShowSitePages(Program& p) {
    for (const auto& spec : MainLayout())
        if (spec.kind == ControlKind::WebView && spec.caption[0] == '/')
            p.window().SetText(ControlOf(spec), SiteUrl(p.facts(), spec.caption));
}

}  // namespace kx
