#include "RecordTestUtil.h"
#include "TestPrinters.h"
#include "cli/ScanOptions.h"
#include "cli/ScanReport.h"
#include "cli/WatchReport.h"
#include "records/CompareResult.h"
#include "records/LanveyDoc.h"
#include "records/RecordExchange.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace
{

ScanCommand Parse(std::initializer_list<const char*> words, ScanOptions* options,
                  QString* error = nullptr)
{
    QStringList arguments;
    for (const char* word : words)
        arguments << QString::fromUtf8(word);
    QString ignored;
    return ParseScanOptions(arguments, options, error ? error : &ignored);
}

TEST(ScanOptions, ReadsEveryOptionInBothSpellings)
{
    ScanOptions options;
    ASSERT_EQ(Parse({"--threads", "150", "--rate=250", "--format", "json", "--db=/tmp/x.lvdat",
                     "--progress", "--verbose", "--kernel-arp", "198.18.0.0/24"},
                    &options),
              ScanCommand::Scan);
    EXPECT_EQ(options.threads, 150u);
    EXPECT_EQ(options.rate, 250);
    EXPECT_EQ(options.format, ScanOptions::Format::Json);
    EXPECT_EQ(options.databasePath, QStringLiteral("/tmp/x.lvdat"));
    EXPECT_TRUE(options.progress && options.verbose && options.kernelPath);
    EXPECT_EQ(options.target, QStringLiteral("198.18.0.0/24"));

    ScanOptions defaults;
    ASSERT_EQ(Parse({"198.18.0.7"}, &defaults), ScanCommand::Scan);
    EXPECT_FALSE(defaults.threads.has_value());
    EXPECT_FALSE(defaults.rate.has_value()) << "chosen by the target's size";
    EXPECT_EQ(defaults.format, ScanOptions::Format::Table);
    EXPECT_FALSE(defaults.databasePath.has_value());
    EXPECT_FALSE(defaults.progress || defaults.verbose || defaults.kernelPath);

    // Threads 0 is handed on: the job makes it one worker.
    ASSERT_EQ(Parse({"--threads=0", "198.18.0.7"}, &defaults), ScanCommand::Scan);
    EXPECT_EQ(defaults.threads, 0u);
}

TEST(ScanOptions, ARangeTypedWithSpacesArrivesInPieces)
{
    ScanOptions options;
    ASSERT_EQ(Parse({"198.18.0.1", "-", "198.18.0.9"}, &options), ScanCommand::Scan);
    EXPECT_EQ(options.target, QStringLiteral("198.18.0.1 - 198.18.0.9"));
    ASSERT_EQ(Parse({"--", "--odd"}, &options), ScanCommand::Scan);
    EXPECT_EQ(options.target, QStringLiteral("--odd"));
}

TEST(ScanOptions, HelpVersionAndMistakes)
{
    ScanOptions options;
    EXPECT_EQ(Parse({"--help"}, &options), ScanCommand::Help);
    EXPECT_EQ(Parse({"-h"}, &options), ScanCommand::Help);
    EXPECT_EQ(Parse({"--version"}, &options), ScanCommand::Version);

    const struct {
        std::initializer_list<const char*> words;
        const char* says;
    } mistakes[] = {
        {{}, "no target"},
        {{"--threads", "198.18.0.0/24"}, "--threads wants"},
        {{"--threads", "-1", "198.18.0.0/24"}, "--threads wants"},
        {{"--threads"}, "needs a value"},
        {{"--rate", "0", "198.18.0.0/24"}, "--rate wants"},
        {{"--rate", "fast", "198.18.0.0/24"}, "--rate wants"},
        {{"--format", "xml", "198.18.0.0/24"}, "--format is"},
        {{"--db=", "198.18.0.0/24"}, "--db wants"},
        {{"--progress=yes", "198.18.0.0/24"}, "takes no value"},
        {{"--fast", "198.18.0.0/24"}, "unknown option --fast"},
        {{"-x", "198.18.0.0/24"}, "unknown option -x"},
    };
    for (const auto& mistake : mistakes) {
        QString error;
        ScanOptions o;
        EXPECT_EQ(Parse(mistake.words, &o, &error), ScanCommand::Error) << mistake.says;
        EXPECT_TRUE(error.contains(QString::fromUtf8(mistake.says))) << error.toStdString();
    }
    EXPECT_TRUE(ScanUsageLine().startsWith(QStringLiteral("usage: lanvey-scan")));
}

TEST(ScanOptions, TheLocaleGivesTheCodePageOfNetBiosNames)
{
    const QString none;
    EXPECT_EQ(ScanAnsiCodePage(none, none, QStringLiteral("zh_CN.UTF-8")), 936);
    EXPECT_EQ(ScanAnsiCodePage(none, none, QStringLiteral("zh_TW.UTF-8")), 950);
    // POSIX's order: LC_ALL, then LC_CTYPE, then LANG.
    EXPECT_EQ(ScanAnsiCodePage(QStringLiteral("zh_TW"), QStringLiteral("zh_CN"), none), 950);
    EXPECT_EQ(ScanAnsiCodePage(QStringLiteral("C"), none, QStringLiteral("zh_CN.UTF-8")), 1252);
    EXPECT_EQ(ScanAnsiCodePage(none, QStringLiteral("zh_CN.GBK"), QStringLiteral("en_US")), 936);
    EXPECT_EQ(ScanAnsiCodePage(none, none, none), 1252);
}

// Three hosts compared with a database: one known, one new, one whose address is known
// with another MAC.
std::vector<HostRecord> SampleHosts()
{
    CLanveyDoc doc;
    doc.AppendDatabaseRecord(Known("198.18.0.1", "02:00:00:00:00:01", "FILESERVER"));
    doc.AppendDatabaseRecord(Known("198.18.0.3", "02:00:00:00:00:33"));
    doc.AppendScanRecord(Host("198.18.0.1", "02:00:00:00:00:01", "FILESERVER", "LAB"));
    doc.AppendScanRecord(Host("198.18.0.2", "00:D0:EF:12:34:02", "PC, \"two\"", "OFFICE"));
    doc.AppendScanRecord(Host("198.18.0.3", "02:00:00:00:00:03"));
    std::vector<HostRecord> hosts;
    for (int i = 0; i < doc.GetScanRecordCount(); ++i) {
        doc.CompareWithDatabase(doc.GetScanRecord(i), i);
        hosts.push_back(*doc.GetScanRecord(i));
    }
    return hosts;
}

std::vector<ScanReportRow> SampleRows(CNVOUI* oui)
{
    std::vector<ScanReportRow> rows;
    for (const HostRecord& host : SampleHosts())
        rows.push_back(MakeScanReportRow(host, oui));
    return rows;
}

// lanvey-scan's CSV and JSON are the scan list's export.
QString Written(ExchangeFormat format, const std::vector<HostRecord>& hosts,
                CsvControls controls = CsvControls::Keep)
{
    std::vector<const HostRecord*> rows;
    for (const HostRecord& host : hosts)
        rows.push_back(&host);
    return QString::fromUtf8(WriteScanRecords(format, rows, nullptr, controls));
}

TEST(ScanReport, CsvIsRfc4180WithTheListTitlesAndNoHint)
{
    const QString csv = Written(ExchangeFormat::Csv, SampleHosts());
    std::vector<const HostRecord*> none;
    EXPECT_TRUE(WriteScanRecords(ExchangeFormat::Csv, none, nullptr).startsWith("\xEF\xBB\xBFIP"));
    const QStringList lines = csv.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 5); // header, three rows, nothing after the last CRLF
    // QString::fromUtf8 has dropped the byte-order mark.
    EXPECT_EQ(lines[0], QStringLiteral("IP Address,MAC Address,Host Name,Workgroup,"
                                       "Manufacturer,Compare Result,Other Names,IPv6 Addresses,"
                                       "compare,flags"));
    EXPECT_EQ(lines[1], QStringLiteral("198.18.0.1,02:00:00:00:00:01,FILESERVER,LAB,,"
                                       "\"Record already exists, IP address and MAC address "
                                       "completely matched\",,,matched,locally-administered"));
    EXPECT_EQ(lines[2], QStringLiteral("198.18.0.2,00:D0:EF:12:34:02,\"PC, \"\"two\"\"\",OFFICE,,"
                                       "New IP address and MAC address,,,new,"));
    EXPECT_EQ(lines[3], QStringLiteral("198.18.0.3,02:00:00:00:00:03,,,,IP Address Different,,,"
                                       "ip-differs,locally-administered"));
    EXPECT_EQ(lines[4], QString());
    EXPECT_FALSE(csv.contains(QStringLiteral("Double-Click")));
}

TEST(ScanReport, JsonCarriesTheCompareKeywordAndText)
{
    const QJsonArray array =
        QJsonDocument::fromJson(Written(ExchangeFormat::Json, SampleHosts()).toUtf8()).array();
    ASSERT_EQ(array.size(), 3);
    const QJsonObject known = array[0].toObject();
    EXPECT_EQ(known.value(QStringLiteral("ip")).toString(), QStringLiteral("198.18.0.1"));
    EXPECT_EQ(known.value(QStringLiteral("mac")).toString(), QStringLiteral("02:00:00:00:00:01"));
    EXPECT_EQ(known.value(QStringLiteral("host_name")).toString(), QStringLiteral("FILESERVER"));
    EXPECT_EQ(known.value(QStringLiteral("workgroup")).toString(), QStringLiteral("LAB"));
    EXPECT_EQ(known.value(QStringLiteral("compare")).toString(), QStringLiteral("matched"));
    EXPECT_EQ(array[1].toObject().value(QStringLiteral("compare")).toString(),
              QStringLiteral("new"));
    const QJsonObject ipDiffers = array[2].toObject();
    EXPECT_EQ(ipDiffers.value(QStringLiteral("compare")).toString(), QStringLiteral("ip-differs"));
    EXPECT_EQ(ipDiffers.value(QStringLiteral("compare_text")).toString(),
              QStringLiteral("IP Address Different"));
    EXPECT_EQ(ipDiffers.keys(),
              (QStringList{QStringLiteral("compare"), QStringLiteral("compare_text"),
                           QStringLiteral("flags"), QStringLiteral("host_name"),
                           QStringLiteral("ip"), QStringLiteral("ipv6"), QStringLiteral("mac"),
                           QStringLiteral("manufacturer"), QStringLiteral("netbios_mac"),
                           QStringLiteral("other_names"), QStringLiteral("workgroup")}));
    EXPECT_EQ(ipDiffers.value(QStringLiteral("flags")).toArray(),
              QJsonArray{QStringLiteral("locally-administered")});
    EXPECT_TRUE(ipDiffers.value(QStringLiteral("other_names")).toArray().isEmpty());
}

TEST(ScanReport, TableColumnsLineUp)
{
    const QStringList lines = FormatScanTable(SampleRows(nullptr)).split(u'\n');
    ASSERT_EQ(lines.size(), 5);
    const qsizetype macColumn = lines[0].indexOf(QStringLiteral("MAC Address"));
    const qsizetype nameColumn = lines[0].indexOf(QStringLiteral("Host Name"));
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(lines[i].indexOf(u':') - 2, macColumn) << lines[i].toStdString();
        EXPECT_FALSE(lines[i].endsWith(u' '));
    }
    EXPECT_EQ(lines[2].indexOf(QStringLiteral("PC, \"two\"")), nameColumn);
}

// A host whose names came from a hostile reply: C1 controls (U+009D starts an operating
// system command in some terminals), an escape sequence, a line break and a tab.
const QString kHostileName = QString::fromUtf16(u"PC\u0090\u009D0;pwned\u0007\u001B[2J\nX\tY");
const QString kHostileGroup = QString::fromUtf16(u"\u009BWG\r\u007F\\");

std::vector<HostRecord> HostileHosts()
{
    auto record = Host("198.18.0.9", "02:00:00:00:00:09");
    record->hostName = kHostileName;
    record->workgroup = kHostileGroup;
    return {*record};
}

std::vector<ScanReportRow> HostileRows()
{
    return {MakeScanReportRow(HostileHosts()[0], nullptr)};
}

// True when `text` holds a character a terminal could take for a control: C0 other than
// the line ends and tabs `allowed` names, DEL or C1.
bool HoldsControls(const QString& text, const QString& allowed = QString())
{
    for (const QChar c : text)
        if ((c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F)) &&
            !allowed.contains(c))
            return true;
    return false;
}

TEST(ScanReport, TheTableShowsControlCharactersOfHostileNamesAsEscapes)
{
    const QString table = FormatScanTable(HostileRows());
    EXPECT_FALSE(HoldsControls(table, QStringLiteral("\n"))) << table.toStdString();
    EXPECT_EQ(table.count(u'\n'), 2) << "one line per row";
    EXPECT_TRUE(table.contains(QStringLiteral("PC\\u0090\\u009d0;pwned\\x07\\x1b[2J\\x0aX\\x09Y")))
        << table.toStdString();
    EXPECT_TRUE(table.contains(QStringLiteral("\\u009bWG\\x0d\\x7f\\\\")));
    // The stored names stay as received.
    EXPECT_EQ(HostileRows()[0][ScanColHostName], kHostileName);
}

TEST(ScanReport, JsonEscapesEveryControlAndKeepsTheNames)
{
    const QString json = Written(ExchangeFormat::Json, HostileHosts());
    EXPECT_FALSE(HoldsControls(json, QStringLiteral("\n"))) << json.toStdString();
    EXPECT_TRUE(json.contains(QStringLiteral("\\u0090\\u009d"))) << json.toStdString();
    EXPECT_TRUE(json.contains(QStringLiteral("\\u009bWG\\r\\u007f\\\\"))) << json.toStdString();
    QJsonParseError error;
    const QJsonArray array = QJsonDocument::fromJson(json.toUtf8(), &error).array();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    ASSERT_EQ(array.size(), 1);
    EXPECT_EQ(array[0].toObject().value(QStringLiteral("host_name")).toString(), kHostileName);
    EXPECT_EQ(array[0].toObject().value(QStringLiteral("workgroup")).toString(), kHostileGroup);
}

TEST(ScanReport, CsvKeepsTheDataForFilesAndEscapesControlsForATerminal)
{
    // To a file or a pipe: the names as received, quoted where RFC 4180 wants it.
    const QString data = Written(ExchangeFormat::Csv, HostileHosts(), CsvControls::Keep);
    EXPECT_TRUE(data.contains(u'"' + kHostileName + u'"')) << data.toStdString();
    EXPECT_TRUE(data.contains(u'"' + kHostileGroup + u'"')) << data.toStdString();

    // To a terminal: nothing but the line ends of the records is a control character.
    const QString shown = Written(ExchangeFormat::Csv, HostileHosts(), CsvControls::Escape);
    EXPECT_FALSE(HoldsControls(shown, QStringLiteral("\r\n"))) << shown.toStdString();
    const QStringList lines = shown.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 3) << shown.toStdString();
    EXPECT_FALSE(lines[1].contains(u'\r') || lines[1].contains(u'\n'));
    EXPECT_EQ(lines[1], QStringLiteral("198.18.0.9,02:00:00:00:00:09,"
                                       "PC\\u0090\\u009d0;pwned\\x07\\x1b[2J\\x0aX\\x09Y,"
                                       "\\u009bWG\\x0d\\x7f\\\\,,New IP address and MAC "
                                       "address,,,new,locally-administered"));
}

} // namespace

TEST(WatchReport, AnEventLineIsOneLineOfJsonWithTheHostileNameEscaped)
{
    const HostRecord host = HostileHosts()[0];
    const WatchHostInfo info{QStringLiteral("IGT"),
                             host.hostName,
                             host.otherNames,
                             {QStringLiteral("locally-administered")}};
    WatchEvent event{86400000, WatchEventKind::MacChanged,
                     host.ip,  host.mac,
                     0,        0x0000FFFFFFFFFFFFull | 0xFFFF000000000000ull,
                     0};
    const QByteArray line = WatchEventLine(event, info);
    ASSERT_TRUE(line.endsWith('\n'));
    EXPECT_EQ(line.count('\n'), 1);
    EXPECT_FALSE(HoldsControls(QString::fromUtf8(line), QStringLiteral("\n")));
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    EXPECT_EQ(object.value(QStringLiteral("time")).toString(),
              QStringLiteral("1970-01-02T00:00:00.000Z"));
    EXPECT_EQ(object.value(QStringLiteral("event")).toString(), QStringLiteral("mac-changed"));
    EXPECT_EQ(object.value(QStringLiteral("host_name")).toString(), kHostileName);
    EXPECT_EQ(object.value(QStringLiteral("previous")).toObject().value(QStringLiteral("mac")),
              QStringLiteral("FF:FF:FF:FF:FF:FF"));
    const QJsonObject baseline =
        QJsonDocument::fromJson(WatchEventLine({0, WatchEventKind::Baseline, 0, 0, 0, 0, 24}, {}))
            .object();
    EXPECT_EQ(baseline.value(QStringLiteral("hosts")).toInt(), 24);
    EXPECT_FALSE(baseline.contains(QStringLiteral("ip")));
}
