// lanvey-arp: the wire of the raw ARP path for a program that may not open packet
// sockets itself. Installed with the file capability CAP_NET_RAW (setcap
// cap_net_raw+ep), so any local user may run it: it trusts nothing it is told.
//
// It reads requests on standard input and writes replies on standard output
// (HelperRequest.h, HelperReply.h). At start it keeps CAP_NET_RAW alone, and once its
// sockets are open not even that. It is never dumpable, so no process of its own
// user can take the socket out of it (pidfd_getfd, ptrace, /proc/PID/fd) or read its
// memory: only root may inspect it. It sends ARP requests only from the
// interface's own MAC and one of its own addresses, only for addresses of that
// address's subnet, and never more than kCeilingRate a second. Asked to listen, it also
// passes on who sent each ARP frame on the interface, and sends nothing more for it.
// Asked to echo, it sends one ICMPv6 echo request to ff02::1 on the interface from one of
// the interface's own IPv6 addresses, at most two from an address in half a second, and
// passes on the replies to its own echoes with the MAC they came from; it sends nothing
// else, and nothing to a unicast IPv6 address. Every line it cannot take ends the session
// with an error. It ends with its parent, and at the end of its input. What to send when,
// and how often to ask again, is the program's business.

#include "helper/HelperReply.h"
#include "helper/HelperRequest.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <ifaddrs.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <map>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{

// At most 10,000 requests a second, one every 100 us: two and a half times the program's
// default rate (4,000/s, every request counted), the most a custom rate asks. That is
// about 6.7 Mbit/s of 84-byte broadcast frames, whatever the caller asks.
constexpr unsigned kCeilingRate = 10000;
// Requests waiting for their turn (an entry may be a range); input is not read while
// this many wait, so a caller that writes faster than the pace is held back.
constexpr std::size_t kMaxQueued = 4096;
constexpr int kExitFailed = 1;  // could not start: privileges, interface, socket
constexpr int kExitRefused = 2; // a request was refused

[[noreturn]] void Fail(int status, const std::string& text)
{
    // Both copies without control bytes: a terminal shows standard error.
    const std::string line = ErrorReplyLine(text);
    std::fprintf(stderr, "lanvey-arp: %s", line.c_str() + 6);
    [[maybe_unused]] const ssize_t written = write(STDOUT_FILENO, line.data(), line.size());
    std::_Exit(status);
}

// Where this program is, for the advice to set its capability; argv[0] is the caller's.
std::string OwnPath()
{
    char path[4096];
    const ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
    return size > 0 ? std::string(path, std::size_t(size)) : "lanvey-arp";
}

std::string SystemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// Permitted and effective sets to CAP_NET_RAW at most (nothing when `keepNetRaw` is
// false), inheritable and ambient empty.
bool LimitCapabilities(bool keepNetRaw)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    const std::uint32_t netRaw = keepNetRaw ? 1u << CAP_NET_RAW : 0;
    data[0].permitted &= netRaw;
    data[0].effective = data[0].permitted;
    data[0].inheritable = 0;
    data[1] = {};
    if (syscall(SYS_capset, &header, data) != 0)
        return false;
    return prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) == 0 || errno == EINVAL;
}

// A dumpable process of ours may be inspected by any process of the same user once our
// capabilities are gone, and the kernel leaves a program with file capabilities
// dumpable. Not dumpable, its /proc entries belong to root and every ptrace access
// check (attach, pidfd_getfd, process_vm_readv, /proc/PID/mem and fd) fails for others
// without CAP_SYS_PTRACE. The flag holds for life: it is reset only by an exec, which this
// program never does, or by a change of credentials to more, which it never makes.
void SealProcess()
{
    if (prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0 || prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 0)
        Fail(kExitFailed, SystemError("cannot make the process undumpable"));
    // No core file either: it would hold the socket's traffic.
    const rlimit none{0, 0};
    if (setrlimit(RLIMIT_CORE, &none) != 0)
        Fail(kExitFailed, SystemError("cannot turn off core files"));
}

void GiveUpPrivileges()
{
    SealProcess();
    // Set-user-ID would hand the caller a second identity; the capability is enough.
    if (getuid() != geteuid() || getgid() != getegid())
        Fail(kExitFailed, "must not be set-user-ID or set-group-ID; give it cap_net_raw+ep");
    if (!LimitCapabilities(true))
        Fail(kExitFailed, SystemError("cannot drop capabilities"));
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        Fail(kExitFailed, SystemError("cannot set no_new_privs"));
    // The kernel clears the parent-death signal when it starts a binary with file
    // capabilities, so it is set here; a parent gone meanwhile is seen at once, and one
    // gone before that has closed our input.
    const pid_t parent = getppid();
    if (prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0)
        Fail(kExitFailed, SystemError("cannot set the parent-death signal"));
    if (getppid() != parent)
        std::_Exit(kExitFailed);
}

struct Interface {
    int index = 0;
    HelperMac mac{};
    std::vector<HelperSubnet> subnets;
};

// The interface as the kernel has it now: up, Ethernet, ARP on, with IPv4 addresses.
Interface ReadInterface(const std::string& name)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        Fail(kExitFailed, SystemError("cannot read the interfaces"));
    Interface found;
    bool named = false;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || !entry->ifa_name)
            continue;
        const std::string entryName = entry->ifa_name;
        if (entry->ifa_addr->sa_family == AF_PACKET && entryName == name) {
            named = true;
            const auto* ll = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
            const unsigned flags = entry->ifa_flags;
            if ((flags & IFF_UP) && !(flags & (IFF_LOOPBACK | IFF_NOARP | IFF_POINTOPOINT)) &&
                ll->sll_hatype == ARPHRD_ETHER && ll->sll_halen == 6) {
                found.index = ll->sll_ifindex;
                std::copy(ll->sll_addr, ll->sll_addr + 6, found.mac.begin());
            }
        } else if (entry->ifa_addr->sa_family == AF_INET && entry->ifa_netmask &&
                   (entryName == name || entryName.rfind(name + ':', 0) == 0)) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            const auto* mask = reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask);
            found.subnets.push_back({ntohl(in->sin_addr.s_addr), ntohl(mask->sin_addr.s_addr)});
        }
    }
    freeifaddrs(list);
    if (!named)
        Fail(kExitFailed, "no interface " + name);
    if (!found.index)
        Fail(kExitFailed, name + " is not an Ethernet interface that is up and speaks ARP");
    if (found.subnets.empty())
        Fail(kExitFailed, name + " has no IPv4 address");
    return found;
}

// The interface's IPv6 addresses as the kernel has them now (they come and go).
std::vector<HelperIpv6> ReadIpv6Addresses(const std::string& name)
{
    std::vector<HelperIpv6> own;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return own;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next)
        if (entry->ifa_addr && entry->ifa_name && entry->ifa_addr->sa_family == AF_INET6 &&
            name == entry->ifa_name) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            HelperIpv6 address;
            std::memcpy(address.data(), &in6->sin6_addr, address.size());
            own.push_back(address);
        }
    freeifaddrs(list);
    return own;
}

// The IPv6 echo: a raw ICMPv6 socket that sends (the kernel adds the checksum and the
// link header) and takes nothing in, and a packet socket on the interface that takes
// only echo replies carrying our identifier, so that their sender's MAC is known.
struct EchoSockets {
    int send = -1;
    int receive = -1;
    std::uint16_t identifier = 0;
    bool Open() const { return send >= 0 && receive >= 0; }
};

// Both sockets, or none when the system has no IPv6 or refuses them: then an echo
// request is lost like a request the adapter does not take.
EchoSockets OpenEchoSockets(const Interface& link)
{
    EchoSockets echo;
    if (getrandom(&echo.identifier, sizeof echo.identifier, 0) != sizeof echo.identifier)
        echo.identifier = std::uint16_t(getpid());
    echo.send = socket(AF_INET6, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMPV6);
    if (echo.send < 0)
        return {};
    icmp6_filter none;
    ICMP6_FILTER_SETBLOCKALL(&none);
    const int hops = 1, loop = 0;
    const unsigned index = unsigned(link.index);
    echo.receive = socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    // From the IPv6 header: next header ICMPv6 (byte 6), an echo reply (byte 40) with our
    // identifier (bytes 44-45). Extension headers are not followed; echo replies carry none.
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 6),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, IPPROTO_ICMPV6, 0, 5),
        BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 40),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP6_ECHO_REPLY, 0, 3),
        BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 44),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, echo.identifier, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 128),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    const sock_fprog program{std::uint16_t(std::size(code)), code};
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_IPV6);
    address.sll_ifindex = link.index;
    if (echo.receive < 0 ||
        setsockopt(echo.send, IPPROTO_ICMPV6, ICMP6_FILTER, &none, sizeof none) != 0 ||
        setsockopt(echo.send, IPPROTO_IPV6, IPV6_MULTICAST_IF, &index, sizeof index) != 0 ||
        setsockopt(echo.send, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &hops, sizeof hops) != 0 ||
        setsockopt(echo.send, IPPROTO_IPV6, IPV6_MULTICAST_LOOP, &loop, sizeof loop) != 0 ||
        setsockopt(echo.receive, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0 ||
        bind(echo.receive, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(echo.send);
        if (echo.receive >= 0)
            close(echo.receive);
        return {};
    }
    return echo;
}

int OpenArpSocket(const Interface& link, const std::string& name)
{
    // Protocol 0 until bound, so that no ARP of other interfaces is queued in between.
    const int fd = socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 && (errno == EPERM || errno == EACCES))
        Fail(kExitFailed, std::string("no permission for a packet socket; run: sudo setcap "
                                      "cap_net_raw+ep ") +
                              OwnPath());
    if (fd < 0)
        Fail(kExitFailed, SystemError("cannot open a packet socket"));
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_ARP);
    address.sll_ifindex = link.index;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        Fail(kExitFailed, SystemError(("cannot bind to " + name).c_str()));
    return fd;
}

void PutU32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = std::uint8_t(value >> (24 - 8 * i));
}

// Who-has `target`, tell `from` at our MAC (RFC 826, without the Ethernet header):
//   0 htype 0001 | 2 ptype 0800 | 4 hlen 06 | 5 plen 04 | 6 op 0001
//   8 sender MAC | 14 sender IPv4 | 18 target MAC 0 | 24 target IPv4
void SendRequest(int fd, const Interface& link, std::uint32_t from, std::uint32_t target)
{
    std::uint8_t packet[28] = {0x00, 0x01, 0x08, 0x00, 6, 4, 0x00, 0x01};
    std::copy(link.mac.begin(), link.mac.end(), packet + 8);
    PutU32(packet + 14, from);
    PutU32(packet + 24, target);
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(ETH_P_ARP);
    to.sll_ifindex = link.index;
    to.sll_halen = 6;
    std::fill(to.sll_addr, to.sll_addr + 6, std::uint8_t(0xFF));
    // A request the adapter does not take is lost like one lost on the wire; the
    // program asks again.
    sendto(fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

std::uint64_t MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint64_t(now.tv_sec) * 1000000000u + std::uint64_t(now.tv_nsec);
}

// One echo request to ff02::1 on the interface from our address `from`.
void SendEcho(const EchoSockets& echo, const Interface& link, const HelperIpv6& from,
              std::uint16_t sequence)
{
    // Type, code, checksum (the kernel's), identifier, sequence, then eight bytes of ours.
    std::uint8_t packet[16] = {ICMP6_ECHO_REQUEST, 0, 0, 0};
    packet[4] = std::uint8_t(echo.identifier >> 8);
    packet[5] = std::uint8_t(echo.identifier);
    packet[6] = std::uint8_t(sequence >> 8);
    packet[7] = std::uint8_t(sequence);
    std::memcpy(packet + 8, "lanvey6", 8);
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_addr.s6_addr[0] = 0xFF;
    to.sin6_addr.s6_addr[1] = 0x02;
    to.sin6_addr.s6_addr[15] = 0x01;
    to.sin6_scope_id = std::uint32_t(link.index);
    // The source is chosen here: the kernel takes only an address the host has.
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in6_pktinfo))] = {};
    iovec data{packet, sizeof packet};
    msghdr message{};
    message.msg_name = &to;
    message.msg_namelen = sizeof to;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IPV6;
    header->cmsg_type = IPV6_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in6_pktinfo));
    in6_pktinfo info{};
    std::memcpy(&info.ipi6_addr, from.data(), from.size());
    info.ipi6_ifindex = unsigned(link.index);
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
    sendmsg(echo.send, &message, 0);
}

// Every reply to our echoes that has arrived, as answer6 lines. The filter let through
// only echo replies with our identifier; each is checked again here.
void ReadEchoReplies(const EchoSockets& echo, std::string* out)
{
    for (;;) {
        std::uint8_t buffer[128];
        sockaddr_ll sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t size = recvfrom(echo.receive, buffer, sizeof buffer, 0,
                                      reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (size < 0)
            return;
        const std::uint64_t received = MonotonicNs();
        if (sender.sll_pkttype != PACKET_HOST || sender.sll_halen != 6 || size < 48 ||
            buffer[0] >> 4 != 6 || buffer[6] != IPPROTO_ICMPV6 || buffer[40] != ICMP6_ECHO_REPLY ||
            buffer[41] != 0 || (buffer[44] << 8 | buffer[45]) != echo.identifier ||
            buffer[8] == 0xFF)
            continue;
        HelperIpv6 source;
        std::copy(buffer + 8, buffer + 24, source.begin());
        if (source == HelperIpv6{})
            continue;
        HelperMac mac{};
        std::copy(sender.sll_addr, sender.sll_addr + 6, mac.begin());
        *out += Answer6ReplyLine(source, mac, received);
    }
}

std::uint32_t GetU32(const std::uint8_t* at)
{
    return std::uint32_t(at[0]) << 24 | std::uint32_t(at[1]) << 16 | std::uint32_t(at[2]) << 8 |
           at[3];
}

// Every ARP reply to our MAC that has arrived, as reply lines; when `listening`, the
// sender of every ARP frame with a sender address too, as seen lines.
void ReadReplies(int fd, const Interface& link, bool listening, std::string* out)
{
    for (;;) {
        std::uint8_t buffer[256];
        sockaddr_ll sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t size = recvfrom(fd, buffer, sizeof buffer, 0,
                                      reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (size < 0)
            return;
        const std::uint64_t received = MonotonicNs();
        if (sender.sll_pkttype == PACKET_OUTGOING || size < 28)
            continue;
        static const std::uint8_t kArpHeader[6] = {0x00, 0x01, 0x08, 0x00, 6, 4};
        if (!std::equal(kArpHeader, kArpHeader + 6, buffer) || buffer[6] != 0 ||
            (buffer[7] != 1 && buffer[7] != 2))
            continue;
        HelperMac mac{};
        std::copy(buffer + 8, buffer + 14, mac.begin());
        const std::uint32_t senderIp = GetU32(buffer + 14);
        if (listening && senderIp != 0)
            *out += SeenReplyLine(senderIp, mac, received);
        if (buffer[7] == 2 && std::equal(link.mac.begin(), link.mac.end(), buffer + 18))
            *out += ArpReplyLine(senderIp, mac, GetU32(buffer + 24), received);
    }
}

void WriteAll(const std::string& text)
{
    // One write, so that a message socket carries whole lines.
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            std::_Exit(kExitFailed); // the program is gone
        done += std::size_t(written);
    }
}

// Appends what standard input holds (one message, when it is a message socket, whole);
// false at its end.
bool ReadInput(std::string* input)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        input->append(buffer, std::size_t(got));
        return true;
    }
}

// The next whole line of `input`, taken out of it.
std::optional<std::string> TakeLine(std::string* input)
{
    const std::size_t end = input->find('\n');
    if (end == std::string::npos) {
        if (input->size() >= kMaxRequestLine)
            Fail(kExitRefused, "line too long");
        return std::nullopt;
    }
    std::string line = input->substr(0, end);
    input->erase(0, end + 1);
    return line;
}

} // namespace

int main(int argc, char**)
{
    GiveUpPrivileges();
    std::signal(SIGPIPE, SIG_IGN);
    if (argc != 1)
        Fail(kExitRefused, "takes no arguments: requests come on standard input");

    std::string input;
    std::optional<std::string> firstLine;
    while (!(firstLine = TakeLine(&input)))
        if (!ReadInput(&input))
            return 0; // asked nothing
    const HelperRequestParse first = ParseHelperRequest(*firstLine);
    if (!first.request)
        Fail(kExitRefused, first.error);
    if (first.request->kind != HelperRequest::Kind::Link)
        Fail(kExitRefused, "the first request must be link");
    const std::string name = first.request->link;
    const Interface link = ReadInterface(name);
    const int fd = OpenArpSocket(link, name);
    const EchoSockets echo = OpenEchoSockets(link);
    // The open sockets are all the capability was for.
    if (!LimitCapabilities(false))
        Fail(kExitFailed, SystemError("cannot drop CAP_NET_RAW"));
    WriteAll(ReadyReplyLine(link.mac));

    std::deque<HelperRequest> queue;
    bool listening = false;
    std::uint64_t interval = 1000000000u / kCeilingRate;
    std::uint64_t nextSend = 0;
    // When each of our addresses sent its last echoes, for the limit on them.
    std::map<HelperIpv6, std::array<std::uint64_t, kMaxEchoesPerAddress>> echoed;
    std::uint16_t echoSequence = 0;
    auto takeEcho = [&](const HelperIpv6& from) {
        if (const std::string refusal = Echo6RefusalOf(from, ReadIpv6Addresses(name));
            !refusal.empty())
            Fail(kExitRefused, refusal);
        const std::uint64_t now = MonotonicNs(), window = kEchoWindowMs * 1000000ull;
        std::erase_if(echoed,
                      [&](const auto& entry) { return now - entry.second.back() > window; });
        auto& times = echoed[from];
        if (times.front() && now - times.front() <= window)
            return; // over the limit: lost
        if (!echo.Open())
            return; // no IPv6 here
        std::rotate(times.begin(), times.begin() + 1, times.end());
        times.back() = now;
        SendEcho(echo, link, from, ++echoSequence);
    };
    auto takeRequests = [&] {
        while (const std::optional<std::string> line = TakeLine(&input)) {
            const HelperRequestParse parsed = ParseHelperRequest(*line);
            if (!parsed.request)
                Fail(kExitRefused, parsed.error);
            const HelperRequest& request = *parsed.request;
            if (request.kind == HelperRequest::Kind::Link)
                Fail(kExitRefused, "link may be given only once");
            if (request.kind == HelperRequest::Kind::Listen) {
                listening = true;
                continue;
            }
            if (request.kind == HelperRequest::Kind::Echo6) {
                takeEcho(request.from6);
                continue;
            }
            if (request.kind == HelperRequest::Kind::Rate) {
                interval = 1000000000u / std::min(request.rate, kCeilingRate);
                continue;
            }
            if (const std::string refusal = RefusalOf(request, link.subnets); !refusal.empty())
                Fail(kExitRefused, refusal);
            queue.push_back(request);
        }
    };
    takeRequests();
    for (;;) {
        std::uint64_t now = MonotonicNs();
        if (!queue.empty() && now >= nextSend) {
            HelperRequest& ask = queue.front();
            SendRequest(fd, link, ask.from, ask.first);
            if (ask.first == ask.last)
                queue.pop_front();
            else
                ++ask.first;
            // Late or not, the next one waits a whole interval.
            nextSend = now + interval;
        }

        pollfd fds[3] = {{fd, POLLIN, 0}, {echo.receive, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const nfds_t count = queue.size() < kMaxQueued ? 3 : 2;
        timespec wait{};
        timespec* timeout = nullptr;
        if (!queue.empty()) {
            now = MonotonicNs();
            const std::uint64_t left = nextSend > now ? nextSend - now : 0;
            wait.tv_sec = time_t(left / 1000000000u);
            wait.tv_nsec = long(left % 1000000000u);
            timeout = &wait;
        }
        if (ppoll(fds, count, timeout, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            Fail(kExitFailed, SystemError("poll"));
        }
        std::string out;
        if (fds[0].revents & (POLLIN | POLLERR))
            ReadReplies(fd, link, listening, &out);
        if (fds[1].revents & (POLLIN | POLLERR))
            ReadEchoReplies(echo, &out);
        if (!out.empty())
            WriteAll(out);
        if (count < 3 || !(fds[2].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        if (!ReadInput(&input))
            return 0; // the program has closed its end, or is gone
        takeRequests();
    }
}
