// The main window's commands, driven as a user drives them: clicks on the
// window, with the system's dialogs answered through the seam.

#include "EngineTestSupport.h"
#include "FSProgressBar.h"
#include "FormsSupport.h"
#include "LinePanelUnit.h"
#include "MyFlatHintUnit.h"
#include "PngImageList.h"
#include "imagebutton.h"
#include "FlatEditUnit.h"
#include "GuiTestSupport.h"
#include "JobListModel.h"
#include "MyButtonEx.h"
#include "ProgramDir.h"
#include "TempDir.h"
#include "PngSpeedButton.h"
#include "ItemForm.h"
#include "MyListBox.h"
#include "addForm.h"
#include "command.h"
#include "commandManager.h"
#include "itemManager.h"
#include "mainForm.h"
#include "uihook.h"

#include <QLabel>
#include <QApplication>
#include "JobListView.h"

#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const QString kAddFilterStart = "open-many:All Supported Formats (*.mpg *.mpeg *.wmv *.avi *.vob *.mov *.mp2 *.mpv";
const QString kListChooser = "Qelt File List File (*.qfl)";

class ControllerTest : public testing::Test {
protected:
    ControllerTest()
    {
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    static void click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(widget, button, {}, widget->rect().center());
    }
    // The Add Files dialog, answered by act once it shows.
    void addFiles(const QStringList& files, const std::function<void(TaddDlg&)>& act)
    {
        dialogs.openAnswers.push_back(files);
        whenModalShows<TaddDlg>(act);
        click(window.btnAdd);
    }
    static void clickOk(TFileDialog& dialog) { click(dialog.btnOk); }
    QStringList fileNames() const
    {
        QStringList names;
        for (int i = 0; i < jobs.count(); ++i)
            names << jobs.nodeAt(i)->Item.FileName;
        return names;
    }
    // A conversion that runs until it is stopped: "ffmpeg" here sleeps.
    void startEndlessRun()
    {
        writeScript(dir.file("sleeper"), "case \"$1\" in -hide_banner) exit 0;; esac\nexec sleep 60\n");
        window.controller()->driver()->FfmpegPath = dir.file("sleeper");
        click(window.btnConvert);
        ASSERT_FALSE(window.controller()->driver()->Idle());
    }
    void stopRun()
    {
        click(window.btnStop);
        EXPECT_TRUE(waitFor([&] { return window.controller()->driver()->Idle(); }));
    }
    JobListModel::Node* queue(const QString& file, int format = 0, const QString& path = {})
    {
        return appendJob(jobs, file, format, path);
    }

    TempDir dir;
    FakeDialogs dialogs;
    TmainDlg window;
    JobListModel& jobs = *window.controller()->jobs();
};

TEST_F(ControllerTest, AddOneAndThreeFiles)
{
    addFiles({"/v/one.avi"}, [](TaddDlg& dialog) { clickOk(dialog); });
    ASSERT_EQ(dialogs.calls.size(), 1);
    EXPECT_TRUE(dialogs.calls[0].startsWith(kAddFilterStart)) << qPrintable(dialogs.calls[0]);
    for (const char* more : {" *.flv *.mkv *.webm ", " *.mts ", " *.opus ", " *.MKV "})
        EXPECT_TRUE(dialogs.calls[0].contains(more)) << "today's files after the specified ten: " << more;
    EXPECT_TRUE(dialogs.calls[0].endsWith(";;All Files (*)"));
    EXPECT_EQ(fileNames(), QStringList {"/v/one.avi"});
    EXPECT_EQ(jobs.nodeAt(0)->Item.FormatIndex, 0) << "the first format is preselected";
    EXPECT_EQ(jobs.nodeAt(0)->Item.Path, "");
    EXPECT_EQ(window.lbCount->text(), "1 files, finished 0 of 1");

    QStringList lines;
    dialogs.folderAnswers.push_back(QString::fromStdString(dir.path().string()));
    addFiles({"/v/c.mov", "/v/a.avi", "/v/b.mpg"}, [&](TaddDlg& dialog) {
        dialog.ComboBox1->setCurrentIndex(2);
        click(dialog.btDirectory);
        lines = dialog.informationLines();
        clickOk(dialog);
    });
    EXPECT_EQ(lines.value(0), "file count: 3");
    EXPECT_EQ(lines.value(1), "format: " + QString::fromStdString(window.controller()->catalogue().formatName(2)));
    EXPECT_EQ(lines.value(2), "save to: " + QString::fromStdString(dir.prefix()));
    EXPECT_EQ(fileNames(), (QStringList {"/v/one.avi", "/v/c.mov", "/v/a.avi", "/v/b.mpg"})) << "appended in order";
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(jobs.nodeAt(i)->Item.FormatIndex, 2);
        EXPECT_EQ(jobs.nodeAt(i)->Item.Path, QString::fromStdString(dir.prefix()));
        EXPECT_EQ(jobs.nodeAt(i)->State, ItemState::waiting);
    }
    EXPECT_EQ(window.lbCount->text(), "4 files, finished 0 of 4");
}

TEST_F(ControllerTest, AddCancelledInEitherDialogAddsNothing)
{
    click(window.btnAdd); // the file chooser is cancelled: no answer prepared
    EXPECT_EQ(jobs.count(), 0);
    EXPECT_EQ(window.lbCount->text(), "0 files, finished 0 of 0") << "the count line is written all the same";

    addFiles({"/v/a.avi"}, [](TaddDlg& dialog) { click(dialog.btnCancel); });
    addFiles({"/v/a.avi"}, [](TaddDlg& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
    addFiles({"/v/a.avi"}, [](TaddDlg& dialog) { dialog.close(); });
    EXPECT_EQ(jobs.count(), 0);
    EXPECT_EQ(window.controller()->staging().Count(), 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ControllerTest, CaptionLabelsActAsTheirButtons)
{
    // A click with either mouse button on "Add" opens the file chooser.
    click(window.lbAdd);
    click(window.lbAdd, Qt::RightButton);
    EXPECT_EQ(dialogs.calls.size(), 2);

    // Hover and press show on the button while the pointer is on the label.
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), window.lbSupport->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(window.lbSupport, &enter);
    EXPECT_TRUE(window.btnSupport->isHovered());
    QTest::mousePress(window.lbSupport, Qt::LeftButton, {}, {5, 5});
    EXPECT_TRUE(window.btnSupport->isPressed());
    QTest::mouseRelease(window.lbSupport, Qt::LeftButton, {}, {5, 5});
    EXPECT_FALSE(window.btnSupport->isPressed());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(window.lbSupport, &leave);
    EXPECT_FALSE(window.btnSupport->isHovered());
    ASSERT_EQ(dialogs.calls.size(), 3);
    const QString helpPage = QString::fromStdString("url:file://" + programDirectory() + kHelpPage);
    EXPECT_EQ(dialogs.calls[2], helpPage) << "Support opens the help page next to the program";

    click(window.lbUpdate, Qt::RightButton);
    EXPECT_EQ(dialogs.calls.size(), 3) << "the update link answers the left button only";
    click(window.lbUpdate);
    EXPECT_EQ(dialogs.calls.value(3), QString("url:") + kHomePage);
}

TEST_F(ControllerTest, TabsSwitchThePages)
{
    window.controller()->btnOptionClick(window.btnOption);
    EXPECT_FALSE(window.VirtualStringTree1->isVisible());
    EXPECT_TRUE(window.LinePanel2->isVisible());
    click(window.lbList);
    EXPECT_TRUE(window.VirtualStringTree1->isVisible());
    EXPECT_FALSE(window.LinePanel2->isVisible());
}

TEST_F(ControllerTest, DuringARunWhatConvertsStaysAndTheRestOfTheListMayChange)
{
    queue("/v/a.avi");
    queue("/v/b.avi");
    queue("/v/c.avi");
    JobListView& view = *window.VirtualStringTree1;

    window.pmiDelete->trigger();
    EXPECT_EQ(jobs.count(), 3) << "nothing selected, nothing deleted";
    view.setCurrentIndex(jobs.index(1, 0));
    window.pmiDelete->trigger();
    EXPECT_EQ(fileNames(), (QStringList {"/v/a.avi", "/v/c.avi"}));
    EXPECT_EQ(window.lbCount->text(), "2 files, finished 0 of 2");

    startEndlessRun();
    ASSERT_TRUE(waitFor([&] { return jobs.nodeAt(0)->State == ItemState::converting; }));
    EXPECT_EQ(window.lbCount->text(), "2 files, finished 0 of 2");
    view.setCurrentIndex(jobs.index(0, 0));
    window.pmiDelete->trigger();
    EXPECT_EQ(jobs.count(), 2) << "the converting item stays";
    // A waiting item leaves the list and the run.
    view.setCurrentIndex(jobs.index(1, 0));
    window.pmiDelete->trigger();
    EXPECT_EQ(fileNames(), QStringList {"/v/a.avi"});
    EXPECT_EQ(window.lbCount->text(), "1 files, finished 0 of 1");
    queue("/v/d.avi");
    EXPECT_EQ(window.lbCount->text(), "2 files, finished 0 of 2") << "an item added joins the run";
    window.pmiClear->trigger();
    EXPECT_EQ(fileNames(), QStringList {"/v/a.avi"}) << "Clear takes all but what converts";
    // The list's dialogs open at any time.
    click(window.btnImport);
    queue("/v/e.avi");
    click(window.btnExport);
    click(window.lbAdd);
    EXPECT_EQ(dialogs.calls.size(), 3) << dialogs.calls.join(", ").toStdString();
    stopRun();

    window.pmiClear->trigger();
    EXPECT_EQ(jobs.count(), 0);
    EXPECT_EQ(window.lbCount->text(), "0 files, finished 0 of 0");
}

TEST_F(ControllerTest, ImportAppendsAndShowsWhatIsWrongWithAFile)
{
    queue("/v/first.avi");
    writeFileBytes(dir.file("two.qfl"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><list>"
        "<item><filename>/v/x.avi</filename><format>3</format><path>/out/</path></item>"
        "<item><filename>/v/y.avi</filename><format>1</format><path></path></item></list>");
    dialogs.openAnswers.push_back({QString::fromStdString(dir.file("two.qfl"))});
    click(window.btnImport);
    EXPECT_EQ(dialogs.calls.value(0), "open:" + kListChooser);
    EXPECT_EQ(fileNames(), (QStringList {"/v/first.avi", "/v/x.avi", "/v/y.avi"}));
    EXPECT_EQ(jobs.nodeAt(1)->Item.FormatIndex, 3);
    EXPECT_EQ(jobs.nodeAt(1)->Item.Path, "/out/");
    EXPECT_EQ(window.lbCount->text(), "3 files, finished 0 of 3");

    click(window.btnImport); // cancelled
    EXPECT_EQ(jobs.count(), 3);

    MessageBoxAnswerer boxes;
    writeFileBytes(dir.file("bad.qfl"), "<list><item><filename>/v/z.avi</filename><format>two</format>");
    dialogs.openAnswers.push_back({QString::fromStdString(dir.file("bad.qfl"))});
    click(window.btnImport);
    ASSERT_TRUE(boxes.waitUntilSeen(1));
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, "Calvera");
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(boxes.seen[0].text.isEmpty());
    EXPECT_EQ(jobs.count(), 3) << "a file that cannot be read adds nothing";

    writeFileBytes(dir.file("worse.qfl"),
        "<list><item><filename>/v/z.avi</filename><format>two</format>"
        "<path></path></item></list>");
    dialogs.openAnswers.push_back({QString::fromStdString(dir.file("worse.qfl"))});
    click(window.btnImport);
    ASSERT_TRUE(boxes.waitUntilSeen(2));
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[1].text, "'two' is not a valid integer value");
}

TEST_F(ControllerTest, ExportNamesAndRefusals)
{
    click(window.btnExport);
    EXPECT_TRUE(dialogs.calls.isEmpty()) << "an empty list opens no dialog";

    queue("/v/a.avi", 2, "/out/");
    const std::vector<std::pair<std::string, std::string>> names = {
        {"plain", "plain.qfl"},
        {"named.qfl", "named.qfl"},
        {"upper.QFL", "upper.QFL.qfl"},
        {"other.txt", "other.txt.qfl"},
        {"dotted.dir/list", "dotted.dir/list.qfl"},
    };
    std::filesystem::create_directory(dir.path() / "dotted.dir");
    for (const auto& [chosen, written] : names) {
        dialogs.saveAnswers.push_back(QString::fromStdString(dir.file(chosen)));
        click(window.btnExport);
        EXPECT_TRUE(std::filesystem::exists(dir.file(written))) << chosen;
        EXPECT_NE(readFileBytes(dir.file(written)).find("<filename>/v/a.avi</filename>"), std::string::npos);
    }
    EXPECT_EQ(dialogs.calls.value(0), "save:" + kListChooser);
    EXPECT_FALSE(std::filesystem::exists(dir.file("plain"))) << "only the corrected name is written";
    EXPECT_FALSE(std::filesystem::exists(dir.file("upper.QFL")));

    writeFileBytes(dir.file("old.qfl"), "old contents");
    dialogs.saveAnswers.push_back(QString::fromStdString(dir.file("old.qfl")));
    click(window.btnExport);
    EXPECT_NE(readFileBytes(dir.file("old.qfl")).find("/v/a.avi"), std::string::npos) << "replaced without a question";
}

TEST_F(ControllerTest, PropertiesFromThePopupMenu)
{
    writeFileBytes(dir.file("clip.avi"), "0123456789");
    queue(QString::fromStdString(dir.file("clip.avi")), 0, "");
    window.VirtualStringTree1->setCurrentIndex(jobs.index(0, 0));
    dialogs.folderAnswers.push_back("/");
    QStringList lines;
    whenModalShows<TItemDlg>([&](TItemDlg& dialog) {
        lines = dialog.informationLines();
        dialog.ComboBox1->setCurrentIndex(4);
        click(dialog.btDirectory);
        clickOk(dialog);
    });
    window.pmiProperties->trigger();
    EXPECT_EQ(lines.value(0), "file name: clip.avi");
    EXPECT_EQ(lines.value(1), "file size: 10 Bytes");
    EXPECT_EQ(lines.size(), 2) << "nothing converted yet: no note";
    EXPECT_EQ(jobs.nodeAt(0)->Item.FormatIndex, 4);
    EXPECT_EQ(jobs.nodeAt(0)->Item.Path, "/");

    // Converted, it tells what was checked.
    jobs.setState(jobs.nodeAt(0), ItemState::done);
    jobs.nodeAt(0)->Remark = "checked: video 00:00:10.0, 250 frames; sound 00:00:10.0";
    whenModalShows<TItemDlg>([&](TItemDlg& dialog) {
        lines = dialog.informationLines();
        dialog.reject();
    });
    window.pmiProperties->trigger();
    EXPECT_EQ(lines.value(2), "note: checked: video 00:00:10.0, 250 frames; sound 00:00:10.0");

    window.VirtualStringTree1->setCurrentIndex({});
    window.pmiProperties->trigger(); // no focused item: nothing opens
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ControllerTest, RightClickBelowTheRowsPointsAtNoItem)
{
    queue("/v/a.avi");
    queue("/v/b.avi");
    JobListView& view = *window.VirtualStringTree1;
    const QPoint below = view.visualRect(jobs.index(1, 0)).bottomLeft() + QPoint(20, 40);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(jobs.index(0, 0)).center());
    ASSERT_TRUE(view.selectionModel()->isRowSelected(0));

    QTest::mouseClick(view.viewport(), Qt::RightButton, {}, below);
    EXPECT_FALSE(view.selectionModel()->hasSelection()) << "the row chosen earlier is not what the user points at";
    emit window.PopupMenu1->aboutToShow();
    EXPECT_FALSE(window.pmiDelete->isEnabled());
    EXPECT_FALSE(window.pmiProperties->isEnabled());
    EXPECT_TRUE(window.pmiClear->isEnabled());
    window.pmiDelete->trigger();
    EXPECT_EQ(jobs.count(), 2) << "Delete with nothing pointed at deletes nothing";

    QTest::mouseClick(view.viewport(), Qt::RightButton, {}, view.visualRect(jobs.index(1, 0)).center());
    emit window.PopupMenu1->aboutToShow();
    EXPECT_TRUE(window.pmiDelete->isEnabled());
    EXPECT_TRUE(window.pmiProperties->isEnabled());
    window.pmiDelete->trigger();
    EXPECT_EQ(fileNames(), QStringList {"/v/a.avi"});
}

TEST_F(ControllerTest, TheKeyboardReachesWhatTheMouseDoes)
{
    window.activateWindow();
    const auto keys = [&](QWidget* target, const char* sequence) {
        const QKeySequence key(sequence);
        QTest::keyClick(target, key[0].key(), key[0].keyboardModifiers());
    };
    for (const char* add : {"Ctrl+O", "Ins", "Alt+A"})
        keys(&window, add);
    EXPECT_EQ(dialogs.calls.size(), 3);
    EXPECT_TRUE(dialogs.calls.value(2).startsWith(kAddFilterStart)) << "each opens the Add file chooser";
    keys(&window, "Ctrl+I");
    EXPECT_EQ(dialogs.calls.value(3), "open:" + kListChooser);

    writeFileBytes(dir.file("a.avi"), "a");
    writeFileBytes(dir.file("b.avi"), "b");
    queue(QString::fromStdString(dir.file("a.avi")));
    queue(QString::fromStdString(dir.file("b.avi")));
    JobListView& view = *window.VirtualStringTree1;
    view.setFocus();
    view.setCurrentIndex(jobs.index(1, 0));
    bool propertiesShown = false;
    whenModalShows<TItemDlg>([&](TItemDlg& dialog) {
        propertiesShown = true;
        dialog.reject();
    });
    keys(&view, "Return");
    EXPECT_TRUE(propertiesShown) << "Return on a row opens its properties";
    keys(&view, "Shift+F10");
    EXPECT_TRUE(window.PopupMenu1->isVisible()) << "the popup menu from the keyboard";
    window.PopupMenu1->hide();
    QApplication::setActiveWindow(&window);
    view.setFocus();
    view.setCurrentIndex(jobs.index(1, 0));
    keys(&view, "Del");
    EXPECT_EQ(fileNames(), QStringList {QString::fromStdString(dir.file("a.avi"))});

    writeScript(dir.file("sleeper"), "case \"$1\" in -hide_banner) exit 0;; esac\nexec sleep 60\n");
    window.controller()->driver()->FfmpegPath = dir.file("sleeper");
    keys(&view, "Ctrl+Return");
    EXPECT_FALSE(window.controller()->driver()->Idle()) << "Ctrl+Return converts";
    keys(&view, "Del");
    EXPECT_EQ(jobs.count(), 1) << "what converts stays, as the menu does";
    keys(&view, "Esc");
    EXPECT_TRUE(waitFor([&] { return window.controller()->driver()->Idle(); })) << "Esc stops";

    for (QWidget* named : std::initializer_list<QWidget*> {
             window.btnAdd, window.btnConvert, window.btnStop, window.btnImport, window.btnExport, &view})
        EXPECT_FALSE(named->accessibleName().isEmpty()) << named->objectName().toStdString();
}

TEST_F(ControllerTest, TabReachesTheToolsTheListAndTheButtonsAndFocusShows)
{
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    window.btnAdd->setFocus();
    QStringList reached;
    for (int i = 0; i < 7; ++i) {
        reached << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString("none"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(reached,
        (QStringList {window.btnAdd->objectName(), window.btnConvert->objectName(), window.btnStop->objectName(),
            window.btnSupport->objectName(), window.VirtualStringTree1->objectName(), window.btnImport->objectName(),
            window.btnExport->objectName()}));

    // A tool with the focus shows it, and Space clicks it.
    const QImage unfocused = window.btnConvert->grab().toImage();
    window.btnConvert->setFocus();
    EXPECT_NE(window.btnConvert->grab().toImage(), unfocused) << "the focus is visible";
    window.btnAdd->setFocus();
    QTest::keyClick(window.btnAdd, Qt::Key_Space);
    EXPECT_TRUE(dialogs.calls.value(0).startsWith(kAddFilterStart)) << "Space on Add opens the chooser";
}

TEST_F(ControllerTest, DialogsOpenCentredOverTheWindowWithTheirTitles)
{
    writeFileBytes(dir.file("a.avi"), "a");
    queue(QString::fromStdString(dir.file("a.avi")));
    QPoint addCentre;
    QString addTitle;
    addFiles({QString::fromStdString(dir.file("a.avi"))}, [&](TaddDlg& dialog) {
        addCentre = dialog.geometry().center();
        addTitle = dialog.windowTitle();
        dialog.reject();
    });
    EXPECT_EQ(addTitle, "Add Files");
    EXPECT_LE((addCentre - window.geometry().center()).manhattanLength(), 4) << "centred, to a pixel or two";
    QPoint itemCentre;
    QString itemTitle;
    whenModalShows<TItemDlg>([&](TItemDlg& dialog) {
        itemCentre = dialog.geometry().center();
        itemTitle = dialog.windowTitle();
        dialog.reject();
    });
    window.VirtualStringTree1->setCurrentIndex(jobs.index(0, 0));
    window.pmiProperties->trigger();
    EXPECT_EQ(itemTitle, "Item Property");
    EXPECT_LE((itemCentre - window.geometry().center()).manhattanLength(), 4) << "centred, to a pixel or two";
}

TEST_F(ControllerTest, DroppedFilesAndFoldersComeInThroughTheAddFilesDialog)
{
    std::filesystem::create_directories(dir.file("clips/sub"));
    for (const char* name : {"clips/b.MKV", "clips/a.avi", "clips/notes.txt", "clips/sub/c.mp4", "single.mov"})
        writeFileBytes(dir.file(name), "x");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.file("clips"))),
        QUrl::fromLocalFile(QString::fromStdString(dir.file("single.mov")))});
    JobListView& view = *window.VirtualStringTree1;
    const auto drop = [&] {
        const QPoint at = view.viewport()->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &dropped);
    };
    QStringList offered;
    whenModalShows<TaddDlg>([&](TaddDlg& dialog) {
        for (int i = 0; i < dialog.MyListBox1->count(); ++i)
            offered << dialog.MyListBox1->item(i)->text();
        clickOk(dialog);
    });
    drop();
    ASSERT_TRUE(waitFor([&] { return !offered.isEmpty(); }));
    const auto path = [&](const char* name) { return QString::fromStdString(dir.file(name)); };
    EXPECT_EQ(
        offered, (QStringList {path("clips/a.avi"), path("clips/b.MKV"), path("clips/sub/c.mp4"), path("single.mov")}))
        << "a folder's video files, sorted, then the file dropped beside it";
    EXPECT_EQ(jobs.count(), 4);

    startEndlessRun();
    offered.clear();
    whenModalShows<TaddDlg>([&](TaddDlg& dialog) {
        offered << dialog.MyListBox1->item(0)->text();
        clickOk(dialog);
    });
    drop();
    ASSERT_TRUE(waitFor([&] { return !offered.isEmpty(); }));
    EXPECT_EQ(jobs.count(), 8) << "during a run the files join it, as Add's do";
    EXPECT_EQ(window.controller()->driver()->RunItemCount(), 8);
    stopRun();
}

TEST(ExportFileName, AppendsTheExtensionUnlessItIsExactlyThere)
{
    EXPECT_EQ(exportFileName("/l/a"), "/l/a.qfl");
    EXPECT_EQ(exportFileName("/l/a.qfl"), "/l/a.qfl");
    EXPECT_EQ(exportFileName("/l/a.Qfl"), "/l/a.Qfl.qfl");
    EXPECT_EQ(exportFileName("/l.qfl/a"), "/l.qfl/a.qfl") << "a dot in a folder name is not an extension";
    EXPECT_EQ(exportFileName("/l/.qfl"), "/l/.qfl");
}

} // namespace
