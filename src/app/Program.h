#pragma once
// The program as the window sees it: its ports, its program-wide state, the created handler and the event map.
#include <string>
#include <string_view>
#include <vector>

#include "base/Ports.h"
#include "base/ProgramFacts.h"
#include "base/Shared.h"
#include "base/WindowPort.h"
#include "disk/DiskPages.h"
#include "download/Catalogue.h"
#include "download/DownloadApi.h"
#include "download/DownloadWizard.h"
#include "imaging/Imaging.h"
#include "userdata/UserDataPages.h"

namespace kx {

enum class Event { Click, Tick, SelectionChanged, PageChanged };

struct Ports {
    WindowPort* window = nullptr;
    MessagePort* messages = nullptr;
    ShellPort* shell = nullptr;
    ClockPort* clock = nullptr;
    InstancePort* instance = nullptr;
    CommandPort* commands = nullptr;
    SystemPort* system = nullptr;
    class DrivePort* drives = nullptr;
    class BootFilePort* bootFiles = nullptr;
    class BootAssetSource* bootAssets = nullptr;
    struct UserDataPorts* userData = nullptr;  // userdata/UserDataPorts.h
    class HttpGetPort* catalogueHttp = nullptr;
    ImagingPorts* imaging = nullptr;  // imaging/ImagingPorts.h
    DownloadFilePort* downloadFiles = nullptr;
    // Null: the component bound at start (ProgramState::download) is used.
    DownloadComponentPort* downloadComponent = nullptr;
    // Each subsystem adds the ports it needs here (one line each).
};

// Values that outlive a handler. Each feature keeps its own; the program owns them all, and with them
// every worker thread, which it stops and joins when the window is destroyed.
struct ProgramState {
    ProgramFacts facts;
    bool toolsShown = false;
    bool started = false;  // the start-up timer's first tick has done the start-up work
    CatalogueState catalogue;
    UserDataState userData;
    DiskState disk;
    ImagingState imaging;
    DownloadEntryPoints download;  // the download component, bound at start before the window exists
    WizardDownload downloading;    // the wizard's one download at a time
    // What runs a staged job at the next start: this build's route and DOS floppy.
    ImagingRoute route = SelectedImagingRoute();
    DosImageKind dosImage = CarriedDosImageKind();
};

struct CommandLine {
    std::string siteHost, catalogueHost;  // empty: keep the built-in host
    std::string error;                    // an option the program does not know
};

// Options: --site=HOST[:PORT] (both the product pages and the catalogue), --catalogue=HOST[:PORT].
CommandLine ParseCommandLine(const std::vector<std::string>& args);

inline constexpr const char* kMutexName = "Korvanix-0.1-Tamsin&Orwen";

class Program {
public:
    explicit Program(Ports ports) : ports_(ports) {}

    Ports& ports() { return ports_; }
    WindowPort& window() { return *ports_.window; }
    MessagePort& messages() { return *ports_.messages; }
    ProgramState& state() { return state_; }
    ProgramFacts& facts() { return state_.facts; }

    // What each feature's handlers are given: the ports and state they use.
    DiskContext Disk();
    UserDataContext UserData();
    ImagingContext Imaging();
    DownloadContext Download();

    // The window's created handler, after the outline was cut.
    void OnCreated();
    // The window is about to be destroyed: every worker is stopped and joined, the window keeping
    // its messages handled meanwhile.
    void OnDestroying();
    // Runs the handler of a control's event; false when the event map has none.
    bool Dispatch(std::string_view control, Event event);

private:
    Ports ports_;
    ProgramState state_;
    std::string windowsVersion_;  // asked of Windows once, when the wizard first needs it
    BoundComponent boundComponent_{state_.download};
};

// Returns only when this is the first instance; otherwise brings the first one to the front and ends.
void SingleInstanceGuard(InstancePort& instance, WindowPort& window, const std::string& mutexName,
                         const std::string& className, const std::string& title);

// "2015年7月16日备份" for 16 July 2015.
std::string DatedBackupFolderName(const LocalTime& now);

// Web views whose layout names a page of the product site show it; the site is known only at start.
void ShowSitePages(Program& program);

}  // namespace kx
