#include "scan/platform/Ipv6Neighbours.h"

#include "scan/ArpPacket.h"
#include "support/AddressText.h"

#include <algorithm>
#include <cstring>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/icmp6.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// The states in which an entry holds the host's address.
constexpr quint16 kHeldStates = NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT;

template <typename T> T ReadAt(QByteArrayView data, size_t at)
{
    T value;
    std::memcpy(&value, data.data() + at, sizeof value);
    return value;
}

std::optional<Ipv6Neighbour> ReadEntry(QByteArrayView data, size_t at, size_t end)
{
    if (end - at < NLMSG_ALIGN(sizeof(ndmsg)))
        return std::nullopt;
    const auto ndm = ReadAt<ndmsg>(data, at);
    if (ndm.ndm_family != AF_INET6 || !(ndm.ndm_state & kHeldStates))
        return std::nullopt;
    Ipv6Neighbour entry;
    entry.ifindex = ndm.ndm_ifindex;
    bool haveAddress = false, haveMac = false;
    for (at += NLMSG_ALIGN(sizeof(ndmsg)); end - at >= sizeof(rtattr);) {
        const auto attribute = ReadAt<rtattr>(data, at);
        if (attribute.rta_len < sizeof(rtattr) || attribute.rta_len > end - at)
            break;
        const size_t payload = at + RTA_LENGTH(0);
        const size_t size = attribute.rta_len - RTA_LENGTH(0);
        if (attribute.rta_type == NDA_DST && size == entry.address.size()) {
            std::memcpy(entry.address.data(), data.data() + payload, size);
            haveAddress = true;
        } else if (attribute.rta_type == NDA_LLADDR && size == 6) {
            MacBytes mac;
            std::memcpy(mac.data(), data.data() + payload, size);
            entry.mac = MacValueFromBytes(mac);
            haveMac = IsHostMacAddress(entry.mac);
        }
        const size_t step = RTA_ALIGN(attribute.rta_len);
        if (step >= end - at)
            break;
        at += step;
    }
    if (!haveAddress || !haveMac)
        return std::nullopt;
    return entry;
}

} // namespace

std::vector<Ipv6Neighbour> ParseIpv6Neighbours(QByteArrayView messages, bool* done)
{
    std::vector<Ipv6Neighbour> entries;
    const size_t size = size_t(messages.size());
    for (size_t at = 0; size - at >= sizeof(nlmsghdr);) {
        const auto header = ReadAt<nlmsghdr>(messages, at);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > size - at)
            break;
        if (header.nlmsg_type == NLMSG_DONE || header.nlmsg_type == NLMSG_ERROR) {
            if (done)
                *done = true;
            break;
        }
        if (header.nlmsg_type == RTM_NEWNEIGH)
            if (auto entry = ReadEntry(messages, at + NLMSG_HDRLEN, at + header.nlmsg_len))
                entries.push_back(*entry);
        const size_t step = NLMSG_ALIGN(header.nlmsg_len);
        if (step >= size - at)
            break;
        at += step;
    }
    return entries;
}

std::vector<Ipv6Neighbour> ReadIpv6Neighbours(const std::vector<int>& ifindexes)
{
    std::vector<Ipv6Neighbour> entries;
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return entries;
    struct {
        nlmsghdr header;
        ndmsg ndm;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.ndm.ndm_family = AF_INET6;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(fd, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) == ssize_t(sizeof request)) {
        // A table of a few thousand entries comes in a few reads; a silent kernel ends
        // the read after a second.
        std::vector<char> buffer(65536);
        bool done = false;
        for (int reads = 0; !done && reads < 1024; ++reads) {
            pollfd wait{fd, POLLIN, 0};
            if (poll(&wait, 1, 1000) != 1)
                break;
            const ssize_t got = recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (got <= 0)
                break;
            for (const Ipv6Neighbour& entry :
                 ParseIpv6Neighbours(QByteArrayView(buffer.data(), got), &done))
                if (std::find(ifindexes.begin(), ifindexes.end(), entry.ifindex) != ifindexes.end())
                    entries.push_back(entry);
        }
    }
    close(fd);
    return entries;
}

std::optional<quint16> ParseEchoReply(QByteArrayView message, std::optional<quint16> identifier)
{
    if (message.size() < qsizetype(sizeof(icmp6_hdr)))
        return std::nullopt;
    const auto header = ReadAt<icmp6_hdr>(message, 0);
    if (header.icmp6_type != ICMP6_ECHO_REPLY || header.icmp6_code != 0)
        return std::nullopt;
    if (identifier && ntohs(header.icmp6_id) != *identifier)
        return std::nullopt;
    return ntohs(header.icmp6_seq);
}
