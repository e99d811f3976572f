#include <gtest/gtest.h>

#include "ImagingRig.h"

namespace kx::test {
namespace {

using SearchRig = ImagingRig;

TEST(ImageSearch, ListsImagesOver400MegabytesWithinTwoLevelsOutsideTheRecycleBin) {
    SearchRig r;
    r.imageFiles.Add("C:\\exact400.gho", 400 * kMiB + kMiB - 1);  // 400 whole megabytes
    r.imageFiles.Add("C:\\big401.GHO", 401 * kMiB);
    r.imageFiles.Add("D:\\a\\in-folder.Gho", 500 * kMiB);
    r.imageFiles.Add("D:\\a\\b\\too-deep.gho", 500 * kMiB);
    r.imageFiles.Add("D:\\$Recycle.Bin\\deleted.gho", 500 * kMiB);
    r.imageFiles.Add("E:\\huge.gho", 4 * kGiB + 1);
    r.imageFiles.Add("E:\\notes.txt", 500 * kMiB);
    EXPECT_EQ(r.Search(), (std::vector<std::string>{"C:\\big401.GHO", "D:\\a\\in-folder.Gho", "E:\\huge.gho"}));
    EXPECT_TRUE(r.searchDrawn);
    EXPECT_EQ(r.window.Items(kImageList), r.program.state().imaging.restorePage.images) << "drawn from the state";
    EXPECT_EQ(r.program.state().imaging.restorePage.chosen, 0);
    EXPECT_EQ(r.window.Selection(kImageList), 0);
    EXPECT_EQ(r.window.Selection(kRestoreList), 0);
    EXPECT_TRUE(r.window.Enabled("刷新硬盘映像_按钮"));
    EXPECT_TRUE(r.window.Enabled(kImageList));
    EXPECT_TRUE(r.window.Enabled("开始还原_按钮"));
    EXPECT_EQ(r.window.Text(kStatusLabel), "把镜像文件 \"C:\\big401.GHO\" 还原到磁盘分区C:");
    for (const std::string& folder : r.imageFiles.listed)
        EXPECT_EQ(folder.find("D:\\a\\b\\"), std::string::npos) << "nothing deeper than two levels is read";
}

TEST(ImageSearch, AnUnreadableDriveIsSkippedAndTheOthersAreSearched) {
    SearchRig r;
    r.imageFiles.Add("D:\\gone.gho", 800 * kMiB);
    r.imageFiles.Add("E:\\kept.gho", 800 * kMiB);
    r.imageFiles.unreadable.insert("D:\\");
    r.drives.drives['C'].type = 5;  // an optical drive in the list is not searched
    r.imageFiles.Add("C:\\disc.gho", 800 * kMiB);
    EXPECT_EQ(r.Search(), std::vector<std::string>{"E:\\kept.gho"});
}

// A stopped search never says it finished: the page keeps its search button off for the search that follows,
// and a later search does not show what the stopped one had found.
TEST(ImageSearch, AStoppedSearchIsNeverDrawnAsFinished) {
    SearchRig r;
    r.imageFiles.Add("D:\\early.gho", 800 * kMiB);
    r.imageFiles.Add("E:\\kept.gho", 800 * kMiB);
    r.window.SetEnabled("刷新硬盘映像_按钮", false);
    Worker& worker = r.program.state().disk.imageSearch;
    Worker::Job job = ImageSearchJob(r.Context());
    worker.Start([&](const StopToken& stop) {
        r.imageFiles.onList = [&] { worker.RequestStop(); };
        job(stop);
    });
    worker.Wait();
    EXPECT_FALSE(DrawImageSearch(r.Context()));
    EXPECT_FALSE(r.window.Enabled("刷新硬盘映像_按钮"));
    r.imageFiles.onList = nullptr;
    r.imageFiles.Add("E:\\later.gho", 800 * kMiB);
    r.imageFiles.sizes.erase("D:\\early.gho");
    EXPECT_EQ(r.Search(), (std::vector<std::string>{"E:\\kept.gho", "E:\\later.gho"}));
    EXPECT_TRUE(r.window.Enabled("刷新硬盘映像_按钮"));
}

// The page's state after a search, a pick and a mode switch, each drawn into the window.
TEST(RestorePage, StateAfterASearchAPickAndAModeSwitch) {
    SearchRig r;
    r.imageFiles.Add("D:\\found.gho", 800 * kMiB);
    const RestorePageState& page = r.program.state().imaging.restorePage;
    r.Search();
    EXPECT_EQ(page.images, std::vector<std::string>{"D:\\found.gho"});
    EXPECT_EQ(page.chosen, 0);

    r.imageFiles.Add("E:\\picked.gho", 800 * kMiB);
    r.fileDialog.answer = "E:\\picked.gho";
    r.program.Dispatch("操作映像_按钮", Event::Click);
    EXPECT_EQ(page.images, (std::vector<std::string>{"D:\\found.gho", "E:\\picked.gho"}));
    EXPECT_EQ(page.chosen, 1);
    EXPECT_EQ(r.window.Text(kStatusLabel), "把镜像文件 \"E:\\picked.gho\" 还原到磁盘分区C:");

    r.program.Dispatch("备份_单选框", Event::Click);
    EXPECT_FALSE(r.program.state().imaging.oneTapRestore);
    EXPECT_EQ(page.images, (std::vector<std::string>{"D:\\found.gho", "D:\\qzrpgho\\temp.gho"}));
    EXPECT_EQ(page.replacedItem, "E:\\picked.gho");
    EXPECT_TRUE(r.window.Enabled("开始还原_按钮")) << "the file to create need not exist";

    r.program.Dispatch("还原_单选框", Event::Click);
    EXPECT_EQ(page.images, (std::vector<std::string>{"D:\\found.gho", "E:\\picked.gho"}));
    EXPECT_EQ(page.chosen, 1);
    EXPECT_TRUE(page.replacedItem.empty());
    EXPECT_EQ(r.window.Items(kImageList), page.images);
    EXPECT_EQ(r.window.Selection(kImageList), 1);
}

TEST(RestorePage, ChoosingAnImageEnablesTheRunOnlyWhenTheFileExists) {
    ImagingRig r;
    r.imageFiles.Add("D:\\here.gho", 800 * kMiB);
    r.ChooseImage("D:\\gone.gho");
    r.program.Dispatch(kImageList, Event::SelectionChanged);
    EXPECT_FALSE(r.window.Enabled("开始还原_按钮"));
    r.ChooseImage("D:\\here.gho");
    r.program.Dispatch(kImageList, Event::SelectionChanged);
    EXPECT_TRUE(r.window.Enabled("开始还原_按钮"));
    EXPECT_EQ(r.program.state().imaging.restorePage.chosen, 1);
    EXPECT_EQ(r.window.Text(kStatusLabel), "把镜像文件 \"D:\\here.gho\" 还原到磁盘分区C:");
}

TEST(RestorePage, PickingAFileAddsItAndMakesItCurrentInBothModes) {
    ImagingRig r;
    r.imageFiles.Add("D:\\picked.gho", 800 * kMiB);
    r.fileDialog.answer = "D:\\picked.gho";
    r.program.Dispatch("操作映像_按钮", Event::Click);
    ASSERT_EQ(r.fileDialog.requests.size(), 1u);
    EXPECT_FALSE(r.fileDialog.requests[0].save);
    EXPECT_EQ(r.fileDialog.requests[0].filter,
              "映像文件(*.GHO;*.ISO;*.GGH)|*.GHO;*.ISO;*.GGH|Windows 映像(*.WIM;*.ESD)|*.WIM;*.ESD");
    EXPECT_EQ(r.window.Items(kImageList), std::vector<std::string>{"D:\\picked.gho"});
    EXPECT_EQ(r.window.Selection(kImageList), 0);

    r.program.Dispatch("备份_单选框", Event::Click);
    r.fileDialog.answer = "E:\\new.gho";
    r.program.Dispatch("操作映像_按钮", Event::Click);
    EXPECT_TRUE(r.fileDialog.requests[1].save);
    EXPECT_EQ(r.fileDialog.requests[1].fileName, "Test.Gho");
    EXPECT_EQ(r.fileDialog.requests[1].filter, "映像文件(*.GHO;*.ISO;*.GGH)|*.GHO;*.ISO;*.GGH")
        << "a backup is Ghost's";
    EXPECT_EQ(r.window.Selection(kImageList), 1) << "the file to create is the current item";

    r.fileDialog.answer.reset();
    r.program.Dispatch("操作映像_按钮", Event::Click);
    EXPECT_EQ(r.window.Items(kImageList).size(), 2u) << "a cancelled dialog adds nothing";
}

TEST(RestorePage, TheBackupModeReplacesTheCurrentItemAndTheRestoreModePutsItBack) {
    ImagingRig r;
    r.ChooseImage("D:\\one.gho");
    r.ChooseImage("D:\\two.gho");
    r.program.Dispatch(kImageList, Event::SelectionChanged);
    r.program.Dispatch("备份_单选框", Event::Click);
    EXPECT_TRUE(r.window.Checked("备份_单选框"));
    EXPECT_FALSE(r.window.Checked("还原_单选框"));
    EXPECT_EQ(r.window.Text("操作映像_按钮"), "保存(S)");
    EXPECT_EQ(r.window.ColumnCaption(kRestoreList, 0), "备份分区");
    EXPECT_EQ(r.window.Items(kImageList), (std::vector<std::string>{"D:\\one.gho", "D:\\qzrpgho\\temp.gho"}))
        << "the default image goes to a data partition, not the system partition most often saved";
    r.program.Dispatch("备份_单选框", Event::Click);  // a second click replaces nothing more
    r.program.Dispatch("还原_单选框", Event::Click);
    EXPECT_EQ(r.window.Items(kImageList), (std::vector<std::string>{"D:\\one.gho", "D:\\two.gho"}));
    EXPECT_EQ(r.window.Selection(kImageList), 1);
    EXPECT_EQ(r.window.Text("操作映像_按钮"), "打开(O)");
    EXPECT_EQ(r.window.ColumnCaption(kRestoreList, 0), "还原分区");
    EXPECT_TRUE(r.program.state().imaging.oneTapRestore);
}

TEST(RestorePage, TheBackupModeWithAnEmptyListChangesNoItem) {
    ImagingRig r;
    r.program.Dispatch("备份_单选框", Event::Click);
    EXPECT_TRUE(r.window.Items(kImageList).empty());
    r.program.Dispatch("开始还原_按钮", Event::Click);
    EXPECT_EQ(r.LastMessage(), "请先指定备份到的映像文件。");
    EXPECT_TRUE(r.NothingWritten());
}

}  // namespace
}  // namespace kx::test
