// What a watch tells the desktop: events combined at most every 10 s, and the call that
// reaches a notification service on a real session bus.

#include "RecordTestUtil.h"
#include "app/WatchNotifications.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QVariantMap>
#include <gtest/gtest.h>

namespace
{

WatchEvent NewHost(int n, qint64 time = 0)
{
    return {time,
            WatchEventKind::New,
            IpOf("198.18.0.0") + quint32(n) * 0x01000000u,
            MacOf("02:00:00:00:00:00") + quint64(n) * 0x10000000000ull,
            0,
            0,
            0};
}

} // namespace

TEST(WatchNotifications, AFloodIsCombinedIntoOneNotificationEveryTenSeconds)
{
    WatchNotifications notifications;
    notifications.Add({{0, WatchEventKind::Baseline, 0, 0, 0, 0, 24}, NewHost(1)});
    const auto first = notifications.Take(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->summary, QStringLiteral("New host on the network"));
    EXPECT_EQ(first->body, QStringLiteral("198.18.0.1 (02:00:00:00:00:01)"));

    std::vector<WatchEvent> flood;
    for (int n = 2; n < 14; ++n)
        flood.push_back(NewHost(n));
    notifications.Add(flood);
    qint64 due = 0;
    EXPECT_FALSE(notifications.Take(9999, &due));
    EXPECT_EQ(due, 10000);
    const auto combined = notifications.Take(10000);
    ASSERT_TRUE(combined);
    EXPECT_EQ(combined->summary, QStringLiteral("12 new hosts"));
    const QStringList lines = combined->body.split(u'\n');
    ASSERT_EQ(lines.size(), WatchNotifications::kNamedHosts + 1);
    EXPECT_EQ(lines.back(), QStringLiteral("and 7 more"));
    EXPECT_FALSE(notifications.Take(30000)) << "nothing waits";

    // New hosts only: a change waits for nothing and shows nothing.
    notifications.SetChoice(WatchNotifications::Choice::NewHostsOnly);
    notifications.Add(
        {{0, WatchEventKind::Gone, IpOf("198.18.0.9"), MacOf("02:00:00:00:00:09"), 0, 0, 0}});
    EXPECT_FALSE(notifications.Take(40000));
}

// The freedesktop notification service, as the test plays it.
class NotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public slots:
    Q_SCRIPTABLE uint Notify(const QString& appName, uint, const QString&, const QString& summary,
                             const QString& body, const QStringList&, const QVariantMap&, int)
    {
        calls << QStringList{appName, summary, body};
        return uint(calls.size());
    }

public:
    QList<QStringList> calls;
};

TEST(DesktopNotifier, TheServiceOnTheSessionBusGetsTheSummaryAndTheBody)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    // A session bus of the test's own.
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address")});
    ASSERT_TRUE(daemon.waitForStarted()) << "dbus-daemon (package dbus-daemon) is needed";
    ASSERT_TRUE(daemon.waitForReadyRead(5000));
    const QByteArray address = daemon.readLine().trimmed();
    ASSERT_FALSE(address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    {
        QDBusConnection service =
            QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("service"));
        ASSERT_TRUE(service.isConnected());
        NotificationService notifications;
        ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                           &notifications, QDBusConnection::ExportScriptableSlots));
        ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

        ASSERT_TRUE(DesktopNotifier::Show({QStringLiteral("3 new hosts"), QStringLiteral("a\nb")}));
        QElapsedTimer clock;
        clock.start();
        while (notifications.calls.isEmpty() && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        ASSERT_EQ(notifications.calls.size(), 1);
        EXPECT_EQ(notifications.calls[0],
                  (QStringList{QStringLiteral("Lanvey"), QStringLiteral("3 new hosts"),
                               QStringLiteral("a\nb")}));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    }
    daemon.terminate();
    daemon.waitForFinished(5000);
}

#include "test_watch_notifications.moc"
