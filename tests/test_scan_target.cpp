#include "RecordTestUtil.h"
#include "ScriptedPrompt.h"
#include "TestPrinters.h"
#include "scan/ScanProgress.h"
#include "scan/ScanTarget.h"
#include "support/AddressText.h"

#include <gtest/gtest.h>
#include <variant>

namespace
{

const QString kInvalidAddress = QStringLiteral("Invalid IP address!");
const QString kInvalidMask = QStringLiteral("Invalid MASK addresses!");

struct Walk {
    QString first; // dotted
    QString last;
    quint64 addresses = 0;
};

// Parses like a start does (spaces removed first) and returns the walk, or the message.
std::variant<Walk, QString> Target(const char* typed)
{
    // The parser only parses: whatever it finds, nothing is shown.
    ScopedScriptedPrompt prompt;
    const ParsedScanTarget parsed =
        ParseScanTarget(NormalizeScanTarget(QString::fromLatin1(typed)));
    EXPECT_TRUE(prompt->shown.empty());
    if (!parsed.Ok())
        return parsed.error;
    const ScanTargetRange& range = parsed.range;
    const quint32 first = IpToHostOrder(range.first);
    return Walk{FormatIpAddress(range.first), FormatIpAddress(IpFromHostOrder(first + range.count)),
                quint64(range.count) + 1};
}

void ExpectWalk(const char* typed, const char* first, const char* last, quint64 addresses)
{
    SCOPED_TRACE(typed);
    const auto result = Target(typed);
    ASSERT_TRUE(std::holds_alternative<Walk>(result)) << std::get<QString>(result).toStdString();
    const Walk& walk = std::get<Walk>(result);
    EXPECT_EQ(walk.first, QString::fromLatin1(first));
    EXPECT_EQ(walk.last, QString::fromLatin1(last));
    EXPECT_EQ(walk.addresses, addresses);
}

void ExpectMessage(const char* typed, const QString& message)
{
    SCOPED_TRACE(typed);
    const auto result = Target(typed);
    ASSERT_TRUE(std::holds_alternative<QString>(result)) << "parsed";
    EXPECT_EQ(std::get<QString>(result), message);
}

TEST(ScanTarget, SubnetsWithPrefixOrMask)
{
    ExpectWalk("192.168.1.0/24", "192.168.1.0", "192.168.1.255", 256);
    ExpectWalk("10.0.0.0/255.255.0.0", "10.0.0.0", "10.0.255.255", 65536);
    ExpectWalk("192.168.1.0/255.255.255.255", "192.168.1.0", "192.168.1.0", 1);
    ExpectWalk("192.168.1.0/32", "192.168.1.0", "192.168.1.0", 1);
    ExpectWalk("198.18.4.0/22", "198.18.4.0", "198.18.7.255", 1024);
    // Not masked: the walk starts at the address and spans the block's size.
    ExpectWalk("192.168.1.0/16", "192.168.1.0", "192.169.0.255", 65536);
    // A host address with any mask is scanned alone.
    ExpectWalk("192.168.1.7/24", "192.168.1.7", "192.168.1.7", 1);
    ExpectWalk("192.168.1.7/8", "192.168.1.7", "192.168.1.7", 1);
    // Prefix digits may carry leading zeros.
    ExpectWalk("10.1.2.0/0024", "10.1.2.0", "10.1.2.255", 256);
}

TEST(ScanTarget, SingleAddressesAndRangesEitherWayRound)
{
    ExpectWalk("198.18.0.7", "198.18.0.7", "198.18.0.7", 1);
    ExpectWalk("192.168.1.20-192.168.1.10", "192.168.1.10", "192.168.1.20", 11);
    ExpectWalk("192.168.1.10-192.168.1.20", "192.168.1.10", "192.168.1.20", 11);
    ExpectWalk("192.168.1.5-192.168.1.5", "192.168.1.5", "192.168.1.5", 1);
    ExpectWalk("10.0.0.250-10.0.1.3", "10.0.0.250", "10.0.1.3", 10);
    ExpectWalk(" 192.168.1.1 - 192.168.1.9 ", "192.168.1.1", "192.168.1.9", 9);
    ExpectWalk("192.168.1. 0/ 24", "192.168.1.0", "192.168.1.255", 256);
    ExpectWalk("0.0.0.0", "0.0.0.0", "0.0.0.0", 1);
}

TEST(ScanTarget, BadMasksAndRangesPastTheEnd)
{
    for (const char* typed :
         {"192.168.1.0/33", "192.168.1.0/0", "192.168.1.0/255.0.255.0", "200.1.1.0/1",
          "192.168.1.0/", "192.168.1.0/-8", "192.168.1.0/2a", "192.168.1.0/99999999999999999999",
          "192.168.1.0/0.0.0.0", "192.168.1.0/255.255.255.1", "192.168.1.0/24/8"})
        ExpectMessage(typed, kInvalidMask);
}

TEST(ScanTarget, InvalidAddresses)
{
    for (const char* typed :
         {"", "scanner", "192.168.1", "192.168.1.256", "192.168.1.1-255.255.255.255",
          "255.255.255.255", "192.168.1.1-", "-192.168.1.1", "192.168.1.1-x", "x/24",
          "192.168.1.0/255.255.256.0", "1.2.3.4-5.6.7.8-9.9.9.9"})
        ExpectMessage(typed, kInvalidAddress);
}

TEST(ScanTarget, FirstOctetAbove223ShowsBothMessages)
{
    const QString tail = QStringLiteral(" is not a vaild entry.Please speacify a value between 1 "
                                        "and 223.");
    ExpectMessage("224.0.0.1", kInvalidAddress + QStringLiteral("224") + tail);
    ExpectMessage("240.0.0.0/4", kInvalidAddress + QStringLiteral("240") + tail);
    ExpectMessage("230.0.0.1-230.0.0.9", kInvalidAddress + QStringLiteral("230") + tail);
    ExpectWalk("223.255.255.255", "223.255.255.255", "223.255.255.255", 1);
}

TEST(ScanTarget, FormParsersReportTheirCodesAndWriteOnlyOnSuccess)
{
    ScanTargetRange range{123, 456};
    EXPECT_EQ(ParseAddressRange(QStringLiteral("10.0.0.0/8"), &range), kTargetNotThisForm);
    EXPECT_EQ(ParseAddressRange(QStringLiteral("10.0.0.x"), &range), kTargetInvalidAddress);
    EXPECT_EQ(ParseSubnet(QStringLiteral("10.0.0.1"), &range), kTargetNotThisForm);
    EXPECT_EQ(ParseSubnet(QStringLiteral("10.0.0.0/33"), &range), kTargetInvalidMask);
    EXPECT_EQ(ParseSubnet(QStringLiteral("10.0.0/8"), &range), kTargetInvalidAddress);
    EXPECT_EQ(ParseSubnet(QStringLiteral("10.0.0.0/255.255.0.x"), &range), kTargetInvalidAddress);
    EXPECT_EQ(range.first, 123u);
    EXPECT_EQ(range.count, 456u);
}

TEST(ScanTarget, PrefixLengthsAndMasks)
{
    QString mask;
    ASSERT_TRUE(PrefixLengthToMask(QStringLiteral("24"), &mask));
    EXPECT_EQ(mask, QStringLiteral("255.255.255.0"));
    ASSERT_TRUE(PrefixLengthToMask(QStringLiteral("0"), &mask));
    EXPECT_EQ(mask, QStringLiteral("0.0.0.0"));
    ASSERT_TRUE(PrefixLengthToMask(QString(), &mask));
    EXPECT_EQ(mask, QStringLiteral("0.0.0.0"));
    ASSERT_TRUE(PrefixLengthToMask(QStringLiteral("32"), &mask));
    EXPECT_EQ(mask, QStringLiteral("255.255.255.255"));
    ASSERT_TRUE(PrefixLengthToMask(QStringLiteral("1"), &mask));
    EXPECT_EQ(mask, QStringLiteral("128.0.0.0"));
    EXPECT_FALSE(PrefixLengthToMask(QStringLiteral("33"), &mask));
    EXPECT_FALSE(PrefixLengthToMask(QStringLiteral("+8"), &mask));
    EXPECT_FALSE(PrefixLengthToMask(QStringLiteral("8 "), &mask));

    auto contiguous = [](const char* text) { return IsContiguousMask(GetIpAddress(text)); };
    EXPECT_TRUE(contiguous("255.255.255.0"));
    EXPECT_TRUE(contiguous("255.255.252.0"));
    EXPECT_TRUE(contiguous("128.0.0.0"));
    EXPECT_TRUE(IsContiguousMask(0xFFFFFFFFu));
    EXPECT_FALSE(contiguous("0.0.0.0"));
    EXPECT_FALSE(contiguous("255.0.255.0"));
    EXPECT_FALSE(contiguous("0.255.255.255"));
    EXPECT_TRUE(contiguous("255.255.255.254"));
    EXPECT_FALSE(contiguous("255.255.255.253"));
}

// The cursor in host order, from dotted texts.
ScanRange Cursor(const char* first, const char* next, const char* last)
{
    ScanRange range;
    range.first = IpToHostOrder(IpOf(first));
    range.next = IpToHostOrder(IpOf(next));
    range.last = IpToHostOrder(IpOf(last));
    range.exhausted = false;
    return range;
}

TEST(ScanProgress, TextsFollowTheCursor)
{
    const ScanRange running = Cursor("192.168.1.1", "192.168.1.96", "192.168.1.254");
    EXPECT_EQ(ScanProgressText(running), QStringLiteral("37% (94/253) - 192.168.1.96"));
    EXPECT_EQ(ScanTimerText(running), QStringLiteral("Scanning 37% (94/253) - 192.168.1.96 ..."));
    EXPECT_EQ(ScanPausedText(running),
              QStringLiteral("Scanning is paused.37% (94/253) - 192.168.1.96"));

    // Every address handed out: next stands one past the last.
    const ScanRange handedOut = Cursor("192.168.1.1", "192.168.1.255", "192.168.1.254");
    EXPECT_EQ(ScanTimerText(handedOut), QStringLiteral("Resolving Host Name..."));

    // Counts carry group separators.
    const ScanRange large = Cursor("10.0.0.0", "10.0.200.1", "10.0.255.255");
    EXPECT_EQ(ScanProgressText(large), QStringLiteral("78% (51,200/65,535) - 10.0.200.1"));

    // A single address: total 0 makes MulDiv -1 before it is handed out.
    const ScanRange single = Cursor("198.18.0.7", "198.18.0.7", "198.18.0.7");
    EXPECT_EQ(ScanTimerText(single),
              QStringLiteral("Scanning -1% (4,294,967,295/0) - 198.18.0.7 ..."));

    EXPECT_EQ(ScanStoppingText(), QStringLiteral("Scanning is stopping, please wait..."));
    EXPECT_EQ(ScanFoundText(21), QStringLiteral("Found 21 hosts."));
}

TEST(ScanProgress, MulDivRoundsLikeThePlatform)
{
    EXPECT_EQ(MulDiv(94, 100, 253), 37);
    EXPECT_EQ(MulDiv(1, 100, 200), 1);   // 0.5 rounds up
    EXPECT_EQ(MulDiv(1, 100, 201), 0);   // 0.497 rounds down
    EXPECT_EQ(MulDiv(-1, 100, 200), -1); // half rounds away from zero
    EXPECT_EQ(MulDiv(-1, 100, 253), 0);
    EXPECT_EQ(MulDiv(5, 100, 0), -1);
    EXPECT_EQ(MulDiv(5, 100, -10), -50);
    EXPECT_EQ(MulDiv(2147483647, 100, 1), -1); // does not fit
    EXPECT_EQ(MulDiv(2147483647, 100, 100), 2147483647);
}

} // namespace
