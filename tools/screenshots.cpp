// Renders the main window, the splash, the popup menu, a row hint, several
// rows selected with their Item Property dialog (before and after a choice),
// the Option page with its drop-down lists open, the list as the screen shows
// it after a run that scrolled, the close question and the notice after a run
// to PNG files, offscreen, optionally with queued items in all four states:
//   screenshots OUTPUT_FOLDER [ITEMS]

#include "Fonts.h"
#include "FSProgressBar.h"
#include "FfmpegAbilities.h"
#include "FormsSupport.h"
#include "JobListView.h"
#include "LinePanelUnit.h"
#include "MyButtonEx.h"
#include "MyFlatHintUnit.h"
#include "PngImageList.h"
#include "ProgramDir.h"
#include "imagebutton.h"
#include "JobListModel.h"
#include "SplashForm.h"
#include "Translations.h"
#include "ItemForm.h"
#include "ItemProperties.h"
#include "OptionsPage.h"
#include "WhenDoneNotice.h"
#include "addForm.h"
#include "FlatEditUnit.h"
#include "command.h"
#include "commandManager.h"
#include "mainForm.h"
#include "menuDraw.h"
#include "treeManager.h"
#include "uihook.h"

#include <QMenu>
#include <QLabel>
#include <QApplication>
#include <QAbstractItemView>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QPainter>
#include <QScreen>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // In the language the environment asks for, as the program would be (LANGUAGE=de).
    const Translations translations;
    nameApplication();
    installFontFallbacks();
    const QString folder = argc > 1 ? argv[1] : "screenshots";
    const int items = argc > 2 ? QString(argv[2]).toInt() : 6;
    QDir().mkpath(folder);
    const auto saved = [&folder](const QString& name) {
        const QString path = folder + "/" + name;
        std::printf("%s\n", qPrintable(path));
        return path;
    };

    TSplashDlg splash;
    splash.show();
    splash.grab().save(saved("splash.png"));
    splash.hide();

    TmainDlg window;
    JobListModel& jobs = *window.controller()->jobs();
    const char* names[] = {"holiday", "birthday party", "garden", "concert", "interview", "trip to the sea"};
    for (int i = 0; i < items; ++i) {
        TItemData item;
        item.FileName = QString("/home/me/Videos/%1 %2.avi").arg(names[i % 6]).arg(i + 1);
        item.FormatIndex = i % 3;
        item.Path = i % 2 ? QString("/home/me/Converted/") : QString();
        JobListModel::Node* node = jobs.append(item);
        // Every state a row shows; with five items or more, two convert at once.
        const ItemState states[]
            = {ItemState::done, ItemState::failed, ItemState::stopped, ItemState::converting, ItemState::converting};
        jobs.setState(node, i < 5 ? states[i] : ItemState::waiting);
        if (node->State == ItemState::failed)
            node->Failure = "Invalid data found when processing input";
        if (node->State == ItemState::converting) {
            node->Item.ActivityPos = 30;
            // ffmpeg has said how far it is: the row shows a filling bar.
            node->Progress = i < 4 ? ItemProgress {600, 252, 2.4, 0.42, 145} : ItemProgress {300, 45, 1.9, 0.15, 134};
        }
    }
    window.lbCount->setText(fileCountText(items, std::min(items, 2), items));
    window.ProgressBar1->SetPosition(items ? static_cast<int>((2 + 0.42) * 100 / items) : 0);
    window.lbTimer->setText(timestampText(192, 460));
    window.show();
    window.VirtualStringTree1->setCurrentIndex(jobs.index(std::min(items, 1), 0));
    QApplication::processEvents();
    window.grab().save(saved("main-window.png"));
    // The same run going on, and held: Convert holds and lets go, the held rows grey.
    window.controller()->SetRunningState();
    window.showConvertAs("pause");
    QApplication::processEvents();
    window.grab().save(saved("running-window.png"));
    window.showConvertAs("resume");
    // Held rows keep how far they came.
    std::vector<std::pair<JobListModel::Node*, ItemProgress>> held;
    for (int row = 0; row < jobs.count(); ++row) {
        if (jobs.nodeAt(row)->State == ItemState::converting) {
            held.emplace_back(jobs.nodeAt(row), jobs.nodeAt(row)->Progress);
            jobs.setState(jobs.nodeAt(row), ItemState::paused);
        }
    }
    window.VirtualStringTree1->viewport()->update();
    QApplication::processEvents();
    window.grab().save(saved("paused-window.png"));
    for (const auto& [node, progress] : held) {
        jobs.setState(node, ItemState::converting);
        node->Progress = progress;
    }
    window.controller()->SetIdleState();
    // Where the keyboard is: on the Convert tool, then in the list.
    QApplication::setActiveWindow(&window);
    window.btnConvert->setFocus();
    QApplication::processEvents();
    window.grab().save(saved("focus-tool.png"));
    window.VirtualStringTree1->setFocus();
    QApplication::processEvents();
    window.grab().save(saved("focus-list.png"));
    // The Option page, with each drop-down list open, then back to the list.
    window.controller()->btnOptionClick(window.btnOption);
    QApplication::processEvents();
    window.grab().save(saved("option-page.png"));
    for (TMyFlatComboBox* combo : {window.OptionsPage1->cbJobs, window.OptionsPage1->cbWhenDone}) {
        combo->showPopup();
        QApplication::processEvents();
        combo->view()->window()->grab().save(saved(combo->objectName() + "-open.png"));
        combo->hidePopup();
    }
    window.controller()->btnListClick(window.btnList);

    // Several rows selected, as Shift and Ctrl select them.
    if (items >= 4) {
        JobListView& list = *window.VirtualStringTree1;
        list.setCurrentIndex(jobs.index(1, 0));
        list.selectionModel()->select(jobs.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list.selectionModel()->setCurrentIndex(
            jobs.index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QApplication::processEvents();
        window.grab().save(saved("multi-selection.png"));
    }

    // The popup menu as the job list offers it.
    QMenu* menu = window.VirtualStringTree1->menuAt(QPoint(20, 10));
    if (menu) {
        menu->popup(window.mapToGlobal(QPoint(100, 250)));
        QApplication::processEvents();
        menu->grab().save(saved("popup-menu.png"));
        menu->hide();
    }

    // The hint of the first row.
    if (items > 0) {
        TMyFlatHintWindow* hint = TMyFlatHint::window();
        const QString text = window.VirtualStringTree1->hintFor(*jobs.nodeAt(0));
        hint->ActivateHint(text, QPoint(200, 200), QRect(0, 0, 1920, 1080));
        hint->renderHint().save(saved("row-hint.png"));
        hint->hide();
    }

    // The Add Files dialog for three files, and its formats with those this machine cannot make greyed.
    const TCommandManager& catalogue = window.controller()->catalogue();
    TaddDlg add(catalogue.shownFormats(), QString::fromStdString(defaultOutputFolder()), &window);
    // The screenshot waits for ffmpeg's answer; the window never does.
    const FfmpegProbe::Answer abilities = FfmpegProbe::of(window.controller()->driver()->FfmpegPath)->wait();
    for (int i = 0; i < static_cast<int>(catalogue.Formats().size()); ++i) {
        if (const Wording why = catalogue.unavailability(i, abilities.get()); !why.empty())
            add.setUnavailable(i, QString::fromStdString(why.shown));
    }
    add.Fill({"/home/me/Videos/holiday 1.avi", "/home/me/Videos/garden 3.avi", "/home/me/Videos/concert 4.avi"});
    add.show();
    QApplication::processEvents();
    add.grab().save(saved("add-files.png"));
    add.ComboBox1->showPopup();
    // The end of the list, where the shipped catalogue has its hardware formats.
    add.ComboBox1->view()->scrollToBottom();
    QApplication::processEvents();
    add.ComboBox1->view()->window()->grab().save(saved("add-files-formats.png"));
    add.ComboBox1->hidePopup();
    add.hide();

    // The Item Property dialog for three items of differing formats and folders.
    QTemporaryDir clips;
    JobListModel& several = *window.controller()->jobs();
    several.clear();
    for (const auto& [name, bytes, format, folder] : {std::tuple {"holiday 1.avi", 5'242'880, 0, ""},
             std::tuple {"garden 3.avi", 3'145'728, 2, "/home/me/Converted/"},
             std::tuple {"concert 4.avi", 7'340'032, 0, ""}}) {
        QFile clip(clips.filePath(name));
        clip.open(QIODevice::WriteOnly);
        clip.resize(bytes);
        TItemData item;
        item.FileName = clip.fileName();
        item.FormatIndex = format;
        item.Path = folder;
        item.SizeLimit = format == 2 ? 25'000'000 : 0; // limits that differ, too
        several.append(item);
    }
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<TItemDlg*>(QApplication::activeModalWidget())) {
            dialog->grab().save(saved("item-properties-several.png"));
            // A format chosen for all and the save paths cleared: the information says what OK will do.
            dialog->ComboBox1->setCurrentIndex(2);
            dialog->clearDirectory();
            QApplication::processEvents();
            dialog->grab().save(saved("item-properties-chosen.png"));
            dialog->reject();
        }
    });
    window.controller()->ShowItemProperties(
        std::vector<TItemNodeData*> {several.nodeAt(0), several.nodeAt(1), several.nodeAt(2)});

    // The same three during a run in which the first converted and the second failed: a change
    // reaches the one still waiting, and the dialog says so.
    several.setState(several.nodeAt(0), ItemState::done);
    several.setState(several.nodeAt(1), ItemState::failed);
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<TItemDlg*>(QApplication::activeModalWidget())) {
            dialog->grab().save(saved("item-properties-during-run.png"));
            dialog->reject();
        }
    });
    QPointer<TFileDialog> open;
    ItemProperties(several, window.controller()->catalogue(), window.controller()->driver()->FfmpegPath)
        .edit(
            {several.nodeAt(0), several.nodeAt(1), several.nodeAt(2)}, [] { return true; }, &window, open);

    // A run through a list longer than the window: as each item starts the
    // list follows it, and the screen shows the watermark whole all the same.
    several.clear();
    for (int i = 0; i < 14; ++i) {
        TItemData item;
        item.FileName = QString("/home/me/Videos/%1 %2.avi").arg(names[i % 6]).arg(i + 1);
        several.append(item);
    }
    JobListView& list = *window.VirtualStringTree1;
    QApplication::processEvents();
    for (int row = 0; row < several.count(); ++row) {
        JobListModel::Node* node = several.nodeAt(row);
        several.setState(node, ItemState::converting);
        list.setCurrentIndex(several.index(row, 0));
        list.scrollTo(several.index(row, 0));
        QApplication::processEvents();
        several.setState(node, ItemState::done);
        QApplication::processEvents();
    }
    // What the screen shows, not the window painted again.
    window.screen()->grabWindow(window.winId()).save(saved("list-after-a-run.png"));

    // Closing during a run asks first.
    const std::unique_ptr<QMessageBox> question = makeCloseQuestion(2, &window);
    question->show();
    QApplication::processEvents();
    question->grab().save(saved("close-question.png"));
    question->hide();

    // What comes after a run, while its end is on screen.
    WhenDoneNotice notice(WhenDone::PowerOff, std::chrono::seconds(60));
    notice.show();
    QApplication::processEvents();
    notice.grab().save(saved("when-done-notice.png"));
    return 0;
}
