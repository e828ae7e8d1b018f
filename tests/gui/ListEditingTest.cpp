// The job list edited as a user edits it: several rows selected at once,
// rows moved with the keyboard and by dragging, the properties of several
// items, formats that cannot be chosen.

#include "EngineTestSupport.h"
#include "FfmpegAbilities.h"
#include "FlatEditUnit.h"
#include "GuiTestSupport.h"
#include "ItemForm.h"
#include "JobListModel.h"
#include "JobListView.h"
#include "MyButtonEx.h"
#include "MyListBox.h"
#include "PngSpeedButton.h"
#include "TempDir.h"
#include "addForm.h"
#include "command.h"
#include "commandManager.h"
#include "imagebutton.h"
#include "mainForm.h"
#include "uihook.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

class ListEditingTest : public testing::Test {
protected:
    ListEditingTest()
    {
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        QApplication::setActiveWindow(&window);
        view.setFocus();
    }

    // Files a0 … a<count-1>, queued with their number as their format.
    void queue(int count)
    {
        for (int i = 0; i < count; ++i)
            appendJob(jobs, QString("a%1").arg(i), i, {});
    }
    // The list's files by the number in their name: "1 0 2".
    std::string order() const
    {
        std::string names;
        for (int row = 0; row < jobs.count(); ++row)
            names += (row ? " " : "") + jobs.nodeAt(row)->Item.FileName.mid(1).toStdString();
        return names;
    }
    std::vector<int> selectedRows() const
    {
        std::vector<int> rows;
        for (const TItemNodeData* node : view.selectedNodes())
            rows.push_back(jobs.indexOf(node));
        return rows;
    }
    QPoint rowCentre(int row) const { return view.visualRect(jobs.index(row, 0)).center(); }
    // A drag that enters the list and is dropped at a viewport position.
    void dropAt(const QMimeData& data, const QPoint& at)
    {
        QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &enter);
        QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &drop);
    }
    // The left button pressed on a row and moved, as a hand moves it, to a viewport position.
    void pressAndMove(int row, const QPoint& to)
    {
        const QPoint from = rowCentre(row);
        QTest::mousePress(view.viewport(), Qt::LeftButton, {}, from);
        constexpr int kSteps = 4;
        for (int step = 1; step <= kSteps; ++step)
            QTest::mouseMove(view.viewport(), from + (to - from) * step / kSteps);
    }
    // A drag of a row with the mouse, let go at a viewport position.
    void dragRow(int row, const QPoint& to)
    {
        pressAndMove(row, to);
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, to);
    }
    void clickRow(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(view.viewport(), Qt::LeftButton, modifiers, rowCentre(row));
    }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) { QTest::keyClick(&view, key, modifiers); }
    static void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center()); }
    // A conversion that runs until it is stopped: "ffmpeg" here sleeps.
    void startEndlessRun()
    {
        writeScript(dir.file("sleeper"), "case \"$1\" in -hide_banner) exit 0;; esac\nexec sleep 60\n");
        window.controller()->driver()->FfmpegPath = dir.file("sleeper");
        click(window.btnConvert);
        ASSERT_FALSE(window.controller()->driver()->Idle());
    }

    TempDir dir;
    FakeDialogs dialogs;
    TmainDlg window;
    JobListView& view = *window.VirtualStringTree1;
    JobListModel& jobs = *window.controller()->jobs();
};

TEST_F(ListEditingTest, ShiftCtrlAndCtrlASelectSeveralRows)
{
    queue(5);
    clickRow(1);
    clickRow(3, Qt::ShiftModifier);
    EXPECT_EQ(selectedRows(), (std::vector<int> {1, 2, 3})) << "Shift+click selects the range";
    clickRow(0, Qt::ControlModifier);
    EXPECT_EQ(selectedRows(), (std::vector<int> {0, 1, 2, 3})) << "Ctrl+click adds a row";
    clickRow(2, Qt::ControlModifier);
    EXPECT_EQ(selectedRows(), (std::vector<int> {0, 1, 3})) << "and takes it away again";
    clickRow(4);
    EXPECT_EQ(selectedRows(), (std::vector<int> {4})) << "a plain click selects one row";
    key(Qt::Key_Up, Qt::ShiftModifier);
    key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(selectedRows(), (std::vector<int> {2, 3, 4})) << "Shift+Up grows the selection";
    key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selectedRows(), (std::vector<int> {0, 1, 2, 3, 4})) << "Ctrl+A selects every row";

    // A right click on a selected row keeps the selection for the menu; elsewhere it selects that row.
    clickRow(1);
    clickRow(2, Qt::ShiftModifier);
    QTest::mouseClick(view.viewport(), Qt::RightButton, {}, rowCentre(2));
    EXPECT_EQ(selectedRows(), (std::vector<int> {1, 2}));
    EXPECT_EQ(view.currentIndex().row(), 2);
    QTest::mouseClick(view.viewport(), Qt::RightButton, {}, rowCentre(4));
    EXPECT_EQ(selectedRows(), (std::vector<int> {4}));
}

TEST_F(ListEditingTest, DeleteTakesEverySelectedRow)
{
    queue(6);
    clickRow(0);
    clickRow(2, Qt::ControlModifier);
    clickRow(5, Qt::ControlModifier);
    key(Qt::Key_Delete);
    EXPECT_EQ(order(), "1 3 4");
    EXPECT_EQ(window.lbCount->text(), "3 files, finished 0 of 3");

    clickRow(1);
    clickRow(2, Qt::ShiftModifier);
    QTest::mouseClick(view.viewport(), Qt::RightButton, {}, rowCentre(2));
    emit window.PopupMenu1->aboutToShow();
    EXPECT_TRUE(window.pmiDelete->isEnabled());
    EXPECT_TRUE(window.pmiProperties->isEnabled());
    window.pmiDelete->trigger();
    EXPECT_EQ(order(), "1");
}

TEST_F(ListEditingTest, CtrlUpAndDownMoveTheSelectionInItsOrderAsFarAsTheEnds)
{
    queue(6);
    const std::vector<TItemNodeData*> nodes = {jobs.nodeAt(1), jobs.nodeAt(3)};
    clickRow(1);
    clickRow(3, Qt::ControlModifier);
    const struct {
        Qt::Key key;
        const char* order;
    } steps[] = {
        {Qt::Key_Up, "1 0 3 2 4 5"}, {Qt::Key_Up, "1 3 0 2 4 5"}, // the first is at the top: the second closes up to it
        {Qt::Key_Up, "1 3 0 2 4 5"}, // both at the top: nothing moves
        {Qt::Key_Down, "0 1 3 2 4 5"}, {Qt::Key_Down, "0 2 1 3 4 5"}, {Qt::Key_Down, "0 2 4 1 3 5"},
        {Qt::Key_Down, "0 2 4 5 1 3"}, {Qt::Key_Down, "0 2 4 5 1 3"}, // at the bottom
    };
    for (const auto& step : steps) {
        key(step.key, Qt::ControlModifier);
        EXPECT_EQ(order(), step.order);
        EXPECT_EQ(view.selectedNodes(), nodes) << "the moved rows stay selected, in their order";
    }
    EXPECT_EQ(jobs.indexOf(nodes[1]), 5) << "the records are the same, found where they went";
    EXPECT_TRUE(view.selectionModel()->isRowSelected(5));
    EXPECT_EQ(view.currentIndex().row(), 5) << "the keyboard's row went with its item";
}

TEST_F(ListEditingTest, DraggingRowsWithTheMouseMovesThem)
{
    queue(5);
    clickRow(0);
    clickRow(1, Qt::ShiftModifier);

    // Over the lower half of row 3: the rows go after it, and a line says so while the button is held.
    const QPoint lowerHalf = rowCentre(3) + QPoint(0, 6);
    pressAndMove(1, lowerHalf);
    EXPECT_EQ(selectedRows(), (std::vector<int> {0, 1})) << "pressing a selected row keeps the selection";
    EXPECT_EQ(view.dropIndicatorRow(), 4);
    const QImage shown = view.viewport()->grab().toImage();
    const int lineY = view.visualRect(jobs.index(4, 0)).top();
    EXPECT_NE(shown.pixel(300, lineY), shown.pixel(300, lineY + 5)) << "the drop line between rows 3 and 4";
    EXPECT_EQ(order(), "0 1 2 3 4") << "nothing moves before the button is let go";
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, lowerHalf);
    EXPECT_EQ(order(), "2 3 0 1 4");
    EXPECT_EQ(view.dropIndicatorRow(), -1);
    EXPECT_EQ(selectedRows(), (std::vector<int> {2, 3})) << "the moved rows stay selected";

    // Below the last row: to the end. Over the upper half of row 0: to the top.
    dragRow(2, QPoint(300, view.viewport()->height() - 5));
    EXPECT_EQ(order(), "2 3 4 0 1");
    dragRow(3, rowCentre(0) - QPoint(0, 6));
    EXPECT_EQ(order(), "0 1 2 3 4");

    // A row that is not selected is chosen by the press and dragged alone.
    dragRow(4, rowCentre(0) - QPoint(0, 6));
    EXPECT_EQ(order(), "4 0 1 2 3");
    EXPECT_EQ(selectedRows(), (std::vector<int> {0}));

    // Esc, or letting go outside the list, puts nothing down.
    pressAndMove(0, lowerHalf);
    key(Qt::Key_Escape);
    EXPECT_EQ(view.dropIndicatorRow(), -1);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, lowerHalf);
    EXPECT_EQ(order(), "4 0 1 2 3") << "Esc";
    const QPoint aboveTheList(300, -30);
    pressAndMove(0, aboveTheList);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, aboveTheList);
    EXPECT_EQ(order(), "4 0 1 2 3") << "outside";
    EXPECT_EQ(view.dropIndicatorRow(), -1);

    // A click without a move on one of several selected rows selects that row alone.
    clickRow(1);
    clickRow(3, Qt::ShiftModifier);
    clickRow(2);
    EXPECT_EQ(selectedRows(), (std::vector<int> {2}));

    // Files from outside still come in as files, wherever they are dropped.
    QStringList dropped;
    view.onDropped = [&](const QStringList& paths) { dropped = paths; };
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/v/new.avi")});
    dropAt(files, lowerHalf);
    EXPECT_EQ(dropped, QStringList {"/v/new.avi"});
    EXPECT_EQ(order(), "4 0 1 2 3");
}

TEST_F(ListEditingTest, DraggedPastTheLastRowShownTheListScrollsOn)
{
    queue(20);
    QApplication::processEvents(); // the rows are laid out
    ASSERT_GT(view.verticalScrollBar()->maximum(), 0) << "more rows than the list shows";
    const TItemNodeData* dragged = jobs.nodeAt(0);
    const QPoint nearTheBottom(300, view.viewport()->height() - 30);
    const int shownBefore = view.indexAt(nearTheBottom).row();
    pressAndMove(0, QPoint(300, view.viewport()->height() + 10));
    EXPECT_GT(view.verticalScrollBar()->value(), 0) << "held below the list, it scrolls on";
    EXPECT_EQ(view.dropIndicatorRow(), -1) << "nothing would be put down out there";
    // Back onto the lower half of a row that has come into view, and let go.
    const int row = view.indexAt(nearTheBottom).row();
    ASSERT_GT(row, shownBefore);
    const QPoint lowerHalf = rowCentre(row) + QPoint(0, 6);
    QTest::mouseMove(view.viewport(), lowerHalf);
    EXPECT_EQ(view.dropIndicatorRow(), row + 1);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, lowerHalf);
    EXPECT_EQ(jobs.indexOf(dragged), row) << "after the row it was let go on";
}

TEST_F(ListEditingTest, DuringARunOnlyItemsThatAreNotConvertingMove)
{
    for (const char* name : {"a0", "a1", "a2", "a3"})
        writeFileBytes(dir.file(name), "x");
    for (int i = 0; i < 4; ++i)
        appendJob(
            jobs, QString::fromStdString(dir.file("a" + std::to_string(i))), 0, QString::fromStdString(dir.prefix()));
    const auto names = [&] {
        std::string text;
        for (int row = 0; row < jobs.count(); ++row)
            text += (row ? " " : "") + QFileInfo(jobs.nodeAt(row)->Item.FileName).fileName().toStdString();
        return text;
    };
    startEndlessRun();
    TItemNodeData* converting = jobs.nodeAt(0);
    ASSERT_TRUE(waitFor([&] { return converting->State == ItemState::converting; }));

    clickRow(0);
    key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(names(), "a0 a1 a2 a3") << "the converting item stays where it is";
    clickRow(0);
    clickRow(2, Qt::ShiftModifier);
    key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(names(), "a0 a1 a2 a3") << "so does a selection that holds it";
    dragRow(1, QPoint(300, view.viewport()->height() - 5));
    EXPECT_EQ(names(), "a0 a1 a2 a3") << "nor is it dragged";

    clickRow(3);
    key(Qt::Key_Up, Qt::ControlModifier);
    key(Qt::Key_Up, Qt::ControlModifier);
    key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(names(), "a3 a0 a1 a2") << "a queued item moves, past the converting one too";
    EXPECT_EQ(converting->State, ItemState::converting);
    EXPECT_EQ(jobs.indexOf(converting), 1);
    dragRow(3, rowCentre(0) - QPoint(0, 6));
    EXPECT_EQ(names(), "a2 a3 a0 a1") << "and is dragged with the mouse";
    EXPECT_EQ(jobs.indexOf(converting), 2);
    click(window.btnStop);
    EXPECT_TRUE(waitFor([&] { return window.controller()->driver()->Idle(); }));
}

// The Item Property dialog for the selected rows, acted on by act once it shows.
class SeveralItemsTest : public ListEditingTest {
protected:
    SeveralItemsTest()
    {
        const struct {
            const char* name;
            int bytes;
            int format;
            const char* path;
        } files[] = {{"a.avi", 10, 1, "/one/"}, {"b.avi", 20, 1, "/one/"}, {"c.avi", 30, 2, "/two/"}};
        for (const auto& file : files) {
            writeFileBytes(dir.file(file.name), std::string(static_cast<std::size_t>(file.bytes), 'x'));
            appendJob(jobs, QString::fromStdString(dir.file(file.name)), file.format, file.path);
        }
    }
    void properties(const std::function<void(TItemDlg&)>& act)
    {
        whenModalShows<TItemDlg>([&](TItemDlg& dialog) {
            lines = dialog.informationLines();
            listed.clear();
            for (int i = 0; i < dialog.MyListBox1->count(); ++i)
                listed << QFileInfo(dialog.MyListBox1->item(i)->text()).fileName();
            act(dialog);
        });
        window.pmiProperties->trigger();
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
    std::vector<int> formats() const
    {
        std::vector<int> result;
        for (int row = 0; row < jobs.count(); ++row)
            result.push_back(jobs.nodeAt(row)->Item.FormatIndex);
        return result;
    }
    QStringList paths() const
    {
        QStringList result;
        for (int row = 0; row < jobs.count(); ++row)
            result << jobs.nodeAt(row)->Item.Path;
        return result;
    }

    QStringList lines;
    QStringList listed;
};

TEST_F(SeveralItemsTest, DifferingFieldsSaySeveralAndStayUnlessChanged)
{
    key(Qt::Key_A, Qt::ControlModifier);
    properties([](TItemDlg& dialog) {
        EXPECT_EQ(dialog.formatIndex(), -1);
        EXPECT_EQ(dialog.ComboBox1->placeholderText(), "(several)");
        EXPECT_EQ(dialog.directory(), "");
        EXPECT_EQ(dialog.etDirectory->placeholderText(), "(several)");
        click(dialog.btnOk);
    });
    EXPECT_EQ(listed, (QStringList {"a.avi", "b.avi", "c.avi"})) << "every selected file";
    EXPECT_EQ(lines,
        (QStringList {"file count: 3", "file size: 60 Bytes in all", "format: several, each kept unless one is chosen",
            "save path: several, each kept unless one is chosen"}));
    EXPECT_EQ(formats(), (std::vector<int> {1, 1, 2})) << "OK without a change changes nothing";
    EXPECT_EQ(paths(), (QStringList {"/one/", "/one/", "/two/"}));

    const QString chosen = QString::fromStdString(dir.prefix());
    dialogs.folderAnswers.push_back(chosen);
    properties([](TItemDlg& dialog) {
        click(dialog.btDirectory);
        click(dialog.btnOk);
    });
    EXPECT_EQ(paths(), (QStringList {chosen, chosen, chosen})) << "a chosen folder goes to all";
    EXPECT_EQ(formats(), (std::vector<int> {1, 1, 2})) << "the formats are left alone";

    properties([](TItemDlg& dialog) {
        dialog.ComboBox1->setCurrentIndex(4);
        click(dialog.btnOk);
    });
    EXPECT_EQ(formats(), (std::vector<int> {4, 4, 4})) << "a chosen format goes to all";

    properties([](TItemDlg& dialog) {
        dialog.ComboBox1->setCurrentIndex(0);
        click(dialog.btnCancel);
    });
    EXPECT_EQ(formats(), (std::vector<int> {4, 4, 4})) << "Cancel changes nothing";
}

TEST_F(SeveralItemsTest, TheInformationSaysWhatOkWillDo)
{
    key(Qt::Key_A, Qt::ControlModifier);
    const QString chosen = QString::fromStdString(dir.prefix());
    dialogs.folderAnswers.push_back(chosen);
    QStringList afterFormat;
    QStringList afterFolder;
    QStringList afterClear;
    bool clearable = false;
    properties([&](TItemDlg& dialog) {
        clearable = clickClearButton(*dialog.etDirectory);
        EXPECT_EQ(dialog.etDirectory->placeholderText(), "");
        afterClear = dialog.informationLines();
        dialog.ComboBox1->setCurrentIndex(4);
        afterFormat = dialog.informationLines();
        click(dialog.btDirectory);
        afterFolder = dialog.informationLines();
        click(dialog.btnOk);
    });
    EXPECT_TRUE(clearable) << "several folders can be cleared to the global path at once";
    EXPECT_EQ(afterClear.value(3), "save path: each goes to the global path");
    const QString format = QString::fromStdString(window.controller()->catalogue().formatName(4));
    EXPECT_EQ(afterFormat.value(2), "format: each becomes " + format);
    EXPECT_EQ(afterFolder.value(3), "save path: each goes to " + chosen);
    EXPECT_EQ(afterFolder.size(), 4);
    EXPECT_EQ(formats(), (std::vector<int> {4, 4, 4}));
    EXPECT_EQ(paths(), (QStringList {chosen, chosen, chosen}));

    properties([&](TItemDlg& dialog) {
        EXPECT_TRUE(clickClearButton(*dialog.etDirectory));
        click(dialog.btnOk);
    });
    EXPECT_EQ(paths(), (QStringList {"", "", ""})) << "cleared: every item goes to the global path";
}

TEST_F(SeveralItemsTest, AlikeFieldsShowTheirValue)
{
    clickRow(0);
    clickRow(1, Qt::ShiftModifier);
    properties([](TItemDlg& dialog) {
        EXPECT_EQ(dialog.formatIndex(), 1);
        EXPECT_EQ(dialog.directory(), "/one/");
        dialog.ComboBox1->setCurrentIndex(3);
        click(dialog.btnOk);
    });
    EXPECT_EQ(listed, (QStringList {"a.avi", "b.avi"}));
    EXPECT_EQ(lines, (QStringList {"file count: 2", "file size: 30 Bytes in all"}));
    EXPECT_EQ(formats(), (std::vector<int> {3, 3, 2}));
    EXPECT_EQ(paths(), (QStringList {"/one/", "/one/", "/two/"}));

    // One row selected: the dialog of one item, as it always was.
    clickRow(2);
    properties([](TItemDlg& dialog) { click(dialog.btnOk); });
    EXPECT_EQ(lines, (QStringList {"file name: c.avi", "file size: 30 Bytes"}));
    EXPECT_EQ(listed, QStringList {"c.avi"});
}

// A catalogue of the user's own with a format no ffmpeg can make.
class UnavailableFormatTest : public testing::Test {
protected:
    UnavailableFormatTest()
    {
        std::filesystem::create_directories(home.calvera());
        writeFileBytes(home.calvera() + "command",
            "<commands><command><format>Impossible</format>"
            "<params>-c:v calvera-no-such-encoder</params><ext>mkv</ext></command></commands>");
        window = std::make_unique<TmainDlg>();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        impossible = static_cast<int>(window->controller()->catalogue().Formats().size()) - 1;
        // ffmpeg is asked in the background; the dialogs below open once it has answered.
        FfmpegProbe::of(window->controller()->driver()->FfmpegPath)->wait();
        processPendingEvents();
        writeFileBytes(dir.file("a.avi"), "x");
    }

    TemporaryStateHome home;
    TempDir dir;
    FakeDialogs dialogs;
    std::unique_ptr<TmainDlg> window;
    int impossible = 0;
};

TEST_F(UnavailableFormatTest, IsGreyedInBothDialogsAndStillShownAsAnItemsOwn)
{
    ASSERT_EQ(window->controller()->catalogue().formatName(impossible), "Impossible");
    dialogs.openAnswers.push_back({QString::fromStdString(dir.file("a.avi"))});
    QString text;
    bool available = true;
    QString lineBefore;
    QString lineAfter;
    whenModalShows<TaddDlg>([&](TaddDlg& dialog) {
        text = dialog.ComboBox1->itemText(impossible);
        available = dialog.ComboBox1->isItemAvailable(impossible);
        // What ffmpeg can do may become known while the dialog is open: the choice made stays.
        lineBefore = dialog.informationLines().value(1);
        dialog.setUnavailable(0, "found out later");
        EXPECT_EQ(dialog.formatIndex(), 0);
        EXPECT_FALSE(dialog.ComboBox1->isItemAvailable(0));
        lineAfter = dialog.informationLines().value(1);
        window->controller()->refreshUnavailableFormats(); // asked again while open: nothing else changes
        EXPECT_EQ(dialog.formatIndex(), 0);
        EXPECT_FALSE(dialog.ComboBox1->isItemAvailable(impossible));
        EXPECT_EQ(dialog.ComboBox1->itemText(impossible), text) << "said once, not twice";
        QTest::mouseClick(dialog.btnOk, Qt::LeftButton, {}, dialog.btnOk->rect().center());
    });
    QTest::mouseClick(window->btnAdd, Qt::LeftButton, {}, window->btnAdd->rect().center());
    EXPECT_FALSE(available);
    EXPECT_TRUE(text.startsWith("Impossible (unavailable: ")) << qPrintable(text);
    EXPECT_TRUE(text.contains("calvera-no-such-encoder")) << qPrintable(text);
    EXPECT_EQ(lineAfter, lineBefore + " (unavailable: found out later)") << "the summary says so at once";
    ASSERT_EQ(window->controller()->jobs()->count(), 1);
    EXPECT_EQ(window->controller()->jobs()->nodeAt(0)->Item.FormatIndex, 0);

    // An item of that format (from a list file) shows it chosen, greyed, and keeps it on OK.
    window->controller()->jobs()->nodeAt(0)->Item.FormatIndex = impossible;
    int shown = -1;
    whenModalShows<TItemDlg>([&](TItemDlg& dialog) {
        shown = dialog.formatIndex();
        available = dialog.ComboBox1->isItemAvailable(impossible);
        QTest::mouseClick(dialog.btnOk, Qt::LeftButton, {}, dialog.btnOk->rect().center());
    });
    window->controller()->ShowItemProperties(window->controller()->jobs()->nodeAt(0));
    window->controller()->refreshUnavailableFormats(); // no dialog open: nothing to do
    EXPECT_EQ(shown, impossible);
    EXPECT_FALSE(available);
    EXPECT_EQ(window->controller()->jobs()->nodeAt(0)->Item.FormatIndex, impossible);
}

} // namespace
