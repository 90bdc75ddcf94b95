#include "RecordTestUtil.h"
#include "records/WatchHistory.h"

#include <QtEndian>
#include <gtest/gtest.h>

namespace
{

const quint32 kA = IpOf("198.18.0.10");
const quint32 kB = IpOf("198.18.0.11");
const quint32 kC = IpOf("198.18.0.12");
const quint64 kX = MacOf("02:00:00:00:00:0a");
const quint64 kY = MacOf("02:00:00:00:00:0b");
const quint64 kZ = MacOf("02:00:00:00:00:0c");

std::vector<WatchEventKind> Kinds(const std::vector<WatchEvent>& events)
{
    std::vector<WatchEventKind> kinds;
    for (const WatchEvent& event : events)
        kinds.push_back(event.kind);
    return kinds;
}

// One sweep that finds `hosts`, over the whole lab range.
std::vector<WatchEvent> Sweep(WatchHistory& history, qint64 now,
                              std::initializer_list<std::pair<quint32, quint64>> hosts)
{
    history.BeginSweep();
    std::vector<WatchEvent> made;
    for (const auto& [ip, mac] : hosts)
        for (const WatchEvent& event : history.Sight(ip, mac, now))
            made.push_back(event);
    for (const WatchEvent& event : history.EndSweep(now, [](quint32) { return true; }))
        made.push_back(event);
    return made;
}

using K = WatchEventKind;

} // namespace

TEST(WatchHistory, TheBaselineCountsAndThenEachChangeIsReportedOnce)
{
    WatchHistory history(2);
    const std::vector<WatchEvent> baseline = Sweep(history, 1000, {{kA, kX}, {kB, kY}});
    ASSERT_EQ(Kinds(baseline), std::vector<K>{K::Baseline});
    EXPECT_EQ(baseline[0].hosts, 2);

    // A new host between sweeps; the address of a known host answered by a MAC never
    // seen is a MAC change, not a new host; a known MAC at another address moved.
    EXPECT_EQ(Kinds(history.Sight(kC, kZ, 2000)), std::vector<K>{K::New});
    const std::vector<WatchEvent> changed = history.Sight(kA, MacOf("02:00:00:00:00:ff"), 3000);
    ASSERT_EQ(Kinds(changed), std::vector<K>{K::MacChanged});
    EXPECT_EQ(changed[0].previousMac, kX);
    const std::vector<WatchEvent> moved = history.Sight(IpOf("198.18.0.20"), kY, 3000);
    ASSERT_EQ(Kinds(moved), std::vector<K>{K::IpChanged});
    EXPECT_EQ(moved[0].previousIp, kB);

    // Seen again at the next sweeps: nothing more, and the hosts whose pairs were taken
    // over are not gone.
    const auto again = {std::pair{kA, MacOf("02:00:00:00:00:ff")},
                        std::pair{IpOf("198.18.0.20"), kY}, std::pair{kC, kZ}};
    EXPECT_TRUE(Sweep(history, 4000, again).empty());
    EXPECT_TRUE(Sweep(history, 5000, again).empty());
    EXPECT_EQ(history.Events().size(), 4u);
}

TEST(WatchHistory, AHostMissedNSweepsIsGoneOnceAndBackWhenHeard)
{
    WatchHistory history(3);
    Sweep(history, 0, {{kA, kX}, {kB, kY}});
    EXPECT_TRUE(Sweep(history, 1, {{kA, kX}}).empty());
    EXPECT_TRUE(Sweep(history, 2, {{kA, kX}}).empty());
    const std::vector<WatchEvent> gone = Sweep(history, 3, {{kA, kX}});
    ASSERT_EQ(Kinds(gone), std::vector<K>{K::Gone});
    EXPECT_EQ(gone[0].ip, kB);
    EXPECT_TRUE(history.Find(kB, kY)->gone);
    EXPECT_TRUE(Sweep(history, 4, {{kA, kX}}).empty());
    // Heard between sweeps: back at once, and a sweep that does not cover it counts nothing.
    EXPECT_EQ(Kinds(history.Sight(kB, kY, 5)), std::vector<K>{K::Back});
    history.BeginSweep();
    EXPECT_TRUE(history.EndSweep(6, [](quint32 ip) { return ip == kA; }).empty());
    EXPECT_EQ(history.Find(kB, kY)->sweepsMissed, 0);
}

TEST(WatchHistory, ASweepsFindingOlderThanAFrameHeardSinceChangesNothing)
{
    WatchHistory history(1);
    Sweep(history, 0, {{kA, kX}});
    // The sweep began at 10; at 15 the host announced another MAC; the sweep then
    // reports the MAC it met at its start.
    history.BeginSweep();
    EXPECT_EQ(Kinds(history.Sight(kA, kY, 15)), std::vector<K>{K::MacChanged});
    EXPECT_TRUE(history.Sight(kA, kX, 10).empty());
    EXPECT_TRUE(history.EndSweep(20, [](quint32) { return true; }).empty());
    EXPECT_FALSE(history.Find(kA, kY)->superseded);
    EXPECT_TRUE(history.Find(kA, kX)->superseded);
}

TEST(WatchHistory, TheDatabaseWinsOverTheHistoryAndARestoredHistoryHasNoBaseline)
{
    WatchHistory history;
    history.Restore({{kA, kX, 0, 10, 1, 0, false, 0, false}});
    // The database knows kA with kY, but the restored pair was reported by the watch that
    // saw it; an address only the database knows is no new host.
    history.SetKnownHosts({[](quint32 ip) -> std::optional<quint64> {
                               if (ip == kA)
                                   return kY;
                               if (ip == kC)
                                   return kZ;
                               return std::nullopt;
                           },
                           [](quint64) -> std::optional<quint32> { return std::nullopt; }});
    const std::vector<WatchEvent> first = Sweep(history, 20, {{kA, kX}, {kC, kZ}});
    EXPECT_EQ(Kinds(first), std::vector<K>{});
    EXPECT_EQ(Kinds(history.Sight(kB, kZ, 30)), std::vector<K>{K::IpChanged})
        << "kZ belongs to kC in the history";
}

TEST(WatchHistory, AFloodOfRandomSendersKeepsPairsAndEventsBounded)
{
    WatchHistory history(3, 1000, 500);
    Sweep(history, 0, {{kA, kX}});
    for (quint32 i = 0; i < 20000; ++i)
        history.Sight(qToBigEndian(qFromBigEndian(IpOf("198.18.0.0")) + i % 65536),
                      MacOf("02:00:00:00:00:00") + i, qint64(i + 1));
    EXPECT_LE(history.PairCount(), 1000u);
    EXPECT_EQ(history.Events().size(), 500u);
    // The newest are kept.
    EXPECT_EQ(history.Events().back().time, 20000);
}
