#pragma once

#include "records/HostRecord.h"

#include <QString>
#include <QStringList>
#include <vector>

class CNVOUI;

// One host as lanvey-scan's table shows it: the cells of the scan list's columns (the
// Compare Result without the double-click hint, the MAC address followed by its identity
// flags in brackets when it has any), in column order. CSV and JSON come from the list's
// own writer (records/RecordExchange.h).
using ScanReportRow = QStringList;

// A record whose compare states have been worked out.
ScanReportRow MakeScanReportRow(const HostRecord& record, const CNVOUI* oui);

// The scan list's column titles: "IP Address", "MAC Address", "Host Name", "Workgroup",
// "Manufacturer", "Compare Result", "Other Names".
QStringList ScanReportTitles();

// Columns padded to their widest cell, for a terminal.
QString FormatScanTable(const std::vector<ScanReportRow>& rows);

// No cell of a table is longer than this: a longer one is cut and ends in "…", so that
// one huge name (from the network, from a file) cannot blow every line of the table up.
constexpr qsizetype kMaxTableCell = 100;
QString TableCell(const QString& text);

// Any table so: the titles, then one line per row, each column as wide as its widest cell
// (cells held to kMaxTableCell).
QString FormatTextTable(const QStringList& titles, const std::vector<QStringList>& rows);
