#pragma once

#include "records/CompareState.h"

#include <QString>

// One scan result. A worker fills it and appends it under g_recordLock; the three
// compare states are written by CLanveyDoc::CompareWithDatabase on the UI thread.
struct HostRecord {
    quint32 ip = 0;      // IPv4 value, network byte order
    quint64 mac = 0;     // MAC value, top 16 bits all ones
    QString hostName;    // NetBIOS host name, empty when the host did not answer
    QString workgroup;   // NetBIOS workgroup, empty when none
    qint32 resolved = 0; // 1 once hostName and workgroup have been copied in
    CompareState ipState = CompareState::New;
    CompareState macState = CompareState::New;
    CompareState overallState = CompareState::New;
};
