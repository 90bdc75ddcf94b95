#include "scan/platform/LinkInterfaces.h"

#include <algorithm>
#include <cstring>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/socket.h>

LinkInterfaces LinkInterfaces::Read()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return LinkInterfaces();

    // AF_PACKET entries carry the adapter's index and hardware address, AF_INET entries
    // its IPv4 addresses; both name the adapter.
    std::vector<LinkInterface> links;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET)
            continue;
        const unsigned flags = entry->ifa_flags;
        if (!(flags & IFF_UP) || (flags & (IFF_LOOPBACK | IFF_NOARP | IFF_POINTOPOINT)))
            continue;
        const auto* ll = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
        if (ll->sll_hatype != ARPHRD_ETHER || ll->sll_halen != 6)
            continue;
        LinkInterface link;
        link.name = QString::fromLocal8Bit(entry->ifa_name);
        link.index = ll->sll_ifindex;
        std::copy(ll->sll_addr, ll->sll_addr + 6, link.mac.begin());
        links.push_back(link);
    }
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !entry->ifa_netmask)
            continue;
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        // An alias label ("eth0:1") names the same adapter.
        const QString base = name.section(QLatin1Char(':'), 0, 0);
        auto link = std::find_if(links.begin(), links.end(),
                                 [&](const LinkInterface& l) { return l.name == base; });
        if (link == links.end())
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        const auto* mask = reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask);
        link->addresses.push_back({ntohl(in->sin_addr.s_addr), ntohl(mask->sin_addr.s_addr)});
    }
    freeifaddrs(list);

    std::erase_if(links, [](const LinkInterface& l) { return l.addresses.empty(); });
    return LinkInterfaces(std::move(links));
}
