// A folder tree dropped on the window: its files come in with their folders,
// convert into the same tree as calvera-batch -r makes of it, and the Option
// page's "Flat" puts them straight into the output folder instead.

#include "EngineTestSupport.h"
#include "FlatEditUnit.h"
#include "GuiTestSupport.h"
#include "JobListModel.h"
#include "MyButtonEx.h"
#include "OptionsPage.h"
#include "PngSpeedButton.h"
#include "RunningProgram.h"
#include "Settings.h"
#include "TempDir.h"
#include "addForm.h"
#include "command.h"
#include "imagebutton.h"
#include "mainForm.h"
#include "uihook.h"

#include <QApplication>
#include <QCheckBox>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

const int kMp3 = shippedFormat("mp3");

class TreeDropTest : public testing::Test {
protected:
    TreeDropTest()
    {
        makeSeasonsTree(dir.path().string());
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    JobListModel& jobs() const { return *window.controller()->jobs(); }
    TCommand& driver() const { return *window.controller()->driver(); }
    static void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center()); }
    // Drops the tree and confirms the Add Files dialog with MP3 into folder.
    void dropTree(const std::string& folder)
    {
        dialogs.folderAnswers.push_back(QString::fromStdString(folder));
        whenModalShows<TaddDlg>([](TaddDlg& dialog) {
            dialog.ComboBox1->setCurrentIndex(kMp3);
            click(dialog.btDirectory);
            click(dialog.btnOk);
        });
        const int before = jobs().count();
        window.controller()->openFiles({QString::fromStdString(dir.file("lib"))});
        ASSERT_TRUE(waitFor([&] { return jobs().count() > before; }));
    }
    void convert()
    {
        click(window.btnConvert);
        ASSERT_TRUE(waitFor(
            [&] { return driver().Idle() && !boxes.seen.empty() && QApplication::activeModalWidget() == nullptr; },
            120000));
        boxes.seen.clear();
    }
    std::set<std::string> filesBelow(const std::string& folder) const { return filesIn(dir.file(folder)); }

    TempDir dir;
    FakeDialogs dialogs;
    MessageBoxAnswerer boxes;
    const bool defaults = (Settings().save(), true);
    TmainDlg window;
};

TEST_F(TreeDropTest, ADroppedTreeConvertsIntoTheTreeThatBatchRecursiveMakes)
{
    fs::create_directories(dir.file("window"));
    dropTree(dir.file("window"));
    ASSERT_EQ(jobs().count(), 3);
    QStringList subfolders;
    for (int i = 0; i < jobs().count(); ++i)
        subfolders << jobs().nodeAt(i)->Item.Subfolder;
    EXPECT_EQ(subfolders, (QStringList {"Season 1", "Season 2", ""}));
    convert();

    std::string output;
    ASSERT_EQ(runProgram({CALVERA_BATCH, "--catalogue", CALVERA_CATALOGUE, "--ffmpeg", "ffmpeg", "-f",
                             std::to_string(kMp3), "-o", dir.file("batch"), "-r", dir.file("lib")},
                  &output),
        0)
        << output;
    const std::set<std::string> tree = {"Season 1/E01.mp3", "Season 2/E01.mp3", "top.mp3"};
    EXPECT_EQ(filesBelow("window"), tree);
    EXPECT_EQ(filesBelow("batch"), tree);
}

TEST_F(TreeDropTest, FlatOnTheOptionPageIsKeptAndPutsTheOutputsStraightIntoTheFolder)
{
    click(window.btnOption);
    QCheckBox& flat = *window.OptionsPage1->cbFlat;
    EXPECT_FALSE(flat.isChecked());
    QTest::mouseClick(&flat, Qt::LeftButton, {}, QPoint(8, flat.height() / 2));
    EXPECT_TRUE(Settings::load().flat) << "kept for the next start";
    EXPECT_TRUE(driver().Flat);
    click(window.btnList);

    fs::create_directories(dir.file("flat"));
    dropTree(dir.file("flat"));
    convert();
    EXPECT_EQ(filesBelow("flat"), (std::set<std::string> {"E01.mp3", "E01_2.mp3", "top.mp3"}));
    // The items keep their folders all the same: a list saved now has them.
    EXPECT_EQ(jobs().nodeAt(1)->Item.Subfolder, "Season 2");
}

} // namespace
