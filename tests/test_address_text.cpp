#include "TestPrinters.h"
#include "support/AddressText.h"

#include <gtest/gtest.h>

namespace
{

quint32 Ip(quint8 a, quint8 b, quint8 c, quint8 d)
{
    return IpFromHostOrder(quint32(a) << 24 | quint32(b) << 16 | quint32(c) << 8 | d);
}

TEST(IpAddressText, ValueIsNetworkOrderWithFirstOctetInTheLowestByte)
{
    const quint32 ip = GetIpAddress(QStringLiteral("198.18.0.7"));
    const auto* bytes = reinterpret_cast<const unsigned char*>(&ip);
    EXPECT_EQ(bytes[0], 198);
    EXPECT_EQ(bytes[1], 18);
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[3], 7);
    EXPECT_EQ(IpOctet(ip, 0), 198);
    EXPECT_EQ(IpToHostOrder(ip), 0xC6120007u);
}

TEST(IpAddressText, FormattedTextParsesBackAndIsValid)
{
    for (const quint32 ip : {Ip(0, 0, 0, 0), Ip(10, 0, 0, 1), Ip(198, 18, 255, 254),
                             Ip(1, 22, 133, 4), Ip(255, 255, 255, 254), Ip(100, 9, 10, 99)}) {
        const QString text = FormatIpAddress(ip);
        EXPECT_EQ(GetIpAddress(text), ip) << text.toStdString();
        EXPECT_TRUE(IsValidIpAddress(text)) << text.toStdString();
    }
    EXPECT_EQ(FormatIpAddress(Ip(198, 18, 0, 7)), QStringLiteral("198.18.0.7"));
}

TEST(IpAddressText, AllOnesIsBothAnAddressAndTheFailureValue)
{
    EXPECT_EQ(GetIpAddress(QStringLiteral("255.255.255.255")), kNoIpAddress);
    EXPECT_TRUE(IsValidIpAddress(QStringLiteral("255.255.255.255")));
    EXPECT_EQ(FormatIpAddress(kNoIpAddress), QStringLiteral("255.255.255.255"));
}

TEST(IpAddressText, RejectsEverythingButPlainDottedDecimal)
{
    for (const char* text :
         {"",           "10.0.0.300", "1.2.3",    "1.2.3.4.5", "a.b.c.d",    " 1.2.3.4",
          "1.2.3.4 ",   "1.2.3.",     ".1.2.3",   "1..2.3",    "0x1.2.3.4",  "1.2.3.0x4",
          "1234.1.1.1", "0001.2.3.4", "-1.2.3.4", "+1.2.3.4",  "1.2.3.4/24", "1,2,3,4",
          "256.0.0.0",  "1.2.3.4\n",  "１.2.3.4", "16909060"}) {
        EXPECT_EQ(GetIpAddress(QString::fromUtf8(text)), kNoIpAddress) << text;
        EXPECT_FALSE(IsValidIpAddress(QString::fromUtf8(text))) << text;
    }
}

TEST(IpAddressText, LeadingZerosAreDecimalNotOctal)
{
    EXPECT_EQ(GetIpAddress(QStringLiteral("010.001.000.009")), Ip(10, 1, 0, 9));
    EXPECT_EQ(GetIpAddress(QStringLiteral("0.0.0.0")), Ip(0, 0, 0, 0));
}

TEST(MacAddressText, FormatsUpperCaseColonSeparatedFirstOctetLowest)
{
    // First written octet in the least significant byte; the top 16 bits play no part.
    const quint64 mac = kMacTopBits | 0x5E4D3C2B1A00ull;
    EXPECT_EQ(FormatMacAddress(mac), QStringLiteral("00:1A:2B:3C:4D:5E"));
    EXPECT_EQ(FormatMacAddress(0x5E4D3C2B1A00ull), QStringLiteral("00:1A:2B:3C:4D:5E"));
    EXPECT_EQ(MacOctet(mac, 1), 0x1A);
}

TEST(MacAddressText, FormattedTextParsesBackToItsLow48Bits)
{
    for (const quint64 mac : {0x000000000000ull, 0xFFFFFFFFFFFFull, 0x0123456789ABull,
                              0xA1B2C3D4E5F6ull, 0x020000000001ull}) {
        const QString text = FormatMacAddress(mac | kMacTopBits);
        EXPECT_EQ(GetMacAddress(text, QLatin1Char(':')), mac) << text.toStdString();
        EXPECT_TRUE(IsValidMacAddress(text)) << text.toStdString();
    }
}

TEST(MacAddressText, ParsesEitherCaseAndTheGivenSeparator)
{
    EXPECT_EQ(GetMacAddress(QStringLiteral("aa:bB:Cc:dd:0e:F0"), QLatin1Char(':')),
              0xF00EDDCCBBAAull);
    EXPECT_EQ(GetMacAddress(QStringLiteral("00-1a-2b-3c-4d-5e"), QLatin1Char('-')),
              0x5E4D3C2B1A00ull);
    EXPECT_EQ(GetMacAddress(QStringLiteral("00-1a-2b-3c-4d-5e"), QLatin1Char(':')), kNoMacAddress);
}

TEST(MacAddressText, RejectsAnythingButSixTwoDigitGroups)
{
    for (const char* text :
         {"", "00:1A:2B:3C:4D", "00:1A:2B:3C:4D:5E:6F", "0:1A:2B:3C:4D:5E", "00:1A:2B:3C:4D:5",
          "001A:2B:3C:4D:5E:", "00:1A:2B:3C:4D:5G", "00:1A-2B:3C:4D:5E", "001A.2B3C.4D5E",
          " 00:1A:2B:3C:4D:5E", "00:1A:2B:3C:4D:5E ", "0x:1A:2B:3C:4D:5E", "001A2B3C4D5E"}) {
        EXPECT_EQ(GetMacAddress(QString::fromUtf8(text), QLatin1Char(':')), kNoMacAddress) << text;
        EXPECT_FALSE(IsValidMacAddress(QString::fromUtf8(text))) << text;
    }
}

TEST(NumberText, GroupsThousandsWithCommas)
{
    EXPECT_EQ(FormatNumber(0), QStringLiteral("0"));
    EXPECT_EQ(FormatNumber(999), QStringLiteral("999"));
    EXPECT_EQ(FormatNumber(1000), QStringLiteral("1,000"));
    EXPECT_EQ(FormatNumber(65536), QStringLiteral("65,536"));
    EXPECT_EQ(FormatNumber(123456), QStringLiteral("123,456"));
    EXPECT_EQ(FormatNumber(4294967296ull), QStringLiteral("4,294,967,296"));
}

} // namespace
