#include "pe/PeImage.h"

#include <gtest/gtest.h>

#include "PeBuilder.h"

namespace kx::test {
namespace {

using pe::Headers;

// A DLL with a code section and a data section that holds imports, exports and relocations.
struct Sample {
    PeBuilder pe;
    size_t data = 0;
    Sample(bool is64 = false) {
        pe.is64 = is64;
        pe.AddSection(".text", Bytes(0x40, 0x90));
        data = pe.AddSection(".data", Bytes(0x800, 0));
    }
    uint32_t DataRva() const { return pe.sections[data].rva; }
};

std::vector<uint8_t> Mapped(const Bytes& file, const Headers& h) {
    std::vector<uint8_t> image(h.imageSize);
    pe::MapSections(file, h, image);
    return image;
}

TEST(PeHeaders, AcceptsTheImageKindOfTheRunningProcessOnly) {
    Bytes dll32 = Sample(false).pe.Build();
    Bytes dll64 = Sample(true).pe.Build();
    ASSERT_TRUE(pe::ParseHeaders(dll32, pe::kMachineI386));
    ASSERT_TRUE(pe::ParseHeaders(dll64, pe::kMachineAmd64));
    EXPECT_FALSE(pe::ParseHeaders(dll64, pe::kMachineI386)) << "a 64-bit image in the 32-bit program";
    EXPECT_FALSE(pe::ParseHeaders(dll32, pe::kMachineAmd64));
    auto h = pe::ParseHeaders(dll64, 0);
    ASSERT_TRUE(h);
    EXPECT_TRUE(h->is64);
    EXPECT_EQ(h->imageBase, 0x10000000u);
    EXPECT_EQ(h->sections.size(), 2u);
    EXPECT_EQ(h->sections[1].name, ".data");
}

TEST(PeHeaders, RefusesEveryHeaderThatPointsOutsideTheData) {
    const Bytes good = Sample().pe.Build();
    auto refused = [](Bytes b) { return !pe::ParseHeaders(b, pe::kMachineI386).has_value(); };
    EXPECT_TRUE(refused(Bytes(good.begin(), good.begin() + 63)));
    EXPECT_TRUE(refused({}));
    Bytes b = good;
    b[1] = 'X';
    EXPECT_TRUE(refused(b)) << "no MZ";
    b = good;
    Put32(b, 0x3C, 0xFFFFFFF0);
    EXPECT_TRUE(refused(b)) << "new header beyond the data (and beyond 32 bits when added to)";
    b = good;
    b[PeBuilder::kNt + 2] = 1;
    EXPECT_TRUE(refused(b)) << "signature PE\\0\\0";
    b = good;
    Put16(b, PeBuilder::kNt + 22, 0x2100);
    EXPECT_TRUE(refused(b)) << "not an executable image";
    b = good;
    Put16(b, PeBuilder::kNt + 20, 200);
    EXPECT_TRUE(refused(b)) << "optional header shorter than 224 bytes";
    b = good;
    Put16(b, PeBuilder::kNt + 24, 0x20B);
    EXPECT_TRUE(refused(b)) << "PE32+ optional header in an i386 image";
    b = good;
    Put16(b, PeBuilder::kNt + 6, 0xFFFF);
    EXPECT_TRUE(refused(b)) << "section table beyond the data";
    b = good;
    Put32(b, PeBuilder{}.SectionTable() + 40 + 20, 0xFFFFFF00);
    EXPECT_TRUE(refused(b)) << "raw offset + size wraps around 32 bits";
    b = good;
    Put32(b, PeBuilder{}.SectionTable() + 40 + 16, static_cast<uint32_t>(good.size()));
    EXPECT_TRUE(refused(b)) << "raw data beyond the end";
    b = good;
    Put32(b, PeBuilder::kNt + 24 + 32, 0x1001);
    EXPECT_TRUE(refused(b)) << "section alignment not a power of two";
    b = good;
    Put32(b, PeBuilder{}.SectionTable() + 12, 0xFFFFF000);
    EXPECT_TRUE(refused(b)) << "section end beyond 4 GB";
    b = good;
    Put32(b, PeBuilder::kNt + 24 + 16, 0x00100000);
    EXPECT_TRUE(refused(b)) << "entry point outside the image";
    // Every truncation of a good image is either refused or read without touching bytes past the end.
    for (size_t n = 0; n < good.size(); n += 7) pe::ParseHeaders(Bytes(good.begin(), good.begin() + n), 0);
}

TEST(PeHeaders, ImageSizeCoversTheLargestSectionEvenWhenSizeOfImageIsSmaller) {
    Sample s;
    s.pe.sections[1].virtualSize = 0x2345;
    s.pe.sizeOfImage = 0x1000;
    Bytes file = s.pe.Build();
    auto h = pe::ParseHeaders(file, 0);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->imageSize, s.DataRva() + 0x3000);
    // The mapped copy says so too, so that later lookups on the loaded image stay within it.
    auto image = Mapped(file, *h);
    EXPECT_EQ(Get32(image.data() + h->sizeOfImageOffset), h->imageSize);
    EXPECT_EQ(image[0x1000], 0x90) << "raw data at its virtual address";
    EXPECT_EQ(image[0x1000 + 0x40], 0) << "the rest of the section is zero";
    EXPECT_EQ(pe::ParseMappedHeaders(image)->imageSize, h->imageSize);
}

TEST(PeRelocations, AddDeltaToAbsoluteEntriesOnlyAndStayInsideTheImage) {
    Sample s;
    const uint32_t rva = s.DataRva();
    Bytes& d = s.pe.sections[s.data].data;
    Put32(d, 0x10, 0x10001234);
    Put32(d, 0x20, 0x11111111);
    Put32(d, 0x400, rva);  // block: page = the data section
    Put32(d, 0x404, 8 + 3 * 2);
    Put16(d, 0x408, 0x3010);  // 32-bit absolute at +0x10
    Put16(d, 0x40A, 0xA020);  // a 64-bit entry in a 32-bit image: skipped
    Put16(d, 0x40C, 0x0000);  // padding
    Put32(d, 0x40E, 0);       // block with page 0 ends the walk
    s.pe.SetDir(pe::kRelocDir, rva + 0x400, 0x20);
    Bytes file = s.pe.Build();
    auto h = pe::ParseHeaders(file, 0);
    auto image = Mapped(file, *h);
    ASSERT_TRUE(pe::ApplyRelocations(image, *h, 0x00230000));
    EXPECT_EQ(Get32(image.data() + rva + 0x10), 0x10231234u);
    EXPECT_EQ(Get32(image.data() + rva + 0x20), 0x11111111u);
    ASSERT_TRUE(pe::ApplyRelocations(image, *h, 0));
    EXPECT_EQ(Get32(image.data() + rva + 0x10), 0x10231234u);

    auto refusedWith = [&](uint32_t at, uint32_t value) {
        Bytes bad = file;
        Put32(bad, 0x400 + 0x200 + at, value);  // the data section's raw data starts at 0x600
        auto hb = pe::ParseHeaders(bad, 0);
        auto img = Mapped(bad, *hb);
        return !pe::ApplyRelocations(img, *hb, 0x1000);
    };
    ASSERT_EQ(file[0x600 + 0x404], 14) << "the data section's raw offset moved; fix the test's offsets";
    EXPECT_TRUE(refusedWith(0x400, h->imageSize - 0x10)) << "entry past the last four bytes of the image";
    EXPECT_TRUE(refusedWith(0x404, 4)) << "block shorter than its header";
    EXPECT_TRUE(refusedWith(0x404, 0x1000)) << "block longer than the directory";
}

TEST(PeRelocations, SixtyFourBitEntriesInAPe32PlusImage) {
    Sample s(true);
    const uint32_t rva = s.DataRva();
    Bytes& d = s.pe.sections[s.data].data;
    Put64(d, 0x10, 0x0000000140001000ull);
    Put32(d, 0x400, rva);
    Put32(d, 0x404, 12);
    Put16(d, 0x408, 0xA010);
    s.pe.SetDir(pe::kRelocDir, rva + 0x400, 12);
    Bytes file = s.pe.Build();
    auto h = pe::ParseHeaders(file, 0);
    auto image = Mapped(file, *h);
    ASSERT_TRUE(pe::ApplyRelocations(image, *h, 0x100000000ull));
    EXPECT_EQ(Get64(image.data() + rva + 0x10), 0x0000000240001000ull);
}

TEST(PeImports, ListsNamesAndOrdinalsWithTheirSlots) {
    for (bool is64 : {false, true}) {
        Sample s(is64);
        const uint32_t iat = AddImports(s.pe, s.data, 0x100,
                                        {{"KERNEL32.dll", {"GetTickCount", "#7"}}, {"user32.dll", {"MessageBoxW"}}});
        Bytes file = s.pe.Build();
        auto h = pe::ParseHeaders(file, 0);
        auto image = Mapped(file, *h);
        auto imports = pe::ReadImports(image, *h);
        ASSERT_TRUE(imports);
        ASSERT_EQ(imports->size(), 2u);
        const auto& k = (*imports)[0];
        EXPECT_EQ(k.name, "KERNEL32.dll");
        ASSERT_EQ(k.entries.size(), 2u);
        EXPECT_EQ(k.entries[0].name, "GetTickCount");
        EXPECT_TRUE(k.entries[1].byOrdinal);
        EXPECT_EQ(k.entries[1].ordinal, 7);
        EXPECT_EQ(k.entries[0].slotRva, s.DataRva() + iat);
        EXPECT_EQ(k.entries[1].slotRva, s.DataRva() + iat + (is64 ? 8 : 4));
        EXPECT_EQ((*imports)[1].entries[0].name, "MessageBoxW");

        ASSERT_TRUE(pe::WriteSlot(image, is64, k.entries[1].slotRva, 0x1122334455667788ull));
        if (is64)
            EXPECT_EQ(Get64(image.data() + k.entries[1].slotRva), 0x1122334455667788ull);
        else
            EXPECT_EQ(Get32(image.data() + k.entries[1].slotRva), 0x55667788u);
        EXPECT_FALSE(pe::WriteSlot(image, is64, h->imageSize - 2, 1));
    }
}

TEST(PeImports, WithoutALookupTableTheAddressTableIsWalked) {
    Sample s;
    AddImports(s.pe, s.data, 0x100, {{"KERNEL32.dll", {"Sleep"}}});
    Put32(s.pe.sections[s.data].data, 0x100, 0);
    Bytes file = s.pe.Build();
    auto h = pe::ParseHeaders(file, 0);
    auto image = Mapped(file, *h);
    auto imports = pe::ReadImports(image, *h);
    ASSERT_TRUE(imports);
    ASSERT_EQ((*imports)[0].entries.size(), 1u);
    EXPECT_EQ((*imports)[0].entries[0].name, "Sleep");
}

TEST(PeImports, MalformedTablesAreRefusedWhole) {
    auto readWith = [](uint32_t at, uint32_t value) {
        Sample s;
        AddImports(s.pe, s.data, 0x100, {{"KERNEL32.dll", {"Sleep"}}});
        Put32(s.pe.sections[s.data].data, at, value);
        Bytes file = s.pe.Build();
        auto h = pe::ParseHeaders(file, 0);
        auto image = Mapped(file, *h);
        return pe::ReadImports(image, *h).has_value();
    };
    EXPECT_TRUE(readWith(0x200, 0));
    EXPECT_FALSE(readWith(0x100 + 12, 0x7FFFFFF0)) << "library name outside the image";
    EXPECT_FALSE(readWith(0x100 + 16, 0)) << "no address table to write to";
    EXPECT_FALSE(readWith(0x100, 0x7FFFFFF0)) << "lookup table outside the image";
    EXPECT_FALSE(readWith(0x100 + 16, 0x1000 + 0x10000 + 0xFFE)) << "slots run off the end of the image";

    // A name that is not terminated before the image ends.
    Sample s;
    AddImports(s.pe, s.data, 0x100, {{"KERNEL32.dll", {"Sleep"}}});
    Bytes file = s.pe.Build();
    auto h = pe::ParseHeaders(file, 0);
    auto image = Mapped(file, *h);
    std::fill(image.end() - 16, image.end(), 'A');
    Put32(image, s.DataRva() + 0x100 + 12, h->imageSize - 16);
    EXPECT_FALSE(pe::ReadImports(image, *h));
}

TEST(PeExports, OrdinalsAndNames) {
    Sample s;
    // Ordinals 5, 6, 7; the name "Beta" points at index 9, outside the function table, and is skipped.
    AddExports(s.pe, s.data, 0x300, 5, {0x1010, 0x1020, 0}, {{"Alpha", 0}, {"Beta", 9}, {"Beta", 1}, {"Forward", 2}});
    Bytes file = s.pe.Build();
    auto h = pe::ParseHeaders(file, 0);
    auto image = Mapped(file, *h);
    EXPECT_EQ(pe::FindExport(image, *h, 5u).rva, 0x1010u);
    EXPECT_EQ(pe::FindExport(image, *h, 6u).rva, 0x1020u);
    EXPECT_EQ(pe::FindExport(image, *h, 7u).rva, 0u) << "an empty slot is not an export";
    EXPECT_EQ(pe::FindExport(image, *h, 8u).rva, 0u) << "one past the last ordinal";
    EXPECT_EQ(pe::FindExport(image, *h, 4u).rva, 0u) << "below the ordinal base";
    EXPECT_EQ(pe::FindExport(image, *h, "Alpha").rva, 0x1010u);
    EXPECT_EQ(pe::FindExport(image, *h, "Beta").rva, 0x1020u);
    EXPECT_EQ(pe::FindExport(image, *h, "alpha").rva, 0u) << "names are case-sensitive";
    EXPECT_EQ(pe::FindExport(image, *h, "Alph").rva, 0u);

    // A function address inside the export directory is a forwarder: a name, not code.
    Put32(image, s.DataRva() + 0x300 + 40 + 8, s.DataRva() + 0x3F0);
    PutText(image, s.DataRva() + 0x3F0, "NTDLL.RtlZero");
    h->dirs[pe::kExportDir].size = 0x100;
    auto forwarded = pe::FindExport(image, *h, "Forward");
    EXPECT_EQ(forwarded.rva, 0u);
    EXPECT_EQ(forwarded.forwardedTo, "NTDLL.RtlZero");

    // Tables that point outside the image find nothing instead of reading past it.
    Put32(image, s.DataRva() + 0x300 + 28, 0xFFFFFF00);
    EXPECT_EQ(pe::FindExport(image, *h, 5u).rva, 0u);
    Put32(image, s.DataRva() + 0x300 + 32, 0xFFFFFF00);
    EXPECT_EQ(pe::FindExport(image, *h, "Alpha").rva, 0u);
    h->dirs[pe::kExportDir].rva = h->imageSize - 8;
    EXPECT_EQ(pe::FindExport(image, *h, 5u).rva, 0u);
}

TEST(PeResources, FindsATypeByNumber) {
    Sample s;
    Bytes& d = s.pe.sections[s.data].data;
    Put16(d, 0x500 + 12, 1);  // one named entry, then two by number
    Put16(d, 0x500 + 14, 2);
    Put32(d, 0x500 + 16, 0x80000000);
    Put32(d, 0x500 + 24, 10);
    Put32(d, 0x500 + 32, 24);
    s.pe.SetDir(pe::kResourceDir, s.DataRva() + 0x500, 0x40);
    Bytes file = s.pe.Build();
    auto h = pe::ParseHeaders(file, 0);
    auto image = Mapped(file, *h);
    EXPECT_TRUE(pe::HasResourceType(image, *h, 24));
    EXPECT_TRUE(pe::HasResourceType(image, *h, 10));
    EXPECT_FALSE(pe::HasResourceType(image, *h, 3));
    Put16(image, s.DataRva() + 0x500 + 14, 0xFFFF);
    EXPECT_FALSE(pe::HasResourceType(image, *h, 3)) << "entries past the image end the search";
}

}  // namespace
}  // namespace kx::test
