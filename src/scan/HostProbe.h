#pragma once

#include "records/Ipv6Addresses.h"
#include "records/OtherName.h"

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// One worker's scratch record for the address in hand.
struct ProbeResult {
    quint32 ip = 0;   // IPv4 value, network byte order
    quint64 mac = 0;  // MAC value, top 16 bits all ones
    QString hostName; // NetBIOS names, empty until a reply gave them
    QString workgroup;
    OtherNames otherNames;  // multicast DNS, LLMNR and reverse DNS, in the order they came
    quint64 netBiosMac = 0; // the reply's adapter address (MAC value), 0 when none or zeros
    Ipv6Addresses ipv6;     // what the host's multicast DNS name stands for
};

// The part of the cursor a resolver may ask ahead for: the address the cursor hands out
// next and the last one of the range, both in host byte order. nullopt once the range is
// used up or the scan has been told to stop.
struct UpcomingAddresses {
    quint32 next = 0;
    quint32 last = 0;
};
using UpcomingAddressesFn = std::function<std::optional<UpcomingAddresses>()>;

// What a worker asks about one address: is there a host on the local link, and what are
// its NetBIOS names. One probe object serves every worker of a scan at once, so each
// member is safe to call from many threads.
class HostProbe
{
public:
    virtual ~HostProbe() = default;

    // `address` in host byte order. True and the MAC value (top 16 bits all ones) when a
    // host answered; false otherwise.
    virtual bool ResolveMacAddress(quint32 address, quint64* mac) = 0;

    // Reads probe.ip, fills hostName and workgroup as far as the reply allows.
    // 0 when a reply was received and parsed, 1 when none could be had.
    virtual int QueryNetBiosNames(ProbeResult& probe) = 0;

    // Every name the host gives within the NetBIOS query's time: the NetBIOS names as
    // QueryNetBiosNames, and other names (multicast DNS, LLMNR, reverse DNS) asked at the
    // same time. The result is QueryNetBiosNames's.
    virtual int QueryHostNames(ProbeResult& probe) { return QueryNetBiosNames(probe); }

    // A scan starts (workers not yet running) and ends (every worker has ended). A
    // resolver that asks ahead of the workers calls `upcoming` to learn where the cursor
    // stands; it must not call it after ScanEnded returns.
    virtual void ScanStarting(UpcomingAddressesFn upcoming) { (void)upcoming; }
    virtual void ScanEnded() {}
    // The IPv6 addresses that answered the scan's echoes to the all-nodes group on the
    // target's adapters, each with its MAC; asked once, after the last worker has ended
    // and before ScanEnded. The echoes went out when the scan started.
    virtual std::vector<Ipv6Sighting> Ipv6Sightings() { return {}; }
    // Whether the scan's target held every IPv4 subnet of the adapters the echoes went out
    // on. Only then is an address whose MAC no row has a host that answered only over
    // IPv6: otherwise its host may simply lie outside the target.
    virtual bool Ipv6SweptWholeLinks() const { return false; }

    // On each worker thread as it starts, before its first address, and as it ends, after
    // its last. WorkerEnding may wait (at most a fraction of a second, less once the scan
    // is stopping) for work the probe does beside the workers.
    virtual void WorkerStarting() {}
    virtual void WorkerEnding() {}

    // The scan has been told to stop while workers may still run: a worker waiting for an
    // address's verdict gets "not found" at once unless the host has already answered,
    // and nothing more is asked ahead. ScanEnded and the next ScanStarting lift it.
    virtual void ScanStopping() {}

    // ARP requests a second from the next scan on, every request counted (first requests,
    // repeats, further ones); 0: the resolver's own choice by the size of the range.
    virtual void SetSendRate(int requestsPerSecond) { (void)requestsPerSecond; }

    // One line that says how addresses are resolved ("raw ARP socket on ...").
    virtual QString Description() const { return {}; }
    // For the user, in the language in use: which way of resolving is in use, and when
    // it is the slow one, how to get the fast one. Empty when there is no choice.
    virtual QString ResolutionNotice() const { return {}; }
    // What the last scan's address resolution saw of the link (estimated loss, further
    // requests), for the verbose report; empty when there is nothing to say.
    virtual QString ScanSummary() const { return {}; }
};

// The gentle send rate: under the 15 ARP packets a second that switches with dynamic ARP
// inspection commonly allow on an untrusted port before they shut it down.
inline constexpr int kGentleRate = 10;

struct HostProbeOptions {
    // ARP requests per second, every request counted; 0 lets the resolver choose by the
    // size of each scan's range.
    int aheadRate = 0;
    // Use the kernel's neighbour resolution even when a raw socket could be opened.
    bool forceKernelPath = false;
    // The workers run at the idle policy, behind every thread of normal priority, so
    // that a window's UI thread keeps the processor when a hundred of them wake at once.
    // Without a window to keep responsive (lanvey-scan), they run at a lower nice level
    // only, and a busy machine does not hold the scan up.
    bool idleWorkers = true;
};

// The probe of this platform.
std::unique_ptr<HostProbe> CreateSystemHostProbe(const HostProbeOptions& options = {});
