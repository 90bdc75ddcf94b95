#include "records/Ipv6Addresses.h"

#include <algorithm>
#include <arpa/inet.h>

std::optional<Ipv6Bytes> ParseIpv6(const QString& text)
{
    // inet_pton takes no zone and no white space; a text this long is no address.
    if (text.isEmpty() || text.size() > INET6_ADDRSTRLEN)
        return std::nullopt;
    const QByteArray latin = text.toLatin1();
    Ipv6Bytes address{};
    if (latin.size() != text.size() || inet_pton(AF_INET6, latin.constData(), address.data()) != 1)
        return std::nullopt;
    return address;
}

QString Ipv6Text(const Ipv6Bytes& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, address.data(), text, sizeof text);
    return QString::fromLatin1(text);
}

bool IsIpv6LinkLocal(const Ipv6Bytes& address)
{
    return address[0] == 0xFE && (address[1] & 0xC0) == 0x80;
}

bool IsIpv6OnLink(const Ipv6Bytes& address)
{
    return IsIpv6LinkLocal(address) || (address[0] & 0xFE) == 0xFC;
}

namespace
{

// Link-local addresses last; otherwise by the address's bytes.
bool SortsBefore(const Ipv6Bytes& a, const Ipv6Bytes& b)
{
    const bool aLocal = IsIpv6LinkLocal(a), bLocal = IsIpv6LinkLocal(b);
    if (aLocal != bLocal)
        return bLocal;
    return a < b;
}

} // namespace

void AddIpv6Address(Ipv6Addresses& list, const Ipv6Bytes& address)
{
    // The list only ever holds texts this file made, so each parses.
    auto place = list.begin();
    for (; place != list.end(); ++place) {
        const Ipv6Bytes there = ParseIpv6(*place).value_or(Ipv6Bytes{});
        if (there == address)
            return;
        if (SortsBefore(address, there))
            break;
    }
    if (list.size() >= kMaxIpv6Addresses) {
        if (place == list.end())
            return;
        list.removeLast();
    }
    list.insert(place, Ipv6Text(address));
}

Ipv6Addresses ParseIpv6AddressesText(const QString& text, bool* bad)
{
    Ipv6Addresses list;
    if (bad)
        *bad = false;
    for (const QString& word : text.simplified().split(u' ', Qt::SkipEmptyParts)) {
        if (const auto address = ParseIpv6(word))
            AddIpv6Address(list, *address);
        else if (bad)
            *bad = true;
    }
    return list;
}
