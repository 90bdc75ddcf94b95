#pragma once

#include "records/RecordColumns.h"
#include "records/RecordExchange.h"

#include <QByteArray>
#include <QByteArrayView>
#include <span>
#include <vector>

// Each format of the exchange, read and written; records/RecordExchange.cpp tells them
// apart and calls them. The writers walk a list's column table and its file fields.
namespace exchange
{

// --- CSV (CsvFormat.cpp) ---
template <typename Record>
QByteArray
WriteCsv(std::span<const ListColumn<Record>> columns, std::span<const FileField<Record>> fields,
         const std::vector<const Record*>& rows, const CNVOUI* oui, CsvControls controls);
QByteArray WriteCsvTable(const QStringList& titles, const std::vector<QStringList>& rows);
// A first row as wide as one of our files, whatever language its header is in.
bool LooksLikeOurCsv(QByteArrayView text);
void ReadCsv(QByteArrayView text, ImportReadResult& result);

// --- JSON (JsonFormat.cpp) ---
template <typename Record>
QByteArray WriteJson(std::span<const ListColumn<Record>> columns,
                     std::span<const FileField<Record>> fields,
                     const std::vector<const Record*>& rows, const CNVOUI* oui);
void ReadJson(QByteArrayView text, ImportReadResult& result);

// --- ethers and hosts (NameLineFormats.cpp) ---
// Ethers or Hosts; every other format gives nothing.
template <typename Record>
QByteArray WriteNameLines(ExchangeFormat format, const std::vector<const Record*>& rows);
// The part of an ethers line before its comment, if any.
QByteArrayView EthersData(QByteArrayView line);
void ReadEthers(QByteArrayView text, const std::vector<const DatabaseRecord*>& knownMacs,
                ImportReadResult& result);

// --- arp-scan's output (ArpScanFormat.cpp) ---
bool IsArpScanBanner(QByteArrayView line);
void ReadArpScan(QByteArrayView text, ImportReadResult& result);

// --- nmap's XML (NmapXmlFormat.cpp) ---
// False when the root is not <nmaprun>.
bool ReadNmapXml(QByteArrayView text, ImportReadResult& result);

} // namespace exchange
