// The sleep lock and the desktop notification against real D-Bus peers: a
// private dbus-daemon stands in for both the system and the session bus, and
// this test serves logind's Inhibit and the notification service on it.

#include "DesktopSession.h"
#include "EngineTestSupport.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QProcess>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <unistd.h>

namespace {

class FakeLogind final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~FakeLogind() override
    {
        if (lockEnd >= 0)
            ::close(lockEnd);
    }
    QString what, mode;
    int lockEnd = -1; // our end of the lock; it hangs up once every copy of the other end is closed

    bool lockReleased() const
    {
        pollfd end {lockEnd, POLLIN, 0};
        return lockEnd >= 0 && ::poll(&end, 1, 0) == 1 && (end.revents & POLLHUP);
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString&, const QString&, const QString& mode)
    {
        this->what = what;
        this->mode = mode;
        int ends[2];
        if (::pipe(ends) != 0)
            return {};
        lockEnd = ends[0];
        QDBusUnixFileDescriptor given(ends[1]); // a copy travels with the answer
        ::close(ends[1]);
        return given;
    }
};

class FakeNotifications final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList summaries;
    QString icon;
    QVariantMap hints;

public slots:
    uint Notify(const QString&, uint, const QString& icon, const QString& summary, const QString&, const QStringList&,
        const QVariantMap& hints, int)
    {
        summaries << summary;
        this->icon = icon;
        this->hints = hints;
        return 1;
    }
};

TEST(DesktopSession, TheSleepLockIsHeldUntilReleasedAndNotificationsReachTheService)
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty() || !QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no private dbus-daemon could be started (install dbus-daemon)";
    QDBusConnection services = QDBusConnection::connectToBus(address, "services");
    ASSERT_TRUE(services.isConnected());
    FakeLogind logind;
    FakeNotifications notifications;
    ASSERT_TRUE(services.registerObject("/org/freedesktop/login1", &logind, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(services.registerService("org.freedesktop.login1"));
    ASSERT_TRUE(
        services.registerObject("/org/freedesktop/Notifications", &notifications, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(services.registerService("org.freedesktop.Notifications"));

    SleepInhibitor inhibitor;
    inhibitor.hold("Converting videos");
    ASSERT_TRUE(waitFor([&] { return inhibitor.held(); }, 10000));
    EXPECT_EQ(logind.what, "sleep");
    EXPECT_EQ(logind.mode, "block");
    EXPECT_FALSE(logind.lockReleased()) << "held while the run goes on";
    inhibitor.release();
    EXPECT_TRUE(waitFor([&] { return logind.lockReleased(); }, 10000)) << "given back at the end of the run";

    notifyDesktop("Conversion finished", "Congratulations, works done!");
    EXPECT_TRUE(waitFor([&] { return !notifications.summaries.isEmpty(); }, 10000));
    EXPECT_EQ(notifications.summaries.value(0), "Conversion finished");
    EXPECT_EQ(notifications.icon, "org.calvera_video.Calvera") << "the installed icon's name";
    EXPECT_EQ(notifications.hints.value("desktop-entry").toString(), "org.calvera_video.Calvera");
    QDBusConnection::disconnectFromBus("services");
}

} // namespace

int main(int argc, char* argv[])
{
    // A bus of the test's own, for both the system's and the session's
    // services, started before anything connects to either.
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    QString address;
    if (daemon.waitForStarted(5000) && daemon.waitForReadyRead(5000))
        address = QString::fromUtf8(daemon.readLine()).trimmed();
    if (!address.isEmpty()) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());
    } else {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    daemon.kill();
    daemon.waitForFinished(5000);
    return result;
}

#include "DesktopSessionTest.moc"
