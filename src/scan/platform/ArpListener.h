#pragma once

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class ArpWire;

// Passive listening: every ARP frame on the adapter of a subnet (requests, replies,
// announcements and address-conflict probes, whoever they are for) tells that its sender
// holds its address. Nothing is sent. A probe's zero sender address, and a sender MAC no
// adapter has, are no sightings.
class ArpListener
{
public:
    // Address in network byte order, MAC value with its top 16 bits set; called on the
    // listener's own thread.
    using Sighting = std::function<void(quint32 ip, quint64 mac)>;

    // Listens on the adapter whose subnet holds `subnetIp` (host byte order), on a packet
    // socket of the process's own, else through the lanvey-arp helper. nullptr and why in
    // `error` when neither can, or no adapter holds the subnet.
    static std::unique_ptr<ArpListener> Start(quint32 subnetIp, Sighting sighting, QString* error);
    ~ArpListener();
    ArpListener(const ArpListener&) = delete;
    ArpListener& operator=(const ArpListener&) = delete;

    QString Description() const { return m_description; }

private:
    ArpListener(std::unique_ptr<ArpWire> wire, Sighting sighting, QString description);
    void Run();

    std::unique_ptr<ArpWire> m_wire;
    Sighting m_sighting;
    QString m_description;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
