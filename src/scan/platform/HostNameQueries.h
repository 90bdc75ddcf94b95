#pragma once

#include "scan/HostProbe.h"

#include <chrono>

// Every name question for one host at once, answers awaited together until `wait` ends
// or every question is settled:
// - the NetBIOS node-status query (as QueryNetBiosNamesOverUdp, its result returned);
// - a reverse PTR query over multicast DNS (224.0.0.251:5353, unicast response asked)
//   and over LLMNR (224.0.0.252:5355), answers taken only from the host's own address;
// - a reverse lookup through the system's resolver (c-ares, the same deadline).
// `multicastIfIndex` is the adapter the group queries leave by (0: the routing table's).
// Names other than NetBIOS's go to probe.otherNames, mDNS first, then LLMNR, then DNS.
int QueryHostNamesOverUdp(ProbeResult& probe, int multicastIfIndex,
                          std::chrono::milliseconds wait = std::chrono::milliseconds(200));
