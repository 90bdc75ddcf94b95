#include "cli/HistoryReport.h"

#include "cli/ScanReport.h"
#include "lang/DisplayText.h"
#include "records/RecordExchange.h"
#include "support/AddressText.h"
#include "support/NVOUI.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{

QByteArray Write(HistoryFormat format, const QStringList& titles, const QStringList& keys,
                 const std::vector<QStringList>& rows)
{
    switch (format) {
    case HistoryFormat::Csv:
        return WriteCsvTable(titles, rows);
    case HistoryFormat::Json: {
        QJsonArray array;
        for (const QStringList& row : rows) {
            QJsonObject object;
            for (qsizetype i = 0; i < keys.size() && i < row.size(); ++i)
                if (!row[i].isEmpty())
                    object.insert(keys[i], row[i]);
            array.append(object);
        }
        return QJsonDocument(array).toJson(QJsonDocument::Indented);
    }
    case HistoryFormat::Table:
        break;
    }
    std::vector<QStringList> shown;
    for (const QStringList& row : rows) {
        QStringList cells;
        for (const QString& cell : row)
            cells << EscapeControlChars(cell);
        shown.push_back(cells);
    }
    return FormatTextTable(titles, shown).toUtf8();
}

} // namespace

std::optional<HistoryFormat> HistoryFormatNamed(const QString& name)
{
    if (name == QLatin1String("table"))
        return HistoryFormat::Table;
    if (name == QLatin1String("csv"))
        return HistoryFormat::Csv;
    if (name == QLatin1String("json"))
        return HistoryFormat::Json;
    return std::nullopt;
}

QString HistoryTimeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODate);
}

std::optional<qint64> ParseHistoryTime(const QString& text)
{
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid()) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (!date.isValid())
            return std::nullopt;
        time = QDateTime(date, QTime(0, 0), Qt::UTC);
    }
    // A time without a zone is taken as UTC, as every time lanvey-db prints.
    if (time.timeSpec() == Qt::LocalTime)
        time.setTimeSpec(Qt::UTC);
    return time.toMSecsSinceEpoch();
}

QByteArray WriteHistory(HistoryFormat format, const std::vector<DatabaseFile::HistoryPair>& pairs,
                        const CNVOUI* oui)
{
    std::vector<QStringList> rows;
    for (const DatabaseFile::HistoryPair& entry : pairs)
        rows.push_back({FormatIpAddress(entry.pair.ip), FormatMacAddress(entry.pair.mac),
                        oui ? oui->GetManufacturerOf(entry.pair.mac) : QString(),
                        HistoryTimeText(entry.pair.firstSeen), HistoryTimeText(entry.pair.lastSeen),
                        QString::number(entry.pair.sweepsSeen), entry.hostName,
                        OtherNamesText(entry.otherNames)});
    return Write(
        format,
        {QStringLiteral("IP Address"), QStringLiteral("MAC Address"),
         QStringLiteral("Manufacturer"), QStringLiteral("First Seen"), QStringLiteral("Last Seen"),
         QStringLiteral("Sweeps"), QStringLiteral("Host Name"), QStringLiteral("Other Names")},
        {QStringLiteral("ip"), QStringLiteral("mac"), QStringLiteral("vendor"),
         QStringLiteral("first_seen"), QStringLiteral("last_seen"), QStringLiteral("sweeps"),
         QStringLiteral("host_name"), QStringLiteral("other_names")},
        rows);
}

QByteArray WriteEvents(HistoryFormat format, const std::vector<WatchEvent>& events)
{
    std::vector<QStringList> rows;
    for (const WatchEvent& event : events) {
        const bool baseline = event.kind == WatchEventKind::Baseline;
        rows.push_back({HistoryTimeText(event.time), WatchEventKeyword(event.kind),
                        baseline ? QString() : FormatIpAddress(event.ip),
                        baseline ? QString() : FormatMacAddress(event.mac),
                        event.kind == WatchEventKind::IpChanged ? FormatIpAddress(event.previousIp)
                        : event.kind == WatchEventKind::MacChanged
                            ? FormatMacAddress(event.previousMac)
                            : QString(),
                        baseline ? QString::number(event.hosts) : QString()});
    }
    return Write(format,
                 {QStringLiteral("Time"), QStringLiteral("Event"), QStringLiteral("IP Address"),
                  QStringLiteral("MAC Address"), QStringLiteral("Previous"),
                  QStringLiteral("Hosts")},
                 {QStringLiteral("time"), QStringLiteral("event"), QStringLiteral("ip"),
                  QStringLiteral("mac"), QStringLiteral("previous"), QStringLiteral("hosts")},
                 rows);
}
