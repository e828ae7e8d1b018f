// A run steered from the window while it converts: held and let go, one
// item stopped, the rest converted; and what the end of a run says.

#include "EngineTestSupport.h"
#include "GuiTestSupport.h"
#include "ItemForm.h"
#include "MyButtonEx.h"
#include "FlatEditUnit.h"
#include "JobListView.h"
#include "Settings.h"
#include "TempDir.h"
#include "command.h"
#include "imagebutton.h"
#include "mainForm.h"
#include "uihook.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// A window whose "ffmpeg" writes its pid beside its source and waits until a
// file named like the source with ".go" exists.
class SteeringTest : public testing::Test {
protected:
    SteeringTest()
    {
        Settings two;
        two.jobs = 2;
        two.save();
        window = std::make_unique<TmainDlg>();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        writeScript(dir.file("ffmpeg"),
            standInArguments()
                + "echo $$ > \"$source.pid\"\nwhile [ ! -e \"$source.go\" ]; do sleep 0.02; done\n"
                  "echo converted > \"$output\"");
        driver().FfmpegPath = dir.file("ffmpeg");
    }
    ~SteeringTest() override { Settings().save(); }

    TCommand& driver() const { return *window->controller()->driver(); }
    JobListModel& jobs() const { return *window->controller()->jobs(); }
    JobListModel::Node* queue(const std::string& name)
    {
        writeFileBytes(dir.file(name), "v");
        return appendJob(jobs(), QString::fromStdString(dir.file(name)), 0, QString::fromStdString(dir.prefix()));
    }
    long pidOf(const std::string& name) { return pidWrittenTo(dir.file(name) + ".pid"); }
    void release(const std::string& name) { writeFileBytes(dir.file(name) + ".go", ""); }
    static void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center()); }
    bool runEnds() const
    {
        return waitFor([&] { return driver().Idle(); }, 30000);
    }
    void select(const std::vector<int>& rows) const
    {
        JobListView& view = *window->VirtualStringTree1;
        view.selectionModel()->setCurrentIndex(jobs().index(rows.front(), 0), QItemSelectionModel::NoUpdate);
        view.selectionModel()->clearSelection();
        for (const int row : rows)
            view.selectionModel()->select(
                jobs().index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    const TemporaryStateHome home;
    TempDir dir;
    FakeDialogs dialogs;
    MessageBoxAnswerer boxes;
    std::unique_ptr<TmainDlg> window;
};

TEST_F(SteeringTest, PauseHoldsBothRunningFfmpegsTheClockAndTheRowsAndResumeLetsThemGo)
{
    queue("a.avi");
    queue("b.avi");
    queue("c.avi");
    click(window->btnConvert);
    const long a = pidOf("a.avi");
    const long b = pidOf("b.avi");
    click(window->btnConvert);
    ASSERT_TRUE(driver().Paused()) << "Convert holds a running run";
    EXPECT_TRUE(waitFor([&] { return processGroupHeld(a) && processGroupHeld(b); }));
    EXPECT_EQ(window->lbConvert->text(), "<u>R</u>esume");
    EXPECT_EQ(jobs().nodeAt(0)->State, ItemState::paused) << "the running rows show it";
    emit window->PopupMenu1->aboutToShow();
    EXPECT_EQ(window->pmiPause->text(), "&Resume");
    const QString clock = window->lbTimer->text();
    // a's ffmpeg ends while held: its output is measured, and the item ends, only once let go.
    release("a.avi");
    ::kill(-static_cast<pid_t>(a), SIGCONT);
    ASSERT_TRUE(waitFor([&] { return !processRuns(a); }));
    EXPECT_FALSE(fs::exists(dir.file("c.avi.pid"))) << "nothing starts while held";
    waitFor([] { return false; }, 1200);
    EXPECT_EQ(window->lbTimer->text(), clock) << "the clock stands still";
    EXPECT_NE(jobs().nodeAt(0)->State, ItemState::done);

    QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_FALSE(driver().Paused()) << "Ctrl+P lets it go on";
    ASSERT_TRUE(waitFor([&] { return jobs().nodeAt(0)->State == ItemState::done; }));
    EXPECT_EQ(window->lbConvert->text(), "<u>P</u>ause");
    EXPECT_TRUE(waitFor([&] { return !processGroupHeld(b); }));
    EXPECT_GT(pidOf("c.avi"), 0);
    release("b.avi");
    release("c.avi");
    ASSERT_TRUE(runEnds());
    EXPECT_EQ(window->lbConvert->text(), "<u>C</u>onvert");
}

TEST_F(SteeringTest, StopWhileHeldEndsEverythingAndLeavesNothing)
{
    queue("a.avi");
    queue("b.avi");
    click(window->btnConvert);
    const long a = pidOf("a.avi");
    click(window->btnConvert);
    ASSERT_TRUE(waitFor([&] { return processGroupHeld(a); }));
    click(window->btnStop);
    ASSERT_TRUE(runEnds());
    EXPECT_TRUE(waitFor([&] { return childProcesses("ffmpeg").empty(); })) << "no held ffmpeg is left";
    EXPECT_TRUE(temporariesIn(dir.prefix()).empty());
}

TEST_F(SteeringTest, StopThisItemEndsTheChosenOnesAndTheRunGoesOn)
{
    queue("a.avi");
    queue("b.avi");
    queue("c.avi");
    queue("d.avi");
    click(window->btnConvert);
    ASSERT_GT(pidOf("a.avi"), 0);
    ASSERT_GT(pidOf("b.avi"), 0);
    // a runs and c waits: a is stopped, c leaves the run.
    select({0, 2});
    window->pmiStopItem->trigger();
    ASSERT_TRUE(waitFor([&] { return jobs().nodeAt(0)->State == ItemState::stopped; }));
    EXPECT_EQ(jobs().nodeAt(0)->Failure, "stopped");
    EXPECT_FALSE(driver().Idle()) << "the run goes on";
    EXPECT_EQ(window->lbCount->text(), "4 files, finished 1 of 3");
    ASSERT_GT(pidOf("d.avi"), 0) << "the next waiting item takes the free lane";
    release("b.avi");
    release("d.avi");
    ASSERT_TRUE(runEnds());
    EXPECT_EQ(jobs().nodeAt(2)->State, ItemState::waiting);
    ASSERT_TRUE(boxes.waitUntilSeen(1));
    EXPECT_TRUE(boxes.seen[0].text.startsWith("2 converted, 0 failed, 1 stopped.")) << qPrintable(boxes.seen[0].text);

    // Convert the rest, for the chosen items only.
    select({2});
    window->pmiConvertRest->trigger();
    ASSERT_GT(pidOf("c.avi"), 0);
    EXPECT_EQ(driver().RunItemCount(), 1) << "a stopped, not chosen, waits";
    release("c.avi");
    ASSERT_TRUE(runEnds());
}

// During a run Properties reach only the waiting items: what ran keeps what it
// ran with, and the dialog says how many the change reaches.
TEST_F(SteeringTest, PropertiesDuringARunChangeOnlyTheWaitingItems)
{
    driver().Verify = Verification::none;
    JobListModel::Node* a = queue("a.avi");
    JobListModel::Node* b = queue("b.avi");
    JobListModel::Node* c = queue("c.avi");
    JobListModel::Node* d = queue("d.avi");
    click(window->btnConvert);
    ASSERT_GT(pidOf("a.avi"), 0);
    ASSERT_GT(pidOf("b.avi"), 0);
    release("a.avi");
    ASSERT_TRUE(waitFor([&] { return a->State == ItemState::done && pidOf("c.avi") > 0; }));
    // a converted, b and c converting, d waiting.
    // Every item chosen, format 3 for all of them, OK; what the dialog said is kept.
    QStringList lines;
    const auto chooseFormatForAll = [&] {
        whenModalShows<TItemDlg>([&](TItemDlg& dialog) {
            lines = dialog.informationLines();
            dialog.ComboBox1->setCurrentIndex(3);
            QTest::mouseClick(dialog.btnOk, Qt::LeftButton);
        });
        window->VirtualStringTree1->selectAll();
        window->pmiProperties->trigger();
    };
    chooseFormatForAll();
    EXPECT_TRUE(lines.contains("a change applies to the waiting items only: 1 of 4; the others keep theirs"))
        << qPrintable(lines.join(" | "));
    EXPECT_EQ(a->Item.FormatIndex, 0) << "a converted item keeps the format it converted with";
    EXPECT_EQ(b->Item.FormatIndex, 0);
    EXPECT_EQ(c->Item.FormatIndex, 0);
    EXPECT_EQ(d->Item.FormatIndex, 3);
    for (const char* name : {"b.avi", "c.avi", "d.avi"})
        release(name);
    ASSERT_TRUE(runEnds());
    // Between runs it reaches every item chosen: that is how an item is aimed anew.
    chooseFormatForAll();
    EXPECT_FALSE(lines.join(" ").contains("waiting items only"));
    for (const JobListModel::Node* node : {a, b, c, d})
        EXPECT_EQ(node->Item.FormatIndex, 3);
}

TEST_F(SteeringTest, TheEndOfARunWithFailuresWarnsGivesReasonsAndOpensTheFirstLog)
{
    for (int i = 0; i < 7; ++i)
        appendJob(jobs(), QString::fromStdString(dir.file("missing" + std::to_string(i) + ".avi")), 0,
            QString::fromStdString(dir.prefix()));
    driver().FfmpegPath = "ffmpeg";
    dialogs.openUrlWorks = false;
    bool stayedOpen = false;
    boxes.whileOpen = [&](const SeenMessage& seen) {
        // The end box's own button, before OK: it opens the log and the box stays to be read.
        if (seen.icon != QMessageBox::Warning || !seen.text.contains("failed"))
            return;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible()) {
                for (QAbstractButton* button : box->buttons()) {
                    if (button->text() == "Show log") {
                        button->click();
                        stayedOpen = box->isVisible();
                    }
                }
            }
        }
    };
    click(window->btnConvert);
    ASSERT_TRUE(boxes.waitUntilSeen(2));
    const QString text = boxes.seen[0].text;
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(text.startsWith("0 converted, 7 failed, 0 stopped.\n\nFailed:\n")) << qPrintable(text);
    EXPECT_TRUE(text.contains(QString::fromStdString(dir.file("missing4.avi")) + ": "));
    EXPECT_FALSE(text.contains("missing5.avi")) << "the first five only";
    EXPECT_TRUE(text.endsWith("\nand 2 more")) << qPrintable(text);
    ASSERT_TRUE(dialogs.calls.last().startsWith("url:file://")) << qPrintable(dialogs.calls.join(", "));
    EXPECT_TRUE(dialogs.calls.last().endsWith("_missing0.avi.log")) << "the first failure's log";
    EXPECT_TRUE(stayedOpen) << "Show log leaves the summary open";
    // No program to open it: said, naming the file.
    EXPECT_EQ(boxes.seen[1].icon, QMessageBox::Warning);
    EXPECT_TRUE(boxes.seen[1].text.startsWith("No program was found to open \"")) << qPrintable(boxes.seen[1].text);
    EXPECT_TRUE(boxes.seen[1].text.endsWith("_missing0.avi.log\".")) << qPrintable(boxes.seen[1].text);
}

TEST_F(SteeringTest, AFullSuccessSaysSoWithALineForWhatWentUnchecked)
{
    queue("a.avi");
    release("a.avi");
    click(window->btnConvert);
    ASSERT_TRUE(runEnds());
    ASSERT_TRUE(boxes.waitUntilSeen(1));
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Information);
    EXPECT_EQ(boxes.seen[0].text, "Congratulations, works done!\n1 converted without a check of its length.");
    EXPECT_EQ(jobs().nodeAt(0)->Remark, "unchecked: the input could not be measured");
}

} // namespace
