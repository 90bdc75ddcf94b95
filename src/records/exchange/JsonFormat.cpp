#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "records/exchange/ExchangeFormats.h"
#include "records/exchange/ExchangeText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>

// One array of objects, a member per column (and per file field), indented as Qt's
// writer would; read back with Qt's parser, by key.
namespace exchange
{

namespace
{

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

} // namespace

template <typename Record>
QByteArray WriteJson(std::span<const ListColumn<Record>> columns,
                     std::span<const FileField<Record>> fields,
                     const std::vector<const Record*>& rows, const CNVOUI* oui)
{
    const CellContext context{oui, CellUse::File};
    const auto fieldValue = [](const FileField<Record>& field, const Record& row) {
        return field.words ? JsonValue::Raw(JsonStringList(field.words(row)))
                           : JsonValue(field.text(row));
    };
    QByteArray out;
    out.reserve(qsizetype(rows.size()) * 320 + 16);
    out += '[';
    bool first = true;
    for (const Record* row : rows) {
        out += first ? "\n" : ",\n";
        first = false;
        JsonMembers members;
        for (const ListColumn<Record>& column : FileColumns(columns)) {
            members.emplace_back(
                column.jsonKey,
                column.jsonNameList ? JsonValue::Raw(OtherNamesJson(row->otherNames))
                : column.addresses  ? JsonValue::Raw(JsonStringList(row->*column.addresses))
                                    : JsonValue(column.text(*row, context)));
            for (const FileField<Record>& field : fields)
                if (field.jsonAfter == column.id)
                    members.emplace_back(field.jsonKey, fieldValue(field, *row));
        }
        for (const FileField<Record>& field : fields)
            if (field.jsonAfter < 0)
                members.emplace_back(field.jsonKey, fieldValue(field, *row));
        AppendJsonObject(out, members);
    }
    out += first ? "]\n" : "\n]\n";
    return out;
}

template QByteArray WriteJson(ScanColumnTable, std::span<const FileField<HostRecord>>,
                              const std::vector<const HostRecord*>&, const CNVOUI*);
template QByteArray WriteJson(DatabaseColumnTable, std::span<const FileField<DatabaseRecord>>,
                              const std::vector<const DatabaseRecord*>&, const CNVOUI*);

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
        imported.fields = object.contains(QLatin1String("color")) ? unsigned(kImportColor) : 0u;
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
        // The database list's keys; the scan list's files use the same names.
        bool badAddress = false;
        for (const ListColumn<DatabaseRecord>& column : FileColumns(DatabaseColumns())) {
            if (!column.importField)
                continue;
            const QLatin1String key(column.jsonKey);
            if (object.contains(key))
                imported.fields |= column.importField;
            if (column.member) {
                record.*column.member = member(object, column.jsonKey);
            } else if (column.importField == kImportOtherNames) {
                for (const QJsonValue entry : object.value(key).toArray()) {
                    const QJsonObject name = entry.toObject();
                    const auto source = NameSourceFromTag(member(name, "source"));
                    if (source)
                        AddOtherName(record.otherNames, member(name, "name"), *source);
                }
            } else if (column.addresses) {
                const QJsonValue addresses = object.value(key);
                if (addresses.isString()) // as a CSV cell holds them
                    record.*column.addresses =
                        ParseIpv6AddressesText(addresses.toString(), &badAddress);
                else if (!addresses.isArray() && !addresses.isUndefined() && !addresses.isNull())
                    badAddress = true;
                for (const QJsonValue entry : addresses.toArray()) {
                    const auto address = ParseIpv6(entry.toString());
                    badAddress = badAddress || !address;
                    if (address)
                        AddIpv6Address(record.*column.addresses, *address);
                }
            }
        }
        if (badAddress) {
            errors.Add(line, BadIpv6());
            continue;
        }
        result.records.push_back(std::move(imported));
    }
    errors.Finish();
}

} // namespace exchange
