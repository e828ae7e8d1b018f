#include "Fonts.h"
#include "FSProgressBar.h"
#include "FormsSupport.h"
#include "JobListView.h"
#include "LinePanelUnit.h"
#include "MyButtonEx.h"
#include "MyFlatHintUnit.h"
#include "PngImageList.h"
#include "imagebutton.h"
#include "GuiTestSupport.h"
#include "JobListModel.h"
#include "SplashForm.h"
#include "Startup.h"
#include "command.h"
#include "commandManager.h"
#include "TempDir.h"
#include "mainForm.h"
#include "MyListBox.h"
#include "addForm.h"
#include "menuDraw.h"
#include "uihook.h"

#include <QMenu>
#include <QLabel>
#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(Startup, SplashWaitsASecondEvenWhenTheCounterWraps)
{
    for (std::uint32_t start : {0u, 0xFFFFFF00u, 0xFFFFFFFFu - 3u}) {
        std::uint32_t now = start;
        int reads = 0;
        waitWhileProcessingEvents(
            [&] {
                ++reads;
                return now += 40; // 40 ms pass between two readings
            },
            1000);
        const std::uint32_t elapsed = now - start;
        EXPECT_GE(elapsed, 1000u) << start;
        EXPECT_LE(elapsed, 1000u + 2 * 40) << "not a step longer than needed (the first reading is one step in)";
        EXPECT_LT(reads, 40);
    }

    TSplashDlg splash;
    EXPECT_EQ(splash.size(), QSize(570, 330));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_NEAR(splash.windowOpacity(), 200 / 255.0, 0.01);
}

TEST(Startup, FilesOnTheCommandLineGoThroughTheAddFilesDialog)
{
    // A state folder of its own: the list this start keeps is no other test's.
    const TemporaryStateHome home;
    TempDir dir;
    writeFileBytes(dir.file("jobs.qfl"),
        "<list><item><filename>/v/listed.avi</filename><format>1</format><path>/out/</path></item></list>");
    const QStringList files = {QString::fromStdString(dir.file("a.avi")), QString::fromStdString(dir.file("jobs.qfl")),
        QString::fromStdString(dir.file("b.mkv"))};
    QStringList offered;
    QStringList queued;
    whenModalShows<TaddDlg>([&](TaddDlg& dialog) {
        for (int i = 0; i < dialog.MyListBox1->count(); ++i)
            offered << dialog.MyListBox1->item(i)->text();
        QTest::mouseClick(dialog.btnOk, Qt::LeftButton, {}, dialog.btnOk->rect().center());
        // The window closes once the files are in.
        QTimer::singleShot(0, [&] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* window = qobject_cast<TmainDlg*>(top)) {
                    JobListModel& jobs = *window->controller()->jobs();
                    for (int i = 0; i < jobs.count(); ++i)
                        queued << jobs.nodeAt(i)->Item.FileName;
                    window->close();
                }
            }
        });
    });
    std::uint32_t now = 0;
    EXPECT_EQ(runCalvera(
                  *qApp, [&] { return now += 500; }, {}, files),
        0);
    EXPECT_EQ(offered, (QStringList {files[0], files[2]})) << "as if chosen in the file chooser";
    EXPECT_EQ(queued, (QStringList {"/v/listed.avi", files[0], files[2]})) << "the list file imported";
}

TEST(Startup, ABrokenListIsToldWhileTheFilesOfAFolderBesideItStillComeIn)
{
    const TemporaryStateHome home;
    TempDir dir;
    writeFileBytes(
        dir.file("broken.qfl"), "<list><item><filename>/v/x.avi</filename><format>two</format></item></list>");
    std::filesystem::create_directories(dir.file("clips/deeper"));
    writeFileBytes(dir.file("clips/deeper/c.avi"), "v");
    writeFileBytes(dir.file("clips/b.mkv"), "v");
    writeFileBytes(dir.file("clips/notes.txt"), "not a video");
    MessageBoxAnswerer boxes;
    QStringList offered;
    whenModalShows<TaddDlg>([&](TaddDlg& dialog) {
        for (int i = 0; i < dialog.MyListBox1->count(); ++i)
            offered << dialog.MyListBox1->item(i)->text();
        QTest::mouseClick(dialog.btnOk, Qt::LeftButton, {}, dialog.btnOk->rect().center());
    });
    std::uint32_t now = 0;
    const int code = runCalvera(
        *qApp, [&] { return now += 500; },
        [&](const char* stage) {
            if (std::string(stage) != "main window shown")
                return;
            // The window closes once the box about the list was seen.
            QTimer::singleShot(0, [&] {
                boxes.waitUntilSeen(1);
                for (QWidget* top : QApplication::topLevelWidgets()) {
                    if (qobject_cast<TmainDlg*>(top))
                        top->close();
                }
            });
        },
        {QString::fromStdString(dir.file("broken.qfl")), QString::fromStdString(dir.file("clips"))});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(offered,
        (QStringList {
            QString::fromStdString(dir.file("clips/b.mkv")), QString::fromStdString(dir.file("clips/deeper/c.avi"))}));
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_TRUE(boxes.seen[0].text.contains("'two' is not a valid integer value")) << qPrintable(boxes.seen[0].text);
}

TEST(Startup, ABadCatalogueOfYourOwnIsToldAfterStartAndLeftOut)
{
    TempDir config;
    std::filesystem::create_directories(config.file("calvera"));
    writeFileBytes(config.file("calvera/command"), "<commands><command><format>x</format><params>-c copy");
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path().string()));
    MessageBoxAnswerer answerer;
    {
        TmainDlg window;
        window.show();
        EXPECT_TRUE(answerer.waitUntilSeen(1));
        EXPECT_TRUE(window.isVisible()) << "the window starts all the same";
    }
    qputenv("XDG_CONFIG_HOME", saved);
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(answerer.seen[0].text.startsWith(
        QString::fromStdString("Your own formats in \"" + config.file("calvera/command") + "\" were left out: ")))
        << answerer.seen[0].text.toStdString();
}

TEST(Startup, SplashFirstThenTheWindowAfterItIsGone)
{
    const TemporaryStateHome home;
    std::vector<std::string> stages;
    std::uint32_t now = 0;
    std::uint32_t windowCreatedAt = 0;
    bool splashVisibleWhileCreating = false;
    const int code = runCalvera(
        *qApp, [&] { return now += 50; },
        [&](const char* stage) {
            stages.emplace_back(stage);
            if (stages.back() == "main window created") {
                windowCreatedAt = now;
                for (QWidget* top : QApplication::topLevelWidgets())
                    splashVisibleWhileCreating
                        = splashVisibleWhileCreating || (top->objectName() == "SplashDlg" && top->isVisible());
            }
            if (stages.back() == "main window shown") {
                for (QWidget* top : QApplication::topLevelWidgets()) {
                    EXPECT_NE(top->objectName(), "SplashDlg") << "the splash is gone";
                    if (top->objectName() == "mainDlg")
                        QTimer::singleShot(0, top, &QWidget::close);
                }
            }
        });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(stages,
        (std::vector<std::string> {"splash shown", "main window created", "splash destroyed", "main window shown"}));
    EXPECT_GE(windowCreatedAt, 1000u) << "the splash shows at least a second";
    EXPECT_TRUE(splashVisibleWhileCreating);
}

class MainWindowTest : public testing::Test {
protected:
    TmainDlg window;
    JobListView& view = *window.VirtualStringTree1;
    JobListModel& jobs = *window.controller()->jobs();

    JobListModel::Node* add(const QString& file, int format, const QString& path)
    {
        return appendJob(jobs, file, format, path);
    }
};

TEST_F(MainWindowTest, FixedSizeTitleAndInitialState)
{
    EXPECT_EQ(window.size(), QSize(861, 529));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "not resizable";
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(window.palette().color(QPalette::Window), toQColor(13739137));

    EXPECT_EQ(window.lbCount->text(), "0 files finished 0 of 0");
    EXPECT_EQ(window.lbTimer->text(), "timestamp: 00:00:00");
    EXPECT_EQ(window.ProgressBar1->Position(), 0);
    EXPECT_EQ(window.ProgressBar1->ColorScheme(), csCustom);
    EXPECT_EQ(window.ProgressBar1->ColorBorder(), 14922381u);
    EXPECT_FALSE(window.btnStop->Enabled());
    EXPECT_EQ(window.lbStop->palette().color(QPalette::WindowText), toQColor(9276813));
    EXPECT_TRUE(window.btnAdd->Enabled());
    EXPECT_EQ(jobs.count(), 0);
    EXPECT_EQ(window.btnAdd->toolTip(), "add video files");
    EXPECT_EQ(window.btnImport->Caption(), "&Import");
    EXPECT_EQ(window.btnImport->toolTip(), "load list from a disk file");
    EXPECT_EQ(window.listImage->Count(), 6)
        << "the four of waiting, converting, done and failed, then stopped and skipped";
    EXPECT_EQ(window.listImage->item(2)->Name, "PngImage3");
    EXPECT_EQ(window.controller()->menuDraw().AttachedMenu(), window.PopupMenu1);
    // The specified four entries first, then the log and the output folder, then steering runs.
    ASSERT_EQ(window.PopupMenu1->actions().size(), 12);
    EXPECT_EQ(window.PopupMenu1->actions().at(8), window.pmiConvertRest);
    EXPECT_EQ(window.PopupMenu1->actions().at(9), window.pmiStopItem);
    EXPECT_EQ(window.PopupMenu1->actions().at(10), window.pmiPause);
    EXPECT_EQ(window.PopupMenu1->actions().at(3), window.pmiProperties);
    EXPECT_TRUE(window.N2->isSeparator());
    EXPECT_EQ(window.pmiClear->statusTip(), "clear all items");
    EXPECT_TRUE(window.N1->isSeparator());

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(window.btnOption->isVisible());
    EXPECT_TRUE(window.lbOption->isVisible());
    EXPECT_FALSE(window.LinePanel2->isVisible()) << "the list shows first";
    EXPECT_TRUE(view.isVisible());
}

TEST_F(MainWindowTest, ControlsSitWhereTheFormPutsThem)
{
    const std::vector<std::pair<QWidget*, QRect>> places = {
        {window.btnAdd, {16, 16, 112, 101}},
        {window.btnConvert, {144, 16, 112, 101}},
        {window.btnStop, {272, 16, 112, 101}},
        {window.btnSupport, {400, 16, 112, 101}},
        {window.ProgressBar1, {16, 432, 828, 17}},
        {window.lbUpdate, {740, 8, 104, 18}},
        {window.Image3, {849, 517, 11, 11}},
        {window.lbTimer, {600, 456, 244, 18}},
        {window.btnImport, {16, 456, 121, 41}},
        {window.btnExport, {144, 456, 121, 41}},
        {window.LinePanel1, {16, 136, 828, 289}},
        {window.btnOption, {73, 14, 66, 29}},
        {window.btnList, {8, 14, 66, 29}},
        {window.Shape1, {0, 39, 828, 1}},
        {window.lbCount, {576, 8, 244, 18}},
        {window.VirtualStringTree1, {0, 40, 828, 249}},
        {window.LinePanel2, {0, 40, 828, 249}},
        {window.Image2, {0, 508, 861, 21}},
    };
    for (const auto& [widget, rect] : places)
        EXPECT_EQ(widget->geometry(), rect) << qPrintable(widget->objectName());
    EXPECT_EQ(window.lbUpdate->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(window.lbUpdate->font().underline());
}

TEST_F(MainWindowTest, JobListRowsHintsAndMenu)
{
    add("/v/a.avi", 0, "/out/");
    add("/v/b.avi", 99, "");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_TRUE(view.isHeaderHidden());
    EXPECT_EQ(view.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(view.columnWidth(0), 700);
    EXPECT_EQ(view.columnWidth(1), 100);
    const QRect row0 = view.visualRect(jobs.index(0, 0));
    EXPECT_EQ(row0.height(), 25);
    EXPECT_EQ(jobs.data(jobs.index(0, 0), Qt::DisplayRole).toString(), "/v/a.avi");

    const QPoint column0 = view.viewport()->mapToGlobal(row0.center());
    const std::string firstFormat = window.controller()->catalogue().formatName(0);
    ASSERT_FALSE(firstFormat.empty()) << "the shipped catalogue lies next to the test";
    EXPECT_EQ(view.hintAt(column0),
        "[File Name]: /v/a.avi\n[format]: " + QString::fromStdString(firstFormat) + "\n[path]: /out/");
    const QRect row1 = view.visualRect(jobs.index(1, 0));
    EXPECT_EQ(view.hintAt(view.viewport()->mapToGlobal(row1.center())),
        "[File Name]: /v/b.avi\n[format]: (unknown format 99)\n[path]: ");
    const QRect cell1 = view.visualRect(jobs.index(0, 1));
    EXPECT_EQ(view.hintAt(view.viewport()->mapToGlobal(cell1.center())), "") << "no hint on column 1";

    EXPECT_EQ(view.menuAt(row0.center()), window.PopupMenu1);
    EXPECT_EQ(view.menuAt(cell1.center()), nullptr) << "no menu on column 1";
    view.canOfferMenu = [] { return false; };
    EXPECT_EQ(view.menuAt(row0.center()), nullptr) << "no menu while a conversion runs";

    // A right click selects; a double-click on either column opens the properties.
    QTest::mouseClick(view.viewport(), Qt::RightButton, {}, row1.center());
    EXPECT_EQ(view.currentIndex().row(), 1);
    int properties = 0;
    view.onShowItemProperties = [&] { ++properties; };
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, cell1.center());
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, row0.center());
    EXPECT_EQ(properties, 2);
}

TEST_F(MainWindowTest, RowHintsShowThroughTheFlatHintWindow)
{
    add("/v/first.avi", 0, "/out/");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint row = view.viewport()->mapToGlobal(view.visualRect(jobs.index(0, 0)).center());
    QCursor::setPos(row);
    const QPointF local = view.viewport()->mapFromGlobal(QPointF(row));
    QEnterEvent enter(local, local, QPointF(row));
    QApplication::sendEvent(view.viewport(), &enter);
    TMyFlatHintWindow* hint = TMyFlatHint::window();
    ASSERT_TRUE(QTest::qWaitFor([&] { return hint->isVisible(); }, 10000));
    EXPECT_TRUE(hint->text().startsWith("[File Name]: /v/first.avi\n[format]: ")) << qPrintable(hint->text());
    hint->hide();
}

TEST_F(MainWindowTest, StatePicturesAndActivityColumn)
{
    // Waiting, working, done, failed, stopped apart from failed, and skipped apart from done.
    const ItemState states[] = {ItemState::waiting, ItemState::converting, ItemState::done, ItemState::failed,
        ItemState::stopped, ItemState::skipped};
    for (int state = 0; state < 6; ++state)
        jobs.setState(add(QString("/v/%1.avi").arg(state), 0, ""), states[state]);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QImage shot = view.viewport()->grab().toImage();
    EXPECT_NE(window.listImage->pngImage(kStateStopped), window.listImage->pngImage(kStateFailed))
        << "a stopped item does not look failed";
    EXPECT_NE(window.listImage->pngImage(kStateSkipped), window.listImage->pngImage(kStateDone))
        << "a skipped item does not look converted";
    for (int state = 0; state < 6; ++state) {
        const QRect row = view.visualRect(jobs.index(state, 0));
        QImage picture(16, 16, QImage::Format_ARGB32);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        window.listImage->Draw(painter, 0, 0, state);
        const QPoint centre = row.topLeft() + QPoint(4 + 8, (25 - 16) / 2 + 8);
        ASSERT_EQ(picture.pixelColor(8, 8).alpha(), 255) << "the pictures are opaque in their middle";
        EXPECT_EQ(shot.pixelColor(centre).rgb(), picture.pixelColor(8, 8).rgb()) << "state " << state;
        EXPECT_EQ(shot.pixelColor(centre + QPoint(-5, 2)).rgb(), picture.pixelColor(3, 10).rgb()) << "state " << state;
    }

    const QColor activity(0x7F, 0x9D, 0xB9);
    for (unsigned position : {0u, 37u, 74u}) {
        QImage cell(100, 25, QImage::Format_RGB32);
        cell.fill(Qt::white);
        QPainter painter(&cell);
        paintActivity(painter, cell.rect(), true, position);
        painter.end();
        EXPECT_EQ(cell.pixelColor(5, 5), activity) << "frame corner";
        EXPECT_EQ(cell.pixelColor(94, 19), activity) << "frame corner";
        EXPECT_EQ(cell.pixelColor(5 + position, 12), activity) << position;
        EXPECT_EQ(cell.pixelColor(5 + position + 14, 12), activity) << position;
        if (position + 15 < 89) {
            EXPECT_EQ(cell.pixelColor(5 + position + 15, 12), QColor(Qt::white)) << position;
        }
    }
    QImage idle(100, 25, QImage::Format_RGB32);
    idle.fill(Qt::white);
    QPainter painter(&idle);
    paintActivity(painter, idle.rect(), false, 30);
    painter.end();
    EXPECT_EQ(idle.pixelColor(40, 12), QColor(Qt::white)) << "no block while not busy";
}

TEST_F(MainWindowTest, WatermarkStaysInTheBottomRightCorner)
{
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(view.watermarkOffset(), QPoint(view.viewport()->width() - 256, view.viewport()->height() - 256));
    view.resize(600, 400);
    QApplication::processEvents();
    EXPECT_EQ(view.watermarkOffset(), QPoint(view.viewport()->width() - 256, view.viewport()->height() - 256));
    for (int i = 0; i < 100; ++i)
        add(QString("/v/%1.avi").arg(i), 0, "");
    view.scrollToBottom();
    EXPECT_EQ(view.watermarkOffset(), QPoint(view.viewport()->width() - 256, view.viewport()->height() - 256))
        << "it does not scroll with the rows";
}

TEST_F(MainWindowTest, TheChosenTabIsMarked)
{
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto look = [](QWidget* tab) { return tab->grab().toImage(); };
    const QImage chosen = look(window.btnList);
    const QImage other = look(window.btnOption);
    EXPECT_NE(chosen, other) << "the List tab, chosen at the start, looks otherwise than Option";

    QTest::mouseClick(window.lbOption, Qt::LeftButton, {}, window.lbOption->rect().center());
    ASSERT_TRUE(window.LinePanel2->isVisible());
    EXPECT_EQ(look(window.btnOption), chosen) << "Option, once chosen, looks as List did";
    EXPECT_EQ(look(window.btnList), other);
    // Held down or hovered, the chosen tab stays marked.
    QTest::mousePress(window.btnOption, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(look(window.btnOption), chosen) << "pressed";
    QTest::mouseRelease(window.btnOption, Qt::LeftButton, {}, QPoint(10, 10));
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), window.btnOption->mapToGlobal(QPointF(10, 10)));
    QApplication::sendEvent(window.btnOption, &enter);
    EXPECT_EQ(look(window.btnOption), chosen) << "hovered";
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(window.btnOption, &leave);

    QTest::mouseClick(window.btnList, Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_TRUE(view.isVisible());
    EXPECT_EQ(look(window.btnList), chosen);
    EXPECT_EQ(look(window.btnOption), other);
}

TEST_F(MainWindowTest, TheWatermarkStaysWholeWhileARunRepaintsAndScrollsTheRows)
{
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    std::vector<JobListModel::Node*> nodes;
    for (int i = 0; i < 14; ++i)
        nodes.push_back(add(QString("/v/%1.avi").arg(i), 0, ""));
    QApplication::processEvents();
    // What the screen shows of the list, as the repaints of parts of it left it.
    const auto onScreen = [&] {
        const QPoint at = view.viewport()->mapTo(&window, QPoint(0, 0));
        return window.screen()
            ->grabWindow(window.winId(), at.x(), at.y(), view.viewport()->width(), view.viewport()->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    // The list painted whole.
    const auto whole = [&] { return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); };
    const auto differingInTheDisc = [&] {
        const QImage shown = onScreen();
        const QImage expected = whole();
        const QPoint disc = view.watermarkOffset();
        int differing = 0;
        for (int y = std::max(0, disc.y()); y < shown.height(); ++y) {
            for (int x = std::max(0, disc.x()); x < shown.width(); ++x)
                differing += shown.pixel(x, y) != expected.pixel(x, y) ? 1 : 0;
        }
        return differing;
    };
    // Every pending repaint done, as the event loop would have done them by the time one looks.
    const auto settle = [] {
        for (int round = 0; round < 5; ++round)
            QApplication::processEvents();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return differingInTheDisc() == 0; })) << "shown whole to begin with";

    // A run: each item starts (the list follows it, scrolling when it is below the last row shown), its
    // row is painted again alone, and it ends.
    for (JobListModel::Node* node : nodes) {
        jobs.setState(node, ItemState::converting);
        node->Item.ActivityPos = 20;
        const QModelIndex index = jobs.index(jobs.indexOf(node), 0);
        view.setCurrentIndex(index);
        view.scrollTo(index);
        jobs.nodeChanged(node);
        settle();
        jobs.setState(node, ItemState::done);
        settle();
    }
    ASSERT_GT(view.verticalScrollBar()->value(), 0) << "the list scrolled";
    EXPECT_EQ(differingInTheDisc(), 0) << "pixels of the disc that differ from the list painted whole";
}

TEST_F(MainWindowTest, ClosingDuringARunLeavesNothingRunning)
{
    // The window's destruction ends the driver with the rest of the controller.
    TCommand* driver = window.controller()->driver();
    ASSERT_NE(driver, nullptr);
    EXPECT_TRUE(driver->Idle());
}

} // namespace

int main(int argc, char* argv[])
{
    useEnglishLocale();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const TemporaryStateHome state;
    nameApplication();
    installFontFallbacks();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
