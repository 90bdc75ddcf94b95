#pragma once

#include "scan/platform/MacResolver.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
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
// During a scan a pacing thread starts resolutions for the addresses the cursor hands out
// next, within the same limits, so that a worker usually finds the verdict waiting
// instead of holding its thread for the kernel's whole resolution time.
//
// An entry the kernel already holds cannot be removed without CAP_NET_ADMIN, so:
// - REACHABLE (or PERMANENT): the kernel confirmed the neighbour within its reachable
//   time (15 to 45 s by default), or the administrator fixed it; that is the answer.
// - STALE, DELAY, PROBE: the datagram makes the kernel re-check the neighbour with
//   unicast ARP after delay_first_probe_time (5 s by default); the answer waits for that
//   verdict, so a host that has left is not reported from the stale entry.
// - none, INCOMPLETE, FAILED: the datagram starts a fresh broadcast resolution.
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
    void ScanStarting(UpcomingAddressesFn upcoming) override;
    void ScanEnded() override;
    QString Description() const override;

private:
    enum class State { Pending, Found, NotFound };
    struct Waiter {
        State state = State::Pending;
        quint64 mac = 0;
        int ifindex = 0;
        int count = 0;          // workers waiting for the verdict
        bool ahead = false;     // started ahead; no worker has taken it yet
        bool holdsSlot = false; // counts against kMaxWaiting until it settles or expires
        bool starting = false;  // its resolution is being started outside the lock
        Clock::time_point deadline{};
    };

    KernelNeighbourResolver() = default;
    bool Admit(std::unique_lock<std::mutex>& lock, bool ahead);
    // With the lock held: registers `address`, starts its resolution (the lock is let go
    // while the kernel is asked) and returns its waiter, or nullptr when not admitted.
    Waiter* BeginLocked(std::unique_lock<std::mutex>& lock, quint32 address, int ifindex,
                        bool ahead);
    void ReleaseSlotLocked(Waiter& waiter);
    void ExpireLocked(Clock::time_point now);
    void AheadLoop(UpcomingAddressesFn upcoming);
    void StopAhead();
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

    std::mutex m_mutex;
    std::condition_variable m_changed; // a waiter settled, or a slot came free
    std::unordered_map<quint32, Waiter> m_waiters;
    int m_active = 0;
    Clock::time_point m_nextStart;
    bool m_stopping = false;
    bool m_aheadStop = false;
    quint64 m_taken = 0; // verdicts workers have taken; the pacing thread waits on it
    std::thread m_receiver;
    std::thread m_ahead;
};
