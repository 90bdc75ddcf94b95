#include "scan/NetBiosNames.h"
#include "scan/platform/NetBiosSocket.h"
#include "scan/platform/SocketHandle.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

} // namespace

int QueryNetBiosNamesOverUdp(ProbeResult& probe, std::chrono::milliseconds wait)
{
    using Clock = std::chrono::steady_clock;
    const SocketHandle udp(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (udp.get() < 0)
        return 1;

    // Connected, so only this host's datagram is read and its "port unreachable" ends the
    // wait at once (ECONNREFUSED) instead of after the full deadline.
    sockaddr_in host{};
    host.sin_family = AF_INET;
    host.sin_port = htons(kNetBiosNamePort);
    host.sin_addr.s_addr = probe.ip;
    if (connect(udp.get(), reinterpret_cast<sockaddr*>(&host), sizeof host) != 0)
        return 1;
    const NodeStatusRequest request = BuildNodeStatusRequest();
    if (send(udp.get(), request.data(), request.size(), 0) != ssize_t(request.size()))
        return 1;

    // The wait is a deadline for the reply, not a fixed pause: an early reply is read at once.
    const auto deadline = Clock::now() + wait;
    pollfd readable{udp.get(), POLLIN, 0};
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const int ready = poll(&readable, 1, int(std::max<qint64>(0, left.count())));
        if (ready > 0)
            break;
        if (ready == 0 || errno != EINTR)
            return 1;
    }

    NodeStatusReply reply = EmptyNodeStatusReply();
    const ssize_t received = recv(udp.get(), reply.data(), reply.size(), MSG_DONTWAIT);
    if (received < 0)
        return 1; // ECONNREFUSED: nothing listens on the host's port 137
    ParseNodeStatusNames(reply, probe.hostName, probe.workgroup);
    probe.netBiosMac = ParseNodeStatusUnitId(reply, int(received));
    return 0;
}
