#include "DesktopSession.h"

#include "FormsSupport.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>

SleepInhibitor::SleepInhibitor() = default;

SleepInhibitor::~SleepInhibitor() = default;

void SleepInhibitor::hold(const QString& why)
{
    release();
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "Inhibit");
    call << QStringLiteral("sleep") << QString(kApplicationName) << why << QStringLiteral("block");
    m_pending = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(m_pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* watcher) {
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
        if (watcher == m_pending && reply.isValid())
            m_lock = std::make_unique<QDBusUnixFileDescriptor>(reply.value());
        if (watcher == m_pending)
            m_pending = nullptr;
        watcher->deleteLater();
    });
}

void SleepInhibitor::release()
{
    // An answer still on its way is dropped when it comes; the lock goes with its descriptor.
    m_pending = nullptr;
    m_lock.reset();
}

bool SleepInhibitor::held() const
{
    return m_lock && m_lock->isValid();
}

void notifyDesktop(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.freedesktop.Notifications", "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "Notify");
    // The installed icon, and the entry the desktop groups the notification under.
    const QVariantMap hints {{"desktop-entry", QString(kDesktopFileId)}};
    call << QString(kApplicationName) << 0u << QString(kDesktopFileId) << summary << body << QStringList() << hints
         << -1;
    bus.asyncCall(call);
}

namespace {

void callLogind(const char* method, const std::function<void(const QString& why)>& failed)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        if (failed)
            failed(QCoreApplication::translate("DesktopSession", "there is no system bus to ask logind on"));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", method);
    call << false;
    // Told when logind refuses (no such service, no right to), never waited for.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [failed](QDBusPendingCallWatcher* done) {
        if (done->isError() && failed)
            failed(done->error().message());
        done->deleteLater();
    });
}

} // namespace

void requestSuspend(const std::function<void(const QString& why)>& failed)
{
    callLogind("Suspend", failed);
}

void requestPowerOff(const std::function<void(const QString& why)>& failed)
{
    callLogind("PowerOff", failed);
}
