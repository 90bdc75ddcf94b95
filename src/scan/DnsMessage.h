#pragma once

// The one DNS message format (RFC 1035 4) that reverse lookups over multicast DNS
// (RFC 6762) and LLMNR (RFC 4795) share: the PTR query for an address and the parse of
// a reply; and the AAAA query for a name a host gave, with its reply. Replies come from anyone on
// the link, so the parse trusts no count, length or pointer in them.

#include "records/Ipv6Addresses.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <vector>

inline constexpr quint16 kMdnsPort = 5353;
inline constexpr quint16 kLlmnrPort = 5355;
inline constexpr quint32 kMdnsGroup = 0xE00000FB;  // 224.0.0.251, host byte order
inline constexpr quint32 kLlmnrGroup = 0xE00000FC; // 224.0.0.252, host byte order

// Longest name text we keep, in characters, after the labels are joined.
inline constexpr int kMaxNameLength = 255;

// "d.c.b.a.in-addr.arpa" for the address a.b.c.d (`ip` in network byte order).
QString ReverseLookupName(quint32 ip);

// A standard query for the PTR record of `ip`'s reverse name, class IN. With
// `unicastResponse` the top bit of the class asks a multicast DNS responder to answer
// straight to us (RFC 6762 5.4).
QByteArray BuildReversePtrQuery(quint16 id, quint32 ip, bool unicastResponse);

struct DnsReply {
    bool ok = false;        // a response header with our id was read
    bool truncated = false; // the data ended inside a record, or a name was broken
    QStringList ptrTargets; // PTR answers for the asked name, in reply order
};

// Reads a reply to BuildReversePtrQuery(id, ip, ...): the PTR records of the answer
// section whose owner is ip's reverse name (case-insensitive). A reply with another id,
// the query bit, or an error code gives none. Names are UTF-8 labels joined by '.',
// without the final dot, control characters replaced, and cut to kMaxNameLength.
DnsReply ParseReversePtrReply(QByteArrayView message, quint16 id, quint32 ip);

// A standard query for the AAAA records of `name` ("host.local"), class IN; empty when
// the name cannot be a DNS name (an empty label or one over 63 octets).
QByteArray BuildAddressQuery(quint16 id, const QString& name, bool unicastResponse);

struct DnsAddressReply {
    bool ok = false;
    bool truncated = false;
    std::vector<Ipv6Bytes> addresses; // at most kMaxIpv6Addresses, in reply order
};

// Reads a reply to BuildAddressQuery(id, name, ...): the AAAA records of the answer
// section whose owner is `name` (case-insensitive).
DnsAddressReply ParseAddressReply(QByteArrayView message, quint16 id, const QString& name);
