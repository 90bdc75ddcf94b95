#include "records/DatabaseSchema.h"

#include "lang/LangString.h"
#include "records/DatabaseFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QtEndian>
#include <iterator>
#include <unistd.h>

namespace database_schema
{

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
    other_names TEXT NOT NULL DEFAULT '',
    ipv6        TEXT NOT NULL DEFAULT ''
);
)sql";

// The watch's history (version 3): each address pair with when it was first and last
// seen, in milliseconds since the epoch (UTC), how many sweeps found it and its names as
// last found; and the events, oldest first.
constexpr const char* kHistorySchema = R"sql(
CREATE TABLE IF NOT EXISTS sightings (
    ip          INTEGER NOT NULL,
    mac         INTEGER NOT NULL,
    first_seen  INTEGER NOT NULL,
    last_seen   INTEGER NOT NULL,
    sweeps      INTEGER NOT NULL,
    host_name   TEXT NOT NULL DEFAULT '',
    other_names TEXT NOT NULL DEFAULT '',
    PRIMARY KEY (ip, mac)
);
CREATE INDEX IF NOT EXISTS sightings_by_time ON sightings (last_seen);
CREATE TABLE IF NOT EXISTS events (
    id           INTEGER PRIMARY KEY,
    time         INTEGER NOT NULL,
    kind         TEXT NOT NULL,
    ip           INTEGER NOT NULL,
    mac          INTEGER NOT NULL,
    previous_ip  INTEGER NOT NULL,
    previous_mac INTEGER NOT NULL,
    hosts        INTEGER NOT NULL
);
)sql";

// The columns of each schema version, in table order. Version 1 had no other_names,
// versions 2 and 3 no ipv6 (the IPv6 addresses, separated by spaces).
constexpr const char* kColumns[] = {"position",  "ip",          "mac",      "host_name",
                                    "workgroup", "user_name",   "location", "comment",
                                    "color",     "other_names", "ipv6"};
constexpr int kFirstVersion = 1;
constexpr size_t ColumnsOfVersion(int version)
{
    return version == 1  ? std::size(kColumns) - 2
           : version < 4 ? std::size(kColumns) - 1
                         : std::size(kColumns);
}

// What a version 1 file needs to become the current schema. It runs inside the save
// that first writes the file, so a program that only reads it leaves it as it was for
// the version that wrote it.
constexpr const char* kUpgradeFrom1 = "ALTER TABLE hosts ADD COLUMN other_names TEXT NOT "
                                      "NULL DEFAULT ''";
// And what a file of a version before 4 needs.
constexpr const char* kUpgradeTo4 = "ALTER TABLE hosts ADD COLUMN ipv6 TEXT NOT NULL DEFAULT ''";

} // namespace

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
FileKind Inspect(Connection& db, int& rc, int* version)
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
        rc = db.Exec(kHistorySchema);
    if (rc == SQLITE_OK)
        rc = db.Exec(pragmas.constData());
    if (rc != SQLITE_OK)
        db.Exec("ROLLBACK TO create_schema");
    const int released = db.Exec("RELEASE create_schema");
    return rc == SQLITE_OK ? released : rc;
}

int BringUpToDate(Connection& db, int version)
{
    int rc = SQLITE_OK;
    if (version == 1)
        rc = db.Exec(kUpgradeFrom1);
    if (rc == SQLITE_OK && version < 4)
        rc = db.Exec(kUpgradeTo4);
    if (rc == SQLITE_OK)
        rc = db.Exec(kHistorySchema);
    if (rc == SQLITE_OK)
        rc = db.Exec(("PRAGMA user_version = " + QByteArray::number(DatabaseFile::kSchemaVersion))
                         .constData());
    return rc;
}

namespace
{

FileKind Failed(QString* error, const QString& message)
{
    *error = message;
    return FileKind::Error;
}

} // namespace

FileKind OpenToRead(Connection& db, const QString& path, int* version, QString* error)
{
    if (!QFileInfo(path).isFile())
        return Failed(error, FormatLangStringA(61965, "no database file \"%s_FILE%\"", {path}));
    int rc = db.Open(path, SQLITE_OPEN_READONLY);
    if (rc != SQLITE_OK)
        return Failed(error, Describe(Failure::Open, path, db, rc));
    FileKind kind = Inspect(db, rc, version);
    if (kind == FileKind::Error && sqlite3_extended_errcode(db.db()) == SQLITE_READONLY_ROLLBACK) {
        // A save was cut short (the program killed, the power gone) and left its journal:
        // the last save's list is whole again only once a writer has played the journal
        // back, which a read-only connection may not. A reader that may write the file
        // does that, changing nothing that was saved; one that may not says so.
        db.Close();
        const QByteArray file = QFile::encodeName(path);
        if (access(file.constData(), W_OK) != 0 || FolderIsReadOnly(path))
            return Failed(
                error,
                FormatLangStringA(
                    61977,
                    "the database \"%s_FILE%\" must be recovered from a save that was cut short, "
                    "and this program may not write it; nothing is lost: opening the Lanvey "
                    "window, "
                    "or any lanvey-db command that changes the database, recovers it",
                    {path}));
        rc = db.Open(path, SQLITE_OPEN_READWRITE);
        if (rc != SQLITE_OK)
            return Failed(error, Describe(Failure::Open, path, db, rc));
        kind = Inspect(db, rc, version);
    }
    if (kind == FileKind::Blank)
        return kind;
    if (kind == FileKind::Error)
        return Failed(error, Describe(Failure::Read, path, db, rc));
    if (kind != FileKind::Ours)
        return Failed(error, KindText(kind, path));
    return kind;
}

bool BeginWrite(Connection& db, const QString& path, int& rc, QString& refusal)
{
    FileKind kind = FileKind::Error;
    int version = 0;
    if ((rc = db.Exec("BEGIN IMMEDIATE")) != SQLITE_OK)
        kind = KindOfFailure(db, rc);
    else
        kind = Inspect(db, rc, &version);
    refusal = KindText(kind, path);
    if (kind != FileKind::Ours && kind != FileKind::Blank)
        return false;
    if (kind == FileKind::Blank)
        return (rc = CreateSchema(db)) == SQLITE_OK;
    return version >= DatabaseFile::kSchemaVersion ||
           (rc = BringUpToDate(db, version)) == SQLITE_OK;
}

} // namespace database_schema
