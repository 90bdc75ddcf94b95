#pragma once

#include <QString>
#include <QtGlobal>
#include <deque>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

// What a watch learns over time: every address pair (IPv4 address and the MAC that
// answered for it) seen, when first and last, and the events its sightings make.
//
// A sighting becomes, against what the database knows (which wins where it knows the
// host) and else against this history:
// - mac-changed: the address was last seen, or is known, with another MAC (this beats
//   `new`, even for a MAC never seen before);
// - ip-changed: the MAC was last seen, or is known, at another address;
// - new: neither the address nor the MAC was ever seen or known.
// Each pair reports its change once: seeing it again, at later sweeps or after a flip to
// another pair and back, says nothing more. A host missed by `goneAfter` sweeps in a
// row is `gone`, and `back` when it is seen again. The first sweep of an empty history is
// the baseline: one event with the number of hosts, and no `new` events.
//
// Bounded whatever the link shows: at most kMaxPairs pairs (the one seen longest ago goes
// first) and kMaxEvents events (the oldest go first). Not thread-safe: one owner.

enum class WatchEventKind { Baseline, New, IpChanged, MacChanged, Gone, Back };

// "baseline", "new", "ip-changed", "mac-changed", "gone", "back".
QString WatchEventKeyword(WatchEventKind kind);
std::optional<WatchEventKind> WatchEventKindOf(const QString& keyword);

struct WatchEvent {
    qint64 time = 0; // milliseconds since the epoch, UTC
    WatchEventKind kind = WatchEventKind::New;
    quint32 ip = 0;  // network byte order, as the records hold it
    quint64 mac = 0; // MAC value, top 16 bits all ones
    // The earlier address (IpChanged) or MAC (MacChanged), 0 for the other kinds.
    quint32 previousIp = 0;
    quint64 previousMac = 0;
    int hosts = 0; // Baseline: the hosts the first sweep found
};

// One address pair of the history.
struct WatchPair {
    quint32 ip = 0;
    quint64 mac = 0;
    qint64 firstSeen = 0;
    qint64 lastSeen = 0;
    int sweepsSeen = 0;   // sweeps that found it
    int sweepsMissed = 0; // sweeps in a row that did not
    bool gone = false;
    qint64 goneSince = 0;
    // Another pair has taken its address or its MAC since it was last seen: it is that
    // host's past, neither online nor ever gone.
    bool superseded = false;
};

// What the database knows: the MAC of an address, the address of a MAC.
struct KnownHosts {
    std::function<std::optional<quint64>(quint32 ip)> macOf;
    std::function<std::optional<quint32>(quint64 mac)> ipOf;
};

class WatchHistory
{
public:
    static constexpr size_t kMaxPairs = 100000;
    static constexpr size_t kMaxEvents = 100000;
    static constexpr int kDefaultGoneAfter = 3;

    explicit WatchHistory(int goneAfter = kDefaultGoneAfter, size_t maxPairs = kMaxPairs,
                          size_t maxEvents = kMaxEvents);

    void SetKnownHosts(KnownHosts known) { m_known = std::move(known); }
    // Pairs from an earlier watch (the database file's history): no baseline then.
    void Restore(const std::vector<WatchPair>& pairs);

    // A sighting between sweeps (a frame heard on the link) or within one, `now` being
    // when it was made (a sweep's: when the sweep began). One older than a pair of the
    // same address or MAC seen since counts as seen and changes nothing. Returns the
    // events it made, which are also kept.
    std::vector<WatchEvent> Sight(quint32 ip, quint64 mac, qint64 now);

    // A sweep: BeginSweep, then a Sight for each host it found, then EndSweep with a test
    // of which addresses the sweep covered. EndSweep counts the missed pairs and returns
    // the baseline, gone events.
    void BeginSweep();
    std::vector<WatchEvent> EndSweep(qint64 now, const std::function<bool(quint32 ip)>& covered);

    const std::deque<WatchEvent>& Events() const { return m_events; }
    // Every pair, in no particular order.
    std::vector<WatchPair> Pairs() const;
    const WatchPair* Find(quint32 ip, quint64 mac) const;
    size_t PairCount() const { return m_pairs.size(); }
    bool BaselineDone() const { return m_baselineDone; }

private:
    struct Entry {
        WatchPair pair;
        bool seenThisSweep = false;
        // The sighting that made its change event was this pair's: it does not report again.
        bool reported = false;
    };
    struct Key {
        quint32 ip;
        quint64 mac;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& key) const
        {
            return std::hash<quint64>()(key.mac * 0x9E3779B97F4A7C15ull ^ key.ip);
        }
    };
    // The change events of a sighting of `ip` at `mac`: against the database where it
    // knows the address (or the MAC), else against the latest pair of the history.
    std::vector<WatchEvent> Changes(quint32 ip, quint64 mac, qint64 now, bool* known) const;
    void Keep(std::vector<WatchEvent>& made, const WatchEvent& event);
    // Another pair of the address or the MAC was seen after `now`.
    bool Outdated(const Key& key, qint64 now) const;
    // `current` is now the latest pair of its address and of its MAC.
    void MakeLatest(const Key& current);
    void DropOldest();

    int m_goneAfter;
    size_t m_maxPairs;
    size_t m_maxEvents;
    KnownHosts m_known;
    // Pairs by their key; the latest pair of each address and of each MAC.
    std::unordered_map<Key, Entry, KeyHash> m_pairs;
    std::unordered_map<quint32, Key> m_latestOfIp;
    std::unordered_map<quint64, Key> m_latestOfMac;
    std::deque<WatchEvent> m_events;
    bool m_inSweep = false;
    bool m_baselineDone = false;
};
