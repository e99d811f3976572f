#pragma once
// Every control of the main window, by the name the layout gives it (src/app/Layout.cpp builds the window
// from a table of the same names, and checks at compile time that the two lists agree). A `Control` can be
// made only from one of these names: a misspelt name in the source does not compile. The designer's
// numbered names ("按钮17") have a meaningful alias in `ctl` below.
#include <optional>
#include <string>
#include <string_view>

namespace kx {

inline constexpr std::string_view kLayoutNames[] = {
    "最小化按钮",
    "图形按钮1",
    "图形按钮6",
    "透明标签3",
    "还原_单选框",
    "备份_单选框",
    "时钟1",
    "通用对话框1",
    "工具切换按钮",
    "高级选择夹2",
    "高级选择夹1",
    "高级选择夹2#0",
    "高级选择夹2#1",
    "高级选择夹2#2",
    "分组框9",
    "图形按钮2",
    "透明标签10",
    "透明标签11",
    "按钮11",
    "分组框10",
    "图形按钮3",
    "透明标签6",
    "透明标签7",
    "按钮14",
    "分组框11",
    "图形按钮4",
    "透明标签8",
    "透明标签9",
    "按钮15",
    "透明标签4",
    "下载状态",
    "透明标签12",
    "保存路径",
    "透明标签5",
    "已用时间",
    "透明标签14",
    "文件大小",
    "透明标签16",
    "下载的速度",
    "透明标签18",
    "已经接收",
    "分组框8",
    "进度条2",
    "下载的地址",
    "保存到文件名",
    "按钮16",
    "按钮17",
    "按钮22",
    "按钮18",
    "提示图形按钮3",
    "提示透明标签3",
    "提示标签3",
    "时钟2",
    "提示图形按钮4",
    "提示透明标签4",
    "提示标签4",
    "提示透明标签5",
    "按钮19",
    "按钮20",
    "按钮21",
    "高级选择夹1#0",
    "高级选择夹1#1",
    "高级选择夹1#2",
    "高级选择夹1#3",
    "高级选择夹1#4",
    "高级选择夹1#5",
    "高级选择夹1#6",
    "高级选择夹1#7",
    "超文本浏览框1",
    "分组框1",
    "映像文件_组合框",
    "刷新硬盘映像_按钮",
    "操作映像_按钮",
    "分组框5",
    "还原磁盘_超级列表框",
    "按钮26",
    "按钮2",
    "开始还原_按钮",
    "按钮1",
    "按钮3",
    "提示图形按钮",
    "提示透明标签",
    "提示标签",
    "分组框6",
    "备份磁盘_超级列表框",
    "分组框2",
    "透明标签1",
    "备份路径",
    "操作映像_按钮1",
    "开始还原_按钮1",
    "开始还原_按钮2",
    "提示图形按钮1",
    "提示透明标签1",
    "提示标签1",
    "超文本浏览框2",
    "分组框3",
    "备份我的文档",
    "备份收藏夹",
    "备份Cookies",
    "备份桌面文件",
    "透明标签2",
    "备份到目录",
    "按钮7",
    "按钮9",
    "按钮8",
    "资料还原",
    "还原我的文档",
    "还原收藏夹",
    "还原Cookies",
    "还原桌面文件",
    "列表框1",
    "按钮13",
    "刷新备份列表",
    "分组框4",
    "进度条1",
    "ZIP压缩1",
    "按钮12",
    "提示图形按钮2",
    "提示透明标签2",
    "提示标签2",
    "分组框7",
    "我的文档标签",
    "我的文档编辑框",
    "我的文档修改为标签",
    "我的文档编辑框1",
    "我的文档超级按钮",
    "历史记录标签",
    "历史记录编辑框",
    "历史记录修改为标签",
    "历史记录编辑框1",
    "历史记录超级按钮",
    "IE临时文件夹标签",
    "IE临时文件夹编辑框",
    "IE临时文件夹修改为标签",
    "IE临时文件夹编辑框1",
    "IE临时文件夹超级按钮",
    "Cookies标签",
    "Cookies编辑框",
    "Cookies修改为标签",
    "Cookies编辑框1",
    "Cookies超级按钮",
    "收藏夹标签",
    "收藏夹编辑框",
    "收藏夹修改为标签",
    "收藏夹编辑框1",
    "收藏夹超级按钮",
    "桌面标签",
    "桌面编辑框",
    "桌面修改为标签",
    "桌面编辑框1",
    "桌面超级按钮",
    "开始菜单标签",
    "开始菜单编辑框",
    "开始菜单修改为标签",
    "开始菜单编辑框1",
    "开始菜单超级按钮",
    "菜单程序标签",
    "菜单程序编辑框",
    "菜单程序修改为标签",
    "菜单程序编辑框1",
    "菜单程序超级按钮",
    "启动项标签",
    "启动项编辑框",
    "启动项修改为标签",
    "启动项编辑框1",
    "启动项超级按钮",
    "下载目录标签",
    "下载目录编辑框",
    "下载目录修改为标签",
    "下载目录编辑框1",
    "下载目录超级按钮",
    "按钮4",
    "按钮5",
    "按钮6",
    "超文本浏览框3",
    "图片框1",
    "按钮10",
};

consteval bool IsLayoutName(std::string_view name) {
    for (std::string_view n : kLayoutNames)
        if (n == name) return true;
    return false;
}

// A control of the main window, as every window call names it.
class Control {
public:
    // From a name written in the source: checked while compiling. A name the layout lacks stops the build
    // here ("not a control of the main window").
    consteval Control(const char* name) : name_(name) {  // NOLINT: literals convert implicitly
        if (!IsLayoutName(name)) throw "not a control of the main window";
    }
    // From a name known only at run time (the layout table's own walk, a page name): nothing when the
    // layout has no such control.
    static std::optional<Control> Find(std::string_view name) {
        for (std::string_view n : kLayoutNames)
            if (n == name) return Control(n.data(), Checked{});
        return std::nullopt;
    }

    const char* name() const { return name_; }
    std::string str() const { return name_; }
    operator std::string_view() const { return name_; }  // NOLINT: reads like the name it is
    friend bool operator==(Control a, Control b) { return std::string_view(a.name_) == std::string_view(b.name_); }

private:
    struct Checked {};
    constexpr Control(const char* name, Checked) : name_(name) {}
    const char* name_;
};

// Aliases of the designer's names, beside the name they stand for.
namespace ctl {

inline constexpr Control kMinimiseButton{"最小化按钮"};         // the title bar's minimise picture
inline constexpr Control kCloseButton{"图形按钮1"};             // the title bar's close picture
inline constexpr Control kIconPicture{"图形按钮6"};             // the program icon, hidden
inline constexpr Control kTitleLabel{"透明标签3"};              // the title, hidden
inline constexpr Control kRestoreRadio{"还原_单选框"};          // the one-tap page's restore mode
inline constexpr Control kBackupRadio{"备份_单选框"};           // the one-tap page's backup mode
inline constexpr Control kStartupTimer{"时钟1"};                // the first refresh after the window is up
inline constexpr Control kFileDialog{"通用对话框1"};            // the image file dialog
inline constexpr Control kToolsToggle{"工具切换按钮"};          // "高级工具" / "返回向导"
inline constexpr Control kWizard{"高级选择夹2"};                // the wizard's three pages
inline constexpr Control kToolPages{"高级选择夹1"};             // the eight tool pages
inline constexpr Control kWizardChoosePage{"高级选择夹2#0"};    // wizard page 1: the three systems
inline constexpr Control kWizardDownloadPage{"高级选择夹2#1"};  // wizard page 2: the download
inline constexpr Control kWizardRestartPage{"高级选择夹2#2"};   // wizard page 3: the restart
inline constexpr Control kXpGroup{"分组框9"};                   // Windows XP
inline constexpr Control kXpPicture{"图形按钮2"};
inline constexpr Control kXpName{"透明标签10"};
inline constexpr Control kXpText{"透明标签11"};
inline constexpr Control kInstallXpButton{"按钮11"};  // "安装此系统"
inline constexpr Control kWin7x86Group{"分组框10"};   // Windows 7 32-bit
inline constexpr Control kWin7x86Picture{"图形按钮3"};
inline constexpr Control kWin7x86Name{"透明标签6"};
inline constexpr Control kWin7x86Text{"透明标签7"};
inline constexpr Control kInstallWin7x86Button{"按钮14"};  // "安装此系统"
inline constexpr Control kWin7x64Group{"分组框11"};        // Windows 7 64-bit
inline constexpr Control kWin7x64Picture{"图形按钮4"};
inline constexpr Control kWin7x64Name{"透明标签8"};
inline constexpr Control kWin7x64Text{"透明标签9"};
inline constexpr Control kInstallWin7x64Button{"按钮15"};      // "安装此系统"
inline constexpr Control kDownloadStatusCaption{"透明标签4"};  // "下载状态:"
inline constexpr Control kDownloadStatus{"下载状态"};
inline constexpr Control kSavePathCaption{"透明标签12"};  // "保存路径:"
inline constexpr Control kSavePath{"保存路径"};
inline constexpr Control kPercentCaption{"透明标签5"};    // "已经完成:"
inline constexpr Control kPercentDone{"已用时间"};        // the percent done, despite its name
inline constexpr Control kFileSizeCaption{"透明标签14"};  // "文件大小:"
inline constexpr Control kFileSize{"文件大小"};
inline constexpr Control kSpeedCaption{"透明标签16"};  // "下载速度:", "平均速度:" at the end
inline constexpr Control kSpeed{"下载的速度"};
inline constexpr Control kReceivedCaption{"透明标签18"};  // "已经接收:"
inline constexpr Control kReceived{"已经接收"};
inline constexpr Control kDownloadGroup{"分组框8"};
inline constexpr Control kDownloadProgress{"进度条2"};
inline constexpr Control kAddressField{"下载的地址"};      // hidden: the address being downloaded
inline constexpr Control kFileNameField{"保存到文件名"};   // hidden: the image's path
inline constexpr Control kStartDownloadButton{"按钮16"};   // "开始下载", hidden
inline constexpr Control kPauseButton{"按钮17"};           // "暂停下载" / "继续下载"
inline constexpr Control kRetryButton{"按钮22"};           // "重新再试"
inline constexpr Control kManualDownloadButton{"按钮18"};  // "手动下载"
inline constexpr Control kDownloadHintPicture{"提示图形按钮3"};
inline constexpr Control kDownloadHintTitle{"提示透明标签3"};
inline constexpr Control kDownloadHint{"提示标签3"};
inline constexpr Control kDownloadTimer{"时钟2"};  // draws what the download's worker published
inline constexpr Control kRestartHintPicture{"提示图形按钮4"};
inline constexpr Control kRestartHintTitle{"提示透明标签4"};
inline constexpr Control kRestartHint{"提示标签4"};
inline constexpr Control kCountdownLabel{"提示透明标签5"};    // "60秒 后自动重启!"
inline constexpr Control kRestartNowButton{"按钮19"};         // "立即重启"
inline constexpr Control kRestartLaterButton{"按钮20"};       // "稍后重启"
inline constexpr Control kInstallDownloadedButton{"按钮21"};  // hidden: installs the downloaded image
inline constexpr Control kOneTapPage{"高级选择夹1#0"};        // " 一键还原 "
inline constexpr Control kRestorePage{"高级选择夹1#1"};
inline constexpr Control kBackupPage{"高级选择夹1#2"};
inline constexpr Control kSoftwarePage{"高级选择夹1#3"};
inline constexpr Control kHelpPage{"高级选择夹1#4"};
inline constexpr Control kFilesPage{"高级选择夹1#5"};
inline constexpr Control kFoldersPage{"高级选择夹1#6"};
inline constexpr Control kAboutPage{"高级选择夹1#7"};
inline constexpr Control kSystemDownloadView{"超文本浏览框1"};  // /system/
inline constexpr Control kImageGroup{"分组框1"};
inline constexpr Control kImageList{"映像文件_组合框"};       // the images found, and the one chosen
inline constexpr Control kSearchButton{"刷新硬盘映像_按钮"};  // "重新搜索"
inline constexpr Control kPickButton{"操作映像_按钮"};        // "打开(O)" / "保存(S)"
inline constexpr Control kTargetGroup{"分组框5"};
inline constexpr Control kRestoreList{"还原磁盘_超级列表框"};  // the partitions, drawn from the disk state
inline constexpr Control kRefreshByLettersButton{"按钮26"};    // "新刷新磁盘列表"
inline constexpr Control kRefreshByVolumesButton{"按钮2"};     // "刷新磁盘列表"
inline constexpr Control kRunButton{"开始还原_按钮"};          // "开始还原" / "开始备份"
// The second "刷新磁盘列表" (sizes from diskpart's volume columns), hidden until a download has ended or given up
// on an address: the image it wrote or deleted changed a partition's free room, which the list shows as before.
inline constexpr Control kRefreshAfterDownloadButton{"按钮1"};
inline constexpr Control kCopyToBackupListButton{"按钮3"};  // hidden: copies the partitions to the backup page
inline constexpr Control kOneTapHintPicture{"提示图形按钮"};
inline constexpr Control kOneTapHintTitle{"提示透明标签"};
inline constexpr Control kStatusLabel{"提示标签"};  // the one-tap page's sentence
inline constexpr Control kBackupTargetGroup{"分组框6"};
inline constexpr Control kBackupList{"备份磁盘_超级列表框"};  // the partitions to back up
inline constexpr Control kBackupFileGroup{"分组框2"};
inline constexpr Control kBackupPathCaption{"透明标签1"};
inline constexpr Control kBackupPath{"备份路径"};
inline constexpr Control kBackupBrowseButton{"操作映像_按钮1"};     // "浏览"
inline constexpr Control kBackupNowButton{"开始还原_按钮1"};        // "开始备份系统"
inline constexpr Control kBackupAtRestartButton{"开始还原_按钮2"};  // "重启时备份", hidden
inline constexpr Control kBackupHintPicture{"提示图形按钮1"};
inline constexpr Control kBackupHintTitle{"提示透明标签1"};
inline constexpr Control kBackupHint{"提示标签1"};
inline constexpr Control kSoftwareView{"超文本浏览框2"};  // /softbox/
inline constexpr Control kFileOptionsGroup{"分组框3"};
inline constexpr Control kBackupFolderCaption{"透明标签2"};
inline constexpr Control kBackupFolderBrowseButton{"按钮7"};  // "浏览"
inline constexpr Control kZipBackupButton{"按钮9"};           // "压缩备份"
inline constexpr Control kCopyBackupButton{"按钮8"};          // "拷贝备份"
inline constexpr Control kBackupSetList{"列表框1"};           // the dated backups
inline constexpr Control kRestoreFilesButton{"按钮13"};       // "开始还原"
inline constexpr Control kRefreshBackupSetsButton{"刷新备份列表"};
inline constexpr Control kFileProgressGroup{"分组框4"};
inline constexpr Control kFileProgress{"进度条1"};
inline constexpr Control kZipComponent{"ZIP压缩1"};
inline constexpr Control kUnusedFilesButton{"按钮12"};  // hidden, no handler
inline constexpr Control kFilesHintPicture{"提示图形按钮2"};
inline constexpr Control kFilesHintTitle{"提示透明标签2"};
inline constexpr Control kFilesHint{"提示标签2"};
inline constexpr Control kFoldersGroup{"分组框7"};
inline constexpr Control kReadFoldersButton{"按钮4"};   // "刷新"
inline constexpr Control kFoldersToDButton{"按钮5"};    // "一键转到d盘"
inline constexpr Control kApplyFoldersButton{"按钮6"};  // "应用"
inline constexpr Control kHelpView{"超文本浏览框3"};    // the help page, loaded when first shown
inline constexpr Control kAboutPicture{"图片框1"};
inline constexpr Control kJoinButton{"按钮10"};  // "加入", does nothing
}  // namespace ctl

// The lists and the label more than one feature reads or writes.
using ctl::kBackupList;
using ctl::kImageList;
using ctl::kRestoreList;
using ctl::kStatusLabel;

}  // namespace kx
