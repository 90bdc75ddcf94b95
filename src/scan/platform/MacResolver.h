#pragma once

// One way of asking the local link for a MAC address. The host probe handles the
// scanning host's own addresses and addresses off every connected subnet itself, so a
// resolver is only asked about neighbours on one of its adapters.

#include "scan/HostProbe.h"
#include "scan/platform/Ipv6EchoSweep.h"
#include "scan/platform/LinkInterfaces.h"

#include <QString>
#include <QtGlobal>

class MacResolver
{
public:
    virtual ~MacResolver() = default;

    // `address` (host byte order) lies in the subnet of `route`. Safe to call from many
    // threads at once; returns within a bounded time.
    virtual bool Resolve(quint32 address, const LinkRoute& route, quint64* mac) = 0;

    // As HostProbe's: around a scan, and its stop while workers may still wait.
    virtual void ScanStarting(UpcomingAddressesFn upcoming) { (void)upcoming; }
    virtual void ScanStopping() {}
    virtual void ScanEnded() {}

    // Requests a second from the next scan on, every request counted; 0: the resolver's own
    // choice.
    virtual void SetRate(int requestsPerSecond) { (void)requestsPerSecond; }

    // The kernel is about to ask the link for a host's MAC on its own (a first datagram
    // to it): waits for that request's turn in the pace, where the resolver keeps one.
    // False when the scan was told to stop meanwhile: then nothing is to be sent.
    virtual bool WaitForKernelTurn() { return true; }

    // False once the resolver can no longer reach the wire (its helper has ended); the
    // probe then opens a new one before the next scan.
    virtual bool Working() const { return true; }

    virtual QString Description() const = 0;
    // What the resolver made of the last scan's link, for the verbose report; empty when
    // it has nothing to say.
    virtual QString ScanSummary() const { return {}; }
    // The adapters' helpers, where the resolver asks through them: they send the IPv6
    // echoes a user may not send.
    virtual std::vector<std::shared_ptr<Ipv6EchoRelay>> EchoRelays() const { return {}; }
};

// For a resolver's ScanSummary: answers it ignored because the sender's MAC was none an
// adapter has (IsHostMacAddress).
inline QString ImpossibleMacsText(quint64 count)
{
    return QStringLiteral("%1 replies ignored for their impossible sender MAC (zero, broadcast "
                          "or multicast)")
        .arg(count);
}
