#pragma once

#include "records/ColorRef.h"
#include "records/RecordExchange.h"

#include <QByteArrayView>
#include <QString>
#include <optional>
#include <vector>

// What every format of the exchange shares: the byte-order mark, addresses and colours
// read from untrusted text, the list of rows that could not be read, and lines and words.
namespace exchange
{

inline constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

int HexValue(char c);

// "#RRGGBB", as the files write a colour.
std::optional<ColorRef> ParseColor(QByteArrayView text);

// Addresses are short; anything longer is not one, whatever it holds, and is never
// decoded.
std::optional<quint32> ParseIp(QByteArrayView text);

// Six groups of one or two hex digits, joined by ':' or '-' throughout ("00:1a:2B:..",
// "0:1a:2b:3c:4d:5e" as ether_ntoa writes it); stored with the top 16 bits set.
std::optional<quint64> ParseMac(QByteArrayView text);

QString Text(QByteArrayView bytes);

// The rows that could not be read. A hostile file can have millions of them; past a
// thousand nobody reads the list, so the rest are counted and named by one entry.
class ErrorList
{
public:
    static constexpr qsizetype kMax = 1000;

    explicit ErrorList(std::vector<ImportError>& errors) : m_errors(errors) {}

    void Add(int line, const QString& reason);
    void Finish();

private:
    std::vector<ImportError>& m_errors;
    qint64 m_more = 0;
    int m_firstMore = 0;
};

QString BadIp();
QString BadMac();
QString BadIpv6();

// Physical lines of a text: a line ends at LF, CRLF or a lone CR (the line numbers an
// editor shows).
class LineReader
{
public:
    explicit LineReader(QByteArrayView text) : m_text(text) {}

    bool Next(QByteArrayView& line);
    int LineNumber() const { return m_line; }

private:
    QByteArrayView m_text;
    qsizetype m_pos = 0;
    int m_line = 0;
};

bool IsBlank(char c);

// The whitespace-separated words of a line, at most `max` of them.
std::vector<QByteArrayView> Words(QByteArrayView line, size_t max);

// The tab-separated fields of a line, at most `max` of them (the last holds the rest).
std::vector<QByteArrayView> TabFields(QByteArrayView line, size_t max);

} // namespace exchange
