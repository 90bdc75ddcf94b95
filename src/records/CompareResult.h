#pragma once

#include "records/ColorRef.h"
#include "records/CompareState.h"
#include "records/RecordColumns.h"

#include <QString>
#include <QStringList>

struct HostRecord;

// How a compare outcome is shown in the scan list.

// The Compare Result text of a record whose states have been worked out; `withHint`
// adds the double-click hint to the "different" texts.
QString CompareResultText(const HostRecord& record, bool withHint = true);

// Black for Matched, red for Different, blue for New.
ColorRef CompareStateColor(CompareState state);

// The text colour of one scan-list cell: the IP Address cell follows the IP state,
// the MAC Address cell the MAC state, the Compare Result cell the overall state, and
// every other cell is black.
ColorRef CompareCellColor(const HostRecord& record, int column);

// The compare outcome of a scan result as a stable word: "matched", "new", "ip-differs",
// "mac-differs" or "both-differ".
QString CompareKeyword(const HostRecord& record);

class CNVOUI;

// The text of one scan-list cell (ScanColumn), as its column's entry gives it: with the
// hint, as the list shows it, or without, as lanvey-scan's table does. Any other column
// is empty.
QString ScanCellText(const HostRecord& record, int column, const CNVOUI* oui, bool withHint = true);
