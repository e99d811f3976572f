#include "pe/PeImage.h"

#include <algorithm>
#include <cstring>

namespace kx::pe {
namespace {

// Every read goes through these: an offset and a length that do not fit the buffer read nothing.
bool Fits(size_t bufferSize, uint64_t offset, uint64_t length) {
    return offset <= bufferSize && length <= bufferSize - offset;
}

template <typename T>
bool Read(std::span<const uint8_t> bytes, uint64_t offset, T& value) {
    if (!Fits(bytes.size(), offset, sizeof(T))) return false;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return true;
}

template <typename T>
T ReadOr0(std::span<const uint8_t> bytes, uint64_t offset) {
    T value{};
    Read(bytes, offset, value);
    return value;
}

// A zero-terminated name inside the buffer; nullopt when it runs off the end.
std::optional<std::string_view> NameAt(std::span<const uint8_t> bytes, uint64_t offset) {
    if (offset >= bytes.size()) return std::nullopt;
    const auto* start = reinterpret_cast<const char*>(bytes.data() + offset);
    const void* end = std::memchr(start, 0, bytes.size() - offset);
    if (!end) return std::nullopt;
    return std::string_view(start, static_cast<const char*>(end) - start);
}

constexpr uint32_t kFileHeaderSize = 24;  // "PE\0\0" and the file header
constexpr uint16_t kMagic32 = 0x10B, kMagic64 = 0x20B;
constexpr uint32_t kMinOptional32 = 224, kMinOptional64 = 240;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr size_t kMaxImportEntries = 65536, kMaxImportLibraries = 4096;

// The checks shared by files and mapped images. A file must hold every section's raw data; a mapped image
// is taken at its SizeOfImage.
std::optional<Headers> Parse(std::span<const uint8_t> bytes, uint16_t machine, bool isFile) {
    if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z') return std::nullopt;
    const uint64_t nt = ReadOr0<uint32_t>(bytes, 0x3C);
    uint32_t signature = 0;
    if (!Read(bytes, nt, signature) || signature != 0x00004550) return std::nullopt;

    Headers h;
    h.machine = ReadOr0<uint16_t>(bytes, nt + 4);
    const uint16_t sectionCount = ReadOr0<uint16_t>(bytes, nt + 6);
    const uint16_t optionalSize = ReadOr0<uint16_t>(bytes, nt + 20);
    h.characteristics = ReadOr0<uint16_t>(bytes, nt + 22);
    if (machine != 0 && h.machine != machine) return std::nullopt;
    if (h.machine != kMachineI386 && h.machine != kMachineAmd64) return std::nullopt;
    if (!(h.characteristics & kCharExecutable)) return std::nullopt;

    const uint64_t opt = nt + kFileHeaderSize;
    h.is64 = h.machine == kMachineAmd64;
    const uint16_t magic = ReadOr0<uint16_t>(bytes, opt);
    const uint32_t minOptional = h.is64 ? kMinOptional64 : kMinOptional32;
    if (magic != (h.is64 ? kMagic64 : kMagic32) || optionalSize < minOptional) return std::nullopt;
    if (!Fits(bytes.size(), opt, optionalSize)) return std::nullopt;

    h.entryPoint = ReadOr0<uint32_t>(bytes, opt + 16);
    h.imageBase = h.is64 ? ReadOr0<uint64_t>(bytes, opt + 24) : ReadOr0<uint32_t>(bytes, opt + 28);
    h.sectionAlignment = ReadOr0<uint32_t>(bytes, opt + 32);
    h.subsystemMajor = ReadOr0<uint16_t>(bytes, opt + 48);
    h.subsystemMinor = ReadOr0<uint16_t>(bytes, opt + 50);
    h.sizeOfImageOffset = static_cast<uint32_t>(opt + 56);
    const uint32_t sizeOfImage = ReadOr0<uint32_t>(bytes, opt + 56);
    h.subsystem = ReadOr0<uint16_t>(bytes, opt + 68);
    const uint32_t dirsAt = h.is64 ? 112 : 96;
    const uint32_t dirCount =
        std::min<uint32_t>({ReadOr0<uint32_t>(bytes, opt + dirsAt - 4), 16, (optionalSize - dirsAt) / 8});
    for (uint32_t i = 0; i < dirCount; ++i) {
        h.dirs[i].rva = ReadOr0<uint32_t>(bytes, opt + dirsAt + 8 * i);
        h.dirs[i].size = ReadOr0<uint32_t>(bytes, opt + dirsAt + 8 * i + 4);
    }

    const uint64_t table = opt + optionalSize;
    if (!Fits(bytes.size(), table, uint64_t{kSectionHeaderSize} * sectionCount)) return std::nullopt;
    h.headersEnd = static_cast<uint32_t>(table + uint64_t{kSectionHeaderSize} * sectionCount);

    const uint32_t align = h.sectionAlignment;
    if (align == 0 || (align & (align - 1)) != 0) return std::nullopt;
    uint64_t imageSize = sizeOfImage;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint64_t at = table + uint64_t{kSectionHeaderSize} * i;
        Section s;
        s.name.assign(reinterpret_cast<const char*>(bytes.data() + at), 8);
        s.name.resize(std::strlen(s.name.c_str()));
        s.virtualSize = ReadOr0<uint32_t>(bytes, at + 8);
        s.virtualAddress = ReadOr0<uint32_t>(bytes, at + 12);
        s.rawSize = ReadOr0<uint32_t>(bytes, at + 16);
        s.rawOffset = ReadOr0<uint32_t>(bytes, at + 20);
        if (isFile && !Fits(bytes.size(), s.rawOffset, s.rawSize)) return std::nullopt;
        const uint64_t end = uint64_t{s.virtualAddress} + std::max(s.virtualSize, s.rawSize);
        imageSize = std::max(imageSize, (end + align - 1) & ~uint64_t{align - 1});
        h.sections.push_back(std::move(s));
    }
    if (!isFile) imageSize = sizeOfImage;
    if (imageSize == 0 || imageSize > kMaxImageSize || h.headersEnd > imageSize) return std::nullopt;
    if (isFile && h.entryPoint >= imageSize) return std::nullopt;
    h.imageSize = static_cast<uint32_t>(imageSize);
    return h;
}

ExportTarget TargetOf(std::span<const uint8_t> image, DataDirectory dir, uint32_t rva) {
    ExportTarget target;
    if (rva == 0 || rva >= image.size()) return target;
    if (rva >= dir.rva && rva - dir.rva < dir.size) {
        if (auto name = NameAt(image, rva)) target.forwardedTo = std::string(*name);
        return target;
    }
    target.rva = rva;
    return target;
}

struct ExportTable {
    DataDirectory dir;
    uint32_t base = 0, functionCount = 0, nameCount = 0, functions = 0, names = 0, ordinals = 0;
};

std::optional<ExportTable> ReadExportTable(std::span<const uint8_t> image, const Headers& headers) {
    ExportTable t;
    t.dir = headers.Dir(kExportDir);
    if (t.dir.size == 0 || !Fits(image.size(), t.dir.rva, 40)) return std::nullopt;
    t.base = ReadOr0<uint32_t>(image, t.dir.rva + 16);
    t.functionCount = ReadOr0<uint32_t>(image, t.dir.rva + 20);
    t.nameCount = ReadOr0<uint32_t>(image, t.dir.rva + 24);
    t.functions = ReadOr0<uint32_t>(image, t.dir.rva + 28);
    t.names = ReadOr0<uint32_t>(image, t.dir.rva + 32);
    t.ordinals = ReadOr0<uint32_t>(image, t.dir.rva + 36);
    return t;
}

// The function address at an index of the address table, or 0 when the index or the table is outside.
uint32_t FunctionRva(std::span<const uint8_t> image, const ExportTable& t, uint32_t index) {
    if (index >= t.functionCount) return 0;
    return ReadOr0<uint32_t>(image, t.functions + uint64_t{4} * index);
}

}  // namespace

std::optional<Headers> ParseHeaders(std::span<const uint8_t> file, uint16_t machine) {
    return Parse(file, machine, true);
}

std::optional<Headers> ParseMappedHeaders(std::span<const uint8_t> view) { return Parse(view, 0, false); }

void MapSections(std::span<const uint8_t> file, const Headers& headers, std::span<uint8_t> image) {
    if (image.size() != headers.imageSize) return;
    std::memcpy(image.data(), file.data(), headers.headersEnd);
    for (const Section& s : headers.sections) {
        // The aligned end of every section is inside imageSize and its raw data inside the file (ParseHeaders).
        if (s.rawSize != 0 && s.rawOffset != 0)
            std::memcpy(image.data() + s.virtualAddress, file.data() + s.rawOffset, s.rawSize);
    }
    std::memcpy(image.data() + headers.sizeOfImageOffset, &headers.imageSize, sizeof(uint32_t));
}

bool ApplyRelocations(std::span<uint8_t> image, const Headers& headers, uint64_t delta) {
    const DataDirectory dir = headers.Dir(kRelocDir);
    if (dir.size == 0) return true;
    if (!Fits(image.size(), dir.rva, dir.size)) return false;
    std::span<const uint8_t> view = image;
    const uint64_t end = uint64_t{dir.rva} + dir.size;
    for (uint64_t block = dir.rva; block + 8 <= end;) {
        const uint32_t page = ReadOr0<uint32_t>(view, block);
        const uint32_t blockSize = ReadOr0<uint32_t>(view, block + 4);
        if (page == 0) break;
        // A block shorter than its own header would never advance the walk.
        if (blockSize < 8 || blockSize > end - block) return false;
        for (uint64_t at = block + 8; at + 2 <= block + blockSize; at += 2) {
            const uint16_t entry = ReadOr0<uint16_t>(view, at);
            const uint64_t target = uint64_t{page} + (entry & 0xFFF);
            const unsigned type = entry >> 12;
            if (type == 3) {
                uint32_t value = 0;
                if (!Read(view, target, value)) return false;
                value += static_cast<uint32_t>(delta);
                std::memcpy(image.data() + target, &value, sizeof value);
            } else if (type == 10 && headers.is64) {
                uint64_t value = 0;
                if (!Read(view, target, value)) return false;
                value += delta;
                std::memcpy(image.data() + target, &value, sizeof value);
            }
        }
        block += blockSize;
    }
    return true;
}

std::optional<std::vector<ImportLibrary>> ReadImports(std::span<const uint8_t> image, const Headers& headers) {
    std::vector<ImportLibrary> libraries;
    const DataDirectory dir = headers.Dir(kImportDir);
    if (dir.size == 0) return libraries;
    const uint32_t slotSize = headers.is64 ? 8 : 4;
    const uint64_t ordinalFlag = headers.is64 ? 0x8000000000000000ull : 0x80000000ull;
    size_t total = 0;
    for (uint64_t desc = dir.rva;; desc += 20) {
        if (!Fits(image.size(), desc, 20)) return std::nullopt;
        const uint32_t lookup = ReadOr0<uint32_t>(image, desc);
        const uint32_t nameRva = ReadOr0<uint32_t>(image, desc + 12);
        const uint32_t slots = ReadOr0<uint32_t>(image, desc + 16);
        if (nameRva == 0) break;
        auto name = NameAt(image, nameRva);
        if (!name || slots == 0 || libraries.size() == kMaxImportLibraries) return std::nullopt;
        ImportLibrary library{std::string(*name), {}};
        const uint64_t walk = lookup != 0 ? lookup : slots;
        for (uint64_t i = 0;; ++i) {
            uint64_t value = 0;
            if (headers.is64) {
                if (!Read(image, walk + i * slotSize, value)) return std::nullopt;
            } else {
                uint32_t value32 = 0;
                if (!Read(image, walk + i * slotSize, value32)) return std::nullopt;
                value = value32;
            }
            if (value == 0) break;
            const uint64_t slot = slots + i * slotSize;
            if (!Fits(image.size(), slot, slotSize) || ++total > kMaxImportEntries) return std::nullopt;
            ImportEntry entry;
            entry.slotRva = static_cast<uint32_t>(slot);
            if (value & ordinalFlag) {
                entry.byOrdinal = true;
                entry.ordinal = static_cast<uint16_t>(value & 0xFFFF);
            } else {
                auto function = NameAt(image, (value & 0x7FFFFFFF) + 2);  // after the hint word
                if (!function) return std::nullopt;
                entry.name = std::string(*function);
            }
            library.entries.push_back(std::move(entry));
        }
        libraries.push_back(std::move(library));
    }
    return libraries;
}

bool WriteSlot(std::span<uint8_t> image, bool is64, uint32_t slotRva, uint64_t address) {
    const size_t size = is64 ? 8 : 4;
    if (!Fits(image.size(), slotRva, size)) return false;
    if (is64) {
        std::memcpy(image.data() + slotRva, &address, 8);
    } else {
        const uint32_t address32 = static_cast<uint32_t>(address);
        std::memcpy(image.data() + slotRva, &address32, 4);
    }
    return true;
}

ExportTarget FindExport(std::span<const uint8_t> image, const Headers& headers, uint32_t ordinal) {
    auto t = ReadExportTable(image, headers);
    if (!t) return {};
    return TargetOf(image, t->dir, FunctionRva(image, *t, ordinal - t->base));
}

ExportTarget FindExport(std::span<const uint8_t> image, const Headers& headers, std::string_view name) {
    auto t = ReadExportTable(image, headers);
    if (!t) return {};
    for (uint32_t i = 0; i < t->nameCount; ++i) {
        uint32_t nameRva = 0;
        uint16_t index = 0;
        if (!Read(image, t->names + uint64_t{4} * i, nameRva) || !Read(image, t->ordinals + uint64_t{2} * i, index))
            return {};
        if (index >= t->functionCount) continue;
        auto candidate = NameAt(image, nameRva);
        if (candidate && *candidate == name) return TargetOf(image, t->dir, FunctionRva(image, *t, index));
    }
    return {};
}

bool HasResourceType(std::span<const uint8_t> image, const Headers& headers, uint32_t type) {
    const DataDirectory dir = headers.Dir(kResourceDir);
    if (dir.size == 0) return false;
    const uint16_t named = ReadOr0<uint16_t>(image, uint64_t{dir.rva} + 12);
    const uint16_t ids = ReadOr0<uint16_t>(image, uint64_t{dir.rva} + 14);
    for (uint32_t i = named; i < uint32_t{named} + ids; ++i) {
        uint32_t id = 0;
        if (!Read(image, uint64_t{dir.rva} + 16 + uint64_t{8} * i, id)) return false;
        if (id == type) return true;
    }
    return false;
}

}  // namespace kx::pe
