// The host probe on Linux: own addresses and off-link addresses answered at once, every
// other address asked on the wire by a raw ARP socket when the process may open one, or
// by the kernel's neighbour resolution when it may not.

#include "scan/HostProbe.h"
#include "scan/platform/HostNameQueries.h"
#include "scan/platform/KernelNeighbourResolver.h"
#include "scan/platform/LinkInterfaces.h"
#include "scan/platform/NetBiosSocket.h"
#include "scan/platform/RawArpResolver.h"

#include <arpa/inet.h>
#include <cstring>
#include <mutex>

namespace
{

class LinuxHostProbe final : public HostProbe
{
public:
    explicit LinuxHostProbe(const HostProbeOptions& options) : m_options(options) { Open(); }

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

    int QueryNetBiosNames(ProbeResult& probe) override { return QueryNetBiosNamesOverUdp(probe); }

    int QueryHostNames(ProbeResult& probe) override
    {
        // The group queries leave by the adapter the host was found on.
        const quint32 address = ntohl(probe.ip);
        const LinkInterface* link = m_links.OwnerOf(address);
        if (!link)
            link = m_links.RouteTo(address).link;
        return QueryHostNamesOverUdp(probe, link ? link->index : 0);
    }

    void ScanStarting(UpcomingAddressesFn upcoming) override
    {
        // Adapters come and go between scans; no worker runs here, so the resolver may be
        // replaced.
        if (LinkInterfaces::Read() != m_links)
            Open();
        if (m_resolver)
            m_resolver->ScanStarting(std::move(upcoming));
    }

    void ScanStopping() override
    {
        if (m_resolver)
            m_resolver->ScanStopping();
    }

    void ScanEnded() override
    {
        if (m_resolver)
            m_resolver->ScanEnded();
    }

    QString Description() const override { return m_description; }
    QString ScanSummary() const override
    {
        return m_resolver ? m_resolver->ScanSummary() : QString();
    }

private:
    void Open()
    {
        m_resolver.reset();
        m_links = LinkInterfaces::Read();
        int rawError = 0;
        if (!m_options.forceKernelPath) {
            m_resolver = RawArpResolver::Open(m_links, m_options.aheadRate, &rawError);
            if (m_resolver) {
                m_description = m_resolver->Description();
                return;
            }
        }
        int kernelError = 0;
        m_resolver = KernelNeighbourResolver::Open(m_links, &kernelError);
        if (m_resolver) {
            QString why;
            if (m_options.forceKernelPath)
                why = QStringLiteral("chosen instead of a raw socket");
            else if (rawError == EPERM || rawError == EACCES)
                why = QStringLiteral("no raw socket permission");
            else
                why = QStringLiteral("raw socket failed: %1")
                          .arg(QString::fromLocal8Bit(std::strerror(rawError)));
            m_description = QStringLiteral("%1 (%2)").arg(m_resolver->Description(), why);
            return;
        }
        m_description = QStringLiteral("no address resolution: netlink failed: %1")
                            .arg(QString::fromLocal8Bit(std::strerror(kernelError)));
    }

    HostProbeOptions m_options;
    LinkInterfaces m_links;
    std::unique_ptr<MacResolver> m_resolver;
    QString m_description;
};

} // namespace

std::unique_ptr<HostProbe> CreateSystemHostProbe(const HostProbeOptions& options)
{
    return std::make_unique<LinuxHostProbe>(options);
}
