#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "boot/EfiBoot.h"

namespace kx::test {
namespace {

// A hex file of tests/data/efi (see its README.txt) as bytes.
std::string DataBytes(const char* name) {
    std::ifstream in(std::string(KX_TEST_DATA) + "/efi/" + name);
    std::string hex, bytes;
    in >> hex;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

const char* const kEspGuid = "6E2B9F41-3C5D-4E8A-9B1F-0A2C4D6E8F10";

EfiPartition Esp() { return {1, 2048, 131072, ParseGuid(kEspGuid).value()}; }

TEST(EfiBoot, GuidsHaveTheByteOrderOfTheDiskAndTheFirmware) {
    // sfdisk's partition entry: type GUID, then the partition's own GUID.
    std::string entry = DataBytes("sfdisk-gpt-entry1.hex");
    ASSERT_EQ(entry.size(), 128u);
    auto type = ParseGuid("{c12a7328-f81f-11d2-ba4b-00a0c93ec93b}");
    auto own = ParseGuid(kEspGuid);
    ASSERT_TRUE(type && own);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(type->bytes.data()), 16), entry.substr(0, 16));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(own->bytes.data()), 16), entry.substr(16, 16));
    EXPECT_EQ(GuidText(own.value()), kEspGuid);
    for (const char* bad : {"6E2B9F41-3C5D-4E8A-9B1F-0A2C4D6E8F1", "6E2B9F41-3C5D-4E8A-9B1F-0A2C4D6E8F1G",
                            "6E2B9F413C5D-4E8A-9B1F-0A2C4D6E8F10-", "{6E2B9F41-3C5D-4E8A-9B1F-0A2C4D6E8F10", ""})
        EXPECT_FALSE(ParseGuid(bad)) << bad;
}

TEST(EfiBoot, TheLoadOptionIsTheOneTheFirmwareStarted) {
    auto option = EfiLoadOption(kEfiOptionDescription, Esp(), kEfiLoaderPath);
    ASSERT_TRUE(option) << option.outcome().what();
    EXPECT_EQ(option.value(), DataBytes("ovmf-boot0003.hex"));

    auto fields = ParseEfiLoadOption(option.value());
    ASSERT_TRUE(fields) << fields.outcome().what();
    EXPECT_EQ(fields->attributes, kLoadOptionActive);
    EXPECT_EQ(fields->description, "Korvanix");
    EXPECT_EQ(fields->partition, Esp());
    EXPECT_EQ(fields->path, kEfiLoaderPath);

    // Chinese and a character beyond the BMP (a surrogate pair) survive the round trip.
    auto chinese = EfiLoadOption("系统备份 𠀀", Esp(), "\\EFI\\korvanix\\启动.efi");
    ASSERT_TRUE(chinese);
    auto back = ParseEfiLoadOption(chinese.value());
    ASSERT_TRUE(back) << back.outcome().what();
    EXPECT_EQ(back->description, "系统备份 𠀀");
    EXPECT_EQ(back->path, "\\EFI\\korvanix\\启动.efi");
}

TEST(EfiBoot, RefusesWhatTheFirmwareCouldNotStart) {
    EfiPartition noGuid = Esp();
    noGuid.partitionGuid = Guid{};
    EfiPartition noNumber = Esp();
    noNumber.number = 0;
    EfiPartition noSize = Esp();
    noSize.sizeLba = 0;
    for (const auto& p : {noGuid, noNumber, noSize}) EXPECT_FALSE(EfiLoadOption("Korvanix", p, kEfiLoaderPath));
    for (const char* path : {"EFI\\korvanix\\shimx64.efi", "/EFI/korvanix/shimx64.efi", "\\", "\\EFI\\a\tb", "\\\xff"})
        EXPECT_FALSE(EfiLoadOption("Korvanix", Esp(), path)) << path;
    EXPECT_FALSE(EfiLoadOption("", Esp(), kEfiLoaderPath));
    EXPECT_FALSE(EfiLoadOption("\xc3", Esp(), kEfiLoaderPath));
}

TEST(EfiBoot, ReadsOnlyWellFormedOptionsOfOurShape) {
    // The firmware's own option for the disk (a PciRoot path) is not one of ours.
    auto firmware = ParseEfiLoadOption(DataBytes("ovmf-boot0001.hex"));
    EXPECT_FALSE(firmware);
    std::string good = DataBytes("ovmf-boot0003.hex");
    ASSERT_TRUE(ParseEfiLoadOption(good));
    // Every cut of the option, and a path list longer than the data, is refused.
    for (size_t n = 0; n < good.size(); ++n) EXPECT_FALSE(ParseEfiLoadOption(good.substr(0, n))) << n;
    std::string longer = good;
    longer[4] = static_cast<char>(longer[4] + 2);
    EXPECT_FALSE(ParseEfiLoadOption(longer));
    std::string mbr = good;
    mbr[6 + 18 + 40] = 0x01;  // HD()'s partition format: MBR
    EXPECT_FALSE(ParseEfiLoadOption(mbr));
}

TEST(EfiBoot, BootNextAndBootOrder) {
    EXPECT_EQ(EfiBootVariableName(0x3), "Boot0003");
    EXPECT_EQ(EfiBootVariableName(0xBEEF), "BootBEEF");
    EXPECT_EQ(EfiBootNextValue(0x0103), std::string("\x03\x01", 2));
    auto order = ParseEfiBootOrder(DataBytes("ovmf-bootorder.hex"));
    ASSERT_TRUE(order);
    EXPECT_EQ(order.value(), (std::vector<uint16_t>{0, 1, 2}));
    EXPECT_FALSE(ParseEfiBootOrder(std::string("\x01", 1)));
    EXPECT_EQ(FreeEfiBootNumber({0, 1, 2}).value(), 3);
    EXPECT_EQ(FreeEfiBootNumber({1, 0, 3}).value(), 2);
    std::vector<uint16_t> all;
    for (uint32_t n = 0; n < 0x10000; ++n) all.push_back(static_cast<uint16_t>(n));
    EXPECT_FALSE(FreeEfiBootNumber(all));
}

TEST(EfiBoot, GrubStartsTheEngineFromItsOwnFolder) {
    auto cfg = EfiGrubConfig("78DAD14E5D0DB89F");
    ASSERT_TRUE(cfg);
    EXPECT_NE(cfg->find("linux $cmdpath/kxlinux64 kx.job=78dad14e5d0db89f "), std::string::npos) << cfg.value();
    EXPECT_NE(cfg->find("initrd $cmdpath/kxinitrd $cmdpath/kxmod64\n"), std::string::npos);
    EXPECT_EQ(cfg->find("search"), std::string::npos);
    EXPECT_TRUE(EfiGrubConfig("1A2B3C4D"));
    for (const char* bad : {"", "78dad14e5d0db89", "78dad14e5d0db89g", "1 kx.job=2", "78dad14e5d0db89f\nboot"})
        EXPECT_FALSE(EfiGrubConfig(bad)) << bad;
}

}  // namespace
}  // namespace kx::test
