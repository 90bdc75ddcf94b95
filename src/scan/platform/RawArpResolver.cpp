#include "scan/platform/RawArpResolver.h"

#include "scan/ArpConflicts.h"

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

SendAheadPacer::Rules RawArpResolver::RulesFor(int rate)
{
    SendAheadPacer::Rules rules;
    rules.startsPerSecond = rate;
    rules.aheadWindow = std::max<quint32>(kAheadWindow, quint32(std::min(rate, 1 << 20)) * 2);
    rules.maxOutstanding = std::max(kMaxOutstanding, std::min(rate, 1 << 20) * 4);
    rules.pacesWorkers = false;
    return rules;
}

RawArpResolver::RawArpResolver(const LinkInterfaces& links, int aheadRate)
    : m_fixedRate(aheadRate), m_rate(aheadRate > 0 ? aheadRate : kRate), m_linkTable(links),
      m_pacer(
          RulesFor(m_rate),
          [this](const SendAheadPacer::Request& request) { return Start(request); },
          [this](quint32 address) -> std::optional<SendAheadPacer::Request> {
              if (m_linkTable.OwnerOf(address))
                  return std::nullopt;
              return RequestFor(address, m_linkTable.RouteTo(address));
          })
{
    for (const LinkInterface& info : links.Links())
        m_links.push_back({info, -1});
}

RawArpResolver::~RawArpResolver()
{
    // The pacer's thread sends on the sockets; it ends before they close.
    m_pacer.Close();
    m_stopping = true;
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

std::optional<SendAheadPacer::Request> RawArpResolver::RequestFor(quint32 address,
                                                                  const LinkRoute& route) const
{
    const std::size_t link = LinkSlot(route.link ? route.link->index : 0);
    if (link >= m_links.size())
        return std::nullopt;
    SendAheadPacer::Request request;
    request.address = address;
    request.link = int(link);
    request.localIp = route.localIp;
    return request;
}

void RawArpResolver::WakeReceiver()
{
    const quint64 one = 1;
    // A full counter already means "wake up"; nothing to do on failure.
    [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
}

void RawArpResolver::SendRequest(const SendAheadPacer::Request& request)
{
    const Link& link = m_links[std::size_t(request.link)];
    const ArpPacket packet = BuildArpRequest(link.info.mac, request.localIp, request.address);
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(ETH_P_ARP);
    to.sll_ifindex = link.info.index;
    to.sll_halen = 6;
    std::fill(to.sll_addr, to.sll_addr + 6, quint8(0xFF));
    // A lost request (full queue, adapter down) costs only this attempt: the repeat and
    // the give-up still come.
    sendto(link.fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

void RawArpResolver::PushTimer(const Timer& timer)
{
    bool earliest = false;
    {
        std::lock_guard lock(m_timerMutex);
        earliest = m_timers.empty() || timer.due < m_timers.top().due;
        m_timers.push(timer);
    }
    if (earliest)
        WakeReceiver();
}

SendAheadPacer::Started RawArpResolver::Start(const SendAheadPacer::Request& request)
{
    const auto now = Clock::now();
    SendAheadPacer::Started started;
    {
        // Recorded before it goes out, so that no answer comes before its question.
        std::lock_guard lock(m_timerMutex);
        started.giveUpAfter = m_rounds.Asked(request.address, request.serial, now) - now;
    }
    SendRequest(request);
    PushTimer({now + kRepeatAfter, request.address, request.serial});
    return started;
}

bool RawArpResolver::Resolve(quint32 address, const LinkRoute& route, quint64* mac)
{
    const std::optional<SendAheadPacer::Request> request = RequestFor(address, route);
    return request && m_pacer.Resolve(*request, mac);
}

void RawArpResolver::RunTimers(Clock::time_point now)
{
    std::vector<Timer> due;
    {
        std::lock_guard lock(m_timerMutex);
        while (!m_timers.empty() && m_timers.top().due <= now) {
            due.push_back(m_timers.top());
            m_timers.pop();
        }
    }
    for (const Timer& timer : due)
        RunTimer(timer, now);
}

void RawArpResolver::RunTimer(const Timer& timer, Clock::time_point now)
{
    // Only a request still unanswered, of the same start, is asked again.
    const auto request = m_pacer.Pending(timer.address, timer.serial);
    if (timer.kind == Timer::Kind::Send) {
        if (request)
            SendRequest(*request);
        return;
    }
    ArpRounds::Step step;
    {
        std::lock_guard lock(m_timerMutex);
        if (!request) {
            m_rounds.Forget(timer.address, timer.serial);
            return;
        }
        step = m_rounds.Due(timer.address, timer.serial, now);
    }
    using Kind = ArpRounds::Step::Kind;
    switch (step.kind) {
    case Kind::Done:
        return;
    case Kind::Repeat:
        SendRequest(*request);
        break;
    case Kind::Further: {
        const auto slot = m_pacer.TakeSlot();
        {
            std::lock_guard lock(m_timerMutex);
            step = m_rounds.Sent(timer.address, timer.serial, slot);
        }
        if (step.kind == Kind::Done)
            return;
        if (slot <= now)
            SendRequest(*request);
        else
            PushTimer({slot, timer.address, timer.serial, Timer::Kind::Send});
        break;
    }
    case Kind::Wait:
        break;
    }
    if (!m_pacer.Extend(timer.address, timer.serial, step.deadline)) {
        std::lock_guard lock(m_timerMutex);
        m_rounds.Forget(timer.address, timer.serial);
        return;
    }
    PushTimer({step.next, timer.address, timer.serial});
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
        const auto received = Clock::now();
        const std::optional<ArpFields> packet = ReadArpPacket(buffer, std::size_t(size));
        if (!packet || packet->operation != kArpReply)
            continue;
        g_arpConflicts.Note(packet->senderIp, MacValueFromBytes(packet->senderMac));
        quint64 serial = 0;
        const bool taken = m_pacer.Settle(
            packet->senderIp, true, MacValueFromBytes(packet->senderMac),
            [&](const SendAheadPacer::Request& request) {
                serial = request.serial;
                return request.link == int(link) &&
                       IsArpAnswer(*packet, packet->senderIp, request.localIp, from.info.mac);
            });
        if (taken) {
            std::lock_guard lock(m_timerMutex);
            m_rounds.Answered(packet->senderIp, serial, received);
        }
    }
}

void RawArpResolver::ReceiveLoop()
{
    std::vector<pollfd> fds;
    for (const Link& link : m_links)
        fds.push_back({link.fd, POLLIN, 0});
    fds.push_back({m_wakeFd, POLLIN, 0});

    while (!m_stopping) {
        const auto now = Clock::now();
        RunTimers(now);
        int timeout = -1;
        {
            std::lock_guard lock(m_timerMutex);
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
    {
        // What the last scan saw says nothing about this one's link.
        std::lock_guard lock(m_timerMutex);
        m_rounds.Reset();
    }
    int rate = m_fixedRate;
    if (rate <= 0) {
        const std::optional<UpcomingAddresses> range = upcoming ? upcoming() : std::nullopt;
        const quint64 size =
            range && range->last >= range->next ? quint64(range->last) - range->next + 1 : 0;
        rate = size > kWideFrom ? kWideRate : kRate;
    }
    bool changed = false;
    {
        std::lock_guard lock(m_timerMutex);
        changed = rate != m_rate;
        m_rate = rate;
    }
    if (changed)
        m_pacer.SetRules(RulesFor(rate));
    m_pacer.ScanStarting(std::move(upcoming));
}

QString RawArpResolver::ScanSummary() const
{
    std::lock_guard lock(m_timerMutex);
    return QStringLiteral("%1 requests/s; %2").arg(m_rate).arg(m_rounds.Describe());
}

void RawArpResolver::ScanStopping()
{
    m_pacer.ScanStopping();
}

void RawArpResolver::ScanEnded()
{
    m_pacer.ScanEnded();
}
