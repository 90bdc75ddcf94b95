// Timings of the core operations whose cost the user feels: loading the vendor table
// at start, sorting a large scan list, writing and reading the database file, exporting
// and importing a large database list.
// Prints one line per measurement (median of several runs).

#include "records/DatabaseFile.h"
#include "records/LanveyDoc.h"
#include "records/RecordExchange.h"
#include "support/AddressText.h"
#include "support/NVOUI.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
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

} // namespace

int main()
{
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
    return 0;
}
