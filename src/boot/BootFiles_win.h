#pragma once
// The Windows side of boot deployment: files on the system drive and the assets in the program's resources.
#include "boot/BootPorts.h"

namespace kx {

class BootFilesWin : public BootFilePort {
public:
    Outcome WriteNewFile(const std::string& path, std::string_view bytes) override;
    Outcome StampBootFile(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    Result<bool> WrittenSinceWindowsStarted(const std::string& path) override;
    Result<std::string> ReadSmallFile(const std::string& path, size_t limit) override;
    Outcome RemoveFile(const std::string& path) override;
    Outcome CopyNewFile(const std::string& from, const std::string& to) override;
    Outcome MoveReplacing(const std::string& from, const std::string& to) override;
    Outcome SetAttributes(const std::string& path, uint32_t attributes) override;
    Outcome WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& value) override;
    std::string ReadIniValue(const std::string& file, const std::string& section, const std::string& key) override;
    Outcome CreateFolder(const std::string& path) override;
    Outcome RemoveFolder(const std::string& path) override;
};

// Reads the assets from the resources of the program's own file (KX_HELPER, KX_LOADER, KX_DOSIMAGE,
// KX_GHOST32, KX_ENGINE_KERNEL, KX_ENGINE_INITRD). Resources stay mapped for the life of the process, so the views stay
// valid.
class ResourceBootAssets : public BootAssetSource {
public:
    std::string_view Bytes(BootAsset asset) override;
};

// The fixed boot-file stamp as UTC: 2010-02-03 04:05:06 China time, 2010-02-02 20:05:06 UTC.
struct BootStampTime {
    int year, month, dayOfWeek, day, hour, minute, second;
};
BootStampTime BootFileStamp();

}  // namespace kx
