#include "scan/platform/PacketSocketWire.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <sys/socket.h>
#include <unistd.h>

std::unique_ptr<PacketSocketWire> PacketSocketWire::Open(const LinkInterface& link, int* error)
{
    // Protocol 0 until bound, so no ARP of other adapters is queued in between.
    const int fd = socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_ARP);
    address.sll_ifindex = link.index;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        *error = errno;
        close(fd);
        return nullptr;
    }
    *error = 0;
    return std::unique_ptr<PacketSocketWire>(new PacketSocketWire(link, fd));
}

PacketSocketWire::~PacketSocketWire()
{
    close(m_fd);
}

void PacketSocketWire::Send(quint32 localIp, quint32 target)
{
    const ArpPacket packet = BuildArpRequest(m_link.mac, localIp, target);
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(ETH_P_ARP);
    to.sll_ifindex = m_link.index;
    to.sll_halen = 6;
    std::fill(to.sll_addr, to.sll_addr + 6, quint8(0xFF));
    // A lost request (full queue, adapter down) costs only this attempt: the repeat and
    // the give-up still come.
    sendto(m_fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

void PacketSocketWire::Read(std::vector<Received>* received)
{
    for (;;) {
        quint8 buffer[256];
        sockaddr_ll sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t size = recvfrom(m_fd, buffer, sizeof buffer, 0,
                                      reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (size < 0)
            return; // EAGAIN: drained; any other error: the next poll reports it again
        if (sender.sll_pkttype == PACKET_OUTGOING)
            continue;
        const auto at = Clock::now();
        if (const std::optional<ArpFields> packet = ReadArpPacket(buffer, std::size_t(size)))
            received->push_back({*packet, at});
    }
}
