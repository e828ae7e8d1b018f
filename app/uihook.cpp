#include "uihook.h"

#include "imagebutton.h"
#include "MyButtonEx.h"
#include "LinePanelUnit.h"
#include "ItemForm.h"
#include "FormsSupport.h"
#include "FSProgressBar.h"
#include "ClockText.h"
#include "DesktopSession.h"
#include "ErrorReport.h"
#include "FfmpegAbilities.h"
#include "FlatEditUnit.h"
#include "JobListModel.h"
#include "JobListView.h"
#include "LabelLinks.h"
#include "MessageQueue.h"
#include "MyListBox.h"
#include "OptionsPage.h"
#include "QueueKeeper.h"
#include "Settings.h"
#include "WhenDoneNotice.h"
#include "ProgramDir.h"
#include "SystemDialogs.h"
#include "ThreadMailbox.h"
#include "addForm.h"
#include "command.h"
#include "commandManager.h"
#include "consts.h"
#include "itemManager.h"
#include "mainForm.h"
#include "menuDraw.h"
#include "overwriteManager.h"
#include "saveManager.h"
#include "treeManager.h"

#include <QApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QShortcut>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSessionManager>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace {

// The specified ten first, then what today's cameras, phones and downloads
// bring, and the audio the catalogue's audio formats take.
const QStringList kAddExtensions = {"mpg", "mpeg", "wmv", "avi", "vob", "mov", "mp2", "mpv", "mp4", "flv", "mkv",
    "webm", "m4v", "ts", "m2ts", "mts", "3gp", "ogv", "mp3", "wav", "flac", "m4a", "ogg", "opus"};

// Upper case too, since Linux names are case-sensitive.
QString addFilter()
{
    QStringList patterns;
    for (const QString& extension : kAddExtensions)
        patterns << "*." + extension;
    for (const QString& extension : kAddExtensions)
        patterns << "*." + extension.toUpper();
    return TUIHook::tr("All Supported Formats") + " (" + patterns.join(' ') + ");;" + TUIHook::tr("All Files") + " (*)";
}

QString listFilter()
{
    return TUIHook::tr("Qelt File List File") + " (*.qfl)";
}

const QString kListExtension = ".qfl";

// Every handler runs through this: an error that escapes it is shown to the
// user instead of unwinding through the toolkit, and whatever the handler
// held on its stack has been released by then.
template <typename Handler> auto guarded(Handler handler)
{
    return [handler](auto&&... arguments) {
        try {
            handler(std::forward<decltype(arguments)>(arguments)...);
        } catch (const std::exception& error) {
            reportError(error.what());
        } catch (...) {
            reportError(TUIHook::tr("An unexpected error occurred.").toStdString());
        }
    };
}

// A tool button and its caption: the button first, then the caption's colour.
void setToolEnabled(TImageButton& button, QLabel& caption, bool enabled)
{
    button.SetEnabled(enabled);
    setTextColor(caption, enabled ? kCaptionColor : kDisabledCaptionColor);
}

} // namespace

QStringList filesToAdd(const QStringList& dropped, const std::atomic<bool>* cancelled)
{
    QStringList files;
    for (const QString& path : dropped) {
        if (!QFileInfo(path).isDir()) {
            files << path;
            continue;
        }
        QStringList found;
        QDirIterator folder(path, QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
        while (folder.hasNext() && !(cancelled && *cancelled)) {
            const QString file = folder.next();
            if (kAddExtensions.contains(QFileInfo(file).suffix().toLower()))
                found << file;
        }
        found.sort();
        files << found;
    }
    return files;
}

QString fileCountText(int count, int finished, int of)
{
    return TUIHook::tr("%n files, finished %1 of %2", nullptr, count).arg(finished).arg(of);
}

QString exportFileName(const QString& chosen)
{
    const qsizetype nameStart = chosen.lastIndexOf('/') + 1;
    const qsizetype dot = chosen.lastIndexOf('.');
    const bool hasListExtension = dot >= nameStart && chosen.mid(dot) == kListExtension;
    return hasListExtension ? chosen : chosen + kListExtension;
}

QString timestampText(std::int64_t seconds, std::int64_t secondsLeft)
{
    const QString elapsed = QString::fromStdString(clockText(seconds));
    if (secondsLeft < 0)
        return TUIHook::tr("timestamp: %1").arg(elapsed);
    return TUIHook::tr("timestamp: %1, about %2 left").arg(elapsed, QString::fromStdString(clockText(secondsLeft)));
}

QString endOfRunText(const RunSummary& run)
{
    if (run.failed == 0 && run.stopped == 0) {
        QString text = TUIHook::tr("Congratulations, works done!");
        // What the user may still want to look at, in one line.
        QStringList notes;
        if (run.unchecked > 0)
            notes << TUIHook::tr("%n converted without a check of its length", nullptr, run.unchecked);
        if (run.decodeErrors > 0)
            notes << TUIHook::tr("%n decoding errors in the inputs (see the items' logs)", nullptr, run.decodeErrors);
        if (!notes.isEmpty())
            text += "\n" + notes.join("; ") + ".";
        return text;
    }
    QString text = TUIHook::tr("%1 converted, %2 failed, %3 stopped.")
                       .arg(QString::number(run.converted), QString::number(run.failed), QString::number(run.stopped));
    // The first few that failed, each with why.
    constexpr std::size_t kNamed = 5;
    if (!run.failures.empty())
        text += "\n\n" + TUIHook::tr("Failed:");
    for (std::size_t i = 0; i < run.failures.size() && i < kNamed; ++i)
        text += "\n" + QString::fromStdString(run.failures[i].source + ": " + run.failures[i].reasonShown);
    if (run.failures.size() > kNamed)
        text += "\n" + TUIHook::tr("and %1 more").arg(run.failures.size() - kNamed);
    if (!run.outputFolders.empty())
        text += "\n\n" + TUIHook::tr("Converted into:");
    for (const std::string& folder : run.outputFolders)
        text += "\n" + QString::fromStdString(folder);
    return text;
}

TUIHook::TUIHook()
    : m_sleepInhibitor(std::make_unique<SleepInhibitor>())
    , m_commandManager(std::make_unique<TCommandManager>())
    , m_itemManager(std::make_unique<TItemManager>())
    , m_menuDraw(std::make_unique<TMenuDraw>())
{ }

TUIHook::~TUIHook()
{
    cancelFolderSearch();
    m_whenDoneNotice.reset();
    // The list as it is before the driver ends its items: converting ones start again next time.
    m_queueKeeper.reset();
    // The driver first: it ends a running ffmpeg, and nothing of it may reach
    // this controller, or the catalogue and job list it reads, afterwards.
    m_command.reset();
    m_menuDraw.reset();
    m_saveManager.reset();
    m_itemManager.reset();
    m_treeManager.reset();
    if (m_window)
        m_window->VirtualStringTree1->setModel(nullptr);
    m_jobs.reset();
    m_commandManager.reset();
    if (m_messages)
        setErrorReporter(nullptr);
    m_messages.reset();
}

void TUIHook::HookControls(TmainDlg& window)
{
    m_window = &window;
    m_messages = std::make_unique<MessageQueue>(&window);
    setErrorReporter([this](const std::string& message) {
        m_messages->show(QMessageBox::Critical, QString::fromStdString(message));
    });

    // The title (every Qt widget paints double-buffered already).
    window.setWindowTitle(kApplicationName);

    // The captions act as part of their buttons.
    const std::pair<QLabel*, TImageButton*> captions[] = {
        {window.lbAdd, window.btnAdd},
        {window.lbConvert, window.btnConvert},
        {window.lbList, window.btnList},
        {window.lbOption, window.btnOption},
        {window.lbStop, window.btnStop},
        {window.lbSupport, window.btnSupport},
    };
    for (const auto& [label, button] : captions)
        forwardLabelToButton(*label, *button);

    // Nothing runs yet.
    setToolEnabled(*window.btnStop, *window.lbStop, false);

    // Clicks.
    const auto bind = [this](TImageButton* button, void (TUIHook::*handler)(QObject*)) {
        button->OnClick = guarded([this, handler](TImageButton* sender) { (this->*handler)(sender); });
    };
    bind(window.btnAdd, &TUIHook::btnAddClick);
    bind(window.btnConvert, &TUIHook::btnConvertClick);
    bind(window.btnStop, &TUIHook::btnStopClick);
    bind(window.btnSupport, &TUIHook::btnSupportClick);
    bind(window.btnList, &TUIHook::btnListClick);
    bind(window.btnOption, &TUIHook::btnOptionClick);
    window.btnImport->OnClick = guarded([this](TMyButtonEx* sender) { btnImportClick(sender); });
    window.btnExport->OnClick = guarded([this](TMyButtonEx* sender) { btnExportClick(sender); });
    onLabelClick(*window.lbUpdate, guarded([this, &window] { lbUpdateClick(window.lbUpdate); }));

    // The popup menu, drawn by the menu painter, and its entries.
    m_menuDraw->AttachMenu(window.PopupMenu1);
    const auto bindEntry = [this](QAction* entry, void (TUIHook::*handler)(QObject*)) {
        QObject::connect(
            entry, &QAction::triggered, guarded([this, entry, handler](bool) { (this->*handler)(entry); }));
    };
    bindEntry(window.pmiDelete, &TUIHook::pmiDeleteClick);
    bindEntry(window.pmiClear, &TUIHook::pmiClearClick);
    bindEntry(window.pmiProperties, &TUIHook::pmiPropertiesClick);
    bindEntry(window.pmiShowLog, &TUIHook::pmiShowLogClick);
    bindEntry(window.pmiOpenFolder, &TUIHook::pmiOpenFolderClick);
    bindEntry(window.pmiConvertRest, &TUIHook::pmiConvertRestClick);
    bindEntry(window.pmiStopItem, &TUIHook::pmiStopItemClick);
    bindEntry(window.pmiPause, &TUIHook::pmiPauseClick);
    bindEntry(window.pmiRemoveFinished, &TUIHook::pmiRemoveFinishedClick);
    // The entries for an item act on the row the user pointed at, so without one they are off.
    QObject::connect(window.PopupMenu1, &QMenu::aboutToShow, window.PopupMenu1, [this, &window] {
        const JobListView& view = *window.VirtualStringTree1;
        const TItemNodeData* node = focusedNode();
        window.pmiDelete->setEnabled(view.selectionModel()->hasSelection());
        window.pmiProperties->setEnabled(node != nullptr || view.selectionModel()->hasSelection());
        window.pmiShowLog->setEnabled(node && !node->Log.isEmpty() && QFileInfo::exists(node->Log));
        window.pmiOpenFolder->setEnabled(node && node->State == kStateDone && !node->Output.isEmpty());
        bool anyConverted = false;
        bool anyLeft = false;
        for (int row = 0; row < m_jobs->count(); ++row)
            (m_jobs->nodeAt(row)->State == kStateDone ? anyConverted : anyLeft) = true;
        window.pmiConvertRest->setEnabled(anyLeft);
        window.pmiRemoveFinished->setEnabled(anyConverted);
        window.pmiStopItem->setEnabled(!idle() && view.selectionModel()->hasSelection());
        window.pmiPause->setEnabled(!idle());
        window.pmiPause->setText(TmainDlg::pauseEntryText(m_command->Paused()));
    });

    // The job list and its view.
    m_jobs = std::make_unique<JobListModel>();
    m_treeManager = std::make_unique<TTreeManager>(*m_jobs, *m_itemManager);
    JobListView& view = *window.VirtualStringTree1;
    view.bind(m_jobs.get(), window.listImage, &m_commandManager->Formats());
    view.setPopupMenu(m_menuDraw->AttachedMenu());
    view.onShowItemProperties = guarded([this] { pmiPropertiesClick(m_window->VirtualStringTree1); });

    // The conversion driver, and ffmpeg asked for its abilities in the background from now on.
    m_command = std::make_unique<TCommand>(*m_jobs, *m_commandManager);
    // The choosers mark what it cannot make once it has answered, also in a dialog open by then.
    const QPointer<TmainDlg> alive(&window);
    FfmpegProbe::of(m_command->FfmpegPath)->whenAnswered([alive](const FfmpegProbe::Answer&) {
        if (alive && alive->controller())
            alive->controller()->refreshUnavailableFormats();
    });
    view.canOfferMenu = [] { return true; };
    m_command->OnProgress
        = guarded([this](TDosCommand* sender, std::int32_t percent) { CommandProgress(sender, percent); });
    m_command->OnFinished = guarded([this](TDosCommand* sender, bool stopped) { CommandFinished(sender, stopped); });
    m_command->OnTick = guarded([this](QTimer* sender) { CommandTick(sender); });
    QObject::connect(m_command.get(), &TCommand::itemProgress, &view, [this] { showItemProgress(); });
    QObject::connect(m_command.get(), &TCommand::pausedChanged, &view, guarded([this](bool paused) {
        // A held run keeps no lock against sleeping; it takes it again when it goes on.
        if (paused)
            m_sleepInhibitor->release();
        else
            m_sleepInhibitor->hold(tr("Converting videos"));
        m_window->showConvertAs(paused ? "resume" : "pause");
    }));
    // Items added or removed during a run change its count.
    for (const auto& changed : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        QObject::connect(m_jobs.get(), changed, &view, [this] {
            if (!idle())
                ShowFileCount(m_command->FinishedCount());
        });
    }
    QObject::connect(m_command.get(), &TCommand::itemStarted, &view, [this](JobListModel::Node* node) {
        const QModelIndex index = m_jobs->index(m_jobs->indexOf(node), 0);
        m_window->VirtualStringTree1->setCurrentIndex(index);
        m_window->VirtualStringTree1->scrollTo(index);
    });

    // List files.
    m_saveManager = std::make_unique<TSaveManager>(*m_jobs);

    // The Option page: what it shows is what the driver uses, from the start.
    OptionsPage& options = *window.OptionsPage1;
    options.setSettings(Settings::load());
    applySettings(options.settings());
    QObject::connect(&options, &OptionsPage::changed, &options, guarded([this](const Settings& settings) {
        settings.save();
        applySettings(settings);
    }));

    // Logging out ends Calvera as a termination request does: at once, asking nothing.
    QObject::connect(
        qGuiApp, &QGuiApplication::commitDataRequest, &window, [this](QSessionManager&) { SessionEnding(false); },
        Qt::DirectConnection);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &window, [this] { SessionEnding(true); });

    bindKeys(window);

    // Your own formats that could not be read are left out; the shipped ones are all there.
    if (!m_commandManager->userCatalogueError().empty())
        m_messages->show(QMessageBox::Warning, QString::fromStdString(m_commandManager->userCatalogueError()));
}

void TUIHook::bindKeys(TmainDlg& window)
{
    // The keyboard does what the mouse does, and only when the mouse could:
    // a tool's keys act while its button is enabled.
    const auto onKeys = [&window](const QList<QKeySequence>& keys, const std::function<void()>& act) {
        for (const QKeySequence& key : keys)
            QObject::connect(new QShortcut(key, &window), &QShortcut::activated, &window, guarded(act));
    };
    const auto whenEnabled = [this](TImageButton* button, void (TUIHook::*handler)(QObject*)) {
        return [this, button, handler] {
            if (button->Enabled())
                (this->*handler)(button);
        };
    };
    onKeys({QKeySequence("Ctrl+O"), QKeySequence(Qt::Key_Insert), QKeySequence("Alt+A")},
        whenEnabled(window.btnAdd, &TUIHook::btnAddClick));
    onKeys({QKeySequence("Ctrl+Return"), QKeySequence("Ctrl+Enter"), QKeySequence("Alt+C")},
        whenEnabled(window.btnConvert, &TUIHook::btnConvertClick));
    onKeys({QKeySequence(Qt::Key_Escape), QKeySequence("Alt+S")}, whenEnabled(window.btnStop, &TUIHook::btnStopClick));
    onKeys({QKeySequence("Ctrl+P"), QKeySequence("Alt+P"), QKeySequence("Alt+R")}, [this, &window] {
        if (!idle())
            pmiPauseClick(window.btnConvert);
    });
    onKeys({QKeySequence("Ctrl+I")}, [this, &window] { btnImportClick(window.btnImport); });
    onKeys({QKeySequence("Ctrl+E")}, [this, &window] { btnExportClick(window.btnExport); });
    // On the list, Delete deletes the selected row as the popup's entry does;
    // Return opens the properties as a double-click does (onShowItemProperties).
    JobListView& view = *window.VirtualStringTree1;
    view.onDeleteKey = guarded([this, &window] { pmiDeleteClick(window.pmiDelete); });
    // Dropped files and folders come in as files passed on the command line do.
    view.onDropped = guarded([this](const QStringList& paths) { openFiles(paths); });

    // Tab goes along the tools, into the list, then to the list buttons.
    QWidget* order[] = {window.btnAdd, window.btnConvert, window.btnStop, window.btnSupport, window.VirtualStringTree1,
        window.btnImport, window.btnExport};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);

    // What assistive technology says of the controls.
    const std::pair<QWidget*, QString> names[] = {{window.btnAdd, tr("Add")}, {window.btnConvert, tr("Convert")},
        {window.btnStop, tr("Stop")}, {window.btnSupport, tr("Support")}, {window.btnList, tr("List")},
        {window.btnOption, tr("Option")}, {window.btnImport, tr("Import")}, {window.btnExport, tr("Export")},
        {&view, tr("Job list")}, {window.ProgressBar1, tr("Progress of the run")}};
    for (const auto& [widget, name] : names)
        widget->setAccessibleName(name);
}

bool TUIHook::idle() const
{
    return m_command->Idle();
}

void TUIHook::SetIdleState()
{
    showRunning(false);
}

void TUIHook::SetRunningState()
{
    showRunning(true);
}

void TUIHook::showRunning(bool running)
{
    // Items may be added during a run: they join it. Convert holds and lets go of a running one.
    setToolEnabled(*m_window->btnAdd, *m_window->lbAdd, true);
    m_window->showConvertAs(!running ? "convert" : m_command->Paused() ? "resume" : "pause");
    setToolEnabled(*m_window->btnConvert, *m_window->lbConvert, true);
    setToolEnabled(*m_window->btnStop, *m_window->lbStop, running);
    // A run keeps the settings it started with.
    m_window->OptionsPage1->setEnabled(!running);
}

void TUIHook::applySettings(const Settings& settings)
{
    m_settings = std::make_unique<Settings>(settings);
    if (m_queueKeeper)
        m_queueKeeper->setKeeping(!settings.startEmpty);
    m_command->Jobs = settings.jobs;
    m_command->GlobalPath = settings.outputFolder.toStdString();
    m_command->Verify = settings.verifyDecode ? Verification::decode : Verification::duration;
}

void TUIHook::startWhenDone()
{
    if (!m_settings || m_settings->whenDone == WhenDone::Nothing)
        return;
    m_whenDoneNotice = std::make_unique<WhenDoneNotice>(m_settings->whenDone, m_whenDoneCountdown);
    QObject::connect(m_whenDoneNotice.get(), &WhenDoneNotice::due, m_window,
        guarded([this, action = m_settings->whenDone] { whenDoneDue(action); }));
    // Beside the main window, where the user looks.
    m_whenDoneNotice->move(m_window->geometry().center() - m_whenDoneNotice->rect().center() + QPoint(0, 140));
    m_whenDoneNotice->show();
}

void TUIHook::keepQueue(const QString& folder)
{
    m_queueKeeper = std::make_unique<QueueKeeper>(*m_jobs, *m_saveManager, folder);
    const QString told = m_queueKeeper->start(!m_settings->startEmpty);
    if (!told.isEmpty())
        m_messages->show(QMessageBox::Warning, told);
    ShowFileCount(0);
}

void TUIHook::whenDoneDue(WhenDone action)
{
    // The machine may be gone in a moment.
    if (m_queueKeeper && action != WhenDone::Quit)
        m_queueKeeper->flush();
    switch (action) {
    case WhenDone::Quit: m_window->close(); break;
    case WhenDone::Suspend: requestSuspend(sayFailed(tr("The computer could not be suspended"))); break;
    case WhenDone::PowerOff: requestPowerOff(sayFailed(tr("The computer could not be powered off"))); break;
    case WhenDone::Nothing: break;
    }
}

std::function<void(const QString&)> TUIHook::sayFailed(const QString& what)
{
    const QPointer<TmainDlg> alive(m_window);
    return [alive, what](const QString& why) {
        if (alive && alive->controller())
            alive->controller()->m_messages->show(QMessageBox::Warning, what + ": " + why);
    };
}

QString TUIHook::outputFolderShown() const
{
    return QString::fromStdString(m_command->GlobalPath.empty() ? defaultOutputFolder() : m_command->GlobalPath);
}

void TUIHook::ShowFileCount(int finished)
{
    // During a run, of all the run's items: those ended, running and waiting.
    const int count = m_jobs->count();
    const int of = idle() ? count : m_command->RunItemCount();
    m_window->lbCount->setText(fileCountText(count, finished, of));
}

void TUIHook::btnAddClick(QObject*)
{
    const QStringList files = SystemDialogs::current().getOpenFileNames(nullptr, {}, addFilter());
    // The area under the closed file dialog is drawn again before anything else shows.
    m_window->repaint();
    addFiles(files);
}

void TUIHook::openFiles(const QStringList& paths)
{
    // Refused while Add is.
    if (!m_window->btnAdd->Enabled())
        return;
    if (std::none_of(paths.begin(), paths.end(), [](const QString& path) { return QFileInfo(path).isDir(); })) {
        addFromOutside(paths);
        return;
    }
    // A folder is searched on a thread of its own: a big one takes seconds, and the window goes on meanwhile.
    // Each drop's files come in when its search is through; a later drop does not cancel an earlier one.
    QThread* search = QThread::create([this, paths, cancelled = m_folderSearchCancelled] {
        QStringList found = filesToAdd(paths, cancelled.get());
        ThreadMailbox::main().post(guarded([this, found, cancelled] {
            if (!*cancelled)
                addFromOutside(found);
        }));
    });
    // Searches that are through are let go as new ones start.
    std::erase_if(m_folderSearches, [](const std::unique_ptr<QThread>& done) { return done->isFinished(); });
    m_folderSearches.emplace_back(search);
    search->start();
}

void TUIHook::cancelFolderSearch()
{
    *m_folderSearchCancelled = true;
    for (const std::unique_ptr<QThread>& search : m_folderSearches)
        search->wait();
    m_folderSearches.clear();
}

void TUIHook::addFromOutside(const QStringList& paths)
{
    // A list file that cannot be read is told; the other lists and files still come in.
    QStringList files;
    std::vector<std::string> errors;
    for (const QString& path : paths) {
        if (!path.endsWith(kListExtension)) {
            files << path;
            continue;
        }
        try {
            m_saveManager->ImportFromFile(path.toStdString());
        } catch (const std::exception& error) {
            errors.emplace_back(error.what());
        }
    }
    addFiles(files);
    for (const std::string& error : errors)
        reportError(error);
}

void TUIHook::addFiles(const QStringList& files)
{
    if (!files.isEmpty()) {
        TaddDlg dialog(m_commandManager->Formats(), outputFolderShown(), m_window);
        markUnavailable(dialog);
        // The first format this machine can make is offered first.
        TMyFlatComboBox& formats = *dialog.ComboBox1;
        for (int i = 0; i < formats.count() && !formats.isItemAvailable(formats.currentIndex()); ++i) {
            if (formats.isItemAvailable(i))
                formats.setCurrentIndex(i);
        }
        dialog.Fill(files);
        m_formatDialog = &dialog;
        dialog.exec();
        if (dialog.OK()) {
            const std::string directory = dialog.directory().toStdString();
            for (const QString& file : files)
                m_itemManager->AddItem(file.toStdString(), dialog.formatIndex(), directory);
            m_treeManager->AddItems(files);
        }
    }
    ShowFileCount(idle() ? 0 : m_command->FinishedCount());
}

void TUIHook::btnConvertClick(QObject* Sender)
{
    // During a run the button holds the run, or lets it go on.
    if (!idle()) {
        pmiPauseClick(Sender);
        return;
    }
    if (m_jobs->count() == 0)
        return;
    startRun({});
}

void TUIHook::startRun(const std::function<bool(const TItemNodeData&)>& wanted)
{
    // A new run is what the user wants now, not the end of the last one.
    m_whenDoneNotice.reset();
    SetRunningState();
    m_window->ProgressBar1->SetPosition(0);
    m_barItems = 0;
    m_elapsedShown = 0;
    m_window->lbTimer->setText(timestampText(0));
    m_sleepInhibitor->hold(tr("Converting videos"));
    m_command->Start(wanted);
    // A selection of nothing starts nothing.
    if (m_command->Idle())
        CommandFinished(nullptr, true);
}

void TUIHook::pmiConvertRestClick(QObject*)
{
    // The chosen items, or all of them, that are not converted yet.
    const std::vector<TItemNodeData*> chosen = m_window->VirtualStringTree1->selectedNodes();
    const std::unordered_set<const TItemNodeData*> wanted(chosen.begin(), chosen.end());
    const auto isRest = [wanted](const JobListModel::Node& node) {
        return node.State != kStateDone && node.State != kStateConverting && (wanted.empty() || wanted.contains(&node));
    };
    if (idle()) {
        startRun(isRest);
        return;
    }
    // During a run they join it.
    for (int row = 0; row < m_jobs->count(); ++row) {
        if (isRest(*m_jobs->nodeAt(row)))
            m_command->Enqueue(m_jobs->nodeAt(row));
    }
    ShowFileCount(m_command->FinishedCount());
}

void TUIHook::pmiStopItemClick(QObject*)
{
    for (TItemNodeData* node : m_window->VirtualStringTree1->selectedNodes())
        m_command->StopItem(node);
    if (!idle())
        ShowFileCount(m_command->FinishedCount());
}

void TUIHook::pmiPauseClick(QObject*)
{
    if (m_command->Paused())
        m_command->Resume();
    else
        m_command->Pause();
}

void TUIHook::pmiRemoveFinishedClick(QObject*)
{
    std::vector<JobListModel::Node*> converted;
    for (int row = 0; row < m_jobs->count(); ++row) {
        if (m_jobs->nodeAt(row)->State == kStateDone)
            converted.push_back(m_jobs->nodeAt(row));
    }
    for (JobListModel::Node* node : converted)
        m_jobs->remove(node);
    ShowFileCount(idle() ? 0 : m_command->FinishedCount());
}

void TUIHook::btnStopClick(QObject*)
{
    m_command->Stop();
}

void TUIHook::btnSupportClick(QObject*)
{
    const std::string page = programDirectory() + kHelpPage;
    SystemDialogs::current().openUrl(QUrl::fromLocalFile(QString::fromStdString(page)).toString());
}

void TUIHook::lbUpdateClick(QObject*)
{
    SystemDialogs::current().openUrl(kHomePage);
}

void TUIHook::btnListClick(QObject*)
{
    m_window->VirtualStringTree1->show();
    m_window->LinePanel2->hide();
}

void TUIHook::btnOptionClick(QObject*)
{
    m_window->VirtualStringTree1->hide();
    m_window->LinePanel2->show();
}

void TUIHook::btnImportClick(QObject*)
{
    const QString chosen = SystemDialogs::current().getOpenFileName(nullptr, {}, listFilter());
    if (chosen.isEmpty())
        return;
    // The items read before a bad one stay, and the count says so.
    try {
        m_saveManager->ImportFromFile(chosen.toStdString());
    } catch (...) {
        ShowFileCount(idle() ? 0 : m_command->FinishedCount());
        throw;
    }
    ShowFileCount(idle() ? 0 : m_command->FinishedCount());
}

void TUIHook::btnExportClick(QObject*)
{
    if (m_jobs->count() == 0)
        return;
    const QString chosen = SystemDialogs::current().getSaveFileName(nullptr, {}, listFilter());
    if (chosen.isEmpty())
        return;
    m_saveManager->ExportToFile(exportFileName(chosen).toStdString());
}

void TUIHook::pmiDeleteClick(QObject*)
{
    // What converts (or is being checked) stays; a waiting item leaves the run.
    for (JobListModel::Node* node : m_window->VirtualStringTree1->selectedNodes()) {
        if (node->State != kStateConverting)
            m_jobs->remove(node);
    }
    ShowFileCount(idle() ? 0 : m_command->FinishedCount());
}

void TUIHook::pmiClearClick(QObject*)
{
    if (idle()) {
        m_jobs->clear();
        ShowFileCount(0);
        return;
    }
    std::vector<JobListModel::Node*> ended;
    for (int row = 0; row < m_jobs->count(); ++row) {
        if (m_jobs->nodeAt(row)->State != kStateConverting)
            ended.push_back(m_jobs->nodeAt(row));
    }
    for (JobListModel::Node* node : ended)
        m_jobs->remove(node);
    ShowFileCount(m_command->FinishedCount());
}

void TUIHook::refreshUnavailableFormats()
{
    if (m_formatDialog)
        markUnavailable(*m_formatDialog);
}

void TUIHook::markUnavailable(TFileDialog& dialog) const
{
    // A format this machine cannot make stays in its place, so indexes keep, and says why.
    const FfmpegProbe::Answer abilities = FfmpegProbe::of(m_command->FfmpegPath)->answer();
    for (int i = 0; i < static_cast<int>(m_commandManager->Formats().size()); ++i) {
        if (const Wording why = m_commandManager->unavailability(i, abilities.get()); !why.empty())
            dialog.setUnavailable(i, QString::fromStdString(why.shown));
    }
}

TItemNodeData* TUIHook::focusedNode() const
{
    const QModelIndex focused = m_window->VirtualStringTree1->currentIndex();
    return focused.isValid() && m_window->VirtualStringTree1->selectionModel()->hasSelection()
        ? m_jobs->nodeAt(focused.row())
        : nullptr;
}

void TUIHook::pmiShowLogClick(QObject*)
{
    if (const TItemNodeData* node = focusedNode(); node && !node->Log.isEmpty())
        openOrSay(node->Log);
}

void TUIHook::pmiOpenFolderClick(QObject*)
{
    if (const TItemNodeData* node = focusedNode(); node && !node->Output.isEmpty())
        openOrSay(QFileInfo(node->Output).absolutePath());
}

void TUIHook::openOrSay(const QString& path)
{
    if (!SystemDialogs::current().openUrl(QUrl::fromLocalFile(path).toString()))
        m_messages->show(QMessageBox::Warning, tr("No program was found to open \"%1\".").arg(path));
}

void TUIHook::pmiPropertiesClick(QObject*)
{
    const JobListView& view = *m_window->VirtualStringTree1;
    std::vector<TItemNodeData*> nodes = view.selectedNodes();
    if (nodes.empty() && view.currentIndex().isValid())
        nodes.push_back(m_jobs->nodeAt(view.currentIndex().row()));
    ShowItemProperties(nodes);
}

void TUIHook::CommandProgress(TDosCommand*, std::int32_t Percent)
{
    // At least the finished items' share; with several at once the running
    // ones may have taken the bar further already.
    showBar(Percent);
    ShowFileCount(m_command->FinishedCount());
}

void TUIHook::showBar(int percent)
{
    // Within a run the bar goes back only when items joined it.
    TFSProgressBar& bar = *m_window->ProgressBar1;
    const int items = m_command->RunItemCount();
    if (percent > bar.Position() || items > m_barItems)
        bar.SetPosition(percent);
    m_barItems = items;
}

void TUIHook::CommandFinished(TDosCommand*, bool Stopped)
{
    SetIdleState();
    m_sleepInhibitor->release();
    // The time the run took, no longer any time left.
    m_window->lbTimer->setText(timestampText(m_elapsedShown));
    if (Stopped)
        return;
    const RunSummary& run = m_command->lastRun();
    const QString text = endOfRunText(run);
    if (run.failed > 0 && !run.failures.front().log.empty())
        m_messages->show(QMessageBox::Warning, text, tr("Show log"),
            [this, log = QString::fromStdString(run.failures.front().log)] { openOrSay(log); });
    else
        m_messages->show(run.failed > 0 ? QMessageBox::Warning : QMessageBox::Information, text);
    // Someone who went away from the window learns it from the desktop.
    if (!m_window->isActiveWindow())
        notifyDesktop(tr("Conversion finished"), text);
    // The box waits for its OK; what comes after the run does not. A run
    // whose every item the user stopped was, in effect, stopped.
    if (run.converted + run.failed > 0)
        startWhenDone();
}

void TUIHook::showItemProgress()
{
    showBar(static_cast<int>(m_command->runFraction() * 100));
}

void TUIHook::CommandTick(QTimer*)
{
    m_elapsedShown = m_command->Elapsed();
    m_window->lbTimer->setText(timestampText(m_command->Elapsed(), m_command->runSecondsLeft()));
}

QString closeQuestionText(int converting)
{
    if (converting == 1)
        return TUIHook::tr("1 conversion is running. Stop it and quit?");
    return TUIHook::tr("%n conversions are running. Stop them and quit?", nullptr, converting);
}

std::unique_ptr<QMessageBox> makeCloseQuestion(int converting, QWidget* parent)
{
    auto question = std::make_unique<QMessageBox>(QMessageBox::Question, QApplication::applicationName(),
        closeQuestionText(converting), QMessageBox::NoButton, parent);
    question->addButton(TUIHook::tr("Stop and quit"), QMessageBox::DestructiveRole);
    QPushButton* keep = question->addButton(TUIHook::tr("Keep converting"), QMessageBox::RejectRole);
    question->setDefaultButton(keep);
    question->setEscapeButton(keep);
    return question;
}

bool TUIHook::MayClose()
{
    if (!m_command || idle() || m_sessionEnding)
        return true;
    int converting = 0;
    for (int row = 0; row < m_jobs->count(); ++row)
        converting += m_jobs->nodeAt(row)->State == kStateConverting ? 1 : 0;
    // Between two items nothing converts for a moment, but the run goes on.
    const std::unique_ptr<QMessageBox> question = makeCloseQuestion(std::max(converting, 1), m_window);
    question->exec();
    return question->clickedButton() && question->buttonRole(question->clickedButton()) == QMessageBox::DestructiveRole;
}

void TUIHook::WindowClosing()
{
    // The list as it is before the driver ends its items: converting ones start again next time.
    if (m_queueKeeper)
        m_queueKeeper->finish();
    if (m_command)
        m_command->Stop();
}

void TUIHook::SessionEnding(bool quitting)
{
    m_sessionEnding = true;
    if (quitting)
        WindowClosing();
}

void TUIHook::ShowItemProperties(TItemNodeData* node)
{
    ShowItemProperties(std::vector<TItemNodeData*> {node});
}

void TUIHook::ShowItemProperties(const std::vector<TItemNodeData*>& chosen)
{
    std::vector<TItemNodeData*> nodes;
    for (TItemNodeData* node : chosen) {
        if (node && m_jobs->indexOf(node) >= 0)
            nodes.push_back(node);
    }
    if (nodes.empty())
        return;
    TItemDlg dialog(m_commandManager->Formats(), m_window);
    markUnavailable(dialog);
    const TItemData& first = nodes.front()->Item;
    const auto allAlike = [&nodes](const auto& field) {
        return std::all_of(
            nodes.begin(), nodes.end(), [&](const TItemNodeData* node) { return field(*node) == field(*nodes[0]); });
    };
    const bool oneFormat = allAlike([](const TItemNodeData& node) { return node.Item.FormatIndex; });
    const bool onePath = allAlike([](const TItemNodeData& node) { return node.Item.Path; });
    const bool knownFormat = oneFormat && m_commandManager->isValidIndex(first.FormatIndex);
    for (const TItemNodeData* node : nodes)
        dialog.MyListBox1->addItem(node->Item.FileName);
    // Differing values show as such, and stay each item's own unless one is chosen.
    // What a field shows for items whose values differ.
    const QString several = tr("(several)");
    if (!oneFormat)
        dialog.ComboBox1->setPlaceholderText(several);
    dialog.ComboBox1->setCurrentIndex(knownFormat ? first.FormatIndex : -1);
    if (onePath)
        dialog.etDirectory->setText(first.Path);
    else
        dialog.etDirectory->setPlaceholderText(several);
    QPlainTextEdit& memo = *dialog.Memo1;
    if (nodes.size() == 1) {
        const std::string fileName = first.FileName.toStdString();
        memo.appendPlainText(tr("file name: %1").arg(QString::fromStdString(extractFileName(fileName))));
        memo.appendPlainText(tr("file size: %1 Bytes").arg(GetFileSize(fileName)));
        // A converted item's note: what was checked, or why not, and damage met.
        if (nodes.front()->State == kStateDone && !nodes.front()->Remark.isEmpty())
            memo.appendPlainText(tr("note: %1").arg(nodes.front()->Remark));
    } else {
        // An input that is gone blocks nothing here: the others may still be changed.
        std::int64_t total = 0;
        int missing = 0;
        for (const TItemNodeData* node : nodes) {
            try {
                total += GetFileSize(node->Item.FileName.toStdString());
            } catch (const std::exception&) {
                ++missing;
            }
        }
        memo.appendPlainText(tr("file count: %1").arg(nodes.size()));
        memo.appendPlainText(tr("file size: %1 Bytes in all").arg(total)
            + (missing > 0 ? tr(" (%1 not found)").arg(missing) : QString()));
    }
    if (!oneFormat) {
        memo.appendPlainText(tr("format: several, each kept unless one is chosen"));
    } else if (!knownFormat) {
        // Nothing in the list stands for the item's format: say so, and keep
        // it unless the user picks one.
        memo.appendPlainText(tr("format: unknown (number %1), choose one").arg(first.FormatIndex));
    }
    if (!onePath)
        memo.appendPlainText(tr("save path: several, each kept unless one is chosen"));
    m_formatDialog = &dialog;
    dialog.exec();
    if (!dialog.OK())
        return;
    // An item that converts by now keeps what it converts with; the others take the change.
    for (TItemNodeData* node : nodes) {
        if (m_jobs->indexOf(node) < 0 || node->State == kStateConverting)
            continue;
        if (dialog.formatIndex() >= 0)
            node->Item.FormatIndex = dialog.formatIndex();
        if (onePath || dialog.directoryChosen())
            node->Item.Path = dialog.directory();
        m_jobs->nodeChanged(node);
    }
}
