#include "records/LanveyDoc.h"

#include "lang/LangString.h"
#include "records/CompareResult.h"
#include "records/ExchangeSort.h"
#include "records/RecordLock.h"
#include "support/AddressText.h"
#include "support/NVOUI.h"

#include <functional>

namespace
{

template <typename List> auto* RecordAt(const List& list, int index)
{
    return index >= 0 && size_t(index) < list.size() ? list[size_t(index)].get() : nullptr;
}

// The address column orders by the address as a number, the first octet weighing most,
// so that a scan over several /24 networks lists them in order too.
quint32 IpSortKey(quint32 ip)
{
    return IpToHostOrder(ip);
}

// Text order: lowercased texts compare unit by unit; an empty text comes after every
// other text.
bool TextBefore(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return !a.isEmpty() && b.isEmpty();
    return QStringView(a).compare(QStringView(b), Qt::CaseSensitive) < 0;
}

template <typename Record, typename KeyOf, typename Less>
void SortBy(std::vector<std::unique_ptr<Record>>& list, bool ascending, KeyOf keyOf, Less less)
{
    using Key = decltype(keyOf(*list.front()));
    std::vector<Key> keys;
    keys.reserve(list.size());
    for (const auto& record : list)
        keys.push_back(keyOf(*record));
    ApplyOrder(list, ExchangeSortOrder(keys, less, ascending));
}

// `textOf` is a QString member or anything that gives a record's text.
template <typename Record, typename TextOf>
void SortByText(std::vector<std::unique_ptr<Record>>& list, bool ascending, TextOf textOf)
{
    SortBy(
        list, ascending, [&](const Record& r) { return QString(std::invoke(textOf, r)).toLower(); },
        TextBefore);
}

template <typename Record> void SortByIp(std::vector<std::unique_ptr<Record>>& list, bool ascending)
{
    SortBy(
        list, ascending, [](const Record& r) { return IpSortKey(r.ip); }, std::less<quint32>());
}

template <typename Record>
void SortByMac(std::vector<std::unique_ptr<Record>>& list, bool ascending)
{
    // The MAC text never is empty, so plain unit order is the text order here.
    SortBy(
        list, ascending, [](const Record& r) { return FormatMacAddress(r.mac).toLower(); },
        std::less<QString>());
}

} // namespace

CLanveyDoc::CLanveyDoc() = default;

CLanveyDoc::~CLanveyDoc()
{
    DeleteContents();
}

HostRecord* CLanveyDoc::GetScanRecord(int index) const
{
    std::lock_guard guard(g_recordLock);
    return RecordAt(m_scanRecords, index);
}

DatabaseRecord* CLanveyDoc::GetDatabaseRecord(int index) const
{
    return RecordAt(m_databaseRecords, index);
}

int CLanveyDoc::GetScanRecordCount() const
{
    std::lock_guard guard(g_recordLock);
    return int(m_scanRecords.size());
}

int CLanveyDoc::GetDatabaseRecordCount() const
{
    return int(m_databaseRecords.size());
}

int CLanveyDoc::FindDatabaseRecordByIp(quint32 ip) const
{
    for (size_t i = 0; i < m_databaseRecords.size(); ++i) {
        if (m_databaseRecords[i]->ip == ip)
            return int(i);
    }
    return -1;
}

void CLanveyDoc::AppendScanRecord(std::unique_ptr<HostRecord> record)
{
    std::lock_guard guard(g_recordLock);
    m_scanRecords.push_back(std::move(record));
}

void CLanveyDoc::AppendDatabaseRecord(std::unique_ptr<DatabaseRecord> record)
{
    m_databaseRecords.push_back(std::move(record));
}

void CLanveyDoc::DeleteScanRecord(int index)
{
    std::lock_guard guard(g_recordLock);
    if (RecordAt(m_scanRecords, index))
        m_scanRecords.erase(m_scanRecords.begin() + index);
}

void CLanveyDoc::DeleteDatabaseRecord(int index)
{
    if (RecordAt(m_databaseRecords, index))
        m_databaseRecords.erase(m_databaseRecords.begin() + index);
}

void CLanveyDoc::ClearScanRecords()
{
    std::lock_guard guard(g_recordLock);
    m_scanRecords.clear();
}

void CLanveyDoc::ClearDatabaseRecords()
{
    std::lock_guard guard(g_recordLock);
    m_databaseRecords.clear();
}

QString CLanveyDoc::VendorKey(quint64 mac) const
{
    return m_oui ? m_oui->GetManufacturer(FormatMacAddress(mac)) : QString();
}

void CLanveyDoc::SortScanRecords(int column, bool ascending)
{
    std::lock_guard guard(g_recordLock);
    if (m_scanRecords.empty())
        return;
    auto& list = m_scanRecords;
    switch (column) {
    case ScanColIp:
        SortByIp(list, ascending);
        break;
    case ScanColMac:
        SortByMac(list, ascending);
        break;
    case ScanColHostName:
        SortByText(list, ascending, &HostRecord::hostName);
        break;
    case ScanColWorkgroup:
        SortByText(list, ascending, &HostRecord::workgroup);
        break;
    case ScanColVendor:
        SortByText(list, ascending, [this](const HostRecord& r) { return VendorKey(r.mac); });
        break;
    case ScanColCompare:
        SortBy(
            list, ascending, [](const HostRecord& r) { return qint32(r.overallState); },
            std::less<qint32>());
        break;
    default:
        break;
    }
}

void CLanveyDoc::SortDatabaseRecords(int column, bool ascending)
{
    if (m_databaseRecords.empty())
        return;
    auto& list = m_databaseRecords;
    using R = DatabaseRecord;
    switch (column) {
    case DbColIp:
        SortByIp(list, ascending);
        break;
    case DbColMac:
        SortByMac(list, ascending);
        break;
    case DbColHostName:
        SortByText(list, ascending, &R::hostName);
        break;
    case DbColWorkgroup:
        SortByText(list, ascending, &R::workgroup);
        break;
    case DbColUserName:
        SortByText(list, ascending, &R::userName);
        break;
    case DbColLocation:
        SortByText(list, ascending, &R::location);
        break;
    case DbColVendor:
        SortByText(list, ascending, [this](const R& r) { return VendorKey(r.mac); });
        break;
    case DbColComment:
        SortByText(list, ascending, &R::comment);
        break;
    default:
        break;
    }
}

void CLanveyDoc::CompareWithDatabase(HostRecord* record, int /*index*/)
{
    if (!record)
        return;
    record->ipState = record->macState = record->overallState = CompareState::New;
    for (const auto& known : m_databaseRecords) {
        if (known->ip == record->ip) {
            if (known->mac == record->mac) {
                // An exact match wins over any conflict seen before it.
                record->ipState = record->macState = record->overallState = CompareState::Matched;
                return;
            }
            record->ipState = record->overallState = CompareState::Different;
        } else if (known->mac == record->mac) {
            record->macState = record->overallState = CompareState::Different;
        }
    }
}

void CLanveyDoc::SetScanShutdown(std::function<void()> shutdown)
{
    m_scanShutdown = std::move(shutdown);
}

void CLanveyDoc::DeleteContents()
{
    // Workers must be gone before the records they append to are freed.
    if (m_scanShutdown)
        m_scanShutdown();
    ClearScanRecords();
    ClearDatabaseRecords();
}

void CLanveyDoc::AppendNameTableEntry(std::unique_ptr<NameTableEntry> entry)
{
    m_nameTableEntries.push_back(std::move(entry));
}

NameTableEntry* CLanveyDoc::GetNameTableEntry(int index) const
{
    return RecordAt(m_nameTableEntries, index);
}

int CLanveyDoc::GetNameTableEntryCount() const
{
    return int(m_nameTableEntries.size());
}

void CLanveyDoc::ClearNameTableEntries()
{
    m_nameTableEntries.clear();
}

DatabaseLoadResult CLanveyDoc::OpenDatabase(const QString& path)
{
    std::vector<std::unique_ptr<DatabaseRecord>> loaded;
    DatabaseLoadResult result = DatabaseFile::Load(path, loaded);
    m_databasePath = path;
    m_databaseWritable = result.status != DatabaseLoadResult::Failed;
    m_databaseRecords = std::move(loaded);
    return result;
}

bool CLanveyDoc::SaveDatabase(QString* error)
{
    if (!m_databaseWritable) {
        if (error)
            *error = m_databasePath.isEmpty()
                         ? FormatLangStringA(61966, "no database file is open")
                         : FormatLangStringA(61967,
                                             "the database \"%s_FILE%\" could not be read when "
                                             "it was opened, so it is not written",
                                             {m_databasePath});
        return false;
    }
    return DatabaseFile::Save(m_databasePath, m_databaseRecords, error);
}
