#include "pe/XpCheck.h"

#include <gtest/gtest.h>

#include "PeBuilder.h"

namespace kx::test {
namespace {

Bytes Binary(bool dll, bool manifest, std::vector<std::string> kernel32, uint16_t major = 5, uint16_t minor = 1) {
    PeBuilder pe;
    pe.characteristics = dll ? 0x2102 : 0x0102;
    pe.subsystemMajor = major;
    pe.subsystemMinor = minor;
    pe.AddSection(".text", Bytes(0x10, 0xC3));
    size_t data = pe.AddSection(".rdata", Bytes(0x600, 0));
    AddImports(pe, data, 0, {{"KERNEL32.dll", kernel32}, {"msvcrt.dll", {"malloc"}}});
    if (manifest) {
        Bytes& d = pe.sections[data].data;
        Put16(d, 0x500 + 14, 1);
        Put32(d, 0x500 + 16, 24);
        pe.SetDir(2, pe.sections[data].rva + 0x500, 0x18);
    }
    return pe.Build();
}

TEST(XpCheck, AProgramBuiltForXpPasses) {
    auto report = CheckForXp(Binary(false, true, {"GetTickCount", "Sleep", "GetLogicalProcessorInformation"}));
    EXPECT_TRUE(report.Passes()) << (report.problems.empty() ? "" : report.problems[0]);
    EXPECT_EQ(report.machine, "i386");
    EXPECT_EQ(report.subsystem, "windows");
    EXPECT_TRUE(report.hasManifest);
    EXPECT_TRUE(CheckForXp(Binary(true, false, {"Sleep"})).Passes()) << "a DLL needs no manifest";
}

TEST(XpCheck, EachReasonXpWouldRefuseIsReported) {
    auto imports = CheckForXp(Binary(true, false, {"Sleep", "GetTickCount64", "AcquireSRWLockExclusive"}));
    EXPECT_FALSE(imports.Passes());
    EXPECT_EQ(imports.postXpImports,
              (std::vector<std::string>{"KERNEL32.dll!GetTickCount64", "KERNEL32.dll!AcquireSRWLockExclusive"}));

    EXPECT_FALSE(CheckForXp(Binary(false, false, {"Sleep"})).Passes()) << "exe without manifest";
    auto version = CheckForXp(Binary(true, false, {"Sleep"}, 6, 0));
    ASSERT_EQ(version.problems.size(), 1u);
    EXPECT_EQ(version.problems[0], "subsystem version 6.00 is above 5.01");
    EXPECT_FALSE(CheckForXp(Binary(true, false, {"Sleep"}, 5, 2)).Passes());
    EXPECT_TRUE(CheckForXp(Binary(true, false, {"Sleep"}, 5, 0)).Passes());
    EXPECT_FALSE(CheckForXp(Bytes(100, 0)).Passes());
}

TEST(XpCheck, LibraryNamesIgnoreCaseFunctionNamesDoNot) {
    EXPECT_TRUE(IsPostXpImport("KERNEL32.DLL", "InitOnceExecuteOnce"));
    EXPECT_TRUE(IsPostXpImport("kernel32.dll", "FlsAlloc"));
    EXPECT_FALSE(IsPostXpImport("kernel32.dll", "getTickCount64"));
    EXPECT_FALSE(IsPostXpImport("user32.dll", "GetTickCount64"));
    EXPECT_TRUE(IsPostXpImport("api-ms-win-core-synch-l1-2-0.dll", "Sleep"));
}

}  // namespace
}  // namespace kx::test
