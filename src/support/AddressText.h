#pragma once

// Text forms of IPv4 and MAC address values.
//
// An IPv4 value is 32 bits in network byte order: the first dotted octet sits in the
// lowest-addressed byte, exactly as the socket API hands it over. All ones means
// "no address".
//
// A MAC value is 64 bits: the six octets in the low 48 bits, the first (leftmost
// written) octet least significant, which is the memory order of an ARP reply. Stored
// values carry all ones in the top 16 bits (kMacTopBits); the functions here ignore
// those bits. All 64 bits set means "no address".

#include <QString>
#include <QtGlobal>

inline constexpr quint32 kNoIpAddress = 0xFFFFFFFFu;
inline constexpr quint64 kNoMacAddress = ~quint64(0);
inline constexpr quint64 kMacTopBits = 0xFFFF000000000000ull;

// Dotted-decimal text ("198.18.0.7").
QString FormatIpAddress(quint32 ip);

// Parses four dot-separated decimal parts of one to three digits, each 0 to 255, and
// nothing else. Anything else gives kNoIpAddress; "255.255.255.255" gives the same
// value, which callers tell apart by comparing the text.
quint32 GetIpAddress(const QString& text);

// Non-zero for text GetIpAddress accepts ("255.255.255.255" included).
bool IsValidIpAddress(const QString& text);

// Six upper-case two-digit hex groups joined by ':' ("00:1A:2B:3C:4D:5E").
QString FormatMacAddress(quint64 mac);

// Accepts exactly six groups of two hex digits (either case) joined by `separator`,
// 17 characters in all. Returns the 48-bit value with the top 16 bits clear, or
// kNoMacAddress; the caller sets kMacTopBits before storing.
quint64 GetMacAddress(const QString& text, QChar separator);

// True for text GetMacAddress accepts with ':' as separator.
bool IsValidMacAddress(const QString& text);

// False for a MAC no adapter has as its own: all zero, broadcast or any other group
// (multicast) address. A reply that gives one as its sender's is no host's answer.
inline bool IsHostMacAddress(quint64 mac)
{
    return (mac & 0xFFFFFFFFFFFFull) != 0 && (mac & 0x01) == 0;
}

// Decimal text with ',' between groups of three digits ("65,536").
QString FormatNumber(quint64 count);

// The octet at `index` (0 = first written) of an IPv4 value in network byte order.
inline quint8 IpOctet(quint32 ip, int index)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&ip);
    return bytes[index];
}

// Host-order (first octet most significant) <-> network-order conversions.
quint32 IpToHostOrder(quint32 ip);
quint32 IpFromHostOrder(quint32 hostOrder);

// The octet at `index` (0 = first written) of a MAC value.
inline quint8 MacOctet(quint64 mac, int index)
{
    return quint8(mac >> (8 * index));
}
