#pragma once

// ARP over Ethernet for IPv4 (RFC 826), as a packet socket without the link header sends
// and receives it. Byte layout, 16-bit fields big-endian:
//   0 htype 0001 | 2 ptype 0800 | 4 hlen 06 | 5 plen 04 | 6 op (1 request, 2 reply)
//   8 sender MAC | 14 sender IPv4 | 18 target MAC | 24 target IPv4

#include <QtGlobal>
#include <array>
#include <cstddef>
#include <optional>

using MacBytes = std::array<quint8, 6>;

inline constexpr int kArpPacketSize = 28;
using ArpPacket = std::array<quint8, kArpPacketSize>;

// A who-has request for `targetIp` from `senderMac`/`senderIp`, target MAC all zero.
// Addresses in host byte order.
ArpPacket BuildArpRequest(const MacBytes& senderMac, quint32 senderIp, quint32 targetIp);

// The fields of a received ARP packet of the Ethernet/IPv4 format; addresses in host
// byte order.
struct ArpFields {
    quint16 operation = 0;
    MacBytes senderMac{};
    quint32 senderIp = 0;
    MacBytes targetMac{};
    quint32 targetIp = 0;
};

inline constexpr quint16 kArpRequest = 1;
inline constexpr quint16 kArpReply = 2;

// nullopt when the packet is too short or not Ethernet/IPv4 ARP.
std::optional<ArpFields> ReadArpPacket(const quint8* data, std::size_t size);

// True when `packet` answers our request for `askedIp`: a reply, from the address asked
// for, addressed to our own address and adapter. Anything else on the wire (requests,
// gratuitous announcements, replies to other machines) says nothing about the question.
bool IsArpAnswer(const ArpFields& packet, quint32 askedIp, quint32 ourIp, const MacBytes& ourMac);

// Whether a frame heard on the link tells that its sender holds its address: any request
// or reply, except an address probe's (sender 0.0.0.0) and one from a MAC no adapter has
// (zero, broadcast, multicast).
bool IsSighting(const ArpFields& packet);

// The MAC value of the address-text helpers: first octet least significant, top 16 bits
// all ones.
quint64 MacValueFromBytes(const MacBytes& mac);
