#pragma once

// The NetBIOS node-status exchange (NBSTAT, RFC 1002 4.2.17/4.2.18) that gives a host's
// name and workgroup: the request datagram and the name parse of the reply.

#include <QString>
#include <QtGlobal>
#include <array>

inline constexpr quint16 kNetBiosNamePort = 137;
inline constexpr int kNodeStatusRequestSize = 50;
// The reply is received into this many bytes, pre-filled with kNodeStatusUnfilled: bytes
// the datagram does not reach keep that value, and the parse stops at the first one.
inline constexpr int kNodeStatusReplySize = 512;
inline constexpr quint8 kNodeStatusUnfilled = 0xCC;

using NodeStatusRequest = std::array<quint8, kNodeStatusRequestSize>;
using NodeStatusReply = std::array<quint8, kNodeStatusReplySize>;

// The fixed query for the wildcard name "*" with transaction id 0.
NodeStatusRequest BuildNodeStatusRequest();

// A receive buffer with every byte kNodeStatusUnfilled.
NodeStatusReply EmptyNodeStatusReply();

// Takes the host name (first name entry) and the workgroup (first later entry whose text
// differs) from a reply buffer, decoded in the current ANSI code page (AnsiCodePage.h).
// Leaves a name untouched when the reply does not give it.
void ParseNodeStatusNames(const NodeStatusReply& reply, QString& hostName, QString& workgroup);

// The adapter address of a reply's statistics section (RFC 1002 4.2.18: the unit ID
// right after the last name entry) as a MAC value, when the `received` bytes reach it
// and it is not all zeros (Samba sends zeros); 0 otherwise.
quint64 ParseNodeStatusUnitId(const NodeStatusReply& reply, int received);
