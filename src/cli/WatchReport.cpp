#include "cli/WatchReport.h"

#include "lang/DisplayText.h"
#include "support/AddressText.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QByteArray WatchEventLine(const WatchEvent& event, const WatchHostInfo& host)
{
    QJsonObject line;
    line.insert(QStringLiteral("time"),
                QDateTime::fromMSecsSinceEpoch(event.time, Qt::UTC).toString(Qt::ISODateWithMs));
    line.insert(QStringLiteral("event"), WatchEventKeyword(event.kind));
    if (event.kind == WatchEventKind::Baseline) {
        line.insert(QStringLiteral("hosts"), event.hosts);
    } else {
        line.insert(QStringLiteral("ip"), FormatIpAddress(event.ip));
        line.insert(QStringLiteral("mac"), FormatMacAddress(event.mac));
        line.insert(QStringLiteral("vendor"), host.vendor);
        line.insert(QStringLiteral("host_name"), host.hostName);
        QJsonArray names;
        for (const OtherName& name : host.otherNames)
            names.append(QJsonObject{{QStringLiteral("name"), name.name},
                                     {QStringLiteral("source"), NameSourceTag(name.source)}});
        line.insert(QStringLiteral("other_names"), names);
        line.insert(QStringLiteral("flags"), QJsonArray::fromStringList(host.flags));
        if (event.kind == WatchEventKind::MacChanged)
            line.insert(QStringLiteral("previous"),
                        QJsonObject{{QStringLiteral("mac"), FormatMacAddress(event.previousMac)}});
        else if (event.kind == WatchEventKind::IpChanged)
            line.insert(QStringLiteral("previous"),
                        QJsonObject{{QStringLiteral("ip"), FormatIpAddress(event.previousIp)}});
    }
    // Qt escapes C0 in strings; DEL and C1 are escaped here, where only strings hold them.
    const QString text = QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact));
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (IsControlChar(c.unicode()))
            shown += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown.toUtf8() + '\n';
}
