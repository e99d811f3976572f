#include "imaging/EfiRoute.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "boot/BootAssets.h"
#include "boot/BootMenu.h"
#include "boot/EfiBoot.h"
#include "boot/EfiVariables.h"
#include "boot/EngineJob.h"

namespace kx {
namespace {

constexpr size_t kRecordLimit = 4096;

struct EspFile {
    const char* name;
    std::string bytes;
};

// "X:\" or "C:\esp" gives "X:\EFI\korvanix" or "C:\esp\EFI\korvanix".
std::string FolderOn(std::string root) {
    while (!root.empty() && root.back() == '\\') root.pop_back();
    return root + kEfiFolder;
}

std::string MegabyteText(uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB"; }

Result<std::vector<EspFile>> FilesFor(const ImagingContext& c, char systemLetter) {
    auto serial = c.ports.esp->FileSystemSerial(systemLetter);
    if (!serial)
        return Outcome::Failed("无法读取系统盘 " + std::string(1, systemLetter) +
                               ": 的序列号，重新启动后映像引擎找不到作业：" + serial.outcome().Describe());
    auto config = EfiGrubConfig(serial.value());
    if (!config) return config.outcome();
    std::vector<EspFile> files;
    for (const auto& [asset, name] : {std::pair{BootAsset::EfiShim, kEfiShimFile},
                                      {BootAsset::EfiGrub, kEfiGrubFile},
                                      {BootAsset::EfiKernel, kEfiKernelFile},
                                      {BootAsset::EngineInitrd, kEngineInitrdFile},
                                      {BootAsset::EfiModules, kEfiModulesFile}}) {
        const std::string_view bytes = c.bootAssets.Bytes(asset);
        if (bytes.empty()) return Outcome::Failed(std::string("程序中缺少 UEFI 启动文件 ") + name);
        files.push_back({name, std::string(bytes)});
    }
    files.push_back({kEfiGrubConfigFile, config.value()});
    return files;
}

Outcome WriteFiles(const ImagingContext& c, const std::string& root, const std::vector<EspFile>& files) {
    uint64_t needed = kEspReserve;
    for (const EspFile& f : files) needed += f.bytes.size();
    auto free = c.ports.esp->FreeBytes(root);
    if (!free) return Outcome::Failed("无法读取 EFI 系统分区的剩余空间：" + free.outcome().Describe());
    if (free.value() < needed)
        return Outcome::Failed("EFI 系统分区只剩 " + MegabyteText(free.value()) + "，本工具的启动文件需要 " +
                               MegabyteText(needed) + "，无法执行还原或备份。");
    const std::string folder = FolderOn(root);
    Outcome done = c.bootFiles.CreateFolder(FolderOn(root).substr(0, folder.rfind('\\')));
    if (done) done = c.bootFiles.CreateFolder(folder);
    for (const EspFile& f : files) {
        if (!done) break;
        const std::string path = folder + "\\" + f.name;
        if (c.bootFiles.FileExists(path)) (void)c.bootFiles.SetAttributes(path, kArchiveOnly);
        done = c.bootFiles.WriteNewFile(path, f.bytes);
    }
    return done;
}

// Our files and their folder, when the partition still holds them.
Outcome RemoveFiles(const ImagingContext& c, const std::string& root) {
    const std::string folder = FolderOn(root);
    Outcome outcome = Outcome::Done();
    for (const char* name :
         {kEfiShimFile, kEfiGrubFile, kEfiKernelFile, kEngineInitrdFile, kEfiModulesFile, kEfiGrubConfigFile}) {
        const std::string path = folder + "\\" + name;
        if (!c.bootFiles.FileExists(path)) continue;
        (void)c.bootFiles.SetAttributes(path, kArchiveOnly);
        outcome.Also(c.bootFiles.RemoveFile(path));
    }
    if (outcome) outcome = c.bootFiles.RemoveFolder(folder);
    return outcome;
}

// Runs `step` with the EFI system partition mounted; it is unmounted afterwards whatever the step did.
template <typename Step>
Outcome OnMountedEsp(const ImagingContext& c, Step step) {
    auto root = c.ports.esp->Mount();
    if (!root) return Outcome::Failed("无法打开 EFI 系统分区：" + root.outcome().Describe());
    Outcome done = step(root.value());
    if (Outcome unmounted = c.ports.esp->Unmount(root.value()); !unmounted)
        done.Also(Outcome::Failed("EFI 系统分区用完后未能卸下：" + unmounted.Describe()));
    return done;
}

// The option number the record names: nothing for a record written before the option (empty), and a
// failure for one that is neither.
Result<std::optional<uint16_t>> RecordedOption(const std::string& record, const std::string& text) {
    unsigned number = 0;
    char end = 0;
    if (text.empty()) return std::optional<uint16_t>();
    if (std::sscanf(text.c_str(), "Boot%4X%c", &number, &end) == 2 && end == '\n' &&
        text == EfiBootVariableName(static_cast<uint16_t>(number)) + "\n")
        return std::optional<uint16_t>(static_cast<uint16_t>(number));
    return Outcome::Failed(record + " 的内容无法识别，固件中的启动项未能删除");
}

std::string RecordPath(const std::string& systemDrive) {
    const std::string root = DriveRoot(systemDrive);
    return root.empty() ? std::string() : root + kEfiRecordFile;
}

}  // namespace

bool UsesEfiBoot(const ImagingContext& c) {
    return c.route == ImagingRoute::Engine && c.ports.machine->FirmwareType() == Firmware::Uefi;
}

Outcome DeployEfiEngine(const ImagingContext& c, const std::string& systemDrive) {
    const std::string record = RecordPath(systemDrive);
    if (record.empty()) return Outcome::Failed("不知道系统盘是哪个盘，无法写入启动文件");
    auto files = FilesFor(c, systemDrive[0]);
    if (!files) return files.outcome();
    auto esp = c.ports.esp->Find(systemDrive[0]);
    if (!esp) return Outcome::Failed("找不到系统盘所在磁盘上的 EFI 系统分区：" + esp.outcome().Describe());
    return OnMountedEsp(c, [&](const std::string& root) {
        // The record first: whatever lands on the partition after it is taken away again. One left by a
        // job staged earlier keeps the option it names until the new option replaces it.
        if (!c.bootFiles.FileExists(record))
            if (Outcome written = c.bootFiles.WriteNewFile(record, ""); !written) return written;
        return WriteFiles(c, root, files.value());
    });
}

Outcome RegisterEngineBootEntry(const ImagingContext& c, const std::string& systemDrive, const std::string& title) {
    if (!UsesEfiBoot(c)) return RegisterBootEntry(c.system, c.commands, c.bootFiles, systemDrive, title);
    auto esp = c.ports.esp->Find(systemDrive.empty() ? 'C' : systemDrive[0]);
    if (!esp) return Outcome::Failed("找不到系统盘所在磁盘上的 EFI 系统分区：" + esp.outcome().Describe());
    const std::string record = RecordPath(systemDrive);
    // A job staged earlier ("restart later") left its option: replaced, not left behind.
    if (c.bootFiles.FileExists(record)) {
        auto text = c.bootFiles.ReadSmallFile(record, kRecordLimit);
        if (!text) return text.outcome();
        auto earlier = RecordedOption(record, text.value());
        if (!earlier) return earlier.outcome();
        if (earlier.value())
            if (Outcome removed = RemoveEfiBoot(*c.ports.efiVariables, *earlier.value()); !removed) return removed;
    }
    auto number = StageEfiBoot(*c.ports.efiVariables, esp.value());
    if (!number) return Outcome::Failed("固件没有接受本工具的启动项：" + number.outcome().Describe());
    const std::string name = EfiBootVariableName(number.value());
    (void)c.bootFiles.SetAttributes(record, kArchiveOnly);
    if (Outcome kept = c.bootFiles.WriteNewFile(record, name + "\n"); !kept) {
        // Without the record nothing would take the option away at the next start.
        (void)RemoveEfiBoot(*c.ports.efiVariables, number.value());
        return kept;
    }
    return Outcome::Done();
}

Outcome WithdrawEfiBoot(const ImagingContext& c, const std::string& systemDrive) {
    const std::string record = RecordPath(systemDrive);
    if (record.empty() || !c.bootFiles.FileExists(record)) return Outcome::Done();
    auto text = c.bootFiles.ReadSmallFile(record, kRecordLimit);
    if (!text) return text.outcome();
    Outcome outcome = Outcome::Done();
    auto option = RecordedOption(record, text.value());
    if (!option)
        outcome = option.outcome();
    else if (option.value())
        outcome = RemoveEfiBoot(*c.ports.efiVariables, *option.value());
    outcome.Also(OnMountedEsp(c, [&](const std::string& root) { return RemoveFiles(c, root); }));
    if (!outcome) return outcome;
    (void)c.bootFiles.SetAttributes(record, kArchiveOnly);
    return c.bootFiles.RemoveFile(record);
}

std::string EfiBootNotice(const ImagingContext& c) {
    if (!UsesEfiBoot(c)) return {};
    auto secure = c.ports.efiVariables->Read("SecureBoot");
    if (!secure || !secure.value() || secure.value()->size() != 1) return {};
    return secure.value()->front() == 1
               ? "这台电脑的安全启动（Secure Boot）已打开：映像引擎的启动文件都有签名，可以照常运行。"
               : "这台电脑的安全启动（Secure Boot）没有打开。";
}

}  // namespace kx
