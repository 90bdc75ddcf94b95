#include "app/WatchNotifications.h"

#include "lang/LangString.h"
#include "support/AddressText.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace
{

QString EventLine(const WatchEvent& event)
{
    switch (event.kind) {
    case WatchEventKind::MacChanged:
        return FormatLangStringA(0xF305, "%s_IP%: MAC address %s_PREVIOUS% is now %s_MAC%",
                                 {FormatIpAddress(event.ip), FormatMacAddress(event.previousMac),
                                  FormatMacAddress(event.mac)});
    case WatchEventKind::IpChanged:
        return FormatLangStringA(0xF306, "%s_MAC%: IP address %s_PREVIOUS% is now %s_IP%",
                                 {FormatMacAddress(event.mac), FormatIpAddress(event.previousIp),
                                  FormatIpAddress(event.ip)});
    default:
        return FormatLangStringA(0xF307, "%s_IP% (%s_MAC%)",
                                 {FormatIpAddress(event.ip), FormatMacAddress(event.mac)});
    }
}

QString SummaryOf(WatchEventKind kind)
{
    switch (kind) {
    case WatchEventKind::New:
        return FormatLangStringA(0xF308, "New host on the network");
    case WatchEventKind::MacChanged:
        return FormatLangStringA(0xF309, "A host's MAC address changed");
    case WatchEventKind::IpChanged:
        return FormatLangStringA(0xF30A, "A host's IP address changed");
    case WatchEventKind::Gone:
        return FormatLangStringA(0xF30B, "A host left the network");
    case WatchEventKind::Back:
        return FormatLangStringA(0xF30C, "A host is back on the network");
    case WatchEventKind::Baseline:
        break;
    }
    return QString();
}

} // namespace

void WatchNotifications::Add(const std::vector<WatchEvent>& events)
{
    for (const WatchEvent& event : events) {
        if (event.kind == WatchEventKind::Baseline)
            continue;
        if (m_choice == Choice::NewHostsOnly && event.kind != WatchEventKind::New)
            continue;
        // A flood keeps what the notification can name and a count of the rest.
        if (qsizetype(m_named.size()) < kNamedHosts)
            m_named.push_back(event);
        ++m_waiting;
        m_allNew = m_allNew && event.kind == WatchEventKind::New;
    }
}

std::optional<WatchNotification> WatchNotifications::Take(qint64 now, qint64* dueAt)
{
    if (m_waiting == 0)
        return std::nullopt;
    if (m_lastShown && now - *m_lastShown < kMinGapMs) {
        if (dueAt)
            *dueAt = *m_lastShown + kMinGapMs;
        return std::nullopt;
    }
    m_lastShown = now;
    WatchNotification shown;
    const qsizetype count = m_waiting;
    if (count == 1)
        shown.summary = SummaryOf(m_named.front().kind);
    else if (m_allNew)
        shown.summary = FormatLangStringA(0xF30D, "%d_COUNT% new hosts", {int(count)});
    else
        shown.summary = FormatLangStringA(0xF30E, "%d_COUNT% changes on the network", {int(count)});
    QStringList lines;
    for (const WatchEvent& event : m_named)
        lines << EventLine(event);
    if (count > kNamedHosts)
        lines << FormatLangStringA(0xF30F, "and %d_MORE% more", {int(count - kNamedHosts)});
    shown.body = lines.join(u'\n');
    m_named.clear();
    m_waiting = 0;
    m_allNew = true;
    return shown;
}

bool DesktopNotifier::Show(const WatchNotification& notification)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout.
    call << FormatLangStringA(0xF310, "Lanvey") << quint32(0) << QStringLiteral("lanvey")
         << notification.summary << notification.body << QStringList() << QVariantMap()
         << qint32(-1);
    // No answer is awaited: a desktop without the service must not hold the watch up.
    return bus.send(call);
}
