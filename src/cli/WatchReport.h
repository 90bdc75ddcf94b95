#pragma once

#include "records/OtherName.h"
#include "records/WatchHistory.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// What lanvey-scan --watch knows of a host besides its addresses: from the sweep that
// found it last, empty for a host only heard between sweeps.
struct WatchHostInfo {
    QString vendor;
    QString hostName;
    OtherNames otherNames;
    QStringList flags; // IdentityFlagKeywords
};

// One event as lanvey-scan --watch prints it: a line of JSON with `time` (ISO 8601, UTC),
// `event` (WatchEventKeyword), and `hosts` for the baseline; else `ip`, `mac`, `vendor`,
// `host_name`, `other_names` (a list of {name, source}), `flags`, and for the two changes
// `previous` ({"mac": ...} or {"ip": ...}). No control character is left unescaped, so
// the line is safe on a terminal.
QByteArray WatchEventLine(const WatchEvent& event, const WatchHostInfo& host);
