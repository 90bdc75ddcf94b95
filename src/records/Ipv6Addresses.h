#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// A host's IPv6 addresses, as the lists and the files hold them: each in its shortest
// text (RFC 5952), none twice, every other address before the link-local ones, each
// group in address order. Addresses come from strangers (echo replies, the neighbour
// table, multicast DNS answers, files), so a host keeps at most kMaxIpv6Addresses.
using Ipv6Bytes = std::array<quint8, 16>;
using Ipv6Addresses = QStringList;

constexpr qsizetype kMaxIpv6Addresses = 16;

// The address of a text without a zone ("fe80::1", not "fe80::1%eth0"); nullopt for
// anything else.
std::optional<Ipv6Bytes> ParseIpv6(const QString& text);
QString Ipv6Text(const Ipv6Bytes& address);
bool IsIpv6LinkLocal(const Ipv6Bytes& address);
// An address of the link itself: link-local (fe80::/10) or unique-local (fc00::/7).
bool IsIpv6OnLink(const Ipv6Bytes& address);

// Adds `address` in its place unless the list holds it already or is full. A full list
// still takes an address that sorts before its last one, which falls off: a host's
// global addresses are kept before its link-local ones whatever order they came in.
void AddIpv6Address(Ipv6Addresses& list, const Ipv6Bytes& address);

// An IPv6 address a scan saw, with the MAC address that holds it.
struct Ipv6Sighting {
    Ipv6Bytes address{};
    quint64 mac = 0; // MAC value, top 16 bits all ones
    bool operator==(const Ipv6Sighting&) const = default;
};

// The addresses of a text of addresses separated by white space, as a file's cell holds
// them; `bad` (when given) is set when a word is no address. The good ones are kept.
Ipv6Addresses ParseIpv6AddressesText(const QString& text, bool* bad = nullptr);
