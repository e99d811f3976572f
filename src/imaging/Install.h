#pragma once
// Installing a system image over the system partition: the restore job that the boot environment runs at
// the next start, and the restart that follows. Used by the download wizard (a finished download, the
// "install the file already there" answer) and by the hidden install button.
#include <cstdint>
#include <string>

#include "base/Outcome.h"

namespace kx {

struct ImagingContext;  // imaging/Imaging.h

// Stages the restore of `imagePath` onto the system partition: boot files, the job, the one-time boot
// entry; "就绪" is set only when all of them are in place. Every refusal and failure is shown to the user
// here (the caller shows nothing). When done, the wizard shows page "3" and the restart countdown starts;
// when not, the wizard goes back to page "1" and nothing restarts. Callable from the window thread or a
// worker; the returned outcome says whether the machine will install at the next start.
//
// On the engine route the image is a Windows imaging file (.wim, .esd) and the job applies its edition
// `edition`; 0 asks the user when the file has several.
Outcome InstallAndScheduleRestart(const ImagingContext& c, const std::string& imagePath, uint32_t edition = 0);
// What InstallAndScheduleRestart would refuse for the image at `imagePath` on this machine, asked before
// a download: the build's route, the system partition and the image's partition in the partition list,
// the firmware, the system disk's layout, the Windows version.
Outcome CheckInstallCanRun(const ImagingContext& c, const std::string& imagePath);

}  // namespace kx
