// lanvey-db over database files in a temporary folder: each command, the exit statuses,
// and the refusal to write a database that a window holds.

#include "ChildProcessTestUtil.h"
#include "RecordTestUtil.h"
#include "ScriptedPrompt.h"
#include "TestPrinters.h"
#include "cli/DbTool.h"
#include "cli/ScanReport.h"
#include "records/DatabaseFile.h"
#include "records/LanveyDoc.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

namespace
{

class DbTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_db = m_dir.filePath(QStringLiteral("Database.lvdat"));
    }

    // Runs one command on the test's database; keeps what it printed.
    int Run(QStringList args)
    {
        out.clear();
        err.clear();
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        args.prepend(m_db);
        args.prepend(QStringLiteral("--db"));
        return RunDbTool(args, outStream, errStream);
    }

    std::vector<std::unique_ptr<DatabaseRecord>> Stored()
    {
        std::vector<std::unique_ptr<DatabaseRecord>> records;
        QString error;
        EXPECT_TRUE(DatabaseFile::Read(m_db, records, &error)) << error.toStdString();
        return records;
    }
    QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    static void Write(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    ScopedScriptedPrompt prompt;
    QTemporaryDir m_dir;
    QString m_db;
    QString out;
    QString err;
};

TEST_F(DbTool, AddListAndDeleteWithEveryField)
{
    ASSERT_EQ(Run({"add", "198.18.0.7", "02:00:00:aa:bb:07", "--name", "LAB PC, \"east\"",
                   "--workgroup", "WG", "--user", "ops", "--location", "rack 3", "--comment",
                   "=sum(A1)", "--color", "#FF8000"}),
              kDbDone)
        << err.toStdString();
    ASSERT_EQ(Run({"add", "198.18.0.8", "02:00:00:aa:bb:08"}), kDbDone);
    auto stored = Stored();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0]->ip, IpOf("198.18.0.7"));
    EXPECT_EQ(stored[0]->mac, MacOf("02:00:00:aa:bb:07"));
    EXPECT_EQ(stored[0]->hostName, QStringLiteral("LAB PC, \"east\""));
    EXPECT_EQ(stored[0]->userName, QStringLiteral("ops"));
    EXPECT_EQ(stored[0]->location, QStringLiteral("rack 3"));
    EXPECT_EQ(stored[0]->comment, QStringLiteral("=sum(A1)"));
    EXPECT_EQ(stored[0]->color, MakeColorRef(0xFF, 0x80, 0x00));

    ASSERT_EQ(Run({"list"}), kDbDone);
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("IP Address"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("02:00:00:AA:BB:07")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("rack 3")));
    ASSERT_EQ(Run({"list", "--format", "json"}), kDbDone);
    EXPECT_TRUE(out.contains(QStringLiteral("\"198.18.0.8\""))) << out.toStdString();

    // Deleting one there and one not: the one there goes, the status says one was not.
    EXPECT_EQ(Run({"delete", "198.18.0.7", "198.18.0.99"}), kDbFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("198.18.0.99"))) << err.toStdString();
    stored = Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->ip, IpOf("198.18.0.8"));
}

TEST_F(DbTool, TheListTableHoldsEveryCellToABoundedWidth)
{
    // A file written by anything may hold names of any length; the table shows a start.
    std::vector<std::unique_ptr<DatabaseRecord>> records;
    for (int i = 0; i < 50; ++i) {
        records.push_back(Known("198.18.0.1", "02:00:00:00:00:01"));
        records.back()->ip = IpFromHostOrder(IpToHostOrder(IpOf("198.18.0.1")) + quint32(i));
        records.back()->hostName = QString(100000, u'n');
        records.back()->comment = QString(100000, u'c');
    }
    QString error;
    ASSERT_TRUE(DatabaseFile::Save(m_db, records, &error)) << error.toStdString();
    ASSERT_EQ(Run({"list"}), kDbDone) << err.toStdString();
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 51);
    for (const QString& line : lines)
        EXPECT_LT(line.size(), 1000);
    EXPECT_TRUE(lines[1].contains(QString(kMaxTableCell - 1, u'n') + QChar(0x2026)));
}

TEST_F(DbTool, AnExportToAFullDiskSaysSoAndLeavesNoFile)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to mount a small disk";
    ASSERT_EQ(Run({"add", "198.18.0.7", "02:00:00:aa:bb:07", "--comment", QString(200, u'c')}),
              kDbDone);
    const QString full = Path("full");
    ASSERT_TRUE(QDir().mkdir(full));
    const QString said = InChild([&] {
        if (!MountFullDisk(full))
            return QStringLiteral("(no small disk)");
        const int status = Run({"export", full + QStringLiteral("/hosts.csv")});
        return QStringLiteral("%1|%2|%3")
            .arg(status)
            .arg(err.trimmed(), QDir(full).entryList(QDir::Files | QDir::Hidden).join(u','));
    });
    EXPECT_EQ(said,
              QStringLiteral("%1|lanvey-db: cannot write %2/hosts.csv: the disk is full|filler")
                  .arg(kDbFailed)
                  .arg(full));
}

TEST_F(DbTool, BadInputIsNamedAndChangesNothing)
{
    ASSERT_EQ(Run({"add", "198.18.0.1", "02:00:00:00:00:01"}), kDbDone);
    const struct {
        QStringList args;
        const char* named;
    } cases[] = {
        {{}, "no command"},
        {{"frobnicate"}, "frobnicate"},
        {{"add", "198.18.0.300", "02:00:00:00:00:02"}, "198.18.0.300"},
        {{"add", "198.18.0.2", "02-00-00-00-00-02"}, "02-00-00-00-00-02"},
        {{"add", "198.18.0.2", "02:00:00:00:00:02", "--color", "red"}, "red"},
        {{"add", "198.18.0.1", "02:00:00:00:00:09"}, "already"},
        {{"add", "198.18.0.2", "02:00:00:00:00:02", "--bogus"}, "--bogus"},
        {{"delete", "nonsense"}, "nonsense"},
        {{"list", "--format", "xml"}, "xml"},
        {{"import", "/no/such/file.csv"}, "no file"},
        {{"import", "x.csv", "--replace", "--keep"}, "exclude"},
        {{"add", "198.18.0.2", "02:00:00:00:00:02", "--name"}, "needs a value"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args), kDbUsage) << c.args.join(u' ').toStdString();
        EXPECT_TRUE(err.contains(QString::fromLatin1(c.named)))
            << c.args.join(u' ').toStdString() << ": " << err.toStdString();
    }
    ASSERT_EQ(Stored().size(), 1u);
}

// --help (or -h) prints the usage on standard output, wherever it stands, and does
// nothing else: no file is made, no record added.
TEST_F(DbTool, HelpPrintsTheUsageAndDoesNothingElse)
{
    for (const QStringList& args :
         {QStringList{"--help"}, QStringList{"-h"},
          QStringList{"add", "198.18.0.2", "02:00:00:00:00:02", "--help"}}) {
        EXPECT_EQ(Run(args), kDbDone) << args.join(u' ').toStdString();
        EXPECT_TRUE(out.startsWith("usage: lanvey-db [--db FILE] list")) << out.toStdString();
        for (const char* command : {"list", "export", "import", "add", "delete"})
            EXPECT_TRUE(out.contains(QStringLiteral("\n  %1 ").arg(QLatin1String(command))))
                << command;
        EXPECT_TRUE(err.isEmpty()) << err.toStdString();
        EXPECT_FALSE(QFile::exists(m_db));
    }
    // Without it the usage goes with the complaint to standard error, as before.
    EXPECT_EQ(Run({"--bogus"}), kDbUsage);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(err.contains("usage: lanvey-db"));
}

TEST_F(DbTool, ExportThenImportIntoAnEmptyDatabaseGivesTheSameRecords)
{
    ASSERT_EQ(Run({"add", "198.18.0.9", "02:00:00:00:00:09", "--name", "line\nbreak, \"q\"",
                   "--comment", "+1 tab\there", "--color", "#0000FF"}),
              kDbDone);
    ASSERT_EQ(Run({"add", "198.18.0.3", "02:00:00:00:00:03", "--name", "主机-三"}), kDbDone);
    {
        // As a merge from a scan leaves them: names the other protocols gave.
        std::vector<std::unique_ptr<DatabaseRecord>> records;
        ASSERT_TRUE(DatabaseFile::Read(m_db, records));
        records[0]->otherNames = {{QStringLiteral("nine.local"), NameSource::Mdns},
                                  {QStringLiteral("nine, \"x\" (DNS)"), NameSource::Dns}};
        ASSERT_TRUE(DatabaseFile::Save(m_db, records));
    }
    const auto before = Stored();
    for (const char* name : {"hosts.csv", "hosts.json"}) {
        const QString file = Path(name);
        ASSERT_EQ(Run({"export", file}), kDbDone) << err.toStdString();
        const QString other = m_db;
        m_db = Path("other.lvdat");
        QFile::remove(m_db);
        ASSERT_EQ(Run({"import", file}), kDbDone) << name << ": " << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("New Records:\t2"))) << err.toStdString();
        const auto after = Stored();
        ASSERT_EQ(after.size(), before.size()) << name;
        for (size_t i = 0; i < after.size(); ++i)
            EXPECT_EQ(*after[i], *before[i]) << name << " row " << i;
        m_db = other;
    }
}

TEST_F(DbTool, ImportKeepsOrReplacesClashesAndCountsErrorRows)
{
    ASSERT_EQ(Run({"add", "198.18.0.1", "02:00:00:00:00:01", "--name", "old"}), kDbDone);
    const QString plain = Path("scan.txt");
    // arp-scan --plain: address, MAC, vendor; one line with a MAC that is not one.
    Write(plain, "198.18.0.1\t02:00:00:00:00:11\tVendor A\n"
                 "198.18.0.2\t02:00:00:00:00:02\tVendor B\n"
                 "198.18.0.3\tzz:00:00:00:00:03\tVendor C\n");
    EXPECT_EQ(Run({"import", plain}), kDbFailed) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("Error Records:\t1"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("line 3"))) << err.toStdString();
    auto stored = Stored();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0]->hostName, QStringLiteral("old")); // kept: the default
    EXPECT_EQ(stored[0]->mac, MacOf("02:00:00:00:00:01"));

    EXPECT_EQ(Run({"import", plain, "--replace"}), kDbFailed);
    stored = Stored();
    ASSERT_EQ(stored.size(), 2u);
    // Both rows clash now. The one with another MAC replaces its record, which goes to
    // the end and keeps its name: arp-scan's output carries none. The other equals its
    // record in all it carries: matched, unchanged, in its place.
    EXPECT_EQ(stored[0]->ip, IpOf("198.18.0.2"));
    EXPECT_EQ(stored[1]->ip, IpOf("198.18.0.1"));
    EXPECT_EQ(stored[1]->mac, MacOf("02:00:00:00:00:11"));
    EXPECT_EQ(stored[1]->hostName, QStringLiteral("old"));
    EXPECT_TRUE(err.contains(QStringLiteral("Cover Records:\t1"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("Matched Records:\t1"))) << err.toStdString();

    // A file of no known kind changes nothing.
    const QString junk = Path("junk.bin");
    Write(junk, QByteArray("\x00\x01\x02 not hosts", 14));
    EXPECT_EQ(Run({"import", junk}), kDbFailed);
    EXPECT_EQ(Stored().size(), 2u);
}

TEST_F(DbTool, ADatabaseAWindowHoldsIsNeverWritten)
{
    ASSERT_EQ(Run({"add", "198.18.0.1", "02:00:00:00:00:01"}), kDbDone);
    QFile original(m_db);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    original.close();
    {
        // The window's document holds the file while it is open.
        CLanveyDoc window;
        ASSERT_EQ(window.OpenDatabase(m_db).status, DatabaseLoadResult::Loaded);
        EXPECT_EQ(Run({"add", "198.18.0.2", "02:00:00:00:00:02"}), kDbInUse);
        EXPECT_TRUE(err.contains(QStringLiteral("window"))) << err.toStdString();
        EXPECT_EQ(Run({"delete", "198.18.0.1"}), kDbInUse);
        // Reading goes on.
        EXPECT_EQ(Run({"list"}), kDbDone);
        EXPECT_TRUE(out.contains(QStringLiteral("198.18.0.1")));
        QFile after(m_db);
        ASSERT_TRUE(after.open(QIODevice::ReadOnly));
        EXPECT_EQ(after.readAll(), bytes);
    }
    // Once the window has gone, the change goes in.
    EXPECT_EQ(Run({"add", "198.18.0.2", "02:00:00:00:00:02"}), kDbDone);
    EXPECT_EQ(Stored().size(), 2u);
}

} // namespace

TEST_F(DbTool, HistoryAndEventsPrintWhatTheWatchStoredInEachFormat)
{
    const quint32 ip = IpOf("198.18.0.7");
    const quint64 mac = MacOf("02:00:00:00:00:07");
    ASSERT_TRUE(DatabaseFile::SaveHistory(
        m_db,
        {{{ip, mac, 86400000, 90000000, 3, 0, false, 0, false}, QStringLiteral("NAS"), {}},
         {{IpOf("198.18.0.8"), MacOf("02:00:00:00:00:08"), 0, 1000, 1, 0, false, 0, false},
          {},
          {}}},
        {{1000, WatchEventKind::Baseline, 0, 0, 0, 0, 2},
         {90000000, WatchEventKind::IpChanged, ip, mac, IpOf("198.18.0.9"), 0, 0}}));

    ASSERT_EQ(Run({QStringLiteral("history"), QStringLiteral("02:00:00:00:00:07"),
                   QStringLiteral("--format"), QStringLiteral("json")}),
              kDbDone)
        << err.toStdString();
    const QJsonArray pairs = QJsonDocument::fromJson(out.toUtf8()).array();
    ASSERT_EQ(pairs.size(), 1);
    EXPECT_EQ(pairs[0].toObject().value(QStringLiteral("first_seen")).toString(),
              QStringLiteral("1970-01-02T00:00:00Z"));
    EXPECT_EQ(pairs[0].toObject().value(QStringLiteral("host_name")).toString(),
              QStringLiteral("NAS"));

    ASSERT_EQ(Run({QStringLiteral("events"), QStringLiteral("--since"),
                   QStringLiteral("1970-01-01T00:00:02Z"), QStringLiteral("--format"),
                   QStringLiteral("csv")}),
              kDbDone);
    EXPECT_EQ(out.section(u'\n', 1, 1).trimmed(),
              QStringLiteral("1970-01-02T01:00:00Z,ip-changed,198.18.0.7,02:00:00:00:00:07,"
                             "198.18.0.9,"));
    ASSERT_EQ(Run({QStringLiteral("events")}), kDbDone);
    EXPECT_TRUE(out.contains(QStringLiteral("baseline"))) << out.toStdString();
    EXPECT_EQ(
        Run({QStringLiteral("events"), QStringLiteral("--since"), QStringLiteral("yesterday")}),
        kDbUsage);
    EXPECT_EQ(Run({QStringLiteral("history"), QStringLiteral("nas")}), kDbUsage);
}
