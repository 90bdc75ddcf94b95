#include "scan/platform/ArpListener.h"

#include "scan/platform/HelperWire.h"
#include "scan/platform/LinkInterfaces.h"
#include "scan/platform/PacketSocketWire.h"
#include "support/AddressText.h"

#include <QtEndian>
#include <cstring>
#include <poll.h>
#include <vector>

std::unique_ptr<ArpListener> ArpListener::Start(quint32 subnetIp, Sighting sighting, QString* error)
{
    const LinkInterfaces links = LinkInterfaces::Read();
    const LinkRoute route = links.RouteTo(subnetIp);
    if (!route.link) {
        *error = QStringLiteral("no adapter holds the subnet of %1")
                     .arg(FormatIpAddress(qToBigEndian(subnetIp)));
        return nullptr;
    }
    int errorNumber = 0;
    if (std::unique_ptr<ArpWire> wire = PacketSocketWire::Open(*route.link, &errorNumber))
        return std::unique_ptr<ArpListener>(
            new ArpListener(std::move(wire), std::move(sighting),
                            QStringLiteral("listening to ARP on %1").arg(route.link->name)));
    // Without a socket of our own, the helper listens for us, as it asks for the scans.
    const QString helper = HelperWire::FindHelper();
    QString helperError;
    std::unique_ptr<HelperWire> wire =
        helper.isEmpty() ? nullptr : HelperWire::Start(helper, *route.link, &helperError);
    if (!wire) {
        *error = QStringLiteral("no packet socket on %1 (%2), and %3")
                     .arg(route.link->name, QString::fromLocal8Bit(std::strerror(errorNumber)),
                          helper.isEmpty() ? QStringLiteral("no lanvey-arp helper") : helperError);
        return nullptr;
    }
    wire->Listen();
    return std::unique_ptr<ArpListener>(new ArpListener(
        std::move(wire), std::move(sighting),
        QStringLiteral("listening to ARP on %1 through %2").arg(route.link->name, helper)));
}

ArpListener::ArpListener(std::unique_ptr<ArpWire> wire, Sighting sighting, QString description)
    : m_wire(std::move(wire)), m_sighting(std::move(sighting)),
      m_description(std::move(description))
{
    m_thread = std::thread([this] { Run(); });
}

ArpListener::~ArpListener()
{
    m_stop = true;
    m_thread.join();
}

void ArpListener::Run()
{
    std::vector<ArpWire::Received> received;
    while (!m_stop) {
        pollfd wait{m_wire->PollFd(), POLLIN, 0};
        if (wait.fd < 0)
            return;
        // A short wait, so that the end of the watch is never far off.
        if (poll(&wait, 1, 200) <= 0)
            continue;
        received.clear();
        m_wire->Read(&received);
        for (const ArpWire::Received& frame : received)
            if (IsSighting(frame.packet))
                m_sighting(qToBigEndian(frame.packet.senderIp),
                           MacValueFromBytes(frame.packet.senderMac));
    }
}
