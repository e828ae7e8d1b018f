// The size limit in the Add Files and Item Property dialogs, typed as a user
// types it, and how the window tells a limited item.

#include "EngineTestSupport.h"
#include "FlatEditUnit.h"
#include "imagebutton.h"
#include "GuiTestSupport.h"
#include "JobListModel.h"
#include "JobListView.h"
#include "LinePanelUnit.h"
#include "MyButtonEx.h"
#include "RunController.h"
#include "Settings.h"
#include "SizeLimitField.h"
#include "TempDir.h"
#include "ItemForm.h"
#include "addForm.h"
#include "command.h"
#include "mainForm.h"
#include "uihook.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::vector<std::string> kFormats = {"MP4 video", "WebM video", "MP3 audio"};

void click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// Clicks into the field, empties it and types text, as a user does.
void typeLimit(TFileDialog& dialog, const QString& text)
{
    QLineEdit* edit = dialog.sizeLimitField->edit;
    click(edit);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

TEST(SizeLimitField, DecimalMegabytesToTheByte)
{
    EXPECT_EQ(SizeLimitField::bytesOf(""), 0);
    EXPECT_EQ(SizeLimitField::bytesOf("  "), 0);
    EXPECT_EQ(SizeLimitField::bytesOf("0"), 0);
    EXPECT_EQ(SizeLimitField::bytesOf("24.5"), 24'500'000);
    EXPECT_EQ(SizeLimitField::bytesOf("24,5"), 24'500'000) << "a comma, as German writes it";
    EXPECT_EQ(SizeLimitField::bytesOf("25."), 25'000'000);
    EXPECT_EQ(SizeLimitField::bytesOf("0.000001"), 1);
    EXPECT_EQ(SizeLimitField::bytesOf("9223372036854.775807"), 9'223'372'036'854'775'807);
    for (const char* bad : {"x", "-1", ".5", "1.0000001", "1e3", "9223372036855", "1.2.3", "9223372036854.775808"})
        EXPECT_EQ(SizeLimitField::bytesOf(bad), std::nullopt) << bad;
    EXPECT_EQ(SizeLimitField::megabytes(0), "");
    EXPECT_EQ(SizeLimitField::megabytes(25'000'000), "25");
    EXPECT_EQ(SizeLimitField::megabytes(24'500'000), "24.5");
    EXPECT_EQ(SizeLimitField::megabytes(25 * 1024 * 1024), "26.2144") << "a binary limit from calvera-batch, exact";
    EXPECT_EQ(SizeLimitField::bytesOf(SizeLimitField::megabytes(26'214'401)), 26'214'401);
}

TEST(SizeLimitDialog, TheRowComesBelowTheButtonsAndLeavesTheOtherControlsWhereTheyWere)
{
    TaddDlg dialog(kFormats, "/g/");
    EXPECT_EQ(dialog.width(), 442);
    EXPECT_EQ(dialog.height(), 547 + 40) << "the form grows by the row alone";
    EXPECT_EQ(dialog.LinePanel2->geometry(), QRect(9, 304, 425, 177));
    EXPECT_EQ(dialog.LinePanel1->geometry(), QRect(9, 8, 425, 129));
    EXPECT_EQ(dialog.btnOk->geometry(), QRect(312, 496, 121, 41));
    EXPECT_EQ(dialog.btnCancel->geometry(), QRect(184, 496, 121, 41));
    EXPECT_EQ(dialog.etDirectory->geometry(), QRect(8, 224, 393, 28));
    EXPECT_EQ(dialog.ComboBox1->geometry(), QRect(9, 152, 425, 30));
    const QRect row = dialog.sizeLimitField->geometry();
    EXPECT_GE(row.top(), dialog.btnOk->geometry().bottom());
    EXPECT_TRUE(dialog.rect().contains(row)) << "within the form";
    EXPECT_EQ(dialog.sizeLimitField->caption->text(), "at most");
    EXPECT_EQ(dialog.sizeLimitField->unit->text(), "MB (blank: no limit)");
    const QRect edit = dialog.sizeLimitField->edit->geometry();
    EXPECT_GT(edit.left(), dialog.sizeLimitField->caption->geometry().right());
    EXPECT_LT(edit.right(), dialog.sizeLimitField->unit->geometry().left());
    EXPECT_LE(dialog.sizeLimitField->unit->geometry().right(), row.width()) << "the unit's text is not cut off";
}

TEST(SizeLimitDialog, AddFilesSaysWhatOkWillGiveEachFile)
{
    TaddDlg dialog(kFormats, "/g/");
    dialog.Fill({"/v/a.avi", "/v/b.avi"});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.informationLines().size(), 5) << "without a limit, the five lines";
    typeLimit(dialog, "24.5");
    EXPECT_EQ(dialog.sizeLimitField->bytes(), 24'500'000);
    EXPECT_EQ(dialog.informationLines().value(5), "size: each at most 24.5 MB");
    dialog.ComboBox1->setCurrentIndex(1);
    EXPECT_EQ(dialog.informationLines().value(1), "format: WebM video") << "the other lines go on as before";
    EXPECT_EQ(dialog.informationLines().value(5), "size: each at most 24.5 MB");
    typeLimit(dialog, "abc-1e5");
    EXPECT_EQ(dialog.sizeLimitField->edit->text(), "15") << "what is no number cannot be typed";
    typeLimit(dialog, "");
    EXPECT_EQ(dialog.sizeLimitField->bytes(), 0);
    EXPECT_EQ(dialog.informationLines().size(), 5) << "blank: no limit, and no line for it";
}

class SizeLimitWindowTest : public testing::Test {
protected:
    SizeLimitWindowTest()
    {
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        for (const char* name : {"a.avi", "b.avi", "c.avi"})
            writeFileBytes(dir.file(name), "x");
    }
    QString file(const char* name) const { return QString::fromStdString(dir.file(name)); }
    // Adds files through the chooser and the Add Files dialog, which act answers.
    void addFiles(const QStringList& files, const std::function<void(TaddDlg&)>& act)
    {
        dialogs.openAnswers.push_back(files);
        whenModalShows<TaddDlg>(act);
        click(window.btnAdd);
    }
    // The Item Property dialog for the selected rows, answered by act.
    void properties(const std::function<void(TItemDlg&)>& act)
    {
        whenModalShows<TItemDlg>([&](TItemDlg& dialog) {
            lines = dialog.informationLines();
            act(dialog);
        });
        window.pmiProperties->trigger();
    }
    std::vector<std::int64_t> limits() const
    {
        std::vector<std::int64_t> result;
        for (int row = 0; row < jobs.count(); ++row)
            result.push_back(jobs.nodeAt(row)->Item.SizeLimit);
        return result;
    }
    void selectAll()
    {
        view.setFocus();
        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    }

    TemporaryStateHome home;
    TempDir dir;
    FakeDialogs dialogs;
    TmainDlg window;
    JobListView& view = *window.VirtualStringTree1;
    JobListModel& jobs = *window.controller()->jobs();
    QStringList lines;
};

TEST_F(SizeLimitWindowTest, AddFilesGivesEachFileTheLimitAndTheNextAddStartsFromIt)
{
    addFiles({file("a.avi"), file("b.avi")}, [](TaddDlg& dialog) {
        EXPECT_EQ(dialog.sizeLimitField->edit->text(), "") << "none the first time";
        typeLimit(dialog, "8");
        click(dialog.btnOk);
    });
    addFiles({file("c.avi")}, [](TaddDlg& dialog) {
        EXPECT_EQ(dialog.sizeLimitField->edit->text(), "8") << "from the last confirmed Add";
        EXPECT_EQ(dialog.informationLines().value(5), "size: each at most 8 MB");
        typeLimit(dialog, "");
        click(dialog.btnOk);
    });
    EXPECT_EQ(limits(), (std::vector<std::int64_t> {8'000'000, 8'000'000, 0}));
    EXPECT_EQ(AddChoice::load().sizeLimit, 0) << "blank was confirmed last";
    addFiles({file("c.avi")}, [](TaddDlg& dialog) {
        typeLimit(dialog, "3");
        click(dialog.btnCancel);
    });
    EXPECT_EQ(jobs.count(), 3) << "cancelled: nothing added";
    EXPECT_EQ(AddChoice::load().sizeLimit, 0) << "and nothing kept";
}

TEST_F(SizeLimitWindowTest, PropertiesShowTheLimitSaySeveralAndKeepEachUnlessChanged)
{
    for (const char* name : {"a.avi", "b.avi", "c.avi"})
        appendJob(jobs, file(name), 0, "");
    jobs.nodeAt(0)->Item.SizeLimit = 25'000'000;
    jobs.nodeAt(1)->Item.SizeLimit = 25'000'000;

    // One item: its limit, which OK writes back as typed.
    view.setCurrentIndex(jobs.index(0, 0));
    properties([](TItemDlg& dialog) {
        EXPECT_EQ(dialog.sizeLimitField->edit->text(), "25");
        EXPECT_EQ(dialog.sizeLimitField->edit->placeholderText(), "");
        typeLimit(dialog, "10.25");
        click(dialog.btnOk);
    });
    EXPECT_EQ(lines.size(), 2) << "one item: the information box as it was";
    EXPECT_EQ(limits(), (std::vector<std::int64_t> {10'250'000, 25'000'000, 0}));

    selectAll();
    QStringList afterTyping;
    properties([](TItemDlg& dialog) {
        EXPECT_EQ(dialog.sizeLimitField->edit->text(), "");
        EXPECT_EQ(dialog.sizeLimitField->edit->placeholderText(), "(several)");
        click(dialog.btnOk);
    });
    EXPECT_EQ(lines.value(2), "size limit: several, each kept unless one is given");
    EXPECT_EQ(limits(), (std::vector<std::int64_t> {10'250'000, 25'000'000, 0})) << "OK without a change keeps each";

    properties([&](TItemDlg& dialog) {
        typeLimit(dialog, "2");
        afterTyping = dialog.informationLines();
        click(dialog.btnOk);
    });
    EXPECT_EQ(afterTyping.value(2), "size limit: each at most 2 MB");
    EXPECT_EQ(limits(), (std::vector<std::int64_t> {2'000'000, 2'000'000, 2'000'000})) << "a typed limit goes to all";

    jobs.nodeAt(2)->Item.SizeLimit = 0;
    properties([&](TItemDlg& dialog) {
        typeLimit(dialog, "5");
        typeLimit(dialog, "");
        EXPECT_EQ(dialog.sizeLimitField->edit->placeholderText(), "") << "typed over: no longer several";
        afterTyping = dialog.informationLines();
        click(dialog.btnOk);
    });
    EXPECT_EQ(afterTyping.value(2), "size limit: none for each");
    EXPECT_EQ(limits(), (std::vector<std::int64_t> {0, 0, 0})) << "emptied: no limit for any";

    jobs.nodeAt(1)->Item.SizeLimit = 7;
    properties([](TItemDlg& dialog) {
        typeLimit(dialog, "9");
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(limits(), (std::vector<std::int64_t> {0, 7, 0})) << "Esc changes nothing";
}

TEST_F(SizeLimitWindowTest, DuringARunOnlyWaitingItemsTakeANewLimit)
{
    for (const char* name : {"a.avi", "b.avi"})
        appendJob(jobs, file(name), 0, "");
    writeScript(dir.file("sleeper"), "case \"$1\" in -hide_banner) exit 0;; esac\nexec sleep 60\n");
    window.controller()->driver()->FfmpegPath = dir.file("sleeper");
    click(window.btnConvert);
    ASSERT_FALSE(window.controller()->driver()->Idle());
    ASSERT_TRUE(isWorking(jobs.nodeAt(0)->State));
    selectAll();
    properties([](TItemDlg& dialog) {
        typeLimit(dialog, "4");
        click(dialog.btnOk);
    });
    EXPECT_EQ(limits(), (std::vector<std::int64_t> {0, 4'000'000})) << "what runs keeps what it runs with";
    window.controller()->driver()->Stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.controller()->driver()->Idle(); }, 10000));
}

TEST_F(SizeLimitWindowTest, TheRowTellsTheLimitThePassAndHowCloseItCame)
{
    JobListModel::Node* node = appendJob(jobs, file("a.avi"), 0, "");
    EXPECT_EQ(view.hintFor(*node).indexOf("[size]"), -1) << "no limit, nothing said";
    node->Item.SizeLimit = 25'000'000;
    EXPECT_TRUE(view.hintFor(*node).endsWith("\n[size]: at most 25.0 MB")) << view.hintFor(*node).toStdString();

    ItemProgress progress;
    progress.fraction = 0.4;
    progress.pass = 1;
    progress.passes = 2;
    EXPECT_EQ(progressText(progress, ItemState::converting), "pass 1 of 2, 40 %");
    progress.pass = 2;
    EXPECT_EQ(progressText(progress, ItemState::converting), "pass 2 of 2, 40 %");
    progress.pass = progress.passes = 0;
    EXPECT_EQ(progressText(progress, ItemState::converting), "40 %");

    jobs.setState(node, ItemState::converting);
    jobs.setState(node, ItemState::done);
    node->OutputSize = 24'391'000;
    EXPECT_TRUE(view.hintFor(*node).endsWith("\n[size]: 24.3 MB of 25.0 MB")) << view.hintFor(*node).toStdString();
    // A new limit given to the converted item: its output was not measured against that one.
    view.setCurrentIndex(jobs.index(0, 0));
    properties([](TItemDlg& dialog) { click(dialog.btnOk); });
    EXPECT_EQ(node->OutputSize, 24'391'000) << "OK without a change keeps what was measured";
    properties([](TItemDlg& dialog) {
        typeLimit(dialog, "20");
        click(dialog.btnOk);
    });
    EXPECT_TRUE(view.hintFor(*node).endsWith("\n[size]: at most 20.0 MB")) << view.hintFor(*node).toStdString();
    node->OutputSize = 24'391'000;
    jobs.setState(node, ItemState::converting);
    EXPECT_EQ(node->OutputSize, -1) << "a new conversion forgets the last one's size";
}

TEST(SizeLimitQueue, TheKeptListBringsALimitSetInPropertiesBack)
{
    const TemporaryStateHome home;
    TempDir dir;
    writeFileBytes(dir.file("a.avi"), "x");
    const auto open = [&] {
        auto window = std::make_unique<TmainDlg>();
        window->controller()->keepQueue(QString::fromStdString(home.calvera()));
        return window;
    };
    {
        const auto window = open();
        JobListModel& jobs = *window->controller()->jobs();
        appendJob(jobs, QString::fromStdString(dir.file("a.avi")), 0, "");
        window->VirtualStringTree1->setCurrentIndex(jobs.index(0, 0));
        whenModalShows<TItemDlg>([](TItemDlg& dialog) {
            typeLimit(dialog, "1.5");
            click(dialog.btnOk);
        });
        window->pmiProperties->trigger();
        ASSERT_EQ(jobs.nodeAt(0)->Item.SizeLimit, 1'500'000);
        const std::string kept = home.calvera() + "queue.qfl";
        ASSERT_TRUE(waitFor([&] {
            return std::filesystem::is_regular_file(kept)
                && readFileBytes(kept).find("<size>1500000</size>") != std::string::npos;
        }));
    }
    const auto window = open();
    ASSERT_EQ(window->controller()->jobs()->count(), 1);
    EXPECT_EQ(window->controller()->jobs()->nodeAt(0)->Item.SizeLimit, 1'500'000);
}

TEST(SizeLimitSettings, TheLastAddsLimitIsKeptBesideItsFormatAndFolder)
{
    const TemporaryStateHome home;
    AddChoice {2, "/videos/", 24'500'000}.save();
    EXPECT_EQ(AddChoice::load(), (AddChoice {2, "/videos/", 24'500'000}));
    AddChoice {2, "/videos/", 0}.save();
    EXPECT_EQ(AddChoice::load().sizeLimit, 0);
    EXPECT_EQ(readFileBytes(home.calvera() + "calvera.conf").find("lastSizeLimit"), std::string::npos)
        << "no limit, no line";
    for (const char* bad : {"-5", "lots", "99999999999999999999999"}) {
        writeFileBytes(
            home.calvera() + "calvera.conf", std::string("[add]\nlastFormat=1\nlastSizeLimit=") + bad + "\n");
        EXPECT_EQ(AddChoice::load(), (AddChoice {1, "", 0})) << bad;
    }
}

TEST(SizeLimitSummary, TheEndBoxCountsWhatFitted)
{
    RunSummary run;
    run.converted = 3;
    run.fitted = 2;
    EXPECT_EQ(endOfRunText(run), "Congratulations, works done!\n2 converted within the size limit.");
    run.failed = 1;
    EXPECT_TRUE(endOfRunText(run).startsWith("3 converted, 1 failed, 0 stopped. 2 converted within the size limit."))
        << endOfRunText(run).toStdString();
    run.fitted = 0;
    EXPECT_EQ(endOfRunText(run).indexOf("size limit"), -1);
}

} // namespace
