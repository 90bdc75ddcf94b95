#pragma once

#include <QIcon>

// The small cell icons of the two lists, drawn once on first use.
enum class ListIcon {
    IpAddress,  // the IP Address column: a computer
    MacAddress, // the MAC Address column: a network card
    Different,  // the Compare Result of a host that differs from the database
};

QIcon GetListIcon(ListIcon icon);
