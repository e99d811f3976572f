#pragma once
// Reading Windows PE images (PE32 and PE32+) from untrusted bytes: the header checks, the layout of the image
// in memory, relocation, the import list and the export lookup. Every offset read is checked against the
// buffer it is read from, so a malformed image yields an empty result, never a read or write outside it.
// The in-memory loader and korvanix-diag build on this; neither needs <windows.h> here.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kx::pe {

inline constexpr uint16_t kMachineI386 = 0x14C;
inline constexpr uint16_t kMachineAmd64 = 0x8664;
inline constexpr uint16_t kCharExecutable = 0x0002;
inline constexpr uint16_t kCharDll = 0x2000;
// Larger images are refused: the download component is a few dozen kilobytes, and a header that asks
// for gigabytes is malformed, not ambitious.
inline constexpr uint32_t kMaxImageSize = 256u << 20;

enum Directory : unsigned { kExportDir = 0, kImportDir = 1, kResourceDir = 2, kExceptionDir = 3, kRelocDir = 5 };

struct DataDirectory {
    uint32_t rva = 0, size = 0;
};

struct Section {
    std::string name;
    uint32_t virtualAddress = 0, virtualSize = 0, rawOffset = 0, rawSize = 0;
};

// What the headers of a file say, after checking that every part of it lies inside the file.
struct Headers {
    uint16_t machine = 0, characteristics = 0, subsystem = 0;
    uint16_t subsystemMajor = 0, subsystemMinor = 0;
    bool is64 = false;
    uint64_t imageBase = 0;
    uint32_t entryPoint = 0;
    uint32_t sectionAlignment = 0;
    uint32_t headersEnd = 0;         // end of the section table: the bytes copied as the image's headers
    uint32_t imageSize = 0;          // the largest of SizeOfImage and every section's aligned end
    uint32_t sizeOfImageOffset = 0;  // file offset of the SizeOfImage field
    DataDirectory dirs[16] = {};
    std::vector<Section> sections;

    DataDirectory Dir(unsigned index) const { return dirs[index]; }
};

// Checks a PE file and reads its headers. `machine` 0 accepts both i386 and AMD64 (the diagnostics tool);
// the loader passes the machine of the running process.
std::optional<Headers> ParseHeaders(std::span<const uint8_t> file, uint16_t machine);

// Lays the file out into `image` (exactly headers.imageSize bytes, zero-filled by the caller): headers,
// then each section's raw data at its virtual address. SizeOfImage in the copied headers is set to the
// size actually used, so later lookups on the mapped image stay inside it.
void MapSections(std::span<const uint8_t> file, const Headers& headers, std::span<uint8_t> image);

// Adds `delta` to every absolute address the relocation directory names (32-bit entries, and 64-bit ones
// in a PE32+ image). False when a block or an entry points outside the image.
bool ApplyRelocations(std::span<uint8_t> image, const Headers& headers, uint64_t delta);

struct ImportEntry {
    uint32_t slotRva = 0;  // where the address goes (in the import address table)
    bool byOrdinal = false;
    uint16_t ordinal = 0;
    std::string name;
};

struct ImportLibrary {
    std::string name;
    std::vector<ImportEntry> entries;
};

// The import table of a mapped image. Empty optional when any descriptor, name or thunk lies outside it.
std::optional<std::vector<ImportLibrary>> ReadImports(std::span<const uint8_t> image, const Headers& headers);

// Stores an import's address in its slot (4 or 8 bytes by the image's kind). False when out of range.
bool WriteSlot(std::span<uint8_t> image, bool is64, uint32_t slotRva, uint64_t address);

// The headers of an image already laid out in memory (this loader's, or one the system loaded). `view`
// must cover at least the headers; the result's imageSize is the SizeOfImage field.
std::optional<Headers> ParseMappedHeaders(std::span<const uint8_t> view);

struct ExportTarget {
    uint32_t rva = 0;         // 0: not exported
    std::string forwardedTo;  // "OTHERDLL.Name" or "OTHERDLL.#12" when the export is a forwarder
};

// Looks an export up by ordinal (the value as exported, including the ordinal base) or by exact name.
ExportTarget FindExport(std::span<const uint8_t> image, const Headers& headers, uint32_t ordinal);
ExportTarget FindExport(std::span<const uint8_t> image, const Headers& headers, std::string_view name);

// True when the resource directory of a mapped image has an entry of the given numeric type (24: manifest).
bool HasResourceType(std::span<const uint8_t> image, const Headers& headers, uint32_t type);

}  // namespace kx::pe
