// The user-data ports on Wine's Win32: registry, shell folders, FindFirstFile, CopyFolder through
// "Scripting.FileSystemObject", and the pages' workflows on them with an in-memory window.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "support/MemoryWindow.h"
#include "app/Program.h"
#include "text/Wide_win.h"
#include "userdata/FilePath.h"
#include "userdata/UserDataPorts_win.h"

namespace kx {
namespace {

namespace fs = std::filesystem;

const std::string kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
const std::string kDownload = "Software\\Microsoft\\Internet Explorer\\Download Directory";
const char* const kValues[] = {"Personal", "History",  "Cache",   "Cookies", "Favorites",
                               "Desktop",  "Start Menu", "Programs", "Startup"};
const char* const kStems[] = {"我的文档", "历史记录", "IE临时文件夹", "Cookies", "收藏夹",
                              "桌面",     "开始菜单", "菜单程序",     "启动项",  "下载目录"};

class Messages : public MessagePort {
public:
    using MessagePort::Show;
    MessageAnswer Show(const std::string& text, const std::string&, MessageButtons, MessageIcon) override {
        std::lock_guard<std::mutex> lock(mutex);
        shown.push_back(text);
        return MessageAnswer::Ok;
    }
    std::mutex mutex;
    std::vector<std::string> shown;
};

// A folder of its own under the Windows temporary folder, named in Chinese to exercise UTF-16 paths.
class TempFolder {
public:
    TempFolder() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = Narrow(temp) + "kx用户数据-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count_);
        fs::create_directories(PathFromUtf8(path_));
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(PathFromUtf8(path_), ec);
    }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
    const std::string& str() const { return path_; }

private:
    std::string path_;
    static inline int count_ = 0;
};

void Write(const std::string& path, const std::string& bytes) {
    fs::path p = PathFromUtf8(path);
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string Read(const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Relative names of every folder and file with the files' contents, sorted.
std::vector<std::string> Tree(const std::string& root) {
    std::vector<std::string> entries;
    fs::path base = PathFromUtf8(root);
    for (const auto& e : fs::recursive_directory_iterator(base)) {
        std::string name = Utf8FromPath(fs::relative(e.path(), base));
        entries.push_back(e.is_directory() ? name + "/" : name + "=" + Read(Utf8FromPath(e.path())));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

struct Rig {
    Rig() {
        program.ports().userData = &owned->ports;
        program.facts().backupDayFolder = "2015年7月16日备份";
    }
    // The pages' jobs run on the pages' own worker, as in the program.
    bool WaitUntilFree() {
        program.state().userData.worker.Wait();
        return !program.state().userData.busy.Get();
    }
    UserDataContext Context() { return program.UserData(); }
    MemoryWindow window;
    Messages messages;
    std::unique_ptr<OwnedUserDataPorts> owned = MakeUserDataPorts();
    Program program{Ports{&window, &messages}};
    UserDataPorts& ports() { return owned->ports; }
};

// Keeps the values the tests overwrite and puts them back, so the prefix's profile stays as it was.
class SavedValues {
public:
    explicit SavedValues(RegistryPort& registry) : registry_(registry) {
        for (const char* v : kValues) saved_.push_back({kShellFolders + v, registry.ReadText(kShellFolders + v)});
        saved_.push_back({kDownload, registry.ReadText(kDownload)});
    }
    ~SavedValues() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                (void)registry_.WriteText(name, *value);  // best effort: the test has its verdict
            } else {
                size_t cut = name.rfind('\\');
                SHDeleteValueW(HKEY_CURRENT_USER, Widen(name.substr(0, cut)).c_str(), Widen(name.substr(cut + 1)).c_str());
            }
        }
    }

private:
    RegistryPort& registry_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(UserDataPorts, RegistryWritesStringsCreatesKeysAndExpandsOnRead) {
    Rig r;
    RegistryPort& registry = *r.ports().registry;
    const std::string key = "Software\\Korvanix测试\\用户数据";
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Korvanix测试");
    EXPECT_FALSE(registry.ReadText(key + "\\位置"));
    ASSERT_TRUE(registry.WriteText(key + "\\位置", "D:\\我的文档").ok());
    EXPECT_EQ(registry.ReadText(key + "\\位置"), "D:\\我的文档");
    HKEY h;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, Widen(key).c_str(), 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
    DWORD type = 0;
    RegQueryValueExW(h, L"位置", nullptr, &type, nullptr, nullptr);
    EXPECT_EQ(type, DWORD(REG_SZ));
    const wchar_t expandable[] = L"%SystemRoot%\\下载";
    RegSetValueExW(h, L"可展开", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expandable), sizeof expandable);
    DWORD number = 7;
    RegSetValueExW(h, L"数字", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegCloseKey(h);
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(registry.ReadText(key + "\\可展开"), Narrow(windows) + "\\下载");
    EXPECT_FALSE(registry.ReadText(key + "\\数字"));
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Korvanix测试");
}

TEST(UserDataPorts, FileQueriesListingAndFolderCreation) {
    Rig r;
    TempFolder t;
    FileSystemPort& files = *r.ports().files;
    EXPECT_TRUE(files.CreateFolders(t / "备份\\2015年7月16日备份\\").ok());
    EXPECT_TRUE(files.CreateFolders(t / "备份\\2014年1月2日备份").ok());
    EXPECT_TRUE(files.CreateFolders(t / "备份\\其他").ok());
    Write(t / "备份\\2013年.txt", "a file, not a folder");
    EXPECT_TRUE(files.FolderExists(t / "备份\\2015年7月16日备份"));
    EXPECT_FALSE(files.FileExists(t / "备份\\2015年7月16日备份"));
    EXPECT_TRUE(files.FileExists(t / "备份\\2013年.txt"));
    EXPECT_FALSE(files.FolderExists(t / "备份\\2013年.txt"));
    std::vector<std::string> names = files.Subfolders(t / "备份");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "2014年1月2日备份", "2015年7月16日备份", "其他"}));
    EXPECT_EQ(files.Subfolders(t / "备份\\").size(), 5u);
    EXPECT_TRUE(files.Subfolders(t / "没有这个目录").empty());
    const Outcome blocked = files.CreateFolders(t / "备份\\2013年.txt\\子目录");  // a file is in the way
    EXPECT_FALSE(blocked.ok());
    EXPECT_EQ(blocked.error().call, "CreateDirectoryW");
    EXPECT_NE(blocked.error().code, 0u);

    r.window.SetText("备份到目录", t / "备份");
    RefreshBackupList(r.Context());
    std::vector<std::string> listed = r.window.Items("列表框1");
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"2014年1月2日备份", "2015年7月16日备份"}));
}

TEST(UserDataPorts, ReadShellFoldersFillsTheTenBoxesFromTheShellAndRegistry) {
    Rig r;
    SavedValues saved(*r.ports().registry);
    ASSERT_TRUE(r.ports().registry->WriteText(kDownload, "E:\\下载").ok());
    ReadShellFolders(r.Context());
    for (int i = 0; i < 9; ++i) {
        std::string box = r.window.Text(Named(std::string(kStems[i]) + "编辑框"));
        EXPECT_FALSE(box.empty()) << kStems[i];
        EXPECT_FALSE(box.ends_with('\\')) << box;
        EXPECT_EQ(box[1], ':') << box;
    }
    wchar_t documents[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, documents, 5, FALSE));
    EXPECT_EQ(r.window.Text("我的文档编辑框"), Narrow(documents));
    EXPECT_EQ(r.window.Text("下载目录编辑框"), "E:\\下载");
    auto kept = r.program.state().userData.userFolders.Get();
    ASSERT_EQ(kept.size(), 4u);
    EXPECT_EQ(kept[0], r.window.Text("我的文档编辑框"));
    EXPECT_EQ(kept[3], r.window.Text("桌面编辑框"));

    r.window.SetText("桌面编辑框", "X:\\edited");
    ReadShellFolders(r.Context());
    EXPECT_EQ(r.window.Text("桌面编辑框"), kept[3]);
}

// Needs drive D: mapped to a scratch folder (tests/win/userdata_d.sh does that and sets the variable).
bool DriveDIsScratch() { return GetEnvironmentVariableW(L"KX_SCRATCH_DRIVE_D", nullptr, 0) > 0; }

TEST(UserDataDriveD, MoveToDriveDCreatesTheFoldersAndWritesTenValues) {
    if (!DriveDIsScratch()) GTEST_SKIP() << "drive D: is not a scratch folder here";
    Rig r;
    SavedValues saved(*r.ports().registry);
    ASSERT_TRUE(r.ports().registry->WriteText(kDownload, "C:\\users\\下载\\").ok());  // a final "\" gets no second one
    ReadShellFolders(r.Context());
    MoveShellFoldersToD(r.Context());
    EXPECT_TRUE(r.messages.shown.empty());
    for (int i = 0; i < 10; ++i) {
        std::string current = r.window.Text(Named(std::string(kStems[i]) + "编辑框"));
        std::string moved = r.window.Text(Named(std::string(kStems[i]) + "编辑框1"));
        ASSERT_EQ(moved, "D" + current.substr(1)) << kStems[i];
        EXPECT_TRUE(r.ports().files->FolderExists(moved)) << moved;
        std::string value = i < 9 ? kShellFolders + kValues[i] : kDownload;
        EXPECT_EQ(r.ports().registry->ReadText(value), moved) << value;
        if (i < 9) {
            EXPECT_FALSE(moved.ends_with('\\')) << moved;
        }
    }
    EXPECT_EQ(r.ports().registry->ReadText(kDownload), "D:\\users\\下载\\");
}

TEST(UserDataDriveD, ZipBackupToTheDefaultDirectoryAndRestore) {
    if (!DriveDIsScratch()) GTEST_SKIP() << "drive D: is not a scratch folder here";
    Rig r;
    TempFolder t;
    Write(t / "文档\\报告.txt", "季度报告");
    fs::create_directories(PathFromUtf8(t / "文档\\空目录"));
    r.program.state().userData.userFolders.Set({t / "文档", "", "", ""});
    r.window.SetChecked("备份我的文档", true);
    ZipBackup(r.Context());
    ASSERT_TRUE(r.WaitUntilFree());
    EXPECT_TRUE(r.ports().files->FileExists("D:\\装系统前备份\\2015年7月16日备份\\我的文档.zip"));
    RefreshBackupList(r.Context());
    EXPECT_EQ(r.window.Items("列表框1"), std::vector<std::string>{"2015年7月16日备份"});
    fs::remove_all(PathFromUtf8(t / "文档"));
    r.window.SetChecked("还原我的文档", true);
    RestoreBackup(r.Context());
    ASSERT_TRUE(r.WaitUntilFree());
    EXPECT_EQ(Tree(t / "文档"), (std::vector<std::string>{"报告.txt=季度报告", "空目录/"}));
    fs::remove_all(PathFromUtf8("D:\\装系统前备份"));
}

TEST(UserDataPorts, CopyBackupAndRestoreFromCopiedFoldersThroughCopyFolder) {
    Rig r;
    TempFolder t;
    Write(t / "收藏夹\\网站\\链接.url", "[InternetShortcut]");
    Write(t / "桌面\\便笺.txt", "记得备份");
    fs::create_directories(PathFromUtf8(t / "桌面\\空文件夹"));
    r.program.state().userData.userFolders.Set({"", t / "收藏夹", "", t / "桌面"});
    r.window.SetText("备份到目录", t / "备份目录");  // missing: the copy creates it
    r.window.SetChecked("备份收藏夹", true);
    r.window.SetChecked("备份桌面文件", true);
    CopyBackup(r.Context());
    EXPECT_EQ(r.window.Text("分组框4"), "备份完成");
    const std::string day = t / "备份目录\\2015年7月16日备份";
    EXPECT_EQ(Tree(day + "\\收藏夹"), Tree(t / "收藏夹"));
    EXPECT_EQ(Tree(day + "\\桌面"), Tree(t / "桌面"));

    // The copy merges into the current folder and replaces files of the same name.
    Write(t / "桌面\\便笺.txt", "changed since");
    Write(t / "桌面\\新文件.txt", "kept");
    // Wine's CopyFolder raises an exception for a subfolder that exists at the destination (Windows merges
    // into it), so the current desktop lacks the empty folder that the backup brings back.
    fs::remove_all(PathFromUtf8(t / "桌面\\空文件夹"));
    fs::remove_all(PathFromUtf8(t / "收藏夹"));
    RefreshBackupList(r.Context());
    r.window.SetChecked("还原收藏夹", true);
    r.window.SetChecked("还原桌面文件", true);
    RestoreBackup(r.Context());
    ASSERT_TRUE(r.WaitUntilFree());
    EXPECT_EQ(Read(t / "收藏夹\\网站\\链接.url"), "[InternetShortcut]");
    EXPECT_EQ(Tree(t / "桌面"), (std::vector<std::string>{"便笺.txt=记得备份", "新文件.txt=kept", "空文件夹/"}));
    EXPECT_EQ(r.window.Text("分组框4"), "所有文件还原完成")
        << (r.messages.shown.empty() ? "" : r.messages.shown.back());
    EXPECT_EQ(r.window.ProgressPosition("进度条1"), 100);
}

TEST(UserDataPorts, ADayFolderWithArchiveAndCopyRestoresFromTheArchive) {
    Rig r;
    TempFolder t;
    const std::string day = t / "备份\\2015年7月16日备份";
    Write(t / "from-zip\\来自压缩包.txt", "zip");
    fs::create_directories(PathFromUtf8(day));
    ASSERT_TRUE(ZipFolder(t / "from-zip", day + "\\我的文档.zip").ok);
    Write(day + "\\我的文档\\来自拷贝.txt", "copy");
    r.program.state().userData.userFolders.Set({t / "文档", "", "", ""});
    r.window.SetText("备份到目录", t / "备份\\");
    RefreshBackupList(r.Context());
    r.window.SetChecked("还原我的文档", true);
    RestoreBackup(r.Context());
    ASSERT_TRUE(r.WaitUntilFree());
    EXPECT_EQ(Tree(t / "文档"), std::vector<std::string>{"来自压缩包.txt=zip"});
    EXPECT_EQ(r.messages.shown, std::vector<std::string>{"所有文件还原完成"});
}

TEST(UserDataPorts, AZipBackupThatCannotWriteItsArchiveNamesIt) {
    Rig r;
    TempFolder t;
    Write(t / "文档\\报告.txt", "季度报告");
    Write(t / "桌面\\便笺.txt", "记得备份");
    const std::string day = t / "备份\\2015年7月16日备份";
    // Where the archive goes stands a folder of that name, which no file can replace (Wine, unlike
    // Windows, lets a rename replace a read-only file, so that is no test here): the backup must name the
    // archive instead of saying "所有文件备份完成".
    Write(day + "\\我的文档.zip\\不是压缩文件.txt", "in the way");
    r.program.state().userData.userFolders.Set({t / "文档", "", "", t / "桌面"});
    r.window.SetText("备份到目录", t / "备份");
    r.window.SetChecked("备份我的文档", true);
    r.window.SetChecked("备份桌面文件", true);
    ZipBackup(r.Context());
    ASSERT_TRUE(r.WaitUntilFree());
    EXPECT_EQ(r.window.Text("分组框4"), "以下项目备份失败：我的文档.zip");
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_NE(r.messages.shown[0].find("我的文档.zip：无法替换压缩文件"), std::string::npos) << r.messages.shown[0];
    EXPECT_EQ(Read(day + "\\我的文档.zip\\不是压缩文件.txt"), "in the way");
    EXPECT_FALSE(r.ports().files->FileExists(day + "\\我的文档.zip.korvanix-part"));
    EXPECT_TRUE(r.ports().files->FileExists(day + "\\桌面.zip"));

    // A destination below a file cannot be created at all.
    Write(t / "占位文件", "a file, not a folder");
    const ZipReport below = ZipFolder(t / "文档", t / "占位文件\\a.zip");
    EXPECT_FALSE(below.ok);
    EXPECT_NE(below.error.find("无法创建压缩文件"), std::string::npos) << below.error;
}

TEST(UserDataPorts, ClosingTheWindowStopsALongZipBackupWithinTwoSeconds) {
    Rig r;
    TempFolder t;
    // About 40 MB of text-like files: seconds of deflate, long after the stop below.
    std::string block;
    for (int i = 0; block.size() < (1 << 20); ++i)
        block += "第" + std::to_string(i * 7919 % 100003) + "行 用户资料\r\n";
    for (int i = 0; i < 40; ++i) Write(t / ("文档\\" + std::to_string(i) + ".txt"), block + std::to_string(i));
    r.program.state().userData.userFolders.Set({t / "文档", "", "", ""});
    r.window.SetText("备份到目录", t / "备份");
    r.window.SetChecked("备份我的文档", true);
    ZipBackup(r.Context());
    // Stopped once the archive is under way, as when the window is closed in the middle of a backup.
    while (r.window.ProgressPosition("进度条1") < 2 && r.program.state().userData.busy.Get()) Sleep(5);
    ASSERT_TRUE(r.program.state().userData.busy.Get()) << "the backup ended before it could be stopped";
    const DWORD before = GetTickCount();
    r.program.state().userData.worker.Stop();
    EXPECT_LT(GetTickCount() - before, 2000u);
    EXPECT_EQ(r.window.Text("分组框4"), "备份已取消");
    EXPECT_TRUE(r.messages.shown.empty());
    const std::string day = t / "备份\\2015年7月16日备份";
    EXPECT_FALSE(r.ports().files->FileExists(day + "\\我的文档.zip"));
    EXPECT_FALSE(r.ports().files->FileExists(day + "\\我的文档.zip.korvanix-part"));
}

TEST(UserDataPorts, ZipComponentKeepsChineseNamesOnWindowsPaths) {
    TempFolder t;
    Write(t / "源\\中文目录\\文件名.txt", "内容");
    Write(t / "源\\零字节.dat", "");
    fs::create_directories(PathFromUtf8(t / "源\\空的\\更空"));
    std::vector<int> seen;
    ZipReport zipped = ZipFolder(t / "源", t / "压缩.zip", [&](int p) {
        seen.push_back(p);
        return 0;
    });
    ASSERT_TRUE(zipped.ok) << zipped.error;
    EXPECT_EQ(seen.back(), 100);
    ZipReport unzipped = UnzipArchive(t / "压缩.zip", t / "还原");
    ASSERT_TRUE(unzipped.ok) << unzipped.error;
    EXPECT_EQ(Tree(t / "源"), Tree(t / "还原"));
    // Replacing a read-only file of the same name.
    Write(t / "还原\\中文目录\\文件名.txt", "旧");
    SetFileAttributesW(Widen(t / "还原\\中文目录\\文件名.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(UnzipArchive(t / "压缩.zip", t / "还原").ok);
    EXPECT_EQ(Read(t / "还原\\中文目录\\文件名.txt"), "内容");
}

}  // namespace
}  // namespace kx
