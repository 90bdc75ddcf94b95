#include "RecordTestUtil.h"
#include "TestPrinters.h"
#include "records/DatabaseFile.h"
#include "records/LanveyDoc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
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

TEST_F(DatabaseFileTest, KillDuringAWriteLeavesTheLastCommittedList)
{
    const Records before = SampleRecords(3);
    ASSERT_TRUE(DatabaseFile::Save(Path(), before));

    fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Half-way through writing 10,000 records the process is killed outright.
        const Records big = SampleRecords(10000);
        DatabaseFile::Save(Path(), big, nullptr, [](int written) {
            if (written == 5000)
                raise(SIGKILL);
        });
        _exit(0); // not reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_TRUE(QFile::exists(Path() + QStringLiteral("-journal")))
        << "the write was cut off inside its transaction";

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

} // namespace
