#pragma once

#include "records/CompareState.h"
#include "records/HostRecord.h"

#include <QString>
#include <vector>

class CNVOUI;

// One host as lanvey-scan prints it: the six cells of the scan list (the Compare Result
// without the double-click hint) and the three compare states.
struct ScanReportRow {
    QString ip, mac, hostName, workgroup, manufacturer, compare;
    CompareState ipState = CompareState::New;
    CompareState macState = CompareState::New;
    CompareState overallState = CompareState::New;
};

// A record whose compare states have been worked out.
ScanReportRow MakeScanReportRow(const HostRecord& record, const CNVOUI* oui);

// The scan list's column titles: "IP Address", "MAC Address", "Host Name", "Workgroup",
// "Manufacturer", "Compare Result".
QStringList ScanReportTitles();

// What the CSV does with control characters in the cells: keep them (a file or a pipe
// gets the names as received) or show them as escapes (for a terminal).
enum class CsvControls { Keep, Escape };

// RFC 4180: a header row, CRLF line ends, fields quoted where they hold a comma, a
// quote, a line break or leading/trailing spaces, quotes doubled.
QString FormatScanCsv(const std::vector<ScanReportRow>& rows, CsvControls controls);

// An array of objects: ip, mac, hostName, workgroup, manufacturer, compare, ipState,
// macState; states are "matched", "different" or "new".
QString FormatScanJson(const std::vector<ScanReportRow>& rows);

// Columns padded to their widest cell, for a terminal.
QString FormatScanTable(const std::vector<ScanReportRow>& rows);

// "matched", "different" or "new".
QString CompareStateName(CompareState state);
