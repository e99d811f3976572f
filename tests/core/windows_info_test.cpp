#include <gtest/gtest.h>

#include "platform/WindowsInfo.h"

namespace kx {
namespace {

TEST(WindowsInfo, VersionNames) {
    EXPECT_EQ(VersionNameFor(4, 0), "WinNT");
    EXPECT_EQ(VersionNameFor(5, 0), "Win2000");
    EXPECT_EQ(VersionNameFor(5, 1), "WinXP");
    EXPECT_EQ(VersionNameFor(5, 2), "Win2003");
    EXPECT_EQ(VersionNameFor(5, 3), "未知");
    EXPECT_EQ(VersionNameFor(6, 0), "Vista");
    EXPECT_EQ(VersionNameFor(6, 1), "Win7");
    EXPECT_EQ(VersionNameFor(6, 2), "Win8");
    EXPECT_EQ(VersionNameFor(6, 3), "Win8");
    EXPECT_EQ(VersionNameFor(6, 4), "未知");
    EXPECT_EQ(VersionNameFor(10, 0), "未知");
    EXPECT_EQ(PlatformFamilyFor(2), 3);
    EXPECT_EQ(PlatformFamilyFor(1), 2);
    EXPECT_EQ(PlatformFamilyFor(0), 1);
    EXPECT_EQ(PlatformFamilyFor(3), 0);
}

}  // namespace
}  // namespace kx
