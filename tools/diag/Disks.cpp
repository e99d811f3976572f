// korvanix-diag disks / volumes: the partitions the program would list from saved diskpart outputs.
#include <algorithm>
#include <cstdio>

#include "Diag.h"
#include "disk/Diskpart.h"
#include "text/Text.h"

namespace kx::diag {
namespace {

bool ReadSaved(const std::string& path, std::string& text) {
    std::string bytes;
    if (!ReadFile(path, bytes)) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    text = DecodeSavedText(bytes);
    return true;
}

// One line per partition, "C: 1:2", in the order of the program's list (by drive, byte-wise).
int Print(std::vector<ListedVolume> volumes) {
    std::stable_sort(volumes.begin(), volumes.end(),
                     [](const ListedVolume& a, const ListedVolume& b) { return a.row.letter < b.row.letter; });
    for (const auto& v : volumes) std::printf("%s: %s\n", v.row.letter.c_str(), v.designator.c_str());
    return 0;
}

}  // namespace

int Disks(const Args& args) {
    if (args.empty()) return 2;
    std::vector<ListedVolume> all;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string text;
        if (!ReadSaved(args[i], text)) return 1;
        auto disk = VolumesOfDiskDetail(text, static_cast<int>(i) + 1);
        all.insert(all.end(), disk.begin(), disk.end());
    }
    return Print(std::move(all));
}

int Volumes(const Args& args) {
    if (args.size() != 1) return 2;
    std::string text;
    if (!ReadSaved(args[0], text)) return 1;
    return Print(VolumesOfVolumeList(text));
}

}  // namespace kx::diag
