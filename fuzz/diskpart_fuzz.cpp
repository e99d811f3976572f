// The diskpart table readers on arbitrary output: they must never crash, and every partition they
// list must carry a one-letter drive and a designator of the form disk:number.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "disk/Diskpart.h"
#include "text/TextChecks.h"

namespace {

void Check(const std::vector<kx::ListedVolume>& volumes) {
    for (const auto& v : volumes) {
        if (v.row.letter.size() != 1 || v.row.letter[0] < 'A' || v.row.letter[0] > 'Z') std::abort();
        if (v.designator.find(':') == std::string::npos || v.row.position < 1) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    Check(kx::VolumesOfDiskDetail(text, 1));
    Check(kx::VolumesOfVolumeList(text));
    for (const auto& row : kx::ReadVolumeTable(text)) (void)row.Field(7);
    if (kx::ExtractNonPrintable(text, true).size() > text.size()) std::abort();
    return 0;
}
