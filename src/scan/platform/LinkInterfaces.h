#pragma once

// The machine's Ethernet adapters with their IPv4 subnets, as the resolvers need them.

#include "scan/ArpPacket.h"

#include <QString>
#include <QtGlobal>
#include <utility>
#include <vector>

struct LinkAddress {
    quint32 ip = 0;      // host byte order
    quint32 netmask = 0; // host byte order
    bool operator==(const LinkAddress&) const = default;
};

struct LinkInterface {
    QString name;
    int index = 0;
    MacBytes mac{};
    std::vector<LinkAddress> addresses;
    bool operator==(const LinkInterface&) const = default;
};

// Where an address would be asked.
struct LinkRoute {
    const LinkInterface* link = nullptr;
    quint32 localIp = 0; // our address on the subnet, host byte order
};

class LinkInterfaces
{
public:
    explicit LinkInterfaces(std::vector<LinkInterface> links = {}) : m_links(std::move(links)) {}

    // The adapters that are up, speak ARP, have an Ethernet address and at least one IPv4
    // address. Loopback and point-to-point links have no neighbours to ask.
    static LinkInterfaces Read();

    const std::vector<LinkInterface>& Links() const { return m_links; }

    // The adapter whose address `ip` is, or nullptr.
    const LinkInterface* OwnerOf(quint32 ip) const;
    // The adapter and our address whose subnet holds `ip`; link nullptr when no directly
    // connected subnet does.
    LinkRoute RouteTo(quint32 ip) const;

    bool operator==(const LinkInterfaces& other) const = default;

private:
    std::vector<LinkInterface> m_links;
};
