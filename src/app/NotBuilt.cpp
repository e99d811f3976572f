// Handlers whose workflows are not built yet. A click says so plainly; a start-up step that is not
// built does nothing. Each workflow removes its lines here when it lands.
#include "app/Handlers.h"

namespace kx {
namespace {

void SayNotBuilt(Program& p) { p.messages().Show("此功能尚未完成，请使用新版本。", "提示"); }

}  // namespace

// Application shell: the restart countdown.
void RestartNow(Program& p) { SayNotBuilt(p); }
void RestartLater(Program& p) { SayNotBuilt(p); }

// Imaging workflows.
// The image search itself is not built: it ends as the search ends, leaving the lists ready for use.
void ImageSearch(Program& p, const StopToken& stop) {
    if (stop.StopRequested()) return;
    WindowPort& w = p.window();
    if (w.RowCount("还原磁盘_超级列表框") > 0) w.SetSelection("还原磁盘_超级列表框", 0);
    w.SetEnabled("刷新硬盘映像_按钮", true);
    w.SetEnabled("映像文件_组合框", true);
}
void SetOneTapRestoreMode(Program& p) { SayNotBuilt(p); }
void SetOneTapBackupMode(Program& p) { SayNotBuilt(p); }
void ShowChosenImage(Program&) {}
void PickImageFile(Program& p) { SayNotBuilt(p); }
void ShowChosenTarget(Program&) {}
void OneTapRun(Program& p) { SayNotBuilt(p); }
void ProposeBackupFileName(Program&) {}
void ChooseBackupPath(Program& p) { SayNotBuilt(p); }
void BackupNow(Program& p) { SayNotBuilt(p); }
void BackupAtRestart(Program& p) { SayNotBuilt(p); }
void InstallDownloadedImage(Program& p) { SayNotBuilt(p); }
Outcome InstallImageFile(Program& p, const std::string&) {
    SayNotBuilt(p);
    return Outcome::Failed("安装系统");
}

}  // namespace kx
