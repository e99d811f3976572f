// Handlers whose workflows are not built yet. A click says so plainly; a start-up step that is not
// built does nothing. Each workflow removes its lines here when it lands.
#include "app/Handlers.h"

namespace kx {
namespace {

void SayNotBuilt(Program& p) { p.messages().Show("此功能尚未完成，请使用新版本。", "提示"); }

}  // namespace

// Catalogue and download.
void InstallImageXp(Program& p) { SayNotBuilt(p); }
void InstallImageWin7x86(Program& p) { SayNotBuilt(p); }
void InstallImageWin7x64(Program& p) { SayNotBuilt(p); }
void ConfirmAndStartDownload(Program& p) { SayNotBuilt(p); }
void PauseOrResumeDownload(Program& p) { SayNotBuilt(p); }
void RetryDownload(Program& p) { SayNotBuilt(p); }
void StartDownloadTimerTick(Program& p) { p.window().SetTimerPeriod("时钟2", 0); }

}  // namespace kx
