// The exchange formats: both lists written byte for byte as the golden files hold them,
// every format read back, the recorded outputs of arp-scan and nmap from the test LAN,
// hostile names through every format, what a spreadsheet makes of the CSV, the errors
// and their lines, and input built to hurt the reader.
//
// LANVEY_UPDATE_GOLDEN=1 rewrites the golden files from what the writers give now; read
// the difference before committing it.

#include "RecordTestUtil.h"
#include "TestPrinters.h"
#include "records/LanveyDoc.h"
#include "records/RecordExchange.h"
#include "support/NVOUI.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <random>
#include <set>

namespace
{

const QString kDataDir = QStringLiteral(LANVEY_TEST_DATA_DIR "/exchange");

QByteArray DataFile(const QString& name)
{
    QFile file(kDataDir + u'/' + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

void ExpectGolden(const QString& name, const QByteArray& written)
{
    if (qEnvironmentVariableIsSet("LANVEY_UPDATE_GOLDEN")) {
        QFile file(kDataDir + u'/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(written);
        return;
    }
    EXPECT_EQ(written, DataFile(name)) << name.toStdString();
}

template <typename Record> std::vector<const Record*> Pointers(const std::vector<Record>& records)
{
    std::vector<const Record*> pointers;
    for (const Record& record : records)
        pointers.push_back(&record);
    return pointers;
}

std::vector<DatabaseRecord> Records(const ImportReadResult& result)
{
    std::vector<DatabaseRecord> records;
    for (const ImportedRecord& imported : result.records)
        records.push_back(imported.record);
    return records;
}

std::vector<int> Lines(const ImportReadResult& result)
{
    std::vector<int> lines;
    for (const ImportedRecord& imported : result.records)
        lines.push_back(imported.line);
    return lines;
}

QStringList Errors(const ImportReadResult& result)
{
    QStringList errors;
    for (const ImportError& error : result.errors)
        errors << QStringLiteral("%1: %2").arg(error.line).arg(error.reason);
    return errors;
}

DatabaseRecord Db(const char* ip, const char* mac, const char* name = "")
{
    return *Known(ip, mac, name);
}

// A small vendor table of our own, so the golden files do not follow the system's. One
// organisation name starts with '=': registry data is no more trusted than a host name.
class Exchange : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(oui.Open(QFile::encodeName(kDataDir + "/ieee"))); }

    // Every compare outcome once, names a spreadsheet or a CSV reader could stumble on.
    std::vector<HostRecord> ScanList()
    {
        CLanveyDoc doc;
        doc.AppendDatabaseRecord(Known("198.18.0.1", "00:D0:EF:12:34:01"));
        doc.AppendDatabaseRecord(Known("198.18.0.2", "02:99:99:99:99:02"));
        doc.AppendDatabaseRecord(Known("198.18.0.99", "7C:BC:84:5C:00:03"));
        doc.AppendDatabaseRecord(Known("198.18.0.6", "02:99:99:99:99:06"));
        doc.AppendDatabaseRecord(Known("198.18.0.60", "02:00:00:4C:56:06"));
        doc.AppendScanRecord(Host("198.18.0.1", "00:D0:EF:12:34:01", "FILESERVER", "LABGROUP"));
        doc.AppendScanRecord(Host("198.18.0.2", "08:ED:ED:A1:B2:02", "CAMERA, \"HALL\"", "OFFICE"));
        doc.AppendScanRecord(Host("198.18.0.3", "7C:BC:84:5C:00:03", "=cmd|' /C calc'!A0"));
        doc.AppendScanRecord(Host("198.18.0.4", "00:20:9A:00:00:11", "", "OFFICE"));
        doc.AppendScanRecord(Host("198.18.0.6", "02:00:00:4C:56:06", "主机 六", " LAB "));
        std::vector<HostRecord> hosts;
        for (int i = 0; i < doc.GetScanRecordCount(); ++i) {
            doc.CompareWithDatabase(doc.GetScanRecord(i), i);
            hosts.push_back(*doc.GetScanRecord(i));
        }
        hosts[0].otherNames = {{QStringLiteral("fileserver.local"), NameSource::Mdns},
                               {QStringLiteral("fileserver.lab"), NameSource::Dns}};
        hosts[0].ipv6 = {QStringLiteral("2001:db8::1"), QStringLiteral("fe80::2d0:efff:fe12:3401")};
        // The adapter address NetBIOS gave differs from the MAC; the name needs a guard.
        hosts[2].netBiosMac = hosts[0].mac;
        hosts[2].otherNames = {{QStringLiteral("=1+1, (DNS) x"), NameSource::Llmnr}};
        hosts[4].otherNames = {{QStringLiteral("主机-6"), NameSource::Mdns}};
        return hosts;
    }

    static std::vector<DatabaseRecord> DatabaseList()
    {
        std::vector<DatabaseRecord> list;
        DatabaseRecord& a = list.emplace_back(Db("198.18.0.1", "00:D0:EF:12:34:01", "FILESERVER"));
        a.workgroup = QStringLiteral("LABGROUP");
        a.userName = QStringLiteral("admin");
        a.location = QStringLiteral("Room 1");
        a.comment = QStringLiteral("main, shared");
        a.color = MakeColorRef(255, 0, 0);
        a.otherNames = {{QStringLiteral("fileserver.local"), NameSource::Mdns},
                        {QStringLiteral("fileserver.lab"), NameSource::Dns}};
        a.ipv6 = {QStringLiteral("fd4c:5600:0:1::1")};
        DatabaseRecord& b = list.emplace_back(Db("198.18.0.3", "7C:BC:84:5C:00:03", "-dash"));
        b.userName = QStringLiteral("'=x");
        b.location = QStringLiteral("Büro 2");
        b.comment = QStringLiteral("line one\r\nline two");
        b.color = MakeColorRef(0x12, 0x34, 0x56);
        list.push_back(Db("198.18.0.7", "78:13:05:30:00:07"));
        DatabaseRecord& d = list.emplace_back(Db("198.18.0.8", "70:B3:D5:61:10:08", "名字 #2\tx"));
        d.workgroup = QStringLiteral("工作组");
        d.color = MakeColorRef(0, 0, 255);
        d.otherNames = {{QStringLiteral("=x, (mDNS) \"y\""), NameSource::Llmnr}};
        return list;
    }

    CNVOUI oui;
};

TEST_F(Exchange, BothListsAreWrittenAsTheGoldenFilesHoldThem)
{
    const std::vector<HostRecord> scan = ScanList();
    const std::vector<DatabaseRecord> database = DatabaseList();
    const struct {
        ExchangeFormat format;
        const char* suffix;
    } formats[] = {{ExchangeFormat::Csv, "csv"},
                   {ExchangeFormat::Json, "json"},
                   {ExchangeFormat::Ethers, "ethers"},
                   {ExchangeFormat::Hosts, "hosts"}};
    for (const auto& f : formats) {
        ExpectGolden(QStringLiteral("scan_list.%1").arg(QLatin1String(f.suffix)),
                     WriteScanRecords(f.format, Pointers(scan), &oui));
        ExpectGolden(QStringLiteral("database_list.%1").arg(QLatin1String(f.suffix)),
                     WriteDatabaseRecords(f.format, Pointers(database), &oui));
    }
    // Nothing is written as a format only read.
    EXPECT_TRUE(WriteDatabaseRecords(ExchangeFormat::NmapXml, Pointers(database), &oui).isEmpty());
    EXPECT_EQ(WriteDatabaseRecords(ExchangeFormat::Json, {}, &oui), QByteArray("[]\n"));
    EXPECT_EQ(CompareKeyword(scan[4]), QStringLiteral("both-differ"));
}

TEST_F(Exchange, EveryWrittenFormatReadsBack)
{
    // Both lists' Other Names and IPv6 addresses come along; files from before those
    // columns read as they did.
    std::vector<DatabaseRecord> database = DatabaseList();
    for (const char* name :
         {"database_list.csv", "database_list.json", "database_list_nine_columns.csv",
          "database_list_nine_columns.json", "database_list_eight_columns.csv",
          "database_list_eight_columns.json"}) {
        const bool old = QByteArray(name).contains("eight");
        for (DatabaseRecord& record : database) {
            if (QByteArray(name).contains("columns"))
                record.ipv6.clear();
            if (old)
                record.otherNames.clear();
        }
        const ImportReadResult read = ReadRecords(DataFile(QString::fromLatin1(name)));
        EXPECT_EQ(read.format,
                  QByteArray(name).endsWith("csv") ? ExchangeFormat::Csv : ExchangeFormat::Json);
        EXPECT_TRUE(read.errors.empty()) << Errors(read).join(u'\n').toStdString();
        EXPECT_EQ(Records(read), database) << name;
    }
    // The scan list gives addresses and names; the compare columns are the list's own.
    for (const char* name : {"scan_list.csv", "scan_list.json", "scan_list_seven_columns.csv",
                             "scan_list_seven_columns.json", "scan_list_six_columns.csv",
                             "scan_list_six_columns.json"}) {
        const bool old = QByteArray(name).contains("six");
        std::vector<DatabaseRecord> scanned;
        for (const HostRecord& host : ScanList()) {
            DatabaseRecord& record = scanned.emplace_back();
            record.ip = host.ip;
            record.mac = host.mac;
            record.hostName = host.hostName;
            record.workgroup = host.workgroup;
            if (!old)
                record.otherNames = host.otherNames;
            if (!QByteArray(name).contains("columns"))
                record.ipv6 = host.ipv6;
        }
        const ImportReadResult read = ReadRecords(DataFile(QString::fromLatin1(name)));
        EXPECT_TRUE(read.errors.empty()) << name;
        EXPECT_EQ(Records(read), scanned) << name;
    }
    EXPECT_EQ(Lines(ReadRecords(DataFile(QStringLiteral("database_list.csv")))),
              (std::vector<int>{2, 3, 5, 6})); // the comment spans two lines
    EXPECT_EQ(Lines(ReadRecords(DataFile(QStringLiteral("database_list.json")))),
              (std::vector<int>{2, 15, 28, 41}));

    // An ethers file names MACs: the database gives their addresses, the first record of
    // a MAC wins, and the names come back as the line format could hold them.
    std::vector<DatabaseRecord> known = database;
    known.insert(known.begin(), Db("198.18.0.111", "70:b3:d5:61:10:08"));
    const ImportReadResult ethers =
        ReadRecords(DataFile(QStringLiteral("database_list.ethers")), Pointers(known));
    ASSERT_EQ(ethers.format, ExchangeFormat::Ethers);
    ASSERT_EQ(ethers.records.size(), 3u);
    EXPECT_EQ(ethers.records[0].record, Db("198.18.0.1", "00:D0:EF:12:34:01", "FILESERVER"));
    EXPECT_EQ(ethers.records[2].record, Db("198.18.0.111", "70:B3:D5:61:10:08", "名字__2_x"));
    // A hosts file has no MACs: nothing to import.
    EXPECT_EQ(ReadRecords(DataFile(QStringLiteral("database_list.hosts"))).format,
              ExchangeFormat::Unknown);
}

TEST(ExchangeRead, RecordedArpScanAndNmapOutputsOfTheTestLan)
{
    const ImportReadResult localnet =
        ReadRecords(DataFile(QStringLiteral("arp_scan_localnet.txt")));
    const ImportReadResult plain = ReadRecords(DataFile(QStringLiteral("arp_scan_plain.txt")));
    const QByteArray nmapXml = DataFile(QStringLiteral("nmap_sn.xml"));
    const ImportReadResult nmap = ReadRecords(nmapXml);
    EXPECT_EQ(localnet.format, ExchangeFormat::ArpScan);
    EXPECT_EQ(plain.format, ExchangeFormat::ArpScan);
    EXPECT_EQ(nmap.format, ExchangeFormat::NmapXml);
    for (const ImportReadResult* read : {&localnet, &plain, &nmap}) {
        EXPECT_EQ(read->records.size(), 24u); // nmap's own host, without a MAC, is left out
        EXPECT_TRUE(read->errors.empty()) << Errors(*read).join(u'\n').toStdString();
    }
    auto pairs = [](const ImportReadResult& read) {
        std::set<std::pair<quint32, quint64>> set;
        for (const DatabaseRecord& r : Records(read))
            set.insert({r.ip, r.mac});
        return set;
    };
    EXPECT_EQ(pairs(localnet), pairs(plain));
    EXPECT_EQ(pairs(localnet), pairs(nmap));
    EXPECT_EQ(localnet.records[0].line, 3); // after the interface and start lines
    EXPECT_EQ(localnet.records[0].record, Db("198.18.0.11", "00:20:9A:00:00:11"));
    EXPECT_EQ(nmap.records[0].line, 8);
    EXPECT_EQ(nmap.records[0].record, Db("198.18.0.1", "00:D0:EF:12:34:01"));

    // A second reply for an address is no second host.
    QByteArray duplicate = DataFile(QStringLiteral("arp_scan_plain.txt"));
    duplicate.insert(0, "198.18.0.1\t00:d0:ef:12:34:01\tIGT\n"
                        "198.18.0.1\t02:4c:56:99:99:01\t(Unknown) (DUP: 2)\n");
    const ImportReadResult dup = ReadRecords(duplicate);
    EXPECT_EQ(dup.records.size(), 25u);
    for (const DatabaseRecord& r : Records(dup))
        EXPECT_NE(r.mac, MacOf("02:4c:56:99:99:01"));

    // The host name from <hostnames>, when nmap found one.
    QByteArray named = nmapXml;
    named.replace(named.indexOf("<hostnames>\n</hostnames>"), 24,
                  "<hostnames>\n<hostname name=\"fileserver.lab\" type=\"PTR\"/>\n</hostnames>");
    EXPECT_EQ(ReadRecords(named).records[0].record.hostName, QStringLiteral("fileserver.lab"));

    // A file cut short keeps the hosts before the cut and says where it ends.
    const ImportReadResult cut = ReadRecords(nmapXml.left(nmapXml.indexOf("198.18.0.5")));
    EXPECT_EQ(cut.records.size(), 4u);
    ASSERT_EQ(cut.errors.size(), 1u);
    EXPECT_EQ(cut.errors[0].line, 37);
}

// Names from hostile replies and careless users: everything a CSV reader, a spreadsheet,
// a line format or a terminal could take for syntax.
const QStringList kHostileNames = {
    QStringLiteral("\"quoted\""),
    QStringLiteral("a,b"),
    QStringLiteral("line\r\nbreak"),
    QStringLiteral("lf\nonly"),
    QStringLiteral("cr\ronly"),
    QStringLiteral("=1+1"),
    QStringLiteral("+1"),
    QStringLiteral("-1"),
    QStringLiteral("@SUM(A1)"),
    QStringLiteral("\tTAB"),
    QStringLiteral("\rCR"),
    QStringLiteral("'=x"),
    QStringLiteral("''=x"),
    QStringLiteral("'abc"),
    QStringLiteral("'"),
    QStringLiteral("''"),
    QStringLiteral(" lead"),
    QStringLiteral("trail "),
    QStringLiteral("tab\tinside"),
    QStringLiteral("中文名字"),
    QStringLiteral("Ελληνικά"),
    QStringLiteral("кириллица"),
    QStringLiteral("عربي"),
    QStringLiteral("😀 emoji"),
    QStringLiteral("\x1b[2J"),
    QStringLiteral("#hash"),
    QStringLiteral("back\\slash"),
    QStringLiteral("  "),
    QStringLiteral("="),
    QStringLiteral("'\t"),
    QString::fromUtf16(u"\u009D0;x\u0007\u007F"),
    QString::fromUtf16(u"\uFEFFbom"),
    QString::fromUtf16(u"nul\u0000in", 6),
    QString::fromUtf16(u"wide\u3000space"),
};

// A few hundred database records whose every text field is pieced together from the
// hostile names and random characters (non-Latin, controls, quotes, surrogate pairs).
std::vector<DatabaseRecord> GeneratedRecords(int count)
{
    std::mt19937 random(20261208);
    const QString alphabet =
        QString::fromUtf16(
            u"aZ09 ,\"'=+-@\t\r\n#\\;|!中文字Ωжع\u0001\u001B\u007F\u0085\u009F\u00A0\u3000") +
        QChar(0);
    auto text = [&] {
        QString s;
        const int pieces = int(random() % 4);
        for (int p = 0; p < pieces; ++p) {
            if (random() % 2)
                s += kHostileNames[qsizetype(random() % kHostileNames.size())];
            else if (random() % 5 == 0)
                s += QString::fromUtf16(u"\U0001F600");
            else
                s += alphabet[qsizetype(random() % alphabet.size())];
        }
        return s;
    };
    std::vector<DatabaseRecord> records;
    for (int i = 0; i < count; ++i) {
        DatabaseRecord& r = records.emplace_back();
        r.ip = IpFromHostOrder(0xC6120000u + quint32(i));
        const quint64 bits = (quint64(random()) << 16) ^ quint64(random());
        r.mac = kMacTopBits | (bits & 0xFFFFFFFFFFFFull);
        r.hostName = text();
        r.workgroup = text();
        r.userName = text();
        r.location = text();
        r.comment = text();
        r.color = ColorRef(random() & 0xFFFFFF);
    }
    return records;
}

TEST(ExchangeWrite, LineFilesNameAHostWithoutNetBiosByItsFirstOtherName)
{
    HostRecord named, other, none;
    named.ip = IpOf("198.18.0.1");
    named.mac = MacOf("02:00:00:00:00:01");
    named.hostName = QStringLiteral("FILESERVER");
    named.otherNames = {{QStringLiteral("files.local"), NameSource::Mdns}};
    other.ip = IpOf("198.18.0.2");
    other.mac = MacOf("02:00:00:00:00:02");
    other.otherNames = {{QStringLiteral("printer.local"), NameSource::Mdns},
                        {QStringLiteral("printer.lab"), NameSource::Dns}};
    none.ip = IpOf("198.18.0.3");
    none.mac = MacOf("02:00:00:00:00:03");
    EXPECT_EQ(WriteScanRecords(ExchangeFormat::Hosts, {&named, &other, &none}, nullptr),
              QByteArray("198.18.0.1 FILESERVER\n198.18.0.2 printer.local\n"));
    DatabaseRecord known;
    known.ip = other.ip;
    known.mac = other.mac;
    known.otherNames = other.otherNames;
    EXPECT_EQ(WriteDatabaseRecords(ExchangeFormat::Ethers, {&known}, nullptr),
              QByteArray("02:00:00:00:00:02 printer.local\n"));
}

TEST(ExchangeHostile, CsvAndJsonGiveBackEveryRecordExactly)
{
    const std::vector<DatabaseRecord> records = GeneratedRecords(400);
    for (const auto format : {ExchangeFormat::Csv, ExchangeFormat::Json}) {
        const ImportReadResult read =
            ReadRecords(WriteDatabaseRecords(format, Pointers(records), nullptr));
        EXPECT_EQ(read.format, format);
        EXPECT_TRUE(read.errors.empty()) << Errors(read).join(u'\n').toStdString();
        ASSERT_EQ(read.records.size(), records.size());
        for (size_t i = 0; i < records.size(); ++i)
            ASSERT_EQ(read.records[i].record, records[i]) << "record " << i;
    }
    // The scan list's files too, terminal escapes aside.
    std::vector<HostRecord> hosts;
    for (const DatabaseRecord& r : records) {
        HostRecord& host = hosts.emplace_back();
        host.ip = r.ip;
        host.mac = r.mac;
        host.hostName = r.hostName;
        host.workgroup = r.workgroup;
    }
    for (const auto format : {ExchangeFormat::Csv, ExchangeFormat::Json}) {
        const ImportReadResult read =
            ReadRecords(WriteScanRecords(format, Pointers(hosts), nullptr));
        ASSERT_EQ(read.records.size(), hosts.size());
        for (size_t i = 0; i < hosts.size(); ++i) {
            ASSERT_EQ(read.records[i].record.hostName, hosts[i].hostName) << i;
            ASSERT_EQ(read.records[i].record.workgroup, hosts[i].workgroup) << i;
        }
    }
}

// The cells as a spreadsheet splits them: RFC 4180 without any leniency.
std::vector<QStringList> SpreadsheetCells(const QString& text)
{
    std::vector<QStringList> rows(1);
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"')
                cell += text[++i];
            else if (c == u'"')
                quoted = false;
            else
                cell += c;
        } else if (c == u'"' && cell.isEmpty()) {
            quoted = true;
        } else if (c == u',' || c == u'\r') {
            rows.back() << cell;
            cell.clear();
            if (c == u'\r') {
                ++i;
                EXPECT_TRUE(i < text.size() && text[i] == u'\n') << "a bare CR outside quotes";
                rows.emplace_back();
            }
        } else {
            EXPECT_NE(c, u'\n') << "a bare LF outside quotes";
            EXPECT_NE(c, u'"') << "a quote inside an unquoted cell";
            cell += c;
        }
    }
    EXPECT_FALSE(quoted);
    EXPECT_TRUE(cell.isEmpty() && rows.back().isEmpty()) << "no CRLF after the last row";
    rows.pop_back();
    return rows;
}

TEST(ExchangeHostile, NoCellOfTheCsvStartsAFormula)
{
    std::vector<DatabaseRecord> records = GeneratedRecords(300);
    for (const QString& name : kHostileNames) {
        records.push_back(Db("198.18.1.1", "02:00:00:00:00:01"));
        records.back().hostName = name;
        records.back().otherNames = {{name, NameSource::Dns}};
    }
    const QByteArray csv = WriteDatabaseRecords(ExchangeFormat::Csv, Pointers(records), nullptr);
    const std::vector<QStringList> rows = SpreadsheetCells(QString::fromUtf8(csv));
    ASSERT_EQ(rows.size(), records.size() + 1);
    for (const QStringList& row : rows) {
        ASSERT_EQ(row.size(), 11);
        for (const QString& cell : row)
            EXPECT_FALSE(!cell.isEmpty() && QStringLiteral("=+-@\t\r").contains(cell[0]))
                << cell.toStdString();
    }
    // The guard is one apostrophe, and only where it is needed.
    const qsizetype first = qsizetype(records.size()) + 1 - kHostileNames.size();
    auto written = [&](const char* name) {
        return rows[size_t(first + kHostileNames.indexOf(QString::fromUtf8(name)))][2];
    };
    EXPECT_EQ(written("=1+1"), QStringLiteral("'=1+1"));
    EXPECT_EQ(written("'=x"), QStringLiteral("''=x"));
    EXPECT_EQ(written("''=x"), QStringLiteral("'''=x"));
    EXPECT_EQ(written("'abc"), QStringLiteral("'abc"));
    EXPECT_EQ(written("'"), QStringLiteral("'"));
    EXPECT_EQ(written(" lead"), QStringLiteral(" lead"));
}

TEST(ExchangeHostile, LineFormatsHoldOneNameWordPerLine)
{
    std::vector<DatabaseRecord> records;
    for (const QString& name : kHostileNames) {
        records.push_back(Db("198.18.1.1", "02:00:00:00:00:01"));
        records.back().mac += quint64(records.size());
        records.back().hostName = name;
    }
    for (const auto format : {ExchangeFormat::Ethers, ExchangeFormat::Hosts}) {
        const QString text =
            QString::fromUtf8(WriteDatabaseRecords(format, Pointers(records), nullptr));
        const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
        // Only the blank name has no line.
        EXPECT_EQ(lines.size(), kHostileNames.size() - 1);
        for (const QString& line : lines) {
            EXPECT_EQ(line.split(u' ').size(), 2) << line.toStdString();
            for (const QChar c : line.section(u' ', 1))
                EXPECT_FALSE(c.isSpace() || c.category() == QChar::Other_Control || c == u'#')
                    << line.toStdString();
        }
    }
    const ImportReadResult read =
        ReadRecords(WriteDatabaseRecords(ExchangeFormat::Ethers, Pointers(records), nullptr),
                    Pointers(records));
    ASSERT_EQ(read.records.size(), size_t(kHostileNames.size() - 1));
    QStringList names;
    for (const DatabaseRecord& r : Records(read))
        names << r.hostName;
    EXPECT_TRUE(names.contains(QStringLiteral("tab_inside")));
    EXPECT_TRUE(names.contains(QStringLiteral("_hash")));
    EXPECT_TRUE(names.contains(QStringLiteral("wide_space")));
    EXPECT_TRUE(names.contains(QStringLiteral("line__break")));
    EXPECT_TRUE(names.contains(QStringLiteral("中文名字")));
}

TEST(ExchangeRead, ErrorsNameTheLineTheRowStartsOn)
{
    const ImportReadResult csv =
        ReadRecords("IP,MAC,Host,Group,User,Place,Vendor,Comment,Colour\r\n"
                    "198.18.0.1,02:00:00:00:00:01,\"two\r\nlines\",,,,,,#000000\r\n"
                    "198.18.0.300,02:00:00:00:00:02,,,,,,,\r\n"
                    "198.18.0.3,02:00:00:00:00,,,,,,,\r\n"
                    "198.18.0.4,02:00:00:00:00:04,only,four\r\n"
                    "\r\n"
                    ",,,,,,,,\r\n"
                    "198.18.0.5,02-00-00-00-00-05,,,,,,,#12345G\r\n"
                    "198.18.0.6,2:0:0:0:0:6,\"\"\"x\"\" \",,,,,,\n"
                    "198.18.0.7,02:00:00:00:00:07,\"open\r\n");
    EXPECT_EQ(csv.format, ExchangeFormat::Csv);
    EXPECT_EQ(
        Errors(csv),
        (QStringList{QStringLiteral("4: bad IP address"), QStringLiteral("5: bad MAC address"),
                     QStringLiteral("6: 4 fields instead of 9"), QStringLiteral("9: bad colour"),
                     QStringLiteral("11: quote not closed")}));
    EXPECT_EQ(Lines(csv), (std::vector<int>{2, 10}));
    EXPECT_EQ(csv.records[1].record, Db("198.18.0.6", "02:00:00:00:00:06", "\"x\" "));

    const ImportReadResult json = ReadRecords("[\n  {\"ip\": \"198.18.0.1\", \"mac\": "
                                              "\"02:00:00:00:00:01\"},\n  5,\n  {\"ip\": "
                                              "\"198.18.0.1\"},\n  {\"ip\": \"1.2.3.4\", \"mac\": "
                                              "\"02:00:00:00:00:01\", \"color\": 7}\n]");
    EXPECT_EQ(Errors(json),
              (QStringList{QStringLiteral("3: not an object"), QStringLiteral("4: bad MAC address"),
                           QStringLiteral("5: bad colour")}));
    // An IPv6 word that is no address (a zone is none either) makes its row an error.
    const ImportReadResult addresses =
        ReadRecords("[{\"ip\": \"198.18.0.1\", \"mac\": \"02:00:00:00:00:01\", \"ipv6\": "
                    "[\"fe80::1\", \"fe80::1%eth0\"]},\n {\"ip\": \"198.18.0.2\", \"mac\": "
                    "\"02:00:00:00:00:02\", \"ipv6\": [\"fe80::2\", \"2001:DB8::2\"]}]");
    EXPECT_EQ(Errors(addresses), QStringList{QStringLiteral("1: bad IPv6 address")});
    ASSERT_EQ(addresses.records.size(), 1u);
    EXPECT_EQ(addresses.records[0].record.ipv6,
              (QStringList{QStringLiteral("2001:db8::2"), QStringLiteral("fe80::2")}));
    // A lone surrogate cannot be stored as UTF-8.
    EXPECT_EQ(
        ReadRecords("[{\"ip\": \"198.18.0.1\", \"mac\": \"02:00:00:00:00:01\", \"host_name\": "
                    "\"a\\ud800b\\udc00\\ud83d\\ude00\"}]")
            .records.at(0)
            .record.hostName,
        QString::fromUtf16(u"a\uFFFDb\uFFFD\U0001F600"));
    const ImportReadResult broken = ReadRecords("[\r{\"ip\": \"198.18.0.1\",\r\n\"mac\" 1}]");
    EXPECT_EQ(broken.format, ExchangeFormat::Json);
    EXPECT_EQ(Errors(broken), QStringList{QStringLiteral("3: not valid JSON")});

    const ImportReadResult arp =
        ReadRecords("Interface: eth0, type: EN10MB\n198.18.0.1\t02:00:00:00:00:01\tX\n"
                    "198.18.0.2\tnot-a-mac\tY\nx\ty\n24 packets received by filter\n");
    EXPECT_EQ(Errors(arp), (QStringList{QStringLiteral("3: bad MAC address"),
                                        QStringLiteral("4: bad IP address")}));

    const std::vector<DatabaseRecord> known = {Db("198.18.0.9", "02:00:00:00:00:09")};
    const ImportReadResult ethers =
        ReadRecords("# exported\n02:00:00:00:00:09 nine # a comment\n02:00:00:00:00:08 eight\n"
                    "\n02:00:00:00:00:07 198.18.0.7\n02:00:00:00:00:06\n  02:00:00:00:00:0G x\n",
                    Pointers(known));
    EXPECT_EQ(ethers.format, ExchangeFormat::Ethers);
    EXPECT_EQ(Errors(ethers), (QStringList{QStringLiteral("3: MAC address not in the database"),
                                           QStringLiteral("6: no host name"),
                                           QStringLiteral("7: bad MAC address")}));
    EXPECT_EQ(Records(ethers),
              (std::vector<DatabaseRecord>{Db("198.18.0.9", "02:00:00:00:00:09", "nine"),
                                           Db("198.18.0.7", "02:00:00:00:00:07")}));
}

TEST(ExchangeRead, TheFormatIsToldFromTheContent)
{
    for (const char* unknown : {"", " \r\n ", "hello world", "198.18.0.1 PC\n", "<html></html>",
                                "{\"ip\": \"198.18.0.1\"}", "a,b,c\r\n1,2,3\r\n", "\xFF\xFE\x00"}) {
        const ImportReadResult read = ReadRecords(QByteArray(unknown));
        EXPECT_EQ(read.format, ExchangeFormat::Unknown) << unknown;
        EXPECT_TRUE(read.records.empty() && read.errors.empty()) << unknown;
    }
    // Any language's titles, or none: the columns tell.
    const ImportReadResult chinese =
        ReadRecords("IP 地址,MAC 地址,主机名,工作组,制造商,比较结果,compare\r\n"
                    "198.18.0.1,02:00:00:00:00:01,主机,组,,,new\r\n");
    EXPECT_EQ(chinese.format, ExchangeFormat::Csv);
    EXPECT_EQ(Records(chinese), (std::vector<DatabaseRecord>{[] {
                  DatabaseRecord r = Db("198.18.0.1", "02:00:00:00:00:01", "主机");
                  r.workgroup = QStringLiteral("组");
                  return r;
              }()}));
    const ImportReadResult headless = ReadRecords("198.18.0.1,02:00:00:00:00:01,A,,,,,,\n");
    EXPECT_EQ(Lines(headless), std::vector<int>{1});
}

TEST(ExchangeRead, ImportedTextsAreHeldToTheEditorsLimits)
{
    // A comment of 300 characters ending in a pair that the cut would split, user name
    // and location one over, a workgroup at the limit: in JSON and in our database CSV.
    const QString pair = QStringLiteral("\U0001F600");
    const QString comment = QString(199, u'c') + pair + QString(99, u'c');
    DatabaseRecord record;
    record.ip = IpOf("198.18.0.1");
    record.mac = MacOf("02:00:00:00:00:01");
    record.workgroup = QString(kMaxRecordNameLength, u'w');
    record.userName = QString(kMaxRecordNameLength + 1, u'u');
    record.location = QString(kMaxRecordNameLength + 1, u'l');
    record.comment = comment;
    DatabaseRecord fits = record;
    fits.ip = IpOf("198.18.0.2");
    fits.userName = fits.location = fits.comment = QStringLiteral("short");
    for (const ExchangeFormat format : {ExchangeFormat::Json, ExchangeFormat::Csv}) {
        SCOPED_TRACE(ExchangeSuffix(format).toStdString());
        const ImportReadResult read =
            ReadRecords(WriteDatabaseRecords(format, {&record, &fits}, nullptr));
        ASSERT_EQ(read.records.size(), 2u);
        const DatabaseRecord& got = read.records[0].record;
        EXPECT_EQ(got.workgroup, record.workgroup);
        EXPECT_EQ(got.userName, record.userName.left(kMaxRecordNameLength));
        EXPECT_EQ(got.location, record.location.left(kMaxRecordNameLength));
        EXPECT_EQ(got.comment, QString(199, u'c')) << "half a pair kept";
        EXPECT_TRUE(read.records[0].cut);
        EXPECT_EQ(read.records[1].record, fits);
        EXPECT_FALSE(read.records[1].cut);
        EXPECT_EQ(read.cutRows, 1);
    }
}

TEST(ExchangeRead, HostileInputIsReadInBoundedTimeAndSpace)
{
    const QByteArray huge(50 * 1024 * 1024, 'x');
    const QByteArray csv = "a,b,c,d,e,f,g\r\n198.18.0.1,02:00:00:00:00:01," + huge + ",,,,\r\n";
    const ImportReadResult longName = ReadRecords(csv);
    ASSERT_EQ(longName.records.size(), 1u);
    // Held to what the record editor takes, and counted.
    EXPECT_EQ(longName.records[0].record.hostName, QString(kMaxRecordNameLength, u'x'));
    EXPECT_TRUE(longName.records[0].cut);
    EXPECT_EQ(longName.cutRows, 1);
    for (const QByteArray& input :
         {huge, "[\"" + huge + "\"]",
          "Starting arp-scan 1.10.0 with 256 hosts\n" + huge + "\t" + huge,
          "02:00:00:00:00:01 " + huge, "<nmaprun><host><hostname name=\"" + huge + "\"/>",
          QByteArray(2000000, '['), "<nmaprun>" + QByteArray("<a>").repeated(1000000), "\"" + huge,
          QByteArray(20 * 1024 * 1024, ',')}) {
        const ImportReadResult read = ReadRecords(input);
        EXPECT_TRUE(read.records.empty());
        EXPECT_LE(read.errors.size(), 1u);
    }
    // Entities that expand a thousandfold at each level.
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE nmaprun [\n<!ENTITY a \"" +
                        QByteArray(1000, 'x') + "\">\n";
    for (char level = 'b'; level <= 'h'; ++level)
        laughs += QByteArray("<!ENTITY ") + level + " \"" +
                  QByteArray("&").append(char(level - 1)).append(';').repeated(1000) + "\">\n";
    laughs += "]>\n<nmaprun><host><hostname name=\"&h;\"/><address addr=\"198.18.0.1\" "
              "addrtype=\"ipv4\"/><address addr=\"02:00:00:00:00:01\" addrtype=\"mac\"/>"
              "</host></nmaprun>";
    const ImportReadResult bomb = ReadRecords(laughs);
    EXPECT_EQ(bomb.format, ExchangeFormat::NmapXml);
    // Qt's reader stops at its expansion limit: the host is lost, the error says where.
    EXPECT_TRUE(bomb.records.empty());
    ASSERT_EQ(bomb.errors.size(), 1u);
    EXPECT_EQ(bomb.errors[0].line, 12);

    // A million bad rows: the first thousand named, the rest counted in one more.
    QByteArray bad = "Starting arp-scan 1.10.0 with 256 hosts\n";
    for (int i = 0; i < 1000000; ++i)
        bad += "x\ty\n";
    const ImportReadResult many = ReadRecords(bad);
    ASSERT_EQ(many.errors.size(), 1001u);
    EXPECT_EQ(many.errors[1000].line, 1002);
    EXPECT_EQ(many.errors[1000].reason,
              QStringLiteral("and 999000 more rows that could not be read"));
}

} // namespace
