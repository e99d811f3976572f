// The system services against Wine's Win32: the command runner, the Windows facts, the pattern engine.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/CommandRunner_win.h"
#include "text/PatternMatcher_win.h"
#include "text/TextChecks.h"
#include "text/Wide_win.h"
#include "platform/WindowsInfo_win.h"

namespace kx {
namespace {

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

TEST(WindowsInfo, FactsOfThisSystem) {
    EXPECT_EQ(GetPlatformFamily(), 3);
#if defined(_WIN64)
    EXPECT_TRUE(IsWindows64()) << "a 64-bit process runs on 64-bit Windows only";
#endif
    // Switching redirection off and on leaves the system folder where it was.
    std::string before = GetSpecialFolderPath(10);
    DisableFsRedirection();
    RevertFsRedirection();
    RevertFsRedirection();  // an unpaired revert does nothing
    EXPECT_EQ(GetSpecialFolderPath(10), before);
}

TEST(WindowsInfo, VersionNameFollowsThePrefix) {
    // tests/win/versions.sh sets the prefix's version and names the expected class.
    wchar_t expected[64];
    DWORD n = GetEnvironmentVariableW(L"KX_EXPECTED_VERSION_NAME", expected, 64);
    if (n == 0 || n >= 64) GTEST_SKIP() << "run by tests/win/versions.sh";
    EXPECT_EQ(GetWindowsVersionName(), Narrow(expected));
}

TEST(WindowsInfo, SpecialFolders) {
    EXPECT_EQ(GetSpecialFolderPath(0), "");
    EXPECT_EQ(GetSpecialFolderPath(12), "");
    EXPECT_EQ(GetSpecialFolderPath(-1), "");
    for (int n = 1; n <= 11; ++n) {
        std::string path = GetSpecialFolderPath(n);
        ASSERT_GT(path.size(), 3u) << n;
        EXPECT_EQ(path.back(), '\\') << n;
        EXPECT_NE(path.substr(path.size() - 2), "\\\\") << "one separator, not two: " << n;
    }
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(GetSpecialFolderPath(9), Narrow(windows) + "\\");
}

TEST(PatternMatcher, NonPrintableCheckAgreesWithTheScriptingEngine) {
    const std::pair<const char*, bool> cases[] = {
        {"D:\\VX_win7_sp1_64.gho", false}, {"D:\\系统备份\\win7.gho", false}, {"E:\\备份\\新建 文件夹\\a.gho", false},
        {"D:\\a\tb.gho", false},          {"D:\\a\tb.gho", true},           {"D:\\备\r\n份", true},
        {"D:\\~!@#$%^&()_+{}[];',.gho", false}, {"", false}};
    for (const auto& [text, strip] : cases)
        EXPECT_EQ(ExtractNonPrintableByEngine(text, strip), ExtractNonPrintable(text, strip)) << text << " " << strip;
    EXPECT_EQ(ExtractNonPrintableByEngine("D:\\系统备份\\win7.gho", false), "系统备份");
    EXPECT_EQ(ExtractNonPrintableByEngine("D:\\a\tb.gho", false), "\t");
}

TEST(PatternMatcher, PatternsQuotesAndReplacement) {
    PatternMatcher m;
    ASSERT_TRUE(m.Compile("a#引号b", "xa\"b ya\"b", false, true, true, true));
    EXPECT_EQ(m.MatchCount(), 2);
    EXPECT_EQ(m.MatchText(1), "a\"b");
    EXPECT_EQ(m.MatchText(3), "");
    ASSERT_TRUE(m.Compile("a#引号b", "xa\"b", false, true, true, false));
    EXPECT_EQ(m.MatchCount(), 0) << "without the marker the pattern is taken as written";

    ASSERT_TRUE(m.Compile("GHO", "a.gho b.GHO"));
    EXPECT_EQ(m.MatchCount(), 2) << "case is ignored unless asked";
    ASSERT_TRUE(m.Compile("GHO", "a.gho b.GHO", true));
    EXPECT_EQ(m.MatchCount(), 1);
    EXPECT_EQ(m.ReplaceAll("ima"), "a.gho b.ima");

    ASSERT_TRUE(m.Compile("卷\\s+(\\d+)", "卷     1  卷  22"));
    EXPECT_EQ(m.MatchText(2), "卷  22");
    EXPECT_FALSE(m.Compile("(", "x")) << "a pattern the engine rejects";
    EXPECT_EQ(m.MatchCount(), 0);
}

}  // namespace
}  // namespace kx
