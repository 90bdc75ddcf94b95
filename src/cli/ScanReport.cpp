#include "cli/ScanReport.h"

#include "lang/DisplayText.h"
#include "records/CompareResult.h"
#include "records/RecordColumns.h"

ScanReportRow MakeScanReportRow(const HostRecord& record, const CNVOUI* oui)
{
    ScanReportRow row;
    row.ip = ScanCellText(record, ScanColIp, oui);
    row.mac = ScanCellText(record, ScanColMac, oui);
    row.hostName = ScanCellText(record, ScanColHostName, oui);
    row.workgroup = ScanCellText(record, ScanColWorkgroup, oui);
    row.manufacturer = ScanCellText(record, ScanColVendor, oui);
    row.compare = ScanCellText(record, ScanColCompare, oui, false);
    return row;
}

QStringList ScanReportTitles()
{
    return ScanColumnTitles();
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

} // namespace

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
