// The host probe against a real link: each test builds two private network namespaces,
// "scanner" (a child of the test process) and "host", joined by a veth pair in
// 198.19.200.0/24, and runs the probe in the scanner. Nothing leaves the namespaces, and
// they vanish with their processes. Needs root; with CI=true a missing root fails.

#include "ChildProcessTestUtil.h"
#include "TestDataFile.h"
#include "TestPrinters.h"
#include "scan/ArpPacket.h"
#include "scan/HostProbe.h"
#include "scan/NetBiosNames.h"
#include "support/AddressText.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <linux/capability.h>
#include <linux/if_ether.h>
#include <linux/if_link.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr quint32 Lab(quint8 last)
{
    return quint32(198) << 24 | quint32(19) << 16 | quint32(200) << 8 | last;
}
constexpr quint32 kScanner = Lab(1);
constexpr quint32 kHost = Lab(2);        // nothing listens on its port 137
constexpr quint32 kSilentHost = Lab(3);  // a socket bound to port 137 that never answers
constexpr quint32 kNetBiosHost = Lab(4); // answers the node-status request
constexpr quint32 kAbsent = Lab(9);      // in the subnet, nobody there
constexpr quint32 kOffLink = (quint32(198) << 24) | (quint32(19) << 16) | (201u << 8) | 5;
const QString kScannerMac = QStringLiteral("02:00:5E:C8:00:01");
const QString kHostMac = QStringLiteral("02:00:5E:C8:00:02");
constexpr auto kNetBiosReplyDelay = 10ms;

// What a scanner-side step saw; sent frames are those of the scanner's adapter meanwhile.
struct Outcome {
    bool found = false;
    QString mac;
    qint64 ms = 0;
    qint64 sent = 0;
    int result = 0;
    QString text;
    QString text2;
};

QDataStream& operator<<(QDataStream& out, const Outcome& o)
{
    return out << o.found << o.mac << o.ms << o.sent << o.result << o.text << o.text2;
}

QDataStream& operator>>(QDataStream& in, Outcome& o)
{
    return in >> o.found >> o.mac >> o.ms >> o.sent >> o.result >> o.text >> o.text2;
}

void PrintTo(const Outcome& o, std::ostream* os)
{
    *os << "{found " << o.found << ", mac " << o.mac.toStdString() << ", " << o.ms << " ms, sent "
        << o.sent << ", result " << o.result << ", " << o.text.toStdString() << "}";
}

bool WriteFile(const char* path, const char* text)
{
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = write(fd, text, strlen(text)) == ssize_t(strlen(text));
    close(fd);
    return ok;
}

bool Shell(const QString& command)
{
    return std::system(command.toLocal8Bit().constData()) == 0;
}

// Frames the adapter has sent, from the link statistics getifaddrs hands out.
qint64 SentFrames(const char* name)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return -1;
    qint64 frames = -1;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next)
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_PACKET && entry->ifa_data &&
            strcmp(entry->ifa_name, name) == 0)
            frames = static_cast<const rtnl_link_stats*>(entry->ifa_data)->tx_packets;
    freeifaddrs(list);
    return frames;
}

bool AdapterRunning(const char* name)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool running = false;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next)
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_PACKET &&
            strcmp(entry->ifa_name, name) == 0)
            running = entry->ifa_flags & IFF_RUNNING;
    freeifaddrs(list);
    return running;
}

// The host side: a silent socket on .3:137 and a node-status responder on .4:137 that
// answers the exact request with the recorded nmbd reply.
[[noreturn]] void ServeHost(int ready, int control)
{
    const QByteArray request = ReadDataFile("nbstat_request.bin");
    const QByteArray reply = ReadDataFile("nbstat_reply_nmbd.bin");
    const auto bound = [](quint32 address) {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(kNetBiosNamePort);
        local.sin_addr.s_addr = htonl(address);
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
            _exit(3);
        return fd;
    };
    [[maybe_unused]] const int silent = bound(kSilentHost);
    const int responder = bound(kNetBiosHost);
    if (write(ready, "r", 1) != 1)
        _exit(4);
    pollfd fds[2] = {{responder, POLLIN, 0}, {control, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            _exit(0); // the scanner has finished
        if (fds[0].revents & POLLIN) {
            char buffer[1024];
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t size = recvfrom(responder, buffer, sizeof buffer, 0,
                                          reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (size == request.size() && memcmp(buffer, request.constData(), size) == 0) {
                std::this_thread::sleep_for(kNetBiosReplyDelay);
                sendto(responder, reply.constData(), reply.size(), 0,
                       reinterpret_cast<sockaddr*>(&from), fromSize);
            }
        }
    }
}

bool DisableIpv6()
{
    // IPv6 housekeeping (router solicitations, DAD) would add frames to the counts.
    WriteFile("/proc/sys/net/ipv6/conf/all/disable_ipv6", "1");
    WriteFile("/proc/sys/net/ipv6/conf/default/disable_ipv6", "1");
    return true;
}

class LabNet
{
public:
    pid_t hostPid = 0;

    // Runs `command` inside the host namespace.
    bool InHost(const QString& command) const
    {
        return Shell(QStringLiteral("nsenter -t %1 -n sh -c '%2'").arg(hostPid).arg(command));
    }
};

using LabBody = std::function<std::vector<Outcome>(LabNet&)>;

// In the scanner child: builds both namespaces, runs `body`, returns its outcomes or a
// setup error.
QByteArray ScannerMain(const LabBody& body)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    const auto failed = [&](const char* what) {
        out << QString::fromUtf8(what) << QList<Outcome>();
        return bytes;
    };
    if (unshare(CLONE_NEWNET) != 0)
        return failed("unshare(CLONE_NEWNET) failed");
    DisableIpv6();
    int toHost[2];
    int fromHost[2];
    if (pipe2(toHost, O_CLOEXEC) != 0 || pipe2(fromHost, O_CLOEXEC) != 0)
        return failed("pipe failed");
    LabNet lab;
    lab.hostPid = fork();
    if (lab.hostPid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        close(toHost[1]);
        close(fromHost[0]);
        if (unshare(CLONE_NEWNET) != 0)
            _exit(2);
        DisableIpv6();
        char go = 0;
        if (write(fromHost[1], "n", 1) != 1 || read(toHost[0], &go, 1) != 1)
            _exit(2);
        ServeHost(fromHost[1], toHost[0]);
    }
    close(toHost[0]);
    close(fromHost[1]);
    char signal = 0;
    if (read(fromHost[0], &signal, 1) != 1)
        return failed("host namespace not made");

    // No IPv6 on the scanner's side: these tests count the frames it sends, and the
    // frames a new IPv6 link sends itself (and a scan's IPv6 echoes) are no ARP.
    const bool linked =
        Shell(QStringLiteral("sysctl -qw net.ipv6.conf.all.disable_ipv6=1 "
                             "net.ipv6.conf.default.disable_ipv6=1 && "
                             "ip link set lo up && ip link add lvpa address %1 type veth peer name "
                             "lvpb address %2 netns %3 && ip addr add 198.19.200.1/24 dev lvpa && "
                             "ip link set lvpa up")
                  .arg(kScannerMac, kHostMac)
                  .arg(lab.hostPid)) &&
        lab.InHost(QStringLiteral("ip link set lo up && ip addr add 198.19.200.2/24 dev lvpb && "
                                  "ip addr add 198.19.200.3/24 dev lvpb && ip addr add "
                                  "198.19.200.4/24 dev lvpb && ip link set lvpb up"));
    if (!linked)
        return failed("veth setup failed");
    if (write(toHost[1], "g", 1) != 1 || read(fromHost[0], &signal, 1) != 1 || signal != 'r')
        return failed("host services did not start");
    for (int i = 0; i < 200 && !AdapterRunning("lvpa"); ++i)
        std::this_thread::sleep_for(5ms);

    const std::vector<Outcome> outcomes = body(lab);
    out << QString() << QList<Outcome>(outcomes.begin(), outcomes.end());
    close(toHost[1]);
    waitpid(lab.hostPid, nullptr, 0);
    return bytes;
}

struct LabRun {
    QString error;
    std::vector<Outcome> outcomes;
};

LabRun RunInLab(const LabBody& body)
{
    LabRun run;
    const ChildOutput scanner = InChildBytes([&body] { return ScannerMain(body); });
    QDataStream in(scanner.bytes);
    QList<Outcome> outcomes;
    in >> run.error >> outcomes;
    run.outcomes.assign(outcomes.begin(), outcomes.end());
    if (scanner.bytes.isEmpty())
        run.error = QStringLiteral("scanner process ended without a result (status %1)")
                        .arg(scanner.status);
    return run;
}

// Every outcome of a run, attached to each failure of the test.
std::string Describe(const LabRun& run)
{
    std::string text = "outcomes:";
    for (std::size_t i = 0; i < run.outcomes.size(); ++i)
        text += "\n  [" + std::to_string(i) + "] " + testing::PrintToString(run.outcomes[i]);
    return text;
}

#define REQUIRE_LAB()                                                                              \
    do {                                                                                           \
        if (geteuid() != 0) {                                                                      \
            if (qgetenv("CI") == "true")                                                           \
                FAIL() << "lab tests need root, and CI must run them";                             \
            GTEST_SKIP() << "lab tests need root";                                                 \
        }                                                                                          \
    } while (false)

Outcome Resolve(HostProbe& probe, quint32 address)
{
    Outcome outcome;
    const qint64 before = SentFrames("lvpa");
    const auto start = Clock::now();
    quint64 mac = 0;
    outcome.found = probe.ResolveMacAddress(address, &mac);
    outcome.ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    outcome.sent = SentFrames("lvpa") - before;
    if (outcome.found)
        outcome.mac = FormatMacAddress(mac);
    return outcome;
}

Outcome Text(const QString& text)
{
    Outcome outcome;
    outcome.text = text;
    return outcome;
}

// Resolves `addresses` from one thread each, as the workers do.
std::vector<Outcome> ResolveInParallel(HostProbe& probe, const std::vector<quint32>& addresses)
{
    std::vector<Outcome> outcomes(addresses.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < addresses.size(); ++i)
        threads.emplace_back([&, i] { outcomes[i] = Resolve(probe, addresses[i]); });
    for (std::thread& thread : threads)
        thread.join();
    return outcomes;
}

void SetNeighbourTiming()
{
    // Short kernel timers so the kernel path's verdicts come within a test's time.
    WriteFile("/proc/sys/net/ipv4/neigh/lvpa/retrans_time_ms", "200");
    WriteFile("/proc/sys/net/ipv4/neigh/lvpa/ucast_solicit", "2");
    WriteFile("/proc/sys/net/ipv4/neigh/lvpa/delay_first_probe_time", "1");
}

// A probe that lets the kernel resolve, with the short timers above.
std::unique_ptr<HostProbe> KernelPathProbe()
{
    SetNeighbourTiming();
    HostProbeOptions options;
    options.forceKernelPath = true;
    return CreateSystemHostProbe(options);
}

TEST(ResolverLab, RawSocketFindsAHostAndAsksAgainEachTime)
{
    REQUIRE_LAB();
    const LabRun run = RunInLab([](LabNet&) {
        auto probe = CreateSystemHostProbe();
        return std::vector<Outcome>{Text(probe->Description()), Resolve(*probe, kHost),
                                    Resolve(*probe, kHost)};
    });
    SCOPED_TRACE(Describe(run));
    ASSERT_EQ(run.error, QString());
    ASSERT_EQ(run.outcomes.size(), 3u);
    EXPECT_EQ(run.outcomes[0].text, QStringLiteral("raw ARP socket on lvpa"));
    for (const Outcome& asked : {run.outcomes[1], run.outcomes[2]}) {
        EXPECT_TRUE(asked.found) << testing::PrintToString(asked);
        EXPECT_EQ(asked.mac, kHostMac);
        EXPECT_LT(asked.ms, 100);
        EXPECT_EQ(asked.sent, 1) << "one request, answered before the repeat";
    }
}

TEST(ResolverLab, AWindowsWorkersYieldToEveryThreadAndLanveyScansOnlyToNice)
{
    REQUIRE_LAB();
    const LabRun run = RunInLab([](LabNet&) {
        std::vector<Outcome> outcomes;
        for (const bool idle : {true, false}) {
            HostProbeOptions options;
            options.idleWorkers = idle;
            auto probe = CreateSystemHostProbe(options);
            int policy = -1, nice = 0;
            std::thread([&] {
                probe->WorkerStarting();
                policy = sched_getscheduler(0);
                nice = getpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)));
            }).join();
            outcomes.push_back(Text(QStringLiteral("%1 %2")
                                        .arg(policy == SCHED_IDLE    ? "idle"
                                             : policy == SCHED_OTHER ? "normal"
                                                                     : "other")
                                        .arg(nice)));
        }
        // The thread that made the probes (the UI thread) keeps its priority.
        outcomes.push_back(Text(QString::number(sched_getscheduler(0))));
        return outcomes;
    });
    SCOPED_TRACE(Describe(run));
    ASSERT_EQ(run.error, QString());
    ASSERT_EQ(run.outcomes.size(), 3u);
    EXPECT_EQ(run.outcomes[0].text, QStringLiteral("idle 0"));
    EXPECT_EQ(run.outcomes[1].text, QStringLiteral("normal 10"));
    EXPECT_EQ(run.outcomes[2].text, QString::number(SCHED_OTHER));
}

TEST(ResolverLab, RawSocketGivesUpOnAnAbsentAddressAfter750ms)
{
    REQUIRE_LAB();
    const LabRun run = RunInLab([](LabNet&) {
        auto probe = CreateSystemHostProbe();
        std::vector<Outcome> outcomes{Resolve(*probe, kAbsent)};
        // Twenty workers at once, each with its own absent address.
        std::vector<quint32> many;
        for (quint8 last = 100; last < 120; ++last)
            many.push_back(Lab(last));
        const auto start = Clock::now();
        const std::vector<Outcome> parallel = ResolveInParallel(*probe, many);
        Outcome all;
        all.ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        for (const Outcome& one : parallel)
            all.found = all.found || one.found;
        outcomes.push_back(all);
        return outcomes;
    });
    SCOPED_TRACE(Describe(run));
    ASSERT_EQ(run.error, QString());
    ASSERT_EQ(run.outcomes.size(), 2u);
    const Outcome& absent = run.outcomes[0];
    EXPECT_FALSE(absent.found);
    // Bounds are loose enough for a loaded CI machine, tight enough to tell 750 ms from
    // the next whole second.
    EXPECT_GE(absent.ms, 745);
    EXPECT_LT(absent.ms, 1000);
    EXPECT_EQ(absent.sent, 2) << "a request and one repeat";
    EXPECT_FALSE(run.outcomes[1].found);
    EXPECT_LT(run.outcomes[1].ms, 1500) << "the waits overlap";
}

TEST(ResolverLab, OwnAndOffLinkAddressesAreAnsweredWithoutTheWire)
{
    REQUIRE_LAB();
    const LabRun run = RunInLab([](LabNet&) {
        std::vector<Outcome> outcomes;
        for (const bool kernel : {false, true}) {
            HostProbeOptions options;
            options.forceKernelPath = kernel;
            auto probe = CreateSystemHostProbe(options);
            outcomes.push_back(Resolve(*probe, kScanner));
            outcomes.push_back(Resolve(*probe, kOffLink));
            outcomes.push_back(Resolve(*probe, Lab(0) - 1)); // 198.19.199.255
        }
        return outcomes;
    });
    SCOPED_TRACE(Describe(run));
    ASSERT_EQ(run.error, QString());
    ASSERT_EQ(run.outcomes.size(), 6u);
    for (int path = 0; path < 2; ++path) {
        const Outcome& own = run.outcomes[3 * path];
        EXPECT_TRUE(own.found) << "path " << path;
        EXPECT_EQ(own.mac, kScannerMac);
        for (const Outcome& outcome :
             {own, run.outcomes[3 * path + 1], run.outcomes[3 * path + 2]}) {
            EXPECT_EQ(outcome.sent, 0) << testing::PrintToString(outcome);
            EXPECT_LT(outcome.ms, 100) << testing::PrintToString(outcome);
        }
        EXPECT_FALSE(run.outcomes[3 * path + 1].found);
        EXPECT_FALSE(run.outcomes[3 * path + 2].found);
    }
}

ArpPacket ArpFrom(quint16 operation, const MacBytes& senderMac, quint32 senderIp,
                  const MacBytes& targetMac, quint32 targetIp)
{
    ArpPacket packet = BuildArpRequest(senderMac, senderIp, targetIp);
    packet[7] = quint8(operation);
    std::copy(targetMac.begin(), targetMac.end(), packet.begin() + 18);
    return packet;
}

// Broadcasts `packets` on the host's adapter from a child that joins the host namespace.
bool SendFromHost(const LabNet& lab, const std::vector<ArpPacket>& packets)
{
    const QByteArray nsPath = QStringLiteral("/proc/%1/ns/net").arg(lab.hostPid).toLocal8Bit();
    const pid_t sender = fork();
    if (sender == 0) {
        const int ns = open(nsPath.constData(), O_RDONLY | O_CLOEXEC);
        if (ns < 0 || setns(ns, CLONE_NEWNET) != 0)
            _exit(1);
        const int fd = socket(AF_PACKET, SOCK_DGRAM, htons(ETH_P_ARP));
        sockaddr_ll to{};
        to.sll_family = AF_PACKET;
        to.sll_protocol = htons(ETH_P_ARP);
        to.sll_ifindex = int(if_nametoindex("lvpb"));
        to.sll_halen = 6;
        std::fill(to.sll_addr, to.sll_addr + 6, quint8(0xFF));
        for (const ArpPacket& packet : packets)
            if (sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to),
                       sizeof to) != ssize_t(packet.size()))
                _exit(2);
        _exit(0);
    }
    int status = -1;
    waitpid(sender, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(ResolverLab, RawSocketTakesOnlyARealAnswer)
{
    REQUIRE_LAB();
    const LabRun run = RunInLab([](LabNet& lab) {
        auto probe = CreateSystemHostProbe();
        const MacBytes scanner = {0x02, 0x00, 0x5E, 0xC8, 0x00, 0x01};
        const MacBytes impostor = {0x02, 0x00, 0x5E, 0xC8, 0x00, 0x66};
        const MacBytes genuine = {0x02, 0x00, 0x5E, 0xC8, 0x00, 0x77};
        const MacBytes elsewhere = {0x02, 0x00, 0x5E, 0xC8, 0x00, 0x55};
        const MacBytes broadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        const std::vector<ArpPacket> noise = {
            ArpFrom(kArpRequest, impostor, kAbsent, {}, kScanner),      // asks about us
            ArpFrom(kArpReply, impostor, kAbsent, elsewhere, kScanner), // other adapter
            ArpFrom(kArpReply, impostor, kAbsent, scanner, Lab(7)),     // other address
            ArpFrom(kArpReply, impostor, kAbsent, broadcast, kAbsent),  // gratuitous
            ArpFrom(kArpReply, impostor, Lab(10), scanner, kScanner),   // another sender
            // Well addressed, from a MAC no adapter has.
            ArpFrom(kArpReply, {}, kAbsent, scanner, kScanner),
            ArpFrom(kArpReply, broadcast, kAbsent, scanner, kScanner),
            ArpFrom(kArpReply, {0x01, 0x00, 0x5E, 0x00, 0x00, 0xFB}, kAbsent, scanner, kScanner),
        };
        Outcome outcome;
        std::thread worker([&] { outcome = Resolve(*probe, kAbsent); });
        std::this_thread::sleep_for(50ms);
        Outcome sent;
        sent.found = SendFromHost(lab, noise);
        std::this_thread::sleep_for(50ms);
        sent.found = sent.found &&
                     SendFromHost(lab, {ArpFrom(kArpReply, genuine, kAbsent, scanner, kScanner)});
        worker.join();
        outcome.text = probe->ScanSummary();
        return std::vector<Outcome>{sent, outcome};
    });
    SCOPED_TRACE(Describe(run));
    ASSERT_EQ(run.error, QString());
    ASSERT_EQ(run.outcomes.size(), 2u);
    ASSERT_TRUE(run.outcomes[0].found) << "could not send from the host";
    EXPECT_TRUE(run.outcomes[1].found);
    EXPECT_EQ(run.outcomes[1].mac, QStringLiteral("02:00:5E:C8:00:77"));
    // The worker's clock starts when its thread runs, a little after the sender's.
    EXPECT_GE(run.outcomes[1].ms, 70) << "the noise did not end the wait";
    EXPECT_LT(run.outcomes[1].ms, 250) << "answered before the repeat";
    EXPECT_TRUE(run.outcomes[1].text.contains(QStringLiteral("3 replies ignored")))
        << run.outcomes[1].text.toStdString();
}

TEST(ResolverLab, RawSocketNeverAnswersFromTheKernelCache)
{
    REQUIRE_LAB();
    const LabRun run = RunInLab([](LabNet& lab) {
        auto probe = CreateSystemHostProbe();
        Shell(
            QStringLiteral("ip neigh replace 198.19.200.9 lladdr 02:00:5e:c8:00:99 nud permanent "
                           "dev lvpa && ip neigh replace 198.19.200.2 lladdr %1 nud permanent dev "
                           "lvpa")
                .arg(kHostMac));
        std::vector<Outcome> outcomes{Resolve(*probe, kAbsent), Resolve(*probe, kHost)};
        // The host leaves; the permanent entry stays, the answer does not.
        lab.InHost(QStringLiteral("ip addr del 198.19.200.2/24 dev lvpb"));
        outcomes.push_back(Resolve(*probe, kHost));
        return outcomes;
    });
    SCOPED_TRACE(Describe(run));
    ASSERT_EQ(run.error, QString());
    ASSERT_EQ(run.outcomes.size(), 3u);
    EXPECT_FALSE(run.outcomes[0].found);
    EXPECT_EQ(run.outcomes[0].sent, 2);
    EXPECT_TRUE(run.outcomes[1].found);
    EXPECT_FALSE(run.outcomes[2].found);
    EXPECT_EQ(run.outcomes[2].sent, 2);
}

// A cursor over [first, last] as the scan job keeps it.
struct TestCursor {
    std::atomic<quint32> next;
    quint32 last;
    std::atomic<bool> stop{false};
    UpcomingAddressesFn Function()
    {
        return [this]() -> std::optional<UpcomingAddresses> {
            const quint32 at = next.load();
            if (stop || at > last)
                return std::nullopt;
            return UpcomingAddresses{at, last};
        };
    }
};

TEST(ResolverLab, AnswersAskedAheadWaitForTheWorkers)
{
    REQUIRE_LAB();
    const LabRun run = RunInLab([](LabNet&) {
        auto probe = CreateSystemHostProbe();
        TestCursor cursor{kScanner, Lab(12)};
        const qint64 before = SentFrames("lvpa");
        probe->ScanStarting(cursor.Function());
        std::this_thread::sleep_for(900ms); // every verdict is in after 750 ms
        Outcome ahead;
        ahead.sent = SentFrames("lvpa") - before;
        std::vector<Outcome> outcomes{ahead};
        for (quint32 address = kScanner; address <= Lab(12); ++address) {
            cursor.next = address + 1;
            outcomes.push_back(Resolve(*probe, address));
        }
        probe->ScanEnded();
        // After the scan nothing is remembered: the host is asked on the wire again.
        outcomes.push_back(Resolve(*probe, kHost));
        return outcomes;
    });
    SCOPED_TRACE(Describe(run));
    ASSERT_EQ(run.error, QString());
    ASSERT_EQ(run.outcomes.size(), 14u);
    // Own address skipped; .2 to .4 answer the first request; .5 to .12 get a repeat.
    EXPECT_EQ(run.outcomes[0].sent, 3 + 8 * 2);
    for (quint32 i = 1; i <= 12; ++i) {
        const Outcome& worker = run.outcomes[i];
        EXPECT_EQ(worker.found, i <= 4) << "address ." << i;
        EXPECT_EQ(worker.sent, 0) << "address ." << i;
        EXPECT_LT(worker.ms, 100) << "address ." << i; // not 750 ms
    }
    EXPECT_EQ(run.outcomes[2].mac, kHostMac);
    EXPECT_TRUE(run.outcomes[13].found);
    EXPECT_EQ(run.outcomes[13].sent, 1);
}

TEST(ResolverLab, AskingAheadIsPacedAndEndsWithTheStop)
{
    REQUIRE_LAB();
    const LabRun run = RunInLab([](LabNet&) {
        HostProbeOptions options;
        options.aheadRate = 20;
        auto probe = CreateSystemHostProbe(options);
        TestCursor cursor{Lab(100), Lab(199)};
        const qint64 start = SentFrames("lvpa");
        probe->ScanStarting(cursor.Function());
        std::this_thread::sleep_for(1000ms);
        Outcome paced;
        paced.sent = SentFrames("lvpa") - start;
        cursor.stop = true;
        // A worker's own request takes its turn in the pace of the rate given.
        Outcome worker = Resolve(*probe, Lab(190));
        std::this_thread::sleep_for(800ms);
        Outcome stopped;
        stopped.sent = SentFrames("lvpa") - start - paced.sent;
        probe->ScanEnded();

        // A scan told to stop before it starts sends nothing ahead.
        TestCursor halted{Lab(100), Lab(199)};
        halted.stop = true;
        const qint64 before = SentFrames("lvpa");
        probe->ScanStarting(halted.Function());
        std::this_thread::sleep_for(300ms);
        probe->ScanEnded();
        Outcome none;
        none.sent = SentFrames("lvpa") - before;
        return std::vector<Outcome>{paced, worker, stopped, none};
    });
    SCOPED_TRACE(Describe(run));
    ASSERT_EQ(run.error, QString());
    ASSERT_EQ(run.outcomes.size(), 4u);
    // 20 requests in the second, first requests and repeats alike.
    EXPECT_GE(run.outcomes[0].sent, 17);
    EXPECT_LE(run.outcomes[0].sent, 21);
    EXPECT_FALSE(run.outcomes[1].found);
    EXPECT_GE(run.outcomes[1].ms, 745);
    EXPECT_LT(run.outcomes[1].ms, 1300) << "its turn, then the give-up";
    // After the stop only the worker's two requests and the repeats still due went out.
    const qint64 afterStop = run.outcomes[2].sent - 2;
    EXPECT_GE(afterStop, 0);
    EXPECT_LE(afterStop, 7);
    EXPECT_EQ((run.outcomes[0].sent + afterStop) % 2, 0)
        << "each address asked ahead got exactly one repeat";
    EXPECT_EQ(run.outcomes[3].sent, 0);
}

TEST(ResolverLab, AStopEndsEveryWaitAtOnceOnBothPaths)
{
    REQUIRE_LAB();
    const LabRun run = RunInLab([](LabNet&) {
        std::vector<Outcome> outcomes;
        for (const bool kernel : {false, true}) {
            std::unique_ptr<HostProbe> probe;
            if (kernel) {
                probe = KernelPathProbe();
            } else {
                probe = CreateSystemHostProbe();
            }
            TestCursor cursor{Lab(100), Lab(199)};
            probe->ScanStarting(cursor.Function());
            outcomes.push_back(Resolve(*probe, kHost));
            // A worker waits for an absent address; the stop comes 100 ms into its wait.
            Outcome waiting;
            std::thread worker([&] { waiting = Resolve(*probe, kAbsent); });
            std::this_thread::sleep_for(100ms);
            cursor.stop = true;
            probe->ScanStopping();
            worker.join();
            outcomes.push_back(waiting);
            // After the stop a new address is not even asked.
            const qint64 before = SentFrames("lvpa");
            Outcome late = Resolve(*probe, Lab(50));
            std::this_thread::sleep_for(50ms);
            late.sent = SentFrames("lvpa") - before;
            outcomes.push_back(late);
            probe->ScanEnded();
            // Once the scan has ended, addresses are asked again.
            outcomes.push_back(Resolve(*probe, kHost));
        }
        return outcomes;
    });
    SCOPED_TRACE(Describe(run));
    ASSERT_EQ(run.error, QString());
    ASSERT_EQ(run.outcomes.size(), 8u);
    for (int path = 0; path < 2; ++path) {
        SCOPED_TRACE(path == 0 ? "raw path" : "kernel path");
        const Outcome* o = &run.outcomes[size_t(4 * path)];
        EXPECT_TRUE(o[0].found);
        EXPECT_FALSE(o[1].found);
        // Without the stop: 750 ms on the raw path, 600 ms for the kernel's verdict.
        // The worker's clock starts when its thread runs, which can be some ms after
        // the stop's clock: the wait is only held to have lasted well past nothing.
        EXPECT_GE(o[1].ms, 50);
        EXPECT_LT(o[1].ms, 400);
        EXPECT_FALSE(o[2].found);
        EXPECT_LT(o[2].ms, 50);
        EXPECT_EQ(o[2].sent, 0);
        EXPECT_TRUE(o[3].found);
        EXPECT_EQ(o[3].mac, kHostMac);
    }
}

TEST(ResolverLab, KernelPathFindsTheHostAndWaitsForFreshVerdicts)
{
    REQUIRE_LAB();
    const LabRun run = RunInLab([](LabNet&) {
        auto probe = KernelPathProbe();
        std::vector<Outcome> outcomes{Text(probe->Description()), Resolve(*probe, kHost),
                                      Resolve(*probe, kAbsent)};
        // A stale entry is checked again by the kernel before it counts: the absent
        // address is not found, the present host is.
        Shell(QStringLiteral("ip neigh replace 198.19.200.9 lladdr 02:00:5e:c8:00:99 nud stale dev "
                             "lvpa && ip neigh replace 198.19.200.2 lladdr %1 nud stale dev lvpa")
                  .arg(kHostMac));
        outcomes.push_back(Resolve(*probe, kAbsent));
        outcomes.push_back(Resolve(*probe, kHost));
        std::vector<quint32> many;
        for (quint8 last = 100; last < 110; ++last)
            many.push_back(Lab(last));
        many.push_back(kHost);
        for (const Outcome& one : ResolveInParallel(*probe, many))
            outcomes.push_back(one);
        return outcomes;
    });
    SCOPED_TRACE(Describe(run));
    ASSERT_EQ(run.error, QString());
    ASSERT_EQ(run.outcomes.size(), 16u);
    EXPECT_TRUE(run.outcomes[0].text.startsWith(QStringLiteral("kernel neighbour resolution")));
    EXPECT_TRUE(run.outcomes[1].found);
    EXPECT_EQ(run.outcomes[1].mac, kHostMac);
    // Three broadcast probes 200 ms apart, then the kernel's FAILED verdict.
    EXPECT_FALSE(run.outcomes[2].found);
    EXPECT_GE(run.outcomes[2].ms, 400);
    EXPECT_LT(run.outcomes[2].ms, 1500) << "the verdict, not the safety deadline";
    // Stale: 1 s delay, two unicast probes.
    EXPECT_FALSE(run.outcomes[3].found);
    EXPECT_GE(run.outcomes[3].ms, 900);
    EXPECT_LT(run.outcomes[3].ms, 2500);
    EXPECT_TRUE(run.outcomes[4].found);
    EXPECT_EQ(run.outcomes[4].mac, kHostMac);
    for (int i = 5; i < 15; ++i)
        EXPECT_FALSE(run.outcomes[i].found) << testing::PrintToString(run.outcomes[i]);
    EXPECT_TRUE(run.outcomes[15].found);
}

TEST(ResolverLab, KernelPathStartsResolutionsAheadOfTheWorkers)
{
    REQUIRE_LAB();
    const LabRun run = RunInLab([](LabNet&) {
        auto probe = KernelPathProbe();
        // Twenty absent addresses and the host, asked one after another by a single
        // worker: without starting ahead each absent one would cost a whole resolution.
        TestCursor cursor{Lab(100), Lab(120)};
        probe->ScanStarting(cursor.Function());
        std::vector<quint32> addresses;
        for (quint32 address = Lab(100); address <= Lab(120); ++address)
            addresses.push_back(address);
        addresses.push_back(kHost);
        const auto start = std::chrono::steady_clock::now();
        std::vector<Outcome> outcomes;
        for (quint32 address : addresses) {
            cursor.next = address + 1;
            outcomes.push_back(Resolve(*probe, address));
        }
        Outcome total;
        total.ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - start)
                       .count();
        probe->ScanEnded();
        outcomes.push_back(total);
        return outcomes;
    });
    SCOPED_TRACE(Describe(run));
    ASSERT_EQ(run.error, QString());
    ASSERT_EQ(run.outcomes.size(), 23u);
    for (int i = 0; i < 21; ++i)
        EXPECT_FALSE(run.outcomes[size_t(i)].found) << "address ." << 100 + i;
    EXPECT_TRUE(run.outcomes[21].found);
    EXPECT_EQ(run.outcomes[21].mac, kHostMac);
    // One resolution is 600 ms here; twenty-one in a row would be over 12 s.
    EXPECT_LT(run.outcomes[22].ms, 4000);
}

bool DropAllCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    return syscall(SYS_capset, &header, data) == 0;
}

TEST(ResolverLab, WithoutRawSocketPermissionTheKernelResolves)
{
    REQUIRE_LAB();
    const LabRun run = RunInLab([](LabNet&) {
        SetNeighbourTiming();
        Outcome dropped;
        dropped.found = DropAllCapabilities();
        const int raw = socket(AF_PACKET, SOCK_DGRAM, 0);
        dropped.result = raw < 0 ? errno : 0;
        if (raw >= 0)
            close(raw);
        auto probe = CreateSystemHostProbe();
        return std::vector<Outcome>{dropped, Text(probe->Description()), Resolve(*probe, kHost),
                                    Resolve(*probe, kAbsent)};
    });
    SCOPED_TRACE(Describe(run));
    ASSERT_EQ(run.error, QString());
    ASSERT_EQ(run.outcomes.size(), 4u);
    ASSERT_TRUE(run.outcomes[0].found) << "capset failed";
    EXPECT_EQ(run.outcomes[0].result, EPERM);
    EXPECT_EQ(run.outcomes[1].text,
              QStringLiteral("kernel neighbour resolution (no raw socket permission)"));
    EXPECT_TRUE(run.outcomes[2].found);
    EXPECT_EQ(run.outcomes[2].mac, kHostMac);
    EXPECT_FALSE(run.outcomes[3].found);
}

// Kills this process's children named `name`; how many there were.
int KillChildren(const char* name)
{
    int killed = 0;
    const QString parent = QString::number(getpid());
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid ...
        const QString text = QString::fromLatin1(stat.readAll());
        const qsizetype close = text.lastIndexOf(u')');
        const QStringList rest = text.mid(close + 2).split(u' ');
        if (close < 0 || rest.size() < 2 || rest[1] != parent ||
            text.mid(text.indexOf(u'(') + 1, close - text.indexOf(u'(') - 1) != QLatin1String(name))
            continue;
        killed += ::kill(pid.toInt(), SIGKILL) == 0;
    }
    return killed;
}

TEST(ResolverLab, WithoutPermissionTheHelperAsksAndIsStartedAgainOnceItHasEnded)
{
    REQUIRE_LAB();
    // The helper as an install leaves it: a file capability.
    QTemporaryDir dir;
    const QString helper = dir.filePath(QStringLiteral("lanvey-arp"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(LANVEY_ARP_BINARY), helper));
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("setcap"), {QStringLiteral("cap_net_raw+ep"), helper}), 0);
    const LabRun run = RunInLab([&helper](LabNet&) {
        SetNeighbourTiming();
        qputenv("LANVEY_ARP_HELPER", QFile::encodeName(helper));
        Outcome dropped;
        dropped.found = DropAllCapabilities();
        auto probe = CreateSystemHostProbe();
        std::vector<Outcome> outcomes{dropped, Text(probe->Description()),
                                      Text(probe->ResolutionNotice()), Resolve(*probe, kHost),
                                      Resolve(*probe, kAbsent)};
        Outcome killed;
        killed.result = KillChildren("lanvey-arp");
        outcomes.push_back(killed);
        // Until the next scan starts the wire is gone: nothing goes out, nothing is found.
        outcomes.push_back(Resolve(*probe, kHost));
        probe->ScanStarting({});
        outcomes.push_back(Resolve(*probe, kHost));
        probe->ScanEnded();
        outcomes.push_back(Text(probe->Description()));
        return outcomes;
    });
    SCOPED_TRACE(Describe(run));
    ASSERT_EQ(run.error, QString());
    ASSERT_EQ(run.outcomes.size(), 9u);
    ASSERT_TRUE(run.outcomes[0].found) << "capset failed";
    EXPECT_EQ(run.outcomes[1].text, QStringLiteral("raw ARP through %1 on lvpa").arg(helper));
    EXPECT_EQ(run.outcomes[2].text,
              QStringLiteral("Address resolution: raw ARP through the helper %1, the fast way.")
                  .arg(helper));
    // One request on the wire and its answer, as on a packet socket of our own.
    EXPECT_TRUE(run.outcomes[3].found);
    EXPECT_EQ(run.outcomes[3].mac, kHostMac);
    EXPECT_EQ(run.outcomes[3].sent, 1);
    EXPECT_LT(run.outcomes[3].ms, 100);
    // The request, its repeat and the give-up of the raw path, not the kernel's timers.
    EXPECT_FALSE(run.outcomes[4].found);
    EXPECT_EQ(run.outcomes[4].sent, 2);
    EXPECT_GE(run.outcomes[4].ms, 700);
    EXPECT_LT(run.outcomes[4].ms, 1000);
    EXPECT_EQ(run.outcomes[5].result, 1) << "one helper for the one adapter";
    EXPECT_FALSE(run.outcomes[6].found);
    EXPECT_EQ(run.outcomes[6].sent, 0);
    EXPECT_TRUE(run.outcomes[7].found);
    EXPECT_EQ(run.outcomes[7].mac, kHostMac);
    EXPECT_EQ(run.outcomes[8].text, run.outcomes[1].text);
}

Outcome Query(HostProbe& probe, quint32 address)
{
    ProbeResult result;
    result.ip = IpFromHostOrder(address);
    Outcome outcome;
    const auto start = Clock::now();
    outcome.result = probe.QueryNetBiosNames(result);
    outcome.ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    outcome.text = result.hostName;
    outcome.text2 = result.workgroup;
    return outcome;
}

TEST(NetBiosLab, RefusedPortSilentPortAndReply)
{
    REQUIRE_LAB();
    const LabRun run = RunInLab([](LabNet&) {
        auto probe = CreateSystemHostProbe();
        return std::vector<Outcome>{Query(*probe, kHost), Query(*probe, kSilentHost),
                                    Query(*probe, kNetBiosHost)};
    });
    SCOPED_TRACE(Describe(run));
    ASSERT_EQ(run.error, QString());
    ASSERT_EQ(run.outcomes.size(), 3u);
    const Outcome& refused = run.outcomes[0];
    EXPECT_EQ(refused.result, 1);
    EXPECT_LT(refused.ms, 100) << "port unreachable ends the wait";
    const Outcome& silent = run.outcomes[1];
    EXPECT_EQ(silent.result, 1);
    EXPECT_GE(silent.ms, 199);
    EXPECT_LT(silent.ms, 400);
    const Outcome& answered = run.outcomes[2];
    EXPECT_EQ(answered.result, 0);
    EXPECT_EQ(answered.text, QStringLiteral("LVPROBE-HOST1"));
    EXPECT_EQ(answered.text2, QStringLiteral("LABGROUP"));
    EXPECT_GE(answered.ms, qint64(kNetBiosReplyDelay.count()));
    EXPECT_LT(answered.ms, 190) << "the reply is read when it arrives, not after 200 ms";
}

} // namespace
