#pragma once

#include "scan/platform/ArpWire.h"
#include "scan/platform/LinkInterfaces.h"

#include <memory>

// ARP on a packet socket of the process's own (root or CAP_NET_RAW).
class PacketSocketWire final : public ArpWire
{
public:
    // nullptr and errno in `error` when the socket cannot be opened or bound.
    static std::unique_ptr<PacketSocketWire> Open(const LinkInterface& link, int* error);
    ~PacketSocketWire() override;
    PacketSocketWire(const PacketSocketWire&) = delete;
    PacketSocketWire& operator=(const PacketSocketWire&) = delete;

    void Send(quint32 localIp, quint32 target) override;
    int PollFd() const override { return m_fd; }
    void Read(std::vector<Received>* received) override;

private:
    PacketSocketWire(const LinkInterface& link, int fd) : m_link(link), m_fd(fd) {}

    const LinkInterface m_link;
    const int m_fd;
};
