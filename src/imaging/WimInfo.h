#pragma once
// What a Windows Imaging file (.wim, or the solid .esd) says about itself: its header, and the XML that
// names its images, the editions a user chooses between. Portable: the caller reads the file's bytes.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Outcome.h"

namespace kx {

struct WimEdition {
    int index = 0;  // 1-based, as the engine's job names it
    std::string name, displayName, description;
    uint64_t totalBytes = 0;  // of the files once applied
    int windowsMajor = 0;     // the Windows it holds: 5 for XP, 6 for Vista to 8; 0 when the file does not say
};

struct WimInfo {
    uint32_t version = 0;
    bool solid = false;  // an ESD's solid resources (LZMS): wimlib applies them, older tools do not
    uint16_t part = 0, totalParts = 0;
    uint32_t imageCount = 0;
    std::vector<WimEdition> editions;  // in index order
};

// Reads up to `size` bytes at `offset` of the file; fewer at its end.
using WimReadAt = std::function<Result<std::string>(uint64_t offset, uint32_t size)>;

// The header and the editions. Fails with the reason for a file that is not a WIM, a part of a split
// image, an XML that is compressed, cut short or names other images than the header counts.
Result<WimInfo> ReadWimInfo(const WimReadAt& read);

// The editions the image XML (as UTF-8) names.
std::vector<WimEdition> EditionsOfWimXml(std::string_view xml);

// UTF-16LE bytes (a byte-order mark is skipped) as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8OfUtf16Le(std::string_view bytes);

// "2: Windows 7 旗舰版" for the edition question: the display name when there is one, else the name.
std::string EditionLabel(const WimEdition& edition);

}  // namespace kx
