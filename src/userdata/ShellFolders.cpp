// The " 定义路径 " page: where ten of the user's shell folders are, and moving them by rewriting their
// registry values. The folders' contents are not moved.
#include <string_view>

#include "userdata/UserDataPages.h"

namespace kx {
namespace {

#define SHELL_FOLDERS "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\"

struct FolderRow {
    const char* stem;  // the row's controls: stem + "编辑框", stem + "编辑框1", stem + "超级按钮"
    const char* label;
    int csidl;  // 0: read from the registry value instead
    // Locations looked up as numbered special folders come with a final "\" that is cut off; History,
    // Temporary Internet Files and Cookies come straight from the shell.
    bool cutSeparator;
    const char* dialogTitle;
    const char* registryValue;
};

const FolderRow kRows[] = {
    {"我的文档", "我的文档：", 5, true, "修改我的文档位置", SHELL_FOLDERS "Personal"},
    {"历史记录", "历史记录：", 34, false, "修改历史记录位置", SHELL_FOLDERS "History"},
    {"IE临时文件夹", "IE临时文件：", 32, false, "修改IE临时文件夹位置", SHELL_FOLDERS "Cache"},
    {"Cookies", "Cookies：", 33, false, "修改Cookies位置", SHELL_FOLDERS "Cookies"},
    {"收藏夹", "收藏夹：", 6, true, "修改收藏夹位置", SHELL_FOLDERS "Favorites"},
    {"桌面", "桌面：", 16, true, "修改桌面位置", SHELL_FOLDERS "Desktop"},
    {"开始菜单", "开始菜单：", 11, true, "修改开始菜单位置", SHELL_FOLDERS "Start Menu"},
    {"菜单程序", "菜单程序：", 2, true, "修改菜单程序位置", SHELL_FOLDERS "Programs"},
    {"启动项", "启动项：", 7, true, "修改启动项位置", SHELL_FOLDERS "Startup"},
    {"下载目录", "下载目录：", 0, false, "修改下载目录位置", "Software\\Microsoft\\Internet Explorer\\Download Directory"},
};

// The rows whose current locations the file-backup page works with, in its order.
const char* const kBackupRows[] = {"我的文档", "收藏夹", "Cookies", "桌面"};

std::string CurrentBox(const FolderRow& row) { return std::string(row.stem) + "编辑框"; }
std::string NewBox(const FolderRow& row) { return std::string(row.stem) + "编辑框1"; }

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
    for (const char* stem : kBackupRows) locations.push_back(w.Text(std::string(stem) + "编辑框"));
    c.state.userFolders.Set(locations);
    for (const auto& row : kRows) {
        w.SetEnabled(CurrentBox(row), true);
        w.SetEnabled(std::string(row.stem) + "超级按钮", true);
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
