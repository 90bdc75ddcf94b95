#include "scan/ArpConflicts.h"

ArpConflictTable g_arpConflicts;

namespace
{

constexpr quint64 kMacBits = 0xFFFFFFFFFFFFull;

} // namespace

void ArpConflictTable::Reset()
{
    std::lock_guard lock(m_mutex);
    m_seen.clear();
}

void ArpConflictTable::Note(quint32 address, quint64 mac)
{
    std::lock_guard lock(m_mutex);
    Seen& seen = m_seen[address];
    if (seen.first == 0)
        seen.first = mac;
    else if (seen.second == 0 && (seen.first & kMacBits) != (mac & kMacBits))
        seen.second = mac;
}

quint64 ArpConflictTable::OtherMac(quint32 address, quint64 mac) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_seen.find(address);
    if (it == m_seen.end() || it->second.second == 0)
        return 0;
    return (it->second.first & kMacBits) == (mac & kMacBits) ? it->second.second : it->second.first;
}
