#include "records/RecordExchange.h"

#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "records/CompareResult.h"
#include "records/IdentityFlags.h"
#include "records/RecordColumns.h"
#include "support/AddressText.h"
#include "support/NVOUI.h"

#include <QByteArrayView>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QXmlStreamReader>
#include <optional>

namespace
{

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// ---------------------------------------------------------------------------------------
// Cells and names as the written formats need them

// What a spreadsheet takes for the start of a formula (or of a DDE call).
bool StartsFormula(QChar c)
{
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

// Formula protection that the reader can undo exactly. A cell is protected when, after
// any apostrophes it starts with, it starts a formula: "=x" is written "'=x", and "'=x"
// (whose own apostrophe would otherwise be taken for ours) "''=x". The reader removes one
// apostrophe from exactly those cells: one or more apostrophes, then a formula start.
// Every other cell ("'abc", "'", "''") is written and read as it is. So the written cell
// never starts a formula, and reading gives back every string unchanged.
bool NeedsFormulaGuard(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u'\'')
        ++i;
    return i < text.size() && StartsFormula(text[i]);
}

QString RemoveFormulaGuard(QString text)
{
    if (text.startsWith(u'\'') && NeedsFormulaGuard(text))
        text.remove(0, 1);
    return text;
}

void AppendCsvCell(QByteArray& out, QString cell)
{
    if (NeedsFormulaGuard(cell))
        cell.prepend(u'\'');
    bool quote = !cell.isEmpty() && (cell.front() == u' ' || cell.back() == u' ');
    bool hasQuote = false;
    for (const QChar c : cell) {
        if (c == u'"')
            hasQuote = true;
        else if (c == u',' || c == u'\r' || c == u'\n')
            quote = true;
    }
    if (!quote && !hasQuote) {
        out += cell.toUtf8();
        return;
    }
    if (hasQuote)
        cell.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    out += '"';
    out += cell.toUtf8();
    out += '"';
}

void AppendCsvRow(QByteArray& out, const QStringList& cells)
{
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += ',';
        AppendCsvCell(out, cells[i]);
    }
    out += "\r\n";
}

void AppendJsonString(QByteArray& out, const QString& text)
{
    out += '"';
    bool plain = true;
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\' || IsControlChar(c.unicode())) {
            plain = false;
            break;
        }
    }
    if (plain) {
        out += text.toUtf8();
        out += '"';
        return;
    }
    QString escaped;
    escaped.reserve(text.size() + 16);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            escaped += QLatin1String("\\\"");
            break;
        case u'\\':
            escaped += QLatin1String("\\\\");
            break;
        case u'\b':
            escaped += QLatin1String("\\b");
            break;
        case u'\f':
            escaped += QLatin1String("\\f");
            break;
        case u'\n':
            escaped += QLatin1String("\\n");
            break;
        case u'\r':
            escaped += QLatin1String("\\r");
            break;
        case u'\t':
            escaped += QLatin1String("\\t");
            break;
        default:
            // C0 as JSON wants it, and DEL and C1 too: a terminal that shows the file
            // must not take them for commands.
            if (IsControlChar(c.unicode()))
                escaped += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
            else
                escaped += c;
        }
    }
    out += escaped.toUtf8();
    out += '"';
}

// The members of one JSON object, in the order given, indented as Qt's writer would.
// A member's value: a string, or JSON text written as it is (a list).
struct JsonValue {
    JsonValue(QString value) : text(std::move(value)) {}
    static JsonValue Raw(QByteArray json)
    {
        JsonValue value{QString()};
        value.raw = std::move(json);
        value.isRaw = true;
        return value;
    }
    QString text;
    QByteArray raw;
    bool isRaw = false;
};
using JsonMembers = std::vector<std::pair<const char*, JsonValue>>;

void AppendJsonObject(QByteArray& out, const JsonMembers& members)
{
    out += "    {\n";
    qsizetype i = 0;
    for (const auto& [key, value] : members) {
        out += "        \"";
        out += key;
        out += "\": ";
        if (value.isRaw)
            out += value.raw;
        else
            AppendJsonString(out, value.text);
        out += ++i < qsizetype(members.size()) ? ",\n" : "\n";
    }
    out += "    }";
}

QByteArray JsonStringList(const QStringList& items)
{
    QByteArray out = "[";
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i)
            out += ", ";
        AppendJsonString(out, items[i]);
    }
    return out + "]";
}

QByteArray OtherNamesJson(const OtherNames& names)
{
    QByteArray out = "[";
    for (size_t i = 0; i < names.size(); ++i) {
        out += i ? ", {\"name\": " : "{\"name\": ";
        AppendJsonString(out, names[i].name);
        out += ", \"source\": ";
        AppendJsonString(out, NameSourceTag(names[i].source));
        out += "}";
    }
    return out + "]";
}

// A host name for a line format ("MAC name", "IP name"), whose readers split a line at
// whitespace and end it at '#'. Such a name cannot be written as it is, so the ends are
// trimmed and every whitespace, control character or '#' left inside becomes '_'. A
// name that is empty then is no name, and its row is left out like one without a name.
QString LineFormatName(const QString& name)
{
    QString text = name.trimmed();
    for (QChar& c : text) {
        if (c.isSpace() || IsControlChar(c.unicode()) || c == u'#')
            c = u'_';
    }
    return text;
}

// The name a line file gives a host: its NetBIOS name, else the first of its other names
// (multicast DNS, LLMNR, reverse DNS), so that a host without NetBIOS is named too.
template <typename Record> QString LineFileName(const Record& row)
{
    if (!LineFormatName(row.hostName).isEmpty() || row.otherNames.empty())
        return row.hostName;
    return row.otherNames.front().name;
}

void AppendNameLine(QByteArray& out, const QString& address, const QString& name)
{
    const QString shown = LineFormatName(name);
    if (shown.isEmpty())
        return;
    out += address.toLatin1();
    out += ' ';
    out += shown.toUtf8();
    out += '\n';
}

QString ColorText(ColorRef color)
{
    static const char kHex[] = "0123456789ABCDEF";
    QString text(7, u'#');
    const quint8 parts[3] = {ColorRefRed(color), ColorRefGreen(color), ColorRefBlue(color)};
    for (int i = 0; i < 3; ++i) {
        text[1 + 2 * i] = QLatin1Char(kHex[parts[i] >> 4]);
        text[2 + 2 * i] = QLatin1Char(kHex[parts[i] & 15]);
    }
    return text;
}

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

// ---------------------------------------------------------------------------------------
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

// Six groups of one or two hex digits, joined by ':' or '-' throughout ("00:1a:2B:..",
// "0:1a:2b:3c:4d:5e" as ether_ntoa writes it); stored with the top 16 bits set.
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

// The rows that could not be read. A hostile file can have millions of them; past a
// thousand nobody reads the list, so the rest are counted and named by one entry.
class ErrorList
{
public:
    static constexpr qsizetype kMax = 1000;

    explicit ErrorList(std::vector<ImportError>& errors) : m_errors(errors) {}

    void Add(int line, const QString& reason)
    {
        if (qsizetype(m_errors.size()) < kMax) {
            m_errors.push_back({line, reason});
            return;
        }
        if (m_more++ == 0)
            m_firstMore = line;
    }

    void Finish()
    {
        if (m_more > 0)
            m_errors.push_back(
                {m_firstMore,
                 FormatLangStringA(0xF2BA, "and %d_MORE% more rows that could not be read",
                                   {int(m_more)})});
        m_more = 0;
    }

private:
    std::vector<ImportError>& m_errors;
    qint64 m_more = 0;
    int m_firstMore = 0;
};

QString BadIp()
{
    return FormatLangStringA(0xF2B2, "bad IP address");
}
QString BadMac()
{
    return FormatLangStringA(0xF2B3, "bad MAC address");
}

// Physical lines of a text: a line ends at LF, CRLF or a lone CR (the line numbers an
// editor shows).
class LineReader
{
public:
    explicit LineReader(QByteArrayView text) : m_text(text) {}

    bool Next(QByteArrayView& line)
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

    int LineNumber() const { return m_line; }

private:
    QByteArrayView m_text;
    qsizetype m_pos = 0;
    int m_line = 0;
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The whitespace-separated words of a line, at most `max` of them.
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

// --- CSV -------------------------------------------------------------------------------

// No CSV of ours has more columns than this; a row with more is counted, not kept, so
// that a file of nothing but commas costs no memory.
constexpr size_t kMaxCsvFields = 16;

// No field of ours is longer than this: 32 other names of 255 characters, each written
// with escapes. The rest of a longer field is read past, not kept, so that one huge
// field costs no memory.
constexpr qsizetype kMaxCsvFieldBytes = 64 * 1024;

struct CsvRow {
    int line = 0;
    std::vector<QByteArray> fields; // the first kMaxCsvFields of them
    size_t count = 0;               // all of them
    bool unclosedQuote = false;
    bool cut = false; // a field was longer than kMaxCsvFieldBytes
};

// RFC 4180, lenient where files from elsewhere are: LF or a lone CR end a row too, and
// text after a closing quote stays in the field. Counts the physical lines it passes.
class CsvReader
{
public:
    explicit CsvReader(QByteArrayView text) : m_text(text) {}

    bool Next(CsvRow& row)
    {
        if (m_pos >= m_text.size())
            return false;
        row.line = m_line;
        row.fields.clear();
        row.count = 0;
        row.unclosedQuote = false;
        row.cut = false;
        const char* data = m_text.data();
        const qsizetype size = m_text.size();
        for (;;) {
            QByteArray field;
            if (m_pos < size && data[m_pos] == '"') {
                ++m_pos;
                bool closed = false;
                while (m_pos < size) {
                    const qsizetype start = m_pos;
                    while (m_pos < size && data[m_pos] != '"' && data[m_pos] != '\r' &&
                           data[m_pos] != '\n')
                        ++m_pos;
                    Append(field, row, data + start, m_pos - start);
                    if (m_pos >= size)
                        break;
                    const char c = data[m_pos];
                    if (c == '"') {
                        if (m_pos + 1 < size && data[m_pos + 1] == '"') {
                            Append(field, row, "\"", 1);
                            m_pos += 2;
                            continue;
                        }
                        ++m_pos;
                        closed = true;
                        break;
                    }
                    // A line break inside the quotes belongs to the field.
                    Append(field, row, &c, 1);
                    ++m_pos;
                    if (c == '\r' && m_pos < size && data[m_pos] == '\n') {
                        Append(field, row, "\n", 1);
                        ++m_pos;
                    }
                    ++m_line;
                }
                if (!closed)
                    row.unclosedQuote = true;
            }
            const qsizetype start = m_pos;
            while (m_pos < size && data[m_pos] != ',' && data[m_pos] != '\r' && data[m_pos] != '\n')
                ++m_pos;
            Append(field, row, data + start, m_pos - start);
            if (++row.count <= kMaxCsvFields)
                row.fields.push_back(std::move(field));
            if (m_pos < size && data[m_pos] == ',') {
                ++m_pos;
                continue;
            }
            if (m_pos < size) {
                if (data[m_pos] == '\r' && m_pos + 1 < size && data[m_pos + 1] == '\n')
                    ++m_pos;
                ++m_pos;
                ++m_line;
            }
            return true;
        }
    }

private:
    static void Append(QByteArray& field, CsvRow& row, const char* data, qsizetype size)
    {
        const qsizetype room = kMaxCsvFieldBytes - field.size();
        if (size > room)
            row.cut = true;
        if (room > 0)
            field.append(data, std::min(size, room));
    }

    QByteArrayView m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
};

// The scan list's columns, its compare keyword and its flags; files written before the
// Other Names column have the six first columns and the keyword only.
constexpr size_t kScanCsvColumns = ScanColumnCount + 2;
constexpr size_t kOldScanCsvColumns = ScanColOtherNames + 1;
// The database list's columns and its colour; files written before its Other Names
// column lack that one.
constexpr size_t kDatabaseCsvColumns = DbColumnCount + 1;
constexpr size_t kOldDatabaseCsvColumns = DbColOtherNames + 1;
// Both lists start with the same four columns.
static_assert(int(ScanColIp) == int(DbColIp) && int(ScanColMac) == int(DbColMac) &&
              int(ScanColHostName) == int(DbColHostName) &&
              int(ScanColWorkgroup) == int(DbColWorkgroup));

bool IsEmptyRow(const CsvRow& row)
{
    for (const QByteArray& field : row.fields)
        if (!field.isEmpty())
            return false;
    return true;
}

QString CsvText(const QByteArray& field)
{
    return RemoveFormulaGuard(Text(field));
}

void ReadCsv(QByteArrayView text, ImportReadResult& result)
{
    ErrorList errors(result.errors);
    CsvReader reader(text);
    CsvRow row;
    if (!reader.Next(row))
        return;
    const size_t columns = row.count;
    // The first row is the header, unless the file was written without one. The scan
    // list's file with the Other Names column is as wide as the database list's file from
    // before that column; its header ends in "compare" and "flags", which no language
    // translates.
    const bool headed = !ParseIp(row.fields.front()).has_value();
    const bool scanHeader = headed && row.fields.size() >= 2 &&
                            row.fields[row.fields.size() - 2] == "compare" &&
                            row.fields.back() == "flags";
    const bool databaseFile =
        !scanHeader && (columns == kDatabaseCsvColumns || columns == kOldDatabaseCsvColumns);
    // The cell of the Other Names, and of the colour, when the file has one.
    const size_t namesColumn = scanHeader && columns == kScanCsvColumns ? size_t(ScanColOtherNames)
                               : databaseFile && columns == kDatabaseCsvColumns
                                   ? size_t(DbColOtherNames)
                                   : 0;
    const size_t colorColumn = columns - 1;
    bool haveRow = !headed || reader.Next(row);
    for (; haveRow; haveRow = reader.Next(row)) {
        if (row.unclosedQuote) {
            errors.Add(row.line, FormatLangStringA(0xF2B0, "quote not closed"));
            continue;
        }
        if (IsEmptyRow(row))
            continue;
        if (row.count != columns) {
            errors.Add(row.line,
                       FormatLangStringA(0xF2B1, "%d_FIELDS% fields instead of %d_COLUMNS%",
                                         {int(row.count), int(columns)}));
            continue;
        }
        const auto ip = ParseIp(row.fields[0]);
        if (!ip) {
            errors.Add(row.line, BadIp());
            continue;
        }
        const auto mac = ParseMac(row.fields[1]);
        if (!mac) {
            errors.Add(row.line, BadMac());
            continue;
        }
        ImportedRecord imported;
        imported.line = row.line;
        imported.cut = row.cut;
        imported.fields =
            kImportHostName | kImportWorkgroup | (namesColumn ? unsigned(kImportOtherNames) : 0u) |
            (databaseFile
                 ? unsigned(kImportUserName | kImportLocation | kImportComment | kImportColor)
                 : 0u);
        DatabaseRecord& record = imported.record;
        record.ip = *ip;
        record.mac = *mac;
        record.hostName = CsvText(row.fields[DbColHostName]);
        record.workgroup = CsvText(row.fields[DbColWorkgroup]);
        if (namesColumn)
            record.otherNames = ParseOtherNamesText(CsvText(row.fields[namesColumn]));
        if (databaseFile) {
            const QByteArray& color = row.fields[colorColumn];
            if (!color.isEmpty()) {
                const auto value = ParseColor(color);
                if (!value) {
                    errors.Add(row.line, FormatLangStringA(0xF2B4, "bad colour"));
                    continue;
                }
                record.color = *value;
            }
            record.userName = CsvText(row.fields[DbColUserName]);
            record.location = CsvText(row.fields[DbColLocation]);
            record.comment = CsvText(row.fields[DbColComment]);
        }
        result.records.push_back(std::move(imported));
    }
    errors.Finish();
}

// --- JSON ------------------------------------------------------------------------------

// JSON's "\ud800" is a surrogate without its partner, which no UTF-8 text (the database
// file, our own export) can hold; it is kept as U+FFFD, as a UTF-8 decoder would.
QString WholeCharacters(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

// The line each element of the top-level array starts on. QJsonDocument tells no
// positions, so the text (already known to be valid JSON) is walked once alongside.
std::vector<int> JsonElementLines(QByteArrayView text)
{
    std::vector<int> lines;
    int line = 1;
    qint64 depth = 0;
    bool inString = false;
    bool expectElement = false;
    const char* data = text.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = data[i];
        if (c == '\n' || (c == '\r' && !(i + 1 < text.size() && data[i + 1] == '\n'))) {
            ++line;
            continue;
        }
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r')
            continue;
        if (depth == 1 && expectElement && c != ']') {
            lines.push_back(line);
            expectElement = false;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth == 1)
                expectElement = true;
        } else if (c == ']' || c == '}') {
            --depth;
        } else if (c == ',' && depth == 1) {
            expectElement = true;
        }
    }
    return lines;
}

// The line of a byte offset: LF, CRLF and a lone CR each end one, as for LineReader.
int LineAt(QByteArrayView text, qsizetype offset)
{
    offset = std::clamp<qsizetype>(offset, 0, text.size());
    int line = 1;
    for (qsizetype i = 0; i < offset; ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && !(i + 1 < text.size() && text[i + 1] == '\n')))
            ++line;
    }
    return line;
}

void ReadJson(QByteArrayView text, ImportReadResult& result)
{
    ErrorList errors(result.errors);
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(text.data(), text.size()), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isArray()) {
        errors.Add(LineAt(text, parseError.offset), FormatLangStringA(0xF2B5, "not valid JSON"));
        errors.Finish();
        return;
    }
    const QJsonArray array = document.array();
    const std::vector<int> lines = JsonElementLines(text);
    auto member = [](const QJsonObject& object, const char* key) {
        return WholeCharacters(object.value(QLatin1String(key)).toString());
    };
    for (qsizetype i = 0; i < array.size(); ++i) {
        const int line = size_t(i) < lines.size() ? lines[size_t(i)] : 0;
        const QJsonValue value = array.at(i);
        if (!value.isObject()) {
            errors.Add(line, FormatLangStringA(0xF2B6, "not an object"));
            continue;
        }
        const QJsonObject object = value.toObject();
        const auto ip = ParseIp(member(object, "ip").toLatin1());
        if (!ip) {
            errors.Add(line, BadIp());
            continue;
        }
        const auto mac = ParseMac(member(object, "mac").toLatin1());
        if (!mac) {
            errors.Add(line, BadMac());
            continue;
        }
        ImportedRecord imported;
        imported.line = line;
        imported.fields = 0;
        const std::pair<const char*, ImportField> keys[] = {
            {"host_name", kImportHostName},    {"workgroup", kImportWorkgroup},
            {"user_name", kImportUserName},    {"location", kImportLocation},
            {"comment", kImportComment},       {"color", kImportColor},
            {"other_names", kImportOtherNames}};
        for (const auto& [key, field] : keys)
            if (object.contains(QLatin1String(key)))
                imported.fields |= field;
        DatabaseRecord& record = imported.record;
        record.ip = *ip;
        record.mac = *mac;
        const QJsonValue color = object.value(QLatin1String("color"));
        if (!color.isUndefined() && !color.isNull()) {
            const auto parsed = ParseColor(color.toString().toLatin1());
            if (!parsed) {
                errors.Add(line, FormatLangStringA(0xF2B4, "bad colour"));
                continue;
            }
            record.color = *parsed;
        }
        record.hostName = member(object, "host_name");
        record.workgroup = member(object, "workgroup");
        record.userName = member(object, "user_name");
        record.location = member(object, "location");
        record.comment = member(object, "comment");
        for (const QJsonValue entry : object.value(QLatin1String("other_names")).toArray()) {
            const QJsonObject name = entry.toObject();
            const auto source = NameSourceFromTag(member(name, "source"));
            if (source)
                AddOtherName(record.otherNames, member(name, "name"), *source);
        }
        result.records.push_back(std::move(imported));
    }
    errors.Finish();
}

// --- nmap XML --------------------------------------------------------------------------

// Every <host> with an IPv4 and a MAC address; hosts without a MAC (the scanning host
// itself, hosts behind a router) are no error. False when the root is not <nmaprun>.
bool ReadNmapXml(QByteArrayView text, ImportReadResult& result)
{
    ErrorList errors(result.errors);
    QXmlStreamReader xml(QByteArray::fromRawData(text.data(), text.size()));
    bool rootSeen = false;
    bool inHost = false;
    int hostLine = 0;
    QString ip, mac, hostName;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = xml.name();
            if (!rootSeen) {
                if (name != QLatin1String("nmaprun"))
                    return false;
                rootSeen = true;
                continue;
            }
            if (name == QLatin1String("host")) {
                inHost = true;
                hostLine = int(xml.lineNumber());
                ip.clear();
                mac.clear();
                hostName.clear();
            } else if (inHost && name == QLatin1String("address")) {
                const QXmlStreamAttributes attributes = xml.attributes();
                const QStringView type = attributes.value(QLatin1String("addrtype"));
                if (type == QLatin1String("ipv4") && ip.isNull())
                    ip = attributes.value(QLatin1String("addr")).toString();
                else if (type == QLatin1String("mac") && mac.isNull())
                    mac = attributes.value(QLatin1String("addr")).toString();
            } else if (inHost && name == QLatin1String("hostname") && hostName.isNull()) {
                hostName = xml.attributes().value(QLatin1String("name")).toString();
            }
        } else if (token == QXmlStreamReader::EndElement && inHost &&
                   xml.name() == QLatin1String("host")) {
            inHost = false;
            if (ip.isNull() || mac.isNull())
                continue;
            const auto ipValue = ParseIp(ip.toLatin1());
            const auto macValue = ParseMac(mac.toLatin1());
            if (!ipValue || !macValue) {
                errors.Add(hostLine, ipValue ? BadMac() : BadIp());
                continue;
            }
            ImportedRecord imported;
            imported.line = hostLine;
            imported.record.ip = *ipValue;
            imported.record.mac = *macValue;
            imported.record.hostName = hostName.isNull() ? QString() : hostName;
            imported.fields = hostName.isNull() ? 0u : unsigned(kImportHostName);
            result.records.push_back(std::move(imported));
        }
    }
    if (!rootSeen)
        return false;
    // A file cut short keeps the hosts before the cut.
    if (xml.hasError())
        errors.Add(int(xml.lineNumber()),
                   FormatLangStringA(0xF2B7, "XML: %s_ERROR%", {xml.errorString()}));
    errors.Finish();
    return true;
}

// --- arp-scan --------------------------------------------------------------------------

bool IsArpScanBanner(QByteArrayView line)
{
    return line.startsWith("Interface: ") || line.startsWith("Starting arp-scan ");
}

// Its host lines are the only ones with tabs: "IP<TAB>MAC<TAB>vendor". Everything else
// (the interface and start banner, the packet counts, "Ending arp-scan") is skipped.
// arp-scan marks a second reply for an address "(DUP: n)"; the first reply is the host,
// so a duplicate is skipped too.
void ReadArpScan(QByteArrayView text, ImportReadResult& result)
{
    ErrorList errors(result.errors);
    LineReader lines(text);
    QByteArrayView line;
    while (lines.Next(line)) {
        if (!line.contains('\t'))
            continue;
        const std::vector<QByteArrayView> fields = TabFields(line, 3);
        if (fields.size() > 2 && fields[2].contains("(DUP: "))
            continue;
        const auto ip = ParseIp(fields[0]);
        if (!ip) {
            errors.Add(lines.LineNumber(), BadIp());
            continue;
        }
        const auto mac = fields.size() > 1 ? ParseMac(fields[1]) : std::nullopt;
        if (!mac) {
            errors.Add(lines.LineNumber(), BadMac());
            continue;
        }
        ImportedRecord imported;
        imported.line = lines.LineNumber();
        imported.record.ip = *ip;
        imported.record.mac = *mac;
        imported.fields = 0;
        result.records.push_back(std::move(imported));
    }
    errors.Finish();
}

// --- ethers ----------------------------------------------------------------------------

// The part of an ethers line before its comment, if any.
QByteArrayView EthersData(QByteArrayView line)
{
    const qsizetype hash = line.indexOf('#');
    return hash < 0 ? line : line.first(hash);
}

// "MAC name" lines, '#' to the end of a line a comment. The address of a named MAC comes
// from the database; a line may also give the address itself instead of a name
// ("MAC 198.18.0.7", as /etc/ethers allows).
void ReadEthers(QByteArrayView text, const std::vector<const DatabaseRecord*>& knownMacs,
                ImportReadResult& result)
{
    ErrorList errors(result.errors);
    std::optional<QHash<quint64, quint32>> addresses;
    LineReader lines(text);
    QByteArrayView line;
    while (lines.Next(line)) {
        const std::vector<QByteArrayView> words = Words(EthersData(line), 2);
        if (words.empty())
            continue;
        const int number = lines.LineNumber();
        const auto mac = ParseMac(words[0]);
        if (!mac) {
            errors.Add(number, BadMac());
            continue;
        }
        if (words.size() < 2) {
            errors.Add(number, FormatLangStringA(0xF2B8, "no host name"));
            continue;
        }
        ImportedRecord imported;
        imported.line = number;
        imported.record.mac = *mac;
        imported.fields = 0;
        if (const auto ip = ParseIp(words[1])) {
            imported.record.ip = *ip;
        } else {
            if (!addresses) {
                addresses.emplace();
                addresses->reserve(qsizetype(knownMacs.size()));
                // The first record of a MAC gives its address.
                for (const DatabaseRecord* known : knownMacs) {
                    const quint64 key = known ? known->mac | kMacTopBits : 0;
                    if (known && !addresses->contains(key))
                        addresses->insert(key, known->ip);
                }
            }
            const auto found = addresses->constFind(*mac);
            if (found == addresses->constEnd()) {
                errors.Add(number, FormatLangStringA(0xF2B9, "MAC address not in the database"));
                continue;
            }
            imported.record.ip = found.value();
            imported.record.hostName = Text(words[1]);
            imported.fields = kImportHostName;
        }
        result.records.push_back(std::move(imported));
    }
    errors.Finish();
}

// --- telling the formats apart ---------------------------------------------------------

QByteArrayView SkipSpace(QByteArrayView text)
{
    qsizetype i = 0;
    while (i < text.size() && (IsBlank(text[i]) || text[i] == '\r' || text[i] == '\n'))
        ++i;
    return text.sliced(i);
}

// The first line that holds anything but blanks (and, for ethers, comments).
QByteArrayView FirstDataLine(QByteArrayView text, bool skipComments)
{
    LineReader lines(text);
    QByteArrayView line;
    while (lines.Next(line)) {
        const QByteArrayView data = skipComments ? EthersData(line) : line;
        if (!Words(data, 1).empty())
            return data;
    }
    return {};
}

ExchangeFormat DetectTextFormat(QByteArrayView text)
{
    const QByteArrayView first = FirstDataLine(text, false);
    if (IsArpScanBanner(first))
        return ExchangeFormat::ArpScan;
    const std::vector<QByteArrayView> fields = TabFields(first, 3);
    if (fields.size() >= 2 && ParseIp(fields[0]) && ParseMac(fields[1]))
        return ExchangeFormat::ArpScan;

    const std::vector<QByteArrayView> words = Words(FirstDataLine(text, true), 1);
    if (!words.empty() && ParseMac(words[0]))
        return ExchangeFormat::Ethers;

    // Ours by the number of columns, whatever language the header is in.
    CsvReader reader(text);
    CsvRow row;
    if (reader.Next(row) && (row.count == kScanCsvColumns || row.count == kOldScanCsvColumns ||
                             row.count == kDatabaseCsvColumns))
        return ExchangeFormat::Csv;
    return ExchangeFormat::Unknown;
}

} // namespace

QString CompareKeyword(const HostRecord& record)
{
    const bool ipDiffers = record.ipState == CompareState::Different;
    const bool macDiffers = record.macState == CompareState::Different;
    if (ipDiffers && macDiffers)
        return QStringLiteral("both-differ");
    if (ipDiffers)
        return QStringLiteral("ip-differs");
    if (macDiffers)
        return QStringLiteral("mac-differs");
    return record.overallState == CompareState::Matched ? QStringLiteral("matched")
                                                        : QStringLiteral("new");
}

namespace
{

// Both lists write the same way: a CSV header and a row of cells per record, a JSON
// object per record, or a name line per record that has a host name.
template <typename Record, typename CsvCells, typename Members>
QByteArray WriteRows(ExchangeFormat format, const std::vector<const Record*>& rows,
                     const QStringList& titles, CsvCells csvCells, Members members)
{
    QByteArray out;
    switch (format) {
    case ExchangeFormat::Csv:
        out.reserve(qsizetype(rows.size()) * 96 + 256);
        out += kUtf8Bom;
        AppendCsvRow(out, titles);
        for (const Record* row : rows)
            AppendCsvRow(out, csvCells(*row));
        break;
    case ExchangeFormat::Json: {
        out.reserve(qsizetype(rows.size()) * 320 + 16);
        out += '[';
        bool first = true;
        for (const Record* row : rows) {
            out += first ? "\n" : ",\n";
            first = false;
            AppendJsonObject(out, members(*row));
        }
        out += first ? "]\n" : "\n]\n";
        break;
    }
    case ExchangeFormat::Ethers:
        for (const Record* row : rows)
            AppendNameLine(out, FormatMacAddress(row->mac), LineFileName(*row));
        break;
    case ExchangeFormat::Hosts:
        for (const Record* row : rows)
            AppendNameLine(out, FormatIpAddress(row->ip), LineFileName(*row));
        break;
    case ExchangeFormat::ArpScan:
    case ExchangeFormat::NmapXml:
    case ExchangeFormat::Unknown:
        break;
    }
    return out;
}

} // namespace

QByteArray WriteScanRecords(ExchangeFormat format, const std::vector<const HostRecord*>& rows,
                            const CNVOUI* oui, CsvControls controls)
{
    const auto cells = [&](const HostRecord& row) {
        QStringList cells;
        // The Compare Result messages end in a space, which is no part of a file's cell.
        for (int column = 0; column < ScanColumnCount; ++column)
            cells << (column == ScanColOtherNames ? OtherNamesFileText(row.otherNames)
                      : column == ScanColCompare  ? CompareResultText(row, false).trimmed()
                                                  : ScanCellText(row, column, oui, false));
        cells << CompareKeyword(row) << IdentityFlagKeywords(row).join(u' ');
        if (controls == CsvControls::Escape) {
            for (QString& cell : cells)
                cell = EscapeControlChars(cell);
        }
        return cells;
    };
    const auto members = [&](const HostRecord& row) {
        return JsonMembers{
            {"ip", ScanCellText(row, ScanColIp, oui)},
            {"mac", ScanCellText(row, ScanColMac, oui)},
            {"host_name", row.hostName},
            {"workgroup", row.workgroup},
            {"manufacturer", ScanCellText(row, ScanColVendor, oui)},
            {"compare", CompareKeyword(row)},
            {"compare_text", CompareResultText(row, false).trimmed()},
            {"other_names", JsonValue::Raw(OtherNamesJson(row.otherNames))},
            {"flags", JsonValue::Raw(JsonStringList(IdentityFlagKeywords(row)))},
            {"netbios_mac", row.netBiosMac ? FormatMacAddress(row.netBiosMac) : QString()}};
    };
    return WriteRows(format, rows,
                     ScanColumnTitles() << QStringLiteral("compare") << QStringLiteral("flags"),
                     cells, members);
}

QByteArray WriteDatabaseRecords(ExchangeFormat format,
                                const std::vector<const DatabaseRecord*>& rows, const CNVOUI* oui)
{
    auto vendor = [oui](const QString& mac) { return oui ? oui->GetManufacturer(mac) : QString(); };
    const auto cells = [&](const DatabaseRecord& row) {
        const QString mac = FormatMacAddress(row.mac);
        return QStringList{FormatIpAddress(row.ip),
                           mac,
                           row.hostName,
                           row.workgroup,
                           row.userName,
                           row.location,
                           vendor(mac),
                           row.comment,
                           OtherNamesFileText(row.otherNames),
                           ColorText(row.color)};
    };
    const auto members = [&](const DatabaseRecord& row) {
        const QString mac = FormatMacAddress(row.mac);
        return JsonMembers{{"ip", FormatIpAddress(row.ip)},
                           {"mac", mac},
                           {"host_name", row.hostName},
                           {"workgroup", row.workgroup},
                           {"user_name", row.userName},
                           {"location", row.location},
                           {"manufacturer", vendor(mac)},
                           {"comment", row.comment},
                           {"color", ColorText(row.color)},
                           {"other_names", JsonValue::Raw(OtherNamesJson(row.otherNames))}};
    };
    return WriteRows(format, rows, DatabaseColumnTitles() << QStringLiteral("color"), cells,
                     members);
}

namespace
{

ImportReadResult ReadAnyFormat(const QByteArray& data,
                               const std::vector<const DatabaseRecord*>& knownMacs)
{
    ImportReadResult result;
    QByteArrayView text(data);
    if (text.startsWith(kUtf8Bom))
        text = text.sliced(3);
    const QByteArrayView start = SkipSpace(text);
    if (start.isEmpty())
        return result;
    if (start.front() == '[') {
        result.format = ExchangeFormat::Json;
        ReadJson(text, result);
        return result;
    }
    if (start.front() == '<') {
        if (ReadNmapXml(text, result))
            result.format = ExchangeFormat::NmapXml;
        else
            result = {};
        return result;
    }
    result.format = DetectTextFormat(text);
    switch (result.format) {
    case ExchangeFormat::ArpScan:
        ReadArpScan(text, result);
        break;
    case ExchangeFormat::Ethers:
        ReadEthers(text, knownMacs, result);
        break;
    case ExchangeFormat::Csv:
        ReadCsv(text, result);
        break;
    default:
        break;
    }
    return result;
}

} // namespace

ImportReadResult ReadRecords(const QByteArray& data,
                             const std::vector<const DatabaseRecord*>& knownMacs)
{
    ImportReadResult result = ReadAnyFormat(data, knownMacs);
    for (ImportedRecord& imported : result.records) {
        imported.cut = LimitRecordTexts(imported.record) || imported.cut;
        result.cutRows += imported.cut;
    }
    return result;
}

DatabaseRecord CompletedImport(const ImportedRecord& imported, const DatabaseRecord& known)
{
    DatabaseRecord record = imported.record;
    const auto keep = [&](ImportField field, auto member) {
        if (!(imported.fields & field))
            record.*member = known.*member;
    };
    keep(kImportHostName, &DatabaseRecord::hostName);
    keep(kImportWorkgroup, &DatabaseRecord::workgroup);
    keep(kImportUserName, &DatabaseRecord::userName);
    keep(kImportLocation, &DatabaseRecord::location);
    keep(kImportComment, &DatabaseRecord::comment);
    keep(kImportColor, &DatabaseRecord::color);
    keep(kImportOtherNames, &DatabaseRecord::otherNames);
    return record;
}

std::optional<ExchangeFormat> ExchangeFormatNamed(const QString& word)
{
    const QString name = word.toLower();
    if (name == QLatin1String("csv"))
        return ExchangeFormat::Csv;
    if (name == QLatin1String("json"))
        return ExchangeFormat::Json;
    if (name == QLatin1String("ethers"))
        return ExchangeFormat::Ethers;
    if (name == QLatin1String("hosts"))
        return ExchangeFormat::Hosts;
    return std::nullopt;
}

std::optional<ExchangeFormat> ExchangeFormatOfName(const QString& path)
{
    const QFileInfo file(path);
    const std::optional<ExchangeFormat> whole = ExchangeFormatNamed(file.fileName());
    if (whole == ExchangeFormat::Ethers || whole == ExchangeFormat::Hosts)
        return whole;
    const std::optional<ExchangeFormat> suffix = ExchangeFormatNamed(file.suffix());
    if (suffix == ExchangeFormat::Csv || suffix == ExchangeFormat::Json)
        return suffix;
    return std::nullopt;
}

QString ExchangeSuffix(ExchangeFormat format)
{
    switch (format) {
    case ExchangeFormat::Csv:
        return QStringLiteral("csv");
    case ExchangeFormat::Json:
        return QStringLiteral("json");
    default:
        return QString();
    }
}
