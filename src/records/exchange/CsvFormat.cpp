#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "records/exchange/ExchangeFormats.h"
#include "records/exchange/ExchangeText.h"

// RFC 4180 CSV, with a header of the list's titles, formula-guarded cells, and the
// columns of either list (and of their files from before the Other Names column).
namespace exchange
{

namespace
{

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
// IPv6 Addresses column lack that one, and files written before the Other Names column
// have the six first columns and the keyword only.
constexpr size_t kScanCsvColumns = ScanColumnCount + 2;
constexpr size_t kScanCsvColumnsBeforeIpv6 = ScanColIpv6 + 2;
constexpr size_t kOldScanCsvColumns = ScanColOtherNames + 1;
// The database list's columns and its colour; files written before its IPv6 Addresses
// column lack that one, and files written before its Other Names column both.
constexpr bool IsDatabaseCsvWidth(size_t columns)
{
    return columns == DbColFirstSeen + 1 || columns == DbColIpv6 + 1 ||
           columns == DbColOtherNames + 1;
}
// Both lists start with the same four columns: a file that is neither list's is read
// as far as they go.
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

// The cells of the first `present` columns that an imported record takes; false when a
// cell holds what its column cannot take.
template <typename Record>
bool ReadColumns(std::span<const ListColumn<Record>> columns, size_t present, const CsvRow& row,
                 ImportedRecord& imported)
{
    bool bad = false;
    for (size_t i = 0; i < present && i < columns.size() && i < row.fields.size(); ++i) {
        const ListColumn<Record>& column = columns[i];
        if (!column.importField)
            continue;
        imported.fields |= column.importField;
        const QString text = CsvText(row.fields[i]);
        if (column.member)
            imported.record.*column.member = text;
        else if (column.importField == kImportOtherNames)
            imported.record.otherNames = ParseOtherNamesText(text);
        else if (column.importField == kImportIpv6)
            imported.record.ipv6 = ParseIpv6AddressesText(text, &bad);
    }
    return !bad;
}

} // namespace

template <typename Record>
QByteArray WriteCsv(std::span<const ListColumn<Record>> columns,
                    std::span<const FileField<Record>> fields,
                    const std::vector<const Record*>& rows, const CNVOUI* oui, CsvControls controls)
{
    QByteArray out;
    out.reserve(qsizetype(rows.size()) * 96 + 256);
    out += kUtf8Bom;
    QStringList titles = ColumnTitles(FileColumns(columns));
    for (const FileField<Record>& field : fields)
        if (field.csvName)
            titles << QLatin1String(field.csvName);
    AppendCsvRow(out, titles);
    const CellContext context{oui, CellUse::File};
    for (const Record* row : rows) {
        QStringList cells = RowCells(FileColumns(columns), *row, context);
        for (const FileField<Record>& field : fields)
            if (field.csvName)
                cells << (field.words ? field.words(*row).join(u' ') : field.text(*row));
        if (controls == CsvControls::Escape) {
            for (QString& cell : cells)
                cell = EscapeControlChars(cell);
        }
        AppendCsvRow(out, cells);
    }
    return out;
}

template QByteArray WriteCsv(ScanColumnTable, std::span<const FileField<HostRecord>>,
                             const std::vector<const HostRecord*>&, const CNVOUI*, CsvControls);
template QByteArray WriteCsv(DatabaseColumnTable, std::span<const FileField<DatabaseRecord>>,
                             const std::vector<const DatabaseRecord*>&, const CNVOUI*, CsvControls);

QByteArray WriteCsvTable(const QStringList& titles, const std::vector<QStringList>& rows)
{
    QByteArray out = kUtf8Bom;
    AppendCsvRow(out, titles);
    for (const QStringList& row : rows)
        AppendCsvRow(out, row);
    return out;
}

bool LooksLikeOurCsv(QByteArrayView text)
{
    CsvReader reader(text);
    CsvRow row;
    return reader.Next(row) &&
           (row.count == kScanCsvColumns || row.count == kScanCsvColumnsBeforeIpv6 ||
            row.count == kOldScanCsvColumns || IsDatabaseCsvWidth(row.count));
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
    const bool databaseFile = !scanHeader && IsDatabaseCsvWidth(columns);
    // How many of the list's columns the file has: the database list's are followed by
    // the colour, the scan list's by the compare keyword (and the flags, since the Other
    // Names column).
    const size_t present = databaseFile ? columns - 1
                           : scanHeader ? std::min(columns - 2, size_t(ScanColumnCount))
                                        : size_t(ScanColOtherNames);
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
        imported.fields = 0;
        imported.record.ip = *ip;
        imported.record.mac = *mac;
        if (databaseFile) {
            const QByteArray& color = row.fields[colorColumn];
            if (!color.isEmpty()) {
                const auto value = ParseColor(color);
                if (!value) {
                    errors.Add(row.line, FormatLangStringA(0xF2B4, "bad colour"));
                    continue;
                }
                imported.record.color = *value;
            }
            imported.fields |= kImportColor;
        }
        if (!(databaseFile ? ReadColumns(DatabaseColumns(), present, row, imported)
                           : ReadColumns(ScanColumns(), present, row, imported))) {
            errors.Add(row.line, BadIpv6());
            continue;
        }
        result.records.push_back(std::move(imported));
    }
    errors.Finish();
}

} // namespace exchange
