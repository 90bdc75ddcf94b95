#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

// The record every message to the analyzer carries, and the frame that carries it.
//
// Record, 544 bytes, little-endian:
//   0  size (544)            4  operation (0 check, 1 add)    8  kind (1 IPv4, 2 MAC)
//   12 IPv4, network order   16 MAC: the six octets, first octet at 16, then two zeros
//   24 name: 256 UTF-16 code units, NUL-terminated            536 colour (0x00BBGGRR)
//   540 padding
// Fields a kind does not use, and the padding, are zero: nothing of ours goes out by
// chance.
//
// Frame: the message id (32 bits, 921), the record's size (32 bits, 544), the sender's
// id (64 bits: which list sent it), then the record. The analyzer answers with 32 bits.
namespace NameTable
{

constexpr quint32 kMessageId = 921;
constexpr quint32 kRecordSize = 544;
constexpr int kNameUnits = 256; // with the terminating NUL
constexpr int kFrameSize = 4 + 4 + 8 + int(kRecordSize);
constexpr int kAnswerSize = 4;

enum Operation : quint32 { Check = 0, Add = 1 };
enum Kind : quint32 { Ipv4 = 1, Mac = 2 };

// Answers.
constexpr quint32 kNotHandled = 0;       // the analyzer is too old for the message
constexpr quint32 kIpPresent = 0x110;    // after a check of an IPv4 address
constexpr quint32 kMacPresent = 0x111;   // after a check of a MAC address
constexpr quint32 kAddFailed = 0x101;    // after an add
constexpr quint32 kAddFailedToo = 0x102; // after an add

inline bool IsAddFailure(quint32 answer)
{
    return answer == kAddFailed || answer == kAddFailedToo;
}

struct Transfer {
    Operation operation = Check;
    Kind kind = Ipv4;
    quint32 ip = 0;  // kind Ipv4: network byte order
    quint64 mac = 0; // kind Mac: our MAC value (first octet in the low byte)
    QString name;    // "Default" in a check, the alias in an add
    quint32 color = 0;
};

// At most 255 code units, cut at a whole character: never half a surrogate pair.
QString FitName(const QString& name);

QByteArray EncodeRecord(const Transfer& transfer);
// The analyzer's side: a record read back, null when it is not one (wrong size, kind or
// operation, a name without its NUL).
std::optional<Transfer> DecodeRecord(const QByteArray& record);

QByteArray EncodeFrame(const Transfer& transfer, quint64 sender);
// A whole frame: the header checked, then the record.
std::optional<Transfer> DecodeFrame(const QByteArray& frame, quint64* sender = nullptr);

} // namespace NameTable
