// A platform without a resolver backend yet: the program builds and runs, and a scan
// finds nothing.

#include "scan/HostProbe.h"

namespace
{

class UnsupportedHostProbe final : public HostProbe
{
public:
    bool ResolveMacAddress(quint32, quint64*) override { return false; }
    int QueryNetBiosNames(ProbeResult&) override { return 1; }
    QString Description() const override
    {
        return QStringLiteral("no address resolution on this platform");
    }
};

} // namespace

std::unique_ptr<HostProbe> CreateSystemHostProbe(const HostProbeOptions&)
{
    return std::make_unique<UnsupportedHostProbe>();
}
