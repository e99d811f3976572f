#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ImagingFakes.h"
#include "boot/EfiVariables.h"

namespace kx::test {
namespace {

EfiPartition Esp() { return {1, 2048, 131072, ParseGuid("6E2B9F41-3C5D-4E8A-9B1F-0A2C4D6E8F10").value()}; }

TEST(EfiVariables, StagesAFreeOptionAndBootNextLeavingBootOrder) {
    FakeFirmware fw;
    fw.vars["BootOrder"] = std::string("\x00\x00\x02\x00", 4);  // 0000, 0002
    fw.vars["Boot0000"] = "windows";
    fw.vars["Boot0001"] = "not in BootOrder";  // found by asking
    fw.vars["Boot0002"] = "firmware";
    auto number = StageEfiBoot(fw, Esp());
    ASSERT_TRUE(number) << number.outcome().what();
    EXPECT_EQ(number.value(), 3);
    EXPECT_EQ(fw.vars["Boot0003"], EfiLoadOption(kEfiOptionDescription, Esp(), kEfiLoaderPath).value());
    EXPECT_EQ(fw.vars["BootNext"], std::string("\x03\x00", 2));
    EXPECT_EQ(fw.vars["BootOrder"], std::string("\x00\x00\x02\x00", 4));
    EXPECT_EQ(fw.vars["Boot0001"], "not in BootOrder");

    // At the next start: ours goes, BootNext (still there: the machine did not restart) goes with it.
    ASSERT_TRUE(RemoveEfiBoot(fw, 3));
    EXPECT_FALSE(fw.vars.count("Boot0003"));
    EXPECT_FALSE(fw.vars.count("BootNext"));
    EXPECT_EQ(fw.vars.size(), 4u);
}

TEST(EfiVariables, AFirmwareThatRefusesOrDropsLeavesNothingBehind) {
    for (const char* refused : {"Boot0000", "BootNext"}) {
        FakeFirmware fw;
        fw.refuse.insert(refused);
        auto number = StageEfiBoot(fw, Esp());
        EXPECT_FALSE(number) << refused;
        EXPECT_TRUE(fw.vars.empty()) << refused;
    }
    FakeFirmware dropping;
    dropping.drop.insert("BootNext");
    EXPECT_FALSE(StageEfiBoot(dropping, Esp()));
    EXPECT_TRUE(dropping.vars.empty());
}

TEST(EfiVariables, RemovesOnlyItsOwnOption) {
    FakeFirmware fw;
    fw.vars["Boot0003"] = EfiLoadOption("Windows Boot Manager", Esp(), "\\EFI\\Microsoft\\Boot\\bootmgfw.efi").value();
    fw.vars["BootNext"] = std::string("\x03\x00", 2);
    EXPECT_FALSE(RemoveEfiBoot(fw, 3));
    EXPECT_EQ(fw.vars.size(), 2u);
    // BootNext naming another option stays.
    fw.vars["Boot0003"] = EfiLoadOption(kEfiOptionDescription, Esp(), kEfiLoaderPath).value();
    fw.vars["BootNext"] = std::string("\x04\x00", 2);
    ASSERT_TRUE(RemoveEfiBoot(fw, 3));
    EXPECT_FALSE(fw.vars.count("Boot0003"));
    EXPECT_EQ(fw.vars["BootNext"], std::string("\x04\x00", 2));
}

}  // namespace
}  // namespace kx::test
