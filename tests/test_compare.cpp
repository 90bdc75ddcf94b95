#include "RecordTestUtil.h"
#include "TestPrinters.h"
#include "records/CompareResult.h"
#include "records/LanveyDoc.h"

#include <gtest/gtest.h>

namespace
{

constexpr ColorRef kBlack = MakeColorRef(0, 0, 0);
constexpr ColorRef kRed = MakeColorRef(255, 0, 0);
constexpr ColorRef kBlue = MakeColorRef(0, 0, 255);
const QString kHint = QStringLiteral("(Double-Click here to get details!)");

struct Outcome {
    CompareState ip, mac, overall;
};

// Compares one scan result (ip, mac) against the database rows given.
class Compare : public ::testing::Test
{
protected:
    Outcome Run(const char* ip, const char* mac)
    {
        m_doc.ClearScanRecords();
        m_doc.AppendScanRecord(Host(ip, mac));
        HostRecord* record = m_doc.GetScanRecord(0);
        m_doc.CompareWithDatabase(record, 0);
        return {record->ipState, record->macState, record->overallState};
    }
    HostRecord& Result() { return *m_doc.GetScanRecord(0); }
    void Know(const char* ip, const char* mac) { m_doc.AppendDatabaseRecord(Known(ip, mac)); }
    // A cell's colour as the list draws it: compared with the database list first.
    ColorRef CellColor(int row, int column)
    {
        HostRecord* record = m_doc.GetScanRecord(row);
        if (!record)
            return MakeColorRef(0, 0, 0);
        m_doc.CompareWithDatabase(record, row);
        return CompareCellColor(*record, column);
    }
    std::vector<ColorRef> RowColors()
    {
        std::vector<ColorRef> colors;
        for (int column = 0; column < ScanColumnCount; ++column)
            colors.push_back(CellColor(0, column));
        return colors;
    }

    CLanveyDoc m_doc;
};

void ExpectStates(const Outcome& got, CompareState ip, CompareState mac, CompareState overall)
{
    EXPECT_EQ(got.ip, ip);
    EXPECT_EQ(got.mac, mac);
    EXPECT_EQ(got.overall, overall);
}

using S = CompareState;

TEST_F(Compare, EmptyDatabaseMakesEveryResultNewAndBlue)
{
    ExpectStates(Run("10.0.0.5", "00:11:22:33:44:55"), S::New, S::New, S::New);
    EXPECT_EQ(CompareResultText(Result()), QStringLiteral("New IP address and MAC address "));
    EXPECT_EQ(RowColors(),
              (std::vector<ColorRef>{kBlue, kBlue, kBlack, kBlack, kBlack, kBlue, kBlack, kBlack}));
}

TEST_F(Compare, ExactPairIsMatchedAndBlack)
{
    Know("10.0.0.5", "00:11:22:33:44:55");
    ExpectStates(Run("10.0.0.5", "00:11:22:33:44:55"), S::Matched, S::Matched, S::Matched);
    EXPECT_EQ(
        CompareResultText(Result()),
        QStringLiteral("Record already exists, IP address and MAC address completely matched"));
    EXPECT_EQ(RowColors(), std::vector<ColorRef>(8, kBlack));
}

TEST_F(Compare, KnownAddressWithAnotherMac)
{
    Know("10.0.0.5", "00:11:22:33:44:66");
    ExpectStates(Run("10.0.0.5", "00:11:22:33:44:55"), S::Different, S::New, S::Different);
    EXPECT_EQ(CompareResultText(Result()), QStringLiteral("IP Address Different ") + kHint);
    EXPECT_EQ(CompareResultText(Result(), false), QStringLiteral("IP Address Different "));
    EXPECT_EQ(RowColors(),
              (std::vector<ColorRef>{kRed, kBlue, kBlack, kBlack, kBlack, kRed, kBlack, kBlack}));
}

TEST_F(Compare, KnownMacUnderAnotherAddress)
{
    Know("10.0.0.9", "00:11:22:33:44:55");
    ExpectStates(Run("10.0.0.5", "00:11:22:33:44:55"), S::New, S::Different, S::Different);
    EXPECT_EQ(CompareResultText(Result()), QStringLiteral("MAC Address Different ") + kHint);
    EXPECT_EQ(RowColors(),
              (std::vector<ColorRef>{kBlue, kRed, kBlack, kBlack, kBlack, kRed, kBlack, kBlack}));
}

TEST_F(Compare, BothSidesDifferent)
{
    Know("10.0.0.5", "00:00:00:00:00:0A");
    Know("10.0.0.9", "00:00:00:00:00:0B");
    ExpectStates(Run("10.0.0.5", "00:00:00:00:00:0B"), S::Different, S::Different, S::Different);
    EXPECT_EQ(CompareResultText(Result()),
              QStringLiteral("IP Address and MAC Address different!") + kHint);
    EXPECT_EQ(RowColors(),
              (std::vector<ColorRef>{kRed, kRed, kBlack, kBlack, kBlack, kRed, kBlack, kBlack}));
}

TEST_F(Compare, ExactMatchLaterInTheListWinsOverEarlierConflicts)
{
    Know("10.0.0.9", "00:00:00:00:00:0B");
    Know("10.0.0.5", "00:00:00:00:00:0B");
    ExpectStates(Run("10.0.0.5", "00:00:00:00:00:0B"), S::Matched, S::Matched, S::Matched);
}

TEST_F(Compare, ConflictsAccumulateAndAreNotClearedByLaterRecords)
{
    Know("10.0.0.9", "00:00:00:00:00:0B");
    Know("10.0.0.7", "00:00:00:00:00:0B");
    Know("10.0.0.8", "00:00:00:00:00:0C");
    ExpectStates(Run("10.0.0.6", "00:00:00:00:00:0B"), S::New, S::Different, S::Different);
}

TEST_F(Compare, MacEqualityUsesAll64Bits)
{
    auto known = Known("10.0.0.9", "00:11:22:33:44:55");
    known->mac &= ~kMacTopBits;
    m_doc.AppendDatabaseRecord(std::move(known));
    ExpectStates(Run("10.0.0.5", "00:11:22:33:44:55"), S::New, S::New, S::New);
}

TEST_F(Compare, ColoursFollowTheDatabaseAtEveryDrawing)
{
    Know("10.0.0.5", "00:11:22:33:44:66");
    Run("10.0.0.5", "00:11:22:33:44:55");
    EXPECT_EQ(CellColor(0, ScanColIp), kRed);
    m_doc.DeleteDatabaseRecord(0);
    EXPECT_EQ(CellColor(0, ScanColIp), kBlue);
    EXPECT_EQ(Result().overallState, S::New);
    // A row without a record is black and compares nothing.
    EXPECT_EQ(CellColor(1, ScanColIp), kBlack);
    EXPECT_EQ(CellColor(-1, ScanColCompare), kBlack);
}

} // namespace
