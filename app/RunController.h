#pragma once

#include "Settings.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class JobListModel;
class MessageQueue;
class QMessageBox;
class QTimer;
class QWidget;
class SleepInhibitor;
class TCommand;
class TDosCommand;
class TmainDlg;
class WhenDoneNotice;
struct RunSummary;
struct TItemNodeData;

// The window's side of a conversion run, from Convert to its end: the tool
// buttons, the count line, the main bar, the clock, the end-of-run box, the
// lock against sleeping and what the Option page says to do afterwards. It
// follows the driver's signals and touches only the run's controls of the
// window it is given.
class RunController final : public QObject {
    Q_OBJECT

public:
    RunController(TmainDlg& window, TCommand& driver, JobListModel& jobs, MessageQueue& messages);
    ~RunController() override;

    bool idle() const;
    // Starts a run over the items wanted selects, or all of them without it.
    void start(const std::function<bool(const TItemNodeData&)>& wanted);
    // Holds a running run, or lets a held one go on.
    void togglePause();

    // The tool buttons as between runs, or during one.
    void showRunning(bool running);
    // "N files, finished F of N", of the run's items during a run.
    void showFileCount(int finished);
    // The count line as it stands now: of the run while one goes on.
    void refreshFileCount();

    // Whether the window may close now: during a run the user is asked
    // whether to stop the conversions.
    bool mayClose();

    // What the driver tells: an item ended (the run's share in percent), the
    // run ended, a second went by.
    void progress(std::int32_t percent);
    void finished(bool stopped);
    void tick();

    // What to do once a run ends by itself. Suspend and power off are for
    // the next run alone: once it ended they are given up (forget is told).
    void setWhenDone(WhenDone action) { m_whenDone = action; }
    std::function<void()> forgetWhenDone;
    // Before the machine is suspended or powered off (the kept queue is written).
    std::function<void()> beforeMachineGoes;

    // How long the notice before the when-done action counts down (a minute).
    void setWhenDoneCountdown(std::chrono::milliseconds countdown) { m_whenDoneCountdown = countdown; }
    // The notice of the last run's end while it counts down or was shown; null before.
    WhenDoneNotice* whenDoneNotice() const { return m_whenDoneNotice.get(); }
    // A new run, or the window going, is what counts now: the notice goes.
    void dropWhenDoneNotice();

private:
    void showBar(int percent);
    void startWhenDone();
    void whenDoneDue(WhenDone action);
    // Opens a failed item's log, or says that nothing can open it.
    void openLog(const QString& path);

    TmainDlg& m_window;
    TCommand& m_driver;
    JobListModel& m_jobs;
    MessageQueue& m_messages;
    std::unique_ptr<SleepInhibitor> m_sleepInhibitor;
    std::unique_ptr<WhenDoneNotice> m_whenDoneNotice;
    WhenDone m_whenDone = WhenDone::Nothing;
    std::chrono::milliseconds m_whenDoneCountdown {60000};
    std::int64_t m_elapsedShown = 0; // the run's time at its last tick
    int m_barItems = 0; // the run's items when the main bar was last set
};

// "timestamp: HH:MM:SS" for a number of seconds; the hours go on past 24 and 99.
// With a time left for the run: "timestamp: 00:03:12, about 00:07:40 left".
QString timestampText(std::int64_t seconds, std::int64_t secondsLeft = -1);

// "N files, finished F of N" under the list.
QString fileCountText(int count, int finished, int of);

// What the end of a run that was not stopped says.
QString endOfRunText(const RunSummary& run);

// What closing the window asks while rows convert.
QString closeQuestionText(int converting);
// The question itself: "Stop and quit", or "Keep converting" (the default, and Esc).
std::unique_ptr<QMessageBox> makeCloseQuestion(int converting, QWidget* parent);
