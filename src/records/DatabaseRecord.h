#pragma once

#include "records/ColorRef.h"
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

    friend bool operator==(const DatabaseRecord&, const DatabaseRecord&) = default;
};
