#include "records/LanveyDoc.h"

#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "records/CompareResult.h"
#include "records/ExchangeSort.h"
#include "records/RecordLock.h"
#include "support/AddressText.h"
#include "support/NVOUI.h"

#include <QDir>
#include <QHash>
#include <QLockFile>
#include <algorithm>
#include <functional>

namespace
{

template <typename List> auto* RecordAt(const List& list, int index)
{
    return index >= 0 && size_t(index) < list.size() ? list[size_t(index)].get() : nullptr;
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

// A text column has few distinct texts (empty user names, one workgroup, a few vendors),
// so each distinct text is lowercased, looked up and ranked once, and records refer to
// it by number.
class DistinctTexts
{
public:
    explicit DistinctTexts(size_t expected) { m_idOf.reserve(qsizetype(expected)); }

    std::int32_t IdOf(const QString& text)
    {
        const QString lower = text.toLower();
        auto it = m_idOf.find(lower);
        if (it == m_idOf.end()) {
            it = m_idOf.insert(lower, std::int32_t(m_texts.size()));
            m_texts.push_back(lower);
        }
        return it.value();
    }

    // Rank of each id in the text order (equal texts, equal ranks), reversed for a
    // descending sort; then `ids` become ranks in place.
    void RankIds(std::vector<std::int32_t>& ids, bool ascending) const
    {
        const auto count = std::int32_t(m_texts.size());
        std::vector<std::int32_t> byText(m_texts.size());
        std::iota(byText.begin(), byText.end(), 0);
        std::sort(byText.begin(), byText.end(), [&](std::int32_t a, std::int32_t b) {
            return TextBefore(m_texts[size_t(a)], m_texts[size_t(b)]);
        });
        std::vector<std::int32_t> rankOf(m_texts.size());
        std::int32_t rank = 0;
        for (std::int32_t k = 0; k < count; ++k) {
            if (k > 0 && TextBefore(m_texts[size_t(byText[size_t(k - 1)])],
                                    m_texts[size_t(byText[size_t(k)])]))
                ++rank;
            rankOf[size_t(byText[size_t(k)])] = rank;
        }
        for (auto& id : ids)
            id = ascending ? rankOf[size_t(id)] : rank - rankOf[size_t(id)];
    }

private:
    QHash<QString, std::int32_t> m_idOf;
    std::vector<QString> m_texts;
};

// `textOf` is a QString member or anything that gives a record's text.
template <typename Record, typename TextOf>
void SortByText(std::vector<std::unique_ptr<Record>>& list, bool ascending, TextOf textOf)
{
    DistinctTexts texts(list.size());
    std::vector<std::int32_t> ranks;
    ranks.reserve(list.size());
    for (const auto& record : list)
        ranks.push_back(texts.IdOf(std::invoke(textOf, *record)));
    texts.RankIds(ranks, ascending);
    ApplyOrder(list, ExchangeSortOrder(ranks));
}

// The vendor depends only on the block the address is in, so a list of hosts from a few
// hundred vendors needs about that many lookups.
template <typename Record>
void SortByVendor(std::vector<std::unique_ptr<Record>>& list, bool ascending, const CNVOUI* oui)
{
    DistinctTexts texts(list.size());
    QHash<quint64, std::int32_t> idOfBlock;
    std::vector<std::int32_t> ranks;
    ranks.reserve(list.size());
    for (const auto& record : list) {
        const quint64 block = oui ? oui->VendorBlockOf(record->mac) : 0;
        auto it = idOfBlock.find(block);
        if (it == idOfBlock.end()) {
            const QString vendor = oui ? oui->GetManufacturerOf(record->mac) : QString();
            it = idOfBlock.insert(block, texts.IdOf(vendor));
        }
        ranks.push_back(it.value());
    }
    texts.RankIds(ranks, ascending);
    ApplyOrder(list, ExchangeSortOrder(ranks));
}

// The list in the order of one column, as its entry says.
template <typename Record>
void SortByColumn(std::vector<std::unique_ptr<Record>>& list, const ListColumn<Record>& column,
                  bool ascending, const CNVOUI* oui, const SightingIndex* seen)
{
    const CellContext context{oui, CellUse::List, seen};
    switch (column.order) {
    case ColumnOrder::Number:
        SortBy(
            list, ascending, [&](const Record& r) { return column.number(r, context); },
            std::less<quint64>());
        break;
    case ColumnOrder::Text:
        SortByText(list, ascending, [&](const Record& r) { return column.text(r, context); });
        break;
    case ColumnOrder::Vendor:
        SortByVendor(list, ascending, oui);
        break;
    }
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

const DatabaseRecord* CLanveyDoc::GetDatabaseRecord(int index) const
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

std::vector<const DatabaseRecord*> CLanveyDoc::GetDatabaseRecords() const
{
    std::vector<const DatabaseRecord*> records;
    records.reserve(m_databaseRecords.size());
    for (const auto& record : m_databaseRecords)
        records.push_back(record.get());
    return records;
}

int CLanveyDoc::FindDatabaseRecordByIp(quint32 ip) const
{
    if (!m_ipIndex) {
        std::unordered_map<quint32, int> index;
        index.reserve(m_databaseRecords.size());
        // The first record with an address is the one found, should a list hold two.
        for (size_t i = 0; i < m_databaseRecords.size(); ++i)
            index.emplace(m_databaseRecords[i]->ip, int(i));
        m_ipIndex = std::move(index);
    }
    const auto found = m_ipIndex->find(ip);
    return found != m_ipIndex->end() ? found->second : -1;
}

void CLanveyDoc::AppendScanRecord(std::unique_ptr<HostRecord> record)
{
    std::lock_guard guard(g_recordLock);
    m_scanRecords.push_back(std::move(record));
}

bool CLanveyDoc::AppendDatabaseRecord(std::unique_ptr<DatabaseRecord> record)
{
    if (!record || FindDatabaseRecordByIp(record->ip) >= 0)
        return false;
    NoteDatabaseChange();
    m_ipIndex->emplace(record->ip, int(m_databaseRecords.size()));
    m_databaseRecords.push_back(std::move(record));
    return CommitDatabaseChange();
}

void CLanveyDoc::DeleteScanRecord(int index)
{
    std::lock_guard guard(g_recordLock);
    if (RecordAt(m_scanRecords, index))
        m_scanRecords.erase(m_scanRecords.begin() + index);
}

bool CLanveyDoc::DeleteDatabaseRecord(int index)
{
    if (!RecordAt(m_databaseRecords, index))
        return false;
    NoteDatabaseChange();
    DatabaseRecordsMoved();
    m_databaseRecords.erase(m_databaseRecords.begin() + index);
    return CommitDatabaseChange();
}

bool CLanveyDoc::SetDatabaseRecord(int index, const DatabaseRecord& values)
{
    DatabaseRecord* record = RecordAt(m_databaseRecords, index);
    if (!record)
        return false;
    const int holder = FindDatabaseRecordByIp(values.ip);
    if (holder >= 0 && holder != index)
        return false;
    NoteDatabaseChange();
    if (record->ip != values.ip)
        DatabaseRecordsMoved();
    *record = values;
    return CommitDatabaseChange();
}

void CLanveyDoc::ClearScanRecords()
{
    std::lock_guard guard(g_recordLock);
    m_scanRecords.clear();
}

void CLanveyDoc::ClearDatabaseRecords()
{
    DatabaseRecordsMoved();
    m_databaseRecords.clear();
    m_committedDatabase.reset();
}

void CLanveyDoc::SetDatabaseChangedHandler(std::function<void()> handler)
{
    m_databaseChanged = std::move(handler);
}

void CLanveyDoc::NoteDatabaseChange()
{
    DatabaseListChanged();
    if (m_committedDatabase)
        return;
    std::vector<DatabaseRecord> committed;
    committed.reserve(m_databaseRecords.size());
    for (const auto& record : m_databaseRecords)
        committed.push_back(*record);
    m_committedDatabase = std::move(committed);
}

void CLanveyDoc::BeginDatabaseChange()
{
    ++m_databaseBatchDepth;
}

bool CLanveyDoc::EndDatabaseChange()
{
    if (m_databaseBatchDepth > 0)
        --m_databaseBatchDepth;
    return CommitDatabaseChange();
}

CLanveyDoc::MergeCounts CLanveyDoc::MergeDatabaseRecords(
    std::vector<std::unique_ptr<DatabaseRecord>> incoming,
    const std::function<MergeClash(std::size_t position, const DatabaseRecord& holder,
                                   DatabaseRecord& incoming)>& clash)
{
    MergeCounts counts;
    // The list the walk makes: the records of the list that stay, in their places, then
    // those it adds, in order. A record taken out leaves an empty slot until the end.
    std::vector<bool> replacedAt(m_databaseRecords.size());
    std::vector<std::unique_ptr<DatabaseRecord>> added;
    // Where each address the walk has added is held: its slot in `added`.
    std::unordered_map<quint32, std::size_t> addedAt;
    for (std::size_t i = 0; i < incoming.size(); ++i) {
        std::unique_ptr<DatabaseRecord>& record = incoming[i];
        if (!record)
            continue;
        const quint32 ip = record->ip;
        const auto inAdded = addedAt.find(ip);
        const int inList = inAdded == addedAt.end() ? FindDatabaseRecordByIp(ip) : -1;
        const DatabaseRecord* holder = inAdded != addedAt.end() ? added[inAdded->second].get()
                                       : inList >= 0 && !replacedAt[std::size_t(inList)]
                                           ? m_databaseRecords[std::size_t(inList)].get()
                                           : nullptr;
        if (holder) {
            const MergeClash decision = clash(i, *holder, *record);
            if (decision == MergeClash::Stop) {
                counts.stopped = true;
                break;
            }
            if (decision == MergeClash::Skip)
                continue;
            if (inAdded != addedAt.end())
                added[inAdded->second].reset();
            else
                replacedAt[std::size_t(inList)] = true;
            ++counts.replaced;
        } else {
            ++counts.added;
        }
        addedAt[ip] = added.size();
        added.push_back(std::move(record));
    }
    if (added.empty())
        return counts;

    NoteDatabaseChange();
    DatabaseRecordsMoved();
    std::vector<std::unique_ptr<DatabaseRecord>> merged;
    merged.reserve(m_databaseRecords.size() + added.size() - std::size_t(counts.replaced));
    for (std::size_t i = 0; i < m_databaseRecords.size(); ++i)
        if (!replacedAt[i])
            merged.push_back(std::move(m_databaseRecords[i]));
    for (auto& record : added)
        if (record)
            merged.push_back(std::move(record));
    m_databaseRecords = std::move(merged);
    CommitDatabaseChange();
    return counts;
}

bool CLanveyDoc::CommitDatabaseChange()
{
    if (m_databaseBatchDepth > 0)
        return true;
    if (!m_committedDatabase)
        return true; // nothing changed
    bool committed = true;
    // A list that was never loaded from a file (the scanner's, a test's) lives in memory.
    if (!m_databasePath.isEmpty()) {
        QString error;
        committed = SaveDatabase(&error);
        if (!committed) {
            std::vector<std::unique_ptr<DatabaseRecord>> restored;
            restored.reserve(m_committedDatabase->size());
            for (const DatabaseRecord& record : *m_committedDatabase)
                restored.push_back(std::make_unique<DatabaseRecord>(record));
            m_databaseRecords = std::move(restored);
            DatabaseRecordsMoved();
            ShowErrorMessage(FormatLangStringA(
                0xF288,
                "The database file \"%s_PATH%\" could not be saved (%s_ERROR%). The change "
                "was undone: the list is as the file keeps it.",
                {QDir::toNativeSeparators(m_databasePath), error}));
        }
    }
    m_committedDatabase.reset();
    if (m_databaseChanged)
        m_databaseChanged();
    return committed;
}

void CLanveyDoc::SortScanRecords(int column, bool ascending)
{
    std::lock_guard guard(g_recordLock);
    if (m_scanRecords.empty() || column < 0 || column >= ScanColumnCount)
        return;
    const ListColumn<HostRecord>& entry = ScanColumns()[size_t(column)];
    // The states are otherwise worked out when a cell is drawn: a row never shown would
    // rank by a state from before the last change of the database list.
    if (entry.fromComparison) {
        for (const auto& record : m_scanRecords)
            CompareWithDatabase(record.get(), 0);
    }
    SortByColumn(m_scanRecords, entry, ascending, m_oui, &m_sightings);
}

bool CLanveyDoc::SortDatabaseRecords(int column, bool ascending)
{
    if (m_databaseRecords.empty() || column < 0 || column >= DbColumnCount)
        return false;
    NoteDatabaseChange();
    DatabaseRecordsMoved();
    SortByColumn(m_databaseRecords, DatabaseColumns()[size_t(column)], ascending, m_oui,
                 &m_sightings);
    return CommitDatabaseChange();
}

void CLanveyDoc::CompareWithDatabase(HostRecord* record, int /*index*/)
{
    if (!record)
        return;
    // A record with both addresses matches, whatever else the list holds; otherwise each
    // address that some record holds with another partner differs.
    record->ipState = record->macState = record->overallState = CompareState::New;
    const CompareIndex& index = Index();
    const auto byIp = index.macsByIp.find(record->ip);
    if (byIp != index.macsByIp.end()) {
        const std::vector<quint64>& macs = byIp->second;
        if (std::find(macs.begin(), macs.end(), record->mac) != macs.end()) {
            record->ipState = record->macState = record->overallState = CompareState::Matched;
            return;
        }
        record->ipState = record->overallState = CompareState::Different;
    }
    if (index.macs.contains(record->mac))
        record->macState = record->overallState = CompareState::Different;
}

const CLanveyDoc::CompareIndex& CLanveyDoc::Index() const
{
    if (!m_compareIndex) {
        CompareIndex index;
        index.macsByIp.reserve(m_databaseRecords.size());
        index.macs.reserve(m_databaseRecords.size());
        for (const auto& known : m_databaseRecords) {
            index.macsByIp[known->ip].push_back(known->mac);
            index.macs.insert(known->mac);
        }
        m_compareIndex = std::move(index);
    }
    return *m_compareIndex;
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

DatabaseLoadResult CLanveyDoc::OpenDatabase(const QString& path, int lockWaitMs)
{
    m_databaseLock.reset();
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    // Only a holder that is gone leaves its lock behind; however old, a live one's holds.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(lockWaitMs) && lock->error() == QLockFile::LockFailedError) {
        DatabaseLoadResult result;
        result.status = DatabaseLoadResult::Failed;
        result.problem = DatabaseLoadResult::InUse;
        result.error = FormatLangStringA(61973, "the file is in use by another program");
        m_databasePath = path;
        m_databaseWritable = false;
        m_databaseRecords.clear();
        DatabaseRecordsMoved();
        m_committedDatabase.reset();
        return result;
    }
    // A folder where no lock can be made (read-only) still lets the list be read; its
    // writes fail and say so.
    if (!lock->isLocked())
        lock.reset();
    m_databaseLock = std::move(lock);
    std::vector<std::unique_ptr<DatabaseRecord>> loaded;
    DatabaseLoadResult result = DatabaseFile::Load(path, loaded);
    m_databasePath = path;
    m_databaseWritable = result.status != DatabaseLoadResult::Failed;
    m_databaseRecords = std::move(loaded);
    DatabaseRecordsMoved();
    m_committedDatabase.reset();
    LoadSightings();
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
