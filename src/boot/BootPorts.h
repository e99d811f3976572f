#pragma once
// What boot deployment needs from the outside: the bytes the program carries, and file operations on
// the system drive. Implemented in BootFiles_win.cpp; tests use fakes.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Outcome.h"

namespace kx {

// The Efi ones start the engine on a UEFI machine (EfiBoot.h names their files); the initramfs is shared.
enum class BootAsset {
    Helper,
    Loader,
    DosImage,
    WindowsGhost,
    EngineKernel,
    EngineInitrd,
    EfiShim,
    EfiGrub,
    EfiKernel,
    EfiModules
};

// The assets embedded in the program. Empty bytes when the program carries no such asset.
class BootAssetSource {
public:
    virtual ~BootAssetSource() = default;
    virtual std::string_view Bytes(BootAsset asset) = 0;
};

inline constexpr uint32_t kArchiveOnly = 0x20;

// File operations on full Windows paths (UTF-8). A failure names the file and the Win32 call that refused.
class BootFilePort {
public:
    virtual ~BootFilePort() = default;
    // Created anew (create-always, exclusive access, normal attributes) and written whole. Windows refuses
    // to replace a hidden or system file this way (error 5).
    virtual Outcome WriteNewFile(const std::string& path, std::string_view bytes) = 0;
    // Hides the file and sets its three time stamps to the fixed boot-file stamp; done when they were set.
    virtual Outcome StampBootFile(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // Whether the file was last written after Windows started this time (so no restart came since).
    virtual Result<bool> WrittenSinceWindowsStarted(const std::string& path) = 0;
    // The whole file when it exists and holds at most `limit` bytes.
    virtual Result<std::string> ReadSmallFile(const std::string& path, size_t limit) = 0;
    virtual Outcome RemoveFile(const std::string& path) = 0;
    // Fails when the target exists.
    virtual Outcome CopyNewFile(const std::string& from, const std::string& to) = 0;
    // Moves `from` over `to` in one step (same drive), replacing it; `to` is never left missing.
    virtual Outcome MoveReplacing(const std::string& from, const std::string& to) = 0;
    virtual Outcome SetAttributes(const std::string& path, uint32_t attributes) = 0;
    // An initialisation-file write: an existing key is replaced, a missing one added.
    virtual Outcome WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                                  const std::string& value) = 0;
    // The value as the system reads it back; empty when the key is absent.
    virtual std::string ReadIniValue(const std::string& file, const std::string& section, const std::string& key) = 0;
    // One level; an existing folder is no error.
    virtual Outcome CreateFolder(const std::string& path) = 0;
    // An empty folder; one already gone is no error.
    virtual Outcome RemoveFolder(const std::string& path) = 0;
};

}  // namespace kx
