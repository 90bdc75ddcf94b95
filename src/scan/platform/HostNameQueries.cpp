#include "scan/platform/HostNameQueries.h"

#include "lang/DisplayText.h"
#include "scan/DnsMessage.h"
#include "scan/NetBiosNames.h"
#include "scan/platform/SocketHandle.h"

#include <QRandomGenerator>
#include <algorithm>
#include <ares.h>
#include <arpa/inet.h>
#include <cerrno>
#include <linux/errqueue.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

sockaddr_in Endpoint(quint32 ip, quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = ip;
    return address;
}

// The node-status query on a socket connected to the host, so that its port
// unreachable settles the question at once.
class NetBiosQuestion
{
public:
    explicit NetBiosQuestion(ProbeResult& probe)
        : m_probe(probe), m_socket(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0))
    {
        const sockaddr_in host = Endpoint(probe.ip, kNetBiosNamePort);
        const NodeStatusRequest request = BuildNodeStatusRequest();
        m_done =
            m_socket.get() < 0 ||
            connect(m_socket.get(), reinterpret_cast<const sockaddr*>(&host), sizeof host) != 0 ||
            send(m_socket.get(), request.data(), request.size(), 0) != ssize_t(request.size());
    }
    bool Done() const { return m_done; }
    int Fd() const { return m_socket.get(); }
    int Result() const { return m_answered ? 0 : 1; }

    void OnReady()
    {
        NodeStatusReply reply = EmptyNodeStatusReply();
        const ssize_t received = recv(m_socket.get(), reply.data(), reply.size(), MSG_DONTWAIT);
        if (received < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        m_done = true;
        if (received < 0)
            return; // ECONNREFUSED: nothing listens on the host's port 137
        ParseNodeStatusNames(reply, m_probe.hostName, m_probe.workgroup);
        m_probe.netBiosMac = ParseNodeStatusUnitId(reply, int(received));
        m_answered = true;
    }

private:
    ProbeResult& m_probe;
    SocketHandle m_socket;
    bool m_done = true;
    bool m_answered = false;
};

// A reverse PTR query to a multicast group. The query goes straight to the host's port
// first: a responder answers it there, and a host without one refuses it with an ICMP
// error, which ends the wait. Only when neither has come kGroupAfter later does the same
// query go to the group, which every host of the link must read: a thousand hosts found
// at once would otherwise flood the link with two thousand group queries. The socket is
// not connected (answers to the group query come from the host's address but are not
// tied to it by the kernel), so the port unreachable comes through the error queue
// (IP_RECVERR).
class GroupQuestion
{
public:
    static constexpr std::chrono::milliseconds kGroupAfter{20};

    GroupQuestion(quint32 ip, quint32 group, quint16 port, int ttl, int ifIndex)
        : m_ip(ip), m_port(port), m_id(quint16(QRandomGenerator::global()->bounded(1, 0x10000))),
          m_socket(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0))
    {
        if (m_socket.get() < 0)
            return;
        const int on = 1, off = 0;
        setsockopt(m_socket.get(), IPPROTO_IP, IP_RECVERR, &on, sizeof on);
        setsockopt(m_socket.get(), IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
        setsockopt(m_socket.get(), IPPROTO_IP, IP_MULTICAST_LOOP, &off, sizeof off);
        if (ifIndex > 0) {
            ip_mreqn which{};
            which.imr_ifindex = ifIndex;
            setsockopt(m_socket.get(), IPPROTO_IP, IP_MULTICAST_IF, &which, sizeof which);
        }
        m_query = BuildReversePtrQuery(m_id, ip, port == kMdnsPort);
        m_group = Endpoint(htonl(group), port);
        const sockaddr_in host = Endpoint(ip, port);
        const bool toHost = sendto(m_socket.get(), m_query.data(), size_t(m_query.size()), 0,
                                   reinterpret_cast<const sockaddr*>(&host), sizeof host) >= 0;
        m_done = false;
        m_groupDue = toHost ? Clock::now() + kGroupAfter : Clock::now();
        SendToGroupIfDue(Clock::now());
    }
    bool Done() const { return m_done; }
    // When the group query is still to go out; nullopt once it has (or is not needed).
    std::optional<Clock::time_point> GroupDue() const
    {
        if (m_done || m_groupSent)
            return std::nullopt;
        return m_groupDue;
    }
    void SendToGroupIfDue(Clock::time_point now)
    {
        if (m_done || m_groupSent || now < m_groupDue)
            return;
        m_groupSent = true;
        const bool sent = sendto(m_socket.get(), m_query.data(), size_t(m_query.size()), 0,
                                 reinterpret_cast<const sockaddr*>(&m_group), sizeof m_group) >= 0;
        (void)sent; // a group query that could not go out leaves the wait to the deadline
    }
    int Fd() const { return m_socket.get(); }
    const QStringList& Names() const { return m_names; }

    void OnReady()
    {
        // A datagram of more than 9000 bytes would not come over the LAN; one that does is
        // cut, and the parse sees it as truncated.
        char buffer[9000];
        for (int i = 0; i < 64 && !m_done; ++i) {
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t n = recvfrom(m_socket.get(), buffer, sizeof buffer, MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK)
                    break;
                continue; // a queued ICMP error, read from the error queue below
            }
            if (from.sin_addr.s_addr != m_ip || ntohs(from.sin_port) != m_port)
                continue;
            const DnsReply reply = ParseReversePtrReply(QByteArrayView(buffer, n), m_id, m_ip);
            if (!reply.ok)
                continue;
            m_names = reply.ptrTargets;
            m_done = true;
        }
        ReadErrors();
    }

private:
    void ReadErrors()
    {
        for (int i = 0; i < 64; ++i) {
            sockaddr_in to{};
            char control[256];
            char data[64];
            iovec io{data, sizeof data};
            msghdr message{};
            message.msg_name = &to;
            message.msg_namelen = sizeof to;
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            if (recvmsg(m_socket.get(), &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
                return;
            for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR)
                    continue;
                const auto* error = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
                // The datagram refused was the one sent to the host itself.
                if (error->ee_origin == SO_EE_ORIGIN_ICMP && to.sin_addr.s_addr == m_ip)
                    m_done = true;
            }
        }
    }

    quint32 m_ip;
    quint16 m_port;
    quint16 m_id;
    SocketHandle m_socket;
    QByteArray m_query;
    sockaddr_in m_group{};
    Clock::time_point m_groupDue;
    bool m_groupSent = false;
    bool m_done = true;
    QStringList m_names;
};

// The AAAA query for the name a host gave over multicast DNS, sent to the host's own port
// 5353 on a socket connected to it: only its own answer is read.
class AddressQuestion
{
public:
    AddressQuestion(quint32 ip, const QString& name)
        : m_name(name), m_id(quint16(QRandomGenerator::global()->bounded(1, 0x10000))),
          m_socket(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0))
    {
        const QByteArray query = BuildAddressQuery(m_id, name, true);
        const sockaddr_in host = Endpoint(ip, kMdnsPort);
        m_done =
            query.isEmpty() || m_socket.get() < 0 ||
            connect(m_socket.get(), reinterpret_cast<const sockaddr*>(&host), sizeof host) != 0 ||
            send(m_socket.get(), query.data(), size_t(query.size()), 0) != query.size();
    }
    bool Done() const { return m_done; }
    int Fd() const { return m_socket.get(); }
    const std::vector<Ipv6Bytes>& Addresses() const { return m_addresses; }

    void OnReady()
    {
        char buffer[9000];
        for (int i = 0; i < 64 && !m_done; ++i) {
            const ssize_t n = recv(m_socket.get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0) {
                // Refused (nothing listens any more) ends it; an empty queue waits on.
                m_done = errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
                return;
            }
            const DnsAddressReply reply =
                ParseAddressReply(QByteArrayView(buffer, n), m_id, m_name);
            if (!reply.ok)
                continue;
            m_addresses = reply.addresses;
            m_done = true;
        }
    }

private:
    QString m_name;
    quint16 m_id;
    SocketHandle m_socket;
    bool m_done = true;
    std::vector<Ipv6Bytes> m_addresses;
};

void InitAresOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { ares_library_init(ARES_LIB_INIT_ALL); });
}

// The calling thread's own resolver channel: a worker's lookup never waits behind another
// worker's. It is made at the thread's first lookup, which reads the system's resolver
// configuration, and serves every later host of the thread (a scan's workers end with
// the scan, so the next scan reads the configuration again).
class ResolverChannel
{
public:
    ~ResolverChannel() { Reset(); }

    static ares_channel ForThisThread(std::chrono::milliseconds wait)
    {
        thread_local ResolverChannel channel;
        const int timeout = int(std::max<qint64>(1, wait.count()));
        if (channel.m_channel && channel.m_timeout != timeout)
            channel.Reset();
        if (!channel.m_channel) {
            InitAresOnce();
            ares_options options{};
            options.timeout = timeout;
            options.tries = 1;
            if (ares_init_options(&channel.m_channel, &options,
                                  ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES) != ARES_SUCCESS)
                channel.m_channel = nullptr;
            channel.m_timeout = timeout;
        }
        return channel.m_channel;
    }

private:
    void Reset()
    {
        if (m_channel)
            ares_destroy(m_channel);
        m_channel = nullptr;
    }

    ares_channel m_channel = nullptr;
    int m_timeout = 0;
};

// A reverse lookup through the resolver the system is configured with. A lookup still
// open when the host's time is up is cancelled, and its late answer is dropped by the
// channel.
class ResolverQuestion
{
public:
    ResolverQuestion(quint32 ip, std::chrono::milliseconds wait)
        : m_channel(ResolverChannel::ForThisThread(wait))
    {
        if (!m_channel)
            return;
        in_addr address{};
        address.s_addr = ip;
        m_done = false;
        ares_gethostbyaddr(m_channel, &address, sizeof address, AF_INET, &ResolverQuestion::OnHost,
                           this);
    }
    ~ResolverQuestion()
    {
        if (m_channel && !m_done) {
            m_destroying = true;
            ares_cancel(m_channel);
        }
    }
    ResolverQuestion(const ResolverQuestion&) = delete;
    ResolverQuestion& operator=(const ResolverQuestion&) = delete;

    bool Done() const { return m_done; }
    const QStringList& Names() const { return m_names; }

    // The channel's sockets with what it waits for on each.
    void AddFds(std::vector<pollfd>& fds) const
    {
        if (m_done)
            return;
        ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
        const int bits = ares_getsock(m_channel, sockets, ARES_GETSOCK_MAXNUM);
        for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
            short events = 0;
            if (ARES_GETSOCK_READABLE(bits, i))
                events |= POLLIN;
            if (ARES_GETSOCK_WRITABLE(bits, i))
                events |= POLLOUT;
            if (events)
                fds.push_back({sockets[i], events, 0});
        }
    }

    void OnReady(const pollfd& fd)
    {
        if (m_done)
            return;
        const bool read = fd.revents & (POLLIN | POLLERR | POLLHUP);
        const bool write = fd.revents & POLLOUT;
        ares_process_fd(m_channel, read ? fd.fd : ARES_SOCKET_BAD, write ? fd.fd : ARES_SOCKET_BAD);
    }

private:
    static void OnHost(void* arg, int status, int, hostent* host)
    {
        auto* self = static_cast<ResolverQuestion*>(arg);
        if (self->m_destroying)
            return;
        self->m_done = true;
        if (status != ARES_SUCCESS || !host)
            return;
        auto add = [self](const char* name) {
            QString text = ReplaceControlChars(QString::fromUtf8(name));
            if (text.endsWith(u'.'))
                text.chop(1);
            if (text.size() > kMaxNameLength)
                text.truncate(kMaxNameLength);
            if (!text.isEmpty() && !self->m_names.contains(text, Qt::CaseInsensitive))
                self->m_names << text;
        };
        if (host->h_name)
            add(host->h_name);
        for (char** alias = host->h_aliases; alias && *alias; ++alias)
            add(*alias);
    }

    ares_channel m_channel = nullptr;
    bool m_done = true;
    bool m_destroying = false;
    QStringList m_names;
};

} // namespace

int QueryHostNamesOverUdp(ProbeResult& probe, int multicastIfIndex, std::chrono::milliseconds wait)
{
    const auto deadline = Clock::now() + wait;
    NetBiosQuestion netBios(probe);
    GroupQuestion mdns(probe.ip, kMdnsGroup, kMdnsPort, 255, multicastIfIndex);
    GroupQuestion llmnr(probe.ip, kLlmnrGroup, kLlmnrPort, 1, multicastIfIndex);
    ResolverQuestion resolver(probe.ip, wait);
    // Asked once the host has given its multicast DNS name: its addresses under it.
    std::optional<AddressQuestion> addresses;

    std::vector<pollfd> fds;
    for (;;) {
        const auto now = Clock::now();
        mdns.SendToGroupIfDue(now);
        llmnr.SendToGroupIfDue(now);
        if (!addresses && mdns.Done() && !mdns.Names().isEmpty())
            addresses.emplace(probe.ip, mdns.Names().front());
        fds.clear();
        if (!netBios.Done())
            fds.push_back({netBios.Fd(), POLLIN, 0});
        if (!mdns.Done())
            fds.push_back({mdns.Fd(), POLLIN, 0});
        if (!llmnr.Done())
            fds.push_back({llmnr.Fd(), POLLIN, 0});
        if (addresses && !addresses->Done())
            fds.push_back({addresses->Fd(), POLLIN, 0});
        const size_t groupFds = fds.size();
        resolver.AddFds(fds);
        if (fds.empty())
            break;
        // A worker runs below every other thread and may come back to this loop after
        // the deadline: what has arrived by then is still read, in one last look.
        const bool last = Clock::now() >= deadline;
        // Wake for a group query that falls due before the deadline.
        auto wake = deadline;
        for (const GroupQuestion* group : {&mdns, &llmnr})
            if (const auto due = group->GroupDue())
                wake = std::min(wake, *due);
        const auto timeout =
            last ? std::chrono::milliseconds(0)
                 : std::max<std::chrono::milliseconds>(
                       std::chrono::milliseconds(0),
                       std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()));
        const int ready = poll(fds.data(), fds.size(), int(timeout.count()));
        if (ready < 0 && errno == EINTR && !last)
            continue;
        if (ready <= 0) {
            if (ready < 0 || last || Clock::now() >= deadline)
                break;
            continue; // a group query is due
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            if (i >= groupFds)
                resolver.OnReady(fds[i]);
            else if (fds[i].fd == netBios.Fd())
                netBios.OnReady();
            else if (fds[i].fd == mdns.Fd())
                mdns.OnReady();
            else if (addresses && fds[i].fd == addresses->Fd())
                addresses->OnReady();
            else
                llmnr.OnReady();
        }
        if (last)
            break;
    }

    for (const QString& name : mdns.Names())
        AddOtherName(probe.otherNames, name, NameSource::Mdns);
    for (const QString& name : llmnr.Names())
        AddOtherName(probe.otherNames, name, NameSource::Llmnr);
    for (const QString& name : resolver.Names())
        AddOtherName(probe.otherNames, name, NameSource::Dns);
    if (addresses)
        for (const Ipv6Bytes& address : addresses->Addresses())
            AddIpv6Address(probe.ipv6, address);
    return netBios.Result();
}
