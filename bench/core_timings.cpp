// Timings of the core operations whose cost the user feels: loading the vendor table
// at start, sorting a large scan list, writing and reading the database file, exporting
// and importing a large database list, sorting a large database list with its commit (old
// and new sort side by side).
// Prints one line per measurement (median of several runs).

#include "records/DatabaseFile.h"
#include "records/ExchangeSort.h"
#include "records/LanveyDoc.h"
#include "records/RecordExchange.h"
#include "support/AddressText.h"
#include "support/NVOUI.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numeric>
#include <random>
#include <vector>

namespace
{

double MedianMs(int runs, const std::function<void()>& setUp, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        setUp();
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void Report(const char* what, double ms)
{
    std::printf("%-52s %9.2f ms\n", what, ms);
}

// A scan list of `count` hosts whose MACs come from real registered blocks, so the
// vendor column holds many equal names, as on a real network.
void FillScanList(CLanveyDoc& doc, int count, const std::vector<quint32>& ouis)
{
    doc.ClearScanRecords();
    std::mt19937 random(42);
    for (int i = 0; i < count; ++i) {
        auto record = std::make_unique<HostRecord>();
        record->ip = IpFromHostOrder(0xC6120000u + quint32(i));
        const quint32 oui = ouis[size_t(random()) % ouis.size()];
        const quint64 big = quint64(oui) << 24 | quint64(random() & 0xFFFFFF);
        quint64 mac = kMacTopBits;
        for (int b = 0; b < 6; ++b)
            mac |= ((big >> (8 * (5 - b))) & 0xFF) << (8 * b);
        record->mac = mac;
        record->hostName = QStringLiteral("HOST%1").arg(random() % 5000);
        doc.AppendScanRecord(std::move(record));
    }
}

// A database list as an office keeps one: names of a few patterns, some user names,
// locations and comments, MACs from real vendors' blocks, a few coloured rows.
std::vector<DatabaseRecord> OfficeDatabase(int count, const std::vector<quint32>& ouis)
{
    static const char* const kPrefixes[] = {"PC", "LAPTOP", "PRINTER", "NAS", "CAM", "WS"};
    static const char* const kGroups[] = {"WORKGROUP", "OFFICE", "LABGROUP", "财务部"};
    static const char* const kPlaces[] = {"Room 101", "2nd floor, east", "Büro 3", "会议室"};
    std::mt19937 random(7);
    std::vector<DatabaseRecord> records(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        DatabaseRecord& r = records[size_t(i)];
        r.ip = IpFromHostOrder(0x0A000000u + quint32(i));
        const quint64 big =
            quint64(ouis[size_t(random()) % ouis.size()]) << 24 | (random() & 0xFFFFFF);
        r.mac = kMacTopBits;
        for (int b = 0; b < 6; ++b)
            r.mac |= ((big >> (8 * (5 - b))) & 0xFF) << (8 * b);
        r.hostName = QStringLiteral("%1-%2").arg(QLatin1String(kPrefixes[random() % 6])).arg(i);
        r.workgroup = QString::fromUtf8(kGroups[random() % 4]);
        if (random() % 3 == 0)
            r.userName = QStringLiteral("user%1").arg(random() % 500);
        r.location = QString::fromUtf8(kPlaces[random() % 4]);
        if (random() % 4 == 0)
            r.comment = QStringLiteral("asset %1, checked \"ok\"").arg(random() % 100000);
        if (random() % 10 == 0)
            r.color = ColorRef(random() & 0xFFFFFF);
    }
    return records;
}

// The database list's sort as it was before equal keys were placed without running the
// exchange sort: kept here only to show what the change is worth on the same data.
std::vector<std::int32_t> OldExchangeSortOrder(const std::vector<std::int32_t>& ranks)
{
    const auto n = std::int32_t(ranks.size());
    std::vector<std::int32_t> order(ranks.size());
    std::iota(order.begin(), order.end(), 0);
    if (n < 2 || std::is_sorted(ranks.begin(), ranks.end()))
        return order; // nothing is ever exchanged

    const std::int32_t rankCount = *std::max_element(ranks.begin(), ranks.end()) + 1;
    if (rankCount == n) {
        // All keys differ: the sorted order is the only possible outcome.
        std::sort(order.begin(), order.end(),
                  [&](std::int32_t a, std::int32_t b) { return ranks[a] < ranks[b]; });
        return order;
    }

    // Equal keys: run the exchange sort itself over the ranks. Pass i keeps swapping a
    // smaller rank into position i; once position i holds the smallest rank left in the
    // tail, no later j can be smaller, so the pass stops there. Counting the ranks left
    // in the tail tells that smallest rank.
    std::vector<std::int32_t> rank = ranks;
    std::vector<std::int32_t> left(size_t(rankCount), 0);
    for (const std::int32_t r : rank)
        ++left[size_t(r)];
    std::int32_t smallest = 0;
    for (std::int32_t i = 0; i + 1 < n; ++i) {
        while (left[size_t(smallest)] == 0)
            ++smallest;
        for (std::int32_t j = i + 1; j < n && rank[i] != smallest; ++j) {
            if (rank[j] < rank[i]) {
                std::swap(rank[i], rank[j]);
                std::swap(order[i], order[j]);
            }
        }
        --left[size_t(rank[i])];
    }
    return order;
}

// The old keys: a text per record (the vendor looked up for each), ranked by a stable
// sort of all records.
std::vector<std::int32_t> OldSortOrder(const std::vector<std::unique_ptr<DatabaseRecord>>& list,
                                       int column, bool ascending, const CNVOUI& oui)
{
    const auto textBefore = [](const QString& a, const QString& b) {
        if (a.isEmpty() || b.isEmpty())
            return !a.isEmpty() && b.isEmpty();
        return QStringView(a).compare(QStringView(b), Qt::CaseSensitive) < 0;
    };
    if (column == DbColIp) {
        std::vector<quint32> keys;
        for (const auto& r : list)
            keys.push_back(IpToHostOrder(r->ip));
        std::vector<std::int32_t> order(keys.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
            return ascending ? keys[size_t(a)] < keys[size_t(b)]
                             : keys[size_t(b)] < keys[size_t(a)];
        });
        return order; // all addresses differ
    }
    std::vector<QString> keys;
    for (const auto& r : list) {
        switch (column) {
        case DbColMac:
            keys.push_back(FormatMacAddress(r->mac).toLower());
            break;
        case DbColHostName:
            keys.push_back(r->hostName.toLower());
            break;
        case DbColWorkgroup:
            keys.push_back(r->workgroup.toLower());
            break;
        case DbColUserName:
            keys.push_back(r->userName.toLower());
            break;
        case DbColLocation:
            keys.push_back(r->location.toLower());
            break;
        case DbColVendor:
            keys.push_back(oui.GetManufacturer(FormatMacAddress(r->mac)).toLower());
            break;
        default:
            keys.push_back(r->comment.toLower());
            break;
        }
    }
    const auto n = std::int32_t(keys.size());
    std::vector<std::int32_t> byKey(keys.size());
    std::iota(byKey.begin(), byKey.end(), 0);
    std::stable_sort(byKey.begin(), byKey.end(), [&](std::int32_t a, std::int32_t b) {
        return textBefore(keys[size_t(a)], keys[size_t(b)]);
    });
    std::vector<std::int32_t> ranks(keys.size());
    std::int32_t rank = 0;
    for (std::int32_t k = 0; k < n; ++k) {
        if (k > 0 && textBefore(keys[size_t(byKey[size_t(k - 1)])], keys[size_t(byKey[size_t(k)])]))
            ++rank;
        ranks[size_t(byKey[size_t(k)])] = rank;
    }
    if (!ascending) {
        for (auto& r : ranks)
            r = rank - r;
    }
    return OldExchangeSortOrder(ranks);
}

using Records = std::vector<std::unique_ptr<DatabaseRecord>>;

Records CopyOf(const Records& records)
{
    Records copy;
    copy.reserve(records.size());
    for (const auto& r : records)
        copy.push_back(std::make_unique<DatabaseRecord>(*r));
    return copy;
}

// The first `count` MA-L blocks of the installed registry, so the vendor column holds
// that many real names.
std::vector<quint32> RegisteredBlocks(int count)
{
    std::vector<quint32> blocks;
    QFile file(QStringLiteral("%1/oui.csv").arg(QLatin1String(CNVOUI::kDefaultFolder)));
    if (!file.open(QIODevice::ReadOnly))
        return {0x080027, 0x001A2B, 0x00D0EF, 0x002272};
    while (!file.atEnd() && int(blocks.size()) < count) {
        const QList<QByteArray> fields = file.readLine().split(',');
        bool ok = false;
        const quint32 block =
            fields.size() > 1 && fields[1].size() == 6 ? fields[1].toUInt(&ok, 16) : 0;
        if (ok)
            blocks.push_back(block);
    }
    return blocks;
}

// A database as an office collects it: a few hundred vendors (some much more common),
// host names that repeat, one main workgroup, and user names, locations and comments
// mostly left empty.
Records RealisticDatabase(int count)
{
    const std::vector<quint32> blocks = RegisteredBlocks(300);
    std::mt19937 random(2026);
    std::vector<quint32> addresses;
    for (int i = 0; i < count; ++i)
        addresses.push_back(0x0A000000u + quint32(i) * 7u);
    std::shuffle(addresses.begin(), addresses.end(), random);
    const QStringList groups = {"WORKGROUP", "LAB", "OFFICE", "MSHOME", "Workgroup"};
    Records records;
    for (int i = 0; i < count; ++i) {
        auto r = std::make_unique<DatabaseRecord>();
        r->ip = IpFromHostOrder(addresses[size_t(i)]);
        // Squaring a uniform pick makes the first blocks the common ones.
        const double pick = std::uniform_real_distribution<double>(0, 1)(random);
        const quint32 block = blocks[size_t(pick * pick * double(blocks.size()))];
        const quint64 big = quint64(block) << 24 | quint64(random() & 0xFFFFFF);
        quint64 mac = kMacTopBits;
        for (int b = 0; b < 6; ++b)
            mac |= ((big >> (8 * (5 - b))) & 0xFF) << (8 * b);
        r->mac = mac;
        r->hostName =
            random() % 10 == 0 ? QString() : QStringLiteral("host-%1").arg(random() % 30000);
        const int group = int(random() % 100);
        r->workgroup = group < 80 ? groups[0] : group < 95 ? groups[1 + group % 4] : QString();
        if (random() % 20 == 0)
            r->userName = QStringLiteral("user%1").arg(random() % 200);
        if (random() % 10 == 0)
            r->location = QStringLiteral("Room %1").arg(random() % 20);
        if (random() % 33 == 0)
            r->comment = QStringLiteral("printer, keep address");
        records.push_back(std::move(r));
    }
    return records;
}

const char* const kColumnNames[] = {"IP address", "MAC address", "host name", "workgroup",
                                    "user name",  "location",    "vendor",    "comment"};

// The old sort takes seconds a column; "--new-only" leaves it out.
bool g_skipOldSort = false;

// A time, or a dash for one not taken.
QByteArray Ms(double ms)
{
    return ms < 0 ? QByteArray("-") : QByteArray::number(ms, 'f', 1);
}

struct SortTimes {
    double oldSort = 0, oldWithCommit = 0, newSort = 0, newWithCommit = 0;
};

// One column one way, from the same starting order each time: the old sort and the new
// one, each on its own and with the commit to the file. The old one runs fewer times,
// it is slow.
SortTimes TimeSort(const Records& data, int column, bool ascending, const CNVOUI& oui,
                   const QString& path, int runs)
{
    SortTimes t;
    Records list;
    if (g_skipOldSort) {
        t.oldSort = t.oldWithCommit = -1;
    } else {
        t.oldSort = MedianMs(
            1, [&] { list = CopyOf(data); },
            [&] { ApplyOrder(list, OldSortOrder(list, column, ascending, oui)); });
        t.oldWithCommit = MedianMs(
            1, [&] { list = CopyOf(data); },
            [&] {
                ApplyOrder(list, OldSortOrder(list, column, ascending, oui));
                DatabaseFile::Save(path, list);
            });
    }

    CLanveyDoc doc;
    doc.SetVendorTable(&oui);
    const auto reopen = [&] {
        DatabaseFile::Save(path, data);
        doc.OpenDatabase(path);
    };
    // Inside a batch the document holds the commit back until the batch ends, which is
    // at the next run's set-up, untimed.
    bool inBatch = false;
    t.newSort = MedianMs(
        runs,
        [&] {
            if (inBatch)
                doc.EndDatabaseChange();
            reopen();
            doc.BeginDatabaseChange();
            inBatch = true;
        },
        [&] { doc.SortDatabaseRecords(column, ascending); });
    doc.EndDatabaseChange();
    t.newWithCommit = MedianMs(runs, reopen, [&] { doc.SortDatabaseRecords(column, ascending); });
    return t;
}

void ReportSortTable(const char* title, const Records& data, const std::vector<int>& columns,
                     const CNVOUI& oui, const QString& path)
{
    std::printf("\n%s\n", title);
    std::printf("%-30s %10s %10s %10s %10s\n", "column", "old sort", "+commit", "new sort",
                "+commit");
    for (const int column : columns) {
        for (const bool ascending : {true, false}) {
            const SortTimes t = TimeSort(data, column, ascending, oui, path, 3);
            const QByteArray label =
                QByteArray(kColumnNames[column]) + (ascending ? " (asc)" : " (desc)");
            std::printf("%-30s %10s %10s %10s %10s\n", label.constData(), Ms(t.oldSort).constData(),
                        Ms(t.oldWithCommit).constData(), Ms(t.newSort).constData(),
                        Ms(t.newWithCommit).constData());
        }
    }
}

Records WithHostNames(const Records& data, const std::function<QString(int)>& nameAt)
{
    Records records = CopyOf(data);
    for (size_t i = 0; i < records.size(); ++i)
        records[i]->hostName = nameAt(int(i));
    return records;
}

} // namespace

int main(int argc, char** argv)
{
    g_skipOldSort = argc > 1 && std::strcmp(argv[1], "--new-only") == 0;
    CNVOUI oui;
    Report("vendor table: load the four IEEE registries", MedianMs(
                                                              7, [] {}, [&] { oui.Open(); }));
    std::printf("%-52s %9lld\n", "vendor table: registered blocks", (long long)oui.Count());

    // Twenty common vendors' blocks.
    const std::vector<quint32> ouis = {0x080027, 0x001A2B, 0x00D0EF, 0x002272, 0x086195,
                                       0x086083, 0x0C20D3, 0x08688D, 0x02C08C, 0x525400,
                                       0x001122, 0x3C5AB4, 0xF4F5D8, 0x00163E, 0x000C29,
                                       0x005056, 0xB827EB, 0xDCA632, 0x001B21, 0x00E04C};
    CLanveyDoc doc;
    doc.SetVendorTable(&oui);
    for (const auto& sortKey :
         {std::pair{ScanColVendor, "vendor"}, std::pair{ScanColHostName, "host name"},
          std::pair{ScanColMac, "MAC address"}, std::pair{ScanColIp, "IP address"}}) {
        // Plain variables, not a structured binding: clang before 16 cannot capture one in
        // a lambda.
        const auto column = sortKey.first;
        const char* const name = sortKey.second;
        for (const bool ascending : {true, false}) {
            const QByteArray label = QByteArray("sort 10,000 scan records by ") + name +
                                     (ascending ? " (asc)" : " (desc)");
            Report(label.constData(), MedianMs(
                                          5, [&] { FillScanList(doc, 10000, ouis); },
                                          [&] { doc.SortScanRecords(column, ascending); }));
        }
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Database.lvdat"));
    std::vector<std::unique_ptr<DatabaseRecord>> records;
    for (int i = 0; i < 10000; ++i) {
        auto r = std::make_unique<DatabaseRecord>();
        r->ip = IpFromHostOrder(0xC6120000u + quint32(i));
        r->mac = kMacTopBits | quint64(i);
        r->hostName = QStringLiteral("HOST%1").arg(i);
        r->comment = QStringLiteral("comment of record %1").arg(i);
        records.push_back(std::move(r));
    }
    Report("database file: save 10,000 records",
           MedianMs(
               5, [] {}, [&] { DatabaseFile::Save(path, records); }));
    std::vector<std::unique_ptr<DatabaseRecord>> loaded;
    Report("database file: load 10,000 records",
           MedianMs(
               5, [] {}, [&] { DatabaseFile::Load(path, loaded); }));

    const std::vector<DatabaseRecord> office = OfficeDatabase(100000, ouis);
    std::vector<const DatabaseRecord*> rows;
    for (const DatabaseRecord& r : office)
        rows.push_back(&r);
    for (const auto& [format, name] :
         {std::pair{ExchangeFormat::Csv, "CSV"}, std::pair{ExchangeFormat::Json, "JSON"}}) {
        QByteArray written;
        const QByteArray exportLabel = QByteArray("export 100,000 database records as ") + name;
        const ExchangeFormat f = format;
        Report(exportLabel.constData(),
               MedianMs(
                   5, [] {}, [&] { written = WriteDatabaseRecords(f, rows, &oui); }));
        size_t read = 0;
        const QByteArray importLabel = QByteArray("import 100,000 database records from ") + name;
        Report(importLabel.constData(),
               MedianMs(
                   5, [] {}, [&] { read = ReadRecords(written).records.size(); }));
        if (read != office.size())
            std::printf("  (read %zu records of %zu)\n", read, office.size());
    }
    // The database list sorted by a column title click, 100,000 records, times in ms.
    const int count = 100000;
    const Records database = RealisticDatabase(count);
    const QString sortPath = dir.filePath(QStringLiteral("Sorted.lvdat"));
    Report("database file: save 100,000 records",
           MedianMs(
               3, [] {}, [&] { DatabaseFile::Save(sortPath, database); }));
    ReportSortTable("sort 100,000 database records (office data), ms", database,
                    {DbColIp, DbColMac, DbColHostName, DbColWorkgroup, DbColUserName, DbColLocation,
                     DbColVendor, DbColComment},
                    oui, sortPath);
    const std::vector<std::pair<const char*, std::function<QString(int)>>> shapes = {
        {"host names all equal, ms", [](int) { return QStringLiteral("PC"); }},
        {"host names reverse-sorted with duplicates, ms",
         [&](int i) {
             return QStringLiteral("host-%1").arg((count - i) / 4, 6, 10, QLatin1Char('0'));
         }},
        {"host names of three keys interleaved, ms",
         [](int i) { return QString(QChar(u'c' - i % 3)); }},
    };
    for (const auto& shape : shapes)
        ReportSortTable(shape.first, WithHostNames(database, shape.second), {DbColHostName}, oui,
                        sortPath);
    return 0;
}
