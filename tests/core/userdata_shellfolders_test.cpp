// The " 定义路径 " page against fakes of the registry, the shell and the file system.
#include <gtest/gtest.h>

#include "ProgramRig.h"
#include "userdata/UserDataPages.h"

namespace kx {
namespace {

using test::UserDataRig;

const char* const kStems[] = {"我的文档", "历史记录", "IE临时文件夹", "Cookies", "收藏夹",
                              "桌面",     "开始菜单", "菜单程序",     "启动项",  "下载目录"};
const std::string kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
const std::string kDownload = "Software\\Microsoft\\Internet Explorer\\Download Directory";
const char* const kValues[] = {"Personal", "History",    "Cache",    "Cookies", "Favorites",
                               "Desktop",  "Start Menu", "Programs", "Startup"};

Control Box(int row) { return Named(std::string(kStems[row]) + "编辑框"); }
Control NewBox(int row) { return Named(std::string(kStems[row]) + "编辑框1"); }

// A Windows XP profile: numbered special folders end with "\", History, Cache and Cookies do not.
struct Profile : UserDataRig {
    Profile() {
        std::string home = "C:\\Documents and Settings\\小明\\";
        shellFolders.paths = {{5, home + "My Documents\\"},
                              {34, home + "Local Settings\\History"},
                              {32, home + "Local Settings\\Temporary Internet Files"},
                              {33, home + "Cookies"},
                              {6, home + "Favorites\\"},
                              {16, home + "桌面\\"},
                              {11, home + "「开始」菜单\\"},
                              {2, home + "「开始」菜单\\程序\\"},
                              {7, home + "「开始」菜单\\程序\\启动\\"}};
        registry.values[kDownload] = "E:\\下载";
    }
};

TEST(ShellFolders, ReadFillsTheTenBoxesEnablesThemAndKeepsTheFourBackupLocations) {
    Profile r;
    for (int i = 0; i < 10; ++i) {
        r.window.SetEnabled(Box(i), false);
        r.window.SetEnabled(Named(std::string(kStems[i]) + "超级按钮"), false);
    }
    ReadShellFolders(r.Context());
    const std::string home = "C:\\Documents and Settings\\小明\\";
    const std::string expected[] = {home + "My Documents",
                                    home + "Local Settings\\History",
                                    home + "Local Settings\\Temporary Internet Files",
                                    home + "Cookies",
                                    home + "Favorites",
                                    home + "桌面",
                                    home + "「开始」菜单",
                                    home + "「开始」菜单\\程序",
                                    home + "「开始」菜单\\程序\\启动",
                                    "E:\\下载"};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(r.window.Text(Box(i)), expected[i]) << kStems[i];
        EXPECT_TRUE(r.window.Enabled(Box(i)));
        EXPECT_TRUE(r.window.Enabled(Named(std::string(kStems[i]) + "超级按钮")));
    }
    EXPECT_EQ(r.program.state().userData.userFolders.Get(),
              (std::vector<std::string>{expected[0], expected[4], expected[3], expected[5]}));
}

TEST(ShellFolders, UnknownFoldersAndAMissingDownloadValueGiveEmptyBoxes) {
    UserDataRig r;
    r.shellFolders.paths = {{5, "D:\\"}};  // a folder at a drive's root loses its "\" like any other
    r.window.SetText(Box(9), "stale");
    ReadShellFolders(r.Context());
    EXPECT_EQ(r.window.Text(Box(0)), "D:");
    for (int i = 1; i < 10; ++i) EXPECT_EQ(r.window.Text(Box(i)), "") << kStems[i];
}

TEST(ShellFolders, RefreshRestoresEditedBoxesAndOnlyItChangesTheBackupLocations) {
    Profile r;
    ReadShellFolders(r.Context());
    auto kept = r.program.state().userData.userFolders.Get();
    r.window.SetText(Box(0), "X:\\typed");
    r.dialog.answer = "Y:\\chosen";
    BrowseShellFolder(r.Context(), 5);
    EXPECT_EQ(r.window.Text(Box(5)), "Y:\\chosen");
    EXPECT_EQ(r.program.state().userData.userFolders.Get(), kept);
    ReadShellFolders(r.Context());
    EXPECT_EQ(r.window.Text(Box(0)), "C:\\Documents and Settings\\小明\\My Documents");
    EXPECT_EQ(r.window.Text(Box(5)), "C:\\Documents and Settings\\小明\\桌面");
}

TEST(ShellFolders, BrowseUsesTheRowsTitleAndACancelChangesNothing) {
    Profile r;
    ReadShellFolders(r.Context());
    r.dialog.answer = "";
    BrowseShellFolder(r.Context(), 2);
    EXPECT_EQ(r.window.Text(Box(2)), "C:\\Documents and Settings\\小明\\Local Settings\\Temporary Internet Files");
    r.dialog.answer = "F:\\收藏";
    BrowseShellFolder(r.Context(), 4);
    BrowseShellFolder(r.Context(), 9);
    EXPECT_EQ(r.dialog.titles,
              (std::vector<std::string>{"修改IE临时文件夹位置", "修改收藏夹位置", "修改下载目录位置"}));
    EXPECT_EQ(r.window.Text(Box(4)), "F:\\收藏");
    EXPECT_EQ(r.window.Text(NewBox(4)), "");  // the chosen folder goes to the current box, not the new one
    ApplyShellFolders(r.Context());
    EXPECT_TRUE(r.registry.written.empty());  // and "应用" still writes only the new boxes
}

TEST(ShellFolders, MoveToDriveDCreatesTheFoldersAndWritesTenValuesWithoutAFinalSeparator) {
    Profile r;
    ReadShellFolders(r.Context());
    MoveShellFoldersToD(r.Context());
    for (int i = 0; i < 10; ++i) {
        std::string current = r.window.Text(Box(i));
        std::string moved = "D" + current.substr(1);
        EXPECT_EQ(r.window.Text(NewBox(i)), moved);
        EXPECT_EQ(r.files.created[i], moved + "\\");
        std::string value = i < 9 ? kShellFolders + kValues[i] : kDownload;
        EXPECT_EQ(r.registry.values[value], moved) << value;
    }
    EXPECT_EQ(r.registry.written.size(), 10u);
    EXPECT_TRUE(r.messages.shown.empty());
    EXPECT_EQ(r.registry.values[kShellFolders + "Personal"], "D:\\Documents and Settings\\小明\\My Documents");
}

TEST(ShellFolders, MoveToDriveDLeavesRowsWithoutADriveLetterAlone) {
    Profile r;
    r.registry.values.erase(kDownload);
    r.shellFolders.paths[34] = "\\\\server\\profiles\\History";
    ReadShellFolders(r.Context());
    MoveShellFoldersToD(r.Context());
    EXPECT_EQ(r.window.Text(NewBox(9)), "");
    EXPECT_EQ(r.window.Text(NewBox(1)), "");
    EXPECT_EQ(r.registry.written.size(), 8u);
    EXPECT_FALSE(r.registry.values.count(kDownload));
    EXPECT_FALSE(r.registry.values.count(kShellFolders + "History"));
}

TEST(ShellFolders, ApplyWritesTheTextAsTypedAndNamesRowsItCouldNotMove) {
    UserDataRig r;
    r.window.SetText(NewBox(0), "E:\\文档\\");
    r.window.SetText(NewBox(5), "Q:\\桌面");  // a drive that does not exist
    r.window.SetText(NewBox(6), "E:\\开始");
    r.files.uncreatable = {"Q:"};
    r.registry.readOnly = {kShellFolders + "Start Menu"};
    ApplyShellFolders(r.Context());
    EXPECT_EQ(r.files.created, (std::vector<std::string>{"E:\\文档\\", "Q:\\桌面\\", "E:\\开始\\"}));
    EXPECT_EQ(r.registry.values[kShellFolders + "Personal"], "E:\\文档\\");
    EXPECT_FALSE(r.registry.values.count(kShellFolders + "Desktop"));
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].title, "错误");
    EXPECT_NE(r.messages.shown[0].text.find("桌面：Q:\\桌面"), std::string::npos);
    EXPECT_NE(r.messages.shown[0].text.find("开始菜单：E:\\开始"), std::string::npos);
    EXPECT_EQ(r.messages.shown[0].text.find("我的文档"), std::string::npos);
}

TEST(ShellFolders, EnsureFolderAddsOneSeparatorOnly) {
    UserDataRig r;
    std::string a = "D:\\a", b = "D:\\b\\";
    EXPECT_TRUE(EnsureFolder(r.files, a).ok());
    EXPECT_TRUE(EnsureFolder(r.files, b).ok());
    EXPECT_EQ(a, "D:\\a\\");
    EXPECT_EQ(b, "D:\\b\\");
    EXPECT_EQ(r.files.created, (std::vector<std::string>{"D:\\a\\", "D:\\b\\"}));
    r.files.uncreatable = {"Z:"};
    std::string z = "Z:\\x";
    EXPECT_FALSE(EnsureFolder(r.files, z).ok());
}

}  // namespace
}  // namespace kx
