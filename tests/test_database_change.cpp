// The document commits every change of the database list to the file as part of the
// change: appends, deletes, writes, sorts, a batch in one transaction, and a commit that
// fails undone in memory with one message.

#include "RecordTestUtil.h"
#include "ScriptedPrompt.h"
#include "TestPrinters.h"
#include "records/DatabaseFile.h"
#include "records/LanveyDoc.h"
#include "records/ScanMerge.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace
{

class DatabaseChange : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("Database.lvdat"));
        ASSERT_EQ(m_doc.OpenDatabase(m_path).status, DatabaseLoadResult::Created);
        m_doc.SetDatabaseChangedHandler([this] { ++m_changedCalls; });
    }

    QStringList StoredNames()
    {
        std::vector<std::unique_ptr<DatabaseRecord>> records;
        QString error;
        EXPECT_TRUE(DatabaseFile::Read(m_path, records, &error)) << error.toStdString();
        QStringList names;
        for (const auto& record : records)
            names << record->hostName;
        return names;
    }
    QStringList MemoryNames()
    {
        QStringList names;
        for (int i = 0; i < m_doc.GetDatabaseRecordCount(); ++i)
            names << m_doc.GetDatabaseRecord(i)->hostName;
        return names;
    }

    // SQLite's file change counter: one more for every write transaction.
    quint32 Transactions()
    {
        QFile file(m_path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray header = file.read(28);
        return header.size() == 28 ? qFromBigEndian<quint32>(header.constData() + 24) : 0;
    }

    void Add(const char* ip, const char* name)
    {
        ASSERT_TRUE(m_doc.AppendDatabaseRecord(Known(ip, "02:00:00:00:00:01", name)));
    }

    // Makes the file unwritable: a folder takes its place.
    void BreakTheFile()
    {
        ASSERT_TRUE(QFile::remove(m_path));
        ASSERT_TRUE(QDir().mkpath(m_path));
    }
    void MendTheFile() { ASSERT_TRUE(QDir(m_path).removeRecursively()); }

    ScopedScriptedPrompt m_prompt;
    QTemporaryDir m_dir;
    QString m_path;
    CLanveyDoc m_doc;
    int m_changedCalls = 0;
};

TEST_F(DatabaseChange, EveryKindOfChangeIsInTheFileWhenItReturns)
{
    Add("10.0.0.2", "bravo");
    Add("10.0.0.1", "alpha");
    Add("10.0.0.3", "charlie");
    EXPECT_EQ(StoredNames(), QStringList({"bravo", "alpha", "charlie"}));

    DatabaseRecord values = *m_doc.GetDatabaseRecord(1);
    values.comment = QStringLiteral("  typed as is  ");
    values.hostName = QStringLiteral("ALPHA");
    ASSERT_TRUE(m_doc.SetDatabaseRecord(1, values));
    std::vector<std::unique_ptr<DatabaseRecord>> stored;
    ASSERT_TRUE(DatabaseFile::Read(m_path, stored));
    EXPECT_EQ(*stored[1], values);

    ASSERT_TRUE(m_doc.SortDatabaseRecords(DbColHostName, true));
    EXPECT_EQ(StoredNames(), QStringList({"ALPHA", "bravo", "charlie"}));

    ASSERT_TRUE(m_doc.DeleteDatabaseRecord(1));
    EXPECT_EQ(StoredNames(), QStringList({"ALPHA", "charlie"}));
    EXPECT_EQ(m_changedCalls, 6);
    EXPECT_TRUE(m_prompt->shown.empty());
}

TEST_F(DatabaseChange, ASecondRecordWithAnAddressIsRefusedAndNothingIsWritten)
{
    Add("10.0.0.1", "one");
    Add("10.0.0.2", "two");
    const quint32 before = Transactions();
    EXPECT_FALSE(m_doc.AppendDatabaseRecord(Known("10.0.0.1", "02:00:00:00:00:09", "again")));
    DatabaseRecord values = *m_doc.GetDatabaseRecord(1);
    values.ip = IpOf("10.0.0.1");
    EXPECT_FALSE(m_doc.SetDatabaseRecord(1, values));
    // A record may keep its own address.
    values.ip = IpOf("10.0.0.2");
    values.comment = QStringLiteral("same address");
    EXPECT_TRUE(m_doc.SetDatabaseRecord(1, values));
    EXPECT_EQ(MemoryNames(), QStringList({"one", "two"}));
    EXPECT_EQ(Transactions(), before + 1);
    // Nothing to do writes nothing: a row outside the list, a sort of nothing.
    EXPECT_FALSE(m_doc.DeleteDatabaseRecord(7));
    EXPECT_FALSE(m_doc.SortDatabaseRecords(DbColumnCount, true));
    EXPECT_EQ(Transactions(), before + 1);
    EXPECT_TRUE(m_prompt->shown.empty());
}

TEST_F(DatabaseChange, FiveHundredChangesInABatchAreOneTransaction)
{
    Add("10.1.0.0", "first");
    const quint32 before = Transactions();
    m_doc.BeginDatabaseChange();
    m_doc.BeginDatabaseChange(); // nested: only the outermost end commits
    for (int i = 1; i <= 500; ++i) {
        const QByteArray ip = QStringLiteral("10.1.%1.%2").arg(i / 256).arg(i % 256).toLatin1();
        ASSERT_TRUE(m_doc.AppendDatabaseRecord(Known(ip.constData(), "02:00:00:00:00:02")));
    }
    m_doc.DeleteDatabaseRecord(0);
    EXPECT_TRUE(m_doc.EndDatabaseChange());
    EXPECT_EQ(Transactions(), before) << "nothing is written inside the batch";
    EXPECT_EQ(m_changedCalls, 1);
    EXPECT_TRUE(m_doc.EndDatabaseChange());
    EXPECT_EQ(Transactions(), before + 1);
    EXPECT_EQ(m_changedCalls, 2);
    EXPECT_EQ(StoredNames().size(), 500);
}

TEST_F(DatabaseChange, AMergeOfFiveHundredHostsIsOneTransaction)
{
    Add("10.2.0.1", "known");
    std::vector<int> rows;
    for (int i = 1; i <= 500; ++i) {
        const QByteArray ip = QStringLiteral("10.2.%1.%2").arg(i / 256).arg(i % 256).toLatin1();
        m_doc.AppendScanRecord(Host(ip.constData(), "02:00:00:00:00:03", "host"));
        rows.push_back(i - 1);
    }
    const quint32 before = Transactions();
    int asked = 0;
    const MergeReport report =
        MergeScanRecords(m_doc, rows, [&](const HostRecord&, const DatabaseRecord&) {
            ++asked;
            return ReplaceAnswer::Yes;
        });
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(report.newRecords, 499);
    EXPECT_EQ(report.coverRecords, 1);
    EXPECT_TRUE(report.committed);
    EXPECT_EQ(Transactions(), before + 1);
    EXPECT_EQ(StoredNames().size(), 500);
}

TEST_F(DatabaseChange, AFailedCommitIsUndoneShownOnceAndKeepsWhatWasCommitted)
{
    Add("10.0.0.1", "kept");
    Add("10.0.0.2", "also kept");
    BreakTheFile();

    // A batch of changes fails as one: one message, the list as before it.
    m_doc.BeginDatabaseChange();
    m_doc.DeleteDatabaseRecord(0);
    m_doc.AppendDatabaseRecord(Known("10.0.0.3", "02:00:00:00:00:03", "new"));
    DatabaseRecord values = *m_doc.GetDatabaseRecord(0);
    values.comment = QStringLiteral("changed");
    m_doc.SetDatabaseRecord(0, values);
    EXPECT_FALSE(m_doc.EndDatabaseChange());
    EXPECT_EQ(MemoryNames(), QStringList({"kept", "also kept"}));
    EXPECT_TRUE(m_doc.GetDatabaseRecord(1)->comment.isEmpty());
    ASSERT_EQ(m_prompt->shown.size(), 1u);
    EXPECT_EQ(m_prompt->shown[0].icon, PromptIcon::Error);
    EXPECT_TRUE(m_prompt->shown[0].text.contains(QDir::toNativeSeparators(m_path)))
        << m_prompt->shown[0].text.toStdString();
    EXPECT_TRUE(m_prompt->shown[0].text.contains(QStringLiteral("undone")));

    // Each later failure is its own, shown once.
    EXPECT_FALSE(m_doc.SortDatabaseRecords(DbColHostName, true));
    EXPECT_EQ(MemoryNames(), QStringList({"kept", "also kept"}));
    EXPECT_EQ(m_prompt->shown.size(), 2u);

    // Once the file can be written again, the next change goes in with all before it.
    MendTheFile();
    ASSERT_EQ(m_doc.OpenDatabase(m_path).status, DatabaseLoadResult::Created);
    Add("10.0.0.9", "after");
    EXPECT_EQ(StoredNames(), QStringList({"after"}));
}

// The scan list's comparison answers from an index of the list; it must follow every
// change, the undo of a failed one and a list read from another file.
TEST_F(DatabaseChange, TheComparisonFollowsEveryChangeAndEveryUndo)
{
    m_doc.AppendScanRecord(Host("10.0.0.1", "02:00:00:00:00:01"));
    HostRecord* seen = m_doc.GetScanRecord(0);
    const auto overall = [&] {
        m_doc.CompareWithDatabase(seen, 0);
        return seen->overallState;
    };
    EXPECT_EQ(overall(), CompareState::New);
    Add("10.0.0.1", "host");
    EXPECT_EQ(overall(), CompareState::Matched);

    DatabaseRecord values = *m_doc.GetDatabaseRecord(0);
    values.mac = 0x020000000002;
    ASSERT_TRUE(m_doc.SetDatabaseRecord(0, values));
    EXPECT_EQ(overall(), CompareState::Different);
    EXPECT_EQ(seen->ipState, CompareState::Different);
    EXPECT_EQ(seen->macState, CompareState::New);

    // Inside a batch each step counts at once, before the batch is committed.
    m_doc.BeginDatabaseChange();
    ASSERT_TRUE(m_doc.AppendDatabaseRecord(Known("10.0.0.7", "02:00:00:00:00:01", "moved")));
    EXPECT_EQ(seen->macState, CompareState::New); // not drawn again yet
    EXPECT_EQ(overall(), CompareState::Different);
    EXPECT_EQ(seen->macState, CompareState::Different);
    ASSERT_TRUE(m_doc.DeleteDatabaseRecord(0));
    EXPECT_EQ(overall(), CompareState::Different);
    EXPECT_EQ(seen->ipState, CompareState::New);
    ASSERT_TRUE(m_doc.EndDatabaseChange());

    // A failed change is undone, and the comparison goes back with the list.
    BreakTheFile();
    EXPECT_FALSE(m_doc.DeleteDatabaseRecord(0));
    EXPECT_EQ(overall(), CompareState::Different);
    EXPECT_EQ(seen->macState, CompareState::Different);
    MendTheFile();

    // Another file's list replaces the index with its own.
    const QString other = m_dir.filePath(QStringLiteral("Other.lvdat"));
    ASSERT_EQ(m_doc.OpenDatabase(other).status, DatabaseLoadResult::Created);
    EXPECT_EQ(overall(), CompareState::New);
    Add("10.0.0.1", "again");
    EXPECT_EQ(overall(), CompareState::Matched);
    m_doc.ClearDatabaseRecords();
    EXPECT_EQ(overall(), CompareState::New);
}

TEST_F(DatabaseChange, AFileThatFailedToLoadTakesNoChange)
{
    // A file of a newer schema is never written; changes to its list are undone.
    ASSERT_TRUE(QFile::remove(m_path));
    std::vector<std::unique_ptr<DatabaseRecord>> records;
    records.push_back(Known("10.0.0.1", "02:00:00:00:00:01", "on disk"));
    ASSERT_TRUE(DatabaseFile::Save(m_path, records));
    QFile::remove(m_path + QStringLiteral("-journal"));
    {
        QFile file(m_path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        // user_version lives at offset 60 of the header.
        file.seek(60);
        const quint32 newer = qToBigEndian<quint32>(DatabaseFile::kSchemaVersion + 1);
        file.write(reinterpret_cast<const char*>(&newer), 4);
    }
    ASSERT_EQ(m_doc.OpenDatabase(m_path).status, DatabaseLoadResult::Failed);
    EXPECT_FALSE(m_doc.AppendDatabaseRecord(Known("10.0.0.2", "02:00:00:00:00:02", "typed")));
    EXPECT_EQ(m_doc.GetDatabaseRecordCount(), 0);
    EXPECT_EQ(m_prompt->shown.size(), 1u);
}

TEST(DatabaseChangeWithoutFile, AListNeverLoadedFromAFileChangesInMemory)
{
    ScopedScriptedPrompt prompt;
    CLanveyDoc doc;
    EXPECT_TRUE(doc.AppendDatabaseRecord(Known("10.0.0.1", "02:00:00:00:00:01")));
    EXPECT_TRUE(doc.DeleteDatabaseRecord(0));
    EXPECT_EQ(doc.GetDatabaseRecordCount(), 0);
    EXPECT_TRUE(prompt->shown.empty());
}

} // namespace
