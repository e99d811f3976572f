// The " 定义路径 " page: where ten of the user's shell folders are, and moving them by rewriting their
// registry values. The folders' contents are not moved.
#include <string_view>

#include "userdata/UserDataPages.h"

namespace kx {
namespace {

#define SHELL_FOLDERS "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\"

struct FolderRow {
    Control current;  // the row's controls: the current location, the new one, the browse button
    Control next;
    Control browse;
    const char* label;
    int csidl;  // 0: read from the registry value instead
    // Locations looked up as numbered special folders come with a final "\" that is cut off; History,
    // Temporary Internet Files and Cookies come straight from the shell.
    bool cutSeparator;
    const char* dialogTitle;
    const char* registryValue;
};

const FolderRow kRows[] = {
    {"我的文档编辑框", "我的文档编辑框1", "我的文档超级按钮", "我的文档：", 5, true, "修改我的文档位置",
     SHELL_FOLDERS "Personal"},
    {"历史记录编辑框", "历史记录编辑框1", "历史记录超级按钮", "历史记录：", 34, false, "修改历史记录位置",
     SHELL_FOLDERS "History"},
    {"IE临时文件夹编辑框", "IE临时文件夹编辑框1", "IE临时文件夹超级按钮", "IE临时文件：", 32, false,
     "修改IE临时文件夹位置", SHELL_FOLDERS "Cache"},
    {"Cookies编辑框", "Cookies编辑框1", "Cookies超级按钮", "Cookies：", 33, false, "修改Cookies位置",
     SHELL_FOLDERS "Cookies"},
    {"收藏夹编辑框", "收藏夹编辑框1", "收藏夹超级按钮", "收藏夹：", 6, true, "修改收藏夹位置",
     SHELL_FOLDERS "Favorites"},
    {"桌面编辑框", "桌面编辑框1", "桌面超级按钮", "桌面：", 16, true, "修改桌面位置", SHELL_FOLDERS "Desktop"},
    {"开始菜单编辑框", "开始菜单编辑框1", "开始菜单超级按钮", "开始菜单：", 11, true, "修改开始菜单位置",
     SHELL_FOLDERS "Start Menu"},
    {"菜单程序编辑框", "菜单程序编辑框1", "菜单程序超级按钮", "菜单程序：", 2, true, "修改菜单程序位置",
     SHELL_FOLDERS "Programs"},
    {"启动项编辑框", "启动项编辑框1", "启动项超级按钮", "启动项：", 7, true, "修改启动项位置", SHELL_FOLDERS "Startup"},
    {"下载目录编辑框", "下载目录编辑框1", "下载目录超级按钮", "下载目录：", 0, false, "修改下载目录位置",
     "Software\\Microsoft\\Internet Explorer\\Download Directory"},
};

// The rows whose current locations the file-backup page works with, in its order.
constexpr Control kBackupRows[] = {"我的文档编辑框", "收藏夹编辑框", "Cookies编辑框", "桌面编辑框"};

Control CurrentBox(const FolderRow& row) { return row.current; }
Control NewBox(const FolderRow& row) { return row.next; }

std::string CurrentLocation(UserDataPorts& ports, const FolderRow& row) {
    if (row.csidl == 0) return ports.registry->ReadText(row.registryValue).value_or("");
    std::string path = ports.shellFolders->FolderPath(row.csidl);
    if (row.cutSeparator && path.ends_with('\\')) path.pop_back();
    return path;
}

bool HasDriveLetter(std::string_view path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

}  // namespace

Outcome EnsureFolder(FileSystemPort& files, std::string& path) {
    if (!path.ends_with('\\')) path += '\\';
    return files.CreateFolders(path);
}

void ReadShellFolders(const UserDataContext& c) {
    WindowPort& w = c.window;
    for (const auto& row : kRows) w.SetText(CurrentBox(row), CurrentLocation(c.ports, row));
    std::vector<std::string> locations;
    for (Control box : kBackupRows) locations.push_back(w.Text(box));
    c.state.userFolders.Set(locations);
    for (const auto& row : kRows) {
        w.SetEnabled(CurrentBox(row), true);
        w.SetEnabled(row.browse, true);
    }
}

void BrowseShellFolder(const UserDataContext& c, int row) {
    if (row < 0 || row >= static_cast<int>(std::size(kRows))) return;
    std::string chosen = c.ports.folderDialog->BrowseForFolder(kRows[row].dialogTitle);
    if (!chosen.empty()) c.window.SetText(CurrentBox(kRows[row]), chosen);
}

// Rows with an empty new location are left alone: an empty value would leave Windows without the folder.
// A row whose folder cannot be created keeps its registry value, so no shell folder points at nothing;
// such rows are named in one message at the end.
void ApplyShellFolders(const UserDataContext& c) {
    WindowPort& w = c.window;
    Outcome created[std::size(kRows)];
    for (size_t i = 0; i < std::size(kRows); ++i) {
        std::string folder = w.Text(NewBox(kRows[i]));
        if (!folder.empty()) created[i] = EnsureFolder(*c.ports.files, folder);
    }
    std::string unchanged;
    for (size_t i = 0; i < std::size(kRows); ++i) {
        std::string location = w.Text(NewBox(kRows[i]));
        if (location.empty()) continue;
        Outcome outcome = created[i];
        if (outcome) outcome = c.ports.registry->WriteText(kRows[i].registryValue, location);
        if (!outcome) unchanged += std::string("\n") + kRows[i].label + location + "（" + outcome.Describe() + "）";
    }
    if (!unchanged.empty()) c.messages.ShowError("以下位置无法创建或写入，未作修改：" + unchanged);
}

void MoveShellFoldersToD(const UserDataContext& c) {
    WindowPort& w = c.window;
    for (const auto& row : kRows) {
        // Only the drive letter changes; a location without one (empty, or a network path) has none to change.
        std::string current = w.Text(CurrentBox(row));
        w.SetText(NewBox(row), HasDriveLetter(current) ? "D" + current.substr(1) : "");
    }
    ApplyShellFolders(c);
}

}  // namespace kx
