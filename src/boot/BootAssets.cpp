#include "boot/BootAssets.h"

#include <initializer_list>

#include "boot/BootBuild.h"
#include "boot/EngineJob.h"

namespace kx {

DosImageKind CarriedDosImageKind() {
    return KORVANIX_CARRIES_DOS ? DosImageKind::DosEnvironment : DosImageKind::Diagnostic;
}

bool CarriesWindowsGhost() { return KORVANIX_CARRIES_GHOST32 != 0; }

std::string DriveRoot(const std::string& letter) {
    return letter.empty() ? std::string() : letter.substr(0, 1) + ":\\";
}

namespace {

Outcome Deploy(BootFilePort& files, BootAssetSource& assets, const std::string& systemDrive,
               std::initializer_list<std::pair<BootAsset, const char*>> order) {
    const std::string root = DriveRoot(systemDrive);
    if (root.empty()) return Outcome::Failed("不知道系统盘是哪个盘，无法写入启动文件");
    Outcome outcome = Outcome::Done();
    for (const auto& [asset, name] : order) {
        const std::string path = root + name;
        const std::string_view bytes = assets.Bytes(asset);
        // A missing resource would leave an empty file that the helper or loader then chokes on.
        if (bytes.empty()) {
            outcome.Also(Outcome::Failed(std::string("程序中缺少启动文件 ") + name));
            continue;
        }
        // An earlier run left this file hidden (and the DOS side leaves its files hidden, system and
        // read-only), and Windows refuses to create a file with normal attributes over a hidden or system
        // one. Clearing the attributes first lets every run write the bytes of this program's build.
        if (files.FileExists(path)) (void)files.SetAttributes(path, kArchiveOnly);
        const Outcome written = files.WriteNewFile(path, bytes);
        outcome.Also(written);
        // The stamp only hides the file and dates it; where the system's "\nul" probe does not find the
        // file the dates stay as they are, which does not keep the file from booting.
        if (written) (void)files.StampBootFile(path);
    }
    return outcome;
}

}  // namespace

Outcome DeployBootAssets(BootFilePort& files, BootAssetSource& assets, const std::string& systemDrive) {
    return Deploy(
        files, assets, systemDrive,
        {{BootAsset::Helper, kHelperFile}, {BootAsset::Loader, kLoaderFile}, {BootAsset::DosImage, kDosImageFile}});
}

Outcome DeployEngine(BootFilePort& files, BootAssetSource& assets, const std::string& systemDrive) {
    return Deploy(files, assets, systemDrive,
                  {{BootAsset::EngineKernel, kEngineKernelFile}, {BootAsset::EngineInitrd, kEngineInitrdFile}});
}

Outcome RemoveBootFiles(BootFilePort& files, const std::string& systemDrive) {
    const std::string root = DriveRoot(systemDrive);
    if (root.empty()) return Outcome::Failed("不知道系统盘是哪个盘，无法删除启动文件");
    Outcome outcome = Outcome::Done();
    for (const char* name : {kHelperFile, kLoaderFile, kDosImageFile, kEngineKernelFile, kEngineInitrdFile}) {
        const std::string path = root + name;
        if (!files.FileExists(path)) continue;
        // The boot side leaves what it keeps hidden, system and read-only.
        (void)files.SetAttributes(path, kArchiveOnly);
        outcome.Also(files.RemoveFile(path));
    }
    return outcome;
}

Outcome WriteWindowsGhost(BootFilePort& files, BootAssetSource& assets) {
    const std::string_view bytes = assets.Bytes(BootAsset::WindowsGhost);
    if (bytes.empty()) return Outcome::Failed("此版本的程序不带 Windows 版 Ghost（ghost32.exe）");
    return files.WriteNewFile(kWindowsGhostPath, bytes);
}

}  // namespace kx
