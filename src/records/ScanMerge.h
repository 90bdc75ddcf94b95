#pragma once

#include "records/DatabaseRecord.h"
#include "records/HostRecord.h"

#include <QString>
#include <functional>
#include <vector>

class CLanveyDoc;

// "Add To Database": one database record per selected scan result, a clash with a known
// address settled by the user's answer.

// The answers of the replace confirmation, in the codes its buttons give.
enum class ReplaceAnswer { Yes = 1, No = 2, YesToAll = 3, NotToAll = 4, Cancel = 5 };

struct MergeReport {
    int newRecords = 0;
    int coverRecords = 0;
    int ignoreRecords = 0;
    int matchedRecords = 0; // an import's rows equal to their records: settled unasked
    bool added = false;     // at least one record was appended
    bool cancelled = false; // Cancel ended the walk; what was settled before it stays
    bool committed = true;  // false when the file refused the merge and it was undone
};

// The database record a scan result becomes: its address, MAC, names and other names (no
// host name when its names were never resolved), no user texts, black.
DatabaseRecord DatabaseRecordFromScan(const HostRecord& scan);

using AskReplace =
    std::function<ReplaceAnswer(const HostRecord& scan, const DatabaseRecord& known)>;

// Merges the scan results at `rows` (ascending) into the database list. A clash (a known
// record with the result's address; the MAC plays no part) asks `ask` until an "all"
// answer; No settles only the clash it was given. Cancel ends the walk and keeps what was
// done before it. g_recordLock is held for the whole walk, questions included, so scan
// workers wait; the whole merge is one commit of the database file.
MergeReport MergeScanRecords(CLanveyDoc& doc, const std::vector<int>& rows, const AskReplace& ask);
// The same for hosts held outside the scan list (a watch's).
MergeReport MergeHostRecords(CLanveyDoc& doc, const std::vector<const HostRecord*>& hosts,
                             const AskReplace& ask);

struct ImportedRecord;

using AskReplaceRecord =
    std::function<ReplaceAnswer(const DatabaseRecord& incoming, const DatabaseRecord& known)>;

// The import of a file's records, in file order, settled as the merge of scan results is:
// a record whose address the database list holds (an earlier row of the same file
// included) asks `ask`, with the record as it would replace the known one: every field
// the row does not carry is the known record's (CompletedImport). A row that equals its
// known record in every field it carries changes nothing, asks nothing and counts as
// matched. One commit for the whole file.
MergeReport MergeImportedRecords(CLanveyDoc& doc, const std::vector<ImportedRecord>& records,
                                 const AskReplaceRecord& ask);

struct ImportError;

// The lines of a file that could not be imported, for the detail box: at most `limit`
// of them, then how many more there were.
QString ImportErrorsText(const std::vector<ImportError>& errors, size_t limit = 200);

// The lines of an import's report that count the records whose texts were cut to fit, and
// the rows that matched their records.
QString ImportCutRowsText(int count);
QString ImportMatchedRowsText(int count);

// The window's report of an import: message 200, a blank line, message 132 with its counts,
// the matched and cut rows when there were any, and the note of a cancel.
QString ImportReportText(const MergeReport& report, int errorRows, int cutRows);

// The report of a merge that added something: message 194, a blank line, message 207.
QString MergeReportText(const MergeReport& report);

// The detail of a scan result that differs from the database: the result, then every
// database record, in list order, that shares its address or its MAC.
QString DifferenceDetailText(const CLanveyDoc& doc, const HostRecord& record);
