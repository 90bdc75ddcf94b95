#include "scan/ScanTarget.h"

#include "lang/LangString.h"
#include "support/AddressText.h"

QString NormalizeScanTarget(const QString& text)
{
    QString result = text;
    result.remove(QChar(u' '));
    return result;
}

int ParseAddressRange(const QString& text, ScanTargetRange* range)
{
    if (text.contains(u'/'))
        return kTargetNotThisForm;

    quint32 a = 0;
    quint32 b = 0;
    const qsizetype dash = text.indexOf(u'-');
    if (dash >= 0) {
        a = GetIpAddress(text.left(dash));
        if (a == kNoIpAddress)
            return kTargetInvalidAddress;
        b = GetIpAddress(text.mid(dash + 1));
        if (b == kNoIpAddress)
            return kTargetInvalidAddress;
    } else {
        a = b = GetIpAddress(text);
        if (a == kNoIpAddress)
            return kTargetInvalidAddress;
    }

    // The smaller end comes first, whichever way round the user wrote them.
    const quint32 hostA = IpToHostOrder(a);
    const quint32 hostB = IpToHostOrder(b);
    if (hostA > hostB)
        *range = {b, hostA - hostB};
    else
        *range = {a, hostB - hostA};
    return kTargetParsed;
}

int ParseSubnet(const QString& text, ScanTargetRange* range)
{
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0)
        return kTargetNotThisForm;

    const quint32 address = GetIpAddress(text.left(slash));
    if (address == kNoIpAddress)
        return kTargetInvalidAddress;

    QString maskText = text.mid(slash + 1);
    if (!maskText.contains(u'.')) {
        QString dotted;
        if (!PrefixLengthToMask(maskText, &dotted))
            return kTargetInvalidMask;
        maskText = dotted;
    }

    const quint32 mask = GetIpAddress(maskText);
    if (mask == kNoIpAddress && maskText != QLatin1String("255.255.255.255"))
        return kTargetInvalidAddress;
    if (!IsContiguousMask(mask))
        return kTargetInvalidMask;
    if (IpOctet(address, 0) > IpOctet(mask, 0))
        return kTargetInvalidMask;

    // An address that does not end in .0 is scanned alone. Otherwise the walk starts at
    // the address itself (it is not masked) and covers the block's size.
    if (IpOctet(address, 3) != 0)
        *range = {address, 0};
    else
        *range = {address, ~IpToHostOrder(mask)};
    return kTargetParsed;
}

bool PrefixLengthToMask(const QString& prefix, QString* mask)
{
    // Digits only; an empty text reads as 0 and so fails later as a mask of zero.
    quint32 value = 0;
    for (QChar c : prefix) {
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + quint32(c.unicode() - u'0');
        if (value > 32)
            return false;
    }
    const quint32 hostMask = value == 0 ? 0 : ~quint32(0) << (32 - value);
    *mask = FormatIpAddress(IpFromHostOrder(hostMask));
    return true;
}

bool IsContiguousMask(quint32 mask)
{
    const quint32 hostMask = IpToHostOrder(mask);
    if (hostMask == 0)
        return false;
    // Ones from the top, then only zeros: the inverted mask plus one is a power of two.
    const quint32 inverted = ~hostMask;
    return (inverted & (inverted + 1)) == 0;
}

ParsedScanTarget ParseScanTarget(const QString& text)
{
    ParsedScanTarget parsed;
    ScanTargetRange& range = parsed.range;
    int result = ParseAddressRange(text, &range);
    if (result == kTargetNotThisForm) {
        result = ParseSubnet(text, &range);
        if (result != kTargetParsed)
            range = {};
    }

    const quint8 firstOctet = IpOctet(range.first, 0);
    if (firstOctet > 223) {
        parsed.error =
            FormatLangString(184, QStringLiteral("Invalid IP addresses!")) +
            FormatLangString(
                215,
                QStringLiteral(
                    "%d_IP% is not a vaild entry.Please speacify a value between 1 and 223."),
                {int(firstOctet)});
    } else if (0xFFFFFFFFu - IpToHostOrder(range.first) < range.count ||
               result == kTargetInvalidMask) {
        parsed.error = FormatLangString(214, QStringLiteral("Invalid MASK addresses!"));
    } else if (result != kTargetParsed) {
        parsed.error = FormatLangString(184, QStringLiteral("Invalid IP addresses!"));
    }
    return parsed;
}
