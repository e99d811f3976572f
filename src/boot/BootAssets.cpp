#include "boot/BootAssets.h"

#include "boot/BootBuild.h"
#include "boot/BootPorts.h"

namespace kx {

DosImageKind CarriedDosImageKind() {
    return KORVANIX_CARRIES_DOS ? DosImageKind::DosEnvironment : DosImageKind::Diagnostic;
}

bool CarriesWindowsGhost() { return KORVANIX_CARRIES_GHOST32 != 0; }

std::string DriveRoot(const std::string& letter) {
    return letter.empty() ? std::string() : letter.substr(0, 1) + ":\\";
}

bool DeployBootAssets(Program& p) {
    const std::string root = DriveRoot(p.facts().systemDriveLetter);
    if (root.empty()) return false;
    BootFilePort& files = *p.ports().bootFiles;
    BootAssetSource& assets = *p.ports().bootAssets;
    bool all = true;
    const std::pair<BootAsset, const char*> order[] = {
        {BootAsset::Helper, kHelperFile}, {BootAsset::Loader, kLoaderFile}, {BootAsset::DosImage, kDosImageFile}};
    for (const auto& [asset, name] : order) {
        const std::string path = root + name;
        const std::string_view bytes = assets.Bytes(asset);
        // A missing resource would leave an empty file that the helper or loader then chokes on.
        const bool written = !bytes.empty() && files.WriteNewFile(path, bytes);
        all = all && written;
        files.StampBootFile(path);
    }
    return all;
}

bool WriteWindowsGhost(Program& p) {
    const std::string_view bytes = p.ports().bootAssets->Bytes(BootAsset::WindowsGhost);
    if (bytes.empty()) return false;
    return p.ports().bootFiles->WriteNewFile(kWindowsGhostPath, bytes);
}

}  // namespace kx
