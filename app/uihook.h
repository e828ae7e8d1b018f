#pragma once

#include "FileIntake.h"
#include "RunController.h"

#include <QCoreApplication>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ItemProperties;
class JobListModel;
class MessageQueue;
class QObject;
class QTimer;
class QueueKeeper;
struct Settings;
struct TItemNodeData;
class TCommand;
class TCommandManager;
class TDosCommand;
class TFileDialog;
class TItemManager;
class TMenuDraw;
class TSaveManager;
class TTreeManager;
class TmainDlg;
class WhenDoneNotice;

// The shipped help page, next to the program, and the project's home page.
inline constexpr const char* kHelpPage = "help/index.html";
inline constexpr const char* kHomePage = "https://calvera-video.org/";

// The main window's controller: owns the program-wide objects, binds the
// window's controls to its handlers and carries out the user's commands. A
// run's life is the run controller's; the driver's events reach it through
// the handlers here.
class TUIHook final {
    Q_DECLARE_TR_FUNCTIONS(TUIHook)

public:
    // Creates the format catalogue, the staging list and the menu painter.
    TUIHook();
    // Ends a running conversion first; nothing of it reaches the window afterwards.
    ~TUIHook();
    TUIHook(const TUIHook&) = delete;
    TUIHook& operator=(const TUIHook&) = delete;

    // Binds the window's controls, then creates the job list, the driver and
    // the list import and export on its job list view.
    void HookControls(TmainDlg& window);

    TCommandManager& catalogue() const { return *m_commandManager; }
    TItemManager& staging() const { return *m_itemManager; }
    TMenuDraw& menuDraw() const { return *m_menuDraw; }
    JobListModel* jobs() const { return m_jobs.get(); }
    TTreeManager* treeManager() const { return m_treeManager.get(); }
    TCommand* driver() const { return m_command.get(); }
    TSaveManager* saveManager() const { return m_saveManager.get(); }
    RunController* run() const { return m_run.get(); }

    // The tool buttons' enabled states and their captions' colours.
    void SetIdleState();
    void SetRunningState();
    // "N files, finished F of N".
    void ShowFileCount(int finished);

    void btnAddClick(QObject* Sender);
    void btnConvertClick(QObject* Sender);
    void btnStopClick(QObject* Sender);
    void btnSupportClick(QObject* Sender);
    void btnListClick(QObject* Sender);
    void btnOptionClick(QObject* Sender);
    void btnImportClick(QObject* Sender);
    void btnExportClick(QObject* Sender);
    void lbUpdateClick(QObject* Sender);
    void pmiDeleteClick(QObject* Sender);
    // Ends the selected items' conversions while the run goes on; waiting ones leave the run.
    void pmiStopItemClick(QObject* Sender);
    // Holds every running conversion, or lets them go on.
    void pmiPauseClick(QObject* Sender);
    void pmiClearClick(QObject* Sender);
    void pmiPropertiesClick(QObject* Sender);
    void pmiShowLogClick(QObject* Sender);
    void pmiOpenFolderClick(QObject* Sender);
    // Converts the items that are not converted yet; Convert converts them all.
    void pmiConvertRestClick(QObject* Sender);
    // Takes the converted items off the list.
    void pmiRemoveFinishedClick(QObject* Sender);

    void CommandProgress(TDosCommand* Sender, std::int32_t Percent);
    void CommandFinished(TDosCommand* Sender, bool Stopped);
    void CommandTick(QTimer* Sender);

    // Shows the Item Property dialog for node and applies the chosen format
    // and directory to it, unless it runs or ran in the run going on by the
    // time the dialog closes.
    void ShowItemProperties(TItemNodeData* node);
    // The same for several nodes at once: the dialog lists every file, a
    // field whose values differ shows "(several)" and is applied only when
    // the user changes it; a chosen format or folder goes to all of them
    // (during a run, to those still waiting).
    void ShowItemProperties(const std::vector<TItemNodeData*>& nodes);

    // Greys out, in the Add Files or Item Property dialog open now (if any),
    // the formats found unavailable since it opened; a choice made stays.
    // For when what ffmpeg can do becomes known while a dialog is open.
    void refreshUnavailableFormats();

    // Files from outside (the command line, a drop): list files are imported,
    // folders searched (on a thread of their own) for the files the Add filter
    // lists, and the files go through the Add Files dialog as if chosen in
    // the file chooser; during a run they join it. A list file that cannot be
    // read is told in a box.
    void openFiles(const QStringList& paths);

    // Whether the window may close now: during a run the user is asked
    // whether to stop the conversions, unless the session is ending.
    bool MayClose();
    // Keeps the job list in folder/queue.qfl for the next start (runCalvera
    // gives $XDG_STATE_HOME/calvera/): restores it now, unless the Option page
    // says to start empty or another window keeps it, and says so when it cannot.
    void keepQueue(const QString& folder);
    QueueKeeper* queueKeeper() const { return m_queueKeeper.get(); }

    // How long the notice before the when-done action counts down (a minute).
    void setWhenDoneCountdown(std::chrono::milliseconds countdown) { m_run->setWhenDoneCountdown(countdown); }
    // The notice of the last run's end while it counts down or was shown; null before.
    WhenDoneNotice* whenDoneNotice() const { return m_run ? m_run->whenDoneNotice() : nullptr; }

    // The main window is closing: a running conversion ends now.
    void WindowClosing();
    // The desktop session is ending (the session manager asks for the
    // program's data, or the application quits): closing asks nothing, and
    // once the application quits a running conversion ends at once.
    void SessionEnding(bool quitting);

private:
    bool idle() const;
    // The Option page's choices, for the driver and for the end of a run.
    void applySettings(const Settings& settings);
    // The real folder where items without their own go.
    QString outputFolderShown() const;
    // The popup menu's entries, and which of them fit the list as it is now.
    void bindPopupMenu(TmainDlg& window);
    // The node the popup menu's item entries act on: the focused row's.
    TItemNodeData* focusedNode() const;
    // Opens a file or folder with the desktop's program for it, or says that there is none.
    void openOrSay(const QString& path);

    TmainDlg* m_window = nullptr;
    std::unique_ptr<MessageQueue> m_messages;
    std::unique_ptr<TCommandManager> m_commandManager;
    std::unique_ptr<TItemManager> m_itemManager;
    std::unique_ptr<TMenuDraw> m_menuDraw;
    std::unique_ptr<JobListModel> m_jobs;
    std::unique_ptr<TTreeManager> m_treeManager;
    std::unique_ptr<TCommand> m_command;
    std::unique_ptr<RunController> m_run;
    std::unique_ptr<ItemProperties> m_itemProperties;
    std::unique_ptr<TSaveManager> m_saveManager;
    std::unique_ptr<FileIntake> m_intake;
    // After the job list and the list files it reads.
    std::unique_ptr<QueueKeeper> m_queueKeeper;
    std::unique_ptr<Settings> m_settings;
    QPointer<TFileDialog> m_formatDialog; // the Add Files or Item Property dialog while it is open
    bool m_sessionEnding = false;
};
