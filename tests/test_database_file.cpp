#include "ChildProcessTestUtil.h"
#include "RecordTestUtil.h"
#include "TestPrinters.h"
#include "records/DatabaseFile.h"
#include "records/LanveyDoc.h"
#include "support/NVOUI.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

using Records = std::vector<std::unique_ptr<DatabaseRecord>>;

Records SampleRecords(int count)
{
    Records records;
    for (int i = 0; i < count; ++i) {
        auto r = std::make_unique<DatabaseRecord>();
        r->ip = IpFromHostOrder(0xC6120000u + quint32(i));
        r->mac = kMacTopBits | (0x0A0B0C000000ull + quint64(i));
        r->hostName = QStringLiteral("HOST-%1").arg(i);
        r->workgroup = QStringLiteral("LAB");
        r->userName = QString::fromUtf8("Zoë 李");
        r->location = i % 2 ? QString() : QStringLiteral("rack \"%1\"").arg(i);
        r->comment = QStringLiteral("line one\nline two");
        r->color = MakeColorRef(quint8(i), 0x80, 0xFF);
        if (i % 3 == 0)
            r->otherNames = {{QStringLiteral("host-%1.local").arg(i), NameSource::Mdns},
                             {QString::fromUtf8("主机-%1, \"x\" (DNS)").arg(i), NameSource::Dns}};
        records.push_back(std::move(r));
    }
    return records;
}

void ExpectSameRecords(const Records& got, const Records& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(*got[i], *want[i]) << "record " << i;
}

void WriteFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList BadFiles(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList({QStringLiteral("*.bad")}, QDir::Files);
}

class DatabaseFileTest : public ::testing::Test
{
protected:
    QString Path() const { return m_dir.filePath(QStringLiteral("Database.lvdat")); }
    QTemporaryDir m_dir;
};

TEST_F(DatabaseFileTest, MissingFileIsCreatedAndListRoundTripsInOrder)
{
    Records loaded;
    const auto created = DatabaseFile::Load(Path(), loaded);
    EXPECT_EQ(created.status, DatabaseLoadResult::Created) << created.error.toStdString();
    EXPECT_TRUE(loaded.empty());
    EXPECT_TRUE(QFile::exists(Path()));

    Records records = SampleRecords(50);
    std::reverse(records.begin(), records.end()); // list order, not address order
    QString error;
    ASSERT_TRUE(DatabaseFile::Save(Path(), records, &error)) << error.toStdString();
    const auto result = DatabaseFile::Load(Path(), loaded);
    EXPECT_EQ(result.status, DatabaseLoadResult::Loaded);
    ExpectSameRecords(loaded, records);

    // A shorter list replaces the longer one completely.
    records.resize(3);
    ASSERT_TRUE(DatabaseFile::Save(Path(), records, &error));
    DatabaseFile::Load(Path(), loaded);
    ExpectSameRecords(loaded, records);
    records.clear();
    ASSERT_TRUE(DatabaseFile::Save(Path(), records, &error));
    DatabaseFile::Load(Path(), loaded);
    EXPECT_TRUE(loaded.empty());
}

TEST_F(DatabaseFileTest, EmptyFileIsTakenAsANewDatabase)
{
    WriteFile(Path(), QByteArray());
    Records loaded;
    EXPECT_EQ(DatabaseFile::Load(Path(), loaded).status, DatabaseLoadResult::Created);
    EXPECT_TRUE(BadFiles(m_dir).isEmpty());
    ASSERT_TRUE(DatabaseFile::Save(Path(), SampleRecords(2)));
    EXPECT_EQ(DatabaseFile::Load(Path(), loaded).status, DatabaseLoadResult::Loaded);
    EXPECT_EQ(loaded.size(), 2u);
}

TEST_F(DatabaseFileTest, FilesThatAreNotOursAreSetAsideNeverOverwritten)
{
    struct Case {
        const char* name;
        std::function<void(const QString&)> make;
    };
    auto sql = [](const char* statements) {
        return [statements](const QString& path) {
            sqlite3* db = nullptr;
            sqlite3_open(QFile::encodeName(path).constData(), &db);
            sqlite3_exec(db, statements, nullptr, nullptr, nullptr);
            sqlite3_close(db);
        };
    };
    const Case cases[] = {
        {"text file", [](const QString& p) { WriteFile(p, "not a database, just text\n"); }},
        {"another program's database", sql("CREATE TABLE t(x); INSERT INTO t VALUES (1);")},
        {"SQLite header only", [](const QString& p) { WriteFile(p, "SQLite format 3"); }},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Database.lvdat"));
        c.make(path);
        const QByteArray original = ReadFile(path);
        ASSERT_FALSE(original.isEmpty()) << c.name;

        // Saving over it is refused.
        QString error;
        EXPECT_FALSE(DatabaseFile::Save(path, SampleRecords(1), &error)) << c.name;
        EXPECT_EQ(ReadFile(path), original) << c.name;

        Records loaded = SampleRecords(1);
        const auto result = DatabaseFile::Load(path, loaded);
        ASSERT_EQ(result.status, DatabaseLoadResult::SetAside) << c.name;
        EXPECT_TRUE(loaded.empty()) << c.name;
        EXPECT_TRUE(result.setAsidePath.startsWith(path + QLatin1Char('.'))) << c.name;
        EXPECT_TRUE(result.setAsidePath.endsWith(QStringLiteral(".bad"))) << c.name;
        EXPECT_EQ(result.problem, DatabaseLoadResult::NotOurs) << c.name;
        EXPECT_EQ(ReadFile(result.setAsidePath), original) << c.name;
        // The new file works.
        ASSERT_TRUE(DatabaseFile::Save(path, SampleRecords(2), &error)) << error.toStdString();
        EXPECT_EQ(DatabaseFile::Load(path, loaded).status, DatabaseLoadResult::Loaded);
        EXPECT_EQ(loaded.size(), 2u) << c.name;
    }
}

// The table of the first version, which had no other names.
constexpr const char* kFirstSchema =
    "CREATE TABLE hosts (position INTEGER PRIMARY KEY, ip INTEGER NOT NULL UNIQUE, "
    "mac INTEGER NOT NULL, host_name TEXT NOT NULL, workgroup TEXT NOT NULL, "
    "user_name TEXT NOT NULL, location TEXT NOT NULL, comment TEXT NOT NULL, "
    "color INTEGER NOT NULL);";

// A Lanvey database made with plain SQL, as another version of the program would.
void MakeOurs(const QString& path, int userVersion, const char* schema, const char* rows = "")
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    const QByteArray sql = QByteArray(schema) + rows + "PRAGMA application_id = " +
                           QByteArray::number(DatabaseFile::kApplicationId) +
                           "; PRAGMA user_version = " + QByteArray::number(userVersion) + ";";
    EXPECT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

qint64 UserVersion(const QString& path)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    qint64 version = -1;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
            SQLITE_OK &&
        sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        version = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return version;
}

TEST_F(DatabaseFileTest, AFirstVersionFileIsReadAsItIsAndUpgradedByTheFirstSave)
{
    MakeOurs(Path(), 1, kFirstSchema,
             "INSERT INTO hosts VALUES (0, 16777226, -1, 'OLD', 'LAB', 'me', 'here', 'c', 255);"
             "INSERT INTO hosts VALUES (1, 33554442, -2, 'TWO', '', '', '', '', 0);");
    const QByteArray original = ReadFile(Path());

    // Reading it, by either door, changes nothing: the first version can still open it.
    Records read;
    QString error;
    ASSERT_TRUE(DatabaseFile::Read(Path(), read, &error)) << error.toStdString();
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0]->hostName, QStringLiteral("OLD"));
    EXPECT_EQ(read[0]->comment, QStringLiteral("c"));
    EXPECT_EQ(read[0]->color, ColorRef(255));
    EXPECT_TRUE(read[0]->otherNames.empty());
    Records loaded;
    ASSERT_EQ(DatabaseFile::Load(Path(), loaded).status, DatabaseLoadResult::Loaded);
    ExpectSameRecords(loaded, read);
    EXPECT_EQ(ReadFile(Path()), original);
    EXPECT_EQ(UserVersion(Path()), 1);

    // The first change brings it to this version, with the names it now holds.
    CLanveyDoc doc;
    ASSERT_EQ(doc.OpenDatabase(Path()).status, DatabaseLoadResult::Loaded);
    DatabaseRecord named = *doc.GetDatabaseRecord(1);
    named.otherNames = {{QStringLiteral("two.local"), NameSource::Mdns}};
    named.ipv6 = {QStringLiteral("fd00::2"), QStringLiteral("fe80::2")};
    ASSERT_TRUE(doc.SetDatabaseRecord(1, named));
    EXPECT_EQ(UserVersion(Path()), DatabaseFile::kSchemaVersion);
    ASSERT_TRUE(DatabaseFile::Read(Path(), read, &error)) << error.toStdString();
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(*read[0], *loaded[0]);
    EXPECT_EQ(*read[1], named);
    EXPECT_TRUE(BadFiles(m_dir).isEmpty());
}

TEST_F(DatabaseFileTest, TheFirstHistorySaveUpgradesASecondVersionFileAndMergesPairs)
{
    // A version 2 file: the list with other names, no history.
    MakeOurs(Path(), 2,
             "CREATE TABLE hosts(position INTEGER PRIMARY KEY, ip INTEGER NOT NULL UNIQUE, "
             "mac INTEGER NOT NULL, host_name TEXT NOT NULL, workgroup TEXT NOT NULL, "
             "user_name TEXT NOT NULL, location TEXT NOT NULL, comment TEXT NOT NULL, "
             "color INTEGER NOT NULL, other_names TEXT NOT NULL DEFAULT '');",
             "INSERT INTO hosts VALUES (0, 16777226, -1, 'OLD', 'LAB', '', '', '', 0, '');");
    std::vector<DatabaseFile::HistoryPair> pairs;
    std::vector<WatchEvent> events;
    QString error;
    ASSERT_TRUE(DatabaseFile::ReadHistory(Path(), &pairs, &events, 0, &error))
        << error.toStdString();
    EXPECT_TRUE(pairs.empty() && events.empty());
    EXPECT_EQ(UserVersion(Path()), 2);

    const quint32 ip = IpOf("10.0.0.1");
    const quint64 mac = MacOf("02:00:00:00:00:01");
    DatabaseFile::HistoryPair seen{{ip, mac, 1000, 2000, 1, 0, false, 0, false},
                                   QStringLiteral("PC"),
                                   {{QStringLiteral("pc.local"), NameSource::Mdns}}};
    ASSERT_TRUE(DatabaseFile::SaveHistory(
        Path(), {seen}, {{1000, WatchEventKind::Baseline, 0, 0, 0, 0, 1}}, &error))
        << error.toStdString();
    EXPECT_EQ(UserVersion(Path()), DatabaseFile::kSchemaVersion);
    // Seen again without names: the earlier first sighting and the names stay.
    seen.pair = {ip, mac, 5000, 9000, 2, 0, false, 0, false};
    seen.hostName.clear();
    seen.otherNames.clear();
    ASSERT_TRUE(DatabaseFile::SaveHistory(
        Path(), {seen},
        {{9000, WatchEventKind::MacChanged, ip, mac, 0, MacOf("02:00:00:00:00:09"), 0}}, &error));
    ASSERT_TRUE(DatabaseFile::ReadHistory(Path(), &pairs, &events, 0, &error));
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].pair.firstSeen, 1000);
    EXPECT_EQ(pairs[0].pair.lastSeen, 9000);
    EXPECT_EQ(pairs[0].pair.sweepsSeen, 3);
    EXPECT_EQ(pairs[0].hostName, QStringLiteral("PC"));
    EXPECT_EQ(pairs[0].otherNames.size(), 1u);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].kind, WatchEventKind::MacChanged);
    EXPECT_EQ(events[1].previousMac, MacOf("02:00:00:00:00:09"));
    ASSERT_TRUE(DatabaseFile::ReadHistory(Path(), &pairs, &events, 5000, &error));
    EXPECT_EQ(events.size(), 1u);
    // The list itself is as it was.
    Records read;
    ASSERT_TRUE(DatabaseFile::Read(Path(), read, &error));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0]->hostName, QStringLiteral("OLD"));
}

TEST_F(DatabaseFileTest, AScanSightingsFillFirstAndLastSeenAndMarkWhatAFullScanMissed)
{
    CLanveyDoc doc;
    ASSERT_EQ(doc.OpenDatabase(Path()).status, DatabaseLoadResult::Created);
    doc.AppendDatabaseRecord(Known("10.0.0.1", "02:00:00:00:00:01"));
    doc.AppendDatabaseRecord(Known("10.0.0.2", "02:00:00:00:00:02"));
    doc.AppendDatabaseRecord(Known("10.0.1.9", "02:00:00:00:00:09")); // another subnet
    HostRecord first;
    first.ip = IpOf("10.0.0.1");
    first.mac = MacOf("02:00:00:00:00:01");
    const std::pair range{IpToHostOrder(IpOf("10.0.0.0")), IpToHostOrder(IpOf("10.0.0.255"))};
    QString error;
    ASSERT_TRUE(doc.RecordScanSightings({first}, 60000, range, &error)) << error.toStdString();
    ASSERT_TRUE(doc.RecordScanSightings({first}, 120000, std::nullopt, &error));
    const DatabaseColumnTable columns = DatabaseColumns();
    const CellContext context{nullptr, CellUse::List, &doc.Sightings()};
    const DatabaseRecord& known = *doc.GetDatabaseRecord(0);
    EXPECT_EQ(columns[DbColFirstSeen].text(known, context), SeenTimeText(60000));
    EXPECT_EQ(columns[DbColLastSeen].text(known, context), SeenTimeText(120000));
    EXPECT_TRUE(columns[DbColLastSeen].text(*doc.GetDatabaseRecord(1), context).isEmpty());
    // The full scan of 10.0.0.0/24 missed 10.0.0.2; 10.0.1.9 was not in it.
    EXPECT_FALSE(doc.IsNotSeen(known));
    EXPECT_TRUE(doc.IsNotSeen(*doc.GetDatabaseRecord(1)));
    EXPECT_FALSE(doc.IsNotSeen(*doc.GetDatabaseRecord(2)));
    // The history is in the file: a document that opens it shows the same times.
    CLanveyDoc again;
    ASSERT_TRUE(QFile::copy(Path(), Path() + QStringLiteral(".copy")));
    ASSERT_EQ(again.OpenDatabase(Path() + QStringLiteral(".copy")).status,
              DatabaseLoadResult::Loaded);
    const SeenTimes* times = again.Sightings().Find(first.ip, first.mac);
    ASSERT_TRUE(times);
    EXPECT_EQ(times->first, 60000);
    EXPECT_EQ(times->last, 120000);
}

TEST_F(DatabaseFileTest, StoredNamesAreCheckedAsTheyAreRead)
{
    const QByteArray many = [] {
        QByteArray list = "[";
        for (int i = 0; i < 1000; ++i)
            list += (i ? "," : "") + QByteArray(R"({"name":"n)") + QByteArray::number(i) +
                    R"(","source":"DNS"})";
        return list + "]";
    }();
    const QByteArray longName = R"([{"name":")" + QByteArray(5000, 'a') + R"(","source":"mDNS"}])";
    QByteArray rows;
    const QByteArray texts[] = {"not json",
                                R"({"name":"x","source":"DNS"})",
                                R"([1, "x", {"name":"x"}, {"name":"x","source":"WINS"},
                                   {"name":"ok","source":"llmnr"}])",
                                many,
                                longName,
                                "[]"};
    for (int i = 0; i < int(std::size(texts)); ++i)
        rows += "INSERT INTO hosts VALUES (" + QByteArray::number(i) + ", " +
                QByteArray::number(i + 1) + ", -1, '', '', '', '', '', 0, '" + texts[i] + "');";
    // The names column holds text whatever a file may say; a blob reads as its bytes.
    rows +=
        R"(INSERT INTO hosts VALUES (6, 7, -1, '', '', '', '', '', 0, x'5b7b226e616d65223a2262222c22736f75726365223a22444e53227d5d');)";
    MakeOurs(Path(), 3,
             "CREATE TABLE hosts(position INTEGER PRIMARY KEY, ip INTEGER NOT NULL UNIQUE, "
             "mac INTEGER NOT NULL, host_name TEXT NOT NULL, workgroup TEXT NOT NULL, "
             "user_name TEXT NOT NULL, location TEXT NOT NULL, comment TEXT NOT NULL, "
             "color INTEGER NOT NULL, other_names TEXT NOT NULL DEFAULT '');",
             rows.constData());

    Records read;
    QString error;
    ASSERT_TRUE(DatabaseFile::Read(Path(), read, &error)) << error.toStdString();
    ASSERT_EQ(read.size(), 7u);
    EXPECT_TRUE(read[0]->otherNames.empty());
    EXPECT_TRUE(read[1]->otherNames.empty());
    EXPECT_EQ(read[2]->otherNames, (OtherNames{{QStringLiteral("ok"), NameSource::Llmnr}}));
    EXPECT_EQ(read[3]->otherNames.size(), kMaxOtherNames);
    EXPECT_EQ(read[3]->otherNames.back().name, QStringLiteral("n%1").arg(kMaxOtherNames - 1));
    ASSERT_EQ(read[4]->otherNames.size(), 1u);
    EXPECT_EQ(read[4]->otherNames[0].name, QString(kMaxOtherNameLength, u'a'));
    EXPECT_TRUE(read[5]->otherNames.empty());
    EXPECT_EQ(read[6]->otherNames, (OtherNames{{QStringLiteral("b"), NameSource::Dns}}));
}

TEST_F(DatabaseFileTest, ANewerSchemaIsLeftAsItIsAndNeverWritten)
{
    // The next version's file: one more column, and the rows it holds.
    MakeOurs(Path(), DatabaseFile::kSchemaVersion + 1,
             "CREATE TABLE hosts(position INTEGER PRIMARY KEY, ip INTEGER, mac INTEGER, "
             "host_name TEXT, workgroup TEXT, user_name TEXT, location TEXT, comment TEXT, "
             "color INTEGER, seen TEXT);",
             "INSERT INTO hosts VALUES (0, 16777226, -1, 'NEWER', '', '', '', '', 0, 'x');");
    const QByteArray original = ReadFile(Path());

    Records loaded = SampleRecords(1);
    const auto result = DatabaseFile::Load(Path(), loaded);
    EXPECT_EQ(result.status, DatabaseLoadResult::Failed);
    EXPECT_EQ(result.problem, DatabaseLoadResult::Newer);
    EXPECT_TRUE(result.error.contains(QStringLiteral("newer version")))
        << result.error.toStdString();
    EXPECT_TRUE(loaded.empty());
    EXPECT_TRUE(BadFiles(m_dir).isEmpty());

    QString error;
    EXPECT_FALSE(DatabaseFile::Save(Path(), SampleRecords(2), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("newer version"))) << error.toStdString();
    EXPECT_FALSE(DatabaseFile::Read(Path(), loaded, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("newer version"))) << error.toStdString();

    // The document opens it without a list and will not write it either.
    CLanveyDoc doc;
    EXPECT_EQ(doc.OpenDatabase(Path()).status, DatabaseLoadResult::Failed);
    doc.AppendDatabaseRecord(Known("10.0.0.1", "00:00:00:00:00:01"));
    EXPECT_FALSE(doc.SaveDatabase(&error));
    EXPECT_EQ(ReadFile(Path()), original);
    EXPECT_TRUE(BadFiles(m_dir).isEmpty());
}

TEST_F(DatabaseFileTest, ADamagedDatabaseIsSetAsideAsDamagedNotAsForeign)
{
    struct Case {
        const char* name;
        std::function<void(const QString&)> make;
    };
    const auto truncated = [](qint64 size) {
        return [size](const QString& path) {
            ASSERT_TRUE(DatabaseFile::Save(path, SampleRecords(400)));
            ASSERT_GT(QFileInfo(path).size(), size);
            ASSERT_TRUE(QFile::resize(path, size));
        };
    };
    const Case cases[] = {
        {"cut to half",
         [&](const QString& p) {
             ASSERT_TRUE(DatabaseFile::Save(p, SampleRecords(400)));
             truncated(QFileInfo(p).size() / 2)(p);
         }},
        {"cut to its first page", truncated(4096)},
        {"cut inside its first page", truncated(1000)},
        {"cut inside its header", truncated(80)},
        {"our id, other columns",
         [](const QString& p) {
             MakeOurs(p, DatabaseFile::kSchemaVersion, "CREATE TABLE hosts(ip, mac);");
         }},
        {"this version's mark over the first version's columns",
         [](const QString& p) { MakeOurs(p, DatabaseFile::kSchemaVersion, kFirstSchema); }},
        {"the first version's mark over this version's columns",
         [](const QString& p) {
             ASSERT_TRUE(DatabaseFile::Save(p, SampleRecords(3)));
             sqlite3* db = nullptr;
             ASSERT_EQ(sqlite3_open(QFile::encodeName(p).constData(), &db), SQLITE_OK);
             EXPECT_EQ(sqlite3_exec(db, "PRAGMA user_version = 1", nullptr, nullptr, nullptr),
                       SQLITE_OK);
             sqlite3_close(db);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Database.lvdat"));
        c.make(path);
        const QByteArray original = ReadFile(path);

        Records loaded;
        QString error;
        EXPECT_FALSE(DatabaseFile::Read(path, loaded, &error));
        EXPECT_TRUE(error.contains(QStringLiteral("damaged"))) << error.toStdString();
        EXPECT_FALSE(error.contains(QStringLiteral("not a Lanvey database")))
            << error.toStdString();
        EXPECT_FALSE(DatabaseFile::Save(path, SampleRecords(1), &error));
        EXPECT_EQ(ReadFile(path), original);

        const auto result = DatabaseFile::Load(path, loaded);
        ASSERT_EQ(result.status, DatabaseLoadResult::SetAside) << result.error.toStdString();
        EXPECT_EQ(result.problem, DatabaseLoadResult::Damaged);
        EXPECT_EQ(ReadFile(result.setAsidePath), original);
        ASSERT_TRUE(DatabaseFile::Save(path, SampleRecords(2), &error)) << error.toStdString();
    }
}

TEST_F(DatabaseFileTest, SecondSetAsideInTheSameSecondGetsItsOwnName)
{
    WriteFile(Path(), "garbage one");
    Records loaded;
    const auto first = DatabaseFile::Load(Path(), loaded);
    WriteFile(Path(), "garbage two");
    const auto second = DatabaseFile::Load(Path(), loaded);
    ASSERT_EQ(second.status, DatabaseLoadResult::SetAside);
    EXPECT_NE(first.setAsidePath, second.setAsidePath);
    EXPECT_EQ(ReadFile(first.setAsidePath), QByteArray("garbage one"));
    EXPECT_EQ(ReadFile(second.setAsidePath), QByteArray("garbage two"));
}

TEST_F(DatabaseFileTest, UnopenablePathFailsAndTheDocumentWillNotWriteIt)
{
    // A folder where the file should be: it cannot be opened, and it must not be moved.
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("Database.lvdat")));
    CLanveyDoc doc;
    const auto result = doc.OpenDatabase(Path());
    EXPECT_EQ(result.status, DatabaseLoadResult::Failed);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_TRUE(BadFiles(m_dir).isEmpty());
    doc.AppendDatabaseRecord(Known("10.0.0.1", "00:00:00:00:00:01"));
    QString error;
    EXPECT_FALSE(doc.SaveDatabase(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(Path()).isDir());
}

// More records than SQLite's default page cache holds, saved over a longer list: the
// file reads back as exactly the new list, texts of every kind included.
TEST_F(DatabaseFileTest, ALargeSaveOverALargerListReadsBackTheSame)
{
    ASSERT_TRUE(DatabaseFile::Save(Path(), SampleRecords(40000)));
    Records records = SampleRecords(30000);
    std::reverse(records.begin(), records.end());
    records[7]->comment = QString(200, QChar(u'\u00e9'));
    records[8]->hostName.clear();
    ASSERT_TRUE(DatabaseFile::Save(Path(), records));
    Records stored;
    QString error;
    ASSERT_TRUE(DatabaseFile::Read(Path(), stored, &error)) << error.toStdString();
    ExpectSameRecords(stored, records);
}

TEST_F(DatabaseFileTest, DocumentLoadsAndSavesItsList)
{
    {
        CLanveyDoc doc;
        QString error;
        EXPECT_FALSE(doc.SaveDatabase(&error)) << "nothing opened yet";
        EXPECT_EQ(doc.OpenDatabase(Path()).status, DatabaseLoadResult::Created);
        doc.AppendDatabaseRecord(Known("10.0.0.2", "00:00:00:00:00:02", "two"));
        doc.AppendDatabaseRecord(Known("10.0.0.1", "00:00:00:00:00:01", "one"));
        ASSERT_TRUE(doc.SaveDatabase(&error)) << error.toStdString();
        doc.DeleteContents(); // clearing at exit is no change to the file
    }
    CLanveyDoc doc;
    EXPECT_EQ(doc.OpenDatabase(Path()).status, DatabaseLoadResult::Loaded);
    ASSERT_EQ(doc.GetDatabaseRecordCount(), 2);
    EXPECT_EQ(doc.GetDatabaseRecord(0)->hostName, QStringLiteral("two"));
    EXPECT_EQ(doc.GetDatabaseRecord(1)->hostName, QStringLiteral("one"));
}

TEST_F(DatabaseFileTest, FailedSaveKeepsThePreviousList)
{
    const Records before = SampleRecords(4);
    ASSERT_TRUE(DatabaseFile::Save(Path(), before));
    Records clash = SampleRecords(4);
    clash[3]->ip = clash[0]->ip; // two records with one address can never be stored
    QString error;
    EXPECT_FALSE(DatabaseFile::Save(Path(), clash, &error));
    EXPECT_FALSE(error.isEmpty());
    Records loaded;
    EXPECT_EQ(DatabaseFile::Load(Path(), loaded).status, DatabaseLoadResult::Loaded);
    ExpectSameRecords(loaded, before);
}

// Saves `before`, then kills a process half-way through its next save: the file keeps
// `before`, behind a hot journal that a writer must play back.
void CutASaveShort(const QString& path, const Records& before)
{
    ASSERT_TRUE(DatabaseFile::Save(path, before));

    fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Half-way through writing 10,000 records the process is killed outright.
        const Records big = SampleRecords(10000);
        DatabaseFile::Save(path, big, nullptr, [](int written) {
            if (written == 5000)
                raise(SIGKILL);
        });
        _exit(0); // not reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    ASSERT_TRUE(QFile::exists(path + QStringLiteral("-journal")))
        << "the write was cut off inside its transaction";
}

TEST_F(DatabaseFileTest, KillDuringAWriteLeavesTheLastCommittedList)
{
    const Records before = SampleRecords(3);
    CutASaveShort(Path(), before);

    Records loaded;
    const auto result = DatabaseFile::Load(Path(), loaded);
    EXPECT_EQ(result.status, DatabaseLoadResult::Loaded) << result.error.toStdString();
    ExpectSameRecords(loaded, before);
    EXPECT_TRUE(BadFiles(m_dir).isEmpty());
}
} // namespace

namespace
{

TEST_F(DatabaseFileTest, ReadOnlyLoadNeverCreatesRenamesOrWrites)
{
    Records records = SampleRecords(3);
    QString error;

    EXPECT_FALSE(DatabaseFile::Read(Path(), records, &error));
    EXPECT_TRUE(records.empty());
    EXPECT_FALSE(QFileInfo::exists(Path())); // a missing file stays missing
    EXPECT_TRUE(error.contains(Path()));

    WriteFile(Path(), "not a database, just text\n");
    EXPECT_FALSE(DatabaseFile::Read(Path(), records, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("not a Lanvey database")));
    EXPECT_EQ(ReadFile(Path()), QByteArray("not a database, just text\n"));
    EXPECT_TRUE(BadFiles(m_dir).isEmpty());

    QFile::remove(Path());
    const Records saved = SampleRecords(5);
    ASSERT_TRUE(DatabaseFile::Save(Path(), saved));
    const QByteArray before = ReadFile(Path());
    ASSERT_TRUE(DatabaseFile::Read(Path(), records, &error)) << error.toStdString();
    ExpectSameRecords(records, saved);
    EXPECT_EQ(ReadFile(Path()), before);
}

// Every column, both ways, over an open file: each sort is in the file when it returns,
// keeps every record, and puts equal keys where the exchange sort puts them. The keys
// are made here the way the user reads them (the cell texts, lowercased, empty last),
// so a faster key inside the document must order exactly as the texts do.
class SortCommit : public DatabaseFileTest
{
protected:
    void SetUp() override
    {
        // Two vendors inside one 24-bit block, to catch a vendor looked up by too short
        // a prefix.
        WriteFile(m_vendors.filePath(QStringLiteral("oui.csv")),
                  "Registry,Assignment,Organization Name,Organization Address\n"
                  "MA-L,0A0B0C,Zeta Corp,\nMA-L,0A0B0D,alpha inc,\nMA-L,0A0B0E,ALPHA INC,\n");
        WriteFile(m_vendors.filePath(QStringLiteral("oui36.csv")),
                  "Registry,Assignment,Organization Name,Organization Address\n"
                  "MA-S,0A0B0C123,Beta Small,\n");
        ASSERT_TRUE(m_oui.Open(QFile::encodeName(m_vendors.path()).constData()));
    }

    static bool TextBefore(const QString& a, const QString& b)
    {
        if (a.isEmpty() || b.isEmpty())
            return !a.isEmpty() && b.isEmpty();
        return a < b;
    }

    QString CellKey(const DatabaseRecord& r, int column) const
    {
        switch (column) {
        case DbColMac:
            return FormatMacAddress(r.mac).toLower();
        case DbColHostName:
            return r.hostName.toLower();
        case DbColWorkgroup:
            return r.workgroup.toLower();
        case DbColUserName:
            return r.userName.toLower();
        case DbColLocation:
            return r.location.toLower();
        case DbColVendor:
            return m_oui.GetManufacturer(FormatMacAddress(r.mac)).toLower();
        case DbColComment:
            return r.comment.toLower();
        case DbColOtherNames:
            return OtherNamesText(r.otherNames).toLower();
        default:
            return {};
        }
    }

    std::vector<int> WantedOrder(const Records& list, int column, bool ascending) const
    {
        if (column == DbColIp) {
            std::vector<quint32> keys;
            for (const auto& r : list)
                keys.push_back(IpToHostOrder(r->ip));
            return ascending ? ReferenceExchangeSortBy(keys, std::less<quint32>())
                             : ReferenceExchangeSortBy(keys, std::greater<quint32>());
        }
        std::vector<QString> keys;
        for (const auto& r : list)
            keys.push_back(CellKey(*r, column));
        if (ascending)
            return ReferenceExchangeSortBy(keys, &TextBefore);
        return ReferenceExchangeSortBy(
            keys, [](const QString& a, const QString& b) { return TextBefore(b, a); });
    }

    QTemporaryDir m_vendors;
    CNVOUI m_oui;
};

Records Copy(const CLanveyDoc& doc)
{
    Records copy;
    for (int i = 0; i < doc.GetDatabaseRecordCount(); ++i)
        copy.push_back(std::make_unique<DatabaseRecord>(*doc.GetDatabaseRecord(i)));
    return copy;
}

TEST_F(SortCommit, EveryColumnBothWaysIsTheExchangeSortAndIsInTheFile)
{
    std::mt19937 random(11);
    const quint64 blocks[] = {0x0A0B0C000000ull, 0x0A0B0C123000ull, 0x0A0B0D000000ull,
                              0x0A0B0E000000ull, 0x0A0B0F000000ull, 0x020000000000ull};
    const QStringList groups = {"LAB", "lab", "OFFICE", ""};
    Records records;
    for (int i = 0; i < 600; ++i) {
        auto r = std::make_unique<DatabaseRecord>();
        r->ip = IpFromHostOrder(0x0A000000u + quint32(random() % 0xFFFFFF));
        quint64 big = blocks[random() % 6] | (random() % 8 == 0 ? 0 : quint64(random() % 0xFFF));
        quint64 mac = kMacTopBits;
        for (int b = 0; b < 6; ++b)
            mac |= ((big >> (8 * (5 - b))) & 0xFF) << (8 * b);
        r->mac = mac;
        r->hostName = random() % 5 == 0 ? QString() : QStringLiteral("Host%1").arg(random() % 40);
        if (random() % 4 == 0)
            r->hostName = r->hostName.toUpper();
        r->workgroup = groups[int(random() % 4)];
        r->userName = random() % 10 == 0 ? QStringLiteral("user%1").arg(random() % 3) : QString();
        r->location = random() % 20 == 0 ? QStringLiteral("Rack") : QString();
        r->comment = random() % 30 == 0 ? QString::fromUtf8("Zoë") : QString();
        r->color = ColorRef(random() % 3);
        if (random() % 6 == 0)
            r->otherNames = {{QStringLiteral("h%1.local").arg(random() % 30), NameSource::Mdns}};
        records.push_back(std::move(r));
    }
    std::sort(records.begin(), records.end(),
              [](const auto& a, const auto& b) { return a->ip < b->ip; });
    records.erase(std::unique(records.begin(), records.end(),
                              [](const auto& a, const auto& b) { return a->ip == b->ip; }),
                  records.end());
    std::shuffle(records.begin(), records.end(), random);
    ASSERT_TRUE(DatabaseFile::Save(Path(), records));

    CLanveyDoc doc;
    doc.SetVendorTable(&m_oui);
    ASSERT_EQ(doc.OpenDatabase(Path()).status, DatabaseLoadResult::Loaded);
    for (int column = 0; column < DbColumnCount; ++column) {
        for (const bool ascending : {true, false}) {
            const Records before = Copy(doc);
            const std::vector<int> want = WantedOrder(before, column, ascending);
            ASSERT_TRUE(doc.SortDatabaseRecords(column, ascending));
            const Records after = Copy(doc);
            ASSERT_EQ(after.size(), before.size());
            for (size_t p = 0; p < after.size(); ++p)
                ASSERT_EQ(*after[p], *before[size_t(want[p])])
                    << "column " << column << (ascending ? " ascending" : " descending") << ", row "
                    << p;
            Records stored;
            QString error;
            ASSERT_TRUE(DatabaseFile::Read(Path(), stored, &error)) << error.toStdString();
            ExpectSameRecords(stored, after);
        }
    }
}

// A writer with a tiny cache deletes every record and dies before its commit: pages of
// the file are already overwritten, and only the journal holds them. No reader may read
// the file before a writer has played the journal back.
void SpillAndDie(const QString& path)
{
    fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE,
                            nullptr) == SQLITE_OK &&
            sqlite3_exec(db, "PRAGMA cache_size = 10; BEGIN; DELETE FROM hosts;", nullptr, nullptr,
                         nullptr) == SQLITE_OK)
            raise(SIGKILL);
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
}

TEST_F(DatabaseFileTest, AfterASaveCutShortAReaderRecoversTheFileOrSaysWhoWill)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to read as another user";
    const Records before = SampleRecords(3000);
    ASSERT_TRUE(DatabaseFile::Save(Path(), before));
    SpillAndDie(Path());
    ASSERT_TRUE(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                        QFile::ExeOwner | QFile::ReadOther |
                                                        QFile::ExeOther));

    // A user who may not write the file: the truth, and who will put it right.
    const QString refused = InChild([this] {
        Records records;
        QString error;
        if (!BecomeNobody())
            return QStringLiteral("(not nobody)");
        return DatabaseFile::Read(Path(), records, &error) ? QStringLiteral("(read)") : error;
    });
    EXPECT_TRUE(
        refused.contains(QStringLiteral("must be recovered from a save that was cut short")))
        << refused.toStdString();
    EXPECT_TRUE(refused.contains(Path())) << refused.toStdString();
    EXPECT_FALSE(refused.contains(QStringLiteral("read-only"))) << refused.toStdString();

    // One who may: the last finished save, and no journal left behind.
    Records records;
    QString error;
    ASSERT_TRUE(DatabaseFile::Read(Path(), records, &error)) << error.toStdString();
    ExpectSameRecords(records, before);
    EXPECT_FALSE(QFile::exists(Path() + QStringLiteral("-journal")));
}

TEST_F(DatabaseFileTest, AReadOnlyFolderAndAFullDiskAreNamedAndLeaveNothingBehind)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to write as another user and to mount a small disk";
    // A file anyone may write, in a folder nobody but root may: the folder is named.
    const QString folder = m_dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/Database.lvdat");
    ASSERT_TRUE(DatabaseFile::Save(path, SampleRecords(2)));
    const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther;
    ASSERT_TRUE(QFile::setPermissions(path, all));
    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ExeOwner | QFile::ReadOther |
                                                  QFile::ExeOther));
    ASSERT_TRUE(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                        QFile::ExeOwner | QFile::ExeOther));
    const QString readOnly = InChild([&] {
        QString error;
        if (!BecomeNobody())
            return QStringLiteral("(not nobody)");
        return DatabaseFile::Save(path, SampleRecords(3), &error) ? QStringLiteral("(saved)")
                                                                  : error;
    });
    EXPECT_TRUE(readOnly.contains(QStringLiteral("the folder \"%1\" is read-only").arg(folder)))
        << readOnly.toStdString();
    Records records;
    ASSERT_TRUE(DatabaseFile::Read(path, records));
    EXPECT_EQ(records.size(), 2u);

    // A new database on a full disk: said so, and no empty file left to be taken for one.
    const QString full = m_dir.filePath(QStringLiteral("full"));
    ASSERT_TRUE(QDir().mkdir(full));
    const QString created = InChild([&] {
        if (!MountFullDisk(full))
            return QStringLiteral("(no small disk)");
        Records loaded;
        const DatabaseLoadResult result =
            DatabaseFile::Load(full + QStringLiteral("/new.lvdat"), loaded);
        const QStringList left = QDir(full).entryList(QDir::Files);
        return QStringLiteral("%1|%2|%3")
            .arg(int(result.status))
            .arg(result.error, left.join(u','));
    });
    EXPECT_EQ(created, QStringLiteral("%1|cannot create the database \"%2/new.lvdat\": the disk is "
                                      "full|filler")
                           .arg(int(DatabaseLoadResult::Failed))
                           .arg(full));
}

} // namespace
