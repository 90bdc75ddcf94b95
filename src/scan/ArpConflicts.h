#pragma once

// Which addresses more than one MAC answered ARP for during a scan. The resolver that
// sees every reply on the wire notes each one; workers and the end of the scan ask.
//
// Anyone on the link can send replies from any address, as fast as the link carries
// them, so the table keeps only addresses of the scan's range, and only so many: past
// kMaxAddresses a reply for an address not yet seen is dropped, and past kMaxConflicts
// so is a second MAC. A flood then costs a few MB at most, whatever the scan's size.

#include <QtGlobal>
#include <mutex>
#include <unordered_map>

class ArpConflictTable
{
public:
    static constexpr std::size_t kMaxAddresses = 65536;
    static constexpr std::size_t kMaxConflicts = 4096;

    // Forgets every reply: a new scan of `first`..`last` (host byte order) starts.
    void Reset(quint32 first = 0, quint32 last = 0xFFFFFFFFu);

    // A reply said `address` (host byte order) is at `mac` (MAC value).
    void Note(quint32 address, quint64 mac);

    // A MAC other than `mac` that answered for `address`, 0 when none did.
    quint64 OtherMac(quint32 address, quint64 mac) const;

    // Addresses noted, and of them those with a second MAC.
    std::size_t AddressCount() const;
    std::size_t ConflictCount() const;

private:
    // The first two different MACs of each address; later ones add nothing to show.
    struct Seen {
        quint64 first = 0;
        quint64 second = 0;
    };
    mutable std::mutex m_mutex;
    std::unordered_map<quint32, Seen> m_seen;
    std::size_t m_conflicts = 0;
    quint32 m_first = 0;
    quint32 m_last = 0xFFFFFFFFu;
};

// The table of the running scan.
extern ArpConflictTable g_arpConflicts;
