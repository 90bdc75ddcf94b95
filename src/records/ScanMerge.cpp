#include "records/ScanMerge.h"

#include "lang/LangString.h"
#include "records/LanveyDoc.h"
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
    return record;
}

MergeReport MergeScanRecords(CLanveyDoc& doc, const std::vector<int>& rows, const AskReplace& ask)
{
    MergeReport report;
    ReplaceAnswer remembered = ReplaceAnswer::Yes; // not an "all" answer: the first clash asks
    doc.BeginDatabaseChange();
    {
        std::lock_guard guard(g_recordLock);
        for (int row : rows) {
            const HostRecord* scan = doc.GetScanRecord(row);
            if (!scan)
                continue;
            const int known = doc.FindDatabaseRecordByIp(scan->ip);
            if (known >= 0 && remembered != ReplaceAnswer::YesToAll &&
                remembered != ReplaceAnswer::NotToAll)
                remembered = ask(*scan, *doc.GetDatabaseRecord(known));
            if (known >= 0) {
                if (remembered == ReplaceAnswer::Cancel)
                    break;
                if (remembered == ReplaceAnswer::No || remembered == ReplaceAnswer::NotToAll) {
                    ++report.ignoreRecords;
                    continue;
                }
                doc.DeleteDatabaseRecord(known);
                ++report.coverRecords;
            } else {
                ++report.newRecords;
            }
            if (doc.AppendDatabaseRecord(
                    std::make_unique<DatabaseRecord>(DatabaseRecordFromScan(*scan))))
                report.added = true;
        }
    }
    // The workers go on while the file is written.
    report.committed = doc.EndDatabaseChange();
    return report;
}

QString MergeReportText(const MergeReport& report)
{
    const QString counts = FormatLangStringA(
        207, "New Records:\t%d_RESULT%\nCover Records:\t%d_C%\nIgnore Records:\t%d_IGNORE%",
        {report.newRecords, report.coverRecords, report.ignoreRecords});
    return QStringLiteral("%1\n\n%2")
        .arg(FormatLangStringA(194, "Add to database successful!"), counts);
}

QString DifferenceDetailText(const CLanveyDoc& doc, const HostRecord& record)
{
    QString text = FormatLangStringA(
        210, "Current Record:\r\n     IP Address: %s_IP% -- MAC Address: %s_MAC%\r\n",
        {FormatIpAddress(record.ip), FormatMacAddress(record.mac)});
    text += QStringLiteral("\r\n");
    text += FormatLangStringA(212, "Records not matched with database:\r\n");
    int number = 0;
    for (int i = 0; i < doc.GetDatabaseRecordCount(); ++i) {
        const DatabaseRecord* known = doc.GetDatabaseRecord(i);
        if (known->ip != record.ip && known->mac != record.mac)
            continue;
        text +=
            FormatLangStringA(211, "%d_NUM%)  IP Address: %s_IP% -- MAC Address: %s_MAC%\r\n",
                              {++number, FormatIpAddress(known->ip), FormatMacAddress(known->mac)});
    }
    return text;
}
