#include "scan/platform/RawArpResolver.h"

#include "scan/ArpConflicts.h"
#include "scan/platform/HelperWire.h"
#include "scan/platform/PacketSocketWire.h"
#include "support/AddressText.h"

#include <QStringList>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

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
        link.wire = PacketSocketWire::Open(link.info, error);
        if (!link.wire)
            return nullptr;
    }
    if (!resolver->StartReceiving(error))
        return nullptr;
    return resolver;
}

std::unique_ptr<RawArpResolver> RawArpResolver::OpenThroughHelper(const LinkInterfaces& links,
                                                                  int aheadRate,
                                                                  const QString& helper,
                                                                  QString* error)
{
    std::unique_ptr<RawArpResolver> resolver(new RawArpResolver(links, aheadRate));
    resolver->m_helper = helper;
    for (Link& link : resolver->m_links) {
        link.wire = HelperWire::Start(helper, link.info, error);
        if (!link.wire)
            return nullptr;
        link.wire->SetRate(WireRateFor(resolver->m_rate));
    }
    int failed = 0;
    if (!resolver->StartReceiving(&failed)) {
        *error = QString::fromLocal8Bit(std::strerror(failed));
        return nullptr;
    }
    return resolver;
}

bool RawArpResolver::StartReceiving(int* error)
{
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0) {
        *error = errno;
        return false;
    }
    m_receiver = std::thread(&RawArpResolver::ReceiveLoop, this);
    *error = 0;
    return true;
}

int RawArpResolver::WireRateFor(int rate)
{
    return int(std::clamp<qint64>(qint64(rate) * 8, 1000, 1000000));
}

SendAheadPacer::Rules RawArpResolver::RulesFor(int rate, bool given)
{
    SendAheadPacer::Rules rules;
    rules.startsPerSecond = rate;
    rules.aheadWindow = std::max<quint32>(kAheadWindow, quint32(std::min(rate, 1 << 20)) * 2);
    rules.maxOutstanding = std::max(kMaxOutstanding, std::min(rate, 1 << 20) * 4);
    // At a rate the user gave (a gentle one, say) a worker's own request takes its turn
    // in the pace too, so that requests stay evenly spread. At the rates chosen by the
    // range it goes at once: the gate (ThroughGate) still holds it to the rate, and a
    // crowded network is found sooner.
    rules.pacesWorkers = given;
    return rules;
}

RawArpResolver::RawArpResolver(const LinkInterfaces& links, int aheadRate)
    : m_fixedRate(aheadRate), m_rate(aheadRate > 0 ? aheadRate : kRate), m_linkTable(links),
      m_pacer(
          RulesFor(m_rate, aheadRate > 0),
          [this](const SendAheadPacer::Request& request) { return Start(request); },
          [this](quint32 address) -> std::optional<SendAheadPacer::Request> {
              if (m_linkTable.OwnerOf(address))
                  return std::nullopt;
              return RequestFor(address, m_linkTable.RouteTo(address));
          })
{
    for (const LinkInterface& info : links.Links())
        m_links.push_back({info, nullptr});
}

RawArpResolver::~RawArpResolver()
{
    // The pacer's thread sends on the wires; it ends before they close.
    m_pacer.Close();
    m_stopping = true;
    if (m_receiver.joinable()) {
        WakeReceiver();
        m_receiver.join();
    }
    m_links.clear();
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

bool RawArpResolver::Working() const
{
    return std::all_of(m_links.begin(), m_links.end(),
                       [](const Link& link) { return link.wire->PollFd() >= 0; });
}

QString RawArpResolver::Description() const
{
    QStringList names;
    for (const Link& link : m_links)
        names << link.info.name;
    const QString way = m_helper.isEmpty() ? QStringLiteral("raw ARP socket")
                                           : QStringLiteral("raw ARP through %1").arg(m_helper);
    if (names.isEmpty())
        return way + QStringLiteral(" (no Ethernet adapter with an IPv4 address)");
    return QStringLiteral("%1 on %2").arg(way, names.join(QStringLiteral(", ")));
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

namespace
{

// The pace's spacing already holds the rate for requests sent on time; a second and 5 ms
// covers the way from the gate to the wire.
constexpr auto kGateSecond = std::chrono::milliseconds(1005);
// How often a kernel turn's wait looks for a stop.
constexpr auto kStopCheck = std::chrono::milliseconds(20);

} // namespace

template <typename Send>
std::optional<RawArpResolver::Clock::time_point> RawArpResolver::ThroughOpenGate(Send send)
{
    std::lock_guard lock(m_gateMutex);
    if (m_gateRate > 0 && m_sentTimes.size() >= std::size_t(m_gateRate)) {
        const auto opens = m_sentTimes.front() + kGateSecond;
        if (opens > Clock::now())
            return opens;
        m_sentTimes.pop_front();
    }
    send();
    m_sentTimes.push_back(Clock::now());
    return std::nullopt;
}

template <typename Send> void RawArpResolver::ThroughGate(Send send)
{
    // Whoever comes first when it opens goes first; the count is checked afresh each time.
    while (const std::optional<Clock::time_point> opens = ThroughOpenGate(send))
        std::this_thread::sleep_until(*opens);
}

void RawArpResolver::SendFromTimer(const SendAheadPacer::Request& request)
{
    const std::optional<Clock::time_point> opens = ThroughOpenGate(
        [&] { m_links[std::size_t(request.link)].wire->Send(request.localIp, request.address); });
    if (!opens)
        return;
    // The receive thread never waits at the gate: the request goes when it opens, and its
    // address's give-up moves with it.
    ArpRounds::Step step;
    {
        std::lock_guard lock(m_timerMutex);
        step = m_rounds.Delayed(request.address, request.serial, *opens);
    }
    if (step.kind == ArpRounds::Step::Kind::Done ||
        !m_pacer.Extend(request.address, request.serial, step.deadline))
        return;
    PushTimer({*opens, request.address, request.serial, Timer::Kind::Send});
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
    const auto entered = Clock::now();
    Clock::time_point sent;
    Clock::time_point deadline;
    // The gate may hold the request back: its time, and so its give-up, is when it
    // leaves. Recorded before it goes out, so that no answer comes before its question.
    ThroughGate([&] {
        sent = Clock::now();
        {
            std::lock_guard lock(m_timerMutex);
            deadline = m_rounds.Asked(request.address, request.serial, sent);
        }
        m_links[std::size_t(request.link)].wire->Send(request.localIp, request.address);
    });
    SendAheadPacer::Started started;
    started.giveUpAfter = deadline - entered;
    PushTimer({sent + kRepeatAfter, request.address, request.serial});
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
            SendFromTimer(*request);
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
    case Kind::Repeat: {
        // Repeats and further requests take their turn in the pace like first requests;
        // a repeat that must wait moves its address's give-up with it.
        const auto slot = m_pacer.TakeSlot();
        if (slot <= now) {
            SendFromTimer(*request);
            break;
        }
        {
            std::lock_guard lock(m_timerMutex);
            step = m_rounds.Delayed(timer.address, timer.serial, slot);
        }
        if (step.kind == Kind::Done)
            return;
        PushTimer({slot, timer.address, timer.serial, Timer::Kind::Send});
        break;
    }
    case Kind::Further: {
        const auto slot = m_pacer.TakeSlot();
        {
            std::lock_guard lock(m_timerMutex);
            step = m_rounds.Sent(timer.address, timer.serial, slot);
        }
        if (step.kind == Kind::Done)
            return;
        if (slot <= now)
            SendFromTimer(*request);
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
    std::vector<ArpWire::Received> received;
    from.wire->Read(&received);
    for (const ArpWire::Received& arrived : received) {
        const ArpFields& packet = arrived.packet;
        if (packet.operation != kArpReply)
            continue;
        const quint64 senderMac = MacValueFromBytes(packet.senderMac);
        if (!IsHostMacAddress(senderMac)) {
            ++m_impossibleMacs;
            continue;
        }
        g_arpConflicts.Note(packet.senderIp, senderMac);
        quint64 serial = 0;
        const bool taken = m_pacer.Settle(
            packet.senderIp, true, senderMac, [&](const SendAheadPacer::Request& request) {
                serial = request.serial;
                return request.link == int(link) &&
                       IsArpAnswer(packet, packet.senderIp, request.localIp, from.info.mac);
            });
        if (taken) {
            std::lock_guard lock(m_timerMutex);
            m_rounds.Answered(packet.senderIp, serial, arrived.at);
        }
    }
}

void RawArpResolver::ReceiveLoop()
{
    std::vector<pollfd> fds(m_links.size() + 1);
    while (!m_stopping) {
        // A wire that has ended (its helper gone) is left out from then on.
        for (std::size_t i = 0; i < m_links.size(); ++i)
            fds[i] = {m_links[i].wire->PollFd(), POLLIN, 0};
        fds.back() = {m_wakeFd, POLLIN, 0};
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
            if (fds[i].revents & (POLLIN | POLLERR | POLLHUP))
                ReadReplies(i);
        if (fds.back().revents & POLLIN) {
            quint64 count;
            [[maybe_unused]] const ssize_t read = ::read(m_wakeFd, &count, sizeof count);
        }
    }
}

void RawArpResolver::ScanStarting(UpcomingAddressesFn upcoming)
{
    m_scanStopping = false;
    {
        // What the last scan saw says nothing about this one's link.
        std::lock_guard lock(m_timerMutex);
        m_rounds.Reset();
    }
    m_impossibleMacs = 0;
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
    {
        std::lock_guard lock(m_gateMutex);
        m_sentTimes.clear();
        m_gateRate = rate;
    }
    m_pacer.SetRules(RulesFor(rate, m_fixedRate > 0));
    if (changed)
        for (const Link& link : m_links)
            link.wire->SetRate(WireRateFor(rate));
    m_pacer.ScanStarting(std::move(upcoming));
}

QString RawArpResolver::ScanSummary() const
{
    std::lock_guard lock(m_timerMutex);
    QString summary = QStringLiteral("%1 requests/s; %2").arg(m_rate).arg(m_rounds.Describe());
    if (const quint64 ignored = m_impossibleMacs.load())
        summary += QStringLiteral("; %1").arg(ImpossibleMacsText(ignored));
    return summary;
}

void RawArpResolver::SetRate(int requestsPerSecond)
{
    m_fixedRate = std::max(0, requestsPerSecond);
}

bool RawArpResolver::WaitForKernelTurn()
{
    // The kernel's request goes out right after this returns, with the datagram: it takes
    // its turn like ours where workers are paced, and counts in the gate always. The
    // waits look at a stop every few milliseconds, so that a stopped scan does not wait
    // for turns at a slow rate.
    const auto waitUntil = [this](Clock::time_point until) {
        while (Clock::now() < until) {
            if (m_scanStopping)
                return false;
            std::this_thread::sleep_until(std::min(until, Clock::now() + kStopCheck));
        }
        return !m_scanStopping;
    };
    if (m_fixedRate > 0 && !waitUntil(m_pacer.TakeSlot()))
        return false;
    while (const std::optional<Clock::time_point> opens = ThroughOpenGate([] {}))
        if (!waitUntil(*opens))
            return false;
    return true;
}

void RawArpResolver::ScanStopping()
{
    m_scanStopping = true;
    m_pacer.ScanStopping();
}

void RawArpResolver::ScanEnded()
{
    m_pacer.ScanEnded();
    m_scanStopping = false;
}

std::vector<std::shared_ptr<Ipv6EchoRelay>> RawArpResolver::EchoRelays() const
{
    std::vector<std::shared_ptr<Ipv6EchoRelay>> relays;
    for (const Link& link : m_links)
        if (auto relay = std::dynamic_pointer_cast<Ipv6EchoRelay>(link.wire))
            relays.push_back(std::move(relay));
    return relays;
}
