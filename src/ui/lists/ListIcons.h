#pragma once

#include <QIcon>

// The small cell icons of the two lists, drawn once on first use.
enum class ListIcon {
    IpAddress,  // the IP Address column: a computer
    MacAddress, // the MAC Address column: a network card
    Different,  // the Compare Result of a host that differs from the database
    FlaggedMac, // a MAC address that is locally administered or contradicted: a card
                // with an orange mark
    NotSeen,    // a known host the latest scan of its subnet missed: a computer, faded,
                // with a grey question mark
};

QIcon GetListIcon(ListIcon icon);
