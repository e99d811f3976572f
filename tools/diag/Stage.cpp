// korvanix-diag stage DISK.img ...: writes onto a raw MBR disk image what the program writes onto a real
// machine's system drive for an engine job: the boot files, the engine and the job. Partitions are given
// as Ghost designators (disk 1 is the image; partitions count the used primary entries in table order).
// The MBR and every boot record stay as they are; mtools and ntfs-3g's ntfscp write inside the file
// systems, so nothing needs mounting.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "Diag.h"
#include "boot/BootAssets.h"
#include "boot/EngineJob.h"

namespace kx::diag {
namespace {

struct DiskPartition {
    PartitionIdentity id;
    uint64_t bytes = 0;
};

uint32_t Le32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}

// The partition a designator "1:P" names, with the rest of the argument after it ("\path\name").
std::optional<DiskPartition> Lookup(const std::string& mbr, const std::string& arg, std::string* rest) {
    if (arg.size() < 3 || arg.compare(0, 2, "1:") != 0 || arg[2] < '1' || arg[2] > '4') {
        std::fprintf(stderr, "%s: expected 1:P (P = 1 to 4; disk 1 is the image)\n", arg.c_str());
        return std::nullopt;
    }
    if (rest) *rest = arg.substr(3);
    int wanted = arg[2] - '0', seen = 0;
    for (int i = 0; i < 4; ++i) {
        size_t entry = 446 + 16 * size_t(i);
        if (uint8_t(mbr[entry + 4]) == 0) continue;
        if (++seen == wanted) {
            return DiskPartition{{Le32(mbr, 440), uint64_t(Le32(mbr, entry + 8)) * 512},
                                 uint64_t(Le32(mbr, entry + 12)) * 512};
        }
    }
    std::fprintf(stderr, "%s: the disk has no such partition\n", arg.c_str());
    return std::nullopt;
}

// Copies files into the file system of one partition of the disk image.
bool PutFiles(const std::string& disk, const DiskPartition& part,
              const std::vector<std::pair<std::string, std::string>>& files) {
    std::string boot;
    {
        std::ifstream in(disk, std::ios::binary);
        in.seekg(std::streamoff(part.id.startOffset));
        boot.resize(512);
        if (!in.read(boot.data(), 512)) return false;
    }
    const std::string offset = std::to_string(part.id.startOffset);
    if (boot.compare(3, 8, "NTFS    ") == 0) {
        // ntfscp opens a whole file system: the partition goes out to a sparse file and back.
        std::string tmp = disk + ".stage-ntfs";
        std::string blocks = std::to_string(part.bytes / 512);
        bool ok = Run("dd if=" + Quote(disk) + " of=" + Quote(tmp) + " bs=512 skip=" +
                      std::to_string(part.id.startOffset / 512) + " count=" + blocks + " conv=sparse status=none");
        for (const auto& [name, source] : files)
            ok = ok && Run("ntfscp -q -f " + Quote(tmp) + " " + Quote(source) + " " + Quote(name));
        ok = ok && Run("dd if=" + Quote(tmp) + " of=" + Quote(disk) + " bs=512 seek=" +
                       std::to_string(part.id.startOffset / 512) + " conv=notrunc,sparse status=none");
        std::remove(tmp.c_str());
        return ok;
    }
    if (boot.compare(82, 5, "FAT32") == 0 || boot.compare(54, 3, "FAT") == 0) {
        for (const auto& [name, source] : files) {
            if (!Run("MTOOLS_SKIP_CHECK=1 mcopy -o -i " + Quote(disk + "@@" + offset) + " " + Quote(source) + " " +
                     Quote("::/" + name)))
                return false;
        }
        return true;
    }
    std::fprintf(stderr, "the system partition holds neither NTFS nor FAT\n");
    return false;
}

}  // namespace

int Stage(const Args& args) {
    if (args.empty()) return 2;
    std::string disk = args[0], system, source, image, target, index, assets = KX_BOOT_ASSETS_DIR;
    bool restore = false, apply = false;
    for (size_t i = 1; i + 1 < args.size(); i += 2) {
        const std::string& flag = args[i];
        if (flag == "--system")
            system = args[i + 1];
        else if (flag == "--backup")
            source = args[i + 1];
        else if (flag == "--image")
            image = args[i + 1];
        else if (flag == "--restore")
            image = args[i + 1], restore = true;
        else if (flag == "--apply")
            image = args[i + 1], apply = true;
        else if (flag == "--index")
            index = args[i + 1];
        else if (flag == "--to")
            target = args[i + 1];
        else if (flag == "--assets")
            assets = args[i + 1];
        else
            return 2;
    }
    // An apply writes an edition of an image file to a partition, as a restore writes an image folder.
    const bool overwrites = restore || apply;
    if (args.size() % 2 == 0 || system.empty() || image.empty() || (restore && apply) || apply == index.empty() ||
        (overwrites ? target.empty() || !source.empty() : source.empty() || !target.empty()))
        return 2;
    uint32_t edition = 0;
    if (apply) {
        if (index.size() > 4 || index.find_first_not_of("0123456789") != std::string::npos) return 2;
        edition = uint32_t(std::stoul(index));
    }

    std::string mbr(512, '\0');
    std::ifstream in(disk, std::ios::binary);
    if (!in.read(mbr.data(), 512) || uint8_t(mbr[510]) != 0x55 || uint8_t(mbr[511]) != 0xAA) {
        std::fprintf(stderr, "%s: cannot read an MBR\n", disk.c_str());
        return 1;
    }
    in.close();
    // A protective MBR (type EE): the disk's partitions are in its GPT.
    for (int i = 0; i < 4; ++i)
        if (uint8_t(mbr[446 + 16 * i + 4]) == 0xEE)
            return StageGpt(disk, system, restore ? target : source, image, restore, assets);
    std::string imagePath;
    auto sys = Lookup(mbr, system, nullptr);
    auto part = Lookup(mbr, overwrites ? target : source, nullptr);
    auto img = Lookup(mbr, image, &imagePath);
    if (!sys || !part || !img) return 1;
    // The folder as the job carries it: tests and virtual machines may use names Windows would not take
    // (a "*", a "?"), which the job and the engine treat as plain characters; the job's own rules apply.
    std::string folder = imagePath;
    for (char& c : folder)
        if (c == '\\') c = '/';
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    EngineJob job{apply     ? EngineJobMode::Apply
                  : restore ? EngineJobMode::Restore
                            : EngineJobMode::Backup,
                  sys->id,
                  part->id,
                  img->id,
                  folder,
                  overwrites ? target : source,
                  image,
                  edition};
    auto text = EngineJobText(job);
    if (!text) {
        std::fprintf(stderr, "%s\n", text.outcome().what().c_str());
        return 1;
    }
    std::string jobFile = disk + ".job";
    std::ofstream(jobFile, std::ios::binary) << text.value();
    bool ok = PutFiles(disk, *sys,
                       {{kHelperFile, assets + "/" + kHelperFile},
                        {kLoaderFile, assets + "/" + kLoaderFile},
                        {kDosImageFile, assets + "/" + kDosImageFile},
                        {kEngineKernelFile, assets + "/" + kEngineKernelFile},
                        {kEngineInitrdFile, assets + "/" + kEngineInitrdFile},
                        {kEngineJobFile, jobFile}});
    std::remove(jobFile.c_str());
    if (ok) std::fputs(text.value().c_str(), stdout);
    return ok ? 0 : 1;
}

// The fields one a line in the job's order (the engine's parser prints the same), or the reason it is refused.
int JobCheck(const Args& args) {
    if (args.size() != 1) return 2;
    std::string bytes;
    if (!ReadFile(args[0], bytes)) {
        std::fprintf(stderr, "cannot read %s\n", args[0].c_str());
        return 1;
    }
    auto job = ParseEngineJob(bytes);
    if (!job) {
        std::fprintf(stderr, "%s\n", job.outcome().what().c_str());
        std::printf("refused\n");
        return 1;
    }
    const EngineJob& j = job.value();
    const char* mode = j.mode == EngineJobMode::Apply     ? "apply"
                       : j.mode == EngineJobMode::Restore ? "restore"
                                                          : "backup";
    std::printf("mode=%s\nsystem=%s\npartition=%s\nimage=%s\nfolder=%s\nghost-partition=%s\nghost-image=%s\n", mode,
                IdentityText(j.system).c_str(), IdentityText(j.partition).c_str(), IdentityText(j.image).c_str(),
                j.folder.c_str(), j.ghostPartition.c_str(), j.ghostImage.c_str());
    if (j.mode == EngineJobMode::Apply) std::printf("index=%u\n", unsigned(j.index));
    return 0;
}

}  // namespace kx::diag
