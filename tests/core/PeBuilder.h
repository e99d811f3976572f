#pragma once
// Builds small PE32 / PE32+ files byte by byte for the image-reading tests: headers, sections placed at
// their virtual addresses, and helpers to lay out import, export, relocation and resource tables.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kx::test {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, size_t at, uint16_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    std::memcpy(b.data() + at, &v, 2);
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    std::memcpy(b.data() + at, &v, 4);
}
inline void Put64(Bytes& b, size_t at, uint64_t v) {
    if (b.size() < at + 8) b.resize(at + 8);
    std::memcpy(b.data() + at, &v, 8);
}
inline void PutText(Bytes& b, size_t at, const std::string& s) {
    if (b.size() < at + s.size() + 1) b.resize(at + s.size() + 1);
    std::memcpy(b.data() + at, s.c_str(), s.size() + 1);
}
inline uint32_t Get32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint64_t Get64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

struct PeBuilder {
    struct Sec {
        std::string name;
        uint32_t rva;
        Bytes data;
        uint32_t virtualSize;
    };

    bool is64 = false;
    uint16_t characteristics = 0x2102;  // executable, 32-bit words, DLL
    uint16_t subsystem = 2, subsystemMajor = 5, subsystemMinor = 1;
    uint64_t imageBase = 0x10000000;
    uint32_t sectionAlignment = 0x1000, sizeOfImage = 0;  // 0: computed
    uint32_t entryPoint = 0;
    uint32_t dirs[16][2] = {};
    std::vector<Sec> sections;

    static constexpr uint32_t kNt = 0x40, kRawStart = 0x400;

    // Adds a section at the next free page and returns its index; its bytes can grow until Build.
    size_t AddSection(const std::string& name, Bytes data = {}, uint32_t virtualSize = 0x1000) {
        uint32_t rva = sections.empty() ? 0x1000 : sections.back().rva + 0x10000;
        sections.push_back({name, rva, std::move(data), virtualSize});
        return sections.size() - 1;
    }
    void SetDir(unsigned index, uint32_t rva, uint32_t size) {
        dirs[index][0] = rva;
        dirs[index][1] = size;
    }
    uint32_t OptionalSize() const { return is64 ? 240 : 224; }
    uint32_t SectionTable() const { return kNt + 24 + OptionalSize(); }

    Bytes Build() const {
        Bytes b(kRawStart, 0);
        b[0] = 'M';
        b[1] = 'Z';
        Put32(b, 0x3C, kNt);
        Put32(b, kNt, 0x00004550);
        Put16(b, kNt + 4, is64 ? 0x8664 : 0x14C);
        Put16(b, kNt + 6, static_cast<uint16_t>(sections.size()));
        Put16(b, kNt + 20, static_cast<uint16_t>(OptionalSize()));
        Put16(b, kNt + 22, characteristics);
        const uint32_t opt = kNt + 24;
        Put16(b, opt, is64 ? 0x20B : 0x10B);
        Put32(b, opt + 16, entryPoint);
        if (is64)
            Put64(b, opt + 24, imageBase);
        else
            Put32(b, opt + 28, static_cast<uint32_t>(imageBase));
        Put32(b, opt + 32, sectionAlignment);
        Put32(b, opt + 36, 0x200);
        Put16(b, opt + 40, 5);
        Put16(b, opt + 42, 1);
        Put16(b, opt + 48, subsystemMajor);
        Put16(b, opt + 50, subsystemMinor);
        uint32_t end = 0x1000;
        for (const Sec& s : sections) end = std::max(end, s.rva + std::max<uint32_t>(s.virtualSize, 0x1000));
        Put32(b, opt + 56, sizeOfImage ? sizeOfImage : end);
        Put32(b, opt + 60, kRawStart);
        Put16(b, opt + 68, subsystem);
        const uint32_t dirsAt = opt + (is64 ? 112 : 96);
        Put32(b, dirsAt - 4, 16);
        for (unsigned i = 0; i < 16; ++i) {
            Put32(b, dirsAt + 8 * i, dirs[i][0]);
            Put32(b, dirsAt + 8 * i + 4, dirs[i][1]);
        }
        uint32_t raw = kRawStart;
        for (size_t i = 0; i < sections.size(); ++i) {
            const Sec& s = sections[i];
            const uint32_t at = SectionTable() + 40 * static_cast<uint32_t>(i);
            std::memcpy(b.data() + at, s.name.c_str(), std::min<size_t>(8, s.name.size()));
            const uint32_t rawSize = static_cast<uint32_t>((s.data.size() + 0x1FF) & ~size_t{0x1FF});
            Put32(b, at + 8, s.virtualSize);
            Put32(b, at + 12, s.rva);
            Put32(b, at + 16, rawSize);
            Put32(b, at + 20, rawSize ? raw : 0);
            if (rawSize) {
                b.resize(raw + rawSize, 0);
                std::memcpy(b.data() + raw, s.data.data(), s.data.size());
                raw += rawSize;
            }
        }
        return b;
    }
};

// Lays an import table into a section's bytes at `at` (an offset in the section), for one library and
// the given functions ("#7" imports by ordinal). Returns the offset of the library's import address table.
inline uint32_t AddImports(PeBuilder& pe, size_t section, uint32_t at,
                           const std::vector<std::pair<std::string, std::vector<std::string>>>& libraries) {
    auto& sec = pe.sections[section];
    Bytes& d = sec.data;
    const uint32_t slot = pe.is64 ? 8 : 4;
    uint32_t cursor = at + 20 * static_cast<uint32_t>(libraries.size() + 1);
    uint32_t firstIat = 0;
    for (size_t l = 0; l < libraries.size(); ++l) {
        const auto& [dll, functions] = libraries[l];
        const uint32_t count = static_cast<uint32_t>(functions.size() + 1);
        const uint32_t lookup = cursor, iat = cursor + count * slot;
        if (l == 0) firstIat = iat;
        cursor = iat + count * slot;
        for (size_t f = 0; f < functions.size(); ++f) {
            uint64_t value;
            if (functions[f][0] == '#') {
                value = std::stoul(functions[f].substr(1)) | (pe.is64 ? 0x8000000000000000ull : 0x80000000ull);
            } else {
                value = sec.rva + cursor;
                Put16(d, cursor, 0);
                PutText(d, cursor + 2, functions[f]);
                cursor += static_cast<uint32_t>(functions[f].size() + 3 + 1) & ~1u;
            }
            for (uint32_t table : {lookup, iat}) {
                if (pe.is64)
                    Put64(d, table + f * slot, value);
                else
                    Put32(d, table + static_cast<uint32_t>(f) * slot, static_cast<uint32_t>(value));
            }
        }
        if (pe.is64) {
            Put64(d, lookup + (count - 1) * slot, 0);
            Put64(d, iat + (count - 1) * slot, 0);
        } else {
            Put32(d, lookup + (count - 1) * slot, 0);
            Put32(d, iat + (count - 1) * slot, 0);
        }
        PutText(d, cursor, dll);
        const uint32_t desc = at + 20 * static_cast<uint32_t>(l);
        Put32(d, desc, sec.rva + lookup);
        Put32(d, desc + 12, sec.rva + cursor);
        Put32(d, desc + 16, sec.rva + iat);
        cursor += static_cast<uint32_t>(dll.size() + 1);
    }
    Put32(d, at + 20 * static_cast<uint32_t>(libraries.size()) + 12, 0);
    pe.SetDir(1, sec.rva + at, 20 * static_cast<uint32_t>(libraries.size() + 1));
    if (d.size() < cursor) d.resize(cursor);
    return firstIat;
}

// An export table at `at` with ordinal base `base`: functions[i] is exported with ordinal base + i at the
// given RVA; names map a name to an index of functions.
inline void AddExports(PeBuilder& pe, size_t section, uint32_t at, uint32_t base,
                       const std::vector<uint32_t>& functions,
                       const std::vector<std::pair<std::string, uint16_t>>& names) {
    auto& sec = pe.sections[section];
    Bytes& d = sec.data;
    const uint32_t n = static_cast<uint32_t>(functions.size()), m = static_cast<uint32_t>(names.size());
    const uint32_t fTable = at + 40, nTable = fTable + 4 * n, oTable = nTable + 4 * m;
    uint32_t cursor = oTable + 2 * m;
    Put32(d, at + 16, base);
    Put32(d, at + 20, n);
    Put32(d, at + 24, m);
    Put32(d, at + 28, sec.rva + fTable);
    Put32(d, at + 32, sec.rva + nTable);
    Put32(d, at + 36, sec.rva + oTable);
    for (uint32_t i = 0; i < n; ++i) Put32(d, fTable + 4 * i, functions[i]);
    for (uint32_t i = 0; i < m; ++i) {
        Put32(d, nTable + 4 * i, sec.rva + cursor);
        Put16(d, oTable + 2 * i, names[i].second);
        PutText(d, cursor, names[i].first);
        cursor += static_cast<uint32_t>(names[i].first.size() + 1);
    }
    pe.SetDir(0, sec.rva + at, cursor - at);
}

}  // namespace kx::test
