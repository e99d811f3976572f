#pragma once
// What the file-backup and folder-location pages need from the system. The Windows implementations are made
// by MakeUserDataPorts (UserDataPorts_win.h); the core tests use fakes.
#include <optional>
#include <string>
#include <vector>

#include "base/Outcome.h"
#include "userdata/Zip.h"

namespace kx {

// Values under HKEY_CURRENT_USER, each addressed as one text whose last "\" part is the value's name
// ("Software\Microsoft\Internet Explorer\Download Directory").
class RegistryPort {
public:
    virtual ~RegistryPort() = default;
    // A string value (an expandable one comes back expanded); nothing when absent or not a string.
    virtual std::optional<std::string> ReadText(const std::string& keyAndValue) = 0;
    // Writes REG_SZ, creating the key when it does not exist.
    virtual Outcome WriteText(const std::string& keyAndValue, const std::string& text) = 0;
};

// The user's shell folders by CSIDL, as the shell names them; empty when it cannot.
class ShellFolderPort {
public:
    virtual ~ShellFolderPort() = default;
    virtual std::string FolderPath(int csidl) = 0;
};

// The Windows folder browser: rooted at the desktop, with an edit box, owned by the active window.
// Returns the chosen folder, or empty when cancelled.
class FolderDialogPort {
public:
    virtual ~FolderDialogPort() = default;
    virtual std::string BrowseForFolder(const std::string& title) = 0;
};

class FileSystemPort {
public:
    virtual ~FileSystemPort() = default;
    virtual bool FolderExists(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // Names of the folders matching folder + "\*.*", in the order the file system returns them,
    // "." and ".." included where the file system lists them.
    virtual std::vector<std::string> Subfolders(const std::string& folder) = 0;
    // Creates the folder and every missing folder above it; done when it exists afterwards.
    virtual Outcome CreateFolders(const std::string& path) = 0;
    // "Scripting.FileSystemObject" CopyFolder, replacing files that exist: a missing destination is created
    // with the source's contents, an existing one receives them.
    virtual Outcome CopyFolder(const std::string& source, const std::string& destination) = 0;
};

class ArchivePort {
public:
    virtual ~ArchivePort() = default;
    virtual ZipReport Zip(const std::string& folder, const std::string& archive, const ZipProgress& progress) = 0;
    virtual ZipReport Unzip(const std::string& archive, const std::string& folder, const ZipProgress& progress) = 0;
};

// Where the pages' long jobs (zip backup, restore) run: on the pages' own worker thread, as the program
// runs them, or at once on the calling thread, for tests that follow a job step by step.
enum class JobThread { Worker, Caller };

// The program's zip component behind the port.
class ZipComponent final : public ArchivePort {
public:
    ZipReport Zip(const std::string& folder, const std::string& archive, const ZipProgress& progress) override {
        return ZipFolder(folder, archive, progress);
    }
    ZipReport Unzip(const std::string& archive, const std::string& folder, const ZipProgress& progress) override {
        return UnzipArchive(archive, folder, progress);
    }
};

struct UserDataPorts {
    RegistryPort* registry = nullptr;
    ShellFolderPort* shellFolders = nullptr;
    FolderDialogPort* folderDialog = nullptr;
    FileSystemPort* files = nullptr;
    ArchivePort* archives = nullptr;
    JobThread jobs = JobThread::Worker;
};

// Gives `path` a final "\" unless it has one and creates every missing folder along it; fails when the
// folder does not exist afterwards.
Outcome EnsureFolder(FileSystemPort& files, std::string& path);

}  // namespace kx
