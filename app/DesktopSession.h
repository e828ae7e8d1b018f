#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QDBusPendingCallWatcher;
class QDBusUnixFileDescriptor;

// Keeps the machine from going to sleep while a conversion runs, through
// logind's Inhibit on the system bus. Without the bus or the service nothing
// happens; nothing here ever waits for an answer.
class SleepInhibitor final : public QObject {
    Q_OBJECT

public:
    SleepInhibitor();
    ~SleepInhibitor() override;

    void hold(const QString& why);
    void release();
    // True while logind has granted the lock.
    bool held() const;

private:
    std::unique_ptr<QDBusUnixFileDescriptor> m_lock;
    QDBusPendingCallWatcher* m_pending = nullptr; // a child of this object
};

// A desktop notification through the freedesktop notification service on
// the session bus; nothing happens where no such service runs.
void notifyDesktop(const QString& summary, const QString& body);

// Ask logind on the system bus to suspend or to power off the machine, as
// the user who runs Calvera, without an authentication dialog (interactive
// false). Nothing waits for the answer; failed is told why, later, when
// logind cannot be asked or refuses (the user may not).
void requestSuspend(const std::function<void(const QString& why)>& failed = {});
void requestPowerOff(const std::function<void(const QString& why)>& failed = {});
