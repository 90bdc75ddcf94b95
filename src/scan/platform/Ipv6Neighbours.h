#pragma once

// The kernel's IPv6 neighbour table (rtnetlink), and the ICMPv6 echo reply, as the IPv6
// sweep of a scan reads them. Both come from outside: every field is read only after
// its bounds are checked.

#include "records/Ipv6Addresses.h"

#include <QByteArrayView>
#include <QtGlobal>
#include <optional>
#include <vector>

struct Ipv6Neighbour {
    int ifindex = 0;
    Ipv6Bytes address{};
    quint64 mac = 0; // MAC value, top 16 bits all ones
    bool operator==(const Ipv6Neighbour&) const = default;
};

// The entries of a neighbour dump's messages (RTM_NEWNEIGH, AF_INET6) that hold a host's
// MAC address: reachable, stale, on their way to being checked, or set by hand. `done`
// (when given) is set once the dump's end (NLMSG_DONE) or an error message is met.
std::vector<Ipv6Neighbour> ParseIpv6Neighbours(QByteArrayView messages, bool* done = nullptr);

// Every such entry of the kernel's table on one of `ifindexes`, from one RTM_GETNEIGH
// dump; none when the table cannot be read. No privilege is needed.
std::vector<Ipv6Neighbour> ReadIpv6Neighbours(const std::vector<int>& ifindexes);

// The sequence number of an ICMPv6 echo reply (type 129, code 0) of at least the header's
// eight bytes, as a datagram or raw ICMPv6 socket gives it; nullopt for anything else.
// `identifier`, when given, must be the reply's (a raw socket sees every host's replies).
std::optional<quint16> ParseEchoReply(QByteArrayView message,
                                      std::optional<quint16> identifier = std::nullopt);
