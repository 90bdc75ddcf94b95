#pragma once

#include "records/DatabaseRecord.h"
#include "records/HostRecord.h"

#include <QString>
#include <QStringList>
#include <span>
#include <vector>

class CNVOUI;

// The columns of the two lists, in one table per list. Everything that shows, sorts,
// edits, prints, writes or reads a list's columns walks its table: the list models and
// views, the document's sort, the exchange formats, lanvey-db and lanvey-scan. A new
// column is one more entry.

// Column numbers of the two lists, as the views number them: the index of the column's
// entry in its table.
enum ScanColumn {
    ScanColIp,
    ScanColMac,
    ScanColHostName,
    ScanColWorkgroup,
    ScanColVendor,
    ScanColCompare,
    ScanColOtherNames,
    ScanColIpv6,
    ScanColumnCount
};
enum DatabaseColumn {
    DbColIp,
    DbColMac,
    DbColHostName,
    DbColWorkgroup,
    DbColUserName,
    DbColLocation,
    DbColVendor,
    DbColComment,
    DbColOtherNames,
    DbColIpv6,
    DbColFirstSeen,
    DbColLastSeen,
    DbColumnCount
};

// The fields of a database record besides its addresses that a row of a file may carry.
enum ImportField : unsigned {
    kImportHostName = 1u << 0,
    kImportWorkgroup = 1u << 1,
    kImportUserName = 1u << 2,
    kImportLocation = 1u << 3,
    kImportComment = 1u << 4,
    kImportColor = 1u << 5,
    kImportOtherNames = 1u << 6,
    kImportIpv6 = 1u << 7,
    kImportAllFields = (1u << 8) - 1,
};

// Where a cell's text goes: the texts differ only in the Compare Result, the Other Names
// and the IPv6 addresses.
enum class CellUse {
    List,  // the window's list: the Compare Result with its double-click hint
    Table, // lanvey-scan's and lanvey-db's tables: without the hint
    File,  // a file's cell: without the hint or the message's trailing space, the other
           // names escaped (OtherNamesFileText) so that they read back, and the IPv6
           // addresses separated by single spaces
};

class SightingIndex;

struct CellContext {
    const CNVOUI* oui = nullptr; // the vendor table; no vendor without one
    CellUse use = CellUse::List;
    // When each address pair was first and last seen; no times without one.
    const SightingIndex* seen = nullptr;
};

// How a column orders its rows (always the exchange sort, so equal keys end up as the
// list has always put them).
enum class ColumnOrder {
    Number, // by `number`, smaller first
    Text,   // by the cell text, lowercased, unit by unit; an empty text after every other
    Vendor, // as Text, the vendor looked up once per address block
};

// What the database list's in-place editor does with a cell's new text.
enum class ColumnEdit {
    None,    // not edited in place (the vendor, the other names)
    Address, // an IPv4 address that no other record holds
    Mac,     // a MAC address
    Text,    // stored as typed in `member`
};

template <typename Record> struct ListColumn {
    int id;            // the ScanColumn or DatabaseColumn, the entry's index
    int titleId;       // the title's string id
    const char* title; // the title when the string table lacks it
    int width;         // default width, in pixels
    QString (*text)(const Record&, const CellContext&); // the cell, control characters kept
    ColumnOrder order;
    quint64 (*number)(const Record&, const CellContext&); // a Number column's sort key
    // The cell depends on the comparison with the database: the states are worked out
    // afresh before the list is sorted by it.
    bool fromComparison;
    // JSON's key; the CSV header is the title. A JSON name list instead of the text for
    // the other names.
    const char* jsonKey;
    bool jsonNameList;
    // What a file's cell of this column gives an imported record: the ImportField and
    // the text member it is read into (null: none, or not a plain text).
    unsigned importField;
    QString DatabaseRecord::*member;
    ColumnEdit edit;
    bool prints; // printed with the list
    // Written to and read from the files. The columns that are not (what the history
    // knows of a record) come after every one that is, so that files keep their layout.
    bool inFiles = true;
    // A list of addresses: JSON writes it as a list of strings.
    Ipv6Addresses Record::*addresses = nullptr;
};

using ScanColumnTable = std::span<const ListColumn<HostRecord>>;
using DatabaseColumnTable = std::span<const ListColumn<DatabaseRecord>>;

ScanColumnTable ScanColumns();
DatabaseColumnTable DatabaseColumns();

// A field a file holds besides the list's columns: the scan list's compare keyword, flags
// and NetBIOS adapter address, the database list's colour. CSV writes them after the
// columns (`csvName` null: not in CSV); JSON right after the column `jsonAfter` (-1: at
// the end).
template <typename Record> struct FileField {
    const char* csvName;
    const char* jsonKey;
    int jsonAfter;
    // The value: a text, or a list of words (CSV joins them with spaces, JSON writes a
    // list of strings).
    QString (*text)(const Record&);
    QStringList (*words)(const Record&);
};
std::span<const FileField<HostRecord>> ScanFileFields();
std::span<const FileField<DatabaseRecord>> DatabaseFileFields();

// The columns a file holds: the first ones of the table.
template <typename Record>
std::span<const ListColumn<Record>> FileColumns(std::span<const ListColumn<Record>> columns)
{
    size_t count = 0;
    while (count < columns.size() && columns[count].inFiles)
        ++count;
    return columns.first(count);
}

// A table's titles (from the string table) and default widths, in column order.
template <typename Record> QStringList ColumnTitles(std::span<const ListColumn<Record>> columns);
template <typename Record>
std::vector<int> ColumnWidths(std::span<const ListColumn<Record>> columns);

// Whether each column is printed, in column order.
template <typename Record>
std::vector<bool> PrintedColumns(std::span<const ListColumn<Record>> columns)
{
    std::vector<bool> printed;
    for (const auto& column : columns)
        printed.push_back(column.prints);
    return printed;
}

// The title of one entry.
template <typename Record> QString ColumnTitle(const ListColumn<Record>& column);

// Every cell of a record, in column order.
template <typename Record>
QStringList RowCells(std::span<const ListColumn<Record>> columns, const Record& record,
                     const CellContext& context);

// Both lists' titles, as the lists show them.
QStringList ScanColumnTitles();
QStringList DatabaseColumnTitles();
