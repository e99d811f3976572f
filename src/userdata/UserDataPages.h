#pragma once
// The " 文件备份 " and " 定义路径 " pages as the window uses them: backups of the user's folders (copied or
// zipped into a day folder), the list of earlier backups and restoring one, and where the shell folders are.
#include <string>
#include <vector>

#include "base/Ports.h"
#include "base/ProgramFacts.h"
#include "base/Shared.h"
#include "base/WindowPort.h"
#include "base/Worker.h"
#include "userdata/UserDataPorts.h"

namespace kx {

struct UserDataState {
    Shared<std::vector<std::string>> userFolders;  // My Documents, Favorites, Cookies, Desktop as last read
    Shared<bool> busy;                             // a backup or restore of the file-backup page is running
    Worker worker;                                 // runs the zip backup and the restore
};

struct UserDataContext {
    WindowPort& window;
    MessagePort& messages;
    UserDataPorts& ports;
    UserDataState& state;
    const ProgramFacts& facts;
};

// " 文件备份 ".
void CopyBackup(const UserDataContext& c);
void ZipBackup(const UserDataContext& c);
void RestoreBackup(const UserDataContext& c);
void RefreshBackupList(const UserDataContext& c);
void ChooseBackupFolder(const UserDataContext& c);
// Moves the page's progress bar to a zip component's report; answers 0, go on.
int ShowZipProgress(WindowPort& window, int percent);

// " 定义路径 ".
void ReadShellFolders(const UserDataContext& c);
void ApplyShellFolders(const UserDataContext& c);
void MoveShellFoldersToD(const UserDataContext& c);
void BrowseShellFolder(const UserDataContext& c, int row);

}  // namespace kx
