// Feeds arbitrary bytes through everything the loader does to an image before running it: the header
// checks, the layout, relocation, the import list and export lookups. Any read or write outside a buffer
// is an AddressSanitizer report.
#include <cstdint>
#include <vector>

#include "pe/PeImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> file(data, size);
    auto headers = kx::pe::ParseHeaders(file, 0);
    // Images of many megabytes are legal but only slow the search down; their reading is the same code.
    if (!headers || headers->imageSize > (2u << 20)) return 0;
    std::vector<uint8_t> image(headers->imageSize);
    kx::pe::MapSections(file, *headers, image);
    kx::pe::ApplyRelocations(image, *headers, 0x10000);
    if (auto imports = kx::pe::ReadImports(image, *headers)) {
        for (const auto& library : *imports) {
            for (const auto& entry : library.entries) kx::pe::WriteSlot(image, headers->is64, entry.slotRva, 1);
        }
    }
    for (uint32_t ordinal : {0u, 1u, 2u, 5u, 0xFFFFu}) kx::pe::FindExport(image, *headers, ordinal);
    kx::pe::FindExport(image, *headers, "HTTP_DownLoad_Start");
    kx::pe::HasResourceType(image, *headers, 24);
    kx::pe::ParseMappedHeaders(image);
    return 0;
}
