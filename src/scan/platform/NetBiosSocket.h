#pragma once

#include "scan/HostProbe.h"

#include <chrono>

// One node-status exchange with probe.ip over a UDP socket: one request, one reply read
// within `wait`. Fills hostName and workgroup from the reply; 0 when a reply was read
// and parsed, 1 when none came (no socket, no reply in time, or the host refused).
int QueryNetBiosNamesOverUdp(ProbeResult& probe,
                             std::chrono::milliseconds wait = std::chrono::milliseconds(200));
