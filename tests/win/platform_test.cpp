// The system services against Wine's Win32: the command runner, the Windows facts, the pattern engine.
#include <gtest/gtest.h>
#include <windows.h>

#include <tlhelp32.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/CommandRunner_win.h"
#include "platform/Handle_win.h"
#include "platform/WindowsInfo_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

// The machine a PE file was built for (its file header), 0 when it cannot be read.
WORD MachineOf(const std::wstring& path) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    IMAGE_DOS_HEADER dos{};
    DWORD read = 0;
    if (!file || !ReadFile(file.get(), &dos, sizeof dos, &read, nullptr) || read != sizeof dos) return 0;
    if (SetFilePointer(file.get(), dos.e_lfanew + 4, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return 0;
    IMAGE_FILE_HEADER header{};
    if (!ReadFile(file.get(), &header, sizeof header, &read, nullptr) || read != sizeof header) return 0;
    return header.Machine;
}

// kernel32.dll as this process finds it under the system folder's name: 32-bit for a 32-bit process on
// 64-bit Windows while redirection is on, the system's own while it is off.
std::wstring SystemKernel() {
    wchar_t folder[MAX_PATH];
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\kernel32.dll";
}

WORD OwnMachine() { return sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386; }

WORD NativeMachine() {
    SYSTEM_INFO native{};
    GetNativeSystemInfo(&native);
    return native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? IMAGE_FILE_MACHINE_AMD64
                                                                         : IMAGE_FILE_MACHINE_I386;
}

// A message-only window of the test's thread whose handler runs when a posted WM_APP reaches it, as the
// program's window handlers run while a tool works.
class HandlerWindow {
public:
    explicit HandlerWindow(std::function<void()> handler) : handler_(std::move(handler)) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KxTestHandler";
        RegisterClassW(&wc);
        hwnd_ = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~HandlerWindow() { DestroyWindow(hwnd_); }
    HandlerWindow(const HandlerWindow&) = delete;
    HandlerWindow& operator=(const HandlerWindow&) = delete;
    bool Post() { return hwnd_ && PostMessageW(hwnd_, WM_APP, 0, 0); }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<HandlerWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (msg != WM_APP || !self) return DefWindowProcW(hwnd, msg, wp, lp);
        self->handler_();
        return 0;
    }
    std::function<void()> handler_;
    HWND hwnd_ = nullptr;
};

// The switch as a log of what was asked of it, in order, with a window handler's visits in between.
class RecordingRedirection : public FsRedirection {
public:
    explicit RecordingRedirection(bool works) : works_(works) {}
    bool Disable() override {
        log.push_back("off");
        off = works_;
        return works_;
    }
    void Revert() override {
        log.push_back("on");
        off = false;
    }
    std::vector<std::string> log;
    bool off = false;

private:
    bool works_;
};

TEST(CommandRunner, CapturesNothingEverythingAndErrors) {
    EXPECT_EQ(RunCommandCaptured("rem nothing"), "");
    EXPECT_EQ(RunCommandCaptured("echo out& echo err 1>&2"), "out\r\nerr \r\n") << "both streams, in order";
    EXPECT_EQ(RunCommandCaptured("echo 系统备份"), "系统备份\r\n") << "decoded from the console's code page";

    std::string many = RunCommandCaptured("for /L %i in (1,1,300) do @echo line %i");
    ASSERT_GT(many.size(), 1023u);
    size_t at = 0;
    for (int i = 1; i <= 300; ++i) {
        std::string line = "line " + std::to_string(i) + "\r\n";
        ASSERT_EQ(many.compare(at, line.size(), line), 0) << "line " << i << " whole and in order";
        at += line.size();
    }
    EXPECT_EQ(at, many.size());

    // The interpreter starts and says itself that the program is missing.
    std::string missing = RunCommandCaptured("kx_no_such_tool.exe /x");
    EXPECT_NE(missing, "");
    EXPECT_NE(missing.find("kx_no_such_tool"), std::string::npos) << missing;
}

TEST(CommandRunner, EndsWhenTheToolExitsWithTheStillActiveCode) {
    EXPECT_EQ(RunCommandCaptured("echo done& exit /b 259"), "done\r\n");
}

TEST(CommandRunner, HandlesTheThreadsMessagesWhileWaiting) {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // gives this thread a message queue
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0));
    RunCommandCaptured("ping -n 3 127.0.0.1 >nul");  // long enough to wait: Wine's ping pauses between replies
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE)) << "the message was taken while waiting";
}

// Processes of the file name `file` running now.
int ProcessesNamed(const wchar_t* file) {
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    int count = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
        count += lstrcmpiW(entry.szExeFile, file) == 0;
    return count;
}

TEST(CommandRunner, ATimeOutEndsTheToolAndWhatItStarted) {
    const int before = ProcessesNamed(L"ping.exe");
    const DWORD start = GetTickCount();
    CapturedRun run = RunCommandWithin("echo begun& ping -n 60 127.0.0.1 >nul", 1500, true, SystemFsRedirection());
    const DWORD took = GetTickCount() - start;
    EXPECT_TRUE(run.started);
    EXPECT_TRUE(run.timedOut);
    EXPECT_EQ(run.output, "begun\r\n") << "what it printed before";
    EXPECT_GE(took, 1500u);
    EXPECT_LT(took, 10000u);
    EXPECT_EQ(ProcessesNamed(L"ping.exe"), before) << "the tool cmd.exe started was ended with it";

    SetEnvironmentVariableW(L"KORVANIX_TOOL_TIMEOUT_MS", L"1000");
    WindowsCommands commands;  // reads the time-out when it is made, as the program at start
    SetEnvironmentVariableW(L"KORVANIX_TOOL_TIMEOUT_MS", nullptr);
    EXPECT_EQ(commands.TimeoutMs(), 1000u);
    Result<std::string> checked = commands.RunCommandCaptured("ping -n 60 127.0.0.1 >nul");
    ASSERT_FALSE(checked.ok());
    EXPECT_EQ(checked.outcome().what(), "命令“ping -n 60 127.0.0.1 >nul”在 1 秒内没有完成，已被结束");
    EXPECT_EQ(WindowsCommands().TimeoutMs(), kDefaultCommandTimeoutMs);
    Result<std::string> quick = commands.RunCommandCaptured("echo quick");
    ASSERT_TRUE(quick.ok());
    EXPECT_EQ(quick.value(), "quick\r\n");
}

TEST(CommandRunner, RedirectionIsOffOnlyWhileTheInterpreterStarts) {
    // Under Wine's 64-bit build there is no redirection to see (see the next test): the switch's calls
    // are recorded instead, with a window handler that runs while the command works.
    for (bool works : {true, false}) {
        RecordingRedirection redirection(works);
        HandlerWindow window(
            [&] { redirection.log.push_back(redirection.off ? "handler, redirection off" : "handler"); });
        ASSERT_TRUE(window.Post());
        EXPECT_EQ(RunCommandCaptured("echo ran", true, redirection), "ran\r\n");
        std::vector<std::string> expected = {"off", "on", "handler"};
        if (!works) expected = {"off", "handler"};  // a switch that failed is not switched back
        EXPECT_EQ(redirection.log, expected) << (works ? "switch works" : "switch fails");
    }
}

TEST(CommandRunner, HandlersWhileAToolRunsSeeTheProgramsOwnSystemFolder) {
    if (NativeMachine() == OwnMachine())
        GTEST_SKIP() << "no redirection for this process (a 64-bit build, or 32-bit Windows)";
    WORD seen = 0;
    HandlerWindow window([&] { seen = MachineOf(SystemKernel()); });
    ASSERT_TRUE(window.Post());
    RunCommandCaptured("echo ran");
    EXPECT_EQ(seen, OwnMachine()) << "the handler ran with redirection off";
}

TEST(WindowsInfo, RedirectionOffShowsTheSystemsOwnFolderUntilTheGuardEnds) {
    // For a 64-bit process both views are the same (and the switch refuses): then this shows only that
    // the guards leave the folder as it was; a 32-bit build under WOW64 sees the difference.
    const std::wstring kernel = SystemKernel();
    ASSERT_EQ(MachineOf(kernel), OwnMachine());
    {
        FsRedirectionOff off;
        EXPECT_EQ(MachineOf(kernel), NativeMachine());
        { FsRedirectionOff nested; }
        EXPECT_EQ(MachineOf(kernel), NativeMachine()) << "an inner guard leaves the switch to the outer one";
    }
    EXPECT_EQ(MachineOf(kernel), OwnMachine()) << "back on when the guard ends";
    RevertFsRedirection();  // an unpaired revert does nothing
    EXPECT_EQ(MachineOf(kernel), OwnMachine());
}

TEST(WindowsInfo, FactsOfThisSystem) {
    EXPECT_EQ(GetPlatformFamily(), 3);
    // What the answer rests on, asked another way: the native processor of the system, which a 32-bit
    // process under WOW64 sees too.
    SYSTEM_INFO native{};
    GetNativeSystemInfo(&native);
    bool native64 = native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                    native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
    EXPECT_EQ(IsWindows64(), native64);
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_EQ(IsWindows64(), sizeof(void*) == 8 || wow64) << "64-bit Windows: a 64-bit process, or WOW64";
}

TEST(WindowsInfo, VersionNameFollowsThePrefix) {
    // tests/win/versions.sh sets the prefix's version and names the expected class.
    wchar_t expected[64];
    DWORD n = GetEnvironmentVariableW(L"KX_EXPECTED_VERSION_NAME", expected, 64);
    if (n == 0 || n >= 64) GTEST_SKIP() << "run by tests/win/versions.sh";
    EXPECT_EQ(GetWindowsVersionName(), Narrow(expected));
}

}  // namespace
}  // namespace kx
