#pragma once

#include "scan/SendAheadPacer.h"
#include "scan/platform/MacResolver.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

// Lets the kernel resolve, for a process without the right to a packet socket. A
// datagram to the address (UDP port 9, discard) starts the kernel's ARP; an rtnetlink
// subscription to neighbour events reports the verdict: REACHABLE with the MAC (found)
// or FAILED (not found).
//
// The neighbour table is shared with the rest of the machine and small (gc_thresh3,
// 1024 by default), so at most kMaxWaiting addresses are outstanding and new ones start
// at no more than kStartsPerSecond.
//
// During a scan the pacer starts resolutions for the addresses the cursor hands out next,
// within the same limits, so that a worker usually finds the verdict waiting
// instead of holding its thread for the kernel's whole resolution time.
//
// An entry the kernel already holds cannot be removed without CAP_NET_ADMIN, so:
// - REACHABLE (or PERMANENT): the kernel confirmed the neighbour within its reachable
//   time (15 to 45 s by default), or the administrator fixed it; that is the answer.
// - STALE, DELAY, PROBE: the datagram makes the kernel re-check the neighbour with
//   unicast ARP after delay_first_probe_time (5 s by default); the answer waits for that
//   verdict, so a host that has left is not reported from the stale entry.
// - none, INCOMPLETE, FAILED: the datagram starts a fresh broadcast resolution.
// An entry whose MAC no adapter has (zero, broadcast, multicast) is no answer: the
// address is left to its deadline, as when nobody answers.
class KernelNeighbourResolver final : public MacResolver
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kMaxWaiting = 256;
    static constexpr int kStartsPerSecond = 100;
    // The kernel gives up after mcast_solicit x retrans_time (3 x 1 s by default).
    static constexpr std::chrono::milliseconds kSafetyDeadline{3500};

    // nullptr when the netlink subscription or the datagram socket cannot be opened;
    // `error` then holds errno.
    static std::unique_ptr<KernelNeighbourResolver> Open(const LinkInterfaces& links, int* error);
    ~KernelNeighbourResolver() override;

    bool Resolve(quint32 address, const LinkRoute& route, quint64* mac) override;
    void SetRate(int requestsPerSecond) override;
    void ScanStarting(UpcomingAddressesFn upcoming) override;
    void ScanStopping() override;
    void ScanEnded() override;
    QString Description() const override;
    QString ScanSummary() const override;

private:
    KernelNeighbourResolver();
    // Asks the kernel what it holds for the address, then starts its resolution.
    SendAheadPacer::Started Start(const SendAheadPacer::Request& request);
    Clock::duration FreshDeadline(int ifindex) const;
    Clock::duration RecheckDeadline(int ifindex) const;
    void ReceiveLoop();
    void HandleMessages(const quint8* data, std::size_t size);
    void Resync();
    void Settle(quint32 address, int ifindex, quint16 state, const quint8* lladdr, int lladdrSize);

    int m_events = -1;   // netlink socket subscribed to RTMGRP_NEIGH
    int m_datagram = -1; // UDP socket that starts resolutions
    int m_wakeFd = -1;
    struct Timing {
        int ifindex;
        Clock::duration recheck; // delay before and duration of the kernel's unicast re-check
        Clock::duration fresh;   // duration of a broadcast resolution
    };
    std::vector<Timing> m_timing;
    LinkInterfaces m_links;
    SendAheadPacer m_pacer;

    // Entries of this scan whose MAC no adapter has (a reply the kernel took as it came).
    std::atomic<quint64> m_impossibleMacs{0};
    // Requests a second (0: kStartsPerSecond starts), and the most requests the kernel
    // sends for one address on any link (mcast_solicit + app_solicit).
    std::atomic<int> m_rate{0};
    int m_solicits = 1;
    std::atomic<bool> m_stopping{false};
    std::thread m_receiver;
};
