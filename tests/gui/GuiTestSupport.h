#pragma once

#include "JobListModel.h"
#include "SystemDialogs.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <string>
#include <vector>

// Stands in for the system's dialogs while it lives: each chooser takes the
// next prepared answer (none left: cancelled) and every call is recorded.
class FakeDialogs final : public SystemDialogs {
public:
    FakeDialogs();
    ~FakeDialogs() override;

    QString getOpenFileName(QWidget* owner, const QString& title, const QString& filter) override;
    QStringList getOpenFileNames(QWidget* owner, const QString& title, const QString& filter) override;
    QString getSaveFileName(QWidget* owner, const QString& title, const QString& filter) override;
    QString getExistingDirectory(QWidget* owner, const QString& title, const QString& initial) override;
    bool openUrl(const QString& address) override;

    std::deque<QStringList> openAnswers; // for both open choosers
    std::deque<QString> saveAnswers;
    std::deque<QString> folderAnswers;
    bool openUrlWorks = true; // false: as on a desktop without a program for the address

    // "open:<filter>", "open-many:<filter>", "save:<filter>", "folder:<title>", "url:<address>".
    QStringList calls;
};

// A message box as the user saw it.
struct SeenMessage {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QStringList buttons; // their captions, in the box's order
    QString defaultButton;
    QString escapeButton;
};

// Answers every message box that shows while it lives, after recording it:
// with the button captioned answer, else OK, else the box's escape button.
// It optionally runs a hook while the box is open.
class MessageBoxAnswerer final {
public:
    MessageBoxAnswerer();
    // Runs the event loop until count boxes have been seen and answered.
    bool waitUntilSeen(std::size_t count, int timeoutMs = 10000);
    std::vector<SeenMessage> seen;
    std::function<void(const SeenMessage&)> whileOpen;
    QString answer;

private:
    QTimer m_poll;
};

// Clicks, as the user does, the button inside an edit that empties it;
// false when the edit shows none.
bool clickClearButton(QLineEdit& edit);

// Appends a queued item to the job list.
JobListModel::Node* appendJob(JobListModel& jobs, const QString& file, int format, const QString& path);

// The running (not zombie) child processes of this one with that command name,
// ffmpeg's background questions for its encoders and muxers left out.
std::vector<long> childProcesses(const std::string& name);

// Runs act on the next modal dialog of type Dialog once it shows.
template <typename Dialog> void whenModalShows(const std::function<void(Dialog&)>& act);

void whenModalShowsWidget(const std::function<bool(QWidget*)>& isIt, const std::function<void(QWidget&)>& act);

template <typename Dialog> void whenModalShows(const std::function<void(Dialog&)>& act)
{
    whenModalShowsWidget([](QWidget* widget) { return qobject_cast<Dialog*>(widget) != nullptr; },
        [act](QWidget& widget) { act(static_cast<Dialog&>(widget)); });
}
