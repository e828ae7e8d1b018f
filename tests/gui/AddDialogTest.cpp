#include "GuiTestSupport.h"
#include "FSProgressBar.h"
#include "FormsSupport.h"
#include "JobListView.h"
#include "LinePanelUnit.h"
#include "MyFlatHintUnit.h"
#include "PngImageList.h"
#include "imagebutton.h"
#include "TempDir.h"
#include "ProgramDir.h"
#include "addForm.h"

#include "FlatEditUnit.h"
#include "MyButtonEx.h"
#include "MyListBox.h"

#include <QMenu>
#include <QLabel>
#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> kFormats = {"MP4 video", "WebM video", "MP3 audio"};
const QString kGlobalFolder = "/home/someone/Videos/Calvera/";

TEST(AddDialog, ListsTheFilesAndSumsUp)
{
    TaddDlg dialog(kFormats, kGlobalFolder);
    EXPECT_EQ(dialog.size(), QSize(442, 547 + 40)) << "the form, and the size limit's row below it";
    EXPECT_EQ(dialog.windowTitle(), "Add Files");
    EXPECT_EQ(dialog.formatIndex(), 0) << "the first format is selected";
    dialog.Fill({"/v/a.avi", "/v/b.mpg", "/v/c.mov"});
    EXPECT_EQ(dialog.MyListBox1->count(), 3);
    // The empty folder's meaning, with the real folder.
    const QString saveTo = "save to: use global path (/home/someone/Videos/Calvera/)";
    EXPECT_EQ(dialog.informationLines(),
        (QStringList {"file count: 3", "format: MP4 video", saveTo, "Ready to go...click OK",
            "Cancel the operation...click Cancel"}));
    dialog.ComboBox1->setCurrentIndex(2);
    EXPECT_EQ(dialog.informationLines()[1], "format: MP3 audio") << "a new format rewrites line 1 only";
    EXPECT_EQ(dialog.informationLines()[2], saveTo);
    EXPECT_EQ(dialog.formatIndex(), 2);
}

TEST(AddDialog, DirectoryChooserAndItsCancel)
{
    TempDir dir;
    FakeDialogs dialogs;
    TaddDlg dialog(kFormats, kGlobalFolder);
    dialog.Fill({"/v/a.avi"});
    dialogs.folderAnswers = {dir.path().string().c_str(), "/", "", "/no/such/folder"};

    dialog.btDirectoryClick();
    EXPECT_EQ(dialogs.calls.value(0), "folder:Save Directory");
    EXPECT_EQ(dialog.directory(), QString::fromStdString(dir.prefix())) << "a trailing / is added";
    EXPECT_EQ(dialog.informationLines()[2], "save to: " + QString::fromStdString(dir.prefix()));
    dialog.btDirectoryClick();
    EXPECT_EQ(dialog.directory(), "/") << "the root keeps its single /";
    dialog.btDirectoryClick();
    EXPECT_EQ(dialog.directory(), "/") << "cancelling keeps the earlier choice";
    EXPECT_EQ(dialog.informationLines()[2], "save to: /") << "and the summary says so";
    dialog.btDirectoryClick();
    EXPECT_EQ(dialog.directory(), "/") << "something that is not a directory counts as cancelled";
}

TEST(AddDialog, TheSavePathIsClearedBackToTheGlobalPath)
{
    TempDir dir;
    FakeDialogs dialogs;
    TaddDlg dialog(kFormats, kGlobalFolder);
    dialog.Fill({"/v/a.avi"});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_FALSE(clickClearButton(*dialog.etDirectory)) << "nothing to clear while the global path is used";
    dialogs.folderAnswers = {dir.path().string().c_str()};
    dialog.btDirectoryClick();
    ASSERT_EQ(dialog.directory(), QString::fromStdString(dir.prefix()));
    ASSERT_TRUE(clickClearButton(*dialog.etDirectory)) << "a chosen folder can be cleared";
    EXPECT_EQ(dialog.directory(), "");
    EXPECT_EQ(dialog.informationLines()[2], "save to: use global path (/home/someone/Videos/Calvera/)");
    EXPECT_FALSE(clickClearButton(*dialog.etDirectory)) << "and the button goes with it";
}

TEST(AddDialog, OnlyOkSetsTheFlag)
{
    {
        TaddDlg dialog(kFormats, kGlobalFolder);
        dialog.Fill({"/v/a.avi"});
        QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
        dialog.exec();
        EXPECT_FALSE(dialog.OK()) << "Esc";
    }
    {
        TaddDlg dialog(kFormats, kGlobalFolder);
        QTimer::singleShot(0, &dialog, [&] { QTest::mouseClick(dialog.btnCancel, Qt::LeftButton, {}, {60, 20}); });
        dialog.exec();
        EXPECT_FALSE(dialog.OK()) << "Cancel";
    }
    {
        TaddDlg dialog(kFormats, kGlobalFolder);
        QTimer::singleShot(0, &dialog, [&] { dialog.close(); });
        dialog.exec();
        EXPECT_FALSE(dialog.OK()) << "close box";
    }
    {
        TaddDlg dialog({}, kGlobalFolder);
        EXPECT_EQ(dialog.formatIndex(), -1) << "an empty catalogue offers no format";
        dialog.Fill({"/v/a.avi"});
        EXPECT_EQ(dialog.informationLines()[1], "format: ");
        QTimer::singleShot(0, &dialog, [&] {
            QTest::keyClick(&dialog, Qt::Key_Return); // Enter means nothing
            EXPECT_TRUE(dialog.isVisible());
            QTest::mouseClick(dialog.btnOk, Qt::LeftButton, {}, {60, 20});
        });
        dialog.exec();
        EXPECT_TRUE(dialog.OK());
    }
}

TEST(AddDialog, TheInformationBoxHandsTheFocusToOk)
{
    TaddDlg dialog(kFormats, kGlobalFolder);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    dialog.Memo1->setFocus();
    EXPECT_TRUE(dialog.btnOk->hasFocus());
    EXPECT_FALSE(dialog.Memo1->hasFocus());
}

} // namespace
