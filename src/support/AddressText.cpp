#include "support/AddressText.h"

#include <QtEndian>

namespace
{

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Strict dotted-decimal parse into host order; false for anything that is not one.
bool ParseDotted(const QString& text, quint32& hostOrder)
{
    quint32 value = 0;
    int part = 0;
    int digits = 0;
    quint32 octet = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9') {
            if (++digits > 3)
                return false;
            octet = octet * 10 + (u - '0');
            if (octet > 255)
                return false;
        } else if (u == '.') {
            if (digits == 0 || part == 3)
                return false;
            value = (value << 8) | octet;
            ++part;
            digits = 0;
            octet = 0;
        } else {
            return false;
        }
    }
    if (part != 3 || digits == 0)
        return false;
    hostOrder = (value << 8) | octet;
    return true;
}

} // namespace

quint32 IpToHostOrder(quint32 ip)
{
    return qFromBigEndian(ip);
}

quint32 IpFromHostOrder(quint32 hostOrder)
{
    return qToBigEndian(hostOrder);
}

QString FormatIpAddress(quint32 ip)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(IpOctet(ip, 0))
        .arg(IpOctet(ip, 1))
        .arg(IpOctet(ip, 2))
        .arg(IpOctet(ip, 3));
}

quint32 GetIpAddress(const QString& text)
{
    quint32 hostOrder = 0;
    if (!ParseDotted(text, hostOrder))
        return kNoIpAddress;
    return IpFromHostOrder(hostOrder);
}

bool IsValidIpAddress(const QString& text)
{
    quint32 hostOrder = 0;
    return ParseDotted(text, hostOrder);
}

QString FormatMacAddress(quint64 mac)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QString text(17, QLatin1Char(':'));
    for (int i = 0; i < 6; ++i) {
        const quint8 octet = MacOctet(mac, i);
        text[i * 3] = QLatin1Char(kDigits[octet >> 4]);
        text[i * 3 + 1] = QLatin1Char(kDigits[octet & 0xF]);
    }
    return text;
}

quint64 GetMacAddress(const QString& text, QChar separator)
{
    if (text.size() != 17)
        return kNoMacAddress;
    quint64 mac = 0;
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && text[i * 3 - 1] != separator)
            return kNoMacAddress;
        const int high = HexDigit(text[i * 3]);
        const int low = HexDigit(text[i * 3 + 1]);
        if (high < 0 || low < 0)
            return kNoMacAddress;
        mac |= quint64((high << 4) | low) << (8 * i);
    }
    return mac;
}

bool IsValidMacAddress(const QString& text)
{
    return GetMacAddress(text, QLatin1Char(':')) != kNoMacAddress;
}

QString FormatNumber(quint64 count)
{
    QString digits = QString::number(count);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char(','));
    return digits;
}
