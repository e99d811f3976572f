#pragma once
// What the user is told before the restart that runs an engine job: the engine's screen speaks English
// (the kernel's console has no Chinese glyphs), shows its progress, must not be switched off, and takes
// about so long.
#include <string>

namespace kx {

// The estimate assumes a slow machine of the Windows XP era: this many megabytes of the partition in use a
// second, the image check before a restore included.
inline constexpr double kEngineBackupMBps = 15;
inline constexpr double kEngineRestoreMBps = 12;

// The notice for a backup or restore of a partition whose list row shows `usedCell` in use ("12.5 GB", in
// units of 1073741824 bytes); without a readable size it says no time.
std::string EngineScreenNotice(bool restore, const std::string& usedCell);

}  // namespace kx
