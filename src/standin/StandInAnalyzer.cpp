#include "standin/StandInAnalyzer.h"

#include "support/AddressText.h"
#include "support/WholeFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QtEndian>

namespace
{

QString KindName(NameTable::Kind kind)
{
    return kind == NameTable::Ipv4 ? QStringLiteral("ip") : QStringLiteral("mac");
}

QString AddressOf(const NameTable::Transfer& transfer)
{
    return transfer.kind == NameTable::Ipv4 ? FormatIpAddress(transfer.ip)
                                            : FormatMacAddress(transfer.mac);
}

QString ColorText(quint32 color)
{
    // 0x00BBGGRR as #RRGGBB.
    return QStringLiteral("#%1%2%3")
        .arg(color & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((color >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((color >> 16) & 0xFF, 2, 16, QLatin1Char('0'))
        .toUpper();
}

} // namespace

CStandInAnalyzer::CStandInAnalyzer(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_pServer(new QLocalServer(this))
{
    m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_pServer, &QLocalServer::newConnection, this, &CStandInAnalyzer::OnConnection);
}

bool CStandInAnalyzer::Listen(QString* error)
{
    QLocalServer::removeServer(m_options.serverName);
    if (m_pServer->listen(m_options.serverName))
        return true;
    if (error)
        *error = m_pServer->errorString();
    return false;
}

QJsonArray CStandInAnalyzer::ReadTable(const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(in.readAll()).array();
}

quint32 CStandInAnalyzer::Handle(const NameTable::Transfer& transfer)
{
    if (m_options.tooOld)
        return NameTable::kNotHandled;
    QJsonArray table = ReadTable(m_options.tableFile);
    const QString kind = KindName(transfer.kind);
    const QString address = AddressOf(transfer);
    qsizetype held = -1;
    for (qsizetype i = 0; i < table.size(); ++i) {
        const QJsonObject entry = table.at(i).toObject();
        if (entry.value(QStringLiteral("kind")).toString() == kind &&
            entry.value(QStringLiteral("address")).toString() == address)
            held = i;
    }
    if (transfer.operation == NameTable::Check) {
        if (held < 0)
            return 1;
        return transfer.kind == NameTable::Ipv4 ? NameTable::kIpPresent : NameTable::kMacPresent;
    }
    if (m_options.failAdds)
        return NameTable::kAddFailed;
    QJsonObject entry;
    entry.insert(QStringLiteral("kind"), kind);
    entry.insert(QStringLiteral("address"), address);
    entry.insert(QStringLiteral("alias"), transfer.name);
    entry.insert(QStringLiteral("color"), ColorText(transfer.color));
    if (held >= 0)
        table.replace(held, entry);
    else
        table.append(entry);
    if (!WriteWholeFile(m_options.tableFile, QJsonDocument(table).toJson(QJsonDocument::Indented)))
        return NameTable::kAddFailedToo;
    emit tableChanged();
    return 1;
}

void CStandInAnalyzer::OnConnection()
{
    while (QLocalSocket* socket = m_pServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadable(socket); });
    }
}

void CStandInAnalyzer::OnReadable(QLocalSocket* socket)
{
    if (socket->bytesAvailable() < NameTable::kFrameSize)
        return;
    const QByteArray frame = socket->read(NameTable::kFrameSize);
    if (m_options.hang)
        return; // the connection stays open, unanswered
    const std::optional<NameTable::Transfer> transfer = NameTable::DecodeFrame(frame);
    const quint32 answer = transfer ? Handle(*transfer) : NameTable::kNotHandled;
    char bytes[4];
    qToLittleEndian(answer, bytes);
    socket->write(bytes, 4);
    socket->disconnectFromServer();
}
