#include "cli/ScanReport.h"

#include "lang/DisplayText.h"
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

// The cells as a terminal may show them: names from the network can hold controls.
QStringList ShownCells(const ScanReportRow& row)
{
    QStringList cells = Cells(row);
    for (QString& cell : cells)
        cell = EscapeControlChars(cell);
    return cells;
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

QString FormatScanCsv(const std::vector<ScanReportRow>& rows, CsvControls controls)
{
    // The header is quoted as the titles were asked for, whatever they hold.
    QStringList titles;
    for (const QString& title : ScanReportTitles())
        titles << u'"' + QString(title).replace(QStringLiteral("\""), QStringLiteral("\"\"")) +
                      u'"';
    QString text = titles.join(u',') + QStringLiteral("\r\n");
    for (const ScanReportRow& row : rows)
        text += CsvLine(controls == CsvControls::Escape ? ShownCells(row) : Cells(row));
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
    // The writer escapes C0 but leaves DEL and C1 as they are; outside strings the text
    // is ASCII, so each one left is inside a string and its escape keeps the value.
    const QString json = QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
    QString escaped;
    escaped.reserve(json.size());
    for (const QChar c : json) {
        if (IsControlChar(c.unicode()) && c != u'\n')
            escaped += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
        else
            escaped += c;
    }
    return escaped;
}

QString FormatScanTable(const std::vector<ScanReportRow>& rows)
{
    const QStringList titles = ScanReportTitles();
    std::vector<qsizetype> widths;
    for (const QString& title : titles)
        widths.push_back(title.size());
    std::vector<QStringList> shown;
    for (const ScanReportRow& row : rows) {
        const QStringList& cells = shown.emplace_back(ShownCells(row));
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
    for (const QStringList& cells : shown)
        text += line(cells);
    return text;
}
