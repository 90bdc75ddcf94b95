#pragma once

#include <QtGlobal>
#include <mutex>

// The cursor of the running scan: addresses in host byte order, `last` inclusive.
// Guarded by g_scanRangeMutex, a lock of its own: a worker that is preempted while it
// takes an address never holds up the window's drawing of the rows. `next` runs one past `last`
// once every address has been handed out; `exhausted` says so even when that step wrapped past
// 255.255.255.255.
struct ScanRange {
    quint32 first = 0;
    quint32 next = 1;
    quint32 last = 0;
    bool exhausted = true;
};
extern ScanRange g_scanRange;
extern std::mutex g_scanRangeMutex;
