// ARP packets and the subnet lookup the resolvers rely on, without a network.

#include "TestPrinters.h"
#include "scan/ArpPacket.h"
#include "scan/platform/LinkInterfaces.h"
#include "support/AddressText.h"

#include <gtest/gtest.h>

namespace
{

constexpr quint32 Ip(quint8 a, quint8 b, quint8 c, quint8 d)
{
    return quint32(a) << 24 | quint32(b) << 16 | quint32(c) << 8 | d;
}

const MacBytes kOurMac = {0x02, 0x00, 0x5E, 0x10, 0x00, 0x01};
const MacBytes kTheirMac = {0x02, 0x00, 0x5E, 0x10, 0x00, 0x02};

TEST(ResolverArpPacket, RequestBytes)
{
    const ArpPacket request = BuildArpRequest(kOurMac, Ip(198, 19, 200, 1), Ip(198, 19, 200, 2));
    const quint8 expected[] = {
        0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x01, // Ethernet, IPv4, who-has
        0x02, 0x00, 0x5E, 0x10, 0x00, 0x01,             // our MAC
        198,  19,   200,  1,                            // our address
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00,             // target MAC unknown
        198,  19,   200,  2,                            // the address asked for
    };
    ASSERT_EQ(sizeof expected, request.size());
    EXPECT_TRUE(std::equal(request.begin(), request.end(), std::begin(expected)));
}

TEST(ResolverArpPacket, ReadAcceptsOnlyEthernetIpv4Arp)
{
    ArpPacket packet = BuildArpRequest(kOurMac, Ip(10, 0, 0, 1), Ip(10, 0, 0, 2));
    const auto fields = ReadArpPacket(packet.data(), packet.size());
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->operation, kArpRequest);
    EXPECT_EQ(fields->senderMac, kOurMac);
    EXPECT_EQ(fields->senderIp, Ip(10, 0, 0, 1));
    EXPECT_EQ(fields->targetIp, Ip(10, 0, 0, 2));

    // Padding after the packet (Ethernet minimum frame) is allowed; a cut packet is not.
    quint8 padded[46] = {};
    std::copy(packet.begin(), packet.end(), padded);
    EXPECT_TRUE(ReadArpPacket(padded, sizeof padded));
    EXPECT_FALSE(ReadArpPacket(packet.data(), packet.size() - 1));

    for (const int offset : {1, 3, 4, 5}) { // htype, ptype, hlen, plen
        ArpPacket changed = packet;
        changed[offset] ^= 0x10;
        EXPECT_FALSE(ReadArpPacket(changed.data(), changed.size())) << "offset " << offset;
    }
}

TEST(ResolverArpPacket, OnlyAReplyFromTheAskedAddressToUsCounts)
{
    ArpFields reply;
    reply.operation = kArpReply;
    reply.senderMac = kTheirMac;
    reply.senderIp = Ip(198, 19, 200, 2);
    reply.targetMac = kOurMac;
    reply.targetIp = Ip(198, 19, 200, 1);
    const quint32 asked = Ip(198, 19, 200, 2);
    const quint32 ours = Ip(198, 19, 200, 1);
    EXPECT_TRUE(IsArpAnswer(reply, asked, ours, kOurMac));

    ArpFields request = reply; // the host asking about us is no answer
    request.operation = kArpRequest;
    EXPECT_FALSE(IsArpAnswer(request, asked, ours, kOurMac));
    EXPECT_FALSE(IsArpAnswer(reply, Ip(198, 19, 200, 3), ours, kOurMac));
    ArpFields toOtherAddress = reply;
    toOtherAddress.targetIp = Ip(198, 19, 200, 7);
    EXPECT_FALSE(IsArpAnswer(toOtherAddress, asked, ours, kOurMac));
    ArpFields toOtherAdapter = reply;
    toOtherAdapter.targetMac = kTheirMac;
    EXPECT_FALSE(IsArpAnswer(toOtherAdapter, asked, ours, kOurMac));
    // A gratuitous reply (sender and target both the host) is no answer either.
    ArpFields gratuitous = reply;
    gratuitous.targetIp = asked;
    gratuitous.targetMac = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(IsArpAnswer(gratuitous, asked, ours, kOurMac));
}

TEST(ResolverArpPacket, MacValueHasTheFirstOctetLowestAndTopBitsSet)
{
    const quint64 value = MacValueFromBytes(kTheirMac);
    EXPECT_EQ(value & kMacTopBits, kMacTopBits);
    EXPECT_EQ(FormatMacAddress(value), QStringLiteral("02:00:5E:10:00:02"));
    EXPECT_EQ(MacOctet(value, 0), 0x02);
    EXPECT_EQ(MacOctet(value, 5), 0x02);
    EXPECT_EQ(MacOctet(value, 2), 0x5E);
}

TEST(ResolverLinks, OwnAddressesAndConnectedSubnets)
{
    LinkInterface lan{
        QStringLiteral("eth0"),
        2,
        kOurMac,
        {{Ip(192, 168, 1, 10), Ip(255, 255, 255, 0)}, {Ip(10, 1, 0, 5), Ip(255, 255, 0, 0)}}};
    LinkInterface lab{
        QStringLiteral("eth1"),
        3,
        kTheirMac,
        {{Ip(10, 1, 2, 1), Ip(255, 255, 255, 0)}, {Ip(172, 16, 0, 9), Ip(255, 255, 255, 255)}}};
    const LinkInterfaces links({lan, lab});

    ASSERT_TRUE(links.OwnerOf(Ip(10, 1, 2, 1)));
    EXPECT_EQ(links.OwnerOf(Ip(10, 1, 2, 1))->name, QStringLiteral("eth1"));
    EXPECT_EQ(links.OwnerOf(Ip(10, 1, 0, 5))->name, QStringLiteral("eth0"));
    EXPECT_FALSE(links.OwnerOf(Ip(10, 1, 2, 2)));

    // The longest prefix decides, whatever the order of adapters and addresses.
    const LinkRoute inner = links.RouteTo(Ip(10, 1, 2, 77));
    ASSERT_TRUE(inner.link);
    EXPECT_EQ(inner.link->name, QStringLiteral("eth1"));
    EXPECT_EQ(inner.localIp, Ip(10, 1, 2, 1));
    const LinkRoute outer = links.RouteTo(Ip(10, 1, 3, 77));
    ASSERT_TRUE(outer.link);
    EXPECT_EQ(outer.link->name, QStringLiteral("eth0"));
    EXPECT_EQ(outer.localIp, Ip(10, 1, 0, 5));
    EXPECT_EQ(links.RouteTo(Ip(192, 168, 1, 255)).localIp, Ip(192, 168, 1, 10));

    EXPECT_FALSE(links.RouteTo(Ip(192, 168, 2, 1)).link);
    EXPECT_FALSE(links.RouteTo(Ip(172, 16, 0, 10)).link); // a /32 has no neighbours
    EXPECT_FALSE(LinkInterfaces().RouteTo(Ip(10, 1, 2, 77)).link);
}

} // namespace
