#include "scan/DnsMessage.h"

#include "lang/DisplayText.h"

#include <optional>

namespace
{

// Header (16-bit fields big-endian): 0 id | 2 flags (QR 0x8000, opcode 0x7800, TC
// 0x0200, RCODE 0x000F) | 4 qdcount | 6 ancount | 8 nscount | 10 arcount.
constexpr int kHeaderSize = 12;
constexpr quint16 kFlagResponse = 0x8000;
constexpr quint16 kOpcodeMask = 0x7800;
constexpr quint16 kRcodeMask = 0x000F;
constexpr quint16 kTypePtr = 12;
constexpr quint16 kTypeAaaa = 28;
constexpr quint16 kClassIn = 1;
constexpr quint16 kClassMask = 0x7FFF; // mDNS uses the top bit (cache flush, unicast)
// A name is at most 255 octets on the wire (RFC 1035 3.1); a pointer chain that visits
// more labels than that many one-octet labels could is a loop.
constexpr int kMaxWireName = 255;
constexpr int kMaxLabels = 128;
// Every record takes at least a one-octet name and ten fixed octets; a question five.
constexpr int kMinRecordSize = 11;
constexpr int kMinQuestionSize = 5;

quint16 Get16(QByteArrayView data, qsizetype at)
{
    return quint16((quint8(data[at]) << 8) | quint8(data[at + 1]));
}

void Put16(QByteArray& out, quint16 value)
{
    out.append(char(value >> 8));
    out.append(char(value & 0xFF));
}

// A name read at `pos`: its labels and where the record goes on after it.
struct Name {
    QList<QByteArray> labels;
    qsizetype end = 0;
};

// Labels are 0-63 octets (top bits 00), pointers two octets (top bits 11) to an earlier
// offset; 01 and 10 are not defined.
std::optional<Name> ReadName(QByteArrayView data, qsizetype pos)
{
    Name name;
    qsizetype at = pos;
    bool jumped = false;
    int wire = 0;
    for (int steps = 0; steps < kMaxLabels; ++steps) {
        if (at >= data.size())
            return std::nullopt;
        const quint8 length = quint8(data[at]);
        if ((length & 0xC0) == 0xC0) {
            if (at + 1 >= data.size())
                return std::nullopt;
            const qsizetype target = ((length & 0x3F) << 8) | quint8(data[at + 1]);
            // Only backwards, and never onto itself: a forward pointer may run in circles.
            if (target >= at)
                return std::nullopt;
            if (!jumped)
                name.end = at + 2;
            jumped = true;
            at = target;
            continue;
        }
        if ((length & 0xC0) != 0)
            return std::nullopt;
        wire += length + 1;
        if (wire > kMaxWireName)
            return std::nullopt;
        if (length == 0) {
            if (!jumped)
                name.end = at + 1;
            return name;
        }
        if (at + 1 + length > data.size())
            return std::nullopt;
        name.labels.append(data.sliced(at + 1, length).toByteArray());
        at += 1 + length;
    }
    return std::nullopt;
}

bool SameName(const QList<QByteArray>& labels, const QList<QByteArray>& wanted)
{
    if (labels.size() != wanted.size())
        return false;
    for (qsizetype i = 0; i < labels.size(); ++i)
        if (labels[i].compare(wanted[i], Qt::CaseInsensitive) != 0)
            return false;
    return true;
}

QList<QByteArray> ReverseLabels(quint32 ip)
{
    const auto* octets = reinterpret_cast<const quint8*>(&ip);
    return {QByteArray::number(octets[3]), QByteArray::number(octets[2]),
            QByteArray::number(octets[1]), QByteArray::number(octets[0]),
            QByteArrayLiteral("in-addr"),  QByteArrayLiteral("arpa")};
}

QString NameText(const QList<QByteArray>& labels)
{
    QStringList parts;
    for (const QByteArray& label : labels)
        parts << QString::fromUtf8(label);
    QString text = ReplaceControlChars(parts.join(u'.'));
    if (text.size() > kMaxNameLength)
        text.truncate(kMaxNameLength);
    return text;
}

} // namespace

QString ReverseLookupName(quint32 ip)
{
    QStringList parts;
    for (const QByteArray& label : ReverseLabels(ip))
        parts << QString::fromLatin1(label);
    return parts.join(u'.');
}

namespace
{

// A standard query (no recursion asked) with one question: `labels`, `type`, class IN,
// with the multicast DNS unicast-response bit when asked.
QByteArray BuildQuery(quint16 id, const QList<QByteArray>& labels, quint16 type,
                      bool unicastResponse)
{
    QByteArray out;
    Put16(out, id);
    Put16(out, 0);
    Put16(out, 1); // one question, no records
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0);
    for (const QByteArray& label : labels) {
        out.append(char(label.size()));
        out.append(label);
    }
    out.append('\0');
    Put16(out, type);
    Put16(out, quint16(kClassIn | (unicastResponse ? 0x8000 : 0)));
    return out;
}

} // namespace

QByteArray BuildReversePtrQuery(quint16 id, quint32 ip, bool unicastResponse)
{
    return BuildQuery(id, ReverseLabels(ip), kTypePtr, unicastResponse);
}

namespace
{

// Walks the answer section of a reply to our query `id`: `take(type, owner labels,
// data offset, data length)` for each answer of class IN whose data lies inside the
// message. False when the header is not a good response with our id.
template <typename Take>
bool ReadAnswers(QByteArrayView message, quint16 id, bool& truncated, Take take)
{
    if (message.size() < kHeaderSize)
        return false;
    const quint16 flags = Get16(message, 2);
    if (Get16(message, 0) != id || !(flags & kFlagResponse) || (flags & kOpcodeMask) != 0 ||
        (flags & kRcodeMask) != 0)
        return false;
    const int questions = Get16(message, 4);
    const int answers = Get16(message, 6);
    const qsizetype body = message.size() - kHeaderSize;
    // Counts that could not fit are lies; what they promise is read only as far as it goes.
    if (qsizetype(questions) * kMinQuestionSize > body ||
        qsizetype(answers) * kMinRecordSize > body)
        truncated = true;

    qsizetype pos = kHeaderSize;
    for (int q = 0; q < questions; ++q) {
        const auto name = ReadName(message, pos);
        if (!name || name->end + 4 > message.size()) {
            truncated = true;
            return true;
        }
        pos = name->end + 4;
    }
    for (int a = 0; a < answers; ++a) {
        const auto owner = ReadName(message, pos);
        if (!owner || owner->end + 10 > message.size()) {
            truncated = true;
            return true;
        }
        const qsizetype fixed = owner->end;
        const quint16 type = Get16(message, fixed);
        const quint16 rclass = Get16(message, fixed + 2) & kClassMask;
        const quint16 length = Get16(message, fixed + 8);
        const qsizetype data = fixed + 10;
        if (data + length > message.size()) {
            truncated = true;
            return true;
        }
        pos = data + length;
        if (rclass == kClassIn)
            take(type, owner->labels, data, qsizetype(length));
    }
    return true;
}

// The labels of a name's text, or none when a label is empty or longer than 63 octets.
QList<QByteArray> LabelsOf(const QString& name)
{
    QList<QByteArray> labels;
    QString text = name;
    if (text.endsWith(u'.'))
        text.chop(1);
    int wire = 1;
    for (const QString& label : text.split(u'.')) {
        const QByteArray bytes = label.toUtf8();
        wire += int(bytes.size()) + 1;
        if (bytes.isEmpty() || bytes.size() > 63 || wire > kMaxWireName)
            return {};
        labels << bytes;
    }
    return labels;
}

} // namespace

DnsReply ParseReversePtrReply(QByteArrayView message, quint16 id, quint32 ip)
{
    DnsReply reply;
    const QList<QByteArray> wanted = ReverseLabels(ip);
    reply.ok = ReadAnswers(
        message, id, reply.truncated,
        [&](quint16 type, const QList<QByteArray>& owner, qsizetype data, qsizetype length) {
            if (type != kTypePtr || !SameName(owner, wanted))
                return;
            // The target must lie inside the record's own data; its
            // pointers may reach back.
            const auto target = ReadName(message.first(data + length), data);
            if (!target || target->end != data + length) {
                reply.truncated = true;
                return;
            }
            if (!target->labels.isEmpty())
                reply.ptrTargets << NameText(target->labels);
        });
    return reply;
}

QByteArray BuildAddressQuery(quint16 id, const QString& name, bool unicastResponse)
{
    const QList<QByteArray> labels = LabelsOf(name);
    if (labels.isEmpty())
        return {};
    return BuildQuery(id, labels, kTypeAaaa, unicastResponse);
}

DnsAddressReply ParseAddressReply(QByteArrayView message, quint16 id, const QString& name)
{
    DnsAddressReply reply;
    const QList<QByteArray> wanted = LabelsOf(name);
    reply.ok = ReadAnswers(
        message, id, reply.truncated,
        [&](quint16 type, const QList<QByteArray>& owner, qsizetype data, qsizetype length) {
            if (type != kTypeAaaa || length != 16 || wanted.isEmpty() || !SameName(owner, wanted) ||
                reply.addresses.size() >= kMaxIpv6Addresses)
                return;
            Ipv6Bytes address;
            for (int i = 0; i < 16; ++i)
                address[size_t(i)] = quint8(message[data + i]);
            reply.addresses.push_back(address);
        });
    return reply;
}
