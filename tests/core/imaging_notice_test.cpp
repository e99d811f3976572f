#include <gtest/gtest.h>

#include "imaging/EngineNotice.h"

namespace kx {
namespace {

TEST(EngineNotice, SaysWhatTheScreenShowsAndHowLongFromTheSizeInUse) {
    const std::string backup = EngineScreenNotice(false, "12.5 GB");
    EXPECT_NE(backup.find("英文的进度画面"), std::string::npos);
    EXPECT_NE(backup.find("请不要关机"), std::string::npos);
    // 12.5 GB at 15 MB/s is 853 s: 15 minutes, rounded up.
    EXPECT_NE(backup.find("按分区已用的 12.5 GB 估计，大约需要 15 分钟。"), std::string::npos) << backup;
    // A restore reads the image once more for its check: 12 MB/s, 18 minutes.
    EXPECT_NE(EngineScreenNotice(true, "12.5 GB").find("大约需要 18 分钟"), std::string::npos);
    // A nearly empty partition still takes a minute; an unreadable size gives no figure at all.
    EXPECT_NE(EngineScreenNotice(false, "0.01 GB").find("大约需要 1 分钟"), std::string::npos);
    for (const char* cell : {"", "?", "0 GB"})
        EXPECT_EQ(EngineScreenNotice(false, cell).find("分钟"), std::string::npos);
}

}  // namespace
}  // namespace kx
