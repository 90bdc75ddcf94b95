#include "records/ScanMerge.h"

#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "records/LanveyDoc.h"
#include "records/RecordExchange.h"
#include "records/RecordLock.h"
#include "support/AddressText.h"

#include <memory>
#include <mutex>

DatabaseRecord DatabaseRecordFromScan(const HostRecord& scan)
{
    DatabaseRecord record;
    record.ip = scan.ip;
    record.mac = scan.mac;
    if (scan.resolved != 0)
        record.hostName = scan.hostName;
    record.workgroup = scan.workgroup;
    record.otherNames = scan.otherNames;
    record.ipv6 = scan.ipv6;
    return record;
}

namespace
{

// One walk over the incoming records, in order, against the database list as it is at
// each step; `ask` is only called for a clash while no "all" answer was given.
// `complete(item, known, record)` may complete the incoming record from the known one
// and says whether it then equals it, which settles the clash unasked.
template <typename Incoming, typename ToRecord, typename Complete, typename Ask>
void MergeRecords(CLanveyDoc& doc, const std::vector<const Incoming*>& incoming, ToRecord toRecord,
                  Complete complete, Ask ask, MergeReport& report)
{
    std::vector<std::unique_ptr<DatabaseRecord>> records;
    records.reserve(incoming.size());
    for (const Incoming* item : incoming)
        records.push_back(std::make_unique<DatabaseRecord>(toRecord(*item)));
    ReplaceAnswer remembered = ReplaceAnswer::Yes; // not an "all" answer: the first clash asks
    using Clash = CLanveyDoc::MergeClash;
    const CLanveyDoc::MergeCounts counts = doc.MergeDatabaseRecords(
        std::move(records),
        [&](std::size_t position, const DatabaseRecord& known, DatabaseRecord& record) {
            const Incoming& item = *incoming[position];
            if (complete(item, known, record)) {
                ++report.matchedRecords;
                return Clash::Skip;
            }
            if (remembered != ReplaceAnswer::YesToAll && remembered != ReplaceAnswer::NotToAll)
                remembered = ask(item, record, known);
            if (remembered == ReplaceAnswer::Cancel)
                return Clash::Stop;
            if (remembered == ReplaceAnswer::No || remembered == ReplaceAnswer::NotToAll) {
                ++report.ignoreRecords;
                return Clash::Skip;
            }
            return Clash::Replace;
        });
    report.newRecords += counts.added;
    report.coverRecords += counts.replaced;
    report.cancelled = report.cancelled || counts.stopped;
    report.added = report.added || counts.added + counts.replaced > 0;
}

} // namespace

namespace
{

// Add To Database replaces a known record with what the scan found, as it is.
void MergeFound(CLanveyDoc& doc, const std::vector<const HostRecord*>& scans, const AskReplace& ask,
                MergeReport& report)
{
    MergeRecords(
        doc, scans, DatabaseRecordFromScan,
        [](const HostRecord&, const DatabaseRecord&, DatabaseRecord&) { return false; },
        [&ask](const HostRecord& scan, const DatabaseRecord&, const DatabaseRecord& known) {
            return ask ? ask(scan, known) : ReplaceAnswer::Cancel;
        },
        report);
}

} // namespace

MergeReport MergeScanRecords(CLanveyDoc& doc, const std::vector<int>& rows, const AskReplace& ask)
{
    MergeReport report;
    doc.BeginDatabaseChange();
    {
        std::lock_guard guard(g_recordLock);
        std::vector<const HostRecord*> scans;
        for (int row : rows)
            if (const HostRecord* scan = doc.GetScanRecord(row))
                scans.push_back(scan);
        MergeFound(doc, scans, ask, report);
    }
    // The workers go on while the file is written.
    report.committed = doc.EndDatabaseChange();
    return report;
}

MergeReport MergeHostRecords(CLanveyDoc& doc, const std::vector<const HostRecord*>& hosts,
                             const AskReplace& ask)
{
    MergeReport report;
    doc.BeginDatabaseChange();
    MergeFound(doc, hosts, ask, report);
    report.committed = doc.EndDatabaseChange();
    return report;
}

MergeReport MergeImportedRecords(CLanveyDoc& doc, const std::vector<ImportedRecord>& records,
                                 const AskReplaceRecord& ask)
{
    MergeReport report;
    std::vector<const ImportedRecord*> incoming;
    incoming.reserve(records.size());
    for (const ImportedRecord& imported : records)
        incoming.push_back(&imported);
    doc.BeginDatabaseChange();
    MergeRecords(
        doc, incoming, [](const ImportedRecord& imported) { return imported.record; },
        [](const ImportedRecord& imported, const DatabaseRecord& known, DatabaseRecord& record) {
            record = CompletedImport(imported, known);
            return record == known;
        },
        [&ask](const ImportedRecord&, const DatabaseRecord& record, const DatabaseRecord& known) {
            return ask ? ask(record, known) : ReplaceAnswer::Cancel;
        },
        report);
    report.committed = doc.EndDatabaseChange();
    return report;
}

QString ImportCutRowsText(int count)
{
    return FormatLangStringA(0xF2A2, "Records cut to fit:\t%d_CUT%", {count});
}

QString ImportMatchedRowsText(int count)
{
    return FormatLangStringA(0xF2A3, "Matched Records:\t%d_MATCHED%", {count});
}

QString ImportReportText(const MergeReport& report, int errorRows, int cutRows)
{
    QString text = FormatLangStringA(
        132,
        "New Records:\t%d_RESULT%\nCover Records:\t%d_COVER%\nSkip Records:\t%d_IGNORE%\n"
        "Skip Empty HostName:\t%d_HOSTNAME%\nError Records:\t%d_ERROR%",
        {report.newRecords, report.coverRecords, report.ignoreRecords, 0, errorRows});
    if (report.matchedRecords)
        text += u'\n' + ImportMatchedRowsText(report.matchedRecords);
    if (cutRows)
        text += u'\n' + ImportCutRowsText(cutRows);
    if (report.cancelled)
        text += QStringLiteral("\n\n") +
                FormatLangStringA(0xF29D, "The import was cancelled; the records settled before it "
                                          "were kept.");
    return FormatLangStringA(200, "Import file successful!") + QStringLiteral("\n\n") + text;
}

QString MergeReportText(const MergeReport& report)
{
    const QString counts = FormatLangStringA(
        207, "New Records:\t%d_RESULT%\nCover Records:\t%d_C%\nIgnore Records:\t%d_IGNORE%",
        {report.newRecords, report.coverRecords, report.ignoreRecords});
    return QStringLiteral("%1\n\n%2")
        .arg(FormatLangStringA(194, "Add to database successful!"), counts);
}

QString ImportErrorsText(const std::vector<ImportError>& errors, size_t limit)
{
    QString text = FormatLangStringA(0xF2A0, "Lines not imported:\r\n");
    for (size_t i = 0; i < errors.size() && i < limit; ++i)
        text += FormatLangStringA(0xF29F, "Line %d_LINE%: %s_REASON%\r\n",
                                  {errors[i].line, ReplaceControlChars(errors[i].reason)});
    if (errors.size() > limit)
        text += FormatLangStringA(0xF2A1, "... and %d_COUNT% more lines.\r\n",
                                  {int(errors.size() - limit)});
    return text;
}

QString DifferenceDetailText(const CLanveyDoc& doc, const HostRecord& record)
{
    QString text = FormatLangStringA(
        210, "Current Record:\r\n     IP Address: %s_IP% -- MAC Address: %s_MAC%\r\n",
        {FormatIpAddress(record.ip), FormatMacAddress(record.mac)});
    text += QStringLiteral("\r\n");
    text += FormatLangStringA(212, "Records not matched with database:\r\n");
    int number = 0;
    for (const DatabaseRecord* known : doc.GetDatabaseRecords()) {
        if (known->ip != record.ip && known->mac != record.mac)
            continue;
        text +=
            FormatLangStringA(211, "%d_NUM%)  IP Address: %s_IP% -- MAC Address: %s_MAC%\r\n",
                              {++number, FormatIpAddress(known->ip), FormatMacAddress(known->mac)});
    }
    return text;
}
