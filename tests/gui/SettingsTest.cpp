// The Option page's choices: how they are kept, and how the page shows them.

#include "EngineTestSupport.h"
#include "FfmpegAbilities.h"
#include "FlatEditUnit.h"
#include "GuiTestSupport.h"
#include "addForm.h"
#include "command.h"
#include "imagebutton.h"
#include "MyButtonEx.h"
#include "OptionsPage.h"
#include "Settings.h"
#include "TempDir.h"
#include "Translations.h"
#include "UserFiles.h"
#include "ProgramDir.h"
#include "commandManager.h"
#include "mainForm.h"
#include "uihook.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(Settings, TheNewChoicesAreKeptAndReadBack)
{
    const TemporaryStateHome home;
    EXPECT_EQ(Settings::filePath().toStdString(), home.calvera() + "calvera.conf");
    const Settings defaults = Settings::load();
    EXPECT_EQ(defaults, Settings()) << "nothing saved yet";
    EXPECT_EQ(defaults.whenDone, WhenDone::Nothing);
    EXPECT_FALSE(defaults.startEmpty);
    EXPECT_FALSE(defaults.verifyDecode);

    for (const WhenDone action : {WhenDone::Quit, WhenDone::Suspend, WhenDone::PowerOff, WhenDone::Nothing}) {
        Settings chosen;
        chosen.jobs = 1;
        chosen.whenDone = action;
        chosen.startEmpty = action != WhenDone::Nothing;
        chosen.verifyDecode = action == WhenDone::Suspend;
        chosen.save();
        // Suspend and power off are for the next run alone: a later start does nothing.
        Settings kept = chosen;
        kept.whenDone = action == WhenDone::Quit ? WhenDone::Quit : WhenDone::Nothing;
        EXPECT_EQ(Settings::load(), kept) << static_cast<int>(action);
    }
    Settings chosen;
    chosen.whenDone = WhenDone::PowerOff;
    chosen.verifyDecode = true;
    chosen.save();
    const std::string saved = readFileBytes(home.calvera() + "calvera.conf");
    for (const char* line : {"whenDone=nothing", "verifyDecode=true", "startEmpty=false"})
        EXPECT_NE(saved.find(line), std::string::npos) << line << " in\n" << saved;
    // Nor is one saved by an earlier Calvera taken.
    writeFileBytes(home.calvera() + "calvera.conf", "[conversion]\nwhenDone=poweroff\n");
    EXPECT_EQ(Settings::load().whenDone, WhenDone::Nothing);

    // The last Add's choice beside the settings: each leaves the other alone.
    EXPECT_EQ(AddChoice::load(), AddChoice()) << "none yet";
    AddChoice {3, "/videos/out"}.save();
    chosen.addFromLast = false;
    chosen.save();
    EXPECT_EQ(AddChoice::load(), (AddChoice {3, "/videos/out/"})) << "a folder gets its trailing /";
    EXPECT_FALSE(Settings::load().addFromLast);
    AddChoice {0, ""}.save();
    EXPECT_EQ(AddChoice::load(), (AddChoice {0, ""})) << "back to the global path";
    chosen.whenDone = WhenDone::Nothing;
    EXPECT_EQ(Settings::load(), chosen) << "power off was for the next run alone";
    writeFileBytes(home.calvera() + "calvera.conf", "[add]\nlastFormat=-7\nlastFolder=relative/\n");
    EXPECT_EQ(AddChoice::load(), AddChoice()) << "nothing Calvera could use";

    writeFileBytes(home.calvera() + "calvera.conf", "[conversion]\nwhenDone=explode\nsimultaneous=1\n");
    EXPECT_EQ(Settings::load().whenDone, WhenDone::Nothing) << "what Calvera does not know is nothing";
}

TEST(Settings, AFifoAtCalveraConfNeitherHangsTheStartNorIsWrittenOver)
{
    const TemporaryStateHome home;
    std::filesystem::create_directories(home.calvera());
    const std::string fifo = home.calvera() + "calvera.conf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Should reading wait for a writer, the rescuer below is one, so the test fails instead of hanging.
    std::atomic<bool> done = false;
    std::atomic<bool> rescued = false;
    std::thread rescuer([&] {
        // Only a reader at the FIFO lets a writer open it: one that waits there is let go, and told of.
        while (!done) {
            if (const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); writer >= 0) {
                rescued = true;
                ::close(writer);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const Settings loaded = Settings::load();
    Settings chosen;
    chosen.jobs = 1;
    chosen.verifyDecode = true;
    chosen.save();
    const AddChoice lastAdd = AddChoice::load();
    AddChoice {2, "/videos/"}.save();
    done = true;
    rescuer.join();
    EXPECT_FALSE(rescued) << "calvera.conf was opened as if it were a file";
    EXPECT_EQ(loaded, Settings()) << "the defaults";
    EXPECT_EQ(lastAdd, AddChoice()) << "no last Add either";
    struct stat info { };
    ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "what the user put there stays";
}

TEST(UserFiles, AFifoForTheUsersOwnFormatsIsPassedOver)
{
    const TemporaryStateHome home;
    std::filesystem::create_directories(home.calvera());
    ASSERT_EQ(::mkfifo((home.calvera() + "command").c_str(), 0600), 0);
    EXPECT_EQ(checkUserFile(home.calvera() + "command"), UserFileKind::Refused);
    const TCommandManager shipped(programDirectory() + "command");
    TmainDlg window; // would wait for a writer, or raise "It is not a regular file"
    EXPECT_EQ(window.controller()->catalogue().Formats(), shipped.Formats()) << "the shipped formats only";

    writeFileBytes(home.calvera() + "regular", "<list/>");
    EXPECT_EQ(checkUserFile(home.calvera() + "regular"), UserFileKind::Regular);
    EXPECT_EQ(readUserFile(home.calvera() + "regular", 100), std::optional<std::string>("<list/>"));
    EXPECT_EQ(readUserFile(home.calvera() + "regular", 3), std::nullopt) << "too large";
    EXPECT_EQ(checkUserFile(home.calvera() + "none"), UserFileKind::Missing);
    EXPECT_EQ(checkUserFile(home.calvera()), UserFileKind::Refused) << "a folder";
}

class OptionsPageTest : public testing::Test {
protected:
    OptionsPageTest()
    {
        holder.resize(828, 249);
        page.setGeometry(0, 0, 828, 249);
        holder.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&holder));
    }

    const TemporaryStateHome home;
    QWidget holder;
    OptionsPage page {&holder};
};

TEST_F(OptionsPageTest, EveryControlFitsThePageAndNoneCoversAnother)
{
    // In every language Calvera speaks: longer words must still fit their places.
    for (const QString& language : QStringList {"en"} + Translations::available()) {
        const Translations translations(QStringList {language});
        const OptionsPage translated(&holder);
        QList<QWidget*> controls;
        for (QObject* child : translated.children()) {
            if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isWindow())
                controls << widget;
        }
        ASSERT_GE(controls.size(), 12);
        for (const QWidget* control : controls) {
            const std::string name = language.toStdString() + ": " + control->objectName().toStdString() + " "
                + control->accessibleName().toStdString();
            EXPECT_TRUE(page.rect().contains(control->geometry())) << name << " sticks out of the page";
            if (auto* label = qobject_cast<const QLabel*>(control)) {
                EXPECT_GE(label->width(), label->sizeHint().width()) << qPrintable(label->text()) << " is cut";
                EXPECT_GE(label->height(), label->sizeHint().height()) << qPrintable(label->text()) << " is cut";
            }
            if (auto* box = qobject_cast<const QCheckBox*>(control)) {
                EXPECT_GE(box->width(), box->sizeHint().width()) << qPrintable(box->text()) << " is cut";
            }
            for (const QWidget* other : controls) {
                if (other != control) {
                    EXPECT_FALSE(control->geometry().intersects(other->geometry()))
                        << name << " covers " << other->objectName().toStdString();
                }
            }
        }
    }
    EXPECT_EQ(page.cbWhenDone->count(), 4);
    QStringList entries;
    for (int i = 0; i < page.cbWhenDone->count(); ++i)
        entries << page.cbWhenDone->itemText(i);
    EXPECT_EQ(entries, (QStringList {"Do nothing", "Quit Calvera", "Suspend", "Power off"}));
    EXPECT_EQ(page.cbStartEmpty->text(), "Start with an empty list");
    EXPECT_EQ(page.cbVerifyDecode->text(), "Check each output by decoding it (slower)");
    EXPECT_EQ(page.cbWhenDone->height(), page.cbJobs->height()) << "the same flat drop-down list";
}

TEST_F(OptionsPageTest, TheNewChoicesAreReportedAsTheyAreMade)
{
    QSignalSpy changed(&page, &OptionsPage::changed);
    QTest::mouseClick(page.cbStartEmpty, Qt::LeftButton, {}, QPoint(8, page.cbStartEmpty->height() / 2));
    EXPECT_TRUE(page.settings().startEmpty);
    QTest::mouseClick(page.cbVerifyDecode, Qt::LeftButton, {}, QPoint(8, page.cbVerifyDecode->height() / 2));
    EXPECT_TRUE(page.settings().verifyDecode);
    page.cbWhenDone->setFocus();
    QTest::keyClick(page.cbWhenDone, Qt::Key_End);
    EXPECT_EQ(page.settings().whenDone, WhenDone::PowerOff);
    ASSERT_EQ(changed.count(), 3);
    const Settings last = changed.last().at(0).value<Settings>();
    EXPECT_TRUE(last.startEmpty);
    EXPECT_TRUE(last.verifyDecode);
    EXPECT_EQ(last.whenDone, WhenDone::PowerOff);

    Settings shown;
    shown.whenDone = WhenDone::Suspend;
    page.setSettings(shown);
    EXPECT_EQ(page.cbWhenDone->currentText(), "Suspend");
    EXPECT_FALSE(page.cbStartEmpty->isChecked());
    EXPECT_FALSE(page.cbVerifyDecode->isChecked());
    EXPECT_EQ(changed.count(), 3) << "what the program sets is no change by the user";
}

// Each Add starts from the format and folder of the last one confirmed, also
// after a new start, unless the Option page turns that off.
TEST(AddFiles, StartFromTheLastConfirmedFormatAndFolderUnlessTurnedOff)
{
    const TemporaryStateHome home;
    TempDir dir;
    writeFileBytes(dir.file("a.avi"), "x");
    FakeDialogs dialogs;
    const QString folder = QString::fromStdString(dir.prefix());
    struct Seen {
        int format = -2;
        QString folder;
        QStringList lines;
    };
    // One Add: what its dialog starts from; act then closes it.
    const auto add = [&](TmainDlg& window, const std::function<void(TaddDlg&)>& act) {
        Seen seen;
        dialogs.openAnswers.push_back({QString::fromStdString(dir.file("a.avi"))});
        whenModalShows<TaddDlg>([&](TaddDlg& dialog) {
            seen = {dialog.formatIndex(), dialog.directory(), dialog.informationLines()};
            act(dialog);
        });
        window.controller()->btnAddClick(window.btnAdd);
        return seen;
    };
    const auto ok = [](TaddDlg& dialog) { QTest::mouseClick(dialog.btnOk, Qt::LeftButton, {}, {60, 20}); };
    const auto cancel = [](TaddDlg& dialog) { QTest::mouseClick(dialog.btnCancel, Qt::LeftButton, {}, {60, 20}); };
    // What this machine can make is known before the dialogs open.
    const auto ready = [](TmainDlg& window) {
        FfmpegProbe::of(window.controller()->driver()->FfmpegPath)->wait();
        processPendingEvents();
    };

    int chosen = -1;
    QString chosenName;
    Seen first;
    {
        TmainDlg window;
        ready(window);
        first = add(window, [&](TaddDlg& dialog) {
            for (int i = dialog.ComboBox1->count() - 1; i > 0 && chosen < 0; --i) {
                if (dialog.ComboBox1->isItemAvailable(i) && i != dialog.formatIndex())
                    chosen = i;
            }
            dialog.ComboBox1->setCurrentIndex(chosen);
            chosenName = dialog.ComboBox1->currentText();
            dialogs.folderAnswers.push_back(folder);
            dialog.btDirectoryClick();
            ok(dialog);
        });
        ASSERT_GT(chosen, 0) << "a second format this machine can make";
        EXPECT_EQ(first.folder, "") << "the first Add starts from the global path";
        const Seen second = add(window, [&](TaddDlg& dialog) {
            dialog.ComboBox1->setCurrentIndex(first.format);
            cancel(dialog);
        });
        EXPECT_EQ(second.format, chosen);
        EXPECT_EQ(second.folder, folder);
        EXPECT_EQ(second.lines.value(1), "format: " + chosenName);
        EXPECT_EQ(second.lines.value(2), "save to: " + folder) << "the information agrees";
    }
    {
        TmainDlg window;
        ready(window);
        const Seen again = add(window, cancel);
        EXPECT_EQ(again.format, chosen) << "kept for the next start; a cancelled Add changes nothing";
        EXPECT_EQ(again.folder, folder);

        window.controller()->btnOptionClick(window.btnOption);
        QCheckBox& remember = *window.OptionsPage1->cbAddFromLast;
        ASSERT_TRUE(remember.isChecked()) << "on unless turned off";
        QTest::mouseClick(&remember, Qt::LeftButton, {}, QPoint(8, remember.height() / 2));
        EXPECT_FALSE(remember.isChecked());
        const Seen off = add(window, cancel);
        EXPECT_EQ(off.format, first.format) << "turned off: the first format this machine can make";
        EXPECT_EQ(off.folder, "");
    }
    EXPECT_FALSE(Settings::load().addFromLast) << "the choice is kept";
}

} // namespace
