#pragma once
// What the download wizard needs from outside: the download component and the files on the target drive.
// Implemented by BoundComponent (the component's entry points) and DownloadFilesWin (DownloadFiles_win.cpp);
// the core tests use fakes.
#include <cstdint>
#include <functional>
#include <string>

#include "base/Outcome.h"
#include "download/DownloadApi.h"

namespace kx {

// The component's five operations, with UTF-8 texts.
class DownloadComponentPort {
public:
    virtual ~DownloadComponentPort() = default;
    // False when the component could not be loaded: no other call may be made then.
    virtual bool Bound() const = 0;
    // Starts a download with `threads` range workers and `retries` per range; null when it cannot start.
    virtual DownloadHandle Start(const std::string& address, const std::string& targetPath, int threads,
                                 int retries) = 0;
    virtual DownloadInfo Info(DownloadHandle handle) = 0;
    virtual void Pause(DownloadHandle handle) = 0;
    virtual void Restore(DownloadHandle handle) = 0;
    // Ends the download, closes its file and frees the handle.
    virtual void Stop(DownloadHandle handle) = 0;
};

// The component as loaded at start-up; reads the entry points at each call, so it may be made before they
// are bound.
class BoundComponent : public DownloadComponentPort {
public:
    explicit BoundComponent(const DownloadEntryPoints& entryPoints) : entryPoints_(entryPoints) {}
    bool Bound() const override { return entryPoints_.Bound(); }
    DownloadHandle Start(const std::string& address, const std::string& targetPath, int threads, int retries) override;
    DownloadInfo Info(DownloadHandle handle) override;
    void Pause(DownloadHandle handle) override;
    void Restore(DownloadHandle handle) override;
    void Stop(DownloadHandle handle) override;

private:
    const DownloadEntryPoints& entryPoints_;
};

// UTF-8 to UTF-16 code units, for the component's texts. Malformed bytes become U+FFFD.
std::wstring Utf16Of(const std::string& utf8);

// Called while a file is hashed, with the bytes read so far and the file's size; false stops the hash.
using HashProgress = std::function<bool(uint64_t done, uint64_t total)>;

class DownloadFilePort {
public:
    virtual ~DownloadFilePort() = default;
    // True when a regular file is at the path.
    virtual bool IsFile(const std::string& path) = 0;
    // Deletes the file; a file that is not there counts as deleted.
    virtual Outcome Remove(const std::string& path) = 0;
    // Writes what the system still holds of the file to the disk (FlushFileBuffers).
    virtual Outcome Flush(const std::string& path) = 0;
    // Renames `from` to `to`, replacing a file already at `to`; done once the rename is on the disk.
    virtual Outcome Replace(const std::string& from, const std::string& to) = 0;
    // The file's SHA-256 as 64 lower-case hex digits, read once from start to end.
    virtual Result<std::string> Sha256Of(const std::string& path, const HashProgress& progress) = 0;
    // Bytes free for the caller on the drive that holds the path; UINT64_MAX when unknown.
    virtual uint64_t FreeBytes(const std::string& path) = 0;
    // The file system of the drive that holds the path ("NTFS", "FAT32" ...); empty when unknown.
    virtual std::string FileSystem(const std::string& path) = 0;
};

}  // namespace kx
