#pragma once

// A session bus of the test's own (Debian's dbus-daemon) with the freedesktop notification
// service as the test plays it: every Notify call is recorded.

#include <QByteArray>
#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

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

// Starts the daemon, points DBUS_SESSION_BUS_ADDRESS at it (before anything of the
// process connects to a session bus) and registers the service on a connection of its own.
class TestSessionBus
{
public:
    // Empty when all went well, else why not.
    QString Start()
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address")});
        if (!m_daemon.waitForStarted())
            return QStringLiteral("dbus-daemon (package dbus-daemon) is needed");
        if (!m_daemon.waitForReadyRead(5000))
            return QStringLiteral("dbus-daemon gave no address");
        const QByteArray address = m_daemon.readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QDBusConnection bus =
            QDBusConnection::connectToBus(QString::fromLatin1(address), kConnection);
        if (!bus.isConnected() ||
            !bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                QDBusConnection::ExportScriptableSlots) ||
            !bus.registerService(QStringLiteral("org.freedesktop.Notifications")))
            return QStringLiteral("the notification service could not be registered");
        return {};
    }

    ~TestSessionBus()
    {
        QDBusConnection::disconnectFromBus(kConnection);
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }

    NotificationService service;

private:
    static inline const QString kConnection = QStringLiteral("service");
    QProcess m_daemon;
};
