// korvanix-diag stage on a GPT disk image: what the program writes on a UEFI machine. The job goes to the
// system partition with GPT identities (disk GUID / partition GUID : start offset); shim, GRUB, the amd64
// kernel, the engine's initramfs, the kernel's modules and grub.cfg go to \EFI\korvanix on the EFI system
// partition. Designators "1:P" count the used GPT entries in table order. The firmware's variables are
// not here: `efi-option` prints the load option for them.
#include <cstdio>
#include <fstream>
#include <optional>

#include "Diag.h"
#include "boot/EfiBoot.h"
#include "boot/EngineJob.h"

namespace kx::diag {
namespace {

constexpr uint64_t kSector = 512;
const char* const kEspType = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B";

uint64_t Le(const std::string& b, size_t at, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | uint8_t(b[at + size_t(i)]);
    return v;
}

uint32_t Crc32(const std::string& b) {
    uint32_t crc = 0xFFFFFFFF;
    for (unsigned char c : b) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

Guid GuidAt(const std::string& b, size_t at) {
    Guid g;
    for (size_t i = 0; i < 16; ++i) g.bytes[i] = uint8_t(b[at + i]);
    return g;
}

struct GptPartition {
    uint32_t number = 0;  // the entry's place in the table, 1-based
    Guid type;
    PartitionIdentity id;
    uint64_t sectors = 0;
};

// The used entries, when the primary header and the entries match their CRC32s.
std::optional<std::vector<GptPartition>> ReadGpt(const std::string& disk) {
    std::ifstream in(disk, std::ios::binary);
    std::string head(kSector, '\0');
    in.seekg(std::streamoff(kSector));
    if (!in.read(head.data(), std::streamsize(kSector)) || head.compare(0, 8, "EFI PART") != 0) return std::nullopt;
    uint32_t size = uint32_t(Le(head, 12, 4));
    if (size < 92 || size > kSector) return std::nullopt;
    std::string checked = head.substr(0, size);
    checked.replace(16, 4, 4, '\0');
    if (Crc32(checked) != Le(head, 16, 4)) return std::nullopt;
    uint64_t lba = Le(head, 72, 8);
    uint32_t count = uint32_t(Le(head, 80, 4)), entrySize = uint32_t(Le(head, 84, 4));
    if (entrySize < 128 || entrySize > 4096 || count > 1024) return std::nullopt;
    std::string entries(size_t(count) * entrySize, '\0');
    in.seekg(std::streamoff(lba * kSector));
    if (!in.read(entries.data(), std::streamsize(entries.size())) || Crc32(entries) != Le(head, 88, 4))
        return std::nullopt;
    std::vector<GptPartition> used;
    for (uint32_t i = 0; i < count; ++i) {
        size_t at = size_t(i) * entrySize;
        GptPartition p;
        p.type = GuidAt(entries, at);
        if (p.type.IsZero()) continue;
        p.number = i + 1;
        p.id.diskGuid = GuidAt(head, 56);
        p.id.partitionGuid = GuidAt(entries, at + 16);
        p.id.startOffset = Le(entries, at + 32, 8) * kSector;
        p.sectors = Le(entries, at + 40, 8) - Le(entries, at + 32, 8) + 1;
        used.push_back(p);
    }
    return used;
}

std::optional<GptPartition> Lookup(const std::vector<GptPartition>& parts, const std::string& arg, std::string* rest) {
    size_t digits = 2;
    while (digits < arg.size() && arg[digits] >= '0' && arg[digits] <= '9') ++digits;
    if (arg.compare(0, 2, "1:") != 0 || digits == 2) {
        std::fprintf(stderr, "%s: expected 1:P (disk 1 is the image)\n", arg.c_str());
        return std::nullopt;
    }
    if (rest) *rest = arg.substr(digits);
    size_t wanted = std::stoul(arg.substr(2, digits - 2));
    if (wanted == 0 || wanted > parts.size()) {
        std::fprintf(stderr, "%s: the disk has no such partition\n", arg.c_str());
        return std::nullopt;
    }
    return parts[wanted - 1];
}

std::string BootSector(const std::string& disk, uint64_t offset) {
    std::ifstream in(disk, std::ios::binary);
    std::string boot(kSector, '\0');
    in.seekg(std::streamoff(offset));
    if (!in.read(boot.data(), std::streamsize(kSector))) return {};
    return boot;
}

// The file-system serial as the engine reads it (disks.sh serial_of): NTFS's 64 bits, FAT32's 32.
std::string SerialOf(const std::string& boot) {
    char s[20];
    if (boot.size() == kSector && boot.compare(3, 8, "NTFS    ") == 0)
        std::snprintf(s, sizeof s, "%016llx", static_cast<unsigned long long>(Le(boot, 72, 8)));
    else if (boot.size() == kSector && boot.compare(82, 5, "FAT32") == 0)
        std::snprintf(s, sizeof s, "%08llx", static_cast<unsigned long long>(Le(boot, 67, 4)));
    else
        return {};
    return s;
}

}  // namespace

int StageGpt(const std::string& disk, const std::string& system, const std::string& partition, const std::string& image,
             bool restore, const std::string& assets) {
    auto parts = ReadGpt(disk);
    if (!parts) {
        std::fprintf(stderr, "%s: no GPT whose header and entries match their CRC32\n", disk.c_str());
        return 1;
    }
    std::optional<GptPartition> esp;
    for (const auto& p : *parts)
        if (GuidText(p.type) == kEspType) esp = p;
    std::string imagePath;
    auto sys = Lookup(*parts, system, nullptr);
    auto part = Lookup(*parts, partition, nullptr);
    auto img = Lookup(*parts, image, &imagePath);
    if (!sys || !part || !img) return 1;
    if (!esp) {
        std::fprintf(stderr, "%s: no EFI system partition\n", disk.c_str());
        return 1;
    }
    std::string folder = imagePath;
    for (char& c : folder)
        if (c == '\\') c = '/';
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    EngineJob job{
        restore ? EngineJobMode::Restore : EngineJobMode::Backup, sys->id, part->id, img->id, folder, partition, image};
    auto text = EngineJobText(job);
    std::string serial = SerialOf(BootSector(disk, sys->id.startOffset));
    if (!text) {
        std::fprintf(stderr, "%s\n", text.outcome().what().c_str());
        return 1;
    }
    auto cfg = EfiGrubConfig(serial);
    if (!cfg || BootSector(disk, sys->id.startOffset).compare(3, 8, "NTFS    ") != 0) {
        std::fprintf(stderr, "the system partition holds no NTFS file system\n");
        return 1;
    }
    std::string jobFile = disk + ".job", cfgFile = disk + ".grub.cfg", tmp = disk + ".stage-ntfs";
    std::ofstream(jobFile, std::ios::binary) << text.value();
    std::ofstream(cfgFile, std::ios::binary) << cfg.value();
    // The job into the system partition's NTFS (out to a sparse file and back), the rest into the ESP.
    const std::string at = std::to_string(sys->id.startOffset / kSector);
    bool ok =
        Run("dd if=" + Quote(disk) + " of=" + Quote(tmp) + " bs=512 skip=" + at +
            " count=" + std::to_string(sys->sectors) + " conv=sparse status=none") &&
        Run("ntfscp -q -f " + Quote(tmp) + " " + Quote(jobFile) + " " + kEngineJobFile) &&
        Run("dd if=" + Quote(tmp) + " of=" + Quote(disk) + " bs=512 seek=" + at + " conv=notrunc,sparse status=none");
    std::string fat = Quote(disk + "@@" + std::to_string(esp->id.startOffset));
    ok = ok && Run("MTOOLS_SKIP_CHECK=1 mmd -D s -i " + fat + " ::/EFI ::/EFI/korvanix 2>/dev/null || true");
    const std::pair<const char*, std::string> files[] = {
        {kEfiShimFile, assets + "/" + kEfiShimFile},       {kEfiGrubFile, assets + "/" + kEfiGrubFile},
        {kEfiKernelFile, assets + "/" + kEfiKernelFile},   {kEngineInitrdFile, assets + "/" + kEngineInitrdFile},
        {kEfiModulesFile, assets + "/" + kEfiModulesFile}, {kEfiGrubConfigFile, cfgFile}};
    for (const auto& [name, source] : files)
        ok = ok && Run("MTOOLS_SKIP_CHECK=1 mcopy -o -i " + fat + " " + Quote(source) + " " +
                       Quote(std::string("::/EFI/korvanix/") + name));
    std::remove(jobFile.c_str());
    std::remove(cfgFile.c_str());
    std::remove(tmp.c_str());
    if (!ok) return 1;
    std::fputs(text.value().c_str(), stdout);
    std::printf("esp=%u %llu %llu %s\n", esp->number, static_cast<unsigned long long>(esp->id.startOffset / kSector),
                static_cast<unsigned long long>(esp->sectors), GuidText(esp->id.partitionGuid).c_str());
    return 0;
}

}  // namespace kx::diag
