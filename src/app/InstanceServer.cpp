#include "app/InstanceServer.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

namespace
{

constexpr char kAnswer[] = "ok\n";

} // namespace

CInstanceServer::CInstanceServer(QString name, Handler handler, Limits limits)
    : m_name(std::move(name)), m_handler(std::move(handler)), m_limits(limits),
      m_server(new QLocalServer), m_check(std::make_unique<QTimer>())
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Every handler that reaches this object runs in the context of m_check, which goes
    // first when this object does, so a connection that outlives it calls nothing.
    QObject::connect(m_server, &QLocalServer::newConnection, m_check.get(), [this] { Accept(); });
    m_check->setInterval(m_limits.checkMs);
    QObject::connect(m_check.get(), &QTimer::timeout, m_check.get(), [this] { CheckListening(); });
}

CInstanceServer::~CInstanceServer()
{
    m_check.reset();
    m_server->close();
    // Its connections are its children and go with it.
    m_server->deleteLater();
}

bool CInstanceServer::Listen()
{
    m_server->close();
    if (!m_server->listen(m_name)) {
        QLocalServer::removeServer(m_name);
        m_server->listen(m_name);
    }
    m_check->start();
    return m_server->isListening();
}

bool CInstanceServer::IsListening() const
{
    return m_server->isListening();
}

void CInstanceServer::CheckListening()
{
    if (!m_server->isListening() || !QFileInfo::exists(m_server->fullServerName()))
        Listen();
}

void CInstanceServer::Accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        if (m_clients >= m_limits.maxClients) {
            // Closing at once keeps a flood from using up the process's descriptors;
            // a real request is asked again by its sender.
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_clients;
        // Nothing beyond one short line is ever read into memory.
        socket->setReadBufferSize(m_limits.maxLine + 1);
        auto* deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        QObject::connect(deadline, &QTimer::timeout, socket, &QLocalSocket::abort);
        deadline->start(m_limits.idleMs);
        QObject::connect(socket, &QLocalSocket::readyRead, m_check.get(),
                         [this, socket] { Read(socket); });
        QObject::connect(socket, &QLocalSocket::disconnected, m_check.get(),
                         [this] { --m_clients; });
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        Read(socket);
    }
    // The server stops listening when an accept fails (no descriptors left, say).
    if (!m_server->isListening())
        QTimer::singleShot(0, m_check.get(), [this] { CheckListening(); });
}

void CInstanceServer::Read(QLocalSocket* socket)
{
    if (socket->state() != QLocalSocket::ConnectedState)
        return;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > m_limits.maxLine)
            socket->abort();
        return;
    }
    const QByteArray request = socket->readLine(m_limits.maxLine + 1).trimmed();
    // One request a connection: answer, close, and only then act on it, since acting
    // may end the program (and this server) right away.
    socket->write(kAnswer);
    socket->flush();
    socket->disconnectFromServer();
    const Handler handler = m_handler;
    handler(request);
}

bool SendInstanceRequest(const QString& name, const QByteArray& request, int ms)
{
    if (name.isEmpty())
        return false;
    // The wait turns the event loop, so a server in this very thread (the tests') gets
    // to answer; a later instance or the uninstaller has nothing else going on.
    QLocalSocket socket;
    QEventLoop loop;
    QByteArray answer;
    bool done = false;
    const auto finish = [&] {
        // Only what has arrived: reading a socket the server has closed warns on the
        // terminal of every second start.
        if (socket.isOpen() && socket.bytesAvailable() > 0)
            answer += socket.readAll();
        done = true;
        loop.quit();
    };
    QObject::connect(&socket, &QLocalSocket::connected, &loop,
                     [&] { socket.write(request + '\n'); });
    QObject::connect(&socket, &QLocalSocket::readyRead, &loop, [&] {
        answer += socket.readAll();
        if (answer.contains('\n') || answer.size() > 16)
            finish();
    });
    QObject::connect(&socket, &QLocalSocket::disconnected, &loop, finish);
    QObject::connect(&socket, &QLocalSocket::errorOccurred, &loop, finish);
    QTimer::singleShot(ms, &loop, finish);
    socket.connectToServer(name);
    if (!done)
        loop.exec();
    socket.abort();
    return answer.startsWith("ok");
}
