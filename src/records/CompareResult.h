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

class CNVOUI;

// The text of one scan-list cell (ScanColumn): address texts, the names, the vendor
// from `oui` (empty without a table) and the Compare Result (with or without the hint).
// Any other column is empty.
QString ScanCellText(const HostRecord& record, int column, const CNVOUI* oui, bool withHint = true);
