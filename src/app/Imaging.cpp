// The imaging pages' handlers: each passes the imaging context to its workflow.
#include "app/Handlers.h"
#include "imaging/Install.h"

namespace kx {

void ImageSearch(Program& p, const StopToken& stop) { ImageSearch(p.Imaging(), stop); }
void SetOneTapRestoreMode(Program& p) { SetOneTapRestoreMode(p.Imaging()); }
void SetOneTapBackupMode(Program& p) { SetOneTapBackupMode(p.Imaging()); }
void ShowChosenImage(Program& p) { ShowChosenImage(p.Imaging()); }
void ShowChosenTarget(Program& p) { ShowChosenTarget(p.Imaging()); }
void PickImageFile(Program& p) { PickImageFile(p.Imaging()); }
void OneTapRun(Program& p) { OneTapRun(p.Imaging()); }
void ProposeBackupFileName(Program& p) { ProposeBackupFileName(p.Imaging()); }
void ChooseBackupPath(Program& p) { ChooseBackupPath(p.Imaging()); }
void BackupNow(Program& p) { BackupNow(p.Imaging()); }
void BackupAtRestart(Program& p) { BackupAtRestart(p.Imaging()); }
void RestartNow(Program& p) { RestartNow(p.Imaging()); }
void RestartLater(Program& p) { RestartLater(p.Imaging()); }

Outcome InstallImageFile(Program& p, const std::string& imagePath) {
    return InstallAndScheduleRestart(p.Imaging(), imagePath);
}

void InstallDownloadedImage(Program& p) { (void)InstallImageFile(p, p.window().Text("保存到文件名")); }

}  // namespace kx
