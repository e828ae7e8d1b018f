#include "ErrorReport.h"
#include "FSProgressBar.h"
#include "FormsSupport.h"
#include "JobListView.h"
#include "LinePanelUnit.h"
#include "MyFlatHintUnit.h"
#include "PngImageList.h"
#include "imagebutton.h"
#include "FlatEditUnit.h"
#include "JobListModel.h"
#include "MyButtonEx.h"
#include "GuiTestSupport.h"
#include "TempDir.h"
#include "ItemForm.h"
#include "mainForm.h"
#include "uihook.h"

#include <QMenu>
#include <QLabel>
#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class ItemDialogTest : public testing::Test {
protected:
    ItemDialogTest() { writeFileBytes(dir.file("clip.avi"), std::string(1234, 'x')); }

    JobListModel::Node* add(int format, const QString& path)
    {
        return appendJob(*window.controller()->jobs(), QString::fromStdString(dir.file("clip.avi")), format, path);
    }
    // Runs the dialog for node, acting on it once it shows.
    void show(JobListModel::Node* node, const std::function<void(TItemDlg&)>& act)
    {
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<TItemDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            lines = dialog->informationLines();
            act(*dialog);
        });
        window.controller()->ShowItemProperties(node);
    }
    static void clickOk(TItemDlg& dialog) { QTest::mouseClick(dialog.btnOk, Qt::LeftButton, {}, {60, 20}); }

    TempDir dir;
    TmainDlg window;
    QStringList lines;
};

TEST_F(ItemDialogTest, ShowsTheItemAndAppliesOk)
{
    JobListModel::Node* node = add(1, "");
    show(node, [](TItemDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Item Property");
        EXPECT_EQ(dialog.formatIndex(), 1);
        EXPECT_EQ(dialog.directory(), "");
        clickOk(dialog);
    });
    EXPECT_EQ(lines, (QStringList {"file name: clip.avi", "file size: 1234 Bytes"}));
    EXPECT_EQ(node->Item.FormatIndex, 1);
    EXPECT_EQ(node->Item.Path, "");

    FakeDialogs folder;
    folder.folderAnswers = {QString::fromStdString(dir.path().string())};
    show(node, [](TItemDlg& dialog) {
        dialog.ComboBox1->setCurrentIndex(2);
        dialog.btDirectoryClick();
        EXPECT_EQ(dialog.informationLines().size(), 2) << "the information box does not change";
        clickOk(dialog);
    });
    EXPECT_EQ(node->Item.FormatIndex, 2);
    EXPECT_EQ(node->Item.Path, QString::fromStdString(dir.prefix()));
    EXPECT_EQ(node->State, ItemState::waiting);

    // A folder of its own is cleared with the button in the edit: the item goes to the global path again.
    show(node, [](TItemDlg& dialog) {
        EXPECT_TRUE(clickClearButton(*dialog.etDirectory));
        EXPECT_EQ(dialog.directory(), "");
        EXPECT_EQ(dialog.etDirectory->placeholderText(), "");
        clickOk(dialog);
    });
    EXPECT_EQ(node->Item.Path, "");
    EXPECT_EQ(node->Item.FormatIndex, 2);
}

TEST_F(ItemDialogTest, CancelEscAndMissingFilesChangeNothing)
{
    JobListModel::Node* node = add(0, "/out/");
    show(node, [](TItemDlg& dialog) {
        dialog.ComboBox1->setCurrentIndex(3);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    show(node, [](TItemDlg& dialog) {
        dialog.ComboBox1->setCurrentIndex(3);
        QTest::mouseClick(dialog.btnCancel, Qt::LeftButton, {}, {60, 20});
    });
    EXPECT_EQ(node->Item.FormatIndex, 0);
    EXPECT_EQ(node->Item.Path, "/out/");

    // A vanished file: the error shows in a message box, the dialog never does.
    MessageBoxAnswerer boxes;
    bool dialogShown = false;
    boxes.whileOpen = [&](const SeenMessage&) {
        for (QWidget* top : QApplication::topLevelWidgets())
            dialogShown = dialogShown || (qobject_cast<TItemDlg*>(top) && top->isVisible());
    };
    node->Item.FileName = QString::fromStdString(dir.file("gone.avi"));
    window.VirtualStringTree1->setCurrentIndex(window.controller()->jobs()->index(0, 0));
    window.pmiProperties->trigger();
    ASSERT_TRUE(boxes.waitUntilSeen(1));
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, "Calvera");
    EXPECT_EQ(boxes.seen[0].text, "System Error.  Code: 2.\nNo such file or directory");
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(dialogShown);
    EXPECT_EQ(node->Item.FormatIndex, 0);
    EXPECT_EQ(node->Item.Path, "/out/");
}

TEST_F(ItemDialogTest, UnknownFormatIsShownAndKeptUnlessChosen)
{
    JobListModel::Node* node = add(99, "");
    show(node, [](TItemDlg& dialog) {
        EXPECT_EQ(dialog.formatIndex(), -1);
        clickOk(dialog);
    });
    EXPECT_EQ(lines.value(2), "format: unknown (number 99), choose one");
    EXPECT_EQ(node->Item.FormatIndex, 99) << "OK without a choice stores nothing new";
    show(node, [](TItemDlg& dialog) {
        dialog.ComboBox1->setCurrentIndex(0);
        clickOk(dialog);
    });
    EXPECT_EQ(node->Item.FormatIndex, 0);

    window.controller()->ShowItemProperties(nullptr); // no node: nothing happens
}

} // namespace
