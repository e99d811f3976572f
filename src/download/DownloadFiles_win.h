#pragma once
// The download wizard's files on the target drive, through the Windows file functions.
#include "download/DownloadPorts.h"

namespace kx {

class DownloadFilesWin : public DownloadFilePort {
public:
    bool IsFile(const std::string& path) override;
    Outcome Remove(const std::string& path) override;
    Outcome Flush(const std::string& path) override;
    Outcome Replace(const std::string& from, const std::string& to) override;
    Result<std::string> Sha256Of(const std::string& path, const HashProgress& progress) override;
    uint64_t FreeBytes(const std::string& path) override;
    std::string FileSystem(const std::string& path) override;
};

}  // namespace kx
