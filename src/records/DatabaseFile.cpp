#include "records/DatabaseFile.h"

#include "lang/LangString.h"
#include "records/DatabaseSchema.h"
#include "support/AddressText.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <iterator>
#include <sqlite3.h>
#include <unistd.h>

using namespace database_schema;

namespace
{

// SQLITE_INTERRUPT when `stop` said yes.
int ReadRecords(Connection& db, int version, std::vector<std::unique_ptr<DatabaseRecord>>& records,
                const std::function<bool()>& stop = {})
{
    sqlite3_stmt* stmt = nullptr;
    const char* query = version == 1 ? "SELECT ip, mac, host_name, workgroup, user_name, location, "
                                       "comment, color, '', '' FROM hosts ORDER BY position"
                        : version < 4
                            ? "SELECT ip, mac, host_name, workgroup, user_name, location, "
                              "comment, color, other_names, '' FROM hosts ORDER BY position"
                            : "SELECT ip, mac, host_name, workgroup, user_name, location, "
                              "comment, color, other_names, ipv6 FROM hosts ORDER BY "
                              "position";
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
        record->ipv6 = ParseIpv6AddressesText(Text16(stmt, 9));
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
    Connection db;
    int version = 0;
    QString why;
    const FileKind kind = OpenToRead(db, path, &version, &why);
    if (kind == FileKind::Blank)
        return true;
    if (kind != FileKind::Ours)
        return fail(why);
    int rc = SQLITE_OK;
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
    if (!BeginWrite(db, path, rc, refusal) || (rc = db.Exec("DELETE FROM hosts")) != SQLITE_OK)
        return failed();
    rc = sqlite3_prepare_v2(db.db(),
                            "INSERT INTO hosts (position, ip, mac, host_name, workgroup, "
                            "user_name, location, comment, color, other_names, ipv6) "
                            "VALUES (?,?,?,?,?,?,?,?,?,?,?)",
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
        const QString addresses = record->ipv6.join(u' ');
        sqlite3_bind_text16(insert, 11, addresses.utf16(), int(addresses.size() * 2),
                            SQLITE_TRANSIENT);
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
