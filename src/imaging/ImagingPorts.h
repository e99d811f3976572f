#pragma once
// What the imaging pages need from the system beyond the shared ports: image files on any drive, the file
// dialogs, the machine's firmware and disk layout, and the restart itself. Windows implementations are made
// by MakeImagingPorts (ImagingPorts_win.h); the core tests use fakes.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Outcome.h"
#include "boot/EfiBoot.h"
#include "boot/EfiVariables.h"
#include "boot/EngineJob.h"

namespace kx {

// One entry of a folder listing.
struct FoundEntry {
    std::string name;  // without the folder
    bool folder = false;
    uint64_t size = 0;  // bytes, 64-bit: images of 4 GB and more are common
};

// A user's "cancel" in the shell's copy travels the error path with this code (ERROR_CANCELLED).
inline constexpr uint32_t kCancelledCode = 1223;
inline bool IsCancelled(const Outcome& o) { return !o.ok() && o.error().code == kCancelledCode; }

class ImageFilePort {
public:
    virtual ~ImageFilePort() = default;
    // The entries of `folder` (ending in "\") whose names match `pattern` ("*.Gho", "*.*"), compared without
    // regard to case, files and folders alike, "." and ".." left out. Fails when the folder cannot be read
    // (a drive removed, no medium, no access).
    virtual Result<std::vector<FoundEntry>> List(const std::string& folder, const std::string& pattern) = 0;
    virtual bool Exists(const std::string& path) = 0;
    // The file's size in bytes; nothing when it cannot be opened.
    virtual std::optional<uint64_t> Size(const std::string& path) = 0;
    // Up to `size` bytes of the file from `offset` (fewer at its end); fails when it cannot be read.
    virtual Result<std::string> ReadAt(const std::string& path, uint64_t offset, uint32_t size) = 0;
    // The shell's copy with its own progress window. A cancel by the user fails with kCancelledCode.
    virtual Outcome ShellCopy(const std::string& from, const std::string& to) = 0;
    // Starts the command line as a process with a normal window and waits up to a second for it to be ready
    // for input; fails when it did not start.
    virtual Outcome StartProcess(const std::string& commandLine) = 0;
};

struct FileDialogRequest {
    bool save = false;
    std::string filter;  // "描述|*.GHO;*.ISO", empty for all files
    std::string fileName;
    std::string folder;  // empty: the dialog's own choice
};

// The common open and save dialogs, owned by the main window. Nothing when the user cancelled.
class FileDialogPort {
public:
    virtual ~FileDialogPort() = default;
    virtual std::optional<std::string> Choose(const FileDialogRequest& request) = 0;
};

// A question answered by picking one of a list (which edition of a Windows imaging file to install), owned
// by the main window. The index of the answer; nothing when the user cancelled.
class ChoicePort {
public:
    virtual ~ChoicePort() = default;
    virtual std::optional<int> Choose(const std::string& title, const std::string& text,
                                      const std::vector<std::string>& items) = 0;
};

enum class Firmware { Bios, Uefi, Unknown };
// Hybrid: a GPT disk whose first sector holds real partitions beside the protective one; two tables that
// may disagree, which the engine refuses to write to.
enum class PartitionStyle { Mbr, Gpt, Dynamic, Hybrid, Unknown };

// What decides whether the boot files can run at the next start at all.
class MachinePort {
public:
    virtual ~MachinePort() = default;
    virtual Firmware FirmwareType() = 0;
    // The layout of the disk that holds the drive's partition.
    virtual PartitionStyle StyleOf(char driveLetter) = 0;
    // The drive's partition as our engine finds it again at the next start: its disk's MBR signature and its
    // start offset, on a GPT disk the disk's and the partition's GUIDs and the offset. Fails for a volume that is not
    // one partition of one disk (spanned, a RAM or network drive).
    virtual Result<PartitionIdentity> IdentityOf(char driveLetter) = 0;
};

// The EFI system partition of a UEFI machine, where the firmware finds what it starts.
class EspPort {
public:
    virtual ~EspPort() = default;
    // The EFI system partition (type C12A7328-F81F-11D2-BA4B-00A0C93EC93B) of the GPT disk that holds the
    // drive's partition. Fails when that disk has none or cannot be read.
    virtual Result<EfiPartition> Find(char driveLetter) = 0;
    // The partition's files reachable under a drive root ("X:\" after mountvol X: /S on a free letter);
    // Unmount takes the letter away again.
    virtual Result<std::string> Mount() = 0;
    virtual Outcome Unmount(const std::string& root) = 0;
    virtual Result<uint64_t> FreeBytes(const std::string& root) = 0;
    // The drive's file-system serial as the engine reads it from the boot sector: 16 hex digits for NTFS.
    virtual Result<std::string> FileSystemSerial(char driveLetter) = 0;
};

// How Windows is asked to end the session: ExitWindowsEx with its flags, or SetSystemPowerState.
struct RestartRequest {
    enum Method { ExitWindows, Suspend, Hibernate } method = ExitWindows;
    uint32_t flags = 0;  // ExitWindowsEx flags
    bool force = false;
    bool enablePrivilege = false;  // the NT family needs SeShutdownPrivilege first
};

class RestartPort {
public:
    virtual ~RestartPort() = default;
    // Done when Windows accepted the request; otherwise the call that refused it and its error.
    virtual Outcome Request(const RestartRequest& request) = 0;
};

struct ImagingPorts {
    ImageFilePort* files = nullptr;
    FileDialogPort* dialogs = nullptr;
    MachinePort* machine = nullptr;
    RestartPort* restart = nullptr;
    ChoicePort* choices = nullptr;
    EspPort* esp = nullptr;
    EfiVariablePort* efiVariables = nullptr;
};

}  // namespace kx
