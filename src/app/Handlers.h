#pragma once
// Every handler the event map and the created handler call, grouped by the subsystem that owns it.
#include <string>

#include "app/Program.h"
#include "base/Worker.h"

namespace kx {

// Application shell.
void MinimiseWindow(Program& p);
void CloseProgram(Program& p);
void OpenManualDownloadPage(Program& p);
void LoadHelpPage(Program& p);
void StartupTimerTick(Program& p);
void ToggleToolPages(Program& p);
void DoNothing(Program& p);
void RestartNow(Program& p);
void RestartLater(Program& p);

// Imaging workflows.
// Runs on the image-search worker that a full drive refresh starts; returns soon after a stop is requested.
void ImageSearch(Program& p, const StopToken& stop);
void SetOneTapRestoreMode(Program& p);
void SetOneTapBackupMode(Program& p);
void ShowChosenImage(Program& p);
void PickImageFile(Program& p);
void ShowChosenTarget(Program& p);
void OneTapRun(Program& p);
void ProposeBackupFileName(Program& p);
void ChooseBackupPath(Program& p);
void BackupNow(Program& p);
void BackupAtRestart(Program& p);
void InstallDownloadedImage(Program& p);
// Installs the image over the system partition and starts the restart countdown (imaging/Install.h); the
// wizard calls it when a download is complete or the user installs a file already there.
Outcome InstallImageFile(Program& p, const std::string& imagePath);

// Catalogue and download.
void InstallImageXp(Program& p);
void InstallImageWin7x86(Program& p);
void InstallImageWin7x64(Program& p);
void ConfirmAndStartDownload(Program& p);
void PauseOrResumeDownload(Program& p);
void RetryDownload(Program& p);
void StartDownloadTimerTick(Program& p);

}  // namespace kx
