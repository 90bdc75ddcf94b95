#include "scan/platform/LinkInterfaces.h"

const LinkInterface* LinkInterfaces::OwnerOf(quint32 ip) const
{
    for (const LinkInterface& link : m_links)
        for (const LinkAddress& address : link.addresses)
            if (address.ip == ip)
                return &link;
    return nullptr;
}

LinkRoute LinkInterfaces::RouteTo(quint32 ip) const
{
    // The longest matching prefix wins, as in the routing table's connected routes.
    LinkRoute best;
    quint32 bestMask = 0;
    for (const LinkInterface& link : m_links)
        for (const LinkAddress& address : link.addresses)
            if ((ip & address.netmask) == (address.ip & address.netmask) &&
                (!best.link || address.netmask > bestMask)) {
                best = {&link, address.ip};
                bestMask = address.netmask;
            }
    return best;
}
