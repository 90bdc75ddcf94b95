#include "scan/platform/RawArpResolver.h"

#include <QStringList>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

int OpenArpSocket(int ifindex)
{
    // Protocol 0 until bound, so no ARP of other adapters is queued in between.
    const int fd = socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_ARP);
    address.sll_ifindex = ifindex;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

} // namespace

std::unique_ptr<RawArpResolver> RawArpResolver::Open(const LinkInterfaces& links, int aheadRate,
                                                     int* error)
{
    // A probe socket tells whether we may use packet sockets at all, also on a machine
    // with no adapter to scan.
    const int probe = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        *error = errno;
        return nullptr;
    }
    close(probe);

    std::unique_ptr<RawArpResolver> resolver(new RawArpResolver(links, aheadRate));
    for (Link& link : resolver->m_links) {
        link.fd = OpenArpSocket(link.info.index);
        if (link.fd < 0) {
            *error = errno;
            return nullptr;
        }
    }
    resolver->m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (resolver->m_wakeFd < 0) {
        *error = errno;
        return nullptr;
    }
    resolver->m_receiver = std::thread(&RawArpResolver::ReceiveLoop, resolver.get());
    *error = 0;
    return resolver;
}

RawArpResolver::RawArpResolver(const LinkInterfaces& links, int aheadRate)
    : m_linkTable(links), m_aheadRate(aheadRate)
{
    for (const LinkInterface& info : links.Links())
        m_links.push_back({info, -1});
}

RawArpResolver::~RawArpResolver()
{
    StopAhead();
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_answered.notify_all();
    if (m_receiver.joinable()) {
        WakeReceiver();
        m_receiver.join();
    }
    for (const Link& link : m_links)
        if (link.fd >= 0)
            close(link.fd);
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

QString RawArpResolver::Description() const
{
    QStringList names;
    for (const Link& link : m_links)
        names << link.info.name;
    if (names.isEmpty())
        return QStringLiteral("raw ARP socket (no Ethernet adapter with an IPv4 address)");
    return QStringLiteral("raw ARP socket on %1").arg(names.join(QStringLiteral(", ")));
}

std::size_t RawArpResolver::LinkSlot(int ifindex) const
{
    for (std::size_t i = 0; i < m_links.size(); ++i)
        if (m_links[i].info.index == ifindex)
            return i;
    return m_links.size();
}

void RawArpResolver::WakeReceiver()
{
    const quint64 one = 1;
    // A full counter already means "wake up"; nothing to do on failure.
    [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
}

void RawArpResolver::SendRequest(const Entry& entry, quint32 address)
{
    const Link& link = m_links[entry.link];
    const ArpPacket packet = BuildArpRequest(link.info.mac, entry.localIp, address);
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(ETH_P_ARP);
    to.sll_ifindex = link.info.index;
    to.sll_halen = 6;
    std::fill(to.sll_addr, to.sll_addr + 6, quint8(0xFF));
    // A lost request (full queue, adapter down) costs only this attempt: the repeat and
    // the give-up timer still run.
    sendto(link.fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

RawArpResolver::Entry& RawArpResolver::StartLocked(quint32 address, std::size_t link,
                                                   quint32 localIp)
{
    Entry& entry = m_entries[address];
    entry = Entry{};
    entry.serial = m_nextSerial++;
    entry.link = link;
    entry.localIp = localIp;
    entry.firstSent = Clock::now();
    SendRequest(entry, address);
    const bool earliest = m_timers.empty() || entry.firstSent + kRepeatAfter < m_timers.top().due;
    m_timers.push({entry.firstSent + kRepeatAfter, address, entry.serial});
    if (earliest)
        WakeReceiver();
    return entry;
}

bool RawArpResolver::Resolve(quint32 address, const LinkRoute& route, quint64* mac)
{
    const std::size_t link = LinkSlot(route.link ? route.link->index : 0);
    if (link >= m_links.size())
        return false;

    std::unique_lock lock(m_mutex);
    auto it = m_entries.find(address);
    Entry& entry = it != m_entries.end() ? it->second : StartLocked(address, link, route.localIp);
    ++entry.waiters;
    // The receive thread settles every entry at kGiveUpAfter; the slack only guards
    // against that thread being held up.
    const auto deadline = entry.firstSent + kGiveUpAfter + std::chrono::milliseconds(500);
    m_answered.wait_until(lock, deadline,
                          [&] { return entry.state != State::Pending || m_stopping; });
    const bool found = entry.state == State::Found;
    if (found)
        *mac = entry.mac;
    if (--entry.waiters == 0)
        m_entries.erase(address);
    ++m_taken;
    lock.unlock();
    m_aheadWake.notify_one();
    return found;
}

void RawArpResolver::RunTimersLocked(Clock::time_point now)
{
    while (!m_timers.empty() && m_timers.top().due <= now) {
        const Timer timer = m_timers.top();
        m_timers.pop();
        auto it = m_entries.find(timer.address);
        if (it == m_entries.end() || it->second.serial != timer.serial ||
            it->second.state != State::Pending)
            continue;
        Entry& entry = it->second;
        if (!entry.repeated) {
            entry.repeated = true;
            SendRequest(entry, timer.address);
            m_timers.push({entry.firstSent + kGiveUpAfter, timer.address, timer.serial});
        } else {
            entry.state = State::NotFound;
            m_answered.notify_all();
        }
    }
}

void RawArpResolver::ReadReplies(std::size_t link)
{
    const Link& from = m_links[link];
    for (;;) {
        quint8 buffer[256];
        sockaddr_ll sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t size = recvfrom(from.fd, buffer, sizeof buffer, 0,
                                      reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (size < 0)
            return; // EAGAIN: drained; any other error: the next poll reports it again
        if (sender.sll_pkttype == PACKET_OUTGOING)
            continue;
        const std::optional<ArpFields> packet = ReadArpPacket(buffer, std::size_t(size));
        if (!packet || packet->operation != kArpReply)
            continue;
        std::lock_guard lock(m_mutex);
        auto it = m_entries.find(packet->senderIp);
        if (it == m_entries.end())
            continue;
        Entry& entry = it->second;
        if (entry.state != State::Pending || entry.link != link ||
            !IsArpAnswer(*packet, packet->senderIp, entry.localIp, from.info.mac))
            continue;
        entry.state = State::Found;
        entry.mac = MacValueFromBytes(packet->senderMac);
        m_answered.notify_all();
    }
}

void RawArpResolver::ReceiveLoop()
{
    std::vector<pollfd> fds;
    for (const Link& link : m_links)
        fds.push_back({link.fd, POLLIN, 0});
    fds.push_back({m_wakeFd, POLLIN, 0});

    for (;;) {
        int timeout = -1;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            const auto now = Clock::now();
            RunTimersLocked(now);
            if (!m_timers.empty()) {
                const auto wait =
                    std::chrono::ceil<std::chrono::milliseconds>(m_timers.top().due - now);
                timeout = int(std::max<qint64>(0, wait.count()));
            }
        }
        if (poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR)
                continue;
            return; // cannot happen with valid descriptors; waiters fall back to deadlines
        }
        for (std::size_t i = 0; i < m_links.size(); ++i)
            if (fds[i].revents & (POLLIN | POLLERR))
                ReadReplies(i);
        if (fds.back().revents & POLLIN) {
            quint64 count;
            [[maybe_unused]] const ssize_t read = ::read(m_wakeFd, &count, sizeof count);
        }
    }
}

void RawArpResolver::ScanStarting(UpcomingAddressesFn upcoming)
{
    StopAhead();
    {
        std::lock_guard lock(m_mutex);
        // No worker runs between scans, so nothing waits on these.
        std::erase_if(m_entries, [](const auto& item) { return item.second.waiters == 0; });
        m_aheadStop = false;
    }
    if (m_aheadRate > 0 && upcoming)
        m_ahead = std::thread(&RawArpResolver::AheadLoop, this, std::move(upcoming));
}

void RawArpResolver::ScanEnded()
{
    StopAhead();
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [](const auto& item) { return item.second.waiters == 0; });
}

void RawArpResolver::StopAhead()
{
    {
        std::lock_guard lock(m_mutex);
        m_aheadStop = true;
    }
    m_aheadWake.notify_all();
    if (m_ahead.joinable())
        m_ahead.join();
}

void RawArpResolver::AheadLoop(UpcomingAddressesFn upcoming)
{
    const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) /
                          std::max(1, m_aheadRate);
    auto nextSend = Clock::now();
    quint64 position = 0; // the next address to send ahead; 64 bits so the last one ends it

    std::unique_lock lock(m_mutex);
    while (!m_aheadStop) {
        if (Clock::now() < nextSend) {
            m_aheadWake.wait_until(lock, nextSend, [&] { return m_aheadStop; });
            continue;
        }
        const quint64 takenBefore = m_taken;
        // The cursor has its own lock; never call into it holding ours.
        lock.unlock();
        const std::optional<UpcomingAddresses> cursor = upcoming();
        lock.lock();
        if (!cursor || m_aheadStop)
            break; // stop signalled or range used up: nothing more is sent ahead
        position = std::max<quint64>(position, cursor->next);
        if (position > cursor->last)
            break;
        if (position - cursor->next >= kAheadWindow || m_entries.size() >= kMaxEntries) {
            // Far enough ahead: wait for a worker to take an answer.
            m_aheadWake.wait_for(lock, std::chrono::milliseconds(100),
                                 [&] { return m_aheadStop || m_taken != takenBefore; });
            continue;
        }
        const auto address = quint32(position++);
        const LinkRoute route = m_linkTable.RouteTo(address);
        const std::size_t link = LinkSlot(route.link ? route.link->index : 0);
        if (link >= m_links.size() || m_linkTable.OwnerOf(address) || m_entries.contains(address))
            continue; // answered without the wire, or already asked
        StartLocked(address, link, route.localIp);
        // After a stall the pace restarts from now rather than catching up in a burst.
        nextSend = std::max(nextSend + interval, Clock::now() - interval);
    }
}
