// The imaging ports on Wine's Win32: folder listings with 64-bit sizes, the shell's copy, starting a program,
// and the restart request as far as it can go here (the privilege and the flags, written to a log).
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "WinFiles.h"
#include "imaging/ImagingPorts_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

namespace fs = std::filesystem;

struct TempFolder {
    TempFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path = fs::path(base) / ("kx-imaging-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(path);
        fs::create_directories(path / L"子目录");
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::string Windows() const { return Narrow(path.wstring()) + "\\"; }
    fs::path path;
};

// A file of `size` bytes without writing them: the file system keeps it sparse.
void MakeFile(const fs::path& path, uint64_t size) {
    UniqueFile f(CreateFileW(path.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(f);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    ASSERT_TRUE(SetFilePointerEx(f.get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(f.get()));
}

TEST(ImagingFiles, ListsMatchesWithoutRegardToCaseAndWith64BitSizes) {
    TempFolder t;
    auto ports = MakeImagingPorts();
    ImageFilePort& files = *ports->ports.files;
    MakeFile(t.path / "big.GHO", 4294967297ull);
    MakeFile(t.path / "small.gho", 10);
    MakeFile(t.path / "notes.txt", 10);
    auto images = files.List(t.Windows(), "*.Gho");
    ASSERT_TRUE(images.ok());
    std::map<std::string, uint64_t> found;
    for (const FoundEntry& e : images.value()) found[e.name] = e.size;
    EXPECT_EQ(found, (std::map<std::string, uint64_t>{{"big.GHO", 4294967297ull}, {"small.gho", 10}}));

    auto all = files.List(t.Windows(), "*.*");
    ASSERT_TRUE(all.ok());
    bool folderSeen = false;
    for (const FoundEntry& e : all.value()) {
        EXPECT_NE(e.name, ".");
        EXPECT_NE(e.name, "..");
        if (e.name == "子目录") folderSeen = e.folder;
    }
    EXPECT_TRUE(folderSeen);
    EXPECT_TRUE(files.List(t.Windows() + "子目录\\", "*.Gho").value().empty()) << "no match is an empty list";
    EXPECT_FALSE(files.List(t.Windows() + "missing\\", "*.*").ok());

    EXPECT_TRUE(files.Exists(t.Windows() + "big.GHO"));
    EXPECT_FALSE(files.Exists(t.Windows() + "missing.gho"));
    EXPECT_EQ(files.Size(t.Windows() + "big.GHO"), std::optional<uint64_t>(4294967297ull));
    EXPECT_FALSE(files.Size(t.Windows() + "missing.gho"));
}

TEST(ImagingFiles, TheShellCopyCopiesAndAFailureIsNoCancel) {
    TempFolder t;
    auto ports = MakeImagingPorts();
    ImageFilePort& files = *ports->ports.files;
    std::ofstream(t.path / "a.gho") << "image";
    const Outcome copied = files.ShellCopy(t.Windows() + "a.gho", t.Windows() + "子目录\\a.gho");
    ASSERT_TRUE(copied.ok()) << copied.Describe();
    EXPECT_EQ(test::ReadAll(t.Windows() + "子目录\\a.gho"), "image");
    const Outcome failed = files.ShellCopy(t.Windows() + "missing.gho", t.Windows() + "子目录\\b.gho");
    EXPECT_FALSE(failed.ok());
    EXPECT_FALSE(IsCancelled(failed));
}

TEST(ImagingFiles, StartingAProgramThatIsNotThereFails) {
    auto ports = MakeImagingPorts();
    const Outcome started = ports->ports.files->StartProcess("C:\\no-such-folder\\ghost32.exe -clone");
    EXPECT_FALSE(started.ok());
    EXPECT_EQ(started.error().call, "CreateProcessW");
    EXPECT_TRUE(ports->ports.files->StartProcess("cmd.exe /c exit 0").ok());
}

TEST(ImagingRestart, UnderTheTestsTheRequestIsWrittenDownAfterThePrivilegeStep) {
    TempFolder t;
    const std::string log = t.Windows() + "restart.log";
    SetEnvironmentVariableW(L"KORVANIX_RESTART_LOG", Widen(log).c_str());
    auto ports = MakeImagingPorts();
    SetEnvironmentVariableW(L"KORVANIX_RESTART_LOG", nullptr);
    RestartRequest reboot;
    reboot.flags = 6;
    reboot.force = true;
    reboot.enablePrivilege = true;
    EXPECT_TRUE(ports->ports.restart->Request(reboot));
    EXPECT_EQ(test::ReadAll(log), "ExitWindowsEx flags=6 force=1 privilege=enabled\r\n");
}

TEST(ImagingMachine, AnswersWithoutFailing) {
    auto ports = MakeImagingPorts();
    const Firmware firmware = ports->ports.machine->FirmwareType();
    EXPECT_NE(firmware, Firmware::Uefi) << "Wine starts like a BIOS machine";
    ports->ports.machine->StyleOf('C');
    EXPECT_EQ(ports->ports.machine->StyleOf('Q'), PartitionStyle::Unknown) << "no such drive";
}

TEST(ImagingMachine, PartitionIdentitiesComeFromTheDiskOrFailWithTheReason) {
    auto ports = MakeImagingPorts();
    // Wine's drives are folders, not partitions: where it answers at all, the answer must be usable.
    if (auto c = ports->ports.machine->IdentityOf('C')) {
        EXPECT_NE(c.value().diskSignature, 0u);
        EXPECT_EQ(c.value().startOffset % 512, 0u);
    } else {
        EXPECT_NE(c.outcome().Describe().find("C:"), std::string::npos) << c.outcome().Describe();
    }
    EXPECT_FALSE(ports->ports.machine->IdentityOf('Q').ok()) << "no such drive";

    SetEnvironmentVariableW(L"KORVANIX_DISK_IDENTITIES", L"C=5A3C0F12:1048576;D=0000ABCD:68157440;E=00000000:512");
    auto faked = MakeImagingPorts();
    SetEnvironmentVariableW(L"KORVANIX_DISK_IDENTITIES", nullptr);
    auto d = faked->ports.machine->IdentityOf('D');
    ASSERT_TRUE(d.ok()) << d.outcome().Describe();
    EXPECT_EQ(d.value(), (PartitionIdentity{0xABCD, 68157440}));
    EXPECT_EQ(faked->ports.machine->IdentityOf('C').value(), (PartitionIdentity{0x5A3C0F12, 1048576}));
    EXPECT_FALSE(faked->ports.machine->IdentityOf('E').ok()) << "a zero signature names no disk";
    EXPECT_FALSE(faked->ports.machine->IdentityOf('F').ok()) << "a drive the answers leave out";
    EXPECT_EQ(faked->ports.machine->StyleOf('C'), PartitionStyle::Mbr);
}

TEST(ImagingMachine, TheHooksMakeAUefiMachineWithAGptDiskAndAnEspFolder) {
    TempFolder t;
    SetEnvironmentVariableW(L"KORVANIX_FIRMWARE", L"uefi");
    SetEnvironmentVariableW(L"KORVANIX_DISK_IDENTITIES",
                            L"C=0F3A6C2D-8E41-4B7A-9C15-3D2E1F4A5B60/A1B2C3D4-0001-4000-8000-000000000001:1048576");
    const std::wstring esp = Widen(t.Windows()) + L"|2|6E2B9F41-3C5D-4E8A-9B1F-0A2C4D6E8F10|2048|204800";
    SetEnvironmentVariableW(L"KORVANIX_ESP", esp.c_str());
    SetEnvironmentVariableW(L"KORVANIX_VOLUME_SERIALS", L"C=0123456789ABCDEF");
    auto ports = MakeImagingPorts();
    for (const wchar_t* name :
         {L"KORVANIX_FIRMWARE", L"KORVANIX_DISK_IDENTITIES", L"KORVANIX_ESP", L"KORVANIX_VOLUME_SERIALS"})
        SetEnvironmentVariableW(name, nullptr);
    EXPECT_EQ(ports->ports.machine->FirmwareType(), Firmware::Uefi);
    EXPECT_EQ(ports->ports.machine->StyleOf('C'), PartitionStyle::Gpt);
    auto c = ports->ports.machine->IdentityOf('C');
    ASSERT_TRUE(c.ok()) << c.outcome().Describe() << ": a GPT identity has no disk signature";
    EXPECT_TRUE(c.value().IsGpt());
    auto found = ports->ports.esp->Find('C');
    ASSERT_TRUE(found.ok()) << found.outcome().Describe();
    EXPECT_EQ(found.value(),
              (EfiPartition{2, 2048, 204800, ParseGuid("6E2B9F41-3C5D-4E8A-9B1F-0A2C4D6E8F10").value()}));
    auto root = ports->ports.esp->Mount();
    ASSERT_TRUE(root.ok()) << root.outcome().Describe();
    EXPECT_GT(ports->ports.esp->FreeBytes(root.value()).value(), 0u);
    EXPECT_TRUE(ports->ports.esp->Unmount(root.value()));
    EXPECT_EQ(ports->ports.esp->FileSystemSerial('C').value(), "0123456789ABCDEF");
    EXPECT_FALSE(ports->ports.esp->FileSystemSerial('D').ok());

    // Without the hook Wine's drives are folders: no disk holds them, and the port says so.
    auto real = MakeImagingPorts();
    auto none = real->ports.esp->Find('C');
    EXPECT_FALSE(none.ok());
    EXPECT_NE(none.outcome().Describe().find("C:"), std::string::npos) << none.outcome().Describe();
}

}  // namespace
}  // namespace kx
