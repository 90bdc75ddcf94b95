// What a watch tells the desktop: events combined at most every 10 s, and the call that
// reaches a notification service on a real session bus.

#include "RecordTestUtil.h"
#include "SessionBusTestUtil.h"
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

TEST(DesktopNotifier, TheServiceOnTheSessionBusGetsTheSummaryAndTheBody)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    TestSessionBus bus;
    const QString why = bus.Start();
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    ASSERT_TRUE(DesktopNotifier::Show({QStringLiteral("3 new hosts"), QStringLiteral("a\nb")}));
    QElapsedTimer clock;
    clock.start();
    while (bus.service.calls.isEmpty() && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_EQ(bus.service.calls.size(), 1);
    EXPECT_EQ(bus.service.calls[0],
              (QStringList{QStringLiteral("Lanvey"), QStringLiteral("3 new hosts"),
                           QStringLiteral("a\nb")}));
}
