#pragma once

// Which addresses more than one MAC answered ARP for during a scan. The resolver that
// sees every reply on the wire notes each one; workers and the end of the scan ask.

#include <QtGlobal>
#include <mutex>
#include <unordered_map>

class ArpConflictTable
{
public:
    // Forgets every reply: a new scan starts.
    void Reset();

    // A reply said `address` (host byte order) is at `mac` (MAC value).
    void Note(quint32 address, quint64 mac);

    // A MAC other than `mac` that answered for `address`, 0 when none did.
    quint64 OtherMac(quint32 address, quint64 mac) const;

private:
    // The first two different MACs of each address; later ones add nothing to show.
    struct Seen {
        quint64 first = 0;
        quint64 second = 0;
    };
    mutable std::mutex m_mutex;
    std::unordered_map<quint32, Seen> m_seen;
};

// The table of the running scan.
extern ArpConflictTable g_arpConflicts;
