// The firmware-variable port on Wine's Win32: without firmware variables the port says so with the call and
// its error (as on a BIOS machine); with the test hook, the one-time start lands in the folder as the
// variables' bytes, and a firmware that refuses the write leaves nothing behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "WinFiles.h"
#include "boot/EfiVariables_win.h"

namespace kx {
namespace {

namespace fs = std::filesystem;

struct HookFolder {
    HookFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path = fs::path(base) / ("kx-efivars-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(path);
        fs::create_directories(path);
        SetEnvironmentVariableW(L"KORVANIX_EFI_VARS", path.wstring().c_str());
    }
    ~HookFolder() {
        SetEnvironmentVariableW(L"KORVANIX_EFI_VARS", nullptr);
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::wstring File(const wchar_t* name) const {
        return (path / (std::wstring(name) + L"-{8BE4DF61-93CA-11D2-AA0D-00E098032B8C}")).wstring();
    }
    fs::path path;
};

EfiPartition Esp() { return {1, 2048, 131072, ParseGuid("6E2B9F41-3C5D-4E8A-9B1F-0A2C4D6E8F10").value()}; }

TEST(EfiVariablesWin, WithoutFirmwareVariablesTheCallAndItsErrorAreNamed) {
    SetEnvironmentVariableW(L"KORVANIX_EFI_VARS", nullptr);
    auto port = MakeEfiVariablePort();
    auto order = port->Read("BootOrder");
    ASSERT_FALSE(order);
    EXPECT_FALSE(order.outcome().error().call.empty()) << order.outcome().what();
    EXPECT_NE(order.outcome().error().code, 0u);
    EXPECT_FALSE(StageEfiBoot(*port, Esp()));
}

TEST(EfiVariablesWin, TheHookFolderTakesTheOptionAndBootNext) {
    HookFolder hook;
    auto port = MakeEfiVariablePort();
    ASSERT_TRUE(port->Write("BootOrder", std::string("\x00\x00\x01\x00", 4)));
    ASSERT_TRUE(port->Write("Boot0000", "windows"));
    // 0001 is in BootOrder without its variable: taking it would put our option into every start.
    auto number = StageEfiBoot(*port, Esp());
    ASSERT_TRUE(number) << number.outcome().Describe();
    EXPECT_EQ(number.value(), 2);
    EXPECT_EQ(test::ReadAll(hook.File(L"Boot0002")),
              EfiLoadOption(kEfiOptionDescription, Esp(), kEfiLoaderPath).value());
    EXPECT_EQ(test::ReadAll(hook.File(L"BootNext")), std::string("\x02\x00", 2));
    EXPECT_EQ(test::ReadAll(hook.File(L"BootOrder")), std::string("\x00\x00\x01\x00", 4));
    ASSERT_TRUE(RemoveEfiBoot(*port, 2));
    EXPECT_FALSE(fs::exists(hook.File(L"Boot0002")));
    EXPECT_FALSE(fs::exists(hook.File(L"BootNext")));
}

TEST(EfiVariablesWin, AFirmwareThatRefusesTheWriteLeavesNothing) {
    HookFolder hook;
    { std::ofstream(hook.path / "REFUSE") << "1"; }
    auto port = MakeEfiVariablePort();
    auto number = StageEfiBoot(*port, Esp());
    ASSERT_FALSE(number);
    EXPECT_EQ(number.outcome().error().call, "SetFirmwareEnvironmentVariableW");
    EXPECT_FALSE(fs::exists(hook.File(L"Boot0000")));
    EXPECT_FALSE(fs::exists(hook.File(L"BootNext")));
}

}  // namespace
}  // namespace kx
