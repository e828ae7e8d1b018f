// The job list kept for the next start in the state folder: what comes back,
// how it is written, and what is done with a file that cannot be read, a
// FIFO in its place and a second window.

#include "EngineTestSupport.h"
#include "GuiTestSupport.h"
#include "JobListModel.h"
#include "OptionsPage.h"
#include "QueueKeeper.h"
#include "Settings.h"
#include "Startup.h"
#include "TempDir.h"
#include "imagebutton.h"
#include "mainForm.h"
#include "saveManager.h"
#include "JobListView.h"
#include "uihook.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class QueueTest : public testing::Test {
protected:
    // A window that keeps its list in folder (the state folder unless told).
    std::unique_ptr<TmainDlg> openWindow(const std::string& folder = {})
    {
        auto window = std::make_unique<TmainDlg>();
        window->controller()->keepQueue(QString::fromStdString(folder.empty() ? home.calvera() : folder));
        return window;
    }
    std::string queueFile(const std::string& folder = {}) const
    {
        return (folder.empty() ? home.calvera() : folder) + "queue.qfl";
    }
    static JobListModel& jobs(const TmainDlg& window) { return *window.controller()->jobs(); }
    static QStringList names(const TmainDlg& window)
    {
        QStringList result;
        for (int row = 0; row < jobs(window).count(); ++row)
            result << jobs(window).nodeAt(row)->Item.FileName;
        return result;
    }
    static std::vector<ItemState> states(const TmainDlg& window)
    {
        std::vector<ItemState> result;
        for (int row = 0; row < jobs(window).count(); ++row)
            result.push_back(jobs(window).nodeAt(row)->State);
        return result;
    }
    // The queue file holds what the window's list is now.
    bool written(const TmainDlg& window, const std::string& folder = {}) const
    {
        return fs::is_regular_file(queueFile(folder))
            && readFileBytes(queueFile(folder)) == window.controller()->saveManager()->QueueText();
    }

    TemporaryStateHome home;
    MessageBoxAnswerer boxes;
};

TEST_F(QueueTest, TheListComesBackWithEachItemsLastOutcome)
{
    {
        const auto window = openWindow();
        for (const char* name : {"/v/done.avi", "/v/failed.avi", "/v/converting.avi", "/v/queued.avi"})
            appendJob(jobs(*window), name, 1, "/out/");
        const ItemState states[] = {ItemState::done, ItemState::failed, ItemState::converting, ItemState::waiting};
        for (int row = 0; row < 4; ++row)
            jobs(*window).setState(jobs(*window).nodeAt(row), states[row]);
        jobs(*window).nodeAt(1)->Failure = "Invalid data found when processing input";
        jobs(*window).nodeChanged(jobs(*window).nodeAt(1));
        ASSERT_TRUE(waitFor([&] { return written(*window); }));
        const std::string kept = readFileBytes(queueFile());
        EXPECT_NE(kept.find("<filename>/v/done.avi</filename>\r\n    <format>1</format>\r\n    <path>/out/</path>\r\n"
                            "    <state>done</state>"),
            std::string::npos)
            << kept;
    }
    const auto window = openWindow();
    EXPECT_EQ(names(*window), (QStringList {"/v/done.avi", "/v/failed.avi", "/v/converting.avi", "/v/queued.avi"}));
    EXPECT_EQ(states(*window),
        (std::vector<ItemState> {ItemState::done, ItemState::failed, ItemState::waiting, ItemState::waiting}))
        << "what was converting comes back queued; Convert the rest still knows what is done";
    EXPECT_TRUE(window->VirtualStringTree1->hintFor(*jobs(*window).nodeAt(1))
                    .endsWith("[error]: Invalid data found when processing input"))
        << "a failed item still says why";
    EXPECT_EQ(window->lbCount->text(), "4 files, finished 0 of 4");
    EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(QueueTest, ChangesAreWrittenInBurstsWholeAndAtQuit)
{
    auto window = openWindow();
    QueueKeeper& keeper = *window->controller()->queueKeeper();
    EXPECT_TRUE(keeper.holdsLock());
    for (int i = 0; i < 200; ++i)
        appendJob(jobs(*window), QString("/v/%1.avi").arg(i), 0, {});
    jobs(*window).move({jobs(*window).nodeAt(199)}, jobs(*window).nodeAt(0));
    jobs(*window).remove(jobs(*window).nodeAt(5));
    ASSERT_TRUE(waitFor([&] { return written(*window); }));
    keeper.flush(); // the writer counts a write once its file is in place
    EXPECT_EQ(keeper.writes(), 1) << "a burst of changes is one write";

    // A change every 20 ms for a second: a few writes, not fifty.
    const std::string firstWrite = readFileBytes(queueFile());
    const int old = ::open(queueFile().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(old, 0);
    QElapsedTimer clock;
    clock.start();
    int changes = 0;
    QTimer changer;
    QObject::connect(&changer, &QTimer::timeout, [&] {
        if (++changes <= 50)
            appendJob(jobs(*window), QString("/w/%1.avi").arg(changes), 0, {});
    });
    changer.start(20);
    ASSERT_TRUE(waitFor([&] { return changes >= 50 && written(*window); }));
    changer.stop();
    keeper.flush();
    const int writes = keeper.writes() - 1;
    EXPECT_GE(writes, 2);
    EXPECT_LE(writes, clock.elapsed() / QueueKeeper::kPauseMs + 2) << "at most a few writes a second";
    // A new file renamed over the old one, which was never written in place.
    struct stat replaced { };
    ASSERT_EQ(::fstat(old, &replaced), 0);
    EXPECT_EQ(replaced.st_nlink, 0u) << "the old file has no name any more";
    std::string oldBytes(firstWrite.size() + 10, '\0');
    oldBytes.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::pread(old, oldBytes.data(), oldBytes.size(), 0))));
    ::close(old);
    EXPECT_EQ(oldBytes, firstWrite) << "and what it held is as it was";
    for (const auto& entry : fs::directory_iterator(home.calvera()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".queue.qfl")) << "no temporary is left";

    // At quit, what changed a moment before is written at once.
    appendJob(jobs(*window), "/v/last.avi", 0, {});
    window.reset();
    const std::string kept = readFileBytes(queueFile());
    EXPECT_NE(kept.find("/v/last.avi"), std::string::npos);
}

TEST_F(QueueTest, AFileThatCannotBeReadIsSetAsideAndSaidSo)
{
    TempDir folders;
    const char* contents[] = {"<list><item><filename>/v/a.avi</filename>", "<commands><command/></commands>",
        "<list><item><filename>/v/a.avi</filename><format>two</format><path/></item></list>"};
    for (const char* content : contents) {
        const std::string folder = folders.prefix() + std::to_string(boxes.seen.size()) + "/";
        fs::create_directories(folder);
        writeFileBytes(queueFile(folder), content);
        const auto window = openWindow(folder);
        ASSERT_TRUE(boxes.waitUntilSeen(boxes.seen.size() + 1)) << content;
        EXPECT_EQ(jobs(*window).count(), 0) << "Calvera starts with an empty list";
        std::vector<fs::path> aside;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().filename().string().starts_with("queue.qfl.damaged-"))
                aside.push_back(entry.path());
        }
        ASSERT_EQ(aside.size(), 1u) << content;
        EXPECT_TRUE(QRegularExpression("^queue\\.qfl\\.damaged-\\d{4}-\\d\\d-\\d\\dT\\d\\d-\\d\\d-\\d\\d$")
                        .match(QString::fromStdString(aside[0].filename().string()))
                        .hasMatch())
            << aside[0];
        EXPECT_EQ(readFileBytes(aside[0].string()), content) << "never lost";
        const SeenMessage& told = boxes.seen.back();
        EXPECT_EQ(told.icon, QMessageBox::Warning);
        EXPECT_TRUE(told.text.startsWith("The list kept from the last time cannot be read (")) << qPrintable(told.text);
        EXPECT_TRUE(told.text.endsWith("It was set aside as " + QString::fromStdString(aside[0].string())
            + ", and Calvera starts with an empty list."))
            << qPrintable(told.text);

        // The window keeps its own list from then on; the file set aside stays.
        appendJob(jobs(*window), "/v/new.avi", 0, {});
        ASSERT_TRUE(waitFor([&] { return written(*window, folder); }));
        EXPECT_TRUE(fs::exists(aside[0]));
    }
    EXPECT_TRUE(boxes.seen[1].text.contains("is not a Calvera list")) << qPrintable(boxes.seen[1].text);
    EXPECT_TRUE(boxes.seen[2].text.contains("'two' is not a valid integer value")) << qPrintable(boxes.seen[2].text);
}

TEST_F(QueueTest, AnOversizeFileIsSetAsideAndAFolderInItsPlaceIsLeftAndNotKept)
{
    fs::create_directories(home.calvera());
    {
        std::ofstream(queueFile()) << "<list>";
    }
    fs::resize_file(queueFile(), (256ull << 20) + 1); // sparse: larger than a list is ever written
    {
        const auto window = openWindow();
        ASSERT_TRUE(boxes.waitUntilSeen(1));
        EXPECT_TRUE(boxes.seen[0].text.startsWith(
            "The list kept from the last time cannot be read (it is larger than Calvera ever writes it"))
            << qPrintable(boxes.seen[0].text);
        EXPECT_FALSE(fs::exists(queueFile())) << "set aside";
    }
    for (const auto& entry : fs::directory_iterator(home.calvera())) {
        if (entry.path().filename().string().starts_with("queue.qfl.damaged-"))
            fs::remove(entry.path());
    }

    fs::remove(queueFile());
    fs::create_directories(queueFile());
    const auto window = openWindow();
    ASSERT_TRUE(boxes.waitUntilSeen(2));
    EXPECT_TRUE(boxes.seen[1].text.endsWith("queue.qfl is not a regular file. This window starts with an empty "
                                            "list, and its list is not kept."))
        << qPrintable(boxes.seen[1].text);
    appendJob(jobs(*window), "/v/a.avi", 0, {});
    window->controller()->queueKeeper()->flush();
    EXPECT_EQ(window->controller()->queueKeeper()->writes(), 0);
    EXPECT_TRUE(fs::is_directory(queueFile())) << "what stands there stays";
}

TEST_F(QueueTest, AFifoInItsPlaceNeitherHangsTheStartNorIsWrittenOver)
{
    fs::create_directories(home.calvera());
    ASSERT_EQ(::mkfifo(queueFile().c_str(), 0600), 0);
    std::atomic<bool> done = false;
    std::atomic<bool> rescued = false;
    std::thread rescuer([&] {
        // Only a reader at the FIFO lets a writer open it: one that waits there is let go, and told of.
        while (!done) {
            if (const int writer = ::open(queueFile().c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); writer >= 0) {
                rescued = true;
                ::close(writer);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const auto window = openWindow();
    done = true;
    rescuer.join();
    EXPECT_FALSE(rescued) << "the FIFO was opened as if it were a file";
    EXPECT_EQ(jobs(*window).count(), 0);
    ASSERT_TRUE(boxes.waitUntilSeen(1));
    EXPECT_TRUE(boxes.seen[0].text.contains("is not a regular file")) << qPrintable(boxes.seen[0].text);
    appendJob(jobs(*window), "/v/a.avi", 0, {});
    window->controller()->queueKeeper()->flush();
    EXPECT_EQ(window->controller()->queueKeeper()->writes(), 0);
    EXPECT_TRUE(fs::is_fifo(queueFile())) << "not Calvera's to replace";
}

TEST_F(QueueTest, ASecondWindowStartsEmptySaysWhyAndNeverWritesTheFile)
{
    auto first = openWindow();
    appendJob(jobs(*first), "/v/a.avi", 0, {});
    appendJob(jobs(*first), "/v/b.avi", 0, {});
    first->controller()->queueKeeper()->flush();
    const std::string kept = readFileBytes(queueFile());

    {
        const auto second = openWindow();
        ASSERT_TRUE(boxes.waitUntilSeen(1));
        EXPECT_EQ(boxes.seen[0].text,
            "Another Calvera window is open, and it keeps the list for the next start. This window starts with an "
            "empty list, and its list is not kept.");
        EXPECT_EQ(jobs(*second).count(), 0);
        EXPECT_FALSE(second->controller()->queueKeeper()->holdsLock());
        appendJob(jobs(*second), "/v/second.avi", 0, {});
        second->controller()->queueKeeper()->flush();
        EXPECT_EQ(second->controller()->queueKeeper()->writes(), 0);
    }
    EXPECT_EQ(readFileBytes(queueFile()), kept) << "the second window never wrote it";

    // Once the first is gone, the next window is the one that keeps the list.
    first.reset();
    const auto next = openWindow();
    EXPECT_EQ(names(*next), (QStringList {"/v/a.avi", "/v/b.avi"}));
    EXPECT_TRUE(next->controller()->queueKeeper()->holdsLock());
    EXPECT_EQ(boxes.seen.size(), 1u);
}

TEST_F(QueueTest, StartWithAnEmptyListNeitherRestoresNorKeepsIt)
{
    const auto window = openWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    appendJob(jobs(*window), "/v/a.avi", 0, {});
    ASSERT_TRUE(waitFor([&] { return written(*window); }));
    QCheckBox& startEmpty = *window->OptionsPage1->cbStartEmpty;
    window->controller()->btnOptionClick(window->btnOption);
    QTest::mouseClick(&startEmpty, Qt::LeftButton, {}, QPoint(8, startEmpty.height() / 2));
    ASSERT_TRUE(Settings::load().startEmpty);
    EXPECT_FALSE(fs::exists(queueFile())) << "ticked: the kept list goes";
    appendJob(jobs(*window), "/v/b.avi", 0, {});
    window->controller()->queueKeeper()->flush();
    EXPECT_FALSE(fs::exists(queueFile()));
    QTest::mouseClick(&startEmpty, Qt::LeftButton, {}, QPoint(8, startEmpty.height() / 2));
    EXPECT_TRUE(waitFor([&] { return written(*window); })) << "unticked: kept again, at once";

    QTest::mouseClick(&startEmpty, Qt::LeftButton, {}, QPoint(8, startEmpty.height() / 2));
    writeFileBytes(queueFile(),
        "<list><item><filename>/v/old.avi</filename><format>0</format><path/><state>done</state></item></list>");
    const auto later = openWindow();
    EXPECT_EQ(jobs(*later).count(), 0) << "an empty list at the start";
    appendJob(jobs(*later), "/v/c.avi", 0, {});
    later->controller()->queueKeeper()->flush();
    EXPECT_NE(readFileBytes(queueFile()).find("/v/old.avi"), std::string::npos) << "and nothing written";
}

TEST_F(QueueTest, TheStartRestoresTheListFromTheStateFolder)
{
    fs::create_directories(home.calvera());
    writeFileBytes(queueFile(),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<list><item><filename>/v/kept.avi</filename><format>2</format>"
        "<path>/out/</path><state>done</state></item></list>\r\n");
    QStringList shown;
    std::vector<ItemState> shownStates;
    std::uint32_t now = 0;
    const int code = runCalvera(
        *qApp, [&] { return now += 500; },
        [&](const char* stage) {
            if (std::string(stage) != "main window shown")
                return;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* window = qobject_cast<TmainDlg*>(top)) {
                    shown = names(*window);
                    shownStates = states(*window);
                    QTimer::singleShot(0, window, &QWidget::close);
                }
            }
        });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(shown, QStringList {"/v/kept.avi"});
    EXPECT_EQ(shownStates, std::vector<ItemState> {ItemState::done});
    EXPECT_NE(readFileBytes(queueFile()).find("<state>done</state>"), std::string::npos) << "kept again at quit";
}

} // namespace
