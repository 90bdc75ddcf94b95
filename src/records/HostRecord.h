#pragma once

#include "records/CompareState.h"
#include "records/Ipv6Addresses.h"
#include "records/OtherName.h"

#include <QString>

// One scan result. A worker fills it and appends it under g_recordLock; the three
// compare states are written by CLanveyDoc::CompareWithDatabase on the UI thread.
struct HostRecord {
    quint32 ip = 0;        // IPv4 value, network byte order
    quint64 mac = 0;       // MAC value, top 16 bits all ones
    QString hostName;      // NetBIOS host name, empty when the host did not answer
    QString workgroup;     // NetBIOS workgroup, empty when none
    qint32 resolved = 0;   // 1 once hostName and workgroup have been copied in
    OtherNames otherNames; // names from multicast DNS, LLMNR and reverse DNS
    Ipv6Addresses ipv6;    // the IPv6 addresses seen with the host's MAC
    // The adapter address a NetBIOS reply gave (MAC value), 0 when none or all zeros.
    quint64 netBiosMac = 0;
    // A second MAC that answered ARP for this address during the scan, 0 when none.
    quint64 conflictMac = 0;
    CompareState ipState = CompareState::New;
    CompareState macState = CompareState::New;
    CompareState overallState = CompareState::New;
};
