#pragma once
// The program as the window sees it: its ports, its program-wide state, the created handler and the event map.
#include <string>
#include <string_view>
#include <vector>

#include "base/WindowPort.h"
#include "disk/ImageSearchWorker.h"
#include "download/DownloadApi.h"
#include "base/Ports.h"
#include "base/ProgramFacts.h"
#include "base/Shared.h"
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
    // Each subsystem adds the ports it needs here (one line each).
};

// The download addresses of the three images (XP, Windows 7 32-bit, Windows 7 64-bit) from the catalogue page:
// primary dz1-dz3, fallback fdz1-fdz3. Empty until the catalogue arrives; each is replaced whole.
struct ImageCatalogue {
    Shared<std::string> dz1, dz2, dz3, fdz1, fdz2, fdz3;
};

// Values that outlive a handler. Each is written by the workflow that owns it; those read by worker
// threads are Shared (replaced whole under a lock).
struct ProgramState {
    std::string systemDriveLetter;  // drive of the Windows directory, one letter
    Shared<std::string> targetDrive;
    int selectedImage = -1;
    bool oneTapRestoreMode = false;
    Shared<std::string> deploymentReady;  // "就绪" once a deployment is complete
    bool toolsShown = false;
    ImageCatalogue catalogue;  // written by CatalogueFetch only
    ProgramFacts facts;
    UserDataState userData;
    ImageSearchWorker imageSearch;  // the search that follows each full drive refresh
    DownloadEntryPoints download;   // the download component, bound at start before the window exists
    // Web site hosts: build settings, overridden by the command line (see ParseCommandLine).
    std::string siteHost = KORVANIX_SITE_HOST;
    std::string catalogueHost = KORVANIX_CATALOGUE_HOST;
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
    UserDataContext UserData();

    // The window's created handler, after the outline was cut.
    void OnCreated();
    // The window is about to be destroyed.
    void OnDestroying();
    // Runs the handler of a control's event; false when the event map has none.
    bool Dispatch(std::string_view control, Event event);

private:
    Ports ports_;
    ProgramState state_;
};

// Returns only when this is the first instance; otherwise brings the first one to the front and ends.
void SingleInstanceGuard(InstancePort& instance, WindowPort& window, const std::string& mutexName,
                         const std::string& className, const std::string& title);

// "2015年7月16日备份" for 16 July 2015.
std::string DatedBackupFolderName(const LocalTime& now);

// Web views whose layout names a page of the product site show it; the site is known only at start.
void ShowSitePages(Program& program);

// A product page on the web site ("/system/help.htm").
std::string SiteUrl(const ProgramState& state, std::string_view path);

}  // namespace kx
