#include "records/WatchHistory.h"

#include <algorithm>

QString WatchEventKeyword(WatchEventKind kind)
{
    switch (kind) {
    case WatchEventKind::Baseline:
        return QStringLiteral("baseline");
    case WatchEventKind::New:
        return QStringLiteral("new");
    case WatchEventKind::IpChanged:
        return QStringLiteral("ip-changed");
    case WatchEventKind::MacChanged:
        return QStringLiteral("mac-changed");
    case WatchEventKind::Gone:
        return QStringLiteral("gone");
    case WatchEventKind::Back:
        return QStringLiteral("back");
    }
    return QString();
}

std::optional<WatchEventKind> WatchEventKindOf(const QString& keyword)
{
    for (const WatchEventKind kind :
         {WatchEventKind::Baseline, WatchEventKind::New, WatchEventKind::IpChanged,
          WatchEventKind::MacChanged, WatchEventKind::Gone, WatchEventKind::Back})
        if (WatchEventKeyword(kind) == keyword)
            return kind;
    return std::nullopt;
}

WatchHistory::WatchHistory(int goneAfter, size_t maxPairs, size_t maxEvents)
    : m_goneAfter(std::max(1, goneAfter)), m_maxPairs(std::max<size_t>(1, maxPairs)),
      m_maxEvents(std::max<size_t>(1, maxEvents))
{
}

void WatchHistory::Restore(const std::vector<WatchPair>& pairs)
{
    std::vector<const WatchPair*> byTime;
    for (const WatchPair& pair : pairs)
        byTime.push_back(&pair);
    // The latest pair of an address or a MAC is the one seen last.
    std::sort(byTime.begin(), byTime.end(),
              [](const WatchPair* a, const WatchPair* b) { return a->lastSeen < b->lastSeen; });
    for (const WatchPair* pair : byTime) {
        const Key key{pair->ip, pair->mac};
        Entry& entry = m_pairs[key];
        entry.pair = *pair;
        entry.reported = true;
        MakeLatest(key);
    }
    if (!m_pairs.empty())
        m_baselineDone = true;
    DropOldest();
}

std::vector<WatchEvent> WatchHistory::Changes(quint32 ip, quint64 mac, qint64 now,
                                              bool* known) const
{
    std::optional<quint64> macOfIp = m_known.macOf ? m_known.macOf(ip) : std::nullopt;
    if (!macOfIp) {
        if (const auto latest = m_latestOfIp.find(ip); latest != m_latestOfIp.end())
            macOfIp = latest->second.mac;
    }
    std::optional<quint32> ipOfMac = m_known.ipOf ? m_known.ipOf(mac) : std::nullopt;
    if (!ipOfMac) {
        if (const auto latest = m_latestOfMac.find(mac); latest != m_latestOfMac.end())
            ipOfMac = latest->second.ip;
    }
    *known = macOfIp || ipOfMac;
    std::vector<WatchEvent> changes;
    if (macOfIp && *macOfIp != mac)
        changes.push_back({now, WatchEventKind::MacChanged, ip, mac, 0, *macOfIp, 0});
    if (ipOfMac && *ipOfMac != ip)
        changes.push_back({now, WatchEventKind::IpChanged, ip, mac, *ipOfMac, 0, 0});
    return changes;
}

bool WatchHistory::Outdated(const Key& key, qint64 now) const
{
    const auto newer = [&](const Key* latest) {
        if (!latest || *latest == key)
            return false;
        const auto pair = m_pairs.find(*latest);
        return pair != m_pairs.end() && pair->second.pair.lastSeen > now;
    };
    const auto ofIp = m_latestOfIp.find(key.ip);
    const auto ofMac = m_latestOfMac.find(key.mac);
    return newer(ofIp == m_latestOfIp.end() ? nullptr : &ofIp->second) ||
           newer(ofMac == m_latestOfMac.end() ? nullptr : &ofMac->second);
}

std::vector<WatchEvent> WatchHistory::Sight(quint32 ip, quint64 mac, qint64 now)
{
    std::vector<WatchEvent> made;
    const Key key{ip, mac};
    if (Outdated(key, now)) {
        // What a sweep found before the link said otherwise (a host that changed while the
        // sweep ran): the host was there, and its newer pair stays the latest.
        const auto [it, fresh] = m_pairs.try_emplace(key);
        Entry& entry = it->second;
        if (fresh)
            entry.pair = {ip, mac, now, now, 0, 0, false, 0, true};
        if (m_inSweep && !entry.seenThisSweep) {
            entry.seenThisSweep = true;
            ++entry.pair.sweepsSeen;
        }
        DropOldest();
        return made;
    }
    bool known = false;
    const std::vector<WatchEvent> changes = Changes(ip, mac, now, &known);
    auto it = m_pairs.find(key);
    if (it == m_pairs.end()) {
        Entry entry;
        entry.pair.ip = ip;
        entry.pair.mac = mac;
        entry.pair.firstSeen = now;
        // A pair the history or the database knew nothing of is new, except in the
        // baseline, which only counts.
        if (!known && m_baselineDone)
            Keep(made, {now, WatchEventKind::New, ip, mac, 0, 0, 0});
        it = m_pairs.emplace(key, entry).first;
    }
    Entry& entry = it->second;
    if (!entry.reported && !changes.empty()) {
        for (const WatchEvent& change : changes)
            Keep(made, change);
        entry.reported = true;
    }
    WatchPair& pair = entry.pair;
    pair.lastSeen = now;
    pair.sweepsMissed = 0;
    pair.superseded = false;
    if (m_inSweep && !entry.seenThisSweep) {
        entry.seenThisSweep = true;
        ++pair.sweepsSeen;
    }
    if (pair.gone) {
        pair.gone = false;
        pair.goneSince = 0;
        Keep(made, {now, WatchEventKind::Back, ip, mac, 0, 0, 0});
    }
    MakeLatest(key);
    DropOldest();
    return made;
}

void WatchHistory::MakeLatest(const Key& current)
{
    // The pairs the new one takes the address or the MAC of are that host's past.
    for (const auto* latest : {&m_latestOfIp[current.ip], &m_latestOfMac[current.mac]}) {
        if (latest->ip == 0 && latest->mac == 0)
            continue;
        if (*latest == current)
            continue;
        if (const auto old = m_pairs.find(*latest); old != m_pairs.end())
            old->second.pair.superseded = true;
    }
    m_latestOfIp[current.ip] = current;
    m_latestOfMac[current.mac] = current;
}

void WatchHistory::BeginSweep()
{
    m_inSweep = true;
    for (auto& [key, entry] : m_pairs)
        entry.seenThisSweep = false;
}

std::vector<WatchEvent> WatchHistory::EndSweep(qint64 now,
                                               const std::function<bool(quint32 ip)>& covered)
{
    std::vector<WatchEvent> made;
    int online = 0;
    for (auto& [key, entry] : m_pairs) {
        WatchPair& pair = entry.pair;
        if (pair.superseded)
            continue;
        if (!entry.seenThisSweep && !pair.gone && covered && covered(pair.ip) &&
            ++pair.sweepsMissed >= m_goneAfter) {
            pair.gone = true;
            pair.goneSince = now;
            Keep(made, {now, WatchEventKind::Gone, pair.ip, pair.mac, 0, 0, 0});
        }
        online += !pair.gone;
        entry.seenThisSweep = false;
    }
    m_inSweep = false;
    if (!m_baselineDone) {
        m_baselineDone = true;
        Keep(made, {now, WatchEventKind::Baseline, 0, 0, 0, 0, online});
    }
    return made;
}

void WatchHistory::Keep(std::vector<WatchEvent>& made, const WatchEvent& event)
{
    made.push_back(event);
    m_events.push_back(event);
    while (m_events.size() > m_maxEvents)
        m_events.pop_front();
}

void WatchHistory::DropOldest()
{
    if (m_pairs.size() <= m_maxPairs)
        return;
    // A tenth of the room at once, so that a flood of new MACs sorts the pairs once per
    // many sightings instead of once per sighting.
    const size_t keep = m_maxPairs - std::max<size_t>(1, m_maxPairs / 10);
    std::vector<std::pair<qint64, Key>> byTime;
    byTime.reserve(m_pairs.size());
    for (const auto& [key, entry] : m_pairs)
        byTime.emplace_back(entry.pair.lastSeen, key);
    const size_t drop = byTime.size() - keep;
    std::nth_element(byTime.begin(), byTime.begin() + std::ptrdiff_t(drop), byTime.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < drop; ++i) {
        const Key& key = byTime[i].second;
        m_pairs.erase(key);
        if (const auto it = m_latestOfIp.find(key.ip);
            it != m_latestOfIp.end() && it->second == key)
            m_latestOfIp.erase(it);
        if (const auto it = m_latestOfMac.find(key.mac);
            it != m_latestOfMac.end() && it->second == key)
            m_latestOfMac.erase(it);
    }
}

std::vector<WatchPair> WatchHistory::Pairs() const
{
    std::vector<WatchPair> pairs;
    pairs.reserve(m_pairs.size());
    for (const auto& [key, entry] : m_pairs)
        pairs.push_back(entry.pair);
    return pairs;
}

const WatchPair* WatchHistory::Find(quint32 ip, quint64 mac) const
{
    const auto it = m_pairs.find(Key{ip, mac});
    return it == m_pairs.end() ? nullptr : &it->second.pair;
}
