#include "cli/ScanReport.h"

#include "lang/LangString.h"
#include "records/CompareResult.h"
#include "records/RecordColumns.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

ScanReportRow MakeScanReportRow(const HostRecord& record, const CNVOUI* oui)
{
    ScanReportRow row;
    row.ip = ScanCellText(record, ScanColIp, oui);
    row.mac = ScanCellText(record, ScanColMac, oui);
    row.hostName = ScanCellText(record, ScanColHostName, oui);
    row.workgroup = ScanCellText(record, ScanColWorkgroup, oui);
    row.manufacturer = ScanCellText(record, ScanColVendor, oui);
    row.compare = ScanCellText(record, ScanColCompare, oui, false);
    row.ipState = record.ipState;
    row.macState = record.macState;
    row.overallState = record.overallState;
    return row;
}

QStringList ScanReportTitles()
{
    return ScanColumnTitles();
}

QString CompareStateName(CompareState state)
{
    switch (state) {
    case CompareState::Matched:
        return QStringLiteral("matched");
    case CompareState::Different:
        return QStringLiteral("different");
    case CompareState::New:
        break;
    }
    return QStringLiteral("new");
}

namespace
{

QStringList Cells(const ScanReportRow& row)
{
    return {row.ip, row.mac, row.hostName, row.workgroup, row.manufacturer, row.compare};
}

QString CsvField(const QString& text)
{
    const bool quote = text.contains(u',') || text.contains(u'"') || text.contains(u'\n') ||
                       text.contains(u'\r') || text.startsWith(u' ') || text.endsWith(u' ');
    if (!quote)
        return text;
    QString escaped = text;
    escaped.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

QString CsvLine(const QStringList& fields)
{
    QStringList escaped;
    for (const QString& field : fields)
        escaped << CsvField(field);
    return escaped.join(u',') + QStringLiteral("\r\n");
}

} // namespace

QString FormatScanCsv(const std::vector<ScanReportRow>& rows)
{
    // The header is quoted as the titles were asked for, whatever they hold.
    QStringList titles;
    for (const QString& title : ScanReportTitles())
        titles << u'"' + QString(title).replace(QStringLiteral("\""), QStringLiteral("\"\"")) +
                      u'"';
    QString text = titles.join(u',') + QStringLiteral("\r\n");
    for (const ScanReportRow& row : rows)
        text += CsvLine(Cells(row));
    return text;
}

QString FormatScanJson(const std::vector<ScanReportRow>& rows)
{
    QJsonArray array;
    for (const ScanReportRow& row : rows) {
        QJsonObject object;
        object.insert(QStringLiteral("ip"), row.ip);
        object.insert(QStringLiteral("mac"), row.mac);
        object.insert(QStringLiteral("hostName"), row.hostName);
        object.insert(QStringLiteral("workgroup"), row.workgroup);
        object.insert(QStringLiteral("manufacturer"), row.manufacturer);
        object.insert(QStringLiteral("compare"), CompareStateName(row.overallState));
        object.insert(QStringLiteral("ipState"), CompareStateName(row.ipState));
        object.insert(QStringLiteral("macState"), CompareStateName(row.macState));
        array.append(object);
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

QString FormatScanTable(const std::vector<ScanReportRow>& rows)
{
    const QStringList titles = ScanReportTitles();
    std::vector<qsizetype> widths;
    for (const QString& title : titles)
        widths.push_back(title.size());
    for (const ScanReportRow& row : rows) {
        const QStringList cells = Cells(row);
        for (qsizetype c = 0; c < cells.size(); ++c)
            widths[size_t(c)] = std::max(widths[size_t(c)], cells[c].size());
    }
    auto line = [&](const QStringList& cells) {
        QString text;
        for (qsizetype c = 0; c < cells.size(); ++c) {
            text += c + 1 < cells.size() ? cells[c].leftJustified(widths[size_t(c)] + 2) : cells[c];
        }
        while (text.endsWith(u' '))
            text.chop(1);
        return text + u'\n';
    };
    QString text = line(titles);
    for (const ScanReportRow& row : rows)
        text += line(Cells(row));
    return text;
}
