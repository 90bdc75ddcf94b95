#include "nametable/AnalyzerLink.h"

#include "support/RuntimeFolder.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QtEndian>

QString AnalyzerServerName()
{
    const QString runtime = PrivateRuntimeFolder();
    return runtime.isEmpty() ? QString() : runtime + QStringLiteral("/Tessera5Class");
}

AnalyzerLink::AnalyzerLink(QString serverName, int deadlineMs)
    : m_serverName(serverName.isEmpty() ? AnalyzerServerName() : std::move(serverName)),
      m_deadlineMs(deadlineMs)
{
}

bool AnalyzerLink::IsRunning() const
{
    if (m_serverName.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    const bool connected = socket.waitForConnected(std::min(m_deadlineMs, 1000));
    socket.abort();
    return connected;
}

quint32 AnalyzerLink::Send(const NameTable::Transfer& transfer, quint64 sender) const
{
    if (m_serverName.isEmpty())
        return NameTable::kNotHandled;
    const QDeadlineTimer deadline(m_deadlineMs);
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return NameTable::kNotHandled;
    const QByteArray frame = NameTable::EncodeFrame(transfer, sender);
    if (socket.write(frame) != frame.size())
        return NameTable::kNotHandled;
    while (socket.bytesToWrite() > 0)
        if (deadline.hasExpired() || !socket.waitForBytesWritten(int(deadline.remainingTime())))
            return NameTable::kNotHandled;
    QByteArray answer;
    while (answer.size() < NameTable::kAnswerSize) {
        if (socket.bytesAvailable() == 0 &&
            (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime()))))
            return NameTable::kNotHandled; // closed, short or too late
        answer += socket.read(NameTable::kAnswerSize - answer.size());
    }
    return qFromLittleEndian<quint32>(answer.constData());
}
