#include "scan/platform/KernelNeighbourResolver.h"

#include "support/AddressText.h"

#include <QFile>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

using namespace std::chrono_literals;

constexpr quint16 kDiscardPort = 9;
constexpr auto kQueryDeadline = 1000ms;
constexpr quint16 kAnswerStates = NUD_REACHABLE | NUD_PERMANENT;
constexpr quint16 kRecheckStates = NUD_STALE | NUD_DELAY | NUD_PROBE;

struct Neighbour {
    quint16 state = 0;
    MacBytes mac{};
    bool hasMac = false;
};

// One neighbour message: ndmsg, then attributes (NDA_DST the IPv4 address, NDA_LLADDR
// the hardware address).
struct NeighbourMessage {
    int ifindex = 0;
    quint16 state = 0;
    std::optional<quint32> address; // host byte order
    const quint8* lladdr = nullptr;
    int lladdrSize = 0;
};

std::optional<NeighbourMessage> ReadNeighbourMessage(const nlmsghdr* header)
{
    if (header->nlmsg_type != RTM_NEWNEIGH || header->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
        return std::nullopt;
    const auto* ndm = static_cast<const ndmsg*>(NLMSG_DATA(header));
    if (ndm->ndm_family != AF_INET)
        return std::nullopt;
    NeighbourMessage message;
    message.ifindex = ndm->ndm_ifindex;
    message.state = ndm->ndm_state;
    int length = int(header->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
    for (auto* attribute = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(ndm) +
                                                           NLMSG_ALIGN(sizeof(ndmsg)));
         RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
        const auto* payload = static_cast<const quint8*>(RTA_DATA(attribute));
        const int size = int(RTA_PAYLOAD(attribute));
        if (attribute->rta_type == NDA_DST && size == 4) {
            quint32 value;
            std::memcpy(&value, payload, 4);
            message.address = ntohl(value);
        } else if (attribute->rta_type == NDA_LLADDR) {
            message.lladdr = payload;
            message.lladdrSize = size;
        }
    }
    return message;
}

// The kernel's current entry for `address` on `ifindex` (RTM_GETNEIGH), nullopt when it
// has none or the question fails.
std::optional<Neighbour> QueryNeighbour(int ifindex, quint32 address)
{
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return std::nullopt;
    struct {
        nlmsghdr header;
        ndmsg ndm;
        rtattr dstAttribute;
        quint32 dst;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = 1;
    request.ndm.ndm_family = AF_INET;
    request.ndm.ndm_ifindex = ifindex;
    request.dstAttribute.rta_type = NDA_DST;
    request.dstAttribute.rta_len = RTA_LENGTH(4);
    request.dst = htonl(address);

    std::optional<Neighbour> result;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(fd, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) == ssize_t(sizeof request)) {
        pollfd wait{fd, POLLIN, 0};
        alignas(nlmsghdr) quint8 buffer[8192];
        ssize_t size = -1;
        if (poll(&wait, 1, int(kQueryDeadline.count())) == 1)
            size = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        auto* header = reinterpret_cast<const nlmsghdr*>(buffer);
        for (int left = int(size); size > 0 && NLMSG_OK(header, unsigned(left));
             header = NLMSG_NEXT(header, left)) {
            const std::optional<NeighbourMessage> message = ReadNeighbourMessage(header);
            if (!message || message->address != address)
                continue;
            Neighbour neighbour;
            neighbour.state = message->state;
            if (message->lladdrSize == 6) {
                std::copy(message->lladdr, message->lladdr + 6, neighbour.mac.begin());
                neighbour.hasMac = true;
            }
            result = neighbour;
        }
    }
    close(fd);
    return result;
}

int ReadNeighbourSetting(const QString& link, const char* name, int fallback)
{
    QFile file(QStringLiteral("/proc/sys/net/ipv4/neigh/%1/%2").arg(link, QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        return fallback;
    bool ok = false;
    const int value = file.readAll().trimmed().toInt(&ok);
    return ok ? value : fallback;
}

} // namespace

std::unique_ptr<KernelNeighbourResolver> KernelNeighbourResolver::Open(const LinkInterfaces& links,
                                                                       int* error)
{
    std::unique_ptr<KernelNeighbourResolver> resolver(new KernelNeighbourResolver);
    const auto fail = [&] {
        *error = errno;
        return nullptr;
    };

    resolver->m_events = socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (resolver->m_events < 0)
        return fail();
    // Many verdicts can come at once; an overrun is recovered by asking again (Resync).
    const int bufferSize = 1 << 20;
    setsockopt(resolver->m_events, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_NEIGH;
    if (bind(resolver->m_events, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return fail();

    resolver->m_datagram = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (resolver->m_datagram < 0)
        return fail();
    resolver->m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (resolver->m_wakeFd < 0)
        return fail();

    resolver->m_links = links;
    for (const LinkInterface& link : links.Links()) {
        const auto retrans =
            std::chrono::milliseconds(ReadNeighbourSetting(link.name, "retrans_time_ms", 1000));
        const int app = ReadNeighbourSetting(link.name, "app_solicit", 0);
        const int mcast = ReadNeighbourSetting(link.name, "mcast_solicit", 3);
        const int ucast = ReadNeighbourSetting(link.name, "ucast_solicit", 3);
        const int reprobes = ReadNeighbourSetting(link.name, "mcast_resolicit", 0);
        const auto delay =
            std::chrono::seconds(ReadNeighbourSetting(link.name, "delay_first_probe_time", 5));
        const Clock::duration fresh =
            std::max<Clock::duration>(kSafetyDeadline, retrans * (mcast + app) + 500ms);
        const Clock::duration recheck = delay + retrans * (ucast + app + reprobes) + 500ms;
        resolver->m_timing.push_back({link.index, recheck, fresh});
        resolver->m_solicits = std::max(resolver->m_solicits, std::max(1, mcast + app));
    }

    resolver->m_receiver = std::thread(&KernelNeighbourResolver::ReceiveLoop, resolver.get());
    *error = 0;
    return resolver;
}

KernelNeighbourResolver::KernelNeighbourResolver()
    : m_pacer(
          {kStartsPerSecond, kMaxWaiting, quint32(kMaxWaiting), true},
          [this](const SendAheadPacer::Request& request) { return Start(request); },
          [this](quint32 address) -> std::optional<SendAheadPacer::Request> {
              const LinkRoute route = m_links.RouteTo(address);
              if (!route.link || m_links.OwnerOf(address))
                  return std::nullopt;
              SendAheadPacer::Request request;
              request.address = address;
              request.link = route.link->index;
              return request;
          })
{
}

KernelNeighbourResolver::~KernelNeighbourResolver()
{
    // The pacer's thread uses the sockets; it ends before they close.
    m_pacer.Close();
    m_stopping = true;
    if (m_receiver.joinable()) {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
        m_receiver.join();
    }
    for (const int fd : {m_events, m_datagram, m_wakeFd})
        if (fd >= 0)
            close(fd);
}

QString KernelNeighbourResolver::Description() const
{
    return QStringLiteral("kernel neighbour resolution");
}

KernelNeighbourResolver::Clock::duration KernelNeighbourResolver::FreshDeadline(int ifindex) const
{
    for (const Timing& timing : m_timing)
        if (timing.ifindex == ifindex)
            return timing.fresh;
    return kSafetyDeadline;
}

KernelNeighbourResolver::Clock::duration KernelNeighbourResolver::RecheckDeadline(int ifindex) const
{
    for (const Timing& timing : m_timing)
        if (timing.ifindex == ifindex)
            return timing.recheck;
    return kSafetyDeadline + 6s;
}

SendAheadPacer::Started KernelNeighbourResolver::Start(const SendAheadPacer::Request& request)
{
    SendAheadPacer::Started started;
    started.giveUpAfter = FreshDeadline(request.link);
    if (const std::optional<Neighbour> current = QueryNeighbour(request.link, request.address)) {
        if ((current->state & kAnswerStates) && current->hasMac) {
            const quint64 mac = MacValueFromBytes(current->mac);
            if (IsHostMacAddress(mac)) {
                started.found = true;
                started.mac = mac;
                return started;
            }
            ++m_impossibleMacs;
        }
        if (current->state & kRecheckStates)
            started.giveUpAfter = RecheckDeadline(request.link);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kDiscardPort);
    to.sin_addr.s_addr = htonl(request.address);
    if (sendto(m_datagram, "", 0, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0 &&
        errno != EAGAIN && errno != ENOBUFS)
        started.found = false; // no route: nothing will be resolved
    return started;
}

bool KernelNeighbourResolver::Resolve(quint32 address, const LinkRoute& route, quint64* mac)
{
    if (!route.link)
        return false;
    SendAheadPacer::Request request;
    request.address = address;
    request.link = route.link->index;
    return m_pacer.Resolve(request, mac);
}

void KernelNeighbourResolver::SetRate(int requestsPerSecond)
{
    m_rate = std::max(0, requestsPerSecond);
}

void KernelNeighbourResolver::ScanStarting(UpcomingAddressesFn upcoming)
{
    m_impossibleMacs = 0;
    // The kernel sends up to m_solicits requests for each address it is asked: a rate of
    // requests is that share of starts.
    const int rate = m_rate;
    m_pacer.SetRules({rate > 0 ? std::max(1, rate / m_solicits) : kStartsPerSecond, kMaxWaiting,
                      quint32(kMaxWaiting), true});
    m_pacer.ScanStarting(std::move(upcoming));
}

QString KernelNeighbourResolver::ScanSummary() const
{
    const quint64 ignored = m_impossibleMacs.load();
    return ignored ? ImpossibleMacsText(ignored) : QString();
}

void KernelNeighbourResolver::ScanStopping()
{
    m_pacer.ScanStopping();
}

void KernelNeighbourResolver::ScanEnded()
{
    m_pacer.ScanEnded();
}

void KernelNeighbourResolver::Settle(quint32 address, int ifindex, quint16 state,
                                     const quint8* lladdr, int lladdrSize)
{
    const auto sameLink = [ifindex](const SendAheadPacer::Request& request) {
        return request.link == ifindex;
    };
    if ((state & kAnswerStates) && lladdrSize == 6) {
        MacBytes bytes;
        std::copy(lladdr, lladdr + 6, bytes.begin());
        const quint64 mac = MacValueFromBytes(bytes);
        if (!IsHostMacAddress(mac)) {
            ++m_impossibleMacs;
            return;
        }
        m_pacer.Settle(address, true, mac, sameLink);
    } else if (state & NUD_FAILED) {
        m_pacer.Settle(address, false, 0, sameLink);
    }
}

void KernelNeighbourResolver::HandleMessages(const quint8* data, std::size_t size)
{
    int left = int(size);
    for (auto* header = reinterpret_cast<const nlmsghdr*>(data); NLMSG_OK(header, unsigned(left));
         header = NLMSG_NEXT(header, left)) {
        const std::optional<NeighbourMessage> message = ReadNeighbourMessage(header);
        if (message && message->address)
            Settle(*message->address, message->ifindex, message->state, message->lladdr,
                   message->lladdrSize);
    }
}

void KernelNeighbourResolver::Resync()
{
    // Events were lost: ask the kernel for every address still waiting.
    for (const SendAheadPacer::Request& request : m_pacer.AllPending())
        if (const std::optional<Neighbour> current = QueryNeighbour(request.link, request.address))
            Settle(request.address, request.link, current->state,
                   current->hasMac ? current->mac.data() : nullptr, current->hasMac ? 6 : 0);
}

void KernelNeighbourResolver::ReceiveLoop()
{
    pollfd fds[2] = {{m_events, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    std::vector<quint8> storage(65536);
    quint8* buffer = storage.data();
    while (!m_stopping) {
        // No timeout needed: every waiter has its own deadline; this thread only ends.
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents & POLLIN) {
            quint64 count;
            [[maybe_unused]] const ssize_t read = ::read(m_wakeFd, &count, sizeof count);
        }
        if (fds[0].revents & (POLLIN | POLLERR)) {
            for (;;) {
                const ssize_t size = recv(m_events, buffer, storage.size(), 0);
                if (size > 0) {
                    HandleMessages(buffer, std::size_t(size));
                    continue;
                }
                if (size < 0 && errno == ENOBUFS) {
                    Resync();
                    continue;
                }
                break;
            }
        }
    }
}
