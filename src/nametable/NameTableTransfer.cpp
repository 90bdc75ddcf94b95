#include "nametable/NameTableTransfer.h"

#include <QtEndian>
#include <cstring>

namespace NameTable
{

namespace
{

template <typename T> void Put(QByteArray& bytes, int offset, T value)
{
    qToLittleEndian<T>(value, bytes.data() + offset);
}

template <typename T> T Get(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<T>(bytes.constData() + offset);
}

constexpr quint64 kMac48 = 0x0000FFFFFFFFFFFFull;

} // namespace

QString FitName(const QString& name)
{
    qsizetype length = std::min<qsizetype>(name.size(), kNameUnits - 1);
    // A high surrogate whose partner would be cut off goes too.
    if (length > 0 && length < name.size() && name.at(length - 1).isHighSurrogate())
        --length;
    return name.left(length);
}

QByteArray EncodeRecord(const Transfer& transfer)
{
    QByteArray record(int(kRecordSize), '\0');
    Put<quint32>(record, 0, kRecordSize);
    Put<quint32>(record, 4, transfer.operation);
    Put<quint32>(record, 8, transfer.kind);
    if (transfer.kind == Ipv4)
        std::memcpy(record.data() + 12, &transfer.ip, 4); // already in network order
    else
        Put<quint64>(record, 16, transfer.mac & kMac48);
    const QString name = FitName(transfer.name);
    for (qsizetype i = 0; i < name.size(); ++i)
        Put<quint16>(record, 24 + int(i) * 2, name.at(i).unicode());
    Put<quint32>(record, 536, transfer.color);
    return record;
}

std::optional<Transfer> DecodeRecord(const QByteArray& record)
{
    if (record.size() != int(kRecordSize) || Get<quint32>(record, 0) != kRecordSize)
        return std::nullopt;
    Transfer transfer;
    const quint32 operation = Get<quint32>(record, 4);
    const quint32 kind = Get<quint32>(record, 8);
    if ((operation != Check && operation != Add) || (kind != Ipv4 && kind != Mac))
        return std::nullopt;
    transfer.operation = Operation(operation);
    transfer.kind = Kind(kind);
    if (transfer.kind == Ipv4)
        std::memcpy(&transfer.ip, record.constData() + 12, 4);
    else
        transfer.mac = Get<quint64>(record, 16) & kMac48;
    int units = 0;
    while (units < kNameUnits && Get<quint16>(record, 24 + units * 2) != 0)
        ++units;
    if (units == kNameUnits)
        return std::nullopt; // no NUL within the field
    QString name(units, Qt::Uninitialized);
    for (int i = 0; i < units; ++i)
        name[i] = QChar(Get<quint16>(record, 24 + i * 2));
    transfer.name = name;
    transfer.color = Get<quint32>(record, 536);
    return transfer;
}

QByteArray EncodeFrame(const Transfer& transfer, quint64 sender)
{
    QByteArray frame(16, '\0');
    Put<quint32>(frame, 0, kMessageId);
    Put<quint32>(frame, 4, kRecordSize);
    Put<quint64>(frame, 8, sender);
    frame += EncodeRecord(transfer);
    return frame;
}

std::optional<Transfer> DecodeFrame(const QByteArray& frame, quint64* sender)
{
    if (frame.size() != kFrameSize || Get<quint32>(frame, 0) != kMessageId ||
        Get<quint32>(frame, 4) != kRecordSize)
        return std::nullopt;
    if (sender)
        *sender = Get<quint64>(frame, 8);
    return DecodeRecord(frame.mid(16));
}

} // namespace NameTable
