#pragma once

#include "scan/ArpPacket.h"

#include <chrono>
#include <vector>

// One adapter's ARP as the raw resolver sees it: it sends one request at a time, waits
// for a descriptor to become readable and then takes what has arrived. Two wires exist:
// a packet socket of our own (PacketSocketWire) and the lanvey-arp helper, which holds
// the packet socket for a program that may not (HelperWire). When to send what stays
// with the resolver.
class ArpWire
{
public:
    using Clock = std::chrono::steady_clock;
    struct Received {
        ArpFields packet;
        Clock::time_point at;
    };

    virtual ~ArpWire() = default;

    // A who-has request for `target` from our MAC and `localIp` (host byte order). Safe
    // from many threads; never blocks. A request the wire cannot take now is lost, like
    // one lost on the link.
    virtual void Send(quint32 localIp, quint32 target) = 0;
    // The descriptor to poll for input, -1 once the wire has ended.
    virtual int PollFd() const = 0;
    // Appends every ARP packet that has arrived, without waiting. Only the receive thread
    // calls it.
    virtual void Read(std::vector<Received>* received) = 0;
    // The resolver's pace for the next scan, in requests a second, repeats included.
    virtual void SetRate(int requestsPerSecond) { (void)requestsPerSecond; }
};
