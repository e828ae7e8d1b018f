#include "uihook.h"

#include "Guarded.h"
#include "ItemProperties.h"
#include "KeyBindings.h"

#include "imagebutton.h"
#include "MyButtonEx.h"
#include "LinePanelUnit.h"
#include "FSProgressBar.h"
#include "FileDialog.h"
#include "FormsSupport.h"
#include "ErrorReport.h"
#include "FfmpegAbilities.h"
#include "JobListModel.h"
#include "JobListView.h"
#include "LabelLinks.h"
#include "MessageQueue.h"
#include "OptionsPage.h"
#include "QueueKeeper.h"
#include "Settings.h"
#include "ProgramDir.h"
#include "SystemDialogs.h"
#include "command.h"
#include "commandManager.h"
#include "itemManager.h"
#include "mainForm.h"
#include "menuDraw.h"
#include "saveManager.h"
#include "treeManager.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QSessionManager>
#include <QUrl>

#include <algorithm>
#include <unordered_set>

TUIHook::TUIHook()
    : m_commandManager(std::make_unique<TCommandManager>())
    , m_itemManager(std::make_unique<TItemManager>())
    , m_menuDraw(std::make_unique<TMenuDraw>())
{ }

TUIHook::~TUIHook()
{
    if (m_intake)
        m_intake->cancelSearches();
    if (m_run)
        m_run->dropWhenDoneNotice();
    // The list as it is before the driver ends its items: converting ones start again next time.
    m_queueKeeper.reset();
    // The driver first: it ends a running ffmpeg, and nothing of it may reach
    // this controller, or the catalogue and job list it reads, afterwards.
    m_run.reset();
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
    const std::pair<QLabel*, TImageButton*> captions[] = {{window.lbAdd, window.btnAdd},
        {window.lbConvert, window.btnConvert}, {window.lbList, window.btnList}, {window.lbOption, window.btnOption},
        {window.lbStop, window.btnStop}, {window.lbSupport, window.btnSupport}};
    for (const auto& [label, button] : captions)
        forwardLabelToButton(*label, *button);

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
    bindPopupMenu(window);

    // The job list and its view.
    m_jobs = std::make_unique<JobListModel>();
    m_treeManager = std::make_unique<TTreeManager>(*m_jobs, *m_itemManager);
    JobListView& view = *window.VirtualStringTree1;
    view.bind(m_jobs.get(), window.listImage, &m_commandManager->shownFormats());
    view.setPopupMenu(m_menuDraw->AttachedMenu());
    view.onShowItemProperties = guarded([this] { pmiPropertiesClick(m_window->VirtualStringTree1); });
    view.canOfferMenu = [] { return true; };

    // The conversion driver, and ffmpeg asked for its abilities in the background from now on.
    m_command = std::make_unique<TCommand>(*m_jobs, *m_commandManager);
    // The choosers mark what it cannot make once it has answered, also in a dialog open by then.
    const QPointer<TmainDlg> alive(&window);
    FfmpegProbe::of(m_command->FfmpegPath)->whenAnswered([alive](const FfmpegProbe::Answer&) {
        if (alive && alive->controller())
            alive->controller()->refreshUnavailableFormats();
    });
    m_itemProperties = std::make_unique<ItemProperties>(*m_jobs, *m_commandManager, m_command->FfmpegPath);
    m_run = std::make_unique<RunController>(window, *m_command, *m_jobs, *m_messages);
    m_run->beforeMachineGoes = [this] {
        if (m_queueKeeper)
            m_queueKeeper->flush();
    };
    QObject::connect(m_command.get(), &TCommand::OnProgress, &view,
        guarded([this](TDosCommand* sender, std::int32_t percent) { CommandProgress(sender, percent); }));
    QObject::connect(m_command.get(), &TCommand::OnFinished, &view,
        guarded([this](TDosCommand* sender, bool stopped) { CommandFinished(sender, stopped); }));
    QObject::connect(
        m_command.get(), &TCommand::OnTick, &view, guarded([this](QTimer* sender) { CommandTick(sender); }));
    // Nothing runs yet.
    SetIdleState();

    // List files, and files from outside.
    m_saveManager = std::make_unique<TSaveManager>(*m_jobs);
    m_intake = std::make_unique<FileIntake>(
        FileIntake::Parts {*m_commandManager, *m_itemManager, *m_treeManager, *m_saveManager,
            [this] { return m_command->FfmpegPath; }, [this] { return outputFolderShown(); },
            [this] { return m_settings->addFromLast; }, m_formatDialog},
        &window);

    // The Option page: what it shows is what the driver uses, from the start.
    OptionsPage& options = *window.OptionsPage1;
    options.setSettings(Settings::load());
    applySettings(options.settings());
    QObject::connect(&options, &OptionsPage::changed, &options, guarded([this](const Settings& settings) {
        settings.save();
        applySettings(settings);
    }));
    m_run->forgetWhenDone = [&options] {
        Settings settings = options.settings();
        settings.whenDone = WhenDone::Nothing;
        options.setSettings(settings);
        emit options.changed(settings);
    };

    // Logging out ends Calvera as a termination request does: at once, asking nothing.
    QObject::connect(
        qGuiApp, &QGuiApplication::commitDataRequest, &window, [this](QSessionManager&) { SessionEnding(false); },
        Qt::DirectConnection);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &window, [this] { SessionEnding(true); });

    bindKeys(window,
        {[this, &window] { btnAddClick(window.btnAdd); }, [this, &window] { btnConvertClick(window.btnConvert); },
            [this, &window] { btnStopClick(window.btnStop); },
            [this, &window] {
                if (!idle())
                    pmiPauseClick(window.btnConvert);
            },
            [this, &window] { btnImportClick(window.btnImport); },
            [this, &window] { btnExportClick(window.btnExport); },
            [this, &window] { pmiDeleteClick(window.pmiDelete); },
            [this](const QStringList& paths) { openFiles(paths); }});

    // Your own formats that could not be read are left out; the shipped ones are all there.
    if (!m_commandManager->userCatalogueError().empty())
        m_messages->show(QMessageBox::Warning, QString::fromStdString(m_commandManager->userCatalogueError()));
}

void TUIHook::bindPopupMenu(TmainDlg& window)
{
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
        window.pmiOpenFolder->setEnabled(node && node->State == ItemState::done && !node->Output.isEmpty());
        bool anyConverted = false;
        bool anyLeft = false;
        for (int row = 0; row < m_jobs->count(); ++row)
            (isFinished(m_jobs->nodeAt(row)->State) ? anyConverted : anyLeft) = true;
        window.pmiConvertRest->setEnabled(anyLeft);
        window.pmiRemoveFinished->setEnabled(anyConverted);
        window.pmiStopItem->setEnabled(!idle() && view.selectionModel()->hasSelection());
        window.pmiPause->setEnabled(!idle());
        window.pmiPause->setText(TmainDlg::pauseEntryText(m_command->Paused()));
    });
}

bool TUIHook::idle() const
{
    return m_command->Idle();
}

void TUIHook::SetIdleState()
{
    m_run->showRunning(false);
}

void TUIHook::SetRunningState()
{
    m_run->showRunning(true);
}

void TUIHook::applySettings(const Settings& settings)
{
    m_settings = std::make_unique<Settings>(settings);
    if (m_queueKeeper)
        m_queueKeeper->setKeeping(!settings.startEmpty);
    m_command->Jobs = settings.jobs;
    m_command->GlobalPath = settings.outputFolder.toStdString();
    m_command->Verify = settings.verifyDecode ? Verification::decode : Verification::duration;
    m_command->Flat = settings.flat;
    m_command->SkipExisting = settings.skipExisting;
    m_run->setWhenDone(settings.whenDone);
}

void TUIHook::keepQueue(const QString& folder)
{
    m_queueKeeper = std::make_unique<QueueKeeper>(*m_jobs, *m_saveManager, folder);
    const QString told = m_queueKeeper->start(!m_settings->startEmpty);
    if (!told.isEmpty())
        m_messages->show(QMessageBox::Warning, told);
    ShowFileCount(0);
}

QString TUIHook::outputFolderShown() const
{
    return QString::fromStdString(m_command->GlobalPath.empty() ? defaultOutputFolder() : m_command->GlobalPath);
}

void TUIHook::ShowFileCount(int finished)
{
    m_run->showFileCount(finished);
}

void TUIHook::btnAddClick(QObject*)
{
    m_intake->chooseAndAdd();
    m_run->refreshFileCount();
}

void TUIHook::openFiles(const QStringList& paths)
{
    // Refused while Add is.
    if (m_window->btnAdd->Enabled())
        m_intake->open(paths, guarded([this] { m_run->refreshFileCount(); }));
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
    m_run->start({});
}

void TUIHook::pmiConvertRestClick(QObject*)
{
    // The chosen items, or all of them, that are not converted yet.
    const std::vector<TItemNodeData*> chosen = m_window->VirtualStringTree1->selectedNodes();
    const std::unordered_set<const TItemNodeData*> wanted(chosen.begin(), chosen.end());
    const auto isRest = [wanted](const JobListModel::Node& node) {
        return !isFinished(node.State) && !isWorking(node.State) && (wanted.empty() || wanted.contains(&node));
    };
    if (idle()) {
        m_run->start(isRest);
        return;
    }
    // During a run they join it.
    for (int row = 0; row < m_jobs->count(); ++row) {
        if (isRest(*m_jobs->nodeAt(row)))
            m_command->Enqueue(m_jobs->nodeAt(row));
    }
    m_run->refreshFileCount();
}

void TUIHook::pmiStopItemClick(QObject*)
{
    for (TItemNodeData* node : m_window->VirtualStringTree1->selectedNodes())
        m_command->StopItem(node);
    if (!idle())
        m_run->refreshFileCount();
}

void TUIHook::pmiPauseClick(QObject*)
{
    m_run->togglePause();
}

void TUIHook::pmiRemoveFinishedClick(QObject*)
{
    m_jobs->removeIf([](const JobListModel::Node& node) { return isFinished(node.State); });
    m_run->refreshFileCount();
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
        m_run->refreshFileCount();
        throw;
    }
    m_run->refreshFileCount();
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
        if (!isWorking(node->State))
            m_jobs->remove(node);
    }
    m_run->refreshFileCount();
}

void TUIHook::pmiClearClick(QObject*)
{
    if (idle()) {
        m_jobs->clear();
        m_run->refreshFileCount();
        return;
    }
    m_jobs->removeIf([](const JobListModel::Node& node) { return !isWorking(node.State); });
    m_run->refreshFileCount();
}

void TUIHook::refreshUnavailableFormats()
{
    if (m_formatDialog)
        markUnavailableFormats(*m_formatDialog, *m_commandManager, m_command->FfmpegPath);
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
    m_run->progress(Percent);
}

void TUIHook::CommandFinished(TDosCommand*, bool Stopped)
{
    m_run->finished(Stopped);
}

void TUIHook::CommandTick(QTimer*)
{
    m_run->tick();
}

bool TUIHook::MayClose()
{
    return !m_run || m_sessionEnding || m_run->mayClose();
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

void TUIHook::ShowItemProperties(const std::vector<TItemNodeData*>& nodes)
{
    m_itemProperties->edit(
        nodes, [this] { return !idle(); }, m_window, m_formatDialog);
}
