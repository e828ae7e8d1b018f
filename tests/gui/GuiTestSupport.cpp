#include "GuiTestSupport.h"

#include "EngineTestSupport.h"
#include "ProcessInfo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <unistd.h>

namespace {

// The next prepared answer, or an empty one (cancelled) when none is left.
template <typename Answer> Answer takeNext(std::deque<Answer>& answers)
{
    if (answers.empty())
        return {};
    Answer answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

} // namespace

bool clickClearButton(QLineEdit& edit)
{
    for (QToolButton* button : edit.findChildren<QToolButton*>()) {
        if (button->isVisibleTo(&edit) && button->defaultAction() && button->defaultAction()->isVisible()) {
            QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
            return true;
        }
    }
    return false;
}

FakeDialogs::FakeDialogs()
{
    SystemDialogs::replace(this);
}

FakeDialogs::~FakeDialogs()
{
    SystemDialogs::replace(nullptr);
}

QString FakeDialogs::getOpenFileName(QWidget*, const QString&, const QString& filter)
{
    calls << "open:" + filter;
    return takeNext(openAnswers).value(0);
}

QStringList FakeDialogs::getOpenFileNames(QWidget*, const QString&, const QString& filter)
{
    calls << "open-many:" + filter;
    return takeNext(openAnswers);
}

QString FakeDialogs::getSaveFileName(QWidget*, const QString&, const QString& filter)
{
    calls << "save:" + filter;
    return takeNext(saveAnswers);
}

QString FakeDialogs::getExistingDirectory(QWidget*, const QString& title, const QString&)
{
    calls << "folder:" + title;
    return takeNext(folderAnswers);
}

bool FakeDialogs::openUrl(const QString& address)
{
    calls << "url:" + address;
    return openUrlWorks;
}

MessageBoxAnswerer::MessageBoxAnswerer()
{
    QObject::connect(&m_poll, &QTimer::timeout, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        SeenMessage message {box->windowTitle(), box->text(), box->icon(), {}, {}, {}};
        QAbstractButton* chosen = box->button(QMessageBox::Ok);
        for (QAbstractButton* button : box->buttons()) {
            message.buttons << button->text();
            if (!answer.isEmpty() && button->text() == answer)
                chosen = button;
        }
        message.defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        message.escapeButton = box->escapeButton() ? box->escapeButton()->text() : QString();
        seen.push_back(message);
        if (!chosen)
            chosen = box->escapeButton();
        if (whileOpen)
            whileOpen(seen.back());
        QPointer<QMessageBox> open = box;
        QPointer<QAbstractButton> click = chosen;
        if (open && click)
            click->click();
    });
    m_poll.start(10);
}

bool MessageBoxAnswerer::waitUntilSeen(std::size_t count, int timeoutMs)
{
    return waitFor(
        [&] { return seen.size() >= count && !qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
        timeoutMs);
}

void whenModalShowsWidget(const std::function<bool(QWidget*)>& isIt, const std::function<void(QWidget&)>& act)
{
    // Gives up after a while, so that a dialog that never came cannot be
    // answered in a later test.
    auto* poll = new QTimer;
    poll->start(5);
    QElapsedTimer age;
    age.start();
    QObject::connect(poll, &QTimer::timeout, [poll, isIt, act, age] {
        QWidget* modal = QApplication::activeModalWidget();
        if (age.hasExpired(20000)) {
            poll->stop();
            poll->deleteLater();
            return;
        }
        if (!modal || !isIt(modal))
            return;
        poll->stop();
        poll->deleteLater();
        act(*modal);
    });
}

std::vector<long> childProcesses(const std::string& name)
{
    std::vector<long> found;
    for (const long pid : processIds()) {
        const std::optional<ProcessStat> stat = processStat(pid);
        if (!stat || stat->command != name || stat->parent != ::getpid() || stat->state == 'Z')
            continue;
        // ffmpeg asked for its encoders and muxers in the background converts nothing.
        // An ending process has no command line left to tell.
        const std::optional<std::string> commandLine = readWholeFile("/proc/" + std::to_string(pid) + "/cmdline");
        if (commandLine && commandLine->find(std::string("-hide_banner\0", 13)) == std::string::npos)
            found.push_back(pid);
    }
    return found;
}

JobListModel::Node* appendJob(JobListModel& jobs, const QString& file, int format, const QString& path)
{
    TItemData item;
    item.FileName = file;
    item.FormatIndex = format;
    item.Path = path;
    return jobs.append(item);
}
