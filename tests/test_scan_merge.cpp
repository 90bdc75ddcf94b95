// Adding scan results to the database list: clashes settled by the answers, the counts
// of the report, Cancel keeping what was done, the lock held while the user is asked,
// and the text of the mismatch detail.

#include "RecordTestUtil.h"
#include "TestPrinters.h"
#include "records/LanveyDoc.h"
#include "records/RecordExchange.h"
#include "records/RecordLock.h"
#include "records/ScanMerge.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace
{

class ScanMerge : public ::testing::Test
{
protected:
    // Answers the clashes from a script and keeps which scan result each was about.
    MergeReport Merge(std::vector<int> rows, std::vector<ReplaceAnswer> script = {})
    {
        return MergeScanRecords(
            m_doc, rows, [&](const HostRecord& scan, const DatabaseRecord& known) {
                EXPECT_EQ(scan.ip, known.ip);
                asked.push_back(FormatIpAddress(scan.ip));
                EXPECT_FALSE(script.empty()) << "asked more often than scripted";
                if (script.empty())
                    return ReplaceAnswer::Cancel;
                const ReplaceAnswer answer = script.front();
                script.erase(script.begin());
                return answer;
            });
    }
    QStringList DatabaseRows()
    {
        QStringList rows;
        for (int i = 0; i < m_doc.GetDatabaseRecordCount(); ++i) {
            const DatabaseRecord* r = m_doc.GetDatabaseRecord(i);
            rows << FormatIpAddress(r->ip) + u' ' + r->hostName;
        }
        return rows;
    }
    void Scan(const char* ip, const char* name)
    {
        m_doc.AppendScanRecord(Host(ip, "02:00:00:00:00:01", name, "WG"));
    }
    void Know(const char* ip, const char* name)
    {
        ASSERT_TRUE(m_doc.AppendDatabaseRecord(Known(ip, "02:00:00:00:00:99", name)));
    }

    CLanveyDoc m_doc;
    QStringList asked;
};

TEST_F(ScanMerge, NewHostsAreAppendedWithoutAQuestion)
{
    Know("10.0.0.1", "known");
    Scan("10.0.0.5", "five");
    Scan("10.0.0.6", "six");
    Scan("10.0.0.7", "seven");
    const MergeReport report = Merge({0, 2});
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(DatabaseRows(), QStringList({"10.0.0.1 known", "10.0.0.5 five", "10.0.0.7 seven"}));
    EXPECT_EQ(report.newRecords, 2);
    EXPECT_EQ(report.coverRecords, 0);
    EXPECT_EQ(report.ignoreRecords, 0);
    EXPECT_TRUE(report.added);
    EXPECT_EQ(MergeReportText(report),
              QStringLiteral("Add to database successful!\n\nNew Records:\t2\nCover Records:\t0\n"
                             "Ignore Records:\t0"));

    // The record a scan result becomes.
    const DatabaseRecord* added = m_doc.GetDatabaseRecord(1);
    EXPECT_EQ(added->mac, MacOf("02:00:00:00:00:01"));
    EXPECT_EQ(added->workgroup, QStringLiteral("WG"));
    EXPECT_TRUE(added->userName.isEmpty() && added->location.isEmpty() && added->comment.isEmpty());
    EXPECT_EQ(added->color, 0u);
}

TEST_F(ScanMerge, EveryAnswerInOneMergeAndTheCounts)
{
    for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"})
        Know(ip, "old");
    for (const char* ip : {"10.0.0.1", "10.0.0.9", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"})
        Scan(ip, "new");
    // Yes replaces; No settles only its own clash, so the next one asks again; Yes to All
    // replaces the rest without asking.
    const MergeReport report =
        Merge({0, 1, 2, 3, 4, 5}, {ReplaceAnswer::Yes, ReplaceAnswer::No, ReplaceAnswer::YesToAll});
    EXPECT_EQ(asked, QStringList({"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
    EXPECT_EQ(report.newRecords, 1);
    EXPECT_EQ(report.coverRecords, 4);
    EXPECT_EQ(report.ignoreRecords, 1);
    // Replacements stand at the end, in the order they were made.
    EXPECT_EQ(DatabaseRows(), QStringList({"10.0.0.2 old", "10.0.0.1 new", "10.0.0.9 new",
                                           "10.0.0.3 new", "10.0.0.4 new", "10.0.0.5 new"}));
}

TEST_F(ScanMerge, NotToAllIgnoresEveryLaterClashAndOnlyClashesAddNothing)
{
    for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) {
        Know(ip, "old");
        Scan(ip, "new");
    }
    const MergeReport report = Merge({0, 1, 2}, {ReplaceAnswer::No, ReplaceAnswer::NotToAll});
    EXPECT_EQ(asked.size(), 2);
    EXPECT_EQ(report.ignoreRecords, 3);
    EXPECT_FALSE(report.added); // no report is shown
    EXPECT_EQ(DatabaseRows(), QStringList({"10.0.0.1 old", "10.0.0.2 old", "10.0.0.3 old"}));
}

TEST_F(ScanMerge, AResultClashesWithOneAddedEarlierInTheSameMerge)
{
    Know("10.0.0.1", "old");
    Know("10.0.0.2", "two");
    Scan("10.0.0.5", "first");
    Scan("10.0.0.1", "new");
    Scan("10.0.0.5", "second");
    const MergeReport report = Merge({0, 1, 2}, {ReplaceAnswer::Yes, ReplaceAnswer::Yes});
    EXPECT_EQ(asked, QStringList({"10.0.0.1", "10.0.0.5"}));
    EXPECT_EQ(report.newRecords, 1);
    EXPECT_EQ(report.coverRecords, 2);
    EXPECT_EQ(DatabaseRows(), QStringList({"10.0.0.2 two", "10.0.0.1 new", "10.0.0.5 second"}));
    // The address index follows the records to their new places.
    EXPECT_EQ(m_doc.FindDatabaseRecordByIp(IpOf("10.0.0.2")), 0);
    EXPECT_EQ(m_doc.FindDatabaseRecordByIp(IpOf("10.0.0.5")), 2);
}

TEST_F(ScanMerge, CancelKeepsWhatWasDoneBeforeIt)
{
    Know("10.0.0.3", "old");
    Scan("10.0.0.1", "one");
    Scan("10.0.0.2", "two");
    Scan("10.0.0.3", "three");
    Scan("10.0.0.4", "four");
    const MergeReport report = Merge({0, 1, 2, 3}, {ReplaceAnswer::Cancel});
    EXPECT_EQ(report.newRecords, 2);
    EXPECT_EQ(report.coverRecords + report.ignoreRecords, 0);
    EXPECT_TRUE(report.added);
    EXPECT_EQ(DatabaseRows(), QStringList({"10.0.0.3 old", "10.0.0.1 one", "10.0.0.2 two"}));
}

TEST_F(ScanMerge, OnlyTheAddressDecidesAClashAndUnresolvedNamesStayEmpty)
{
    // The MAC is known under another address: a new record, no question.
    ASSERT_TRUE(m_doc.AppendDatabaseRecord(Known("10.0.0.1", "02:00:00:00:00:01", "known")));
    auto unresolved = Host("10.0.0.2", "02:00:00:00:00:01", "STALE", "WG");
    unresolved->resolved = 0;
    unresolved->otherNames = {{QStringLiteral("two.local"), NameSource::Mdns}};
    m_doc.AppendScanRecord(std::move(unresolved));
    const MergeReport report = Merge({0, 7}); // a row outside the list is skipped
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(report.newRecords, 1);
    ASSERT_EQ(m_doc.GetDatabaseRecordCount(), 2);
    EXPECT_TRUE(m_doc.GetDatabaseRecord(1)->hostName.isEmpty());
    EXPECT_EQ(m_doc.GetDatabaseRecord(1)->workgroup, QStringLiteral("WG"));
    // The names the other protocols gave come along whatever NetBIOS said.
    EXPECT_EQ(m_doc.GetDatabaseRecord(1)->otherNames,
              (OtherNames{{QStringLiteral("two.local"), NameSource::Mdns}}));
}

TEST_F(ScanMerge, WorkersWaitWhileTheUserIsAskedAndGoOnAfterwards)
{
    Know("10.0.0.1", "old");
    Scan("10.0.0.1", "new");
    std::atomic<bool> workerStored{false};
    std::thread worker;
    const MergeReport report =
        MergeScanRecords(m_doc, {0}, [&](const HostRecord&, const DatabaseRecord&) {
            // A worker storing a host now takes the record lock, as the scan does.
            worker = std::thread([&] {
                m_doc.AppendScanRecord(Host("10.0.0.50", "02:00:00:00:00:50"));
                workerStored = true;
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            EXPECT_FALSE(workerStored.load()) << "a worker stored while the question was open";
            return ReplaceAnswer::Yes;
        });
    worker.join();
    EXPECT_TRUE(workerStored.load());
    EXPECT_EQ(report.coverRecords, 1);
    EXPECT_EQ(m_doc.GetScanRecordCount(), 2);
}

TEST(DifferenceDetail, ListsTheResultThenEveryRecordSharingItsAddressOrMac)
{
    CLanveyDoc doc;
    ASSERT_TRUE(doc.AppendDatabaseRecord(Known("10.0.0.5", "02:00:00:00:00:0a")));
    ASSERT_TRUE(doc.AppendDatabaseRecord(Known("10.0.0.7", "02:00:00:00:00:0c")));
    ASSERT_TRUE(doc.AppendDatabaseRecord(Known("10.0.0.9", "02:00:00:00:00:0b")));
    const auto scan = Host("10.0.0.5", "02:00:00:00:00:0b");
    EXPECT_EQ(DifferenceDetailText(doc, *scan),
              QStringLiteral("Current Record:\r\n"
                             "     IP Address: 10.0.0.5 -- MAC Address: 02:00:00:00:00:0B\r\n"
                             "\r\n"
                             "Records not matched with database:\r\n"
                             "1)  IP Address: 10.0.0.5 -- MAC Address: 02:00:00:00:00:0A\r\n"
                             "2)  IP Address: 10.0.0.9 -- MAC Address: 02:00:00:00:00:0B\r\n"));
}

} // namespace

namespace
{

TEST(ImportMerge, ARowKeepsWhatItsFileDoesNotCarryAndAnEqualRowIsSettledUnasked)
{
    CLanveyDoc doc;
    for (const char* ip : {"10.0.0.1", "10.0.0.2"}) {
        auto known = Known(ip, "02:00:00:00:00:01", "PC");
        known->workgroup = QStringLiteral("WG");
        known->userName = QStringLiteral("ann");
        known->location = QStringLiteral("room 1");
        known->comment = QStringLiteral("keep me");
        known->color = MakeColorRef(255, 0, 0);
        ASSERT_TRUE(doc.AppendDatabaseRecord(std::move(known)));
    }
    const DatabaseRecord before = *doc.GetDatabaseRecord(0);

    // The scan list's file carries names, no user texts and no colour: .1 renamed, .2 as
    // it is known, .3 new.
    const auto renamed = Host("10.0.0.1", "02:00:00:00:00:01", "PC-RENAMED", "WG");
    const auto same = Host("10.0.0.2", "02:00:00:00:00:01", "PC", "WG");
    const auto added = Host("10.0.0.3", "02:00:00:00:00:03", "NEW", "WG");
    const ImportReadResult read = ReadRecords(
        WriteScanRecords(ExchangeFormat::Csv, {renamed.get(), same.get(), added.get()}, nullptr));
    ASSERT_EQ(read.records.size(), 3u);

    QStringList asked;
    const MergeReport report = MergeImportedRecords(
        doc, read.records, [&](const DatabaseRecord& incoming, const DatabaseRecord&) {
            // The question shows the record as it would be stored.
            asked << incoming.hostName + u' ' + incoming.userName;
            return ReplaceAnswer::Yes;
        });
    EXPECT_EQ(asked, QStringList({"PC-RENAMED ann"}));
    EXPECT_EQ(report.matchedRecords, 1);
    EXPECT_EQ(report.coverRecords, 1);
    EXPECT_EQ(report.newRecords, 1);

    DatabaseRecord expected = before;
    expected.hostName = QStringLiteral("PC-RENAMED");
    const DatabaseRecord* replaced =
        doc.GetDatabaseRecord(doc.FindDatabaseRecordByIp(IpOf("10.0.0.1")));
    ASSERT_NE(replaced, nullptr);
    EXPECT_EQ(*replaced, expected);
    EXPECT_EQ(doc.GetDatabaseRecord(doc.FindDatabaseRecordByIp(IpOf("10.0.0.2")))->comment,
              QStringLiteral("keep me"));
}

} // namespace
