#include "records/exchange/ExchangeText.h"

#include "lang/LangString.h"
#include "support/AddressText.h"

namespace exchange
{

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<ColorRef> ParseColor(QByteArrayView text)
{
    text = text.trimmed();
    if (text.size() != 7 || text[0] != '#')
        return std::nullopt;
    quint8 parts[3] = {};
    for (int i = 0; i < 3; ++i) {
        const int high = HexValue(text[1 + 2 * i]);
        const int low = HexValue(text[2 + 2 * i]);
        if (high < 0 || low < 0)
            return std::nullopt;
        parts[i] = quint8(high * 16 + low);
    }
    return MakeColorRef(parts[0], parts[1], parts[2]);
}
// Reading

// Addresses are short; anything longer is not one, whatever it holds, and is never
// decoded.
std::optional<quint32> ParseIp(QByteArrayView text)
{
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 15)
        return std::nullopt;
    const QString ip = QString::fromLatin1(text);
    if (!IsValidIpAddress(ip))
        return std::nullopt;
    return GetIpAddress(ip);
}

std::optional<quint64> ParseMac(QByteArrayView text)
{
    text = text.trimmed();
    if (text.size() < 11 || text.size() > 17)
        return std::nullopt;
    const char separator = text.contains(':') ? ':' : '-';
    quint64 mac = 0;
    int group = 0;
    int digits = 0;
    quint64 octet = 0;
    for (const char c : text) {
        if (c == separator) {
            if (digits == 0 || ++group > 5)
                return std::nullopt;
            mac |= octet << (8 * (group - 1));
            digits = 0;
            octet = 0;
            continue;
        }
        const int value = HexValue(c);
        if (value < 0 || ++digits > 2)
            return std::nullopt;
        octet = octet * 16 + quint64(value);
    }
    if (group != 5 || digits == 0)
        return std::nullopt;
    return mac | (octet << 40) | kMacTopBits;
}

QString Text(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
}

void ErrorList::Add(int line, const QString& reason)
{
    if (qsizetype(m_errors.size()) < kMax) {
        m_errors.push_back({line, reason});
        return;
    }
    if (m_more++ == 0)
        m_firstMore = line;
}

void ErrorList::Finish()
{
    if (m_more > 0)
        m_errors.push_back(
            {m_firstMore, FormatLangStringA(0xF2BA, "and %d_MORE% more rows that could not be read",
                                            {int(m_more)})});
    m_more = 0;
}

QString BadIp()
{
    return FormatLangStringA(0xF2B2, "bad IP address");
}
QString BadMac()
{
    return FormatLangStringA(0xF2B3, "bad MAC address");
}

QString BadIpv6()
{
    return FormatLangStringA(0xF337, "bad IPv6 address");
}

bool LineReader::Next(QByteArrayView& line)
{
    if (m_pos >= m_text.size())
        return false;
    ++m_line;
    const qsizetype start = m_pos;
    const char* data = m_text.data();
    while (m_pos < m_text.size() && data[m_pos] != '\n' && data[m_pos] != '\r')
        ++m_pos;
    line = m_text.sliced(start, m_pos - start);
    if (m_pos < m_text.size()) {
        if (data[m_pos] == '\r' && m_pos + 1 < m_text.size() && data[m_pos + 1] == '\n')
            ++m_pos;
        ++m_pos;
    }
    return true;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::vector<QByteArrayView> Words(QByteArrayView line, size_t max)
{
    std::vector<QByteArrayView> words;
    qsizetype i = 0;
    while (words.size() < max) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i >= line.size())
            break;
        const qsizetype start = i;
        while (i < line.size() && !IsBlank(line[i]))
            ++i;
        words.push_back(line.sliced(start, i - start));
    }
    return words;
}

std::vector<QByteArrayView> TabFields(QByteArrayView line, size_t max)
{
    std::vector<QByteArrayView> fields;
    qsizetype start = 0;
    while (fields.size() + 1 < max) {
        const qsizetype tab = line.indexOf('\t', start);
        if (tab < 0)
            break;
        fields.push_back(line.sliced(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.sliced(start));
    return fields;
}

} // namespace exchange
