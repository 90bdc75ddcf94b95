#pragma once

#include "records/ColorRef.h"
#include "records/Ipv6Addresses.h"
#include "records/OtherName.h"

#include <QString>

// One known host of the database list. No two records share an `ip`.
struct DatabaseRecord {
    quint32 ip = 0;   // IPv4 value, network byte order
    quint64 mac = 0;  // MAC value, top 16 bits all ones
    QString hostName; // at most 255 characters from the editor
    QString workgroup;
    QString userName;   // at most 255 characters from the editor
    QString location;   // at most 255 characters from the editor
    QString comment;    // at most 200 characters from the editor
    ColorRef color = 0; // text colour of the record's row; black from a merge
    // Names from multicast DNS, LLMNR and reverse DNS, as the scan that added the host
    // found them; not edited by the user.
    OtherNames otherNames;
    // Its IPv6 addresses, as the scan that added the host found them; not edited either.
    Ipv6Addresses ipv6;

    friend bool operator==(const DatabaseRecord&, const DatabaseRecord&) = default;
};

// The record editor's limits, which a record from anywhere else (a file, another
// program) is held to as well: host name, workgroup, user name and location, and the
// comment, in UTF-16 code units.
constexpr qsizetype kMaxRecordNameLength = 255;
constexpr qsizetype kMaxRecordCommentLength = 200;

// Cuts each text of `record` longer than its limit (never inside a surrogate pair);
// true when one had to be cut.
bool LimitRecordTexts(DatabaseRecord& record);

// A colour as the files write it: "#RRGGBB".
QString ColorText(ColorRef color);
