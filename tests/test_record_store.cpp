#include "RecordTestUtil.h"
#include "TestPrinters.h"
#include "records/ExchangeSort.h"
#include "records/LanveyDoc.h"
#include "records/RecordLock.h"
#include "support/NVOUI.h"

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <thread>

namespace
{

QStringList ScanIps(const CLanveyDoc& doc)
{
    QStringList ips;
    for (int i = 0; i < doc.GetScanRecordCount(); ++i)
        ips << FormatIpAddress(doc.GetScanRecord(i)->ip);
    return ips;
}

QStringList ScanNames(const CLanveyDoc& doc)
{
    QStringList names;
    for (int i = 0; i < doc.GetScanRecordCount(); ++i)
        names << doc.GetScanRecord(i)->hostName;
    return names;
}

TEST(RecordStore, LookupByIndexIsNullOutsideTheList)
{
    CLanveyDoc doc;
    EXPECT_EQ(doc.GetScanRecord(0), nullptr);
    EXPECT_EQ(doc.GetDatabaseRecord(0), nullptr);
    EXPECT_EQ(doc.GetNameTableEntry(0), nullptr);
    doc.AppendScanRecord(Host("10.0.0.1", "00:00:00:00:00:01"));
    doc.AppendDatabaseRecord(Known("10.0.0.1", "00:00:00:00:00:01"));
    EXPECT_NE(doc.GetScanRecord(0), nullptr);
    EXPECT_EQ(doc.GetScanRecord(-1), nullptr);
    EXPECT_EQ(doc.GetScanRecord(1), nullptr);
    EXPECT_NE(doc.GetDatabaseRecord(0), nullptr);
    EXPECT_EQ(doc.GetDatabaseRecord(-1), nullptr);
    EXPECT_EQ(doc.GetDatabaseRecord(1), nullptr);
}

TEST(RecordStore, FindDatabaseRecordByIpMatchesTheAddressOnly)
{
    CLanveyDoc doc;
    EXPECT_EQ(doc.FindDatabaseRecordByIp(IpOf("10.0.0.5")), -1);
    doc.AppendDatabaseRecord(Known("10.0.0.9", "00:11:22:33:44:55"));
    doc.AppendDatabaseRecord(Known("10.0.0.5", "00:11:22:33:44:66"));
    EXPECT_EQ(doc.FindDatabaseRecordByIp(IpOf("10.0.0.5")), 1);
    EXPECT_EQ(doc.FindDatabaseRecordByIp(IpOf("10.0.0.9")), 0);
    EXPECT_EQ(doc.FindDatabaseRecordByIp(IpOf("5.0.0.10")), -1) << "octet order matters";
    EXPECT_EQ(doc.FindDatabaseRecordByIp(IpOf("10.0.0.7")), -1);
}

TEST(RecordStore, DeleteClosesTheGapAndClearEmpties)
{
    CLanveyDoc doc;
    for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"})
        doc.AppendScanRecord(Host(ip, "00:00:00:00:00:01"));
    doc.DeleteScanRecord(1);
    EXPECT_EQ(ScanIps(doc), QStringList({"10.0.0.1", "10.0.0.3", "10.0.0.4"}));
    doc.DeleteScanRecord(2);
    doc.DeleteScanRecord(7);
    doc.DeleteScanRecord(-1);
    EXPECT_EQ(ScanIps(doc), QStringList({"10.0.0.1", "10.0.0.3"}));
    doc.ClearScanRecords();
    EXPECT_EQ(doc.GetScanRecordCount(), 0);

    doc.AppendDatabaseRecord(Known("10.0.0.1", "00:00:00:00:00:01"));
    doc.AppendDatabaseRecord(Known("10.0.0.2", "00:00:00:00:00:01"));
    doc.DeleteDatabaseRecord(0);
    ASSERT_EQ(doc.GetDatabaseRecordCount(), 1);
    EXPECT_EQ(doc.GetDatabaseRecord(0)->ip, IpOf("10.0.0.2"));
    doc.ClearDatabaseRecords();
    EXPECT_EQ(doc.GetDatabaseRecordCount(), 0);

    doc.AppendNameTableEntry(std::make_unique<NameTableEntry>());
    EXPECT_EQ(doc.GetNameTableEntryCount(), 1);
    doc.ClearNameTableEntries();
    EXPECT_EQ(doc.GetNameTableEntryCount(), 0);
}

TEST(RecordStore, DeleteContentsStopsTheScanBeforeFreeingRecords)
{
    // Declared before the document: its destructor runs the shutdown once more.
    int recordsWhenStopped = -1;
    CLanveyDoc doc;
    doc.DeleteContents(); // no scan ever started: returns at once
    doc.AppendScanRecord(Host("10.0.0.1", "00:00:00:00:00:01"));
    doc.AppendDatabaseRecord(Known("10.0.0.1", "00:00:00:00:00:01"));
    doc.SetScanShutdown([&] { recordsWhenStopped = doc.GetScanRecordCount(); });
    doc.DeleteContents();
    EXPECT_EQ(recordsWhenStopped, 1);
    EXPECT_EQ(doc.GetScanRecordCount(), 0);
    EXPECT_EQ(doc.GetDatabaseRecordCount(), 0);
}

TEST(RecordStore, AppendsFromWorkersWhileTheUiReads)
{
    CLanveyDoc doc;
    std::vector<std::thread> workers;
    for (int t = 0; t < 8; ++t) {
        workers.emplace_back([&doc, t] {
            for (int i = 0; i < 500; ++i) {
                auto record = std::make_unique<HostRecord>();
                record->ip = IpFromHostOrder(quint32(t) << 16 | quint32(i));
                doc.AppendScanRecord(std::move(record));
            }
        });
    }
    int reads = 0;
    while (doc.GetScanRecordCount() < 4000) {
        std::lock_guard guard(g_recordLock);
        const int n = doc.GetScanRecordCount();
        if (n > 0 && doc.GetScanRecord(n - 1))
            ++reads;
    }
    for (auto& w : workers)
        w.join();
    EXPECT_EQ(doc.GetScanRecordCount(), 4000);
    doc.SortScanRecords(ScanColIp, true);
    std::set<quint32> distinct;
    for (int i = 0; i < 4000; ++i)
        distinct.insert(doc.GetScanRecord(i)->ip);
    EXPECT_EQ(distinct.size(), 4000u);
}

std::vector<int> ReferenceExchangeSort(const std::vector<int>& keys, bool ascending)
{
    if (ascending)
        return ReferenceExchangeSortBy(keys, std::less<int>());
    return ReferenceExchangeSortBy(keys, std::greater<int>());
}

std::vector<int> OrderOf(const std::vector<std::int32_t>& ranks)
{
    const auto order = ExchangeSortOrder(ranks);
    return std::vector<int>(order.begin(), order.end());
}

TEST(ExchangeSort, OrderOfEqualKeysIsTheExchangeSorts)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 400; ++round) {
        const int n = std::uniform_int_distribution<int>(0, 60)(random);
        const int distinct = std::uniform_int_distribution<int>(1, 70)(random);
        std::vector<int> keys(static_cast<size_t>(n));
        for (auto& k : keys)
            k = std::uniform_int_distribution<int>(0, distinct - 1)(random);
        for (const bool ascending : {true, false}) {
            const auto got = ExchangeSortOrder(keys, std::less<int>(), ascending);
            const auto want = ReferenceExchangeSort(keys, ascending);
            ASSERT_EQ(std::vector<int>(got.begin(), got.end()), want)
                << "round " << round << (ascending ? " ascending" : " descending");
        }
    }
}

TEST(ExchangeSort, EqualKeysAreReorderedTheWayTheExchangeSortDoes)
{
    // 2a 1a 1b 0  ->  0 1b 1a 2a: the exchange sort is not stable.
    const auto order = ExchangeSortOrder(std::vector<int>{2, 1, 1, 0}, std::less<int>(), true);
    EXPECT_EQ(std::vector<int>(order.begin(), order.end()), (std::vector<int>{3, 2, 1, 0}));
}

// Ranks straight in, gaps between them allowed: thousands of short lists with few
// distinct keys, where the order of equal keys is all there is to get wrong.
TEST(ExchangeSort, ManySmallListsWithTiesMatchTheWrittenOutSort)
{
    std::mt19937 random(4242);
    for (int round = 0; round < 20000; ++round) {
        const int n = std::uniform_int_distribution<int>(0, 24)(random);
        const int distinct = std::uniform_int_distribution<int>(1, 6)(random);
        const int spread = std::uniform_int_distribution<int>(1, 3)(random);
        std::vector<std::int32_t> ranks(static_cast<size_t>(n));
        for (auto& r : ranks)
            r = spread * std::uniform_int_distribution<int>(0, distinct - 1)(random);
        ASSERT_EQ(OrderOf(ranks),
                  ReferenceExchangeSort(std::vector<int>(ranks.begin(), ranks.end()), true))
            << "round " << round;
    }
}

// The shapes that made the old sort slow, at sizes where runs of equal keys are long
// and smaller keys come between them many times over.
TEST(ExchangeSort, LongListsOfAdversarialShapesMatchTheWrittenOutSort)
{
    std::mt19937 random(99);
    const int n = 1500;
    const std::vector<std::pair<const char*, std::function<int(int)>>> shapes = {
        {"all equal", [](int) { return 3; }},
        {"reverse with duplicates", [](int i) { return (n - i) / 7; }},
        {"two keys interleaved", [](int i) { return i % 3 == 0 ? 0 : 1; }},
        {"few keys cycling down", [](int i) { return (n - i) % 5; }},
        {"one small key among equal ones", [](int i) { return i == n - 1 ? 0 : 1; }},
        {"equal keys between a descending run", [](int i) { return i % 2 ? 0 : n - i; }},
        {"random, 40 keys", [&](int) { return int(random() % 40); }},
        {"random, 400 keys", [&](int) { return int(random() % 400); }},
    };
    for (const auto& [name, keyAt] : shapes) {
        std::vector<int> keys;
        for (int i = 0; i < n; ++i)
            keys.push_back(keyAt(i));
        for (const bool ascending : {true, false}) {
            const auto got = ExchangeSortOrder(keys, std::less<int>(), ascending);
            ASSERT_EQ(std::vector<int>(got.begin(), got.end()),
                      ReferenceExchangeSort(keys, ascending))
                << name << (ascending ? " ascending" : " descending");
        }
    }
}

TEST(ExchangeSort, OrderIsAPermutationThatSortsTheKeys)
{
    std::mt19937 random(5);
    std::vector<std::int32_t> ranks(100000);
    for (auto& r : ranks)
        r = std::int32_t(random() % 300);
    const auto order = ExchangeSortOrder(ranks);
    std::vector<bool> seen(ranks.size(), false);
    for (size_t p = 0; p < order.size(); ++p) {
        ASSERT_FALSE(seen[size_t(order[p])]) << p;
        seen[size_t(order[p])] = true;
        if (p > 0) {
            ASSERT_LE(ranks[size_t(order[p - 1])], ranks[size_t(order[p])]) << p;
        }
    }
}

TEST(SortScanRecords, IpOrderIsNumericAcrossSubnets)
{
    CLanveyDoc doc;
    for (const char* ip :
         {"10.0.0.2", "198.18.5.0", "10.0.1.1", "198.18.0.1", "9.255.255.255", "10.0.0.1"})
        doc.AppendScanRecord(Host(ip, "00:00:00:00:00:01"));
    const QStringList ascending{"9.255.255.255", "10.0.0.1",   "10.0.0.2",
                                "10.0.1.1",      "198.18.0.1", "198.18.5.0"};
    doc.SortScanRecords(ScanColIp, true);
    EXPECT_EQ(ScanIps(doc), ascending);
    doc.SortScanRecords(ScanColIp, false);
    QStringList descending = ascending;
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(ScanIps(doc), descending);
    doc.SortScanRecords(ScanColIp, false);
    EXPECT_EQ(ScanIps(doc), descending);

    // The database list sorts its addresses the same way.
    for (const char* ip : {"198.18.5.0", "10.0.1.1", "198.18.0.1"})
        doc.AppendDatabaseRecord(Known(ip, "00:00:00:00:00:01"));
    doc.SortDatabaseRecords(DbColIp, true);
    EXPECT_EQ(doc.GetDatabaseRecord(0)->ip, IpOf("10.0.1.1"));
    EXPECT_EQ(doc.GetDatabaseRecord(2)->ip, IpOf("198.18.5.0"));
}

TEST(SortScanRecords, EmptyAndSingleListsAndUnknownColumnsStayAsTheyAre)
{
    CLanveyDoc doc;
    doc.SortScanRecords(ScanColHostName, true);
    doc.AppendScanRecord(Host("10.0.0.2", "00:00:00:00:00:01", "b"));
    doc.SortScanRecords(ScanColHostName, true);
    EXPECT_EQ(ScanNames(doc), QStringList({"b"}));
    doc.AppendScanRecord(Host("10.0.0.1", "00:00:00:00:00:01", "a"));
    doc.SortScanRecords(ScanColumnCount, true);
    doc.SortScanRecords(-1, true);
    EXPECT_EQ(ScanNames(doc), QStringList({"b", "a"}));
}

TEST(SortScanRecords, TextOrderIgnoresCaseAndPutsEmptyTextsLast)
{
    CLanveyDoc doc;
    doc.AppendScanRecord(Host("10.0.0.1", "00:00:00:00:00:01", "", "w"));
    doc.AppendScanRecord(Host("10.0.0.2", "00:00:00:00:00:02", "gamma", ""));
    doc.AppendScanRecord(Host("10.0.0.3", "00:00:00:00:00:03", "Beta", "W"));
    doc.AppendScanRecord(Host("10.0.0.4", "00:00:00:00:00:04", "", ""));
    doc.AppendScanRecord(Host("10.0.0.5", "00:00:00:00:00:05", "alpha", "v"));
    doc.AppendScanRecord(Host("10.0.0.6", "00:00:00:00:00:06", "alphabet", ""));
    doc.SortScanRecords(ScanColHostName, true);
    EXPECT_EQ(ScanNames(doc), QStringList({"alpha", "alphabet", "Beta", "gamma", "", ""}));
    doc.SortScanRecords(ScanColHostName, false);
    EXPECT_EQ(ScanNames(doc).mid(0, 2), QStringList({"", ""}));
    EXPECT_EQ(ScanNames(doc).mid(2), QStringList({"gamma", "Beta", "alphabet", "alpha"}));

    doc.SortScanRecords(ScanColWorkgroup, true);
    QStringList groups;
    for (int i = 0; i < doc.GetScanRecordCount(); ++i)
        groups << doc.GetScanRecord(i)->workgroup.toLower();
    EXPECT_EQ(groups, QStringList({"v", "w", "w", "", "", ""}));
}

TEST(SortScanRecords, MacOrderIsTheTextOrder)
{
    CLanveyDoc doc;
    doc.AppendScanRecord(Host("10.0.0.1", "0A:00:00:00:00:01"));
    doc.AppendScanRecord(Host("10.0.0.2", "00:FF:00:00:00:01"));
    doc.AppendScanRecord(Host("10.0.0.3", "09:00:00:00:00:02"));
    doc.SortScanRecords(ScanColMac, true);
    EXPECT_EQ(ScanIps(doc), QStringList({"10.0.0.2", "10.0.0.3", "10.0.0.1"}));
}

TEST(SortScanRecords, CompareResultOrdersMatchedDifferentNewByTheStatesOfNow)
{
    // The states a drawn cell left are stale (every row says New, drawn before the
    // database knew anything), and no row is drawn again: the sort works each one out.
    CLanveyDoc doc;
    ASSERT_TRUE(doc.AppendDatabaseRecord(Known("10.0.0.2", "00:00:00:00:00:02")));
    ASSERT_TRUE(doc.AppendDatabaseRecord(Known("10.0.0.3", "00:00:00:00:00:99")));
    const char* const hosts[][2] = {{"10.0.0.1", "00:00:00:00:00:01"},
                                    {"10.0.0.2", "00:00:00:00:00:02"},
                                    {"10.0.0.3", "00:00:00:00:00:03"},
                                    {"10.0.0.4", "00:00:00:00:00:04"},
                                    {"10.0.0.2", "00:00:00:00:00:02"}};
    for (const auto& [ip, mac] : hosts) {
        auto record = Host(ip, mac);
        record->overallState = CompareState::New;
        doc.AppendScanRecord(std::move(record));
    }
    doc.SortScanRecords(ScanColCompare, true);
    std::vector<CompareState> got;
    QStringList order;
    for (int i = 0; i < 5; ++i) {
        got.push_back(doc.GetScanRecord(i)->overallState);
        order << FormatIpAddress(doc.GetScanRecord(i)->ip);
    }
    EXPECT_EQ(got, (std::vector<CompareState>{CompareState::Matched, CompareState::Matched,
                                              CompareState::Different, CompareState::New,
                                              CompareState::New}));
    EXPECT_EQ(order.mid(0, 3), QStringList({"10.0.0.2", "10.0.0.2", "10.0.0.3"}));
}

class VendorColumn : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QFile file(m_dir.filePath(QStringLiteral("oui.csv")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Registry,Assignment,Organization Name,Organization Address\n"
                   "MA-L,000001,zeta Corp,\nMA-L,000002,Alpha Inc,\nMA-L,000003,beta GmbH,\n");
        file.close();
        ASSERT_TRUE(m_oui.Open(QFile::encodeName(m_dir.path()).constData()));
    }
    QTemporaryDir m_dir;
    CNVOUI m_oui;
};

TEST_F(VendorColumn, SortsByVendorNameWithUnknownVendorsLast)
{
    CLanveyDoc doc;
    doc.SetVendorTable(&m_oui);
    doc.AppendScanRecord(Host("10.0.0.1", "00:00:01:00:00:01"));
    doc.AppendScanRecord(Host("10.0.0.2", "00:00:09:00:00:01")); // no vendor
    doc.AppendScanRecord(Host("10.0.0.3", "00:00:03:00:00:01"));
    doc.AppendScanRecord(Host("10.0.0.4", "00:00:02:00:00:01"));
    doc.SortScanRecords(ScanColVendor, true);
    EXPECT_EQ(ScanIps(doc), QStringList({"10.0.0.4", "10.0.0.3", "10.0.0.1", "10.0.0.2"}));

    doc.AppendDatabaseRecord(Known("10.0.0.1", "00:00:01:00:00:01"));
    doc.AppendDatabaseRecord(Known("10.0.0.2", "00:00:02:00:00:01"));
    doc.SortDatabaseRecords(DbColVendor, true);
    EXPECT_EQ(doc.GetDatabaseRecord(0)->ip, IpOf("10.0.0.2"));
}

TEST_F(VendorColumn, TenThousandRecordsWithManyEqualVendorsSortLikeTheExchangeSort)
{
    CLanveyDoc doc;
    doc.SetVendorTable(&m_oui);
    std::mt19937 random(7);
    std::vector<int> vendorRank; // Alpha 0, beta 1, zeta 2, none 3
    const int rankOfPrefix[] = {3, 2, 0, 1};
    for (int i = 0; i < 10000; ++i) {
        const int prefix = std::uniform_int_distribution<int>(0, 3)(random);
        auto record = std::make_unique<HostRecord>();
        record->ip = IpFromHostOrder(quint32(i));
        record->mac = kMacTopBits | quint64(prefix) << 16 | quint64(i) << 24;
        doc.AppendScanRecord(std::move(record));
        vendorRank.push_back(rankOfPrefix[prefix]);
    }
    const auto want = ReferenceExchangeSort(vendorRank, false);
    doc.SortScanRecords(ScanColVendor, false);
    for (int i = 0; i < 10000; ++i)
        ASSERT_EQ(IpToHostOrder(doc.GetScanRecord(i)->ip), quint32(want[size_t(i)])) << i;
}

TEST(SortDatabaseRecords, EveryTextColumnSorts)
{
    CLanveyDoc doc;
    for (int i = 0; i < 3; ++i) {
        auto record = Known("10.0.0.1", "00:00:00:00:00:01");
        record->ip = IpFromHostOrder(quint32(10 - i));
        const QString text = QString(QChar(u'c' - i));
        record->hostName = record->workgroup = record->userName = record->location =
            record->comment = text;
        doc.AppendDatabaseRecord(std::move(record));
    }
    for (const int column :
         {DbColHostName, DbColWorkgroup, DbColUserName, DbColLocation, DbColComment, DbColIp}) {
        doc.SortDatabaseRecords(DbColMac, true); // scramble back to some order
        doc.SortDatabaseRecords(column, false);
        doc.SortDatabaseRecords(column, true);
        EXPECT_EQ(doc.GetDatabaseRecord(0)->hostName, QStringLiteral("a")) << column;
        EXPECT_EQ(doc.GetDatabaseRecord(2)->hostName, QStringLiteral("c")) << column;
    }
}

} // namespace
