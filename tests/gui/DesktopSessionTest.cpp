// The sleep lock, the desktop notification and what comes after a run
// against real D-Bus peers: a private dbus-daemon stands in for both the
// system and the session bus, and this test serves logind's Inhibit, Suspend
// and PowerOff and the notification service on it.

#include "DesktopSession.h"
#include "EngineTestSupport.h"
#include "FormsSupport.h"
#include "GuiTestSupport.h"
#include "OptionsPage.h"
#include "Settings.h"
#include "TempDir.h"
#include "WhenDoneNotice.h"
#include "command.h"
#include "imagebutton.h"
#include "mainForm.h"
#include "uihook.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusUnixFileDescriptor>
#include <QProcess>
#include <QTest>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <unistd.h>

namespace {

class FakeLogind final : public QObject, protected QDBusContext {
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
    QStringList calls; // "Suspend false", "PowerOff false"
    bool refuse = false; // answers Suspend and PowerOff as logind does a user without the right

    bool lockReleased() const
    {
        pollfd end {lockEnd, POLLIN, 0};
        return lockEnd >= 0 && ::poll(&end, 1, 0) == 1 && (end.revents & POLLHUP);
    }

private:
    void called(const QString& call)
    {
        calls << call;
        if (refuse)
            sendErrorReply(QDBusError::AccessDenied, "Interactive authentication required.");
    }

public slots:
    void Suspend(bool interactive) { called(QString("Suspend ") + (interactive ? "true" : "false")); }
    void PowerOff(bool interactive) { called(QString("PowerOff ") + (interactive ? "true" : "false")); }
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

// Serves the fake logind and notification service on the private bus while it lives.
class DesktopSession : public testing::Test {
protected:
    void SetUp() override
    {
        const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        if (address.isEmpty() || !QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no private dbus-daemon could be started (install dbus-daemon)";
        services = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "services"));
        ASSERT_TRUE(services->isConnected());
        ASSERT_TRUE(services->registerObject("/org/freedesktop/login1", &logind, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(services->registerService("org.freedesktop.login1"));
        ASSERT_TRUE(services->registerObject(
            "/org/freedesktop/Notifications", &notifications, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(services->registerService("org.freedesktop.Notifications"));
    }
    void TearDown() override
    {
        if (!services)
            return;
        services->unregisterService("org.freedesktop.login1");
        services->unregisterService("org.freedesktop.Notifications");
        services.reset();
        QDBusConnection::disconnectFromBus("services");
    }

    FakeLogind logind;
    FakeNotifications notifications;
    std::unique_ptr<QDBusConnection> services;
};

TEST_F(DesktopSession, TheSleepLockIsHeldUntilReleasedAndNotificationsReachTheService)
{
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
}

TEST_F(DesktopSession, SuspendAndPowerOffAskLogindWithoutAnAuthenticationDialog)
{
    requestSuspend();
    ASSERT_TRUE(waitFor([&] { return logind.calls.size() == 1; }, 10000));
    requestPowerOff();
    ASSERT_TRUE(waitFor([&] { return logind.calls.size() == 2; }, 10000));
    EXPECT_EQ(logind.calls, (QStringList {"Suspend false", "PowerOff false"}));
}

// Chosen on the Option page for the next run.
void choose(TmainDlg& window, WhenDone action)
{
    Settings chosen = window.OptionsPage1->settings();
    chosen.whenDone = action;
    window.OptionsPage1->setSettings(chosen);
    emit window.OptionsPage1->changed(chosen);
}

TEST_F(DesktopSession, AfterARunTheWindowSuspendsOrPowersOffOnceItsNoticeIsOver)
{
    const TemporaryStateHome home;
    TempDir dir;
    MessageBoxAnswerer boxes;
    for (const WhenDone action : {WhenDone::Suspend, WhenDone::PowerOff}) {
        logind.calls.clear();
        TmainDlg window;
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        choose(window, action);
        window.controller()->setWhenDoneCountdown(std::chrono::milliseconds(300));
        // An item whose format is not in the catalogue: the run ends at once, by itself.
        appendJob(*window.controller()->jobs(), QString::fromStdString(dir.file("a.avi")), 99, {});
        window.controller()->btnConvertClick(window.btnConvert);
        ASSERT_TRUE(waitFor([&] { return !logind.calls.isEmpty(); }, 10000));
        EXPECT_EQ(logind.calls, QStringList {action == WhenDone::Suspend ? "Suspend false" : "PowerOff false"});
        ASSERT_NE(window.controller()->whenDoneNotice(), nullptr);
        EXPECT_FALSE(window.controller()->whenDoneNotice()->isVisible());
        EXPECT_TRUE(window.isVisible()) << "only Quit closes the window";
        ASSERT_TRUE(boxes.waitUntilSeen(2));
    }

    // Cancelled, nothing reaches logind.
    TmainDlg window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.controller()->setWhenDoneCountdown(std::chrono::milliseconds(300));
    choose(window, WhenDone::Suspend);
    logind.calls.clear();
    appendJob(*window.controller()->jobs(), QString::fromStdString(dir.file("a.avi")), 99, {});
    window.controller()->btnConvertClick(window.btnConvert);
    ASSERT_TRUE(waitFor([&] { return window.controller()->whenDoneNotice() != nullptr; }, 10000));
    QTest::keyClick(window.controller()->whenDoneNotice(), Qt::Key_Escape);
    requestSuspend(); // a call of the test's own, after which the window's would have come
    ASSERT_TRUE(waitFor([&] { return !logind.calls.isEmpty(); }, 10000));
    ASSERT_TRUE(boxes.waitUntilSeen(6));
    EXPECT_FALSE(window.controller()->whenDoneNotice()->counting());
    EXPECT_EQ(logind.calls, QStringList {"Suspend false"}) << "only the test's own";
}

TEST_F(DesktopSession, ARefusalFromLogindIsSaidInABox)
{
    const TemporaryStateHome home;
    TempDir dir;
    MessageBoxAnswerer boxes;
    logind.refuse = true;
    for (const WhenDone action : {WhenDone::Suspend, WhenDone::PowerOff}) {
        TmainDlg window;
        choose(window, action);
        window.controller()->setWhenDoneCountdown(std::chrono::milliseconds(100));
        const std::size_t before = boxes.seen.size();
        appendJob(*window.controller()->jobs(), QString::fromStdString(dir.file("a.avi")), 99, {});
        window.controller()->btnConvertClick(window.btnConvert);
        ASSERT_TRUE(boxes.waitUntilSeen(before + 3)) << "the format's error, the end of the run, the refusal";
        EXPECT_EQ(boxes.seen.back().icon, QMessageBox::Warning);
        EXPECT_EQ(boxes.seen.back().text,
            QString(action == WhenDone::Suspend ? "The computer could not be suspended"
                                                : "The computer could not be powered off")
                + ": Interactive authentication required.");
    }
    logind.refuse = false;
}

TEST_F(DesktopSession, AHeldRunGivesTheSleepLockBackAndTakesItAgainWhenItGoesOn)
{
    const TemporaryStateHome home;
    TempDir dir;
    writeScript(dir.file("ffmpeg"), standInArguments() + "exec sleep 60\n");
    TmainDlg window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.controller()->driver()->FfmpegPath = dir.file("ffmpeg");
    appendJob(*window.controller()->jobs(), QString::fromStdString(dir.file("a.avi")), 0,
        QString::fromStdString(dir.prefix()));
    window.controller()->btnConvertClick(window.btnConvert);
    ASSERT_TRUE(waitFor([&] { return logind.lockEnd >= 0 && !logind.lockReleased(); }, 10000));
    const int firstLock = logind.lockEnd;
    window.controller()->pmiPauseClick(window.btnConvert);
    EXPECT_TRUE(waitFor([&] { return logind.lockReleased(); }, 10000)) << "a held run lets the machine sleep";
    window.controller()->pmiPauseClick(window.btnConvert);
    EXPECT_TRUE(waitFor([&] { return logind.lockEnd != firstLock && !logind.lockReleased(); }, 10000))
        << "and keeps it awake again when it goes on";
    window.controller()->btnStopClick(window.btnStop);
    EXPECT_TRUE(waitFor([&] { return window.controller()->driver()->Idle(); }, 10000));
}

} // namespace

int main(int argc, char* argv[])
{
    useEnglishLocale();
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const TemporaryStateHome state;
    nameApplication();
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    daemon.kill();
    daemon.waitForFinished(5000);
    return result;
}

#include "DesktopSessionTest.moc"
