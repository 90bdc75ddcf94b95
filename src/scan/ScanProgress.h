#pragma once

#include "scan/ScanRange.h"

#include <QString>

// The status texts of a scan, built from the cursor alone (three integers, no walk
// over the records).

// The cursor as one moment, read under g_recordLock.
ScanRange ReadScanRange();

// (a * b) / c with a 64-bit intermediate, rounded half away from zero; -1 when c is 0 or
// the result does not fit.
int MulDiv(int a, int b, int c);

// "37% (94/253) - 192.168.1.96": done = next - first - 1 and total = last - first
// (modulo 2^32), the percentage from MulDiv, the counts with group separators, and the
// next address to be handed out.
QString ScanProgressText(const ScanRange& range);

// The timer's text: "Scanning <progress> ..." while addresses remain, "Resolving Host
// Name..." once every address has been handed out.
QString ScanTimerText(const ScanRange& range);

// "Scanning is paused." directly followed by the progress text.
QString ScanPausedText(const ScanRange& range);

// "Scanning is stopping, please wait..."
QString ScanStoppingText();

// "Found <rows> hosts."
QString ScanFoundText(int rows);
