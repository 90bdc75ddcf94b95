// A host's IPv6 addresses: the list's order and bound, the neighbour table as the kernel
// dumps it (a recorded dump), the echo reply, and the join of what a scan saw to its rows
// by MAC address.

#include "records/HostRecord.h"
#include "scan/ScanJob.h"
#include "scan/platform/Ipv6Neighbours.h"
#include "support/AddressText.h"

#include <QFile>
#include <gtest/gtest.h>

namespace
{

Ipv6Bytes V6(const char* text)
{
    return ParseIpv6(QString::fromLatin1(text)).value();
}

quint64 Mac(const char* text)
{
    return GetMacAddress(QString::fromLatin1(text), u':') | kMacTopBits;
}

QByteArray RecordedDump()
{
    QFile file(QStringLiteral(LANVEY_TEST_DATA_DIR "/neigh_dump_ipv6.bin"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

} // namespace

TEST(Ipv6Addresses, ShortestTextOnceEachLinkLocalLastAndAtMostSixteen)
{
    EXPECT_EQ(Ipv6Text(V6("2001:DB8:0:0:0:0:0:1")), QStringLiteral("2001:db8::1"));
    for (const char* bad :
         {"", "fe80::1%eth0", " fe80::1", "198.18.0.1", "::g", "1:2:3:4:5:6:7:8:9"})
        EXPECT_FALSE(ParseIpv6(QString::fromLatin1(bad))) << bad;

    Ipv6Addresses list;
    for (const char* text : {"fe80::9", "fd00::2", "fe80::9", "2001:db8::1", "fd00::1"})
        AddIpv6Address(list, V6(text));
    EXPECT_EQ(list.join(u' '), QStringLiteral("2001:db8::1 fd00::1 fd00::2 fe80::9"));
    // A full list keeps the addresses that sort first: a late global address pushes a
    // link-local one out, a late link-local one finds no room.
    for (int i = 0; list.size() < kMaxIpv6Addresses; ++i)
        AddIpv6Address(list, V6(QStringLiteral("fe80::%1").arg(i + 10).toLatin1()));
    AddIpv6Address(list, V6("fe80::1:0"));
    AddIpv6Address(list, V6("fd00::3"));
    EXPECT_EQ(list.size(), kMaxIpv6Addresses);
    EXPECT_EQ(list.at(3), QStringLiteral("fd00::3"));
    EXPECT_FALSE(list.contains(QStringLiteral("fe80::1:0")));

    bool bad = false;
    EXPECT_EQ(ParseIpv6AddressesText(QStringLiteral(" fe80::1\t2001:db8::1  x "), &bad),
              (Ipv6Addresses{QStringLiteral("2001:db8::1"), QStringLiteral("fe80::1")}));
    EXPECT_TRUE(bad);
}

TEST(Ipv6Neighbours, ARecordedDumpGivesTheEntriesThatHoldAHostsMac)
{
    // Recorded from a veth pair (v1 index 2, v0 index 3) with entries set by hand: two
    // on v0 for one host (permanent, stale), a reachable one, one on v1, and what must
    // not count: a failed entry, a multicast MAC, an IPv4 entry.
    const QByteArray dump = RecordedDump();
    bool done = false;
    const std::vector<Ipv6Neighbour> entries = ParseIpv6Neighbours(dump, &done);
    EXPECT_TRUE(done);
    const quint64 host1 = Mac("00:D0:EF:12:34:01");
    const std::vector<Ipv6Neighbour> expected = {
        {3, V6("fd4c:5600:0:1::1"), host1},
        {2, V6("fd4c:5600:0:1::5"), Mac("70:B3:D5:E9:70:05")},
        {3, V6("2001:db8:4c56:1::16:a"), Mac("02:4C:56:00:00:16")},
        {3, V6("fe80::2d0:efff:fe12:3401"), host1}};
    EXPECT_EQ(entries, expected);

    // Cut anywhere, the dump gives a prefix of its entries and never reads past its end.
    for (qsizetype size = 0; size < dump.size(); ++size) {
        const QByteArray cut = dump.left(size);
        const std::vector<Ipv6Neighbour> some = ParseIpv6Neighbours(cut);
        ASSERT_LE(some.size(), expected.size());
        EXPECT_TRUE(std::equal(some.begin(), some.end(), expected.begin())) << size;
    }

    // An echo reply, and what is not one.
    const QByteArray reply = QByteArray::fromHex("8100abcd12340002") + "lanvey6";
    EXPECT_EQ(ParseEchoReply(reply), quint16(2));
    EXPECT_EQ(ParseEchoReply(reply, quint16(0x1234)), quint16(2));
    EXPECT_FALSE(ParseEchoReply(reply, quint16(0x1235)));
    EXPECT_FALSE(ParseEchoReply(QByteArray::fromHex("8000abcd12340002"))); // a request
    EXPECT_FALSE(ParseEchoReply(QByteArray::fromHex("8101abcd12340002"))); // code 1
    EXPECT_FALSE(ParseEchoReply(QByteArray::fromHex("8100abcd123400")));   // short
}

TEST(Ipv6Join, EachRowTakesTheAddressesOfItsMacAndTheRestAnsweredOnlyOverIpv6)
{
    std::vector<Ipv6Sighting> sightings;
    for (const Ipv6Neighbour& entry : ParseIpv6Neighbours(RecordedDump()))
        sightings.push_back({entry.address, entry.mac});
    sightings.push_back(sightings.back()); // seen on two adapters

    HostRecord first, again, other;
    first.ip = GetIpAddress(QStringLiteral("198.18.0.1"));
    first.mac = Mac("00:D0:EF:12:34:01");
    again = first; // one MAC under two IPv4 addresses: both rows take its addresses
    again.ip = GetIpAddress(QStringLiteral("198.18.0.201"));
    other.ip = GetIpAddress(QStringLiteral("198.18.0.5"));
    other.mac = Mac("70:B3:D5:E9:70:05");
    const std::vector<Ipv6Sighting> only = JoinIpv6ByMac({&first, &again, &other}, sightings);

    const Ipv6Addresses host1 = {QStringLiteral("fd4c:5600:0:1::1"),
                                 QStringLiteral("fe80::2d0:efff:fe12:3401")};
    EXPECT_EQ(first.ipv6, host1);
    EXPECT_EQ(again.ipv6, host1);
    EXPECT_EQ(other.ipv6, Ipv6Addresses{QStringLiteral("fd4c:5600:0:1::5")});
    ASSERT_EQ(only.size(), 1u);
    EXPECT_EQ(only[0].address, V6("2001:db8:4c56:1::16:a"));
}
