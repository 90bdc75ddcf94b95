#include "cli/ScanReport.h"

#include "lang/DisplayText.h"
#include "records/IdentityFlags.h"
#include "records/RecordColumns.h"

ScanReportRow MakeScanReportRow(const HostRecord& record, const CNVOUI* oui)
{
    ScanReportRow row = RowCells(ScanColumns(), record, {oui, CellUse::Table});
    const QStringList flags = IdentityFlagKeywords(record);
    if (!flags.isEmpty())
        row[ScanColMac] += QStringLiteral(" [%1]").arg(flags.join(QStringLiteral(", ")));
    return row;
}

QStringList ScanReportTitles()
{
    return ScanColumnTitles();
}

namespace
{

// The cells as a terminal may show them: names from the network can hold controls.
QStringList ShownCells(const ScanReportRow& row)
{
    QStringList cells = row;
    for (QString& cell : cells)
        cell = EscapeControlChars(cell);
    return cells;
}

} // namespace

QString TableCell(const QString& text)
{
    if (text.size() <= kMaxTableCell)
        return text;
    qsizetype keep = kMaxTableCell - 1;
    if (text[keep - 1].isHighSurrogate())
        --keep;
    return text.left(keep) + QChar(0x2026);
}

QString FormatTextTable(const QStringList& titles, const std::vector<QStringList>& rows)
{
    std::vector<qsizetype> widths;
    for (const QString& title : titles)
        widths.push_back(title.size());
    for (const QStringList& cells : rows)
        for (qsizetype c = 0; c < cells.size() && size_t(c) < widths.size(); ++c)
            widths[size_t(c)] =
                std::max(widths[size_t(c)], std::min(cells[c].size(), kMaxTableCell));
    auto line = [&](const QStringList& cells) {
        QString text;
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const QString cell = TableCell(cells[c]);
            text += c + 1 < cells.size() ? cell.leftJustified(widths[size_t(c)] + 2) : cell;
        }
        while (text.endsWith(u' '))
            text.chop(1);
        return text + u'\n';
    };
    QString text = line(titles);
    for (const QStringList& cells : rows)
        text += line(cells);
    return text;
}

QString FormatScanTable(const std::vector<ScanReportRow>& rows)
{
    std::vector<QStringList> shown;
    for (const ScanReportRow& row : rows)
        shown.push_back(ShownCells(row));
    return FormatTextTable(ScanReportTitles(), shown);
}
