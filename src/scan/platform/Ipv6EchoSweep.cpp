#include "scan/platform/Ipv6EchoSweep.h"

#include "scan/platform/Ipv6Neighbours.h"

#include <QRandomGenerator>
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <ifaddrs.h>
#include <map>
#include <net/if.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// ff02::1, every node of the link.
constexpr Ipv6Bytes kAllNodes = {0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};

// The adapter's own IPv6 addresses, each with its scope id.
std::vector<sockaddr_in6> OwnAddresses(int ifindex)
{
    std::vector<sockaddr_in6> own;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return own;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET6 || !entry->ifa_name ||
            int(if_nametoindex(entry->ifa_name)) != ifindex)
            continue;
        sockaddr_in6 address;
        std::memcpy(&address, entry->ifa_addr, sizeof address);
        address.sin6_port = 0;
        if (IN6_IS_ADDR_LINKLOCAL(&address.sin6_addr))
            address.sin6_scope_id = uint32_t(ifindex);
        own.push_back(address);
    }
    freeifaddrs(list);
    return own;
}

// A socket that sends from `own` to the group on its adapter: a datagram socket when the
// system lets us, a raw one otherwise; -1 when neither can be had or bound.
int OpenSource(const sockaddr_in6& own, int ifindex, bool* raw)
{
    int fd = socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMPV6);
    *raw = false;
    if (fd < 0) {
        fd = socket(AF_INET6, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMPV6);
        *raw = true;
        if (fd < 0)
            return -1;
        icmp6_filter filter;
        ICMP6_FILTER_SETBLOCKALL(&filter);
        ICMP6_FILTER_SETPASS(ICMP6_ECHO_REPLY, &filter);
        setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
    }
    const int hops = 1, loop = 0;
    const unsigned index = unsigned(ifindex);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&own), sizeof own) != 0 ||
        setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_IF, &index, sizeof index) != 0) {
        close(fd);
        return -1;
    }
    setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &hops, sizeof hops);
    setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_LOOP, &loop, sizeof loop);
    return fd;
}

} // namespace

Ipv6EchoSweep::Ipv6EchoSweep(const std::vector<int>& ifindexes,
                             std::vector<std::shared_ptr<Ipv6EchoRelay>> relays)
    : m_identifier(quint16(QRandomGenerator::global()->bounded(1, 0x10000)))
{
    for (const int ifindex : ifindexes) {
        const auto relay = std::find_if(relays.begin(), relays.end(), [&](const auto& candidate) {
            return candidate && candidate->EchoIfindex() == ifindex;
        });
        for (const sockaddr_in6& own : OwnAddresses(ifindex)) {
            Source source;
            source.ifindex = ifindex;
            std::memcpy(source.own.data(), &own.sin6_addr, source.own.size());
            source.fd = OpenSource(own, ifindex, &source.raw);
            if (source.fd < 0 && relay != relays.end())
                source.relay = *relay;
            if (source.fd >= 0 || source.relay)
                m_sources.push_back(source);
        }
    }
    for (const std::shared_ptr<Ipv6EchoRelay>& relay : Relays())
        relay->TakeEchoReplies(); // an earlier sweep's
    if (m_sources.empty())
        return;
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0)
        return;
    SendRound(1);
    m_thread = std::thread([this] { Run(); });
}

Ipv6EchoSweep::~Ipv6EchoSweep()
{
    Finish();
    for (const Source& source : m_sources)
        if (source.fd >= 0)
            close(source.fd);
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

QByteArray Ipv6EchoSweep::EchoRequest(quint16 sequence) const
{
    icmp6_hdr header{};
    header.icmp6_type = ICMP6_ECHO_REQUEST;
    header.icmp6_id = htons(m_identifier);
    header.icmp6_seq = htons(sequence);
    QByteArray echo(reinterpret_cast<const char*>(&header), sizeof header);
    echo.append("lanvey6", 8);
    return echo;
}

void Ipv6EchoSweep::SendRound(quint16 sequence)
{
    const QByteArray echo = EchoRequest(sequence);
    for (const Source& source : m_sources) {
        if (source.relay) {
            source.relay->SendEcho(source.own);
            ++m_sent;
            continue;
        }
        sockaddr_in6 group{};
        group.sin6_family = AF_INET6;
        std::memcpy(&group.sin6_addr, kAllNodes.data(), kAllNodes.size());
        group.sin6_scope_id = uint32_t(source.ifindex);
        if (sendto(source.fd, echo.constData(), size_t(echo.size()), 0,
                   reinterpret_cast<const sockaddr*>(&group), sizeof group) == echo.size())
            ++m_sent;
    }
}

void Ipv6EchoSweep::Read(size_t sourceIndex)
{
    const Source& source = m_sources[sourceIndex];
    if (source.fd < 0)
        return; // the relay keeps its replies
    // A burst of replies is read in one go; a host may send anything, so each is parsed.
    for (int i = 0; i < 256; ++i) {
        char buffer[1500];
        sockaddr_in6 from{};
        socklen_t fromSize = sizeof from;
        const ssize_t got = recvfrom(source.fd, buffer, sizeof buffer, 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got < 0)
            return;
        const auto sequence =
            ParseEchoReply(QByteArrayView(buffer, got),
                           source.raw ? std::optional<quint16>(m_identifier) : std::nullopt);
        if (!sequence || *sequence < 1 || *sequence > 3 || fromSize < sizeof from ||
            from.sin6_family != AF_INET6 || IN6_IS_ADDR_MULTICAST(&from.sin6_addr) ||
            IN6_IS_ADDR_UNSPECIFIED(&from.sin6_addr))
            continue;
        Ipv6Bytes address;
        std::memcpy(address.data(), &from.sin6_addr, address.size());
        std::lock_guard lock(m_mutex);
        if (m_replied.size() < kMaxReplies)
            m_replied.emplace(std::pair(source.ifindex, address), int(sourceIndex));
    }
}

void Ipv6EchoSweep::Run()
{
    using Clock = std::chrono::steady_clock;
    const auto second = m_started + std::chrono::milliseconds(kSecondEchoAfterMs);
    const auto resolve = m_started + std::chrono::milliseconds(kResolveAfterMs);
    const auto done = m_started + std::chrono::milliseconds(kSweepMs);
    int step = 0; // 0: the second echoes are due, 1: the resolve pass, 2: the end, 3: over
    std::vector<pollfd> fds;
    fds.push_back({m_wakeFd, POLLIN, 0});
    for (const Source& source : m_sources)
        fds.push_back({source.fd, POLLIN, 0});
    for (;;) {
        const auto due = step == 0 ? second : step == 1 ? resolve : done;
        const int timeout =
            step >= 3
                ? -1
                : int(std::max<qint64>(
                      0, std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count()));
        const int ready = poll(fds.data(), nfds_t(fds.size()), timeout);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[0].revents)
            break;
        for (size_t i = 1; ready > 0 && i < fds.size(); ++i)
            if (fds[i].revents)
                Read(i - 1);
        if (step < 3 && Clock::now() >= due) {
            if (step == 0)
                SendRound(2);
            else if (step == 1)
                AskUnresolved();
            else
                MarkDone();
            ++step;
        }
    }
    MarkDone();
}

void Ipv6EchoSweep::AskUnresolved()
{
    // A host that already knew our MAC replied without a neighbour exchange, and the
    // kernel may have let go of its entry since an earlier scan. One echo straight to it
    // makes the kernel ask the link for its MAC. Only an address of the link itself
    // (link-local, unique-local) is asked: never a global one.
    std::map<std::pair<int, Ipv6Bytes>, int> replied;
    {
        std::lock_guard lock(m_mutex);
        replied = m_replied;
    }
    std::set<std::pair<int, Ipv6Bytes>> held;
    for (const Ipv6Neighbour& entry : ReadIpv6Neighbours(Adapters()))
        held.emplace(entry.ifindex, entry.address);
    for (const auto& [key, sourceIndex] : replied) {
        const Ipv6Bytes& address = key.second;
        const Source& source = m_sources[size_t(sourceIndex)];
        if (!IsIpv6OnLink(address) || held.count(key) || source.fd < 0)
            continue;
        sockaddr_in6 to{};
        to.sin6_family = AF_INET6;
        std::memcpy(&to.sin6_addr, address.data(), address.size());
        if (IsIpv6LinkLocal(address))
            to.sin6_scope_id = uint32_t(source.ifindex);
        const QByteArray echo = EchoRequest(3);
        if (sendto(source.fd, echo.constData(), size_t(echo.size()), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof to) == echo.size())
            ++m_sent;
    }
}

void Ipv6EchoSweep::MarkDone()
{
    {
        std::lock_guard lock(m_mutex);
        m_sweepDone = true;
    }
    m_sweepEnded.notify_all();
}

std::vector<int> Ipv6EchoSweep::Adapters() const
{
    std::vector<int> adapters;
    for (const Source& source : m_sources)
        if (std::find(adapters.begin(), adapters.end(), source.ifindex) == adapters.end())
            adapters.push_back(source.ifindex);
    return adapters;
}

std::vector<std::shared_ptr<Ipv6EchoRelay>> Ipv6EchoSweep::Relays() const
{
    std::vector<std::shared_ptr<Ipv6EchoRelay>> relays;
    for (const Source& source : m_sources)
        if (source.relay && std::find(relays.begin(), relays.end(), source.relay) == relays.end())
            relays.push_back(source.relay);
    return relays;
}

void Ipv6EchoSweep::WaitForSweep()
{
    // A scan shorter than the sweep waits for its end: the second echoes and the
    // neighbour exchanges they start.
    std::unique_lock lock(m_mutex);
    // The thread marks the end at kSweepMs; a thread the machine runs late is not waited
    // for long after.
    m_sweepEnded.wait_until(lock, m_started + std::chrono::milliseconds(kSweepMs + 100),
                            [this] { return m_sweepDone || m_stopped || !m_thread.joinable(); });
}

void Ipv6EchoSweep::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_sweepEnded.notify_all();
}

std::vector<Ipv6Sighting> Ipv6EchoSweep::Finish()
{
    if (m_thread.joinable()) {
        WaitForSweep();
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
        m_thread.join();
        // Replies already queued count too.
        for (size_t i = 0; i < m_sources.size(); ++i)
            Read(i);
    }
    std::set<std::pair<int, Ipv6Bytes>> replied;
    {
        std::lock_guard lock(m_mutex);
        if (std::exchange(m_finished, true))
            return {};
        for (const auto& entry : m_replied)
            replied.insert(entry.first);
    }
    std::vector<Ipv6Sighting> sightings;
    for (const Ipv6Neighbour& entry : ReadIpv6Neighbours(Adapters()))
        if (replied.count({entry.ifindex, entry.address}))
            sightings.push_back({entry.address, entry.mac});
    // The helper saw each reply's MAC itself.
    std::set<std::pair<Ipv6Bytes, quint64>> kept;
    for (const Ipv6Sighting& sighting : sightings)
        kept.emplace(sighting.address, sighting.mac);
    for (const std::shared_ptr<Ipv6EchoRelay>& relay : Relays())
        for (const Ipv6Sighting& sighting : relay->TakeEchoReplies())
            if (sightings.size() < kMaxReplies &&
                kept.emplace(sighting.address, sighting.mac).second)
                sightings.push_back(sighting);
    return sightings;
}
