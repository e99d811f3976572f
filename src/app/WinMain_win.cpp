// Korvanix.exe: the start sequence and the message loop.
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include "app/Controls_win.h"
#include "app/MainWindow_win.h"
#include "app/Program.h"
#include "platform/SystemPorts_win.h"
#include "platform/UiDispatcher_win.h"
#include "app/WindowPort_win.h"
#include "boot/BootFiles_win.h"
#include "disk/DiskPorts_win.h"
#include "download/CatalogueHttp_win.h"
#include "download/DownloadFiles_win.h"
#include "download/DownloadLibrary_win.h"
#include "imaging/ImagingPorts_win.h"
#include "userdata/UserDataPorts_win.h"
#include "text/Wide_win.h"

namespace {

// The program runs elevated from wherever it was saved (often a downloads folder): DLLs are looked up
// in the system folder only, never in the program's folder or the current directory.
void HardenDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (!setDefault || !setDefault(kSearchSystem32)) SetDllDirectoryW(L"");
}

void EnterProgramFolder() {
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    while (n > 0 && path[n - 1] != L'\\') --n;
    if (n == 0) return;
    path[n] = 0;
    SetCurrentDirectoryW(path);
}

std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; argv && i < count; ++i) args.push_back(kx::Narrow(argv[i]));
    if (argv) LocalFree(argv);
    return args;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    HardenDllSearch();
    EnterProgramFolder();
    // OLE, not only COM: the web views host the system's browser control on this thread.
    HRESULT com = OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    kx::UiDispatcher::Start();

    kx::Controls controls;
    kx::WindowPortWin window(controls);
    kx::MessagePortWin messages;
    kx::ShellPortWin shell;
    kx::ClockPortWin clock;
    kx::InstancePortWin instanceGuard;
    auto system = kx::MakeSystemServicePorts();
    auto userData = kx::MakeUserDataPorts();
    auto imaging = kx::MakeImagingPorts();
    kx::BootFilesWin bootFiles;
    kx::ResourceBootAssets bootAssets;
    kx::WinInetHttpGet catalogueHttp;
    kx::DownloadFilesWin downloadFiles;
    kx::Ports ports;
    ports.window = &window;
    ports.messages = &messages;
    ports.shell = &shell;
    ports.clock = &clock;
    ports.instance = &instanceGuard;
    ports.commands = &system->commands;
    ports.system = &system->system;
    ports.drives = &system->drives;
    ports.bootFiles = &bootFiles;
    ports.bootAssets = &bootAssets;
    ports.userData = &userData->ports;
    ports.catalogueHttp = &catalogueHttp;
    ports.imaging = &imaging->ports;
    ports.downloadFiles = &downloadFiles;
    kx::Program program(ports);
    // The download component the program carries, loaded from memory before the window exists.
    program.state().download = kx::LoadDownloadComponent();

    kx::CommandLine options = kx::ParseCommandLine(Arguments());
    if (!options.siteHost.empty()) program.facts().siteHost = options.siteHost;
    if (!options.catalogueHost.empty()) program.facts().catalogueHost = options.catalogueHost;
    if (!options.error.empty()) messages.Show("不认识的命令行参数：" + options.error, "提示", kx::MessageButtons::Ok);

    HWND main = kx::CreateMainWindow(instance, program, controls, window);
    if (!main) return 1;
    kx::ShowSitePages(program);
    ShowWindow(main, SW_SHOWNORMAL);
    UpdateWindow(main);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (kx::TranslateWebViewKey(msg) || IsDialogMessageW(main, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (SUCCEEDED(com)) OleUninitialize();
    return static_cast<int>(msg.wParam);
}
