// What the window does when a run ends, as the Option page says: the notice
// counts down beside the end-of-run box, Cancel stops it, Quit closes Calvera.
// Suspending and powering off go to logind: DesktopSessionTest has them.

#include "EngineTestSupport.h"
#include "FlatEditUnit.h"
#include "GuiTestSupport.h"
#include "JobListModel.h"
#include "JobListView.h"
#include "MyButtonEx.h"
#include "OptionsPage.h"
#include "Settings.h"
#include "TempDir.h"
#include "WhenDoneNotice.h"
#include "command.h"
#include "imagebutton.h"
#include "mainForm.h"
#include "uihook.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;

namespace {

// Records which windows a modal window blocked.
class BlockedWindows final : public QObject {
public:
    BlockedWindows() { qApp->installEventFilter(this); }
    ~BlockedWindows() override { qApp->removeEventFilter(this); }
    bool blocked(const QWidget* widget) const
    {
        return m_blocked.contains(widget) || (widget->windowHandle() && m_blocked.contains(widget->windowHandle()));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::WindowBlocked)
            m_blocked.insert(watched);
        if (event->type() == QEvent::WindowUnblocked)
            m_blocked.remove(watched);
        return false;
    }

private:
    QSet<const QObject*> m_blocked;
};

class WhenDoneTest : public testing::Test {
protected:
    WhenDoneTest()
    {
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    static void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center()); }
    // Chooses an entry of "When a run ends" with the keyboard, as the user would.
    void choose(WhenDone action)
    {
        click(window->btnOption);
        TMyFlatComboBox& combo = *window->OptionsPage1->cbWhenDone;
        combo.setFocus();
        QTest::keyClick(&combo, Qt::Key_Home);
        for (int i = 0; i < static_cast<int>(action); ++i)
            QTest::keyClick(&combo, Qt::Key_Down);
        click(window->btnList);
    }
    // A run that ends by itself at once: its item's format is not in the catalogue.
    void runToItsEnd()
    {
        window->controller()->jobs()->clear();
        appendJob(*window->controller()->jobs(), QString::fromStdString(dir.file("a.avi")), 99, {});
        click(window->btnConvert);
    }
    WhenDoneNotice* notice() const { return window->controller()->whenDoneNotice(); }
    bool isEndOfRun(const SeenMessage& message) const { return message.text.startsWith("0 converted, 1 failed"); }

    TemporaryStateHome home;
    TempDir dir;
    FakeDialogs dialogs;
    MessageBoxAnswerer boxes;
    std::unique_ptr<TmainDlg> window = std::make_unique<TmainDlg>();
};

TEST_F(WhenDoneTest, QuitComesAfterItsNoticeWhichCountsWhileTheEndOfRunBoxIsOpen)
{
    EXPECT_EQ(window->OptionsPage1->cbWhenDone->currentText(), "Do nothing") << "the default";
    choose(WhenDone::Quit);
    EXPECT_EQ(window->OptionsPage1->cbWhenDone->currentText(), "Quit Calvera");
    EXPECT_EQ(Settings::load().whenDone, WhenDone::Quit) << "kept for the next start";
    window->controller()->setWhenDoneCountdown(2500ms);

    BlockedWindows blocking;
    bool noticeShownWithTheBox = false;
    bool countedDownWithTheBoxOpen = false;
    bool windowBlocked = false;
    bool noticeBlocked = true;
    QString text;
    boxes.whileOpen = [&](const SeenMessage& message) {
        if (!isEndOfRun(message))
            return;
        noticeShownWithTheBox = notice() && notice()->isVisible();
        if (!noticeShownWithTheBox)
            return;
        text = notice()->text();
        const int first = notice()->secondsLeft();
        countedDownWithTheBoxOpen = waitFor([&] { return notice()->secondsLeft() < first; }, 10000);
        windowBlocked = blocking.blocked(window.get());
        noticeBlocked = blocking.blocked(notice());
    };
    runToItsEnd();
    ASSERT_TRUE(boxes.waitUntilSeen(2));
    EXPECT_TRUE(noticeShownWithTheBox) << "the box does not hold the notice back";
    // Three seconds at first (2.5 rounded up); a loaded machine may show the box a moment later.
    EXPECT_TRUE(text == "The run has ended.\nCalvera quits in 3 seconds."
        || text == "The run has ended.\nCalvera quits in 2 seconds."
        || text == "The run has ended.\nCalvera quits in 1 second.")
        << qPrintable(text);
    EXPECT_TRUE(countedDownWithTheBoxOpen);
    EXPECT_TRUE(windowBlocked) << "the box is modal to the window";
    EXPECT_FALSE(noticeBlocked) << "but the notice's Cancel can be pressed";
    EXPECT_TRUE(waitFor([&] { return !window->isVisible(); }, 10000)) << "Calvera quits";
    EXPECT_FALSE(notice()->isVisible());
}

TEST_F(WhenDoneTest, SuspendAndPowerOffAreForTheNextRunAloneAndNeverKept)
{
    // Each run here shows two boxes: its item's error, and the end of the run.
    std::size_t boxesSeen = 0;
    for (const WhenDone action : {WhenDone::Suspend, WhenDone::PowerOff}) {
        choose(action);
        EXPECT_EQ(Settings::load().whenDone, WhenDone::Nothing) << "not kept for a later start";
        runToItsEnd();
        ASSERT_TRUE(boxes.waitUntilSeen(boxesSeen += 2));
        ASSERT_NE(notice(), nullptr);
        EXPECT_EQ(notice()->action(), action);
        QTest::keyClick(notice(), Qt::Key_Escape);
        EXPECT_EQ(window->OptionsPage1->cbWhenDone->currentText(), "Do nothing") << "given up once its run ended";
        runToItsEnd();
        ASSERT_TRUE(boxes.waitUntilSeen(boxesSeen += 2));
        EXPECT_EQ(notice(), nullptr) << "the next run does nothing";
    }
    // Quit stays, run after run and start after start.
    choose(WhenDone::Quit);
    EXPECT_EQ(Settings::load().whenDone, WhenDone::Quit);
}

TEST_F(WhenDoneTest, CancelEscAStoppedRunAndANewRunStopIt)
{
    choose(WhenDone::PowerOff);
    boxes.whileOpen = [&](const SeenMessage& message) {
        if (!isEndOfRun(message) || !notice())
            return;
        EXPECT_EQ(notice()->text(), "The run has ended.\nThe computer powers off in 60 seconds.");
        click(notice()->btnCancel);
    };
    runToItsEnd();
    ASSERT_TRUE(boxes.waitUntilSeen(2));
    ASSERT_NE(notice(), nullptr);
    EXPECT_FALSE(notice()->isVisible());
    EXPECT_FALSE(notice()->counting()) << "Cancel, while the box was open";

    boxes.whileOpen = {};
    choose(WhenDone::PowerOff);
    runToItsEnd();
    ASSERT_TRUE(boxes.waitUntilSeen(4));
    ASSERT_TRUE(notice()->counting());
    QTest::keyClick(notice(), Qt::Key_Escape);
    EXPECT_FALSE(notice()->counting()) << "Esc";

    choose(WhenDone::PowerOff);
    runToItsEnd();
    ASSERT_TRUE(boxes.waitUntilSeen(6));
    ASSERT_TRUE(notice()->counting());
    choose(WhenDone::PowerOff);
    writeScript(dir.file("sleeper"), "case \"$1\" in -hide_banner) exit 0;; esac\nexec sleep 60\n");
    window->controller()->driver()->FfmpegPath = dir.file("sleeper");
    writeFileBytes(dir.file("b.avi"), "b");
    window->controller()->jobs()->clear();
    appendJob(*window->controller()->jobs(), QString::fromStdString(dir.file("b.avi")), 0,
        QString::fromStdString(dir.prefix()));
    click(window->btnConvert);
    EXPECT_EQ(notice(), nullptr) << "a new run is what counts now";
    click(window->btnStop);
    ASSERT_TRUE(waitFor([&] { return window->controller()->driver()->Idle(); }));
    EXPECT_EQ(notice(), nullptr) << "a stopped run does nothing";
    EXPECT_EQ(boxes.seen.size(), 6u);

    // Its only item stopped alone: the run ends by itself, stopped all the same.
    click(window->btnConvert);
    ASSERT_TRUE(waitFor([&] { return window->controller()->jobs()->nodeAt(0)->State == ItemState::converting; }));
    window->VirtualStringTree1->setCurrentIndex(window->controller()->jobs()->index(0, 0));
    window->pmiStopItem->trigger();
    ASSERT_TRUE(waitFor([&] { return window->controller()->driver()->Idle(); }));
    ASSERT_TRUE(boxes.waitUntilSeen(7));
    EXPECT_TRUE(boxes.seen[6].text.startsWith("0 converted, 0 failed, 1 stopped.")) << qPrintable(boxes.seen[6].text);
    EXPECT_EQ(notice(), nullptr) << "an all-stopped run does nothing either";
}

TEST(WhenDoneNotice, SaysWhatComesAndCountsDown)
{
    EXPECT_EQ(whenDoneText(WhenDone::Suspend, 60), "The run has ended.\nThe computer suspends in 60 seconds.");
    EXPECT_EQ(whenDoneText(WhenDone::PowerOff, 1), "The run has ended.\nThe computer powers off in 1 second.");
    EXPECT_EQ(whenDoneText(WhenDone::Quit, 0), "The run has ended.\nCalvera quits in 0 seconds.");

    WhenDoneNotice notice(WhenDone::Suspend, 1900ms);
    EXPECT_EQ(notice.secondsLeft(), 2) << "rounded up";
    notice.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&notice));
    EXPECT_TRUE(notice.testAttribute(Qt::WA_QuitOnClose) == false) << "it never keeps Calvera running";
    EXPECT_EQ(notice.btnCancel->Caption(), "&Cancel");
    bool due = false;
    QObject::connect(&notice, &WhenDoneNotice::due, [&] { due = true; });
    ASSERT_TRUE(waitFor([&] { return notice.text().endsWith("in 1 second."); }, 10000));
    ASSERT_TRUE(waitFor([&] { return due; }, 10000));
    EXPECT_FALSE(notice.isVisible());
    // The whole text fits its label.
    EXPECT_LE(notice.lbText->heightForWidth(notice.lbText->width()), notice.lbText->height());
}

} // namespace
