// When the raw ARP path asks again and gives up: ArpRounds driven on a virtual clock
// over a scripted link that drops and delays requests, as the resolver drives it (first
// requests and further ones share one pace; the repeat has its own timer).

#include "scan/ArpRounds.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <queue>
#include <vector>

namespace
{

using namespace std::chrono_literals;
using Clock = ArpRounds::Clock;
using TimePoint = ArpRounds::TimePoint;
using Kind = ArpRounds::Step::Kind;

// How one host treats its n-th request (0-based): lost, or answered after a delay.
struct Answer {
    bool lost = false;
    Clock::duration delay = 1ms;
};

struct ScriptedHost {
    std::vector<Answer> answers; // past the end: like the last one
    Answer For(std::size_t request) const
    {
        return answers.empty() ? Answer{} : answers[std::min(request, answers.size() - 1)];
    }
};

// What happened to one address.
struct Outcome {
    std::vector<TimePoint> requests;
    std::optional<TimePoint> found;
    std::optional<TimePoint> givenUp;
};

// A scan of `count` addresses from 1, started at `rate` per second, over `hosts`.
class ScriptedScan
{
public:
    ScriptedScan(std::map<quint32, ScriptedHost> hosts, quint32 count, int rate = 500)
        : m_hosts(std::move(hosts)), m_count(count), m_interval(std::chrono::nanoseconds(1s) / rate)
    {
    }

    void Run()
    {
        m_rounds.Reset();
        Push({m_start, Event::Start, 1});
        while (!m_events.empty()) {
            const Event event = m_events.top();
            m_events.pop();
            m_now = event.at;
            switch (event.kind) {
            case Event::Start:
                if (m_now < m_nextSlot) {
                    Push({m_nextSlot, Event::Start, event.address}); // a further one was first
                    break;
                }
                m_nextSlot = m_now + m_interval;
                m_rounds.Asked(event.address, Tag(event.address), m_now);
                Transmit(event.address);
                Push({m_now + ArpRounds::kRepeatAfter, Event::Check, event.address});
                if (event.address < m_count)
                    Push({m_nextSlot, Event::Start, event.address + 1});
                break;
            case Event::Check:
                Check(event.address);
                break;
            case Event::Send:
                if (!m_outcomes[event.address].found)
                    Transmit(event.address);
                break;
            case Event::Reply:
                if (m_rounds.Answered(event.address, Tag(event.address), m_now))
                    m_outcomes[event.address].found = m_now;
                break;
            }
        }
    }

    const Outcome& Of(quint32 address) { return m_outcomes[address]; }
    const ArpRounds& Rounds() const { return m_rounds; }
    TimePoint Start() const { return m_start; }
    TimePoint End() const { return m_now; }
    int Found() const
    {
        int found = 0;
        for (const auto& [address, outcome] : m_outcomes)
            found += outcome.found ? 1 : 0;
        return found;
    }

private:
    struct Event {
        enum Kind { Start, Check, Send, Reply };
        TimePoint at;
        Kind kind;
        quint32 address;
        bool operator>(const Event& other) const { return at > other.at; }
    };

    static quint64 Tag(quint32 address) { return quint64(address) + 1000; }

    void Push(const Event& event) { m_events.push(event); }

    void Transmit(quint32 address)
    {
        Outcome& outcome = m_outcomes[address];
        const std::size_t n = outcome.requests.size();
        outcome.requests.push_back(m_now);
        const auto host = m_hosts.find(address);
        if (host == m_hosts.end())
            return;
        const Answer answer = host->second.For(n);
        if (!answer.lost)
            Push({m_now + answer.delay, Event::Reply, address});
    }

    void Check(quint32 address)
    {
        ArpRounds::Step step = m_rounds.Due(address, Tag(address), m_now);
        switch (step.kind) {
        case Kind::Done:
            if (!m_outcomes[address].found)
                m_outcomes[address].givenUp = m_now;
            return;
        case Kind::Repeat:
            Transmit(address);
            break;
        case Kind::Further: {
            // Its place in the pace, as the pacer gives it.
            const TimePoint slot = std::max(m_now, m_nextSlot);
            m_nextSlot = slot + m_interval;
            step = m_rounds.Sent(address, Tag(address), slot);
            Push({slot, Event::Send, address});
            break;
        }
        case Kind::Wait:
            break;
        }
        // The resolver stops looking at an address once the pacer has given it up.
        if (m_now < step.deadline)
            Push({step.next, Event::Check, address});
        else
            m_outcomes[address].givenUp = m_now;
    }

    std::map<quint32, ScriptedHost> m_hosts;
    quint32 m_count;
    Clock::duration m_interval;
    ArpRounds m_rounds;
    std::priority_queue<Event, std::vector<Event>, std::greater<>> m_events;
    std::map<quint32, Outcome> m_outcomes;
    TimePoint m_start = TimePoint{} + 1h;
    TimePoint m_now = m_start;
    TimePoint m_nextSlot = m_start;
};

// A deterministic coin per (host, request), so a link loses the same requests each run.
bool Coin(quint32 host, std::size_t request, double probability)
{
    quint64 x = quint64(host) << 32 | request;
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    return double(x >> 11) / double(1ull << 53) < probability;
}

// Hosts at every `step`-th address of 1..count that lose each request with `loss`.
std::map<quint32, ScriptedHost> LossyHosts(quint32 count, quint32 step, double loss,
                                           Clock::duration delay = 1ms)
{
    std::map<quint32, ScriptedHost> hosts;
    for (quint32 address = 1; address <= count; address += step) {
        ScriptedHost host;
        for (std::size_t n = 0; n < ArpRounds::kMaxRequests; ++n)
            host.answers.push_back({Coin(address, n, loss), delay});
        hosts[address] = host;
    }
    return hosts;
}

TEST(ArpRounds, OnALinkThatAnswersAtOnceAbsentAddressesGetTwoRequestsAndAreGivenUpAt750ms)
{
    ScriptedScan scan(LossyHosts(254, 10, 0.0), 254);
    scan.Run();
    for (quint32 address = 1; address <= 254; ++address) {
        const Outcome& outcome = scan.Of(address);
        SCOPED_TRACE(address);
        ASSERT_FALSE(outcome.requests.empty());
        if (address % 10 == 1) {
            EXPECT_TRUE(outcome.found);
            EXPECT_EQ(outcome.requests.size(), 1u);
            continue;
        }
        EXPECT_FALSE(outcome.found);
        ASSERT_EQ(outcome.requests.size(), 2u);
        EXPECT_EQ(outcome.requests[1] - outcome.requests[0], 250ms);
        ASSERT_TRUE(outcome.givenUp);
        EXPECT_EQ(*outcome.givenUp - outcome.requests[0], 750ms);
    }
    EXPECT_EQ(scan.Rounds().EstimatedLoss(), 0.0);
    EXPECT_EQ(scan.Rounds().Totals().further, 0u);
    EXPECT_EQ(scan.Rounds().GiveUpAfter(), 750ms);
}

TEST(ArpRounds, TheShareOfHostsThatAnsweredOnlyARepeatEstimatesTheLoss)
{
    // Many hosts, so that the estimate is not the luck of a few: from what the scan has
    // seen, a bit above the true loss but never below it by much.
    for (const double loss : {0.05, 0.2, 0.4}) {
        SCOPED_TRACE(loss);
        ScriptedScan scan(LossyHosts(4000, 2, loss), 4000, 2000);
        scan.Run();
        const double estimate = scan.Rounds().EstimatedLoss();
        EXPECT_GE(estimate, loss * 0.8);
        EXPECT_LE(estimate, loss * 1.4 + 0.01);
    }
}

TEST(ArpRounds, FurtherRoundsFindTheHostsOfALossyLinkAndStopAtTheCap)
{
    ScriptedScan scan(LossyHosts(254, 5, 0.2), 254);
    scan.Run();
    int foundByTwo = 0;
    for (quint32 address = 1; address <= 254; ++address) {
        const Outcome& outcome = scan.Of(address);
        SCOPED_TRACE(address);
        ASSERT_LE(outcome.requests.size(), std::size_t(ArpRounds::kMaxRequests));
        for (std::size_t n = 1; n < outcome.requests.size(); ++n)
            EXPECT_GE(outcome.requests[n] - outcome.requests[n - 1], ArpRounds::kRepeatAfter);
        if (address % 5 != 1)
            continue;
        // A host is found exactly when one of the requests it was sent came through.
        bool through = false;
        for (std::size_t n = 0; n < outcome.requests.size(); ++n)
            through = through || !Coin(address, n, 0.2);
        EXPECT_EQ(bool(outcome.found), through);
        foundByTwo += Coin(address, 0, 0.2) && Coin(address, 1, 0.2) ? 0 : 1;
    }
    // Two requests alone would have missed every host that lost both; further rounds
    // went out and found more than that.
    EXPECT_GT(scan.Rounds().Totals().further, 0u);
    EXPECT_GT(scan.Found(), foundByTwo);
    EXPECT_GE(scan.Found(), 50);
    EXPECT_EQ(scan.Rounds().Totals().answered, quint64(scan.Found()));
}

TEST(ArpRounds, NoFurtherRoundWhenFewerThanHalfAHostIsExpectedToBeMissed)
{
    // One host in 100 answers only the repeat: a loss estimate near 1 %, and 200
    // unanswered addresses times 1 % squared is far below one half.
    std::map<quint32, ScriptedHost> hosts;
    for (quint32 address = 1; address <= 300; address += 3)
        hosts[address] = ScriptedHost{{{address == 151, 1ms}, {false, 1ms}}};
    ScriptedScan scan(hosts, 300);
    scan.Run();
    EXPECT_EQ(scan.Found(), 100);
    EXPECT_GT(scan.Rounds().EstimatedLoss(), 0.0);
    EXPECT_LT(scan.Rounds().ExpectedMissed(2), ArpRounds::kWorthAnotherRound);
    EXPECT_EQ(scan.Rounds().Totals().further, 0u);
    for (quint32 address = 2; address <= 300; address += 3)
        EXPECT_EQ(scan.Of(address).requests.size(), 2u) << address;
}

TEST(ArpRounds, FurtherRequestsTakeTheirTurnInThePaceOfTheFirstOnes)
{
    ScriptedScan lossy(LossyHosts(254, 5, 0.3), 254);
    lossy.Run();
    // Every paced request (first or further, not the repeat) keeps the pace's spacing.
    std::vector<TimePoint> paced;
    for (quint32 address = 1; address <= 254; ++address) {
        const auto& requests = lossy.Of(address).requests;
        for (std::size_t n = 0; n < requests.size(); ++n)
            if (n != 1)
                paced.push_back(requests[n]);
    }
    std::sort(paced.begin(), paced.end());
    for (std::size_t i = 1; i < paced.size(); ++i)
        ASSERT_GE(paced[i] - paced[i - 1], 2ms) << i;
    EXPECT_GT(paced.size(), 254u);
}

TEST(ArpRounds, TheGiveUpFollowsTheSlowestRepliesSeenWithinItsLimits)
{
    // The first hosts answer after 700 ms: in time for the first give-up (750 ms), 450 ms
    // after the repeat, which lifts the give-up to twice that. A host further on that
    // answers after 850 ms is then found too; on a scan without the slow hosts it is not.
    const auto slow = [](Clock::duration delay) { return ScriptedHost{{{false, delay}}}; };
    std::map<quint32, ScriptedHost> hosts{{1, slow(700ms)}, {2, slow(700ms)}, {200, slow(850ms)}};
    ScriptedScan scan(hosts, 254);
    scan.Run();
    EXPECT_TRUE(scan.Of(1).found);
    EXPECT_TRUE(scan.Of(200).found);
    EXPECT_EQ(scan.Rounds().Totals().longestDelay, 450ms);
    EXPECT_EQ(scan.Rounds().GiveUpAfter(), 900ms);

    ScriptedScan alone({{200, slow(850ms)}}, 254);
    alone.Run();
    EXPECT_FALSE(alone.Of(200).found);
    EXPECT_EQ(alone.Rounds().GiveUpAfter(), 750ms);

    // However slow the link, an address is given up within 3 s of its last request.
    std::map<quint32, ScriptedHost> crawling;
    for (quint32 address = 1; address <= 254; address += 2)
        crawling[address] = slow(2900ms);
    ScriptedScan crawl(crawling, 254);
    crawl.Run();
    EXPECT_LE(crawl.Rounds().GiveUpAfter(), ArpRounds::kMaxGiveUp);
    for (quint32 address = 2; address <= 254; address += 2) {
        const Outcome& outcome = crawl.Of(address);
        ASSERT_TRUE(outcome.givenUp) << address;
        EXPECT_LE(*outcome.givenUp - outcome.requests.back(), ArpRounds::kMaxGiveUp) << address;
    }
}

TEST(ArpRounds, ALaterStartOrAnotherTagChangesNothingOfAnEarlierOne)
{
    ArpRounds rounds;
    const TimePoint t0 = TimePoint{} + 1h;
    rounds.Asked(7, 1, t0);
    rounds.Asked(7, 2, t0 + 100ms); // the address was started again
    EXPECT_EQ(rounds.Due(7, 1, t0 + 250ms).kind, Kind::Done);
    EXPECT_FALSE(rounds.Answered(7, 1, t0 + 260ms));
    EXPECT_EQ(rounds.Due(7, 2, t0 + 350ms).kind, Kind::Repeat);
    EXPECT_TRUE(rounds.Answered(7, 2, t0 + 360ms));
    EXPECT_FALSE(rounds.Answered(7, 2, t0 + 370ms)) << "a second reply counts once";
    EXPECT_EQ(rounds.Totals().answered, 1u);
    EXPECT_EQ(rounds.Totals().answeredLate, 1u);
    // A reply after the give-up is not taken.
    rounds.Asked(8, 3, t0);
    EXPECT_FALSE(rounds.Answered(8, 3, t0 + 750ms));
}

TEST(ArpRounds, ARepeatThatWaitsForItsTurnInThePaceMovesTheGiveUpWithIt)
{
    ArpRounds rounds;
    const TimePoint t0 = TimePoint{} + 1h;
    rounds.Asked(7, 1, t0);
    ASSERT_EQ(rounds.Due(7, 1, t0 + 250ms).kind, Kind::Repeat);
    // At a gentle rate the repeat's turn comes two seconds on.
    const ArpRounds::Step delayed = rounds.Delayed(7, 1, t0 + 2s);
    EXPECT_EQ(delayed.deadline, t0 + 2500ms);
    EXPECT_EQ(delayed.next, t0 + 2250ms);
    EXPECT_EQ(rounds.Due(7, 1, t0 + 1s).kind, Kind::Wait) << "not given up before it goes";
    EXPECT_TRUE(rounds.Answered(7, 1, t0 + 2100ms));
}

} // namespace
