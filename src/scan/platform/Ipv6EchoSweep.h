#pragma once

#include "records/Ipv6Addresses.h"

#include <QByteArray>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

// A scan's look for IPv6 hosts: on each adapter the target lies on, one ICMPv6 echo
// request to the all-nodes group ff02::1 from each of the adapter's own IPv6 addresses
// (link-local, unique-local, global), and one more a moment later. The hosts reply from
// an address of the same scope, and the neighbour exchange they make to reply gives the
// kernel their MAC. A host that knew our MAC already makes no such exchange: an address
// of the link (link-local or unique-local) that replied and that the kernel holds no
// MAC for gets one echo of its own, which makes the kernel ask. Nothing is sent to a
// global address, and nothing at all from an adapter without IPv6.
//
// The echoes go out of an ICMPv6 datagram socket where the system allows it to the user
// (net.ipv4.ping_group_range), else of a raw ICMPv6 socket where we may open one, else
// through the adapter's lanvey-arp helper (Ipv6EchoRelay), which passes on each reply
// with the MAC it came from.

// One adapter's echoes through the lanvey-arp helper.
class Ipv6EchoRelay
{
public:
    virtual ~Ipv6EchoRelay() = default;
    virtual int EchoIfindex() const = 0;
    // One echo to ff02::1 from our address `from`; safe from any thread.
    virtual void SendEcho(const Ipv6Bytes& from) = 0;
    // The replies that came since the last call, each with its sender's MAC.
    virtual std::vector<Ipv6Sighting> TakeEchoReplies() = 0;
};

class Ipv6EchoSweep
{
public:
    // How long after the first echoes the second ones go, when the addresses that
    // replied without the kernel learning their MAC are asked straight, and when the
    // sweep is over: a scan that ends sooner waits for it.
    static constexpr int kSecondEchoAfterMs = 150;
    static constexpr int kResolveAfterMs = 250;
    static constexpr int kSweepMs = 350;
    // The most replying addresses one sweep keeps: every host of a link may answer.
    static constexpr size_t kMaxReplies = 8192;

    // `relays`: the helpers of adapters, for the addresses no socket of ours can send from.
    explicit Ipv6EchoSweep(const std::vector<int>& ifindexes,
                           std::vector<std::shared_ptr<Ipv6EchoRelay>> relays = {});
    ~Ipv6EchoSweep();
    Ipv6EchoSweep(const Ipv6EchoSweep&) = delete;
    Ipv6EchoSweep& operator=(const Ipv6EchoSweep&) = delete;

    // Waits until the sweep has sent all it sends and the kernel has had the time to
    // learn the MACs (kSweepMs from the start), or until Stop.
    void WaitForSweep();
    // A stopping scan waits for nothing more.
    void Stop();

    // Stops reading replies. Every address that replied, with the MAC the kernel's
    // neighbour table of its adapter holds for it; one it holds none for is left out.
    // Waits for the sweep's end as WaitForSweep does.
    std::vector<Ipv6Sighting> Finish();

    int EchoesSent() const { return m_sent.load(); }

private:
    struct Source {
        int ifindex = 0;
        int fd = -1; // -1: through `relay`
        bool raw = false;
        Ipv6Bytes own{};
        std::shared_ptr<Ipv6EchoRelay> relay;
    };

    void Run();
    QByteArray EchoRequest(quint16 sequence) const;
    void SendRound(quint16 sequence);
    void Read(size_t sourceIndex);
    void AskUnresolved();
    void MarkDone();
    std::vector<int> Adapters() const;
    // The helpers that send for some of the sources.
    std::vector<std::shared_ptr<Ipv6EchoRelay>> Relays() const;

    std::vector<Source> m_sources;
    const std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
    quint16 m_identifier = 0; // a raw socket's; a datagram socket's is the kernel's
    int m_wakeFd = -1;
    std::thread m_thread;
    std::atomic<int> m_sent{0};
    std::mutex m_mutex;
    // Adapter and address of each reply, with the source it came to.
    std::map<std::pair<int, Ipv6Bytes>, int> m_replied;
    bool m_finished = false;
    bool m_sweepDone = false;
    bool m_stopped = false;
    std::condition_variable m_sweepEnded;
};
