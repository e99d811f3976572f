#pragma once
// The zip component: a folder into a standard deflate archive and back, with progress in percent.
// Names are stored as UTF-8 (general-purpose bit 11); names without that flag are read as code page 936,
// the encoding of archives made by tools on Chinese Windows.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kx {

// Receives the whole percent done (0 to 100) after every step of the work: each folder, each file and each
// buffer of up to 1 MB, so the same value often comes many times. Returning anything but 0 stops the
// operation at that step.
using ZipProgress = std::function<int(int percent)>;

struct ZipReport {
    bool ok = false;         // the whole job was done, nothing failed or was refused
    bool cancelled = false;  // the progress callback asked to stop
    std::string error;       // why the job as a whole failed (archive unreadable or unwritable)
    std::vector<std::string> refused;  // entries whose names lead outside the destination
    std::vector<std::string> failed;   // entries that could not be read, written or checked
};

// Compresses every file and subfolder of `folder` into `archive` (replaced when it exists). The archive is
// written beside its final name first, so a failed run leaves an earlier archive of that name intact.
ZipReport ZipFolder(const std::string& folder, const std::string& archive, const ZipProgress& progress = {});

// Extracts `archive` into `folder` (created when missing), replacing files of the same name. Each file
// replaces its namesake only once it has been extracted and checked in full.
ZipReport UnzipArchive(const std::string& archive, const std::string& folder, const ZipProgress& progress = {});

// The entry's place below the destination with "/" separators, or nothing when the name is absolute, has a
// drive or a ":" stream, or climbs with "..". "a\\b" counts as "a/b"; "." and empty parts are dropped.
std::optional<std::string> SafeEntryPath(std::string_view name);

// An entry name as UTF-8: `raw` is UTF-8 when `utf8Flag` is set, otherwise an Info-ZIP Unicode path field
// in `extra` that matches `raw` is preferred, and code page 936 is the last resort.
std::string DecodeEntryName(std::string_view raw, bool utf8Flag, std::string_view extra = {});

}  // namespace kx
