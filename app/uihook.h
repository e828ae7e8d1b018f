#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <QStringList>

#include <chrono>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class JobListModel;
class MessageQueue;
class QObject;
class QWidget;
class QThread;
class QTimer;
class QueueKeeper;
class SleepInhibitor;
struct Settings;
struct RunSummary;
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
enum class WhenDone;

// The shipped help page, next to the program, and the project's home page.
inline constexpr const char* kHelpPage = "help/index.html";
inline constexpr const char* kHomePage = "https://calvera-video.org/";

// The main window's controller: owns the program-wide objects, binds the
// window's controls to its handlers and carries out the user's commands.
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
    // and directory, unless a conversion is running by the time it closes.
    void ShowItemProperties(TItemNodeData* node);
    // The same for several nodes at once: the dialog lists every file, a
    // field whose values differ shows "(several)" and is applied only when
    // the user changes it; a chosen format or folder goes to all of them.
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
    void setWhenDoneCountdown(std::chrono::milliseconds countdown) { m_whenDoneCountdown = countdown; }
    // The notice of the last run's end while it counts down or was shown; null before.
    WhenDoneNotice* whenDoneNotice() const { return m_whenDoneNotice.get(); }

    // The main window is closing: a running conversion ends now.
    void WindowClosing();
    // The desktop session is ending (the session manager asks for the
    // program's data, or the application quits): closing asks nothing, and
    // once the application quits a running conversion ends at once.
    void SessionEnding(bool quitting);

private:
    bool idle() const;
    void showRunning(bool running);
    // Starts a run over the items wanted selects, or all of them without it.
    void startRun(const std::function<bool(const TItemNodeData&)>& wanted);
    // The Option page's choices, for the driver and for the end of a run.
    void applySettings(const Settings& settings);
    // The Option page's when-done choice, after its notice, once a run ended by itself.
    void startWhenDone();
    void whenDoneDue(WhenDone action);
    // The real folder where items without their own go.
    QString outputFolderShown() const;
    // The keyboard shortcuts, the focus order, drops on the list and the accessible names.
    void bindKeys(TmainDlg& window);
    // The node the popup menu's item entries act on: the focused row's.
    TItemNodeData* focusedNode() const;
    void showItemProgress();
    // Files from outside once their folders were searched: list files imported, the rest through Add Files.
    void addFromOutside(const QStringList& paths);
    // Ends the folder searches still going on, and waits for their threads; their files never come in.
    void cancelFolderSearch();
    // Says, in a box, that what failed, with why, while the window lives.
    std::function<void(const QString& why)> sayFailed(const QString& what);
    // The main bar at percent of the run.
    void showBar(int percent);
    // Opens a file or folder with the desktop's program for it, or says that there is none.
    void openOrSay(const QString& path);
    void addFiles(const QStringList& files);
    // Greys out the formats this machine cannot make in a dialog's chooser.
    void markUnavailable(TFileDialog& dialog) const;

    std::unique_ptr<SleepInhibitor> m_sleepInhibitor;
    TmainDlg* m_window = nullptr;
    std::unique_ptr<MessageQueue> m_messages;
    std::unique_ptr<TCommandManager> m_commandManager;
    std::unique_ptr<TItemManager> m_itemManager;
    std::unique_ptr<TMenuDraw> m_menuDraw;
    std::unique_ptr<JobListModel> m_jobs;
    std::unique_ptr<TTreeManager> m_treeManager;
    std::unique_ptr<TCommand> m_command;
    std::unique_ptr<TSaveManager> m_saveManager;
    // After the job list and the list files it reads.
    std::unique_ptr<QueueKeeper> m_queueKeeper;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<WhenDoneNotice> m_whenDoneNotice;
    QPointer<TFileDialog> m_formatDialog; // the Add Files or Item Property dialog while it is open
    std::chrono::milliseconds m_whenDoneCountdown {60000};
    std::int64_t m_elapsedShown = 0; // the run's time at its last tick
    std::vector<std::unique_ptr<QThread>> m_folderSearches; // dropped folders searched for files to add
    std::shared_ptr<std::atomic<bool>> m_folderSearchCancelled = std::make_shared<std::atomic<bool>>(false);
    int m_barItems = 0; // the run's items when the main bar was last set
    bool m_sessionEnding = false;
};

// What closing the window asks while rows convert.
QString closeQuestionText(int converting);
class QMessageBox;
// The question itself: "Stop and quit", or "Keep converting" (the default, and Esc).
std::unique_ptr<QMessageBox> makeCloseQuestion(int converting, QWidget* parent);

// "timestamp: HH:MM:SS" for a number of seconds; the hours go on past 24 and 99.
// With a time left for the run: "timestamp: 00:03:12, about 00:07:40 left".
QString timestampText(std::int64_t seconds, std::int64_t secondsLeft = -1);

// "N files, finished F of N" under the list.
QString fileCountText(int count, int finished, int of);

// What the end of a run that was not stopped says.
QString endOfRunText(const RunSummary& run);

// Dropped paths as files to add: a folder gives the files in it (and below)
// that the Add filter lists, sorted; anything else stays as it is. The
// search ends early once cancelled is set.
QStringList filesToAdd(const QStringList& dropped, const std::atomic<bool>* cancelled = nullptr);

// The name an export writes to: the chosen name, with ".qfl" appended unless
// it already ends in exactly that extension.
QString exportFileName(const QString& chosen);
