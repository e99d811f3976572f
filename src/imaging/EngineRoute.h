#pragma once
// The engine route of a staged job: at the next start our imaging engine saves a partition into an image
// folder (compressed streams and manifest.txt) or restores a partition from one. The DOS route's Ghost
// images are not the engine's: a build that takes this route refuses them with the reason.
#include <string>

#include "imaging/Imaging.h"
#include "imaging/WimInfo.h"

namespace kx {

inline constexpr const char* kManifestFile = "manifest.txt";
// The last job's log once the program has shown its result.
inline constexpr const char* kShownEngineLogFile = "KORVANIX.OLD";
extern const char* const kEngineNoGhostText;

// The image folder a backup to `imagePath` makes: the path without a ".gho" ("D:\qzrpgho\C2015.gho" gives
// "D:\qzrpgho\C2015"); other paths stay as they are.
std::string EngineImageFolder(const std::string& imagePath);
// Whether `path` is an image folder the engine made (it holds manifest.txt).
bool IsEngineImage(const ImagingContext& c, const std::string& path);

// What only the engine route needs, checked before anything is written: a restore's folder is an engine
// image, and the folder lies on a hard-disk partition of the list (the engine finds nothing else).
Outcome CheckEngineImage(const ImagingContext& c, bool restore, const std::string& folder);
// Writes the boot files, the engine and the job onto the system drive for a restore of `partition` (drive
// letter; `designator` its Ghost designator for the log) from the image folder `folder`, or a backup of it into
// that folder. The partitions' identities are read first: a failure there leaves nothing written, a failure
// later leaves no job.
Outcome StageEngineJob(const ImagingContext& c, bool restore, const std::string& partition,
                       const std::string& designator, const std::string& folder);
// Windows imaging files (".wim", the solid ".esd"), which the engine applies to a partition.
bool IsImagingFile(const std::string& path);
Result<WimInfo> ReadImagingFile(ImageFilePort& files, const std::string& path);
// Before an apply of edition `index` of `imageFile` to partition `target` (drive letter) is staged: the file
// lies on a listed hard-disk partition under a path the engine can name, it is a whole WIM or ESD, it has
// that edition (which is returned), and the edition's files fit the partition.
Result<WimEdition> CheckEngineApply(const ImagingContext& c, const std::string& imageFile, uint32_t index,
                                    const std::string& target);
// The edition of `imageFile` to install: the only one, or the user's answer among several (read from the
// file's own list of editions). Nothing when the user cancelled or the file cannot be read (the reason was
// shown).
std::optional<uint32_t> ChooseEdition(const ImagingContext& c, const std::string& imageFile);
// As StageEngineJob, for an apply: at the next start the engine formats `partition` (keeping its boot code)
// and writes edition `index` of `imageFile` to it.
Outcome StageEngineApply(const ImagingContext& c, const std::string& partition, const std::string& designator,
                         const std::string& imageFile, uint32_t index);
// Takes a staged job back: the job file of this build's route (Ghost.bat or KORVANIX.JOB), the boot entry
// (RemoveBootEntry) and then the boot files on the system drive. Done when all of it is gone.
Outcome WithdrawJob(const ImagingContext& c, const std::string& systemDrive);
// `failure`, after the job was withdrawn; a withdrawal that failed as well is named in it.
Outcome WithdrawnAfter(const ImagingContext& c, const std::string& systemDrive, const Outcome& failure);

// At the start: the engine's last job, from its log on the system drive, shown once (the restore page's line
// and a message box, the time and image size of a success among it; the log is then kept as KORVANIX.OLD).
// Unless a job waits for the coming restart, what the last job left is then taken back (WithdrawJob); a job
// the boot environment did not run is reported with the likely reasons.
void ShowLastEngineResult(const ImagingContext& c);

}  // namespace kx
