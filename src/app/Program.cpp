#include "app/Program.h"

#include <array>

#include "app/Handlers.h"
#include "app/Layout.h"
#include "disk/DiskPages.h"
#include "disk/PartitionList.h"
#include "disk/Target.h"
#include "imaging/Install.h"

namespace kx {
namespace {

struct EventEntry {
    Control control;
    Event event;
    void (*handler)(Program&);
};

// Which handler runs for which control's event. Every event runs on the window thread.
const EventEntry kEventMap[] = {
    {"最小化按钮", Event::Click, MinimiseWindow},
    {"图形按钮1", Event::Click, CloseProgram},
    {kToolsToggle, Event::Click, ToggleToolPages},
    {"时钟1", Event::Tick, StartupTimerTick},
    {"还原_单选框", Event::Click, [](Program& p) { SetOneTapRestoreMode(p.Imaging()); }},
    {"备份_单选框", Event::Click, [](Program& p) { SetOneTapBackupMode(p.Imaging()); }},
    {"按钮11", Event::Click, [](Program& p) { InstallImage(p.Download(), WizardImage::WinXp); }},
    {"按钮14", Event::Click, [](Program& p) { InstallImage(p.Download(), WizardImage::Win7x86); }},
    {"按钮15", Event::Click, [](Program& p) { InstallImage(p.Download(), WizardImage::Win7x64); }},
    {"按钮16", Event::Click, [](Program& p) { ConfirmAndStartDownload(p.Download()); }},
    {"按钮17", Event::Click, [](Program& p) { PauseOrResumeDownload(p.Download()); }},
    {"按钮22", Event::Click, [](Program& p) { RetryDownload(p.Download()); }},
    {"按钮18", Event::Click, OpenManualDownloadPage},
    {kProgressTimer, Event::Tick, [](Program& p) { DownloadTimerTick(p.Download()); }},
    {"按钮19", Event::Click, [](Program& p) { RestartNow(p.Imaging()); }},
    {"按钮20", Event::Click, [](Program& p) { RestartLater(p.Imaging()); }},
    // The download page's hidden button installs the file its hidden name field holds: the page draws the
    // chosen image's path there, and whoever presses the hidden button (a caller that cannot be a user) names
    // the file there, so this field is the button's input.
    {"按钮21", Event::Click,
     [](Program& p) { (void)InstallAndScheduleRestart(p.Imaging(), p.window().Text(ctl::kFileNameField)); }},
    {"高级选择夹1", Event::PageChanged, LoadHelpPage},
    {"按钮26", Event::Click, [](Program& p) { RefreshByLetters(p.Disk()); }},
    {"按钮2", Event::Click, [](Program& p) { RefreshByVolumeList(p.Disk()); }},
    {ctl::kRefreshAfterDownloadButton, Event::Click, [](Program& p) { RefreshByVolumeColumns(p.Disk()); }},
    {"刷新硬盘映像_按钮", Event::Click, [](Program& p) { RefreshByDiskDetail(p.Disk()); }},
    {"映像文件_组合框", Event::SelectionChanged, [](Program& p) { ShowChosenImage(p.Imaging()); }},
    {"操作映像_按钮", Event::Click, [](Program& p) { PickImageFile(p.Imaging()); }},
    {"还原磁盘_超级列表框", Event::SelectionChanged, [](Program& p) { ShowChosenTarget(p.Imaging()); }},
    {"开始还原_按钮", Event::Click, [](Program& p) { OneTapRun(p.Imaging()); }},
    {"按钮3", Event::Click, [](Program& p) { CopyToBackupList(p.Disk()); }},
    {"备份磁盘_超级列表框", Event::SelectionChanged, [](Program& p) { ProposeBackupFileName(p.Imaging()); }},
    {"操作映像_按钮1", Event::Click, [](Program& p) { ChooseBackupPath(p.Imaging()); }},
    {"开始还原_按钮1", Event::Click, [](Program& p) { BackupNow(p.Imaging()); }},
    {"开始还原_按钮2", Event::Click, [](Program& p) { BackupAtRestart(p.Imaging()); }},
    {"按钮8", Event::Click, [](Program& p) { CopyBackup(p.UserData()); }},
    {"按钮9", Event::Click, [](Program& p) { ZipBackup(p.UserData()); }},
    {"按钮7", Event::Click, [](Program& p) { ChooseBackupFolder(p.UserData()); }},
    {"按钮13", Event::Click, [](Program& p) { RestoreBackup(p.UserData()); }},
    {"刷新备份列表", Event::Click, [](Program& p) { RefreshBackupList(p.UserData()); }},
    {"按钮4", Event::Click, [](Program& p) { ReadShellFolders(p.UserData()); }},
    {"按钮5", Event::Click, [](Program& p) { MoveShellFoldersToD(p.UserData()); }},
    {"按钮6", Event::Click, [](Program& p) { ApplyShellFolders(p.UserData()); }},
    {"我的文档超级按钮", Event::Click, [](Program& p) { BrowseShellFolder(p.UserData(), 0); }},
    {"历史记录超级按钮", Event::Click, [](Program& p) { BrowseShellFolder(p.UserData(), 1); }},
    {"IE临时文件夹超级按钮", Event::Click, [](Program& p) { BrowseShellFolder(p.UserData(), 2); }},
    {"Cookies超级按钮", Event::Click, [](Program& p) { BrowseShellFolder(p.UserData(), 3); }},
    {"收藏夹超级按钮", Event::Click, [](Program& p) { BrowseShellFolder(p.UserData(), 4); }},
    {"桌面超级按钮", Event::Click, [](Program& p) { BrowseShellFolder(p.UserData(), 5); }},
    {"开始菜单超级按钮", Event::Click, [](Program& p) { BrowseShellFolder(p.UserData(), 6); }},
    {"菜单程序超级按钮", Event::Click, [](Program& p) { BrowseShellFolder(p.UserData(), 7); }},
    {"启动项超级按钮", Event::Click, [](Program& p) { BrowseShellFolder(p.UserData(), 8); }},
    {"下载目录超级按钮", Event::Click, [](Program& p) { BrowseShellFolder(p.UserData(), 9); }},
    {"按钮10", Event::Click, DoNothing},
};

}  // namespace

DiskContext Program::Disk() {
    return DiskContext{*ports_.window,
                       *ports_.messages,
                       *ports_.commands,
                       *ports_.drives,
                       *ports_.clock,
                       state_.facts,
                       state_.disk,
                       [this] { return ImageSearchJob(Imaging()); },
                       [this] { ClearImageList(Imaging()); },
                       [this] { ProposeBackupFileName(Imaging()); }};
}

UserDataContext Program::UserData() {
    return UserDataContext{*ports_.window, *ports_.messages, *ports_.userData, state_.userData, state_.facts};
}

ImagingContext Program::Imaging() {
    return ImagingContext{.window = *ports_.window,
                          .messages = *ports_.messages,
                          .shell = *ports_.shell,
                          .clock = *ports_.clock,
                          .commands = *ports_.commands,
                          .system = *ports_.system,
                          .drives = *ports_.drives,
                          .bootFiles = *ports_.bootFiles,
                          .bootAssets = *ports_.bootAssets,
                          .ports = *ports_.imaging,
                          .facts = state_.facts,
                          .state = state_.imaging,
                          .refreshPartitions = [this] { return RefreshByDiskDetail(Disk(), false); },
                          .dosImage = state_.dosImage,
                          .route = state_.route};
}

DownloadContext Program::Download() {
    // The page's timer builds this context four times a second: the Windows version is asked once.
    if (windowsVersion_.empty()) windowsVersion_ = ports_.system->WindowsVersionName();
    DownloadComponentPort& component = ports_.downloadComponent ? *ports_.downloadComponent : boundComponent_;
    return DownloadContext{*ports_.window,
                           *ports_.messages,
                           *ports_.shell,
                           state_.facts,
                           state_.catalogue,
                           component,
                           *ports_.downloadFiles,
                           state_.downloading,
                           [this](const std::string& path, uint32_t edition) {
                               return InstallAndScheduleRestart(Imaging(), path, edition);
                           },
                           [this] {
                               if (ports_.catalogueHttp)
                                   StartCatalogueFetch(state_.facts.catalogueHost, *ports_.catalogueHttp,
                                                       state_.catalogue);
                           },
                           [this] {
                               // A click before the first refresh finds the list empty. A refresh that cannot
                               // run leaves it empty, and the choice below then finds no partition to offer.
                               if (state_.facts.partitions.Get().empty()) (void)RefreshByDiskDetail(Disk(), false);
                               return ListedTargetDrive(*ports_.drives, state_.facts);
                           },
                           [this](const std::string& path) { return CheckInstallCanRun(Imaging(), path); },
                           ports_.catalogueHttp,
                           state_.route == ImagingRoute::Engine,
                           windowsVersion_};
}

void Program::OnCreated() {
    if (ports_.catalogueHttp) StartCatalogueFetch(state_.facts.catalogueHost, *ports_.catalogueHttp, state_.catalogue);
    // The one-tap page starts as a restore page.
    state_.imaging.oneTapRestore = true;
    ports_.window->SetChecked("还原_单选框", true);
    // The engine saves partitions at the next start: its build shows the one-tap page's backup mode and the
    // backup page's "重启时备份" beside "开始备份系统".
    if (state_.route == ImagingRoute::Engine)
        for (const Control control : {Control{"还原_单选框"}, Control{"备份_单选框"}, Control{"开始还原_按钮2"}})
            ports_.window->SetVisible(control, true);
    const DiskContext disk = Disk();
    DetermineSystemDrive(disk);
    const WindowSpec& spec = MainWindowSpec();
    SingleInstanceGuard(*ports_.instance, *ports_.window, kMutexName, spec.className, spec.title);
    ReadShellFolders(UserData());
    ChooseTargetDrive(disk);
    state_.facts.backupDayFolder = DatedBackupFolderName(ports_.clock->Now());
    RefreshBackupList(UserData());
}

void Program::OnDestroying() {
    // Every worker of the program, stopped here and nowhere else at close.
    const Stoppable workers[] = {
        {&state_.disk.imageSearch, {}, nullptr},
        {&state_.userData.worker, {}, nullptr},
        {&state_.catalogue.fetch,
         [this] {
             if (ports_.catalogueHttp) ports_.catalogueHttp->Abort();
         },
         nullptr},
        // The page's timer, which may tick while the window waits here, then installs nothing.
        {&state_.downloading.worker, [this] { state_.downloading.closing = true; }, nullptr},
        {&state_.imaging.countdown, [this] { state_.imaging.closing = true; }, &state_.imaging.countdownLock},
    };
    StopAll(workers, [this] { ports_.clock->Pause(10); });
}

bool Program::Dispatch(std::string_view control, Event event) {
    for (const auto& entry : kEventMap) {
        if (entry.event == event && control == entry.control.name()) {
            entry.handler(*this);
            return true;
        }
    }
    return false;
}

void SingleInstanceGuard(InstancePort& instance, WindowPort& window, const std::string& mutexName,
                         const std::string& className, const std::string& title) {
    uint32_t error = instance.CreateNamedMutex(mutexName);
    constexpr uint32_t kAlreadyExists = 183, kAccessDenied = 5;
    if (error != kAlreadyExists && error != kAccessDenied) return;
    // Our own window carries the same class and title: hide the title while searching.
    std::string saved = window.Title();
    window.SetTitle("");
    instance.ActivateOtherWindow(className, title);
    instance.ReleaseNamedMutex();
    window.SetTitle(saved);
    instance.ExitProcess(0);
}

std::string DatedBackupFolderName(const LocalTime& now) {
    // The date and time as text ("2015年7月16日9时5分"), cut after the day.
    std::string text =
        std::to_string(now.year) + "年" + std::to_string(now.month) + "月" + std::to_string(now.day) + "日";
    if (now.hour || now.minute || now.second) text += std::to_string(now.hour) + "时";
    size_t day = text.find("日");
    return text.substr(0, day) + "日备份";
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine result;
    auto valueOf = [](const std::string& arg, std::string_view option) -> const char* {
        return arg.rfind(option, 0) == 0 ? arg.c_str() + option.size() : nullptr;
    };
    for (const auto& arg : args) {
        if (const char* v = valueOf(arg, "--site=")) {
            result.siteHost = v;
            result.catalogueHost = v;
        } else if (const char* c = valueOf(arg, "--catalogue=")) {
            result.catalogueHost = c;
        } else {
            result.error = arg;
        }
    }
    return result;
}

}  // namespace kx
