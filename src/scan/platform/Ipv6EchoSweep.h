#pragma once

#include "records/Ipv6Addresses.h"

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

// A scan's look for IPv6 hosts: on each adapter the target lies on, one ICMPv6 echo
// request to the all-nodes group ff02::1 from each of the adapter's own IPv6 addresses
// (link-local, unique-local, global), and one more a moment later. The hosts reply from
// an address of the same scope, and the neighbour exchange they make to reply gives the
// kernel their MAC. Nothing is sent anywhere else, and nothing at all from an adapter
// without IPv6.
//
// The echoes go out of an ICMPv6 datagram socket where the system allows it to the user
// (net.ipv4.ping_group_range), else of a raw ICMPv6 socket where we may open one.
class Ipv6EchoSweep
{
public:
    // How long after the first echoes the second ones go.
    static constexpr int kSecondEchoAfterMs = 150;
    // The most replying addresses one sweep keeps: every host of a link may answer.
    static constexpr size_t kMaxReplies = 8192;

    explicit Ipv6EchoSweep(const std::vector<int>& ifindexes);
    ~Ipv6EchoSweep();
    Ipv6EchoSweep(const Ipv6EchoSweep&) = delete;
    Ipv6EchoSweep& operator=(const Ipv6EchoSweep&) = delete;

    // Stops reading replies. Every address that replied, with the MAC the kernel's
    // neighbour table of its adapter holds for it; one it holds none for is left out.
    std::vector<Ipv6Sighting> Finish();

    int EchoesSent() const { return m_sent.load(); }

private:
    struct Source {
        int ifindex = 0;
        int fd = -1;
        bool raw = false;
    };

    void Run();
    void SendRound(quint16 sequence);
    void Read(const Source& source);

    std::vector<Source> m_sources;
    quint16 m_identifier = 0; // a raw socket's; a datagram socket's is the kernel's
    int m_wakeFd = -1;
    std::thread m_thread;
    std::atomic<int> m_sent{0};
    std::mutex m_mutex;
    std::set<std::pair<int, Ipv6Bytes>> m_replied; // adapter, address
    bool m_finished = false;
};
