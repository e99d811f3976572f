// The restore page with Windows imaging files: the search lists them, and on the engine route a run installs
// the edition the user chose (asked when the file has several) at the next start.
#include <gtest/gtest.h>

#include "DiskFakes.h"
#include "ImagingRig.h"
#include "WimBytes.h"
#include "imaging/EngineRoute.h"

namespace kx::test {
namespace {

const PartitionIdentity kC{0x5A3C0F12, 1048576}, kD{0x5A3C0F12, 41ull << 30};

// A WIM of one edition (or none): the header and the uncompressed UTF-16 XML right after it.
std::string OneEditionWim(uint32_t count = 1) {
    return MadeWim(
        Utf16(count ? u"\xFEFF<WIM><IMAGE INDEX=\"1\"><NAME>Windows 8 Pro</NAME></IMAGE></WIM>" : u"\xFEFF<WIM></WIM>"),
        count);
}

struct WimRig : ImagingRig {
    explicit WimRig(ImagingRoute on = ImagingRoute::Engine) {
        route = on;
        dosImage = on == ImagingRoute::Engine ? DosImageKind::Diagnostic : DosImageKind::DosEnvironment;
        program.state().route = route;
        program.state().dosImage = dosImage;
        imageFiles.AddBytes("D:\\sources\\install.wim", ReadTestData("wim/two-editions.wim"));
        imageFiles.AddBytes("D:\\win8.esd", OneEditionWim());
    }
    void Run(const std::string& image, MessageAnswer answer = MessageAnswer::Yes) {
        ChooseImage(image);
        messages.answer = answer;
        OneTapRun(Context());
    }
};

TEST(WimRestore, TheSearchListsWindowsImagingFilesOverTheFloorBesideGhostImages) {
    WimRig r(ImagingRoute::Dos);
    r.imageFiles.Add("C:\\sys.gho", 2 * kGiB);
    r.imageFiles.sizes["D:\\sources\\install.wim"] = 3 * kGiB;
    r.imageFiles.sizes["D:\\win8.esd"] = 2 * kGiB;
    r.imageFiles.Add("D:\\sources\\boot.wim", 300 * kMiB);  // a medium's Windows PE
    EXPECT_EQ(r.Search(), (std::vector<std::string>{"C:\\sys.gho", "D:\\win8.esd", "D:\\sources\\install.wim"}));
    EXPECT_EQ(r.window.Items(kImageList), r.program.state().imaging.restorePage.images);

    WimRig engine;
    engine.fileDialog.answer = "D:\\win8.esd";
    engine.program.Dispatch("操作映像_按钮", Event::Click);
    ASSERT_EQ(engine.fileDialog.requests.size(), 1u);
    EXPECT_NE(engine.fileDialog.requests[0].filter.find("*.WIM;*.ESD"), std::string::npos);
    EXPECT_EQ(engine.window.Items(kImageList), std::vector<std::string>{"D:\\win8.esd"});
}

TEST(WimRestore, AnEditionChosenAmongSeveralIsStagedAsAnApplyJob) {
    WimRig r;
    r.choice.answer = 1;
    r.Run("D:\\sources\\install.wim");
    ASSERT_EQ(r.choice.asked.size(), 1u);
    EXPECT_EQ(r.choice.asked[0], "映像文件 D:\\sources\\install.wim 中有 2 个版本，请选择要安装的一个：");
    EXPECT_EQ(r.choice.offered, (std::vector<std::string>{"1: 专业版 & 家庭版", "2: 旗舰版 😀"}));
    auto job = r.Job();
    ASSERT_TRUE(job) << job.outcome().Describe();
    EXPECT_EQ(job->mode, EngineJobMode::Apply);
    EXPECT_EQ(job->index, 2u);
    EXPECT_EQ(job->system, kC);
    EXPECT_EQ(job->partition, kC);
    EXPECT_EQ(job->image, kD);
    EXPECT_EQ(job->folder, "/sources/install.wim");
    EXPECT_EQ(job->ghostImage, "1:2\\sources\\install.wim");
    const ShownMessage& question = r.messages.shown.back();
    EXPECT_EQ(question.text.rfind(
                  "程序处理完成，是否马上重启计算机安装“2: 旗舰版 😀”？\r\n\r\n警告：此操作将会删除C:的所有数据。", 0),
              0u)
        << question.text;
    EXPECT_EQ(r.bcd.entries.size(), 1u);
    EXPECT_EQ(r.restart.Count(), 1u);
}

TEST(WimRestore, TheOnlyEditionIsNotAskedForAndCancelOrAQuestionCancelledWritesNothing) {
    WimRig r;
    r.Run("D:\\win8.esd", MessageAnswer::No);
    EXPECT_TRUE(r.choice.asked.empty());
    auto job = r.Job();
    ASSERT_TRUE(job) << job.outcome().Describe();
    EXPECT_EQ(job->index, 1u);
    EXPECT_EQ(r.restart.Count(), 0u);
    EXPECT_TRUE(r.window.Closed()) << "No keeps the job for the next start";

    WimRig cancelled;
    cancelled.choice.answer.reset();
    cancelled.Run("D:\\sources\\install.wim");
    EXPECT_EQ(cancelled.choice.asked.size(), 1u);
    EXPECT_TRUE(cancelled.NothingWritten());
    EXPECT_TRUE(cancelled.messages.shown.empty()) << "a cancel is silent";

    WimRig withdrawn;
    withdrawn.choice.answer = 0;
    withdrawn.Run("D:\\sources\\install.wim", MessageAnswer::Cancel);
    EXPECT_FALSE(withdrawn.bootFiles.files.count("C:\\KORVANIX.JOB"));
    EXPECT_TRUE(withdrawn.bcd.entries.empty());
    EXPECT_EQ(withdrawn.restart.Count(), 0u);
}

TEST(WimRestore, ADamagedWimOrAWimOnTheDosRouteIsRefusedBeforeAnythingIsWritten) {
    WimRig damaged;
    std::string cut = ReadTestData("wim/two-editions.wim");
    cut.resize(cut.size() - 40);  // the XML at the end is cut short
    damaged.imageFiles.AddBytes("D:\\cut.wim", cut);
    damaged.Run("D:\\cut.wim");
    EXPECT_TRUE(damaged.choice.asked.empty());
    EXPECT_TRUE(damaged.NothingWritten());
    EXPECT_NE(damaged.LastMessage().find("映像文件 D:\\cut.wim 不能用：WIM 映像文件不完整"), std::string::npos)
        << damaged.LastMessage();

    WimRig empty;
    empty.imageFiles.AddBytes("D:\\empty.wim", OneEditionWim(0));
    empty.Run("D:\\empty.wim");
    EXPECT_TRUE(empty.choice.asked.empty());
    EXPECT_TRUE(empty.NothingWritten());
    EXPECT_EQ(empty.LastMessage(), "映像文件 D:\\empty.wim 中没有映像，无法安装。");

    WimRig dos(ImagingRoute::Dos);
    dos.Run("D:\\win8.esd");
    EXPECT_TRUE(dos.NothingWritten());
    EXPECT_EQ(dos.LastMessage(),
              "映像文件 D:\\win8.esd 是 Windows 映像（WIM/ESD），DOS 下的 Ghost 不能用它安装系统。"
              "请选择 Ghost 映像（.gho），或使用不带 DOS 版 Ghost 的版本：它自带的映像引擎能安装 "
              "WIM/ESD 映像。");

    // A failure after the job is written takes it back.
    WimRig late;
    late.commands.answer = [](const std::string&) { return std::string("拒绝访问。"); };
    late.Run("D:\\win8.esd");
    EXPECT_FALSE(late.bootFiles.files.count("C:\\KORVANIX.JOB"));
    EXPECT_EQ(late.restart.Count(), 0u);
}

}  // namespace
}  // namespace kx::test
