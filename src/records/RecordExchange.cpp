#include "records/RecordExchange.h"

#include "records/RecordColumns.h"
#include "records/exchange/ExchangeFormats.h"
#include "records/exchange/ExchangeText.h"

#include <QFileInfo>

// The one way in and out: which format a file is, and which list's table writes it.
// Each format is a file of its own under exchange/.

using namespace exchange;

namespace
{

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
    return LooksLikeOurCsv(text) ? ExchangeFormat::Csv : ExchangeFormat::Unknown;
}

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

QByteArray WriteScanRecords(ExchangeFormat format, const std::vector<const HostRecord*>& rows,
                            const CNVOUI* oui, CsvControls controls)
{
    switch (format) {
    case ExchangeFormat::Csv:
        return WriteCsv(ScanColumns(), ScanFileFields(), rows, oui, controls);
    case ExchangeFormat::Json:
        return WriteJson(ScanColumns(), ScanFileFields(), rows, oui);
    default:
        return WriteNameLines(format, rows);
    }
}

QByteArray WriteCsvTable(const QStringList& titles, const std::vector<QStringList>& rows)
{
    return exchange::WriteCsvTable(titles, rows);
}

QByteArray WriteDatabaseRecords(ExchangeFormat format,
                                const std::vector<const DatabaseRecord*>& rows, const CNVOUI* oui)
{
    switch (format) {
    case ExchangeFormat::Csv:
        return WriteCsv(DatabaseColumns(), DatabaseFileFields(), rows, oui, CsvControls::Keep);
    case ExchangeFormat::Json:
        return WriteJson(DatabaseColumns(), DatabaseFileFields(), rows, oui);
    default:
        return WriteNameLines(format, rows);
    }
}

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
    for (const ListColumn<DatabaseRecord>& column : DatabaseColumns()) {
        if (column.member && !(imported.fields & column.importField))
            record.*column.member = known.*column.member;
        if (column.addresses && !(imported.fields & column.importField))
            record.*column.addresses = known.*column.addresses;
    }
    if (!(imported.fields & kImportColor))
        record.color = known.color;
    if (!(imported.fields & kImportOtherNames))
        record.otherNames = known.otherNames;
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
