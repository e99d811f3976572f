// The wizard's catalogue and download handlers: each hands the download feature what it uses.
#include "app/Handlers.h"

namespace kx {

void InstallImageXp(Program& p) { InstallImage(p.Download(), WizardImage::WinXp); }
void InstallImageWin7x86(Program& p) { InstallImage(p.Download(), WizardImage::Win7x86); }
void InstallImageWin7x64(Program& p) { InstallImage(p.Download(), WizardImage::Win7x64); }
void ConfirmAndStartDownload(Program& p) { ConfirmAndStartDownload(p.Download()); }
void PauseOrResumeDownload(Program& p) { PauseOrResumeDownload(p.Download()); }
void RetryDownload(Program& p) { RetryDownload(p.Download()); }
void StartDownloadTimerTick(Program& p) { StartDownloadTimerTick(p.Download()); }

}  // namespace kx
