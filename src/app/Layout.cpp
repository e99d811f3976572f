#include "app/Layout.h"

#include <array>

#include "base/ControlNames.h"

namespace kx {
namespace {

using K = ControlKind;

constexpr WindowSpec kWindow{"TQzrpOneTapGhost", "重装系统工具", 50, 50, 789, 590};

constexpr const char* kRestoreColumns =
    "还原分区:80|盘号:66|类型:100|卷标:100|格式:76|可以空间(GB):100|空间大小(GB):100|当前系统盘符:100";
constexpr const char* kBackupColumns =
    "备份分区:80|盘号:66|类型:100|卷标:90|格式:80|可以空间(GB):100|空间大小(GB):100|当前系统盘符:100";

constexpr ControlSpec kControls[] = {
    // The window's own controls.
    {"最小化按钮", K::ImageButton, "", 716, 1, 27, 24, "", true, "minimise"},
    {"图形按钮1", K::ImageButton, "", 744, 1, 40, 24, "", true, "close"},
    {"图形按钮6", K::ImageButton, "", 5, 5, 26, 25, "", false, "icon"},
    {"透明标签3", K::TransparentLabel, "", 34, 6, 302, 16, "电脑重装系统助手", false},
    {"时钟1", K::Timer, "", 0, 0, 0, 0, "", false, "", "", 1000},
    {"通用对话框1", K::FileDialog, "", 0, 0, 0, 0, "映像文件(*.GHO;*.ISO;*.GGH)|*.GHO;*.ISO;*.GGH", false},
    {"工具切换按钮", K::FlatButton, "", 648, 32, 124, 28, "高级工具", true},
    {"高级选择夹2", K::PageControl, "", 8, 160, 772, 392, "", true},
    {"高级选择夹1", K::PageControl, "", -888, 90, 779, 431, "", true},

    // Wizard pages.
    {"高级选择夹2#0", K::Page, "高级选择夹2", 0, 0, 772, 392, "1", true},
    {"高级选择夹2#1", K::Page, "高级选择夹2", 0, 0, 772, 392, "2", true},
    {"高级选择夹2#2", K::Page, "高级选择夹2", 0, 0, 772, 392, "3", true},

    // Wizard page "1": the three systems.
    {"分组框9", K::GroupBox, "高级选择夹2#0", 16, 8, 736, 116, "", true},
    {"图形按钮2", K::ImageButton, "分组框9", 8, 8, 158, 95, "", true, "system_xp"},
    {"透明标签10", K::TransparentLabel, "分组框9", 191, 21, 420, 24, "Windows XP SP3 专业版 32位", true},
    {"透明标签11", K::TransparentLabel, "分组框9", 191, 53, 420, 44,
     "经典稳定，占用资源少，运行流畅。\r\n推荐内存小于1G的电脑安装。", true},
    {"按钮11", K::PushButton, "分组框9", 632, 46, 80, 32, "安装此系统", true},
    {"分组框10", K::GroupBox, "高级选择夹2#0", 16, 136, 736, 116, "", true},
    {"图形按钮3", K::ImageButton, "分组框10", 8, 8, 158, 95, "", true, "system_win7_32"},
    {"透明标签6", K::TransparentLabel, "分组框10", 191, 21, 420, 24, "Windows 7 SP1 旗舰版 32位", true},
    {"透明标签7", K::TransparentLabel, "分组框10", 191, 53, 420, 44,
     "界面美观，兼容性好，适合日常办公与娱乐。\r\n推荐内存小于2G的电脑安装。", true},
    {"按钮14", K::PushButton, "分组框10", 632, 46, 80, 32, "安装此系统", true},
    {"分组框11", K::GroupBox, "高级选择夹2#0", 16, 264, 736, 116, "", true},
    {"图形按钮4", K::ImageButton, "分组框11", 8, 8, 158, 95, "", true, "system_win7_64"},
    {"透明标签8", K::TransparentLabel, "分组框11", 191, 21, 420, 24, "Windows 7 SP1 旗舰版 64位", true},
    {"透明标签9", K::TransparentLabel, "分组框11", 191, 53, 420, 44,
     "充分利用大内存，性能更强。\r\n推荐内存大于2G的电脑安装。", true},
    {"按钮15", K::PushButton, "分组框11", 632, 46, 80, 32, "安装此系统", true},

    // Wizard page "2": the download.
    {"透明标签4", K::TransparentLabel, "高级选择夹2#1", 48, 40, 72, 20, "下载状态:", true},
    {"下载状态", K::TransparentLabel, "高级选择夹2#1", 120, 44, 140, 20, "准备下载", true},
    {"透明标签12", K::TransparentLabel, "高级选择夹2#1", 266, 40, 72, 20, "保存路径:", true},
    {"保存路径", K::TransparentLabel, "高级选择夹2#1", 338, 44, 180, 20, "", true},
    {"透明标签5", K::TransparentLabel, "高级选择夹2#1", 520, 40, 72, 20, "已经完成:", true},
    {"已用时间", K::TransparentLabel, "高级选择夹2#1", 592, 44, 140, 20, "0", true},
    {"透明标签14", K::TransparentLabel, "高级选择夹2#1", 48, 77, 72, 20, "文件大小:", true},
    {"文件大小", K::TransparentLabel, "高级选择夹2#1", 120, 81, 140, 20, "正在获取", true},
    {"透明标签16", K::TransparentLabel, "高级选择夹2#1", 264, 77, 72, 20, "下载速度:", true},
    {"下载的速度", K::TransparentLabel, "高级选择夹2#1", 336, 81, 180, 20, "0kb", true},
    {"透明标签18", K::TransparentLabel, "高级选择夹2#1", 520, 77, 72, 20, "已经接收:", true},
    {"已经接收", K::TransparentLabel, "高级选择夹2#1", 592, 81, 140, 20, "0%", true},
    {"分组框8", K::GroupBox, "高级选择夹2#1", 41, 144, 688, 100, "正在下载系统,请稍后...", true},
    {"进度条2", K::ProgressBar, "分组框8", 23, 39, 640, 24, "", true},
    {"下载的地址", K::EditBox, "高级选择夹2#1", 40, 248, 688, 20, "", false},
    {"保存到文件名", K::EditBox, "高级选择夹2#1", 224, 352, 288, 20, "", false},
    {"按钮16", K::PushButton, "高级选择夹2#1", 650, 351, 80, 32, "开始下载", false},
    {"按钮17", K::PushButton, "高级选择夹2#1", 448, 279, 80, 32, "停止下载", false},
    {"按钮22", K::PushButton, "高级选择夹2#1", 648, 272, 80, 32, "重新再试", false},
    {"按钮18", K::PushButton, "高级选择夹2#1", 648, 312, 80, 32, "手动下载", true},
    {"提示图形按钮3", K::ImageButton, "高级选择夹2#1", 40, 296, 48, 47, "", true, "hint_download"},
    {"提示透明标签3", K::TransparentLabel, "高级选择夹2#1", 104, 288, 300, 24, "正在下载系统", true},
    {"提示标签3", K::TransparentLabel, "高级选择夹2#1", 104, 316, 530, 40,
     "正在下载系统,下载完成后程序会自动安装系统,下载时间取决于你的网速,"
     "如果下载失败请点击手动下载按钮进行手动下载安装！",
     true},
    {"时钟2", K::Timer, "高级选择夹2#1", 0, 0, 0, 0, "", false, "", "", 0},

    // Wizard page "3": deployed.
    {"提示图形按钮4", K::ImageButton, "高级选择夹2#2", 128, 128, 48, 47, "", true, "hint_done"},
    {"提示透明标签4", K::TransparentLabel, "高级选择夹2#2", 192, 120, 192, 24, "恭喜您!系统部署成功!", true},
    {"提示标签4", K::TransparentLabel, "高级选择夹2#2", 192, 152, 464, 72,
     "系统部署成功,现在需要重启电脑,你可以选择立即重启或稍后重启电脑,如果无操作程序会在等待一分钟后自动重启."
     "重启后程序会全自动"
     "完成系统安装！",
     true},
    {"提示透明标签5", K::TransparentLabel, "高级选择夹2#2", 288, 261, 168, 24, "60秒 后自动重启!", true},
    {"按钮19", K::PushButton, "高级选择夹2#2", 472, 249, 80, 32, "立即重启", true},
    {"按钮20", K::PushButton, "高级选择夹2#2", 568, 248, 80, 32, "稍后重启", true},
    {"按钮21", K::PushButton, "高级选择夹2#2", 296, 320, 80, 32, "", false},

    // The outer page control's eight pages.
    {"高级选择夹1#0", K::Page, "高级选择夹1", 0, 0, 779, 431, " 系统下载 ", true},
    {"高级选择夹1#1", K::Page, "高级选择夹1", 0, 0, 779, 431, " 系统还原 ", true},
    {"高级选择夹1#2", K::Page, "高级选择夹1", 0, 0, 779, 431, " 系统备份 ", true},
    {"高级选择夹1#3", K::Page, "高级选择夹1", 0, 0, 779, 431, " 软件下载 ", true},
    {"高级选择夹1#4", K::Page, "高级选择夹1", 0, 0, 779, 431, " 文件备份 ", true},
    {"高级选择夹1#5", K::Page, "高级选择夹1", 0, 0, 779, 431, " 定义路径 ", true},
    {"高级选择夹1#6", K::Page, "高级选择夹1", 0, 0, 779, 431, " 使用帮助 ", true},
    {"高级选择夹1#7", K::Page, "高级选择夹1", 0, 0, 779, 431, " 关于软件 ", true},

    // " 系统下载 "
    {"超文本浏览框1", K::WebView, "高级选择夹1#0", 2, 34, 775, 395, "/system/", true},

    // " 系统还原 "
    {"分组框1", K::GroupBox, "高级选择夹1#1", 8, 40, 763, 96, "电脑中搜索到的Ghost映像文件", true},
    {"映像文件_组合框", K::ListBox, "分组框1", 8, 20, 651, 64, "", true},
    {"刷新硬盘映像_按钮", K::PushButton, "分组框1", 667, 18, 88, 30, "重新搜索", true},
    {"操作映像_按钮", K::PushButton, "分组框1", 667, 54, 88, 30, "指定文件", true},
    {"分组框5", K::GroupBox, "高级选择夹1#1", 8, 143, 763, 208, "选择要安装系统的磁盘分区", true},
    {"还原磁盘_超级列表框", K::ListView, "分组框5", 8, 26, 747, 167, "", true, "", kRestoreColumns},
    {"按钮26", K::PushButton, "高级选择夹1#1", 663, 350, 104, 32, "新刷新磁盘列表", true},
    {"按钮2", K::PushButton, "高级选择夹1#1", 600, 382, 80, 32, "刷新磁盘列表", true},
    {"开始还原_按钮", K::PushButton, "高级选择夹1#1", 685, 382, 88, 32, "开始还原系统", true},
    {"按钮1", K::PushButton, "高级选择夹1#1", 510, 382, 80, 32, "刷新磁盘列表", false},
    {"按钮3", K::PushButton, "高级选择夹1#1", 420, 382, 80, 32, "", false},
    {"提示图形按钮", K::ImageButton, "高级选择夹1#1", 16, 360, 48, 47, "", true, "hint_restore"},
    {"提示透明标签", K::TransparentLabel, "高级选择夹1#1", 72, 362, 300, 22, "还原系统", true},
    {"提示标签", K::TransparentLabel, "高级选择夹1#1", 72, 390, 420, 20, "把备份的Ghost映像文件还原到指定硬盘分区！",
     true},
    // The page's two modes; the build that runs its own imaging engine shows them (Program::OnCreated).
    {"还原_单选框", K::RadioButton, "高级选择夹1#1", 384, 360, 120, 24, "还原系统(R)", false},
    {"备份_单选框", K::RadioButton, "高级选择夹1#1", 508, 360, 120, 24, "备份系统(B)", false},

    // " 系统备份 "
    {"分组框6", K::GroupBox, "高级选择夹1#2", 8, 40, 763, 208, "选择要备份的磁盘分区", true},
    {"备份磁盘_超级列表框", K::ListView, "分组框6", 8, 26, 747, 170, "", true, "", kBackupColumns},
    {"分组框2", K::GroupBox, "高级选择夹1#2", 8, 256, 763, 64, "把选择的分区备份到ghost映像文件：", true},
    {"透明标签1", K::TransparentLabel, "分组框2", 12, 30, 104, 20, "备份到映像文件:", true},
    {"备份路径", K::EditBox, "分组框2", 120, 28, 536, 22, "", true},
    {"操作映像_按钮1", K::PushButton, "分组框2", 668, 24, 80, 30, "浏览", true},
    {"开始还原_按钮1", K::PushButton, "高级选择夹1#2", 669, 374, 100, 32, "开始备份系统", true},
    {"开始还原_按钮2", K::PushButton, "高级选择夹1#2", 560, 374, 100, 32, "重启时备份", false},
    {"提示图形按钮1", K::ImageButton, "高级选择夹1#2", 16, 340, 48, 47, "", true, "hint_backup"},
    {"提示透明标签1", K::TransparentLabel, "高级选择夹1#2", 72, 342, 300, 22, "备份系统", true},
    {"提示标签1", K::TransparentLabel, "高级选择夹1#2", 72, 370, 420, 20, "把指定硬盘分区备份到Ghost映像文件！", true},

    // " 软件下载 "
    {"超文本浏览框2", K::WebView, "高级选择夹1#3", 2, 34, 775, 395, "/softbox/", true},

    // " 文件备份 "
    {"分组框3", K::GroupBox, "高级选择夹1#4", 8, 36, 763, 100, "备份选项", true},
    {"备份我的文档", K::CheckBox, "分组框3", 16, 24, 120, 22, "备份我的文档", true},
    {"备份收藏夹", K::CheckBox, "分组框3", 146, 24, 120, 22, "备份收藏夹", true},
    {"备份Cookies", K::CheckBox, "分组框3", 276, 24, 120, 22, "备份Cookies", true},
    {"备份桌面文件", K::CheckBox, "分组框3", 406, 24, 120, 22, "备份桌面文件", true},
    {"透明标签2", K::TransparentLabel, "分组框3", 16, 64, 72, 20, "备份目录:", true},
    {"备份到目录", K::EditBox, "分组框3", 90, 62, 380, 22, "D:\\装系统前备份", true},
    {"按钮7", K::PushButton, "分组框3", 482, 58, 80, 30, "浏览", true},
    {"按钮9", K::PushButton, "分组框3", 572, 58, 80, 30, "压缩备份", true},
    {"按钮8", K::PushButton, "分组框3", 662, 58, 80, 30, "拷贝备份", true},
    {"资料还原", K::GroupBox, "高级选择夹1#4", 8, 142, 763, 150,
     "资料还原（选择以前备份的数据包，点击还原按钮开始还原）", true},
    {"还原我的文档", K::CheckBox, "资料还原", 16, 24, 120, 22, "还原我的文档", true},
    {"还原收藏夹", K::CheckBox, "资料还原", 146, 24, 120, 22, "还原收藏夹", true},
    {"还原Cookies", K::CheckBox, "资料还原", 276, 24, 120, 22, "还原Cookies", true},
    {"还原桌面文件", K::CheckBox, "资料还原", 406, 24, 120, 22, "还原桌面文件", true},
    {"列表框1", K::ListBox, "资料还原", 16, 54, 560, 84, "", true},
    {"按钮13", K::PushButton, "资料还原", 590, 54, 80, 30, "开始还原", true},
    {"刷新备份列表", K::PushButton, "资料还原", 590, 96, 100, 30, "刷新备份列表", true},
    {"分组框4", K::GroupBox, "高级选择夹1#4", 8, 298, 763, 56, "处理进度", true},
    {"进度条1", K::ProgressBar, "分组框4", 12, 24, 739, 20, "", true},
    {"ZIP压缩1", K::ZipComponent, "高级选择夹1#4", 0, 0, 0, 0, "", false},
    {"按钮12", K::PushButton, "高级选择夹1#4", 690, 380, 80, 32, "", false},
    {"提示图形按钮2", K::ImageButton, "高级选择夹1#4", 16, 364, 48, 47, "", true, "hint_files"},
    {"提示透明标签2", K::TransparentLabel, "高级选择夹1#4", 72, 366, 300, 22, "文件备份", true},
    {"提示标签2", K::TransparentLabel, "高级选择夹1#4", 72, 394, 640, 20,
     "装系统前最好把我的文档,收藏夹,cookies,桌面文件这些重要数据进行一次备份！", true},

    // " 定义路径 "
    {"分组框7", K::GroupBox, "高级选择夹1#5", 8, 36, 763, 330, "用户特殊文件夹位置", true},
    // One row a shell folder: its label, the current and the new place, the browse button.
    {"我的文档标签", K::TransparentLabel, "分组框7", 4, 21, 73, 20, "我的文档：", true},
    {"我的文档编辑框", K::EditBox, "分组框7", 77, 18, 266, 22, "", true},
    {"我的文档修改为标签", K::TransparentLabel, "分组框7", 355, 21, 60, 20, "修改为：", true},
    {"我的文档编辑框1", K::EditBox, "分组框7", 415, 18, 266, 22, "", true},
    {"我的文档超级按钮", K::FlatButton, "分组框7", 692, 22, 14, 14, "…", true},
    {"历史记录标签", K::TransparentLabel, "分组框7", 4, 51, 73, 20, "历史记录：", true},
    {"历史记录编辑框", K::EditBox, "分组框7", 77, 48, 266, 22, "", true},
    {"历史记录修改为标签", K::TransparentLabel, "分组框7", 355, 51, 60, 20, "修改为：", true},
    {"历史记录编辑框1", K::EditBox, "分组框7", 415, 48, 266, 22, "", true},
    {"历史记录超级按钮", K::FlatButton, "分组框7", 692, 52, 14, 14, "…", true},
    {"IE临时文件夹标签", K::TransparentLabel, "分组框7", 4, 81, 73, 20, "IE临时文件：", true},
    {"IE临时文件夹编辑框", K::EditBox, "分组框7", 77, 78, 266, 22, "", true},
    {"IE临时文件夹修改为标签", K::TransparentLabel, "分组框7", 355, 81, 60, 20, "修改为：", true},
    {"IE临时文件夹编辑框1", K::EditBox, "分组框7", 415, 78, 266, 22, "", true},
    {"IE临时文件夹超级按钮", K::FlatButton, "分组框7", 692, 82, 14, 14, "…", true},
    {"Cookies标签", K::TransparentLabel, "分组框7", 4, 111, 73, 20, "Cookies：", true},
    {"Cookies编辑框", K::EditBox, "分组框7", 77, 108, 266, 22, "", true},
    {"Cookies修改为标签", K::TransparentLabel, "分组框7", 355, 111, 60, 20, "修改为：", true},
    {"Cookies编辑框1", K::EditBox, "分组框7", 415, 108, 266, 22, "", true},
    {"Cookies超级按钮", K::FlatButton, "分组框7", 692, 112, 14, 14, "…", true},
    {"收藏夹标签", K::TransparentLabel, "分组框7", 4, 141, 73, 20, "收藏夹：", true},
    {"收藏夹编辑框", K::EditBox, "分组框7", 77, 138, 266, 22, "", true},
    {"收藏夹修改为标签", K::TransparentLabel, "分组框7", 355, 141, 60, 20, "修改为：", true},
    {"收藏夹编辑框1", K::EditBox, "分组框7", 415, 138, 266, 22, "", true},
    {"收藏夹超级按钮", K::FlatButton, "分组框7", 692, 142, 14, 14, "…", true},
    {"桌面标签", K::TransparentLabel, "分组框7", 4, 171, 73, 20, "桌面：", true},
    {"桌面编辑框", K::EditBox, "分组框7", 77, 168, 266, 22, "", true},
    {"桌面修改为标签", K::TransparentLabel, "分组框7", 355, 171, 60, 20, "修改为：", true},
    {"桌面编辑框1", K::EditBox, "分组框7", 415, 168, 266, 22, "", true},
    {"桌面超级按钮", K::FlatButton, "分组框7", 692, 172, 14, 14, "…", true},
    {"开始菜单标签", K::TransparentLabel, "分组框7", 4, 201, 73, 20, "开始菜单：", true},
    {"开始菜单编辑框", K::EditBox, "分组框7", 77, 198, 266, 22, "", true},
    {"开始菜单修改为标签", K::TransparentLabel, "分组框7", 355, 201, 60, 20, "修改为：", true},
    {"开始菜单编辑框1", K::EditBox, "分组框7", 415, 198, 266, 22, "", true},
    {"开始菜单超级按钮", K::FlatButton, "分组框7", 692, 202, 14, 14, "…", true},
    {"菜单程序标签", K::TransparentLabel, "分组框7", 4, 231, 73, 20, "菜单程序：", true},
    {"菜单程序编辑框", K::EditBox, "分组框7", 77, 228, 266, 22, "", true},
    {"菜单程序修改为标签", K::TransparentLabel, "分组框7", 355, 231, 60, 20, "修改为：", true},
    {"菜单程序编辑框1", K::EditBox, "分组框7", 415, 228, 266, 22, "", true},
    {"菜单程序超级按钮", K::FlatButton, "分组框7", 692, 232, 14, 14, "…", true},
    {"启动项标签", K::TransparentLabel, "分组框7", 4, 261, 73, 20, "启动项：", true},
    {"启动项编辑框", K::EditBox, "分组框7", 77, 258, 266, 22, "", true},
    {"启动项修改为标签", K::TransparentLabel, "分组框7", 355, 261, 60, 20, "修改为：", true},
    {"启动项编辑框1", K::EditBox, "分组框7", 415, 258, 266, 22, "", true},
    {"启动项超级按钮", K::FlatButton, "分组框7", 692, 262, 14, 14, "…", true},
    {"下载目录标签", K::TransparentLabel, "分组框7", 4, 297, 73, 20, "下载目录：", true},
    {"下载目录编辑框", K::EditBox, "分组框7", 77, 294, 266, 22, "", true},
    {"下载目录修改为标签", K::TransparentLabel, "分组框7", 355, 297, 60, 20, "修改为：", true},
    {"下载目录编辑框1", K::EditBox, "分组框7", 415, 294, 266, 22, "", true},
    {"下载目录超级按钮", K::FlatButton, "分组框7", 692, 298, 14, 14, "…", true},
    {"按钮4", K::PushButton, "高级选择夹1#5", 470, 380, 80, 32, "刷新", true},
    {"按钮5", K::PushButton, "高级选择夹1#5", 570, 380, 100, 32, "一键转到d盘", true},
    {"按钮6", K::PushButton, "高级选择夹1#5", 690, 380, 80, 32, "应用", true},

    // " 使用帮助 "
    {"超文本浏览框3", K::WebView, "高级选择夹1#6", 2, 34, 775, 395, "about:blank", true},

    // " 关于软件 "
    {"图片框1", K::PictureBox, "高级选择夹1#7", 2, 34, 775, 340, "", true, "about"},
    {"按钮10", K::PushButton, "高级选择夹1#7", 690, 385, 80, 32, "加入", true},
};

// The table and the list of names controls are made from agree: every row's name is a listed one, and
// each listed name has exactly one row.
consteval bool TableMatchesNames() {
    if (std::size(kControls) != std::size(kLayoutNames)) return false;
    for (size_t i = 0; i < std::size(kControls); ++i) {
        if (!IsLayoutName(kControls[i].name)) return false;
        for (size_t j = i + 1; j < std::size(kControls); ++j)
            if (std::string_view(kControls[i].name) == kControls[j].name) return false;
    }
    return true;
}
static_assert(TableMatchesNames(),
              "the layout table and kLayoutNames (base/ControlNames.h) must list the same controls");

}  // namespace

std::string_view KindName(ControlKind kind) {
    static constexpr std::array<std::string_view, 19> kNames = {
        "label",     "transparent-label", "group-box",   "edit-box",  "push-button",  "image-button", "flat-button",
        "check-box", "radio-button",      "list-box",    "list-view", "progress-bar", "timer",        "page-control",
        "page",      "web-view",          "file-dialog", "zip",       "picture-box"};
    return kNames.at(static_cast<size_t>(kind));
}

const WindowSpec& MainWindowSpec() { return kWindow; }

std::span<const ControlSpec> MainLayout() { return kControls; }

const ControlSpec* FindControl(std::string_view name) {
    for (const auto& c : kControls)
        if (name == c.name) return &c;
    return nullptr;
}

Control ControlOf(const ControlSpec& spec) { return *Control::Find(spec.name); }

std::string PageName(std::string_view pageControl, int index) {
    return std::string(pageControl) + "#" + std::to_string(index);
}

bool IsTitleLabel(std::string_view name) {
    return name == "透明标签10" || name == "透明标签6" || name == "透明标签8" || name.starts_with("提示透明标签");
}

int TabStripHeight(std::string_view pageControl) { return pageControl == "高级选择夹1" ? 30 : 0; }

}  // namespace kx
