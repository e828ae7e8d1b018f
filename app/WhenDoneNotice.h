#pragma once

#include "Settings.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <chrono>

class QLabel;
class TMyButtonEx;

// The notice before what the Option page says to do when a run ends: a
// small window of its own, not modal and not owned by the main window, so
// that the end-of-run message box neither hides nor blocks it. It counts
// down and emits due() when the time is up, unless Cancel (or Esc) closed
// it first; either way it then hides.
class WhenDoneNotice final : public QWidget {
    Q_OBJECT

public:
    WhenDoneNotice(WhenDone action, std::chrono::milliseconds countdown);

    WhenDone action() const { return m_action; }
    // Whole seconds left, rounded up, as the notice shows them.
    int secondsLeft() const;
    // Until it was cancelled or the time was up.
    bool counting() const { return m_end.isActive(); }
    QString text() const;

    QLabel* lbText;
    TMyButtonEx* btnCancel;

signals:
    void due();
    void cancelled();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showTimeLeft();

    WhenDone m_action;
    std::chrono::milliseconds m_countdown;
    QElapsedTimer m_started;
    QTimer m_end;
    QTimer m_tick;
};

// What the notice says with seconds left before the action.
QString whenDoneText(WhenDone action, int secondsLeft);
