#pragma once

#include "scan/ArpRounds.h"
#include "scan/SendAheadPacer.h"
#include "scan/platform/ArpWire.h"
#include "scan/platform/MacResolver.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

// Asks every address on the wire itself, with one ARP wire per adapter: a packet socket
// of its own (needs root or CAP_NET_RAW), or the lanvey-arp helper that holds one for
// it. The kernel's neighbour table is neither read nor changed, so a host that has left
// is not reported from a stale entry.
//
// Each address gets a request, one repeat after kRepeatAfter and is "not found"
// kGiveUpAfter after its first request, as long as the link answers the first request.
// On a link that loses requests or answers slowly, further requests and a later give-up
// follow what the scan has seen so far (ArpRounds). During a scan the pacer sends requests
// for the addresses the cursor hands out next, so a worker usually finds its answer
// waiting. The rate holds every request on the wire: the pacer's first requests, repeats
// and further requests take their turn in one pace, and a gate that remembers when the
// last requests left holds every request to it (a worker's own, and the kernel's for a
// host the name queries go to, included), so no second holds more than the rate, whatever
// the number of workers.
class RawArpResolver final : public MacResolver
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kRepeatAfter = ArpRounds::kRepeatAfter;
    static constexpr std::chrono::milliseconds kGiveUpAfter = ArpRounds::kMinGiveUp;
    // How far the pacing thread may run ahead of the cursor, and how many requests may be
    // unanswered at once, at the rate for a small target.
    static constexpr quint32 kAheadWindow = 1024;
    static constexpr int kMaxOutstanding = 4096;
    // The rate when none is given: kRate, and kWideRate for a range of more than
    // kWideFrom addresses. They count every request (repeats, the workers' own and the
    // kernel's for the name queries too), which on a crowded /22 come to about twice the
    // first requests: 4,000 requests of 42 bytes are about 1.3 Mbit/s of broadcasts.
    static constexpr int kRate = 4000;
    static constexpr int kWideRate = 4000;
    static constexpr quint64 kWideFrom = 1024;
    // The pace rules for `rate`: the window covers two seconds of starts, so the workers
    // never wait for the pacing thread while the first addresses are given up.
    // `given`: the rate is the user's, not chosen by the range.
    static SendAheadPacer::Rules RulesFor(int rate, bool given);

    // nullptr when a packet socket cannot be opened; `error` then holds errno (EPERM
    // without the permission).
    // `aheadRate` 0: by the size of each scan's range.
    static std::unique_ptr<RawArpResolver> Open(const LinkInterfaces& links, int aheadRate,
                                                int* error);
    // The same through the helper at `helper`, one per adapter; nullptr and the first
    // helper's complaint in `error` when one does not start.
    static std::unique_ptr<RawArpResolver> OpenThroughHelper(const LinkInterfaces& links,
                                                             int aheadRate, const QString& helper,
                                                             QString* error);
    // What a wire is asked to keep to for `rate` first requests a second: room for their
    // repeats, the further requests and the bursts of the workers' own requests, which
    // are not paced, so that requests seldom wait in the helper.
    static int WireRateFor(int rate);
    ~RawArpResolver() override;
    // From the next scan on: `requestsPerSecond`, or 0 for the rate by the range.
    void SetRate(int requestsPerSecond) override;
    bool WaitForKernelTurn() override;
    // Sends through the gate: waits while the last m_gateRate requests left within a
    // second (and a little) of now, then `send`s and notes when it returned.
    template <typename Send> void ThroughGate(Send send);
    // The same without the wait: `send`s when the gate is open, else returns when it
    // opens and sends nothing.
    template <typename Send> std::optional<Clock::time_point> ThroughOpenGate(Send send);

    bool Resolve(quint32 address, const LinkRoute& route, quint64* mac) override;
    void ScanStarting(UpcomingAddressesFn upcoming) override;
    void ScanStopping() override;
    void ScanEnded() override;
    bool Working() const override;
    QString Description() const override;
    QString ScanSummary() const override;
    std::vector<std::shared_ptr<Ipv6EchoRelay>> EchoRelays() const override;

private:
    struct Link {
        LinkInterface info;
        std::shared_ptr<ArpWire> wire; // shared with the IPv6 sweep when it is a helper
    };
    // When to look at one start again (Check: what ArpRounds says is due), or to send a
    // further request whose place in the pace has come (Send).
    struct Timer {
        enum class Kind { Check, Send };
        Clock::time_point due;
        quint32 address;
        quint64 serial;
        Kind kind = Kind::Check;
        bool operator>(const Timer& other) const { return due > other.due; }
    };

    RawArpResolver(const LinkInterfaces& links, int aheadRate);
    // Once every link has its wire.
    bool StartReceiving(int* error);
    std::size_t LinkSlot(int ifindex) const;
    std::optional<SendAheadPacer::Request> RequestFor(quint32 address,
                                                      const LinkRoute& route) const;
    SendAheadPacer::Started Start(const SendAheadPacer::Request& request);
    // A repeat or further request from the receive thread: now, or when the gate opens.
    void SendFromTimer(const SendAheadPacer::Request& request);
    void WakeReceiver();
    void ReceiveLoop();
    void ReadReplies(std::size_t link);
    void RunTimers(Clock::time_point now);
    void RunTimer(const Timer& timer, Clock::time_point now);
    void PushTimer(const Timer& timer);

    std::atomic<int> m_fixedRate; // 0: by the range
    int m_rate = kRate;           // of the last scan
    std::vector<Link> m_links;
    LinkInterfaces m_linkTable;
    QString m_helper; // empty: packet sockets of our own
    int m_wakeFd = -1;
    SendAheadPacer m_pacer;

    mutable std::mutex m_timerMutex; // guards the timers and the rounds
    // The last m_rate requests' times, as they left: a request whose turn in the pace came
    // too close after one that went out late waits here, so that no second on the wire
    // holds more than the rate even when a sender was woken late.
    std::mutex m_gateMutex;
    std::atomic<bool> m_scanStopping{false}; // a kernel turn waits no longer
    std::deque<Clock::time_point> m_sentTimes;
    int m_gateRate = kRate;
    std::priority_queue<Timer, std::vector<Timer>, std::greater<>> m_timers;
    ArpRounds m_rounds;
    // Replies of this scan from a sender MAC no adapter has.
    std::atomic<quint64> m_impossibleMacs{0};
    std::atomic<bool> m_stopping{false};
    std::thread m_receiver;
};
