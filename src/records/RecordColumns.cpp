#include "records/RecordColumns.h"

#include "lang/LangString.h"
#include "records/CompareResult.h"
#include "records/IdentityFlags.h"
#include "records/SightingIndex.h"
#include "support/AddressText.h"
#include "support/NVOUI.h"

namespace
{

// The address column orders by the address as a number, the first octet weighing most,
// so that a scan over several /24 networks lists them in order too.
template <typename Record> quint64 IpKey(const Record& record, const CellContext&)
{
    return IpToHostOrder(record.ip);
}

// The MAC column orders by the text, "00:1A:..." lowercased. Its fixed-width hex digits
// sort as the octets do, first octet first, so the octets as a big-endian number give
// the same order without making the texts.
template <typename Record> quint64 MacKey(const Record& record, const CellContext&)
{
    quint64 key = 0;
    for (int i = 0; i < 6; ++i)
        key = (key << 8) | MacOctet(record.mac, i);
    return key;
}

quint64 CompareKey(const HostRecord& record, const CellContext&)
{
    return quint64(record.overallState);
}

template <typename Record> QString IpText(const Record& record, const CellContext&)
{
    return FormatIpAddress(record.ip);
}

template <typename Record> QString MacText(const Record& record, const CellContext&)
{
    return FormatMacAddress(record.mac);
}

template <typename Record> QString VendorText(const Record& record, const CellContext& context)
{
    return context.oui ? context.oui->GetManufacturer(FormatMacAddress(record.mac)) : QString();
}

template <typename Record> QString OtherNamesCell(const Record& record, const CellContext& context)
{
    return context.use == CellUse::File ? OtherNamesFileText(record.otherNames)
                                        : OtherNamesText(record.otherNames);
}

template <typename Record> QString Ipv6Cell(const Record& record, const CellContext& context)
{
    return record.ipv6.join(context.use == CellUse::File ? QStringLiteral(" ")
                                                         : QStringLiteral(", "));
}

QString CompareCell(const HostRecord& record, const CellContext& context)
{
    // The messages end in a space, which is no part of a file's cell.
    if (context.use == CellUse::File)
        return CompareResultText(record, false).trimmed();
    return CompareResultText(record, context.use == CellUse::List);
}

// When the record's address pair was first or last seen (milliseconds since the epoch),
// 0 when never; a never-seen record sorts first.
template <bool Last> quint64 SeenKey(const DatabaseRecord& record, const CellContext& context)
{
    const SeenTimes* times = context.seen ? context.seen->Find(record.ip, record.mac) : nullptr;
    return times ? quint64(Last ? times->last : times->first) : 0;
}

template <bool Last> QString SeenCell(const DatabaseRecord& record, const CellContext& context)
{
    const quint64 time = SeenKey<Last>(record, context);
    return time ? SeenTimeText(qint64(time)) : QString();
}

template <typename Record, QString Record::*Member>
QString MemberText(const Record& record, const CellContext&)
{
    return record.*Member;
}

using H = HostRecord;
using D = DatabaseRecord;
constexpr auto kNumber = ColumnOrder::Number;
constexpr auto kText = ColumnOrder::Text;

// clang-format off
const ListColumn<HostRecord> kScanColumns[] = {
    // id, title, width, cell, order, key, from comparison, JSON, import, edit, prints
    {ScanColIp, 165, "IP Address", 130, IpText<H>, kNumber, IpKey<H>, false,
     "ip", false, 0, nullptr, ColumnEdit::None, true},
    {ScanColMac, 167, "Mac Address", 150, MacText<H>, kNumber, MacKey<H>, false,
     "mac", false, 0, nullptr, ColumnEdit::None, true},
    {ScanColHostName, 168, "Host Name", 150, MemberText<H, &H::hostName>, kText, nullptr, false,
     "host_name", false, kImportHostName, &D::hostName, ColumnEdit::None, true},
    {ScanColWorkgroup, 229, "WorkGroup", 150, MemberText<H, &H::workgroup>, kText, nullptr, false,
     "workgroup", false, kImportWorkgroup, &D::workgroup, ColumnEdit::None, true},
    {ScanColVendor, 169, "Manufacture", 200, VendorText<H>, ColumnOrder::Vendor, nullptr, false,
     "manufacturer", false, 0, nullptr, ColumnEdit::None, true},
    {ScanColCompare, 170, "Compare Result", 350, CompareCell, kNumber, CompareKey, true,
     "compare_text", false, 0, nullptr, ColumnEdit::None, true},
    {ScanColOtherNames, 0xF150, "Other Names", 300, OtherNamesCell<H>, kText, nullptr, false,
     "other_names", true, kImportOtherNames, nullptr, ColumnEdit::None, true},
    {ScanColIpv6, 0xF336, "IPv6 Addresses", 260, Ipv6Cell<H>, kText, nullptr, false,
     "ipv6", false, kImportIpv6, nullptr, ColumnEdit::None, true, true, &H::ipv6},
};

const ListColumn<DatabaseRecord> kDatabaseColumns[] = {
    {DbColIp, 165, "IP Address", 130, IpText<D>, kNumber, IpKey<D>, false,
     "ip", false, 0, nullptr, ColumnEdit::Address, true},
    {DbColMac, 167, "MAC Address", 150, MacText<D>, kNumber, MacKey<D>, false,
     "mac", false, 0, nullptr, ColumnEdit::Mac, true},
    {DbColHostName, 168, "Host Name", 150, MemberText<D, &D::hostName>, kText, nullptr, false,
     "host_name", false, kImportHostName, &D::hostName, ColumnEdit::Text, true},
    {DbColWorkgroup, 229, "WorkGroup", 150, MemberText<D, &D::workgroup>, kText, nullptr, false,
     "workgroup", false, kImportWorkgroup, &D::workgroup, ColumnEdit::Text, true},
    {DbColUserName, 173, "User Name", 150, MemberText<D, &D::userName>, kText, nullptr, false,
     "user_name", false, kImportUserName, &D::userName, ColumnEdit::Text, true},
    {DbColLocation, 174, "Location", 150, MemberText<D, &D::location>, kText, nullptr, false,
     "location", false, kImportLocation, &D::location, ColumnEdit::Text, true},
    {DbColVendor, 169, "Manufacture", 150, VendorText<D>, ColumnOrder::Vendor, nullptr, false,
     "manufacturer", false, 0, nullptr, ColumnEdit::None, true},
    {DbColComment, 171, "Comment", 500, MemberText<D, &D::comment>, kText, nullptr, false,
     "comment", false, kImportComment, &D::comment, ColumnEdit::Text, true},
    {DbColOtherNames, 0xF150, "Other Names", 300, OtherNamesCell<D>, kText, nullptr, false,
     "other_names", true, kImportOtherNames, nullptr, ColumnEdit::None, true},
    {DbColIpv6, 0xF336, "IPv6 Addresses", 260, Ipv6Cell<D>, kText, nullptr, false,
     "ipv6", false, kImportIpv6, nullptr, ColumnEdit::None, true, true, &D::ipv6},
    // From the history of sightings, not the record: not in the files.
    {DbColFirstSeen, 0xF300, "First Seen", 140, SeenCell<false>, kNumber, SeenKey<false>, false,
     "first_seen", false, 0, nullptr, ColumnEdit::None, true, false},
    {DbColLastSeen, 0xF301, "Last Seen", 140, SeenCell<true>, kNumber, SeenKey<true>, false,
     "last_seen", false, 0, nullptr, ColumnEdit::None, true, false},
};
// clang-format on

static_assert(std::size(kScanColumns) == ScanColumnCount);
static_assert(std::size(kDatabaseColumns) == DbColumnCount);

QString NetBiosMacText(const HostRecord& record)
{
    return record.netBiosMac ? FormatMacAddress(record.netBiosMac) : QString();
}

QString ColorField(const DatabaseRecord& record)
{
    return ColorText(record.color);
}

const FileField<HostRecord> kScanFileFields[] = {
    {"compare", "compare", ScanColVendor, CompareKeyword, nullptr},
    {"flags", "flags", -1, nullptr, IdentityFlagKeywords},
    {nullptr, "netbios_mac", -1, NetBiosMacText, nullptr},
};

const FileField<DatabaseRecord> kDatabaseFileFields[] = {
    {"color", "color", DbColComment, ColorField, nullptr},
};

} // namespace

ScanColumnTable ScanColumns()
{
    return kScanColumns;
}

DatabaseColumnTable DatabaseColumns()
{
    return kDatabaseColumns;
}

std::span<const FileField<HostRecord>> ScanFileFields()
{
    return kScanFileFields;
}

std::span<const FileField<DatabaseRecord>> DatabaseFileFields()
{
    return kDatabaseFileFields;
}

template <typename Record> QString ColumnTitle(const ListColumn<Record>& column)
{
    return FormatLangStringA(column.titleId, column.title);
}

template <typename Record> QStringList ColumnTitles(std::span<const ListColumn<Record>> columns)
{
    QStringList titles;
    for (const auto& column : columns)
        titles << ColumnTitle(column);
    return titles;
}

template <typename Record>
std::vector<int> ColumnWidths(std::span<const ListColumn<Record>> columns)
{
    std::vector<int> widths;
    for (const auto& column : columns)
        widths.push_back(column.width);
    return widths;
}

template <typename Record>
QStringList RowCells(std::span<const ListColumn<Record>> columns, const Record& record,
                     const CellContext& context)
{
    QStringList cells;
    for (const auto& column : columns)
        cells << column.text(record, context);
    return cells;
}

template QString ColumnTitle(const ListColumn<HostRecord>&);
template QString ColumnTitle(const ListColumn<DatabaseRecord>&);
template QStringList ColumnTitles(ScanColumnTable);
template QStringList ColumnTitles(DatabaseColumnTable);
template std::vector<int> ColumnWidths(ScanColumnTable);
template std::vector<int> ColumnWidths(DatabaseColumnTable);
template QStringList RowCells(ScanColumnTable, const HostRecord&, const CellContext&);
template QStringList RowCells(DatabaseColumnTable, const DatabaseRecord&, const CellContext&);

QStringList ScanColumnTitles()
{
    return ColumnTitles(ScanColumns());
}

QStringList DatabaseColumnTitles()
{
    return ColumnTitles(DatabaseColumns());
}
