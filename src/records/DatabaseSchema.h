#pragma once

// The database file's SQLite side, shared by the list (DatabaseFile.cpp) and the watch
// history (DatabaseHistory.cpp): the connection, the schema and its versions, what a file
// holds, and the messages for what went wrong.

#include <QFile>
#include <QString>
#include <sqlite3.h>

namespace database_schema
{

// Owns one connection; every statement helper reports failures through `error`.
class Connection final
{
public:
    ~Connection() { Close(); }

    int Open(const QString& path, int flags)
    {
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(m_db, 5000);
            sqlite3_extended_result_codes(m_db, 0);
        }
        return rc;
    }
    void Close()
    {
        if (m_db)
            sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    sqlite3* db() const { return m_db; }
    QString Message() const { return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString(); }

    int Exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

    // The integer a one-row query yields.
    int QueryInt(const char* sql, qint64& value)
    {
        sqlite3_stmt* stmt = nullptr;
        int rc = sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(stmt);
            if (rc == SQLITE_ROW) {
                value = sqlite3_column_int64(stmt, 0);
                rc = SQLITE_OK;
            } else if (rc == SQLITE_DONE) {
                value = 0;
                rc = SQLITE_OK;
            }
        }
        sqlite3_finalize(stmt);
        return rc;
    }

private:
    sqlite3* m_db = nullptr;
};

// Result codes that say the file itself is not a database we can read.
bool IsForeignOrDamaged(int rc);

enum class Failure { Open, Read, Create, Write };

// A write that could not make its journal (or the file) beside the file fails as if the
// file were read-only; when the folder is what may not be written, that is the reason.
bool FolderIsReadOnly(const QString& path);
QString Describe(Failure what, const QString& path, const Connection& db, int rc);
QString NotOursText(const QString& path);
QString DamagedText(const QString& path);
QString NewerText(const QString& path);

enum class FileKind { Ours, Blank, Foreign, Damaged, Newer, Error };

FileKind KindOfFailure(const Connection& db, int rc);
// What the open file holds: our schema (of the `version` it has), nothing at all, a newer
// schema of ours, our file damaged, or something else.
FileKind Inspect(Connection& db, int& rc, int* version = nullptr);
// The message for a file of `kind` that is not read; empty for the kinds that are.
QString KindText(FileKind kind, const QString& path);

QString Text16(sqlite3_stmt* stmt, int column);

// The tables and the marks that make the file ours, all at once (a savepoint is a
// transaction of its own outside one), so no file has our table without our id.
int CreateSchema(Connection& db);

// Brings a file of an older `version` to the current one; called inside the transaction
// of the first save, so a program that only reads a file leaves it as the version that
// wrote it.
int BringUpToDate(Connection& db, int version);

// Opens the file at `path` for a read that changes nothing: Ours (with its `version`) or
// Blank, else Error with why in `error` (no file, not ours, damaged, newer, unreadable).
// The one write it may make is the roll-back of a save that was cut short (a hot
// journal), which brings back the last finished save; where the caller may not write
// the file, `error` says that a writer will recover it.
FileKind OpenToRead(Connection& db, const QString& path, int* version, QString* error);

// Begins the write transaction of a save: only on our own file (brought up to date) or a
// blank one (given the schema); anything else is kept as it is. False with the SQLite
// code in `rc`, or with the message in `refusal` for a file that is not ours to write.
bool BeginWrite(Connection& db, const QString& path, int& rc, QString& refusal);

} // namespace database_schema
