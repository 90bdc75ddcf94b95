#pragma once

#include <QString>
#include <QtGlobal>
#include <array>
#include <chrono>
#include <optional>
#include <unordered_map>

// When the ARP requests of one scan go out, and when an address counts as not found.
//
// Every address gets a request and, kRepeatAfter later, one repeat. On a link where every
// host answers the first request that is all: the address is given up kMinGiveUp after
// its first request. A link that loses requests shows it in the hosts that answered only
// a repeat; their share estimates the loss of one request. As long as the hosts still
// expected to be missed (addresses without an answer times the estimated loss of every
// request they were sent) come to at least one half, an address without an answer gets
// a further request kRepeatAfter after its last, up to kMaxRequests in all. A link with
// slow hosts shows it in the delays of the replies: an address is given up no earlier
// than twice the longest delay seen in the scan, within kMinGiveUp and kMaxGiveUp, after
// its first request, and that long less one repeat interval after its last.
//
// The caller owns the clock and the wire: it reports what it sent and received and asks
// what is due. Each start of an address carries the caller's tag; a call with another
// tag than the address's latest start is about an earlier start and changes nothing.
// Not thread-safe; one scan at a time.
class ArpRounds
{
public:
    using Clock = std::chrono::steady_clock;
    using Duration = Clock::duration;
    using TimePoint = Clock::time_point;

    static constexpr std::chrono::milliseconds kRepeatAfter{250};
    static constexpr std::chrono::milliseconds kMinGiveUp{750};
    static constexpr std::chrono::milliseconds kMaxGiveUp{3000};
    static constexpr int kMaxRequests = 4;
    // Below this many hosts still expected to be missed, no further round is sent.
    static constexpr double kWorthAnotherRound = 0.5;
    // How often an address that was not worth another request is looked at again.
    static constexpr std::chrono::milliseconds kRecheck{50};

    // What Due asks of the caller for one address.
    struct Step {
        enum class Kind {
            Repeat,  // send the repeat now
            Further, // send one more request, paced with the first requests
            Wait,    // nothing to send now
            Done,    // given up (or not awaited): forget the address
        };
        Kind kind = Kind::Done;
        TimePoint deadline; // when the address counts as not found (Repeat, Further, Wait)
        TimePoint next;     // when to ask Due again (Repeat, Further, Wait)
    };

    // A new scan: forgets every address and every estimate.
    void Reset();

    // The first request for `address` went out at `now`. Returns its deadline.
    TimePoint Asked(quint32 address, quint64 tag, TimePoint now);

    // What is due for `address` at `now`. For Further the caller picks when the request
    // goes out (its place in the pace, not before `now`) and reports it with Sent.
    Step Due(quint32 address, quint64 tag, TimePoint now);

    // A further request for `address` goes out at `at` (now or later). Returns the new
    // deadline and when to ask Due next.
    Step Sent(quint32 address, quint64 tag, TimePoint at);

    // The request Due asked for (a Repeat) goes out at `at`, its turn in the pace, rather
    // than when Due was asked. Returns the new deadline and when to ask Due next.
    Step Delayed(quint32 address, quint64 tag, TimePoint at);

    // `address` answered at `now`. False when it is not awaited (never asked, answered
    // before, or given up), and nothing is counted.
    bool Answered(quint32 address, quint64 tag, TimePoint now);

    // The caller settled `address` otherwise (a stop): nothing more is due for it.
    void Forget(quint32 address, quint64 tag);

    // The estimates, from what the scan has seen so far.
    double EstimatedLoss() const;
    Duration GiveUpAfter() const;
    double ExpectedMissed(int requests) const;

    struct Summary {
        quint64 asked = 0;        // addresses sent a first request
        quint64 answered = 0;     // of them, answered
        quint64 answeredLate = 0; // of those, only after a repeat
        quint64 further = 0;      // requests beyond the repeat
        quint64 furtherAddresses = 0;
        int mostRequests = 0; // the most any address was sent
        Duration longestDelay{};
    };
    Summary Totals() const { return m_totals; }
    // One line for the verbose report.
    QString Describe() const;

private:
    struct Address {
        std::array<TimePoint, kMaxRequests> sent{};
        int count = 0; // requests sent or placed in the pace
        quint64 tag = 0;
    };

    TimePoint DeadlineOf(const Address& address) const;
    Step Next(const Address& address, Step::Kind kind, TimePoint now) const;

    std::unordered_map<quint32, Address> m_addresses;
    Summary m_totals;
};
