// The host probe on Linux: own addresses and off-link addresses answered at once, every
// other address asked on the wire by a raw ARP socket when the process may open one,
// through the lanvey-arp helper when it may not but the helper may, or by the kernel's
// neighbour resolution otherwise.

#include "lang/LangString.h"
#include "scan/HostProbe.h"
#include "scan/platform/HelperWire.h"
#include "scan/platform/HostNameQueries.h"
#include "scan/platform/Ipv6EchoSweep.h"
#include "scan/platform/KernelNeighbourResolver.h"
#include "scan/platform/LinkInterfaces.h"
#include "scan/platform/NetBiosSocket.h"
#include "scan/platform/RawArpResolver.h"

#include <QStringList>
#include <arpa/inet.h>
#include <cstring>
#include <malloc.h>
#include <mutex>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{

// How far below the normal priority the scan workers run (nice levels) when the idle
// policy is refused.
constexpr int kWorkerNice = 10;

// A worker at the idle policy may lose the processor while it holds a lock, and keeps
// it until no thread of normal priority is left to run. So the workers must hold none
// that the UI thread takes, malloc's included: with more threads than its default of
// eight arenas a core, the C library makes threads share them, the UI thread's too.
// 512 is well above the hundred workers and the program's other threads; an arena that
// a thread leaves goes to the next thread that starts.
void GiveEveryThreadItsOwnArena()
{
    static std::once_flag once;
    std::call_once(once, [] { mallopt(M_ARENA_MAX, 512); });
}

class LinuxHostProbe final : public HostProbe
{
public:
    explicit LinuxHostProbe(const HostProbeOptions& options) : m_options(options)
    {
        if (options.idleWorkers)
            GiveEveryThreadItsOwnArena();
        Open();
    }

    bool ResolveMacAddress(quint32 address, quint64* mac) override
    {
        if (const LinkInterface* own = m_links.OwnerOf(address)) {
            *mac = MacValueFromBytes(own->mac);
            return true;
        }
        const LinkRoute route = m_links.RouteTo(address);
        if (!route.link || !m_resolver)
            return false;
        return m_resolver->Resolve(address, route, mac);
    }

    int QueryNetBiosNames(ProbeResult& probe) override
    {
        if (!KernelTurn())
            return 1;
        return QueryNetBiosNamesOverUdp(probe);
    }

    int QueryHostNames(ProbeResult& probe) override
    {
        if (!KernelTurn())
            return 1; // the scan stops: the host is kept without names
        // The group queries leave by the adapter the host was found on.
        const quint32 address = ntohl(probe.ip);
        const LinkInterface* link = m_links.OwnerOf(address);
        if (!link)
            link = m_links.RouteTo(address).link;
        return QueryHostNamesOverUdp(probe, link ? link->index : 0);
    }

    // The first datagram to a host makes the kernel ask the link for its MAC (ARP on
    // the raw paths never fills the kernel's table): that request takes its turn in the
    // resolver's pace, so the rate holds every request from this machine.
    bool KernelTurn() { return !m_resolver || m_resolver->WaitForKernelTurn(); }

    void WorkerStarting() override
    {
        // A hundred workers wake at once when a crowd answers, each to send its name
        // queries. At the idle policy, any thread of normal priority (the UI thread first
        // of all) takes the processor from them at once; their work is mostly waiting, so
        // an idle machine scans no slower. Where the policy is refused, or not wanted,
        // they run at a lower nice level.
        sched_param none{};
        if (!m_options.idleWorkers || sched_setscheduler(0, SCHED_IDLE, &none) != 0)
            setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), kWorkerNice);
    }

    void ScanStarting(UpcomingAddressesFn upcoming) override
    {
        // Adapters come and go between scans, and a helper may have ended; no worker runs
        // here, so the resolver may be replaced.
        if (LinkInterfaces::Read() != m_links || (m_resolver && !m_resolver->Working()))
            Open();
        // The IPv6 echoes go out on the adapters whose subnets the target touches, beside
        // the ARP rounds.
        SetEcho(nullptr);
        std::shared_ptr<Ipv6EchoSweep> echo;
        m_sweptWholeLinks = false;
        if (const auto range = upcoming ? upcoming() : std::nullopt) {
            const std::vector<int> adapters = AdaptersOf(range->next, range->last);
            m_sweptWholeLinks = CoverWholeSubnets(adapters, range->next, range->last);
            echo = std::make_shared<Ipv6EchoSweep>(
                adapters, m_resolver ? m_resolver->EchoRelays()
                                     : std::vector<std::shared_ptr<Ipv6EchoRelay>>{});
        }
        SetEcho(std::move(echo));
        if (m_resolver)
            m_resolver->ScanStarting(std::move(upcoming));
    }

    std::vector<Ipv6Sighting> Ipv6Sightings() override
    {
        const std::shared_ptr<Ipv6EchoSweep> echo = Echo();
        return echo ? echo->Finish() : std::vector<Ipv6Sighting>{};
    }

    bool Ipv6SweptWholeLinks() const override { return m_sweptWholeLinks; }

    void SetSendRate(int requestsPerSecond) override
    {
        m_options.aheadRate = std::max(0, requestsPerSecond);
        if (m_resolver)
            m_resolver->SetRate(m_options.aheadRate);
    }

    void ScanStopping() override
    {
        if (const std::shared_ptr<Ipv6EchoSweep> echo = Echo())
            echo->Stop();
        if (m_resolver)
            m_resolver->ScanStopping();
    }

    void WorkerEnding() override
    {
        // A worker retired from an earlier scan may end while the next one starts: it
        // holds the sweep it waits on.
        if (const std::shared_ptr<Ipv6EchoSweep> echo = Echo())
            echo->WaitForSweep();
    }

    void ScanEnded() override
    {
        SetEcho(nullptr);
        if (m_resolver)
            m_resolver->ScanEnded();
    }

    QString Description() const override { return m_description; }
    QString ResolutionNotice() const override;
    QString ScanSummary() const override
    {
        return m_resolver ? m_resolver->ScanSummary() : QString();
    }

private:
    // How addresses are resolved, and why not the fast way.
    enum class Path {
        Raw,
        Helper,
        KernelChosen,
        KernelNoHelper,
        KernelHelperLacksCapability,
        KernelHelperFailed,
        KernelRawFailed,
        None,
    };

    void Open()
    {
        m_resolver.reset();
        m_links = LinkInterfaces::Read();
        m_helper.clear();
        m_error.clear();
        int rawError = 0;
        QString why;
        if (!m_options.forceKernelPath) {
            m_resolver = RawArpResolver::Open(m_links, m_options.aheadRate, &rawError);
            if (m_resolver) {
                m_path = Path::Raw;
                m_description = m_resolver->Description();
                return;
            }
            if (rawError == EPERM || rawError == EACCES) {
                why = QStringLiteral("no raw socket permission");
                m_path = Path::KernelNoHelper;
                m_helper = HelperWire::FindHelper();
                if (m_helper.isEmpty()) {
                    m_helper = HelperWire::InstalledPath();
                } else if (!HelperWire::HasNetRawCapability(m_helper)) {
                    m_path = Path::KernelHelperLacksCapability;
                    why += QStringLiteral("; %1 lacks CAP_NET_RAW").arg(m_helper);
                } else {
                    m_resolver = RawArpResolver::OpenThroughHelper(m_links, m_options.aheadRate,
                                                                   m_helper, &m_error);
                    if (m_resolver) {
                        m_path = Path::Helper;
                        m_description = m_resolver->Description();
                        return;
                    }
                    m_path = Path::KernelHelperFailed;
                    why += QStringLiteral("; %1 failed: %2").arg(m_helper, m_error);
                }
            } else {
                m_path = Path::KernelRawFailed;
                m_error = QString::fromLocal8Bit(std::strerror(rawError));
                why = QStringLiteral("raw socket failed: %1").arg(m_error);
            }
        } else {
            m_path = Path::KernelChosen;
            why = QStringLiteral("chosen instead of a raw socket");
        }
        int kernelError = 0;
        m_resolver = KernelNeighbourResolver::Open(m_links, &kernelError);
        if (m_resolver)
            m_resolver->SetRate(m_options.aheadRate);
        if (m_resolver) {
            m_description = QStringLiteral("%1 (%2)").arg(m_resolver->Description(), why);
            return;
        }
        m_path = Path::None;
        m_error = QString::fromLocal8Bit(std::strerror(kernelError));
        m_description = QStringLiteral("no address resolution: netlink failed: %1").arg(m_error);
    }

    // The first and last address of the subnet of `own` (host byte order).
    static std::pair<quint32, quint32> SubnetOf(const LinkAddress& own)
    {
        const quint32 low = own.ip & own.netmask;
        return {low, low | ~own.netmask};
    }

    // The adapters with a subnet that holds an address of first..last (host byte order).
    std::vector<int> AdaptersOf(quint32 first, quint32 last) const
    {
        std::vector<int> adapters;
        for (const LinkInterface& link : m_links.Links())
            for (const LinkAddress& own : link.addresses) {
                const auto [low, high] = SubnetOf(own);
                if (low <= last && first <= high) {
                    adapters.push_back(link.index);
                    break;
                }
            }
        return adapters;
    }

    // Whether first..last holds every address of every subnet of `adapters`.
    bool CoverWholeSubnets(const std::vector<int>& adapters, quint32 first, quint32 last) const
    {
        for (const LinkInterface& link : m_links.Links())
            if (std::find(adapters.begin(), adapters.end(), link.index) != adapters.end())
                for (const LinkAddress& own : link.addresses) {
                    const auto [low, high] = SubnetOf(own);
                    if (low < first || high > last)
                        return false;
                }
        return !adapters.empty();
    }

    QString LinkNames() const
    {
        QStringList names;
        for (const LinkInterface& link : m_links.Links())
            names << link.name;
        return names.join(QStringLiteral(", "));
    }

    HostProbeOptions m_options;
    LinkInterfaces m_links;
    std::unique_ptr<MacResolver> m_resolver;
    // The running scan's IPv6 sweep; workers read it as they end.
    std::shared_ptr<Ipv6EchoSweep> Echo() const
    {
        std::lock_guard lock(m_echoMutex);
        return m_echo;
    }
    void SetEcho(std::shared_ptr<Ipv6EchoSweep> echo)
    {
        std::shared_ptr<Ipv6EchoSweep> previous;
        {
            std::lock_guard lock(m_echoMutex);
            previous = std::exchange(m_echo, std::move(echo));
        }
        // `previous` ends here, out of the lock (its end joins its thread).
    }
    mutable std::mutex m_echoMutex;
    std::shared_ptr<Ipv6EchoSweep> m_echo;
    bool m_sweptWholeLinks = false; // set before the workers start, read after they end
    QString m_description;
    Path m_path = Path::None;
    QString m_helper; // the helper used, tried, or to install
    QString m_error;
};

QString LinuxHostProbe::ResolutionNotice() const
{
    switch (m_path) {
    case Path::Raw:
        return FormatLangString(0xF2D0,
                                QStringLiteral("Address resolution: raw ARP on %s_LINKS%, the "
                                               "fast way."),
                                {LinkNames()});
    case Path::Helper:
        return FormatLangString(0xF2D1,
                                QStringLiteral("Address resolution: raw ARP through the helper "
                                               "%s_HELPER%, the fast way."),
                                {m_helper});
    case Path::KernelChosen:
        return FormatLangString(0xF2D2,
                                QStringLiteral("Address resolution: the kernel's neighbour table, "
                                               "as --kernel-arp asks; raw ARP is faster."));
    case Path::KernelNoHelper:
        return FormatLangString(
            0xF2D3,
            QStringLiteral("Address resolution: the kernel's neighbour table, the slow way: no "
                           "permission for raw sockets and no helper found.\nFor the fast way "
                           "install lanvey-arp and run: sudo setcap cap_net_raw+ep %s_HELPER%"),
            {m_helper});
    case Path::KernelHelperLacksCapability:
        return FormatLangString(
            0xF2D4,
            QStringLiteral("Address resolution: the kernel's neighbour table, the slow way: the "
                           "helper lacks CAP_NET_RAW.\nFor the fast way run: sudo setcap "
                           "cap_net_raw+ep %s_HELPER%"),
            {m_helper});
    case Path::KernelHelperFailed:
        return FormatLangString(0xF2D5,
                                QStringLiteral("Address resolution: the kernel's neighbour table, "
                                               "the slow way: the helper %s_HELPER% failed "
                                               "(%s_ERROR%)."),
                                {m_helper, m_error});
    case Path::KernelRawFailed:
        return FormatLangString(0xF2D6,
                                QStringLiteral("Address resolution: the kernel's neighbour table, "
                                               "the slow way: raw sockets failed (%s_ERROR%)."),
                                {m_error});
    case Path::None:
        break;
    }
    return FormatLangString(
        0xF2D7, QStringLiteral("Address resolution: none; netlink failed (%s_ERROR%)."), {m_error});
}

} // namespace

std::unique_ptr<HostProbe> CreateSystemHostProbe(const HostProbeOptions& options)
{
    return std::make_unique<LinuxHostProbe>(options);
}
