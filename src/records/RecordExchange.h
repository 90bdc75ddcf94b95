#pragma once

#include "records/CompareResult.h"
#include "records/DatabaseRecord.h"
#include "records/HostRecord.h"
#include "records/RecordColumns.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class CNVOUI;

// Hosts in and out of Lanvey: the files both lists export (and lanvey-scan and lanvey-db
// print), and the files the database list imports. Everything here is pure: bytes in,
// bytes out; the callers read and write the files. The lists' columns and the fields
// their files add come from records/RecordColumns.h; each format lives in exchange/.
//
// Written formats:
// - Csv: RFC 4180, UTF-8 with a byte-order mark, CRLF line ends, a header row with the
//   list's column titles (in the current language) and one row per record: every column
//   of the list, then, for the scan list, the compare keyword (column "compare") and the
//   identity flags (column "flags": IdentityFlagKeywords joined by spaces), for the
//   database list the colour as "#RRGGBB" (column "color"). Both lists' Other Names
//   cells are OtherNamesFileText. A cell that a spreadsheet
//   would read as a formula (it starts with '=', '+', '-', '@', a tab or a carriage
//   return, after any apostrophes of its own) is written with one more leading
//   apostrophe, which ReadRecords removes again: "=x" is written "'=x", "'=x" "''=x".
// - Json: one array of objects with the lower-case keys below; addresses as text.
//     scan list:     ip, mac, host_name, workgroup, manufacturer, compare, compare_text,
//                    other_names (a list of {name, source}), flags (a list of
//                    IdentityFlagKeywords), netbios_mac (empty when none)
//     database list: ip, mac, host_name, workgroup, user_name, location, manufacturer,
//                    comment, color, other_names (as for the scan list)
// - Ethers: "MAC name" lines (Wireshark's personal "ethers" file): the host name, else
//   the first other name; rows with neither left out.
// - Hosts: "IP name" lines (Wireshark's personal "hosts" file), named the same way.
//   Both split a line at whitespace and end it at '#', so a name is trimmed and each
//   whitespace, control character or '#' left in it is written as '_'; a name that is
//   blank counts as none.
enum class ExchangeFormat { Csv, Json, Ethers, Hosts, ArpScan, NmapXml, Unknown };

// What the CSV does with control characters in the cells: keep them (a file, a pipe) or
// show them as escapes (a terminal).
enum class CsvControls { Keep, Escape };

// The scan results given (their compare states worked out by the caller), in order.
// Csv and Json are the scan list's columns; Ethers and Hosts its names. Csv's controls
// apply to Csv only. ArpScan, NmapXml and Unknown give an empty array.
QByteArray WriteScanRecords(ExchangeFormat format, const std::vector<const HostRecord*>& rows,
                            const CNVOUI* oui, CsvControls controls = CsvControls::Keep);

// Any table as our CSV writes one (byte-order mark, CRLF, formula guard): the history's
// and the events' of lanvey-db.
QByteArray WriteCsvTable(const QStringList& titles, const std::vector<QStringList>& rows);

// The database records given, in order; the same formats as the scan list.
QByteArray WriteDatabaseRecords(ExchangeFormat format,
                                const std::vector<const DatabaseRecord*>& rows, const CNVOUI* oui);

// One line of a file that could not be imported: its number (from 1) and why.
struct ImportError {
    int line = 0;
    QString reason;
};

// One record a file gives, with the line it starts on.
struct ImportedRecord {
    int line = 0;
    DatabaseRecord record;
    bool cut = false; // a text was longer than a record holds (LimitRecordTexts)
    // What the row carries (ImportField bits): the scan list's CSV has no user texts and
    // no colour, arp-scan's output only the addresses, a JSON object the keys it has.
    // The rest stays empty in `record`, and a record the row replaces keeps its own.
    unsigned fields = kImportAllFields;
};

// `imported` as it replaces `known`: every field the row does not carry is `known`'s.
DatabaseRecord CompletedImport(const ImportedRecord& imported, const DatabaseRecord& known);

// A file of a known format that is damaged (JSON that does not parse, XML cut short)
// keeps its format, the records before the damage and one error where it is. Past 1,000
// errors the rest are counted in one more entry, at the first of them.
struct ImportReadResult {
    ExchangeFormat format = ExchangeFormat::Unknown; // Unknown: none of the formats
    std::vector<ImportedRecord> records;             // in file order
    std::vector<ImportError> errors; // rows with a bad IP, MAC or colour, a CSV row with
                                     // another number of fields, an ethers MAC the
                                     // database does not hold
    int cutRows = 0;                 // records with a text cut to fit
};

// Reads any of: our Csv and Json of either list, an ethers file, arp-scan's output
// (--localnet and --plain; header and summary lines ignored), nmap's XML (-oX; every host
// with an IPv4 and a MAC address, its host name when it has one). The format is told from
// the content. Fields a format lacks stay empty and the colour black. MACs are stored
// with the top 16 bits set. An ethers line names a MAC only: `knownMacs` (the database
// list) gives its address, and a MAC it does not hold is an error; a line "MAC IPv4"
// gives the address itself. arp-scan's "(DUP: n)" lines, a second reply for an address,
// are skipped.
// Hostile input is expected: nothing is read past the data, and no size is trusted.
// Every record's texts are held to the record editor's limits (LimitRecordTexts); the
// records cut are marked and counted.
ImportReadResult ReadRecords(const QByteArray& data,
                             const std::vector<const DatabaseRecord*>& knownMacs = {});

// The file name suffix of a written format ("csv", "json", "" for ethers and hosts).
QString ExchangeSuffix(ExchangeFormat format);

// The written format a word names ("csv", "json", "ethers", "hosts", in any case).
std::optional<ExchangeFormat> ExchangeFormatNamed(const QString& word);

// The format a file's own name asks for: ".csv", ".json" (in any case), or a file named
// "ethers" or "hosts"; none for any other name.
std::optional<ExchangeFormat> ExchangeFormatOfName(const QString& path);
