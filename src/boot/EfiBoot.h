#pragma once
// What a UEFI machine needs to start our engine once: a load option (Boot####) that names our shim on the
// EFI system partition, and BootNext pointing at it. The firmware takes BootNext for one start and deletes
// it; BootOrder is never touched. The bytes are the firmware's own layout (EFI_LOAD_OPTION, a hard-drive
// media device path, a file path, the end node), all little-endian, built here without any Windows call so
// that they are tested natively; the Windows half writes them with SetFirmwareEnvironmentVariableW.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Outcome.h"
#include "boot/Guid.h"

namespace kx {

// The firmware's own variables (BootNext, BootOrder, Boot####, SecureBoot) live under this vendor GUID.
inline constexpr const char* kEfiGlobalVariableGuid = "8BE4DF61-93CA-11D2-AA0D-00E098032B8C";
// Non-volatile, seen by boot services and at run time: what a load option and BootNext must have.
inline constexpr uint32_t kEfiBootVariableAttributes = 0x7;
inline constexpr uint32_t kLoadOptionActive = 0x1;
// Our folder on the EFI system partition and the file the firmware starts (shim, which starts
// grubx64.efi beside it).
inline constexpr const char* kEfiFolder = "\\EFI\\korvanix";
inline constexpr const char* kEfiLoaderPath = "\\EFI\\korvanix\\shimx64.efi";
inline constexpr const char* kEfiOptionDescription = "Korvanix";

// The EFI system partition on a GPT disk, as IOCTL_DISK_GET_DRIVE_LAYOUT_EX gives it.
struct EfiPartition {
    uint32_t number = 0;  // 1-based, the partition's entry in the GPT
    uint64_t startLba = 0;
    uint64_t sizeLba = 0;
    Guid partitionGuid;
    bool operator==(const EfiPartition&) const = default;
};

// HD(number,GPT,guid,start,size)/File(path)/End; fails for a partition without number, size or GUID, and a
// path that is not absolute ("\EFI\...") or holds a forward slash or a control character.
Result<std::string> EfiFilePathList(const EfiPartition& partition, std::string_view path);
// EFI_LOAD_OPTION: attributes (active), the length of the device path, the description in UTF-16 with its
// terminator, the device path; no optional data.
Result<std::string> EfiLoadOption(std::string_view description, const EfiPartition& partition, std::string_view path);

// The reverse, for the option the program left at an earlier start: refuses bytes that are not a
// well-formed option whose device path is HD()/File()/End.
struct EfiLoadOptionFields {
    uint32_t attributes = 0;
    std::string description;  // UTF-8
    EfiPartition partition;
    std::string path;  // UTF-8, "\EFI\korvanix\shimx64.efi"
};
Result<EfiLoadOptionFields> ParseEfiLoadOption(std::string_view bytes);

// The files in kEfiFolder: shim and GRUB (signed), the amd64 kernel, the engine's initramfs (the same file
// as on BIOS machines) and the kernel's modules after it, and GRUB's configuration.
inline constexpr const char* kEfiShimFile = "shimx64.efi";
inline constexpr const char* kEfiGrubFile = "grubx64.efi";
inline constexpr const char* kEfiKernelFile = "kxlinux64";
inline constexpr const char* kEfiModulesFile = "kxmod64";
inline constexpr const char* kEfiGrubConfigFile = "grub.cfg";
// grub.cfg for GRUB beside it: the engine from the same folder, told the system partition by its
// file-system serial (16 hex digits for NTFS, 8 for FAT, as the engine reads it from the boot sector);
// fails for anything else.
Result<std::string> EfiGrubConfig(std::string_view jobSerial);

// "Boot0007": four upper-case hex digits.
std::string EfiBootVariableName(uint16_t number);
// BootNext's value, and BootOrder's read back (an odd length is refused).
std::string EfiBootNextValue(uint16_t number);
Result<std::vector<uint16_t>> ParseEfiBootOrder(std::string_view bytes);
// The lowest option number no Boot#### variable uses; fails when all 65536 are taken.
Result<uint16_t> FreeEfiBootNumber(const std::vector<uint16_t>& used);

}  // namespace kx
