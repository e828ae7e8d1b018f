#include "RunController.h"

#include "ClockText.h"
#include "DesktopSession.h"
#include "FSProgressBar.h"
#include "FormsSupport.h"
#include "JobListModel.h"
#include "JobListView.h"
#include "MessageQueue.h"
#include "OptionsPage.h"
#include "SystemDialogs.h"
#include "WhenDoneNotice.h"
#include "command.h"
#include "imagebutton.h"
#include "mainForm.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QUrl>

namespace {

// A tool button and its caption: the button first, then the caption's colour.
void setToolEnabled(TImageButton& button, QLabel& caption, bool enabled)
{
    button.SetEnabled(enabled);
    setTextColor(caption, enabled ? kCaptionColor : kDisabledCaptionColor);
}

} // namespace

QString timestampText(std::int64_t seconds, std::int64_t secondsLeft)
{
    const QString elapsed = QString::fromStdString(clockText(seconds));
    if (secondsLeft < 0)
        return RunController::tr("timestamp: %1").arg(elapsed);
    return RunController::tr("timestamp: %1, about %2 left")
        .arg(elapsed, QString::fromStdString(clockText(secondsLeft)));
}

QString fileCountText(int count, int finished, int of)
{
    return RunController::tr("%n files, finished %1 of %2", nullptr, count).arg(finished).arg(of);
}

namespace {

QString fittedText(int fitted)
{
    return RunController::tr("%n converted within the size limit", nullptr, fitted);
}

} // namespace

QString endOfRunText(const RunSummary& run)
{
    if (run.failed == 0 && run.stopped == 0) {
        QString text = RunController::tr("Congratulations, works done!");
        // What the user may still want to look at, in one line.
        QStringList notes;
        if (run.unchecked > 0)
            notes << RunController::tr("%n converted without a check of its length", nullptr, run.unchecked);
        if (run.decodeErrors > 0)
            notes << RunController::tr(
                "%n decoding errors in the inputs (see the items' logs)", nullptr, run.decodeErrors);
        if (run.fitted > 0)
            notes << fittedText(run.fitted);
        if (!notes.isEmpty())
            text += "\n" + notes.join("; ") + ".";
        // Skipped items are counted apart, so that a run that converted nothing says why.
        if (run.skipped > 0)
            text += "\n"
                + RunController::tr("%1 converted, %2 skipped, 0 failed.")
                      .arg(QString::number(run.converted), QString::number(run.skipped));
        return text;
    }
    QString text = run.skipped > 0
        ? RunController::tr("%1 converted, %2 skipped, %3 failed, %4 stopped.")
              .arg(QString::number(run.converted), QString::number(run.skipped), QString::number(run.failed),
                  QString::number(run.stopped))
        : RunController::tr("%1 converted, %2 failed, %3 stopped.")
              .arg(QString::number(run.converted), QString::number(run.failed), QString::number(run.stopped));
    if (run.fitted > 0)
        text += " " + fittedText(run.fitted) + ".";
    // The first few that failed, each with why.
    constexpr std::size_t kNamed = 5;
    if (!run.failures.empty())
        text += "\n\n" + RunController::tr("Failed:");
    for (std::size_t i = 0; i < run.failures.size() && i < kNamed; ++i)
        text += "\n" + QString::fromStdString(run.failures[i].source + ": " + run.failures[i].reasonShown);
    if (run.failures.size() > kNamed)
        text += "\n" + RunController::tr("and %1 more").arg(run.failures.size() - kNamed);
    if (!run.outputFolders.empty())
        text += "\n\n" + RunController::tr("Converted into:");
    for (const std::string& folder : run.outputFolders)
        text += "\n" + QString::fromStdString(folder);
    return text;
}

QString closeQuestionText(int converting)
{
    if (converting == 1)
        return RunController::tr("1 conversion is running. Stop it and quit?");
    return RunController::tr("%n conversions are running. Stop them and quit?", nullptr, converting);
}

std::unique_ptr<QMessageBox> makeCloseQuestion(int converting, QWidget* parent)
{
    auto question = std::make_unique<QMessageBox>(QMessageBox::Question, QApplication::applicationName(),
        closeQuestionText(converting), QMessageBox::NoButton, parent);
    question->addButton(RunController::tr("Stop and quit"), QMessageBox::DestructiveRole);
    QPushButton* keep = question->addButton(RunController::tr("Keep converting"), QMessageBox::RejectRole);
    question->setDefaultButton(keep);
    question->setEscapeButton(keep);
    return question;
}

RunController::RunController(TmainDlg& window, TCommand& driver, JobListModel& jobs, MessageQueue& messages)
    : m_window(window)
    , m_driver(driver)
    , m_jobs(jobs)
    , m_messages(messages)
    , m_sleepInhibitor(std::make_unique<SleepInhibitor>())
{
    connect(
        &m_driver, &TCommand::itemProgress, this, [this] { showBar(static_cast<int>(m_driver.runFraction() * 100)); });
    connect(&m_driver, &TCommand::pausedChanged, this, [this](bool paused) {
        // A held run keeps no lock against sleeping; it takes it again when it goes on.
        if (paused)
            m_sleepInhibitor->release();
        else
            m_sleepInhibitor->hold(tr("Converting videos"));
        m_window.showConvertAs(paused ? "resume" : "pause");
    });
    // Items added or removed during a run change its count.
    for (const auto& changed : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(&m_jobs, changed, this, [this] {
            if (!idle())
                refreshFileCount();
        });
    }
    // The item that starts is the one in view.
    connect(&m_driver, &TCommand::itemStarted, this, [this](TItemNodeData* node) {
        const QModelIndex index = m_jobs.index(m_jobs.indexOf(node), 0);
        m_window.VirtualStringTree1->setCurrentIndex(index);
        m_window.VirtualStringTree1->scrollTo(index);
    });
}

RunController::~RunController() = default;

bool RunController::idle() const
{
    return m_driver.Idle();
}

void RunController::start(const std::function<bool(const TItemNodeData&)>& wanted)
{
    // A new run is what the user wants now, not the end of the last one.
    dropWhenDoneNotice();
    showRunning(true);
    m_window.ProgressBar1->SetPosition(0);
    m_barItems = 0;
    m_elapsedShown = 0;
    m_window.lbTimer->setText(timestampText(0));
    m_sleepInhibitor->hold(tr("Converting videos"));
    m_driver.Start(wanted);
    // A selection of nothing starts nothing.
    if (m_driver.Idle())
        finished(true);
}

bool RunController::mayClose()
{
    if (idle())
        return true;
    int converting = 0;
    for (int row = 0; row < m_jobs.count(); ++row)
        converting += isWorking(m_jobs.nodeAt(row)->State) ? 1 : 0;
    // Between two items nothing converts for a moment, but the run goes on.
    const std::unique_ptr<QMessageBox> question = makeCloseQuestion(std::max(converting, 1), &m_window);
    question->exec();
    return question->clickedButton() && question->buttonRole(question->clickedButton()) == QMessageBox::DestructiveRole;
}

void RunController::togglePause()
{
    if (m_driver.Paused())
        m_driver.Resume();
    else
        m_driver.Pause();
}

void RunController::showRunning(bool running)
{
    // Items may be added during a run: they join it. Convert holds and lets go of a running one.
    setToolEnabled(*m_window.btnAdd, *m_window.lbAdd, true);
    m_window.showConvertAs(!running ? "convert" : m_driver.Paused() ? "resume" : "pause");
    setToolEnabled(*m_window.btnConvert, *m_window.lbConvert, true);
    setToolEnabled(*m_window.btnStop, *m_window.lbStop, running);
    // A run keeps the settings it started with.
    m_window.OptionsPage1->setEnabled(!running);
}

void RunController::showFileCount(int finished)
{
    // During a run, of all the run's items: those ended, running and waiting.
    const int count = m_jobs.count();
    const int of = idle() ? count : m_driver.RunItemCount();
    m_window.lbCount->setText(fileCountText(count, finished, of));
}

void RunController::refreshFileCount()
{
    showFileCount(idle() ? 0 : m_driver.FinishedCount());
}

void RunController::progress(std::int32_t percent)
{
    // At least the finished items' share; with several at once the running
    // ones may have taken the bar further already.
    showBar(percent);
    showFileCount(m_driver.FinishedCount());
}

void RunController::showBar(int percent)
{
    // Within a run the bar goes back only when items joined it.
    TFSProgressBar& bar = *m_window.ProgressBar1;
    const int items = m_driver.RunItemCount();
    if (percent > bar.Position() || items > m_barItems)
        bar.SetPosition(percent);
    m_barItems = items;
}

void RunController::finished(bool stopped)
{
    showRunning(false);
    m_sleepInhibitor->release();
    // The time the run took, no longer any time left.
    m_window.lbTimer->setText(timestampText(m_elapsedShown));
    if (stopped)
        return;
    const RunSummary& run = m_driver.lastRun();
    const QString text = endOfRunText(run);
    if (run.failed > 0 && !run.failures.front().log.empty())
        m_messages.show(QMessageBox::Warning, text, tr("Show log"),
            [this, log = QString::fromStdString(run.failures.front().log)] { openLog(log); });
    else
        m_messages.show(run.failed > 0 ? QMessageBox::Warning : QMessageBox::Information, text);
    // Someone who went away from the window learns it from the desktop.
    if (!m_window.isActiveWindow())
        notifyDesktop(tr("Conversion finished"), text);
    // The box waits for its OK; what comes after the run does not. A run
    // whose every item the user stopped was, in effect, stopped.
    if (run.converted + run.failed + run.skipped > 0)
        startWhenDone();
}

void RunController::tick()
{
    m_elapsedShown = m_driver.Elapsed();
    m_window.lbTimer->setText(timestampText(m_driver.Elapsed(), m_driver.runSecondsLeft()));
}

void RunController::dropWhenDoneNotice()
{
    m_whenDoneNotice.reset();
}

void RunController::startWhenDone()
{
    const WhenDone action = m_whenDone;
    if (action == WhenDone::Nothing)
        return;
    // Suspending or powering off was chosen for this run, not for every run to come.
    if ((action == WhenDone::Suspend || action == WhenDone::PowerOff) && forgetWhenDone)
        forgetWhenDone();
    m_whenDoneNotice = std::make_unique<WhenDoneNotice>(action, m_whenDoneCountdown);
    connect(m_whenDoneNotice.get(), &WhenDoneNotice::due, this, [this, action] { whenDoneDue(action); });
    // Beside the main window, where the user looks.
    m_whenDoneNotice->move(m_window.geometry().center() - m_whenDoneNotice->rect().center() + QPoint(0, 140));
    m_whenDoneNotice->show();
}

void RunController::whenDoneDue(WhenDone action)
{
    // The machine may be gone in a moment.
    if (action != WhenDone::Quit && beforeMachineGoes)
        beforeMachineGoes();
    const QPointer<RunController> alive(this);
    const auto sayFailed = [alive](const QString& what) {
        return [alive, what](const QString& why) {
            if (alive)
                alive->m_messages.show(QMessageBox::Warning, what + ": " + why);
        };
    };
    switch (action) {
    case WhenDone::Quit: m_window.close(); break;
    case WhenDone::Suspend: requestSuspend(sayFailed(tr("The computer could not be suspended"))); break;
    case WhenDone::PowerOff: requestPowerOff(sayFailed(tr("The computer could not be powered off"))); break;
    case WhenDone::Nothing: break;
    }
}

void RunController::openLog(const QString& path)
{
    if (!SystemDialogs::current().openUrl(QUrl::fromLocalFile(path).toString()))
        m_messages.show(QMessageBox::Warning, tr("No program was found to open \"%1\".").arg(path));
}
