#pragma once

#include "scan/platform/MacResolver.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <queue>
#include <thread>
#include <unordered_map>
#include <vector>

// Asks every address on the wire itself, with one ARP packet socket per adapter (needs
// root or CAP_NET_RAW). The kernel's neighbour table is neither read nor changed, so a
// host that has left is not reported from a stale entry.
//
// Each address gets a request, one repeat after kRepeatAfter and is "not found"
// kGiveUpAfter after its first request. During a scan a pacing thread sends requests for
// the addresses the cursor hands out next, so a worker usually finds its answer waiting;
// a worker whose address was not sent ahead sends its request at once.
class RawArpResolver final : public MacResolver
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kRepeatAfter{250};
    static constexpr std::chrono::milliseconds kGiveUpAfter{750};
    // How far the pacing thread may run ahead of the cursor, and how many answers may wait
    // for their worker at once.
    static constexpr quint32 kAheadWindow = 1024;
    static constexpr std::size_t kMaxEntries = 4096;

    // nullptr when a packet socket cannot be opened; `error` then holds errno (EPERM
    // without the permission).
    static std::unique_ptr<RawArpResolver> Open(const LinkInterfaces& links, int aheadRate,
                                                int* error);
    ~RawArpResolver() override;

    bool Resolve(quint32 address, const LinkRoute& route, quint64* mac) override;
    void ScanStarting(UpcomingAddressesFn upcoming) override;
    void ScanEnded() override;
    QString Description() const override;

private:
    struct Link {
        LinkInterface info;
        int fd = -1;
    };
    enum class State { Pending, Found, NotFound };
    struct Entry {
        State state = State::Pending;
        quint64 mac = 0;
        quint64 serial = 0;
        std::size_t link = 0; // index into m_sockets
        quint32 localIp = 0;
        Clock::time_point firstSent;
        bool repeated = false;
        int waiters = 0;
    };
    struct Timer {
        Clock::time_point due;
        quint32 address;
        quint64 serial;
        bool operator>(const Timer& other) const { return due > other.due; }
    };

    RawArpResolver(const LinkInterfaces& links, int aheadRate);
    std::size_t LinkSlot(int ifindex) const;
    // With m_mutex held: creates the entry, sends the first request and arms its timer.
    Entry& StartLocked(quint32 address, std::size_t link, quint32 localIp);
    void SendRequest(const Entry& entry, quint32 address);
    void WakeReceiver();
    void ReceiveLoop();
    void ReadReplies(std::size_t link);
    void RunTimersLocked(Clock::time_point now);
    void AheadLoop(UpcomingAddressesFn upcoming);
    void StopAhead();

    std::vector<Link> m_links;
    LinkInterfaces m_linkTable;
    int m_aheadRate;
    int m_wakeFd = -1;

    std::mutex m_mutex;
    std::condition_variable m_answered; // an entry left Pending
    std::condition_variable m_aheadWake;
    std::unordered_map<quint32, Entry> m_entries;
    std::priority_queue<Timer, std::vector<Timer>, std::greater<>> m_timers;
    quint64 m_nextSerial = 1;
    quint64 m_taken = 0; // answers workers have taken; the pacing thread waits on it
    bool m_stopping = false;
    bool m_aheadStop = false;

    std::thread m_receiver;
    std::thread m_ahead;
};
