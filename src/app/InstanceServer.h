#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QTimer;

// The running instance's local server ("LanveyClass"): later instances and the
// uninstaller connect, send one short request line ("show", "close") and get "ok" back
// once it is taken.
//
// Anyone of the same user can connect, so the server keeps what a client can cost it
// small: at most `maxClients` connections wait at once (more are closed at once), a
// request longer than `maxLine` bytes ends its connection, and so does a client that
// has not sent its line `idleMs` after connecting. A server that stops listening (a
// failed accept closes it) or whose socket was removed listens again.
class CInstanceServer
{
public:
    struct Limits {
        int maxClients = 16;
        int maxLine = 64;
        int idleMs = 1000;
        int checkMs = 1000; // how often the server checks that it still listens
    };
    using Handler = std::function<void(const QByteArray& request)>;

    CInstanceServer(QString name, Handler handler, Limits limits);
    explicit CInstanceServer(QString name, Handler handler)
        : CInstanceServer(std::move(name), std::move(handler), Limits())
    {
    }
    ~CInstanceServer();
    CInstanceServer(const CInstanceServer&) = delete;
    CInstanceServer& operator=(const CInstanceServer&) = delete;

    // Starts listening; a leftover socket of the name (from a process that died: we
    // hold the instance lock) is replaced. False when it cannot listen.
    bool Listen();
    bool IsListening() const;
    int ClientCount() const { return m_clients; }

private:
    void Accept();
    void Read(QLocalSocket* socket);
    void CheckListening();

    QString m_name;
    Handler m_handler;
    Limits m_limits;
    // Owned, and deleted later: a handler may end the program from inside a request.
    QLocalServer* m_server = nullptr;
    std::unique_ptr<QTimer> m_check;
    int m_clients = 0;
};

// Sends `request` to the server `name` and waits up to `ms` for it to be taken. False
// when no server listens or it does not answer.
bool SendInstanceRequest(const QString& name, const QByteArray& request, int ms = 1000);
