// Whole conversions through the window, with the real ffmpeg and the shipped
// catalogue: files are added, converted and stopped as a user does it.

#include "EngineTestSupport.h"
#include "FSProgressBar.h"
#include "FormsSupport.h"
#include "JobListView.h"
#include "LinePanelUnit.h"
#include "MyFlatHintUnit.h"
#include "PngImageList.h"
#include "imagebutton.h"
#include "FlatEditUnit.h"
#include "GuiTestSupport.h"
#include "JobListModel.h"
#include "MyButtonEx.h"
#include "OptionsPage.h"
#include "Settings.h"
#include "PngSpeedButton.h"
#include "ProgramDir.h"
#include "Startup.h"
#include "TempDir.h"
#include "addForm.h"
#include "command.h"
#include "mainForm.h"
#include "uihook.h"

#include <QCheckBox>
#include <QMenu>
#include <QLabel>
#include <QApplication>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const int kMp4 = shippedFormat("mp4"); // H.264 + AAC
const int kWebm = shippedFormat("webm"); // VP9 + Opus: slow enough to be caught running
const int kAvi = shippedFormat("avi"); // MPEG-4 + MP3
const std::string kMp4Probe = "mov,mp4,m4a,3gp,3g2,mj2:h264,aac";

class RunTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        clips = std::make_unique<TempDir>();
        for (const char* name : {"a.avi", "b.avi", "c.avi"})
            makeClip(clips->file(name), 1.0);
        makeClip(clips->file("long.avi"), 60.0);
    }
    static void TearDownTestSuite() { clips.reset(); }
    static QString clip(const char* name) { return QString::fromStdString(clips->file(name)); }

    RunTest()
    {
        fs::create_directory(out);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QObject::connect(
            &driver(), &TCommand::itemFinished, [this](JobListModel::Node* node, const ItemOutcome& outcome) {
                counts << window->lbCount->text();
                bars.push_back(window->ProgressBar1->Position());
                const int row = jobs().indexOf(node);
                focused.push_back(window->VirtualStringTree1->currentIndex().row() == row
                    && window->VirtualStringTree1->selectionModel()->isRowSelected(row));
                outputs.push_back(outcome.output);
            });
    }

    TCommand& driver() const { return *window->controller()->driver(); }
    JobListModel& jobs() const { return *window->controller()->jobs(); }
    static void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center()); }
    // The clock's line as the next tick will show it.
    void CommandTickNow() { window->controller()->CommandTick(nullptr); }

    // Add, in the file chooser and the Add Files dialog, with a format and the output folder.
    void addThroughTheWindow(const QStringList& files, int format)
    {
        dialogs.openAnswers.push_back(files);
        dialogs.folderAnswers.push_back(QString::fromStdString(out));
        whenModalShows<TaddDlg>([format](TaddDlg& dialog) {
            dialog.ComboBox1->setCurrentIndex(format);
            click(dialog.btDirectory);
            click(dialog.btnOk);
        });
        click(window->btnAdd);
        ASSERT_GE(jobs().count(), files.size());
    }
    // The run is over and the boxes expected by then have been answered.
    bool runEnds(std::size_t boxesBy = 0, int timeoutMs = 120000)
    {
        return waitFor(
            [&] {
                return driver().Idle() && boxes.seen.size() >= boxesBy && QApplication::activeModalWidget() == nullptr;
            },
            timeoutMs);
    }
    std::vector<ItemState> states() const
    {
        std::vector<ItemState> result;
        for (int i = 0; i < jobs().count(); ++i)
            result.push_back(jobs().nodeAt(i)->State);
        return result;
    }
    void expectIdleLook() const
    {
        EXPECT_TRUE(window->btnAdd->Enabled());
        EXPECT_TRUE(window->btnConvert->Enabled());
        EXPECT_FALSE(window->btnStop->Enabled());
        EXPECT_EQ(window->lbAdd->palette().color(QPalette::WindowText), toQColor(kCaptionColor));
        EXPECT_EQ(window->lbStop->palette().color(QPalette::WindowText), toQColor(kDisabledCaptionColor));
        EXPECT_EQ(window->lbConvert->text(), "<u>C</u>onvert");
        EXPECT_FALSE(window->lbTimer->text().contains("left")) << "an ended run has no time left";
    }
    bool ffmpegRuns() const { return !childProcesses("ffmpeg").empty(); }
    // Chooses how many conversions run at once on the Option page, with the keyboard.
    void chooseSimultaneous(int jobs)
    {
        click(window->btnOption);
        TMyFlatComboBox& combo = *window->OptionsPage1->cbJobs;
        combo.setFocus();
        while (combo.currentIndex() + 1 < jobs)
            QTest::keyClick(&combo, Qt::Key_Down);
        click(window->btnList);
    }
    // The hint the pointer gets over a row's file name.
    QString hintOf(int row) const
    {
        JobListView& view = *window->VirtualStringTree1;
        return view.hintAt(view.viewport()->mapToGlobal(view.visualRect(jobs().index(row, 0)).center()));
    }

    static std::unique_ptr<TempDir> clips;
    TempDir dir;
    const std::string out = dir.prefix() + "out/";
    FakeDialogs dialogs;
    MessageBoxAnswerer boxes;
    // Each window starts from the default settings, whatever an earlier test chose.
    const bool defaults = (Settings().save(), true);
    std::unique_ptr<TmainDlg> window = std::make_unique<TmainDlg>();
    QStringList counts;
    std::vector<int> bars;
    std::vector<bool> focused;
    std::vector<std::string> outputs;
};

std::unique_ptr<TempDir> RunTest::clips;

TEST_F(RunTest, ThreeFilesToTheEndAndAgain)
{
    addThroughTheWindow({clip("a.avi"), clip("b.avi"), clip("c.avi")}, kMp4);
    window->ProgressBar1->SetPosition(80);
    click(window->btnConvert);
    // The running look: Add adds to the run, Convert holds it, Stop ends it.
    EXPECT_TRUE(window->btnAdd->Enabled());
    EXPECT_TRUE(window->btnConvert->Enabled());
    EXPECT_EQ(window->lbConvert->text(), "<u>P</u>ause");
    EXPECT_EQ(window->btnConvert->accessibleName(), "Pause");
    EXPECT_TRUE(window->btnStop->Enabled());
    EXPECT_EQ(window->lbStop->palette().color(QPalette::WindowText), toQColor(kCaptionColor));
    EXPECT_EQ(window->lbTimer->text(), "timestamp: 00:00:00") << "the clock starts again at once";
    EXPECT_EQ(window->ProgressBar1->Position(), 0) << "a new run starts the bar from the start";
    ASSERT_TRUE(runEnds(1));

    EXPECT_EQ(
        counts, (QStringList {"3 files, finished 1 of 3", "3 files, finished 2 of 3", "3 files, finished 3 of 3"}));
    EXPECT_EQ(bars, (std::vector<int> {33, 66, 100}));
    EXPECT_EQ(focused, (std::vector<bool> {true, true, true})) << "the running item is focused and selected";
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::done, ItemState::done}));
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, "Congratulations, works done!");
    EXPECT_EQ(boxes.seen[0].title, "Calvera");
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Information);
    expectIdleLook();
    for (const char* name : {"a.mp4", "b.mp4", "c.mp4"})
        EXPECT_EQ(probe(out + name), kMp4Probe) << name;

    // Convert again: every item once more, under new names.
    counts.clear();
    bars.clear();
    click(window->lbConvert);
    ASSERT_TRUE(runEnds(2));
    EXPECT_EQ(bars, (std::vector<int> {33, 66, 100}));
    EXPECT_EQ(boxes.seen.size(), 2u);
    for (const char* name : {"a_2.mp4", "b_2.mp4", "c_2.mp4"})
        EXPECT_EQ(probe(out + name), kMp4Probe) << name;
    EXPECT_EQ(window->lbCount->text(), "3 files, finished 3 of 3");
}

TEST_F(RunTest, StopDuringTheFirstItem)
{
    addThroughTheWindow({clip("long.avi"), clip("a.avi"), clip("b.avi")}, kWebm);
    click(window->btnConvert);
    ASSERT_TRUE(waitFor([&] { return ffmpegRuns(); }));
    // The clock shows the first second while ffmpeg works.
    ASSERT_TRUE(waitFor([&] { return window->lbTimer->text() == "timestamp: 00:00:01"; }, 10000))
        << qPrintable(window->lbTimer->text());
    click(window->btnStop);
    EXPECT_TRUE(window->btnStop->Enabled()) << "running until the driver says it has ended";
    ASSERT_TRUE(runEnds());

    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::stopped, ItemState::waiting, ItemState::waiting}));
    EXPECT_TRUE(hintOf(0).contains("\n[stopped]: not converted")) << qPrintable(hintOf(0));
    EXPECT_FALSE(hintOf(0).contains("[error]")) << "stopped is not failed";
    EXPECT_FALSE(hintOf(1).contains("[error]"));
    EXPECT_EQ(window->lbCount->text(), "3 files, finished 1 of 3");
    EXPECT_EQ(window->ProgressBar1->Position(), 33);
    EXPECT_TRUE(boxes.seen.empty()) << "no message after a stop";
    EXPECT_FALSE(ffmpegRuns());
    EXPECT_FALSE(fs::exists(out + "long.webm")) << "the stopped item leaves no partial file";
    EXPECT_EQ(window->lbTimer->text(), "timestamp: 00:00:01") << "the time is kept after the run";
    expectIdleLook();
}

// A stand-in ffmpeg whose progress the test sets: it says the input lasts
// 100 s, and twice a second that it has converted as far as the time in the
// file at says, at twice real time, until that file says "end".
std::string progressStandIn(const std::string& at)
{
    return standInArguments() + "echo '  Duration: 00:01:40.00, start: 0.000000, bitrate: 100 kb/s'\n"
        + "while :; do\n"
          "  position=$(cat \""
        + at
        + "\" 2>/dev/null)\n"
          "  [ \"$position\" = end ] && break\n"
          "  [ -n \"$position\" ] && printf 'frame=  10 fps=5 q=1 size=  1kB time=%s bitrate=1kbits/s speed=2x\\r' "
          "\"$position\"\n"
          "  sleep 0.5\n"
          "done\n"
          "echo converted > \"$output\"\n";
}

TEST_F(RunTest, TheRowTheBarTheHintAndTheClockFollowTheRunningItem)
{
    writeScript(dir.file("ffmpeg"), progressStandIn(dir.file("at")));
    driver().FfmpegPath = dir.file("ffmpeg");
    addThroughTheWindow({clip("a.avi"), clip("b.avi")}, kWebm);
    click(window->btnConvert);
    writeFileBytes(dir.file("at"), "00:00:30.00");
    const JobListModel::Node* running = jobs().first();
    // The clock tells the time left once it has a few seconds to go by.
    ASSERT_TRUE(waitFor([&] { return running->Progress.fraction > 0 && driver().Elapsed() >= 4; }, 60000))
        << "ffmpeg says how far it is";
    EXPECT_DOUBLE_EQ(running->Progress.fraction, 0.3);

    // The row's second column: its frame filled from the left as far as ffmpeg has come.
    JobListView& view = *window->VirtualStringTree1;
    const QImage rows = view.viewport()->grab().toImage();
    const QRect frame = view.visualRect(jobs().index(0, 1)).adjusted(5, 5, -5, -5);
    const QRgb border = rows.pixel(frame.topLeft());
    EXPECT_EQ(rows.pixel(frame.left() + 3, frame.center().y()), border) << "filled at the left";
    EXPECT_NE(rows.pixel(frame.right() - 3, frame.center().y()), border) << "not yet at the right";

    EXPECT_EQ(window->ProgressBar1->Position(), 15) << "30 % of the first of two items";
    EXPECT_TRUE(
        hintOf(0).contains(QRegularExpression("\n\\[progress\\]: \\d+ %, [0-9.]+x, about \\d\\d:\\d\\d:\\d\\d left$")))
        << qPrintable(hintOf(0));
    CommandTickNow();
    EXPECT_TRUE(window->lbTimer->text().contains(
        QRegularExpression("^timestamp: \\d\\d:\\d\\d:\\d\\d, about \\d\\d:\\d\\d:\\d\\d left$")))
        << qPrintable(window->lbTimer->text());
    click(window->btnStop);
    ASSERT_TRUE(runEnds());
}

TEST_F(RunTest, LogsAndOutputFoldersOpenFromThePopupMenu)
{
    addThroughTheWindow({clip("a.avi")}, kAvi);
    appendJob(jobs(), QString::fromStdString(dir.file("missing.avi")), kAvi, QString::fromStdString(out));
    click(window->btnConvert);
    ASSERT_TRUE(runEnds(1));
    EXPECT_EQ(boxes.seen[0].text,
        "1 converted, 1 failed, 0 stopped.\n\nFailed:\n" + QString::fromStdString(dir.file("missing.avi")) + ": "
            + QString::fromStdString(dir.file("missing.avi")) + ": No such file or directory\n\nConverted into:\n"
            + QString::fromStdString(out));
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Warning) << "a run with a failure warns";

    JobListView& view = *window->VirtualStringTree1;
    const auto pointAt = [&](int row) {
        QTest::mouseClick(view.viewport(), Qt::RightButton, {}, view.visualRect(jobs().index(row, 0)).center());
        emit window->PopupMenu1->aboutToShow();
    };
    pointAt(1);
    EXPECT_TRUE(window->pmiShowLog->isEnabled());
    EXPECT_FALSE(window->pmiOpenFolder->isEnabled()) << "a failed item made no file";
    const qsizetype callsBefore = dialogs.calls.size();
    window->pmiShowLog->trigger();
    ASSERT_EQ(dialogs.calls.size(), callsBefore + 1);
    const QString log = QUrl(dialogs.calls.back().mid(4)).toLocalFile();
    EXPECT_TRUE(readFileBytes(log.toStdString()).find("No such file or directory") != std::string::npos);

    pointAt(0);
    EXPECT_TRUE(window->pmiOpenFolder->isEnabled());
    window->pmiOpenFolder->trigger();
    ASSERT_EQ(dialogs.calls.size(), callsBefore + 2);
    EXPECT_EQ(dialogs.calls.back(), "url:" + QUrl::fromLocalFile(QString::fromStdString(out).chopped(1)).toString());
}

TEST_F(RunTest, StopDuringTheLastItem)
{
    addThroughTheWindow({clip("a.avi"), clip("b.avi")}, kAvi);
    addThroughTheWindow({clip("long.avi")}, kWebm);
    click(window->btnConvert);
    ASSERT_TRUE(waitFor([&] { return driver().CurrentIndex() == 2 && ffmpegRuns(); }));
    click(window->lbStop);
    ASSERT_TRUE(runEnds());

    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::done, ItemState::stopped}));
    EXPECT_EQ(bars, (std::vector<int> {33, 66, 100}));
    EXPECT_EQ(window->lbCount->text(), "3 files, finished 3 of 3");
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_FALSE(ffmpegRuns());
    EXPECT_EQ(probe(out + "a.avi"), "avi:mpeg4,mp3");
    expectIdleLook();
}

TEST_F(RunTest, ClosingDuringARunAsksAndKeepConvertingKeepsItGoing)
{
    addThroughTheWindow({clip("long.avi"), clip("a.avi")}, kWebm);
    click(window->btnConvert);
    ASSERT_TRUE(waitFor([&] { return ffmpegRuns(); }));
    window->close();
    ASSERT_EQ(boxes.seen.size(), 1u) << "the question comes before anything ends";
    const SeenMessage& question = boxes.seen[0];
    EXPECT_EQ(question.text, "1 conversion is running. Stop it and quit?");
    EXPECT_EQ(question.title, "Calvera");
    QStringList buttons = question.buttons;
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList {"Keep converting", "Stop and quit"}));
    EXPECT_EQ(question.defaultButton, "Keep converting");
    EXPECT_EQ(question.escapeButton, "Keep converting") << "Esc keeps converting, and the answerer pressed it";
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(ffmpegRuns());
    EXPECT_FALSE(driver().Idle());
    EXPECT_EQ(jobs().nodeAt(0)->State, ItemState::converting);

    // Once the run is over, closing asks nothing.
    click(window->btnStop);
    ASSERT_TRUE(runEnds());
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(boxes.seen.size(), 1u);
}

TEST_F(RunTest, ClosingOrDestroyingTheWindowEndsFfmpeg)
{
    addThroughTheWindow({clip("long.avi"), clip("a.avi")}, kWebm);
    click(window->btnConvert);
    ASSERT_TRUE(waitFor([&] { return ffmpegRuns(); }));
    boxes.answer = "Stop and quit";
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(waitFor([&] { return !ffmpegRuns(); }, 10000)) << "closing ends ffmpeg at once";
    ASSERT_TRUE(runEnds(0, 20000));
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::stopped, ItemState::waiting}));
    ASSERT_EQ(boxes.seen.size(), 1u) << "the question, and nothing after it";
    EXPECT_EQ(boxes.seen[0].text, "1 conversion is running. Stop it and quit?");
    boxes.seen.clear();

    // Destroyed while converting: ffmpeg is gone when the window is, and nothing
    // of the run reaches the destroyed controller (the sanitizer build checks that).
    window->show();
    click(window->btnConvert);
    ASSERT_TRUE(waitFor([&] { return ffmpegRuns(); }));
    window.reset();
    EXPECT_FALSE(ffmpegRuns());
    EXPECT_FALSE(fs::exists(out + "long.webm")) << "no partial output is left";
    processPendingEvents(); // the runner waited for its reader
    EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(RunTest, TwoAtOnceCountTheBarAndTheEndingRight)
{
    if (Settings::maxJobs() < 2)
        GTEST_SKIP() << "one core here: the Option page offers one conversion at a time only";
    chooseSimultaneous(2);
    EXPECT_EQ(driver().Jobs, 2);
    EXPECT_EQ(Settings::load().jobs, 2) << "kept for the next start";
    const std::string saved
        = readFileBytes(qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() + "/calvera/calvera.conf");
    EXPECT_NE(saved.find("simultaneous=2"), std::string::npos) << saved;
    addThroughTheWindow({clip("a.avi"), clip("b.avi"), clip("c.avi")}, kMp4);
    int mostConverting = 0;
    int converting = 0;
    QObject::connect(
        &driver(), &TCommand::itemStarted, [&] { mostConverting = std::max(mostConverting, ++converting); });
    QObject::connect(&driver(), &TCommand::itemFinished, [&] { --converting; });
    click(window->btnConvert);
    EXPECT_FALSE(window->OptionsPage1->isEnabled()) << "a run keeps the settings it started with";
    ASSERT_TRUE(runEnds(1));
    EXPECT_EQ(mostConverting, 2);
    EXPECT_EQ(
        counts, (QStringList {"3 files, finished 1 of 3", "3 files, finished 2 of 3", "3 files, finished 3 of 3"}));
    // At least the finished share at each end, never back: the other item may have taken it further.
    ASSERT_EQ(bars.size(), 3u);
    EXPECT_GE(bars[0], 33);
    EXPECT_GE(bars[1], std::max(bars[0], 66));
    EXPECT_EQ(bars[2], 100);
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::done, ItemState::done}));
    EXPECT_EQ(boxes.seen.at(0).text, "Congratulations, works done!");
    for (const char* name : {"a.mp4", "b.mp4", "c.mp4"})
        EXPECT_EQ(probe(out + name), kMp4Probe) << name;
    EXPECT_TRUE(window->OptionsPage1->isEnabled());
    expectIdleLook();
}

TEST_F(RunTest, StopAndCloseEndBothRunningConversions)
{
    if (Settings::maxJobs() < 2)
        GTEST_SKIP() << "one core here: the Option page offers one conversion at a time only";
    chooseSimultaneous(2);
    addThroughTheWindow({clip("long.avi"), clip("long.avi"), clip("a.avi")}, kWebm);
    click(window->btnConvert);
    ASSERT_TRUE(waitFor([&] { return childProcesses("ffmpeg").size() == 2; }));
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::converting, ItemState::converting, ItemState::waiting}));
    click(window->btnStop);
    ASSERT_TRUE(runEnds());
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::stopped, ItemState::stopped, ItemState::waiting}));
    EXPECT_EQ(window->lbCount->text(), "3 files, finished 2 of 3");
    EXPECT_EQ(window->ProgressBar1->Position(), 66);
    EXPECT_TRUE(boxes.seen.empty()) << "no message after a stop";
    EXPECT_FALSE(ffmpegRuns());
    EXPECT_TRUE(temporariesIn(out).empty()) << "what they wrote is gone";
    EXPECT_FALSE(fs::exists(out + "long.webm"));

    // Closed while two convert: both ffmpegs go at once, once the user agreed.
    click(window->btnConvert);
    ASSERT_TRUE(waitFor([&] { return childProcesses("ffmpeg").size() == 2; }));
    boxes.answer = "Stop and quit";
    window->close();
    EXPECT_TRUE(waitFor([&] { return !ffmpegRuns(); }, 10000)) << "closing ends every ffmpeg at once";
    ASSERT_TRUE(runEnds(0, 20000));
    EXPECT_TRUE(temporariesIn(out).empty());
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, "2 conversions are running. Stop them and quit?");
}

TEST_F(RunTest, TheSessionsEndClosesWithoutAQuestion)
{
    addThroughTheWindow({clip("long.avi")}, kWebm);
    click(window->btnConvert);
    ASSERT_TRUE(waitFor([&] { return ffmpegRuns(); }));
    // The session manager asks for the program's data: the close that follows asks nothing.
    window->controller()->SessionEnding(false);
    EXPECT_TRUE(ffmpegRuns()) << "the session may yet go on";
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(waitFor([&] { return !ffmpegRuns(); }, 10000));
    ASSERT_TRUE(runEnds(0, 20000));
    EXPECT_TRUE(boxes.seen.empty());

    // The application quits: the run ends then and there, even with the window open.
    window = std::make_unique<TmainDlg>();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    appendJob(jobs(), clip("long.avi"), kWebm, QString::fromStdString(out));
    click(window->btnConvert);
    ASSERT_TRUE(waitFor([&] { return ffmpegRuns(); }));
    window->controller()->SessionEnding(true);
    EXPECT_TRUE(waitFor([&] { return !ffmpegRuns(); }, 10000));
    ASSERT_TRUE(runEnds(0, 20000));
    EXPECT_TRUE(boxes.seen.empty());
}

TEST(CloseQuestion, CountsTheConversions)
{
    EXPECT_EQ(closeQuestionText(1), "1 conversion is running. Stop it and quit?");
    EXPECT_EQ(closeQuestionText(2), "2 conversions are running. Stop them and quit?");
    EXPECT_EQ(closeQuestionText(12), "12 conversions are running. Stop them and quit?");
}

TEST_F(RunTest, TheOptionPagesFolderIsWhereItemsWithoutTheirOwnGo)
{
    OptionsPage& page = *window->OptionsPage1;
    click(window->btnOption);
    EXPECT_TRUE(page.isVisible());
    EXPECT_FALSE(window->VirtualStringTree1->isVisible());
    EXPECT_EQ(page.etFolder->text().toStdString(), defaultOutputFolder()) << "the real folder, not a word for it";
    EXPECT_FALSE(page.btnDefaultFolder->isEnabled());

    const std::string chosen = dir.prefix() + "chosen/";
    fs::create_directory(chosen);
    dialogs.folderAnswers.push_back(QString::fromStdString(chosen));
    click(page.btFolder);
    EXPECT_EQ(page.etFolder->text().toStdString(), chosen);
    EXPECT_EQ(driver().GlobalPath, chosen);
    EXPECT_EQ(Settings::load().outputFolder.toStdString(), chosen);
    EXPECT_TRUE(page.btnDefaultFolder->isEnabled());
    click(window->btnList);

    // Added without a folder of their own, the files go to the chosen folder, as the dialog says.
    dialogs.openAnswers.push_back({clip("a.avi")});
    QString saveTo;
    whenModalShows<TaddDlg>([&](TaddDlg& dialog) {
        saveTo = dialog.informationLines().value(2);
        dialog.ComboBox1->setCurrentIndex(kAvi);
        click(dialog.btnOk);
    });
    click(window->btnAdd);
    EXPECT_EQ(saveTo.toStdString(), "save to: use global path (" + chosen + ")");
    click(window->btnConvert);
    ASSERT_TRUE(runEnds(1));
    EXPECT_EQ(probe(chosen + "a.avi"), "avi:mpeg4,mp3");

    // A window opened later has the same folder; Default goes back to Calvera's own.
    window = std::make_unique<TmainDlg>();
    EXPECT_EQ(window->OptionsPage1->etFolder->text().toStdString(), chosen);
    EXPECT_EQ(driver().GlobalPath, chosen);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    click(window->btnOption);
    click(window->OptionsPage1->btnDefaultFolder);
    EXPECT_EQ(window->OptionsPage1->etFolder->text().toStdString(), defaultOutputFolder());
    EXPECT_EQ(driver().GlobalPath, "");
    EXPECT_TRUE(Settings::load().outputFolder.isEmpty());
}

TEST_F(RunTest, ThePopupConvertsTheRestAndTakesConvertedItemsOff)
{
    addThroughTheWindow({clip("a.avi"), clip("b.avi")}, kAvi);
    appendJob(jobs(), QString::fromStdString(dir.file("missing.avi")), kAvi, QString::fromStdString(out));
    click(window->btnConvert);
    ASSERT_TRUE(runEnds(1));
    ASSERT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::done, ItemState::failed}));

    emit window->PopupMenu1->aboutToShow();
    EXPECT_TRUE(window->pmiConvertRest->isEnabled());
    EXPECT_TRUE(window->pmiRemoveFinished->isEnabled());
    outputs.clear();
    window->pmiConvertRest->trigger();
    ASSERT_TRUE(runEnds(2));
    EXPECT_EQ(outputs, std::vector<std::string> {out + "missing.avi"}) << "only the item not converted ran";
    EXPECT_FALSE(fs::exists(out + "a_2.avi"));
    EXPECT_EQ(window->ProgressBar1->Position(), 100);

    window->pmiRemoveFinished->trigger();
    ASSERT_EQ(jobs().count(), 1);
    EXPECT_EQ(jobs().nodeAt(0)->Item.FileName.toStdString(), dir.file("missing.avi"));
    EXPECT_EQ(window->lbCount->text(), "1 files, finished 0 of 1");
    emit window->PopupMenu1->aboutToShow();
    EXPECT_FALSE(window->pmiRemoveFinished->isEnabled()) << "nothing converted is left";
}

TEST_F(RunTest, MissingFfmpegFailsEveryItemAndStillEnds)
{
    addThroughTheWindow({clip("a.avi"), clip("b.avi"), clip("c.avi")}, kMp4);
    driver().FfmpegPath = dir.file("no/ffmpeg");
    click(window->btnConvert);
    ASSERT_TRUE(runEnds(4));
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::failed, ItemState::failed, ItemState::failed}));
    EXPECT_EQ(bars, (std::vector<int> {33, 66, 100}));
    // One box per item, one after the other, and the end of the run last.
    ASSERT_EQ(boxes.seen.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(boxes.seen[i].icon, QMessageBox::Critical);
        EXPECT_TRUE(boxes.seen[i].text.startsWith("\"" + QString::fromStdString(dir.file("no/ffmpeg")) + "\" -i "));
        EXPECT_TRUE(boxes.seen[i].text.endsWith(" doesn't exist.")) << qPrintable(boxes.seen[i].text);
        EXPECT_TRUE(boxes.seen[i].text.contains("abc"[i] + QString(".avi"))) << "in the order of the items";
    }
    EXPECT_EQ(boxes.seen[3].text,
        "0 converted, 3 failed, 0 stopped.\n\nFailed:\n" + clip("a.avi") + ": ffmpeg could not be started\n"
            + clip("b.avi") + ": ffmpeg could not be started\n" + clip("c.avi") + ": ffmpeg could not be started")
        << "the end of the run says what came of it, and why";
    EXPECT_TRUE(hintOf(2).endsWith("\n[error]: ffmpeg could not be started")) << qPrintable(hintOf(2));
    expectIdleLook();
}

TEST_F(RunTest, ErrorsComeInItemOrderAndNeverHoldTheRun)
{
    addThroughTheWindow({clip("a.avi"), clip("b.avi")}, kMp4);
    appendJob(jobs(), clip("c.avi"), 99, QString::fromStdString(out));
    driver().FfmpegPath = dir.file("no/ffmpeg");
    bool endedWhileTheFirstBoxWasOpen = false;
    boxes.whileOpen = [&](const SeenMessage&) {
        if (boxes.seen.size() == 1)
            endedWhileTheFirstBoxWasOpen = waitFor([&] { return driver().Idle(); }, 10000);
    };
    click(window->btnConvert);
    ASSERT_TRUE(runEnds(4));
    EXPECT_TRUE(endedWhileTheFirstBoxWasOpen) << "a box on screen does not hold the conversion up";
    ASSERT_EQ(boxes.seen.size(), 4u);
    EXPECT_TRUE(boxes.seen[0].text.contains("a.avi"));
    EXPECT_TRUE(boxes.seen[1].text.contains("b.avi"));
    EXPECT_TRUE(boxes.seen[2].text.contains("(number 99) is not in the format catalogue"));
    EXPECT_TRUE(boxes.seen[3].text.startsWith("0 converted, 3 failed, 0 stopped.")) << qPrintable(boxes.seen[3].text);
}

TEST_F(RunTest, ImportedListToTheDefaultFolder)
{
    // No directory of its own: the output goes to convert/ next to the program.
    const std::string name = "calvera-run-test-" + std::to_string(::getpid());
    const std::string source = dir.file(name + ".avi");
    fs::copy_file(clips->file("a.avi"), source);
    writeFileBytes(dir.file("jobs.qfl"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<list>\n"
        "<item><filename>"
            + source + "</filename><format>" + std::to_string(kAvi)
            + "</format><path></path></item>\n"
              "<item><filename>"
            + clips->file("b.avi") + "</filename><format>" + std::to_string(kMp4) + "</format><path>" + out
            + "</path></item>\n</list>\n");
    dialogs.openAnswers.push_back({QString::fromStdString(dir.file("jobs.qfl"))});
    click(window->btnImport);
    ASSERT_EQ(jobs().count(), 2);
    click(window->btnConvert);
    ASSERT_TRUE(runEnds(1));

    const std::string converted = programDirectory() + "convert/" + name + ".avi";
    ASSERT_EQ(outputs.size(), 2u);
    EXPECT_EQ(outputs[0], converted);
    EXPECT_EQ(probe(converted), "avi:mpeg4,mp3");
    fs::remove(converted);
    EXPECT_EQ(probe(out + "b.mp4"), kMp4Probe);
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::done}));
}

TEST_F(RunTest, ConvertWithAnEmptyListDoesNothing)
{
    click(window->btnConvert);
    EXPECT_TRUE(driver().Idle());
    expectIdleLook();
    EXPECT_EQ(window->lbCount->text(), "0 files finished 0 of 0");
}

TEST(Timestamp, HoursMinutesSecondsWithoutWrapping)
{
    EXPECT_EQ(timestampText(0), "timestamp: 00:00:00");
    EXPECT_EQ(timestampText(1), "timestamp: 00:00:01");
    EXPECT_EQ(timestampText(3 * 3600 + 25 * 60 + 7), "timestamp: 03:25:07");
    EXPECT_EQ(timestampText(24 * 3600 + 59), "timestamp: 24:00:59");
    EXPECT_EQ(timestampText(100 * 3600 + 3599), "timestamp: 100:59:59");
}

} // namespace

namespace {

TEST(Startup, TerminationRequestEndsARunningConversionAndTheProgram)
{
    const TemporaryStateHome home;
    TempDir dir;
    makeClip(dir.file("long.avi"), 60.0);
    struct sigaction before { };
    sigaction(SIGTERM, nullptr, &before);
    std::uint32_t now = 0;
    bool ffmpegWasRunning = false;
    MessageBoxAnswerer boxes;
    const int code = runCalvera(
        *qApp, [&] { return now += 500; },
        [&](const char* stage) {
            if (std::string(stage) != "main window shown")
                return;
            QTimer::singleShot(0, [&] {
                TmainDlg* window = nullptr;
                for (QWidget* top : QApplication::topLevelWidgets())
                    window = window ? window : qobject_cast<TmainDlg*>(top);
                ASSERT_NE(window, nullptr);
                appendJob(*window->controller()->jobs(), QString::fromStdString(dir.file("long.avi")), kWebm,
                    QString::fromStdString(dir.prefix()));
                window->controller()->btnConvertClick(window->btnConvert);
                ffmpegWasRunning = waitFor([] { return !childProcesses("ffmpeg").empty(); });
                ::raise(SIGTERM);
            });
        });
    EXPECT_EQ(code, 128 + SIGTERM);
    EXPECT_TRUE(ffmpegWasRunning);
    EXPECT_TRUE(boxes.seen.empty()) << "a termination request asks nothing";
    EXPECT_NE(readFileBytes(home.calvera() + "queue.qfl").find("<state>queued</state>"), std::string::npos)
        << "the list is kept, the item that was converting queued again";
    EXPECT_TRUE(childProcesses("ffmpeg").empty()) << "ffmpeg went with the window";
    EXPECT_FALSE(fs::exists(dir.file("long.webm"))) << "and its partial output with it";
    struct sigaction after { };
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler) << "the earlier handling is back";
}

TEST_F(RunTest, ASecondRunThatSkipsWhatIsDoneShowsSkippedRowsAndCountsThemInTheEndBox)
{
    addThroughTheWindow({clip("a.avi"), clip("b.avi")}, kMp4);
    click(window->btnConvert);
    ASSERT_TRUE(runEnds(1));
    ASSERT_EQ(states(), (std::vector<ItemState> {ItemState::done, ItemState::done}));

    // The Option page's choice, kept with the settings, takes effect from the next run.
    click(window->btnOption);
    click(window->OptionsPage1->cbSkipExisting);
    click(window->btnList);
    EXPECT_TRUE(Settings::load().skipExisting);
    click(window->btnConvert);
    ASSERT_TRUE(runEnds(2));
    EXPECT_EQ(states(), (std::vector<ItemState> {ItemState::skipped, ItemState::skipped}));
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[1].text, "Congratulations, works done!\n0 converted, 2 skipped, 0 failed.");
    EXPECT_EQ(boxes.seen[1].icon, QMessageBox::Information);
    EXPECT_TRUE(hintOf(0).endsWith("\n[skipped]: already converted: a.mp4")) << qPrintable(hintOf(0));
    EXPECT_EQ(counts.back(), "2 files, finished 2 of 2");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out))
        ++files;
    EXPECT_EQ(files, 2) << "nothing converted again";
}

} // namespace
