#include "scan/platform/HelperWire.h"

#include "helper/HelperReply.h"
#include "helper/HelperRequest.h"
#include "support/AddressText.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <linux/capability.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace
{

constexpr std::chrono::milliseconds kStartTimeout{3000};
constexpr std::chrono::milliseconds kEndTimeout{1000};

QString ExecutableFolder()
{
    char path[PATH_MAX];
    const ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
    if (size <= 0)
        return {};
    return QFileInfo(QString::fromLocal8Bit(path, size)).absolutePath();
}

// Waits until the child has ended, at most `timeout`, then makes sure it has.
void Reap(pid_t pid, std::chrono::milliseconds timeout)
{
    const int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd fd{pidfd, POLLIN, 0};
        while (poll(&fd, 1, int(timeout.count())) < 0 && errno == EINTR) {
        }
        close(pidfd);
    }
    if (waitpid(pid, nullptr, WNOHANG) == pid)
        return;
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

QString HelperWire::FindHelper()
{
    const QByteArray given = qgetenv("LANVEY_ARP_HELPER");
    if (!given.isEmpty())
        return QFileInfo::exists(QString::fromLocal8Bit(given)) ? QString::fromLocal8Bit(given)
                                                                : QString();
    const QString folder = ExecutableFolder();
    if (folder.isEmpty())
        return {};
    for (const QString& candidate : {folder + QStringLiteral("/lanvey-arp"),
                                     folder + QStringLiteral("/../lib/lanvey/lanvey-arp")})
        if (QFileInfo(candidate).isExecutable())
            return QDir::cleanPath(candidate);
    return {};
}

QString HelperWire::InstalledPath()
{
    const QString folder = ExecutableFolder();
    return QDir::cleanPath((folder.isEmpty() ? QStringLiteral("/usr/bin") : folder) +
                           QStringLiteral("/../lib/lanvey/lanvey-arp"));
}

bool HelperWire::HasNetRawCapability(const QString& path)
{
    // security.capability: a little-endian vfs_cap_data, the magic and revision, then the
    // permitted and inheritable words of capabilities 0 to 31 (and 32 to 63).
    quint8 data[XATTR_CAPS_SZ_3] = {};
    const ssize_t size =
        getxattr(QFile::encodeName(path).constData(), "security.capability", data, sizeof data);
    if (size < ssize_t(XATTR_CAPS_SZ_1))
        return false;
    const quint32 permitted =
        quint32(data[4]) | quint32(data[5]) << 8 | quint32(data[6]) << 16 | quint32(data[7]) << 24;
    return permitted & (1u << CAP_NET_RAW);
}

std::unique_ptr<HelperWire> HelperWire::Start(const QString& helper, const LinkInterface& link,
                                              QString* error)
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    const QByteArray path = QFile::encodeName(helper);
    char* argv[] = {const_cast<char*>(path.constData()), nullptr};
    char* envp[] = {nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, path.constData(), &actions, nullptr, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    if (spawned != 0) {
        close(ends[0]);
        *error = QString::fromLocal8Bit(std::strerror(spawned));
        return nullptr;
    }
    std::unique_ptr<HelperWire> wire(new HelperWire(link, pid, ends[0]));
    wire->SendLine(LinkRequestLine(link.name.toStdString()));

    // The first line says whether the adapter is open.
    const auto deadline = Clock::now() + kStartTimeout;
    for (;;) {
        const std::size_t end = wire->m_input.find('\n');
        if (end != std::string::npos) {
            const std::optional<HelperReply> reply =
                ParseHelperReply(std::string_view(wire->m_input).substr(0, end));
            wire->m_input.erase(0, end + 1);
            if (reply && reply->kind == HelperReply::Kind::Ready)
                return wire;
            *error = reply && reply->kind == HelperReply::Kind::Error
                         ? QString::fromStdString(reply->text)
                         : QStringLiteral("an answer that is not ready");
            return nullptr;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd fd{wire->m_fd, POLLIN, 0};
        const int ready = left.count() > 0 ? poll(&fd, 1, int(left.count())) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            *error = QStringLiteral("no answer within %1 ms").arg(kStartTimeout.count());
            return nullptr;
        }
        if (!wire->Receive()) {
            *error = QStringLiteral("it ended without an answer");
            return nullptr;
        }
    }
}

HelperWire::~HelperWire()
{
    // The end of its input ends the helper.
    close(m_fd);
    Reap(m_pid, kEndTimeout);
}

void HelperWire::SendLine(const std::string& line)
{
    // Never waits: a full socket drops the request, as a full adapter queue would.
    [[maybe_unused]] const ssize_t sent =
        send(m_fd, line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}

void HelperWire::Send(quint32 localIp, quint32 target)
{
    SendLine(AskRequestLine(target, localIp));
}

void HelperWire::SetRate(int requestsPerSecond)
{
    SendLine(RateRequestLine(unsigned(std::clamp(requestsPerSecond, 1, int(kMaxRequestRate)))));
}

bool HelperWire::Receive()
{
    for (;;) {
        char buffer[8192];
        const ssize_t size = recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (size > 0) {
            m_input.append(buffer, std::size_t(size));
            continue;
        }
        if (size < 0 && errno == EINTR)
            continue;
        if (size < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        return false;
    }
}

void HelperWire::Listen()
{
    SendLine(ListenRequestLine());
}

void HelperWire::SendEcho(const Ipv6Bytes& from)
{
    HelperIpv6 address;
    std::copy(from.begin(), from.end(), address.begin());
    SendLine(Echo6RequestLine(address));
}

std::vector<Ipv6Sighting> HelperWire::TakeEchoReplies()
{
    std::lock_guard lock(m_echoMutex);
    return std::exchange(m_echoReplies, {});
}

void HelperWire::Read(std::vector<Received>* received)
{
    if (m_ended)
        return;
    const bool open = Receive();
    const auto now = Clock::now();
    std::size_t start = 0;
    for (std::size_t end; (end = m_input.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::optional<HelperReply> reply =
            ParseHelperReply(std::string_view(m_input).substr(start, end - start));
        if (reply && reply->kind == HelperReply::Kind::Answer6) {
            Ipv6Sighting sighting;
            std::copy(reply->senderIp6.begin(), reply->senderIp6.end(), sighting.address.begin());
            sighting.mac = MacValueFromBytes(reply->mac);
            std::lock_guard lock(m_echoMutex);
            if (IsHostMacAddress(sighting.mac) && m_echoReplies.size() < Ipv6EchoSweep::kMaxReplies)
                m_echoReplies.push_back(sighting);
            continue;
        }
        if (!reply ||
            (reply->kind != HelperReply::Kind::Reply && reply->kind != HelperReply::Kind::Seen))
            continue; // an error line: the helper has said it on standard error and ends
        Received arrived;
        std::copy(reply->mac.begin(), reply->mac.end(), arrived.packet.senderMac.begin());
        arrived.packet.senderIp = reply->senderIp;
        // A frame heard while listening is told as a request: nothing takes it for an
        // answer, and a listener takes it for a sighting.
        arrived.packet.operation = kArpRequest;
        if (reply->kind == HelperReply::Kind::Reply) {
            // The helper passes on only replies to our adapter's MAC.
            arrived.packet.operation = kArpReply;
            arrived.packet.targetMac = m_link.mac;
            arrived.packet.targetIp = reply->targetIp;
        }
        arrived.at = std::min(now, Clock::time_point(std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::nanoseconds(reply->receivedNs))));
        received->push_back(arrived);
    }
    m_input.erase(0, start);
    if (m_input.size() > kMaxReplyLine)
        m_input.clear(); // no line is this long; what follows the next break is whole again
    if (!open)
        m_ended = true;
}
