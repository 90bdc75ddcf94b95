#pragma once

#include "scan/platform/ArpWire.h"
#include "scan/platform/Ipv6EchoSweep.h"
#include "scan/platform/LinkInterfaces.h"

#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>

// ARP through the lanvey-arp helper, which holds CAP_NET_RAW for a process that has not.
// One helper per adapter, on a message socket that is its standard input and output:
// each request and each batch of replies is one message, so a request the helper has no
// room for is dropped whole instead of blocking the sender. The helper also sends the
// adapter's IPv6 echoes for a user who may open no ICMPv6 socket.
class HelperWire final : public ArpWire, public Ipv6EchoRelay
{
public:
    // Where the helper is: $LANVEY_ARP_HELPER when set, else the first of
    // <dir of the executable>/lanvey-arp and <dir of the executable>/../lib/lanvey/lanvey-arp
    // that exists. Empty when none does.
    static QString FindHelper();
    // Where an install puts it, for the advice to set its capability.
    static QString InstalledPath();
    // Whether the file carries CAP_NET_RAW as a permitted file capability.
    static bool HasNetRawCapability(const QString& path);

    // Starts the helper on `link` and waits (at most kStartTimeout) until it has opened
    // the adapter; nullptr and why in `error` when it could not.
    static std::unique_ptr<HelperWire> Start(const QString& helper, const LinkInterface& link,
                                             QString* error);
    ~HelperWire() override;
    HelperWire(const HelperWire&) = delete;
    HelperWire& operator=(const HelperWire&) = delete;

    void Send(quint32 localIp, quint32 target) override;
    int PollFd() const override { return m_ended ? -1 : m_fd; }
    void Read(std::vector<Received>* received) override;
    void SetRate(int requestsPerSecond) override;
    // From now on Read also gives the sender of every ARP frame on the adapter, as a
    // request from it (no resolver takes it for an answer).
    void Listen();

    int EchoIfindex() const override { return m_link.index; }
    void SendEcho(const Ipv6Bytes& from) override;
    std::vector<Ipv6Sighting> TakeEchoReplies() override;

private:
    HelperWire(const LinkInterface& link, pid_t pid, int fd) : m_link(link), m_pid(pid), m_fd(fd) {}
    void SendLine(const std::string& line);
    // Reads what the socket holds into m_input; false at its end.
    bool Receive();

    const LinkInterface m_link;
    const pid_t m_pid;
    const int m_fd;
    std::string m_input;              // reply text not yet a whole line
    std::atomic<bool> m_ended{false}; // set by the receive thread, read by the probe
    std::mutex m_echoMutex;
    std::vector<Ipv6Sighting> m_echoReplies; // at most Ipv6EchoSweep::kMaxReplies
};
