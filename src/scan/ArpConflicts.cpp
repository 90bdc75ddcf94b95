#include "scan/ArpConflicts.h"

ArpConflictTable g_arpConflicts;

namespace
{

constexpr quint64 kMacBits = 0xFFFFFFFFFFFFull;

} // namespace

void ArpConflictTable::Reset(quint32 first, quint32 last)
{
    std::lock_guard lock(m_mutex);
    // Freed, not only emptied: a flood in the last scan must not keep its buckets.
    std::unordered_map<quint32, Seen>().swap(m_seen);
    m_conflicts = 0;
    m_first = first;
    m_last = last;
}

void ArpConflictTable::Note(quint32 address, quint64 mac)
{
    std::lock_guard lock(m_mutex);
    if (address < m_first || address > m_last)
        return;
    auto it = m_seen.find(address);
    if (it == m_seen.end()) {
        if (m_seen.size() < kMaxAddresses)
            m_seen.emplace(address, Seen{mac, 0});
        return;
    }
    Seen& seen = it->second;
    if (seen.second == 0 && (seen.first & kMacBits) != (mac & kMacBits) &&
        m_conflicts < kMaxConflicts) {
        seen.second = mac;
        ++m_conflicts;
    }
}

quint64 ArpConflictTable::OtherMac(quint32 address, quint64 mac) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_seen.find(address);
    if (it == m_seen.end() || it->second.second == 0)
        return 0;
    return (it->second.first & kMacBits) == (mac & kMacBits) ? it->second.second : it->second.first;
}

std::size_t ArpConflictTable::AddressCount() const
{
    std::lock_guard lock(m_mutex);
    return m_seen.size();
}

std::size_t ArpConflictTable::ConflictCount() const
{
    std::lock_guard lock(m_mutex);
    return m_conflicts;
}
