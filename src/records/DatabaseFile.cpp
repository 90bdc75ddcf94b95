#include "records/DatabaseFile.h"

#include "lang/LangString.h"
#include "support/AddressText.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <iterator>
#include <sqlite3.h>
#include <unistd.h>

namespace
{

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS hosts (
    position    INTEGER PRIMARY KEY,
    ip          INTEGER NOT NULL UNIQUE,
    mac         INTEGER NOT NULL,
    host_name   TEXT NOT NULL,
    workgroup   TEXT NOT NULL,
    user_name   TEXT NOT NULL,
    location    TEXT NOT NULL,
    comment     TEXT NOT NULL,
    color       INTEGER NOT NULL,
    other_names TEXT NOT NULL DEFAULT ''
);
)sql";

// The columns of each schema version, in table order. Version 1 had no other_names.
constexpr const char* kColumns[] = {"position",  "ip",       "mac",     "host_name", "workgroup",
                                    "user_name", "location", "comment", "color",     "other_names"};
constexpr int kFirstVersion = 1;
constexpr size_t ColumnsOfVersion(int version)
{
    return version == 1 ? std::size(kColumns) - 1 : std::size(kColumns);
}

// What a version 1 file needs to become the current schema. It runs inside the save
// that first writes the file, so a program that only reads it leaves it as it was for
// the version that wrote it.
constexpr const char* kUpgradeFrom1 = "ALTER TABLE hosts ADD COLUMN other_names TEXT NOT "
                                      "NULL DEFAULT ''";

// Owns one connection; every statement helper reports failures through `error`.
class Connection
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
bool IsForeignOrDamaged(int rc)
{
    return rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT || rc == SQLITE_FORMAT ||
           rc == SQLITE_SCHEMA || rc == SQLITE_MISMATCH;
}

// Why SQLite failed, in the user's language for the failures a user can do something
// about; SQLite's own (English) text otherwise.
QString Reason(const Connection& db, int rc)
{
    switch (rc & 0xFF) {
    case SQLITE_CANTOPEN:
        return FormatLangStringA(61970, "the file cannot be opened");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return FormatLangStringA(61971, "access is denied");
    case SQLITE_READONLY:
        return FormatLangStringA(61972, "the file is read-only");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return FormatLangStringA(61973, "the file is in use by another program");
    case SQLITE_FULL:
        return FormatLangStringA(61974, "the disk is full");
    case SQLITE_IOERR:
        return FormatLangStringA(61975, "the disk could not be read or written");
    default:
        break;
    }
    const QString message = db.Message();
    return message.isEmpty() ? QString::fromUtf8(sqlite3_errstr(rc)) : message;
}

enum class Failure { Open, Read, Create, Write };

// A write that could not make its journal (or the file) beside the file fails as if the
// file were read-only; when the folder is what may not be written, that is the reason.
bool FolderIsReadOnly(const QString& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    return access(folder.constData(), W_OK) != 0 && (errno == EACCES || errno == EROFS);
}

QString Describe(Failure what, const QString& path, const Connection& db, int rc)
{
    const int primary = rc & 0xFF;
    const bool writing = what == Failure::Write || what == Failure::Create;
    const QString reason =
        writing && (primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN) &&
                FolderIsReadOnly(path)
            ? FormatLangStringA(61976, "the folder \"%s_FOLDER%\" is read-only",
                                {QDir::toNativeSeparators(QFileInfo(path).absolutePath())})
            : Reason(db, rc);
    switch (what) {
    case Failure::Open:
        return FormatLangStringA(61957, "cannot open the database \"%s_FILE%\": %s_REASON%",
                                 {path, reason});
    case Failure::Read:
        return FormatLangStringA(61958, "cannot read the database \"%s_FILE%\": %s_REASON%",
                                 {path, reason});
    case Failure::Create:
        return FormatLangStringA(61959, "cannot create the database \"%s_FILE%\": %s_REASON%",
                                 {path, reason});
    case Failure::Write:
        break;
    }
    return FormatLangStringA(61960, "cannot write the database \"%s_FILE%\": %s_REASON%",
                             {path, reason});
}

QString NotOursText(const QString& path)
{
    return FormatLangStringA(61962, "\"%s_FILE%\" is not a Lanvey database", {path});
}

QString DamagedText(const QString& path)
{
    return FormatLangStringA(61963, "the Lanvey database \"%s_FILE%\" is damaged", {path});
}

QString NewerText(const QString& path)
{
    return FormatLangStringA(61964, "\"%s_FILE%\" was written by a newer version of Lanvey",
                             {path});
}

enum class FileKind { Ours, Blank, Foreign, Damaged, Newer, Error };

// Whose a file is that SQLite cannot make sense of. An SQLite file starts with its
// magic text and carries the application id big-endian at byte 68; one that has our
// id, or is cut off before it, is a damaged database of ours.
FileKind KindOfUnreadable(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileKind::Error;
    const QByteArray header = file.read(100);
    if (!header.startsWith(QByteArray("SQLite format 3\0", 16)))
        return FileKind::Foreign;
    if (header.size() < 72)
        return FileKind::Damaged;
    const quint32 applicationId = qFromBigEndian<quint32>(header.constData() + 68);
    return applicationId == quint32(DatabaseFile::kApplicationId) ? FileKind::Damaged
                                                                  : FileKind::Foreign;
}

FileKind KindOfFailure(const Connection& db, int rc)
{
    if (!IsForeignOrDamaged(rc))
        return FileKind::Error;
    const char* file = sqlite3_db_filename(db.db(), "main");
    return file && *file ? KindOfUnreadable(QFile::decodeName(file)) : FileKind::Foreign;
}

// What the open file holds: our schema (of the `version` it has), nothing at all, a newer
// schema of ours, our file damaged, or something else.
FileKind Inspect(Connection& db, int& rc, int* version = nullptr)
{
    qint64 applicationId = 0, userVersion = 0, tables = 0;
    if ((rc = db.QueryInt("PRAGMA application_id", applicationId)) != SQLITE_OK ||
        (rc = db.QueryInt("PRAGMA user_version", userVersion)) != SQLITE_OK ||
        (rc = db.QueryInt("SELECT count(*) FROM sqlite_master", tables)) != SQLITE_OK)
        return KindOfFailure(db, rc);
    if (applicationId == 0 && userVersion == 0 && tables == 0)
        return FileKind::Blank;
    if (applicationId != DatabaseFile::kApplicationId)
        return FileKind::Foreign;
    if (userVersion > DatabaseFile::kSchemaVersion)
        return FileKind::Newer;
    if (userVersion < kFirstVersion)
        return FileKind::Damaged;

    // The table must have exactly our columns.
    sqlite3_stmt* stmt = nullptr;
    rc = sqlite3_prepare_v2(db.db(), "SELECT name FROM pragma_table_info('hosts') ORDER BY cid", -1,
                            &stmt, nullptr);
    QStringList columns;
    while (rc == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
        columns << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    if (rc != SQLITE_OK) {
        const FileKind kind = KindOfFailure(db, rc);
        return kind == FileKind::Foreign ? FileKind::Damaged : kind;
    }
    // Our id and version over other columns: the file was ours and is broken.
    QStringList expected;
    for (size_t i = 0; i < ColumnsOfVersion(int(userVersion)); ++i)
        expected << QString::fromLatin1(kColumns[i]);
    if (columns != expected)
        return FileKind::Damaged;
    if (version)
        *version = int(userVersion);
    return FileKind::Ours;
}

// The message for a file of `kind` that is not read; empty for the kinds that are.
QString KindText(FileKind kind, const QString& path)
{
    switch (kind) {
    case FileKind::Foreign:
        return NotOursText(path);
    case FileKind::Damaged:
        return DamagedText(path);
    case FileKind::Newer:
        return NewerText(path);
    case FileKind::Ours:
    case FileKind::Blank:
    case FileKind::Error:
        break;
    }
    return {};
}

QString Text16(sqlite3_stmt* stmt, int column)
{
    const void* text = sqlite3_column_text16(stmt, column);
    const int bytes = sqlite3_column_bytes16(stmt, column);
    return text ? QString(reinterpret_cast<const QChar*>(text), bytes / 2) : QString();
}

// SQLITE_INTERRUPT when `stop` said yes.
int ReadRecords(Connection& db, int version, std::vector<std::unique_ptr<DatabaseRecord>>& records,
                const std::function<bool()>& stop = {})
{
    sqlite3_stmt* stmt = nullptr;
    const char* query = version == 1 ? "SELECT ip, mac, host_name, workgroup, user_name, location, "
                                       "comment, color, '' FROM hosts ORDER BY position"
                                     : "SELECT ip, mac, host_name, workgroup, user_name, location, "
                                       "comment, color, other_names FROM hosts ORDER BY position";
    int rc = sqlite3_prepare_v2(db.db(), query, -1, &stmt, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const qint64 ip = sqlite3_column_int64(stmt, 0);
        if (ip < 0 || ip > 0xFFFFFFFFll) {
            rc = SQLITE_MISMATCH;
            break;
        }
        auto record = std::make_unique<DatabaseRecord>();
        record->ip = quint32(ip);
        record->mac = quint64(sqlite3_column_int64(stmt, 1)) | kMacTopBits;
        record->hostName = Text16(stmt, 2);
        record->workgroup = Text16(stmt, 3);
        record->userName = Text16(stmt, 4);
        record->location = Text16(stmt, 5);
        record->comment = Text16(stmt, 6);
        record->color = ColorRef(sqlite3_column_int64(stmt, 7) & 0xFFFFFFFF);
        const auto* names = static_cast<const char*>(sqlite3_column_blob(stmt, 8));
        if (names)
            record->otherNames = OtherNamesFromJsonText(
                QByteArray::fromRawData(names, sqlite3_column_bytes(stmt, 8)));
        records.push_back(std::move(record));
        rc = SQLITE_OK;
        if (stop && records.size() % 4096 == 0 && stop()) {
            rc = SQLITE_INTERRUPT;
            break;
        }
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// The table and the marks that make the file ours, all at once (a savepoint is a
// transaction of its own outside one), so no file has our table without our id.
int CreateSchema(Connection& db)
{
    const QByteArray pragmas =
        QByteArray("PRAGMA application_id = ") + QByteArray::number(DatabaseFile::kApplicationId) +
        "; PRAGMA user_version = " + QByteArray::number(DatabaseFile::kSchemaVersion) + ";";
    int rc = db.Exec("SAVEPOINT create_schema");
    if (rc != SQLITE_OK)
        return rc;
    rc = db.Exec(kSchema);
    if (rc == SQLITE_OK)
        rc = db.Exec(pragmas.constData());
    if (rc != SQLITE_OK)
        db.Exec("ROLLBACK TO create_schema");
    const int released = db.Exec("RELEASE create_schema");
    return rc == SQLITE_OK ? released : rc;
}

// Moves a file we cannot read out of the way, with whatever journal SQLite left
// beside it (a stale journal must not be played into the new file).
bool SetAside(const QString& path, QString& setAsidePath, QString& error)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = QStringLiteral("%1.%2.bad").arg(path, stamp);
    for (int n = 1; QFileInfo::exists(target); ++n)
        target = QStringLiteral("%1.%2-%3.bad").arg(path, stamp).arg(n);
    if (!QFile::rename(path, target)) {
        error = FormatLangStringA(61961, "cannot rename \"%s_FILE%\" to \"%s_TARGET%\"",
                                  {path, target});
        return false;
    }
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        const QString journal = path + QLatin1String(suffix);
        if (QFileInfo::exists(journal))
            QFile::rename(journal, target + QLatin1String(suffix));
    }
    setAsidePath = target;
    return true;
}

DatabaseLoadResult CreateNew(const QString& path, DatabaseLoadResult result)
{
    const bool existed = QFileInfo::exists(path);
    Connection db;
    int rc = db.Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (rc == SQLITE_OK)
        rc = CreateSchema(db);
    if (rc != SQLITE_OK) {
        result.status = DatabaseLoadResult::Failed;
        result.problem = DatabaseLoadResult::Unreadable;
        result.error = Describe(Failure::Create, path, db, rc);
        // A file this call made (on a full disk, say) holds nothing: it goes again, so
        // that the next start does not take it for an empty database of ours.
        db.Close();
        if (!existed) {
            QFile::remove(path);
            QFile::remove(path + QLatin1String("-journal"));
        }
    }
    return result;
}

} // namespace

DatabaseLoadResult DatabaseFile::Load(const QString& path,
                                      std::vector<std::unique_ptr<DatabaseRecord>>& records)
{
    records.clear();
    DatabaseLoadResult result;
    if (!QFileInfo::exists(path)) {
        result.status = DatabaseLoadResult::Created;
        return CreateNew(path, result);
    }

    FileKind kind;
    {
        Connection db;
        int rc = db.Open(path, SQLITE_OPEN_READWRITE);
        if (rc != SQLITE_OK) {
            result.problem = DatabaseLoadResult::Unreadable;
            result.error = Describe(Failure::Open, path, db, rc);
            return result;
        }
        int version = 0;
        kind = Inspect(db, rc, &version);
        if (kind == FileKind::Ours) {
            rc = ReadRecords(db, version, records);
            if (rc == SQLITE_OK) {
                result.status = DatabaseLoadResult::Loaded;
                return result;
            }
            records.clear();
            kind = IsForeignOrDamaged(rc) ? FileKind::Damaged : FileKind::Error;
        }
        if (kind == FileKind::Blank)
            rc = CreateSchema(db);
        if (kind == FileKind::Error || (kind == FileKind::Blank && rc != SQLITE_OK)) {
            result.problem = DatabaseLoadResult::Unreadable;
            result.error = Describe(Failure::Read, path, db, rc);
            return result;
        }
    }
    if (kind == FileKind::Blank) {
        result.status = DatabaseLoadResult::Created;
        return result;
    }
    // A newer program's file holds what that program saved: going back a version must
    // not take it out of view, so it stays where it is and is not written.
    if (kind == FileKind::Newer) {
        result.problem = DatabaseLoadResult::Newer;
        result.error = NewerText(path);
        return result;
    }
    result.problem =
        kind == FileKind::Damaged ? DatabaseLoadResult::Damaged : DatabaseLoadResult::NotOurs;
    if (!SetAside(path, result.setAsidePath, result.error))
        return result;
    result.status = DatabaseLoadResult::SetAside;
    return CreateNew(path, result);
}

bool DatabaseFile::Read(const QString& path, std::vector<std::unique_ptr<DatabaseRecord>>& records,
                        QString* error, const std::function<bool()>& stop)
{
    records.clear();
    auto fail = [&](const QString& message) {
        records.clear();
        if (error)
            *error = message;
        return false;
    };
    if (!QFileInfo(path).isFile())
        return fail(FormatLangStringA(61965, "no database file \"%s_FILE%\"", {path}));

    Connection db;
    int rc = db.Open(path, SQLITE_OPEN_READONLY);
    if (rc != SQLITE_OK)
        return fail(Describe(Failure::Open, path, db, rc));
    int version = 0;
    FileKind kind = Inspect(db, rc, &version);
    if (kind == FileKind::Error && sqlite3_extended_errcode(db.db()) == SQLITE_READONLY_ROLLBACK) {
        // A save was cut short (the program killed, the power gone) and left its journal:
        // the last save's list is whole again only once a writer has played the journal
        // back, which a read-only connection may not. A reader that may write the file
        // does that, changing nothing that was saved; one that may not says so.
        db.Close();
        const QByteArray file = QFile::encodeName(path);
        if (access(file.constData(), W_OK) != 0 || FolderIsReadOnly(path))
            return fail(FormatLangStringA(
                61977,
                "the database \"%s_FILE%\" must be recovered from a save that was cut short, "
                "and this program may not write it; nothing is lost: opening the Lanvey window, "
                "or any lanvey-db command that changes the database, recovers it",
                {path}));
        rc = db.Open(path, SQLITE_OPEN_READWRITE);
        if (rc != SQLITE_OK)
            return fail(Describe(Failure::Open, path, db, rc));
        kind = Inspect(db, rc, &version);
    }
    if (kind == FileKind::Blank)
        return true;
    if (kind == FileKind::Error)
        return fail(Describe(Failure::Read, path, db, rc));
    if (kind != FileKind::Ours)
        return fail(KindText(kind, path));
    rc = ReadRecords(db, version, records, stop);
    if (rc == SQLITE_INTERRUPT)
        return fail(QString());
    if (rc != SQLITE_OK)
        return fail(IsForeignOrDamaged(rc) ? DamagedText(path)
                                           : Describe(Failure::Read, path, db, rc));
    return true;
}

bool DatabaseFile::Save(const QString& path,
                        const std::vector<std::unique_ptr<DatabaseRecord>>& records, QString* error,
                        const std::function<void(int written)>& progress)
{
    Connection db;
    sqlite3_stmt* insert = nullptr;
    int rc = db.Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    Failure what = Failure::Open;
    QString refusal;
    auto failed = [&]() {
        if (error)
            *error = refusal.isEmpty() ? Describe(what, path, db, rc) : refusal;
        sqlite3_finalize(insert);
        if (db.db())
            db.Exec("ROLLBACK");
        return false;
    };
    if (rc != SQLITE_OK)
        return failed();
    // A save rewrites every page of the list in one transaction; pages that do not fit
    // the cache are spilled to the file and written again at the commit.
    db.Exec("PRAGMA cache_size = -65536");

    // Only our own file (or none yet) is written; anything else is kept as it is.
    what = Failure::Write;
    FileKind kind = FileKind::Error;
    int version = 0;
    if ((rc = db.Exec("BEGIN IMMEDIATE")) != SQLITE_OK)
        kind = KindOfFailure(db, rc);
    else
        kind = Inspect(db, rc, &version);
    refusal = KindText(kind, path);
    if (kind != FileKind::Ours && kind != FileKind::Blank)
        return failed();
    if (kind == FileKind::Blank && (rc = CreateSchema(db)) != SQLITE_OK)
        return failed();
    if (kind == FileKind::Ours && version == 1 &&
        ((rc = db.Exec(kUpgradeFrom1)) != SQLITE_OK ||
         (rc = db.Exec(("PRAGMA user_version = " + QByteArray::number(DatabaseFile::kSchemaVersion))
                           .constData())) != SQLITE_OK))
        return failed();
    if ((rc = db.Exec("DELETE FROM hosts")) != SQLITE_OK)
        return failed();
    rc = sqlite3_prepare_v2(db.db(),
                            "INSERT INTO hosts (position, ip, mac, host_name, workgroup, "
                            "user_name, location, comment, color, other_names) "
                            "VALUES (?,?,?,?,?,?,?,?,?,?)",
                            -1, &insert, nullptr);
    if (rc != SQLITE_OK)
        return failed();
    int position = 0;
    for (const auto& record : records) {
        sqlite3_reset(insert);
        sqlite3_bind_int(insert, 1, position);
        sqlite3_bind_int64(insert, 2, qint64(record->ip));
        sqlite3_bind_int64(insert, 3, qint64(record->mac));
        const QString* texts[] = {&record->hostName, &record->workgroup, &record->userName,
                                  &record->location, &record->comment};
        // The texts outlive the step, so SQLite need not copy them.
        for (int i = 0; i < 5; ++i)
            sqlite3_bind_text16(insert, 4 + i, texts[i]->utf16(), int(texts[i]->size() * 2),
                                SQLITE_STATIC);
        sqlite3_bind_int64(insert, 9, qint64(record->color));
        const QByteArray names =
            record->otherNames.empty() ? QByteArray("") : OtherNamesJsonText(record->otherNames);
        sqlite3_bind_text(insert, 10, names.constData(), int(names.size()), SQLITE_TRANSIENT);
        if ((rc = sqlite3_step(insert)) != SQLITE_DONE)
            return failed();
        ++position;
        if (progress)
            progress(position);
    }
    sqlite3_finalize(insert);
    insert = nullptr;
    if ((rc = db.Exec("COMMIT")) != SQLITE_OK)
        return failed();
    return true;
}
