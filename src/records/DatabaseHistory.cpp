#include "lang/LangString.h"
#include "records/DatabaseFile.h"
#include "records/DatabaseSchema.h"
#include "support/AddressText.h"

#include <QFileInfo>

using namespace database_schema;

namespace
{

// A statement that finalizes itself.
class Statement
{
public:
    Statement(Connection& db, const char* sql, int* rc)
    {
        *rc = sqlite3_prepare_v2(db.db(), sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

int InsertPairs(Connection& db, const std::vector<DatabaseFile::HistoryPair>& pairs)
{
    int rc = SQLITE_OK;
    const Statement upsert(
        db,
        "INSERT INTO sightings (ip, mac, first_seen, last_seen, sweeps, host_name, other_names) "
        "VALUES (?,?,?,?,?,?,?) ON CONFLICT (ip, mac) DO UPDATE SET "
        "first_seen = min(first_seen, excluded.first_seen), "
        "last_seen = max(last_seen, excluded.last_seen), sweeps = sweeps + excluded.sweeps, "
        "host_name = CASE excluded.host_name WHEN '' THEN host_name ELSE excluded.host_name END, "
        "other_names = CASE excluded.other_names WHEN '' THEN other_names "
        "ELSE excluded.other_names END",
        &rc);
    for (size_t i = 0; rc == SQLITE_OK && i < pairs.size(); ++i) {
        const DatabaseFile::HistoryPair& entry = pairs[i];
        sqlite3_stmt* stmt = upsert.get();
        sqlite3_reset(stmt);
        sqlite3_bind_int64(stmt, 1, qint64(entry.pair.ip));
        sqlite3_bind_int64(stmt, 2, qint64(entry.pair.mac | kMacTopBits));
        sqlite3_bind_int64(stmt, 3, entry.pair.firstSeen);
        sqlite3_bind_int64(stmt, 4, entry.pair.lastSeen);
        sqlite3_bind_int64(stmt, 5, entry.pair.sweepsSeen);
        sqlite3_bind_text16(stmt, 6, entry.hostName.utf16(), int(entry.hostName.size() * 2),
                            SQLITE_TRANSIENT);
        const QByteArray names =
            entry.otherNames.empty() ? QByteArray("") : OtherNamesJsonText(entry.otherNames);
        sqlite3_bind_text(stmt, 7, names.constData(), int(names.size()), SQLITE_TRANSIENT);
        rc = sqlite3_step(stmt) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db.db());
    }
    return rc;
}

int InsertEvents(Connection& db, const std::vector<WatchEvent>& events)
{
    int rc = SQLITE_OK;
    const Statement insert(db,
                           "INSERT INTO events (time, kind, ip, mac, previous_ip, previous_mac, "
                           "hosts) VALUES (?,?,?,?,?,?,?)",
                           &rc);
    for (size_t i = 0; rc == SQLITE_OK && i < events.size(); ++i) {
        const WatchEvent& event = events[i];
        sqlite3_stmt* stmt = insert.get();
        sqlite3_reset(stmt);
        sqlite3_bind_int64(stmt, 1, event.time);
        const QByteArray kind = WatchEventKeyword(event.kind).toLatin1();
        sqlite3_bind_text(stmt, 2, kind.constData(), int(kind.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(stmt, 3, qint64(event.ip));
        sqlite3_bind_int64(stmt, 4, qint64(event.mac));
        sqlite3_bind_int64(stmt, 5, qint64(event.previousIp));
        sqlite3_bind_int64(stmt, 6, qint64(event.previousMac));
        sqlite3_bind_int64(stmt, 7, event.hosts);
        rc = sqlite3_step(stmt) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db.db());
    }
    return rc;
}

// What a hostile or long-running history may grow to: the rest goes, oldest first.
int Trim(Connection& db)
{
    const QByteArray sql =
        "DELETE FROM sightings WHERE rowid IN (SELECT rowid FROM sightings ORDER BY last_seen "
        "DESC LIMIT -1 OFFSET " +
        QByteArray::number(DatabaseFile::kMaxHistoryPairs) +
        "); DELETE FROM events WHERE id <= (SELECT max(id) FROM events) - " +
        QByteArray::number(DatabaseFile::kMaxHistoryEvents) + ";";
    return db.Exec(sql.constData());
}

} // namespace

bool DatabaseFile::SaveHistory(const QString& path, const std::vector<HistoryPair>& pairs,
                               const std::vector<WatchEvent>& events, QString* error)
{
    Connection db;
    int rc = db.Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    QString refusal;
    auto failed = [&](Failure what) {
        if (error)
            *error = refusal.isEmpty() ? Describe(what, path, db, rc) : refusal;
        if (db.db())
            db.Exec("ROLLBACK");
        return false;
    };
    if (rc != SQLITE_OK)
        return failed(Failure::Open);
    if (!BeginWrite(db, path, rc, refusal) || (rc = InsertPairs(db, pairs)) != SQLITE_OK ||
        (rc = InsertEvents(db, events)) != SQLITE_OK || (rc = Trim(db)) != SQLITE_OK ||
        (rc = db.Exec("COMMIT")) != SQLITE_OK)
        return failed(Failure::Write);
    return true;
}

bool DatabaseFile::ReadHistory(const QString& path, std::vector<HistoryPair>* pairs,
                               std::vector<WatchEvent>* events, qint64 since, QString* error)
{
    pairs->clear();
    events->clear();
    Connection db;
    int rc = SQLITE_OK;
    auto fail = [&](const QString& message) {
        pairs->clear();
        events->clear();
        if (error)
            *error = message;
        return false;
    };
    int version = 0;
    QString why;
    const FileKind kind = OpenToRead(db, path, &version, &why);
    if (kind == FileKind::Blank)
        return true;
    if (kind != FileKind::Ours)
        return fail(why);
    qint64 tables = 0;
    if ((rc = db.QueryInt("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                          "('sightings', 'events')",
                          tables)) != SQLITE_OK)
        return fail(Describe(Failure::Read, path, db, rc));
    if (tables < 2)
        return true; // a file from before the history
    {
        const Statement select(db,
                               "SELECT ip, mac, first_seen, last_seen, sweeps, host_name, "
                               "other_names FROM sightings ORDER BY last_seen DESC",
                               &rc);
        while (rc == SQLITE_OK && sqlite3_step(select.get()) == SQLITE_ROW) {
            sqlite3_stmt* stmt = select.get();
            HistoryPair entry;
            entry.pair.ip = quint32(sqlite3_column_int64(stmt, 0));
            entry.pair.mac = quint64(sqlite3_column_int64(stmt, 1)) | kMacTopBits;
            entry.pair.firstSeen = sqlite3_column_int64(stmt, 2);
            entry.pair.lastSeen = sqlite3_column_int64(stmt, 3);
            entry.pair.sweepsSeen = int(sqlite3_column_int64(stmt, 4));
            entry.hostName = Text16(stmt, 5);
            const auto* names = static_cast<const char*>(sqlite3_column_blob(stmt, 6));
            if (names)
                entry.otherNames = OtherNamesFromJsonText(
                    QByteArray::fromRawData(names, sqlite3_column_bytes(stmt, 6)));
            pairs->push_back(std::move(entry));
        }
    }
    const Statement select(db,
                           "SELECT time, kind, ip, mac, previous_ip, previous_mac, hosts FROM "
                           "events WHERE time >= ? ORDER BY id",
                           &rc);
    if (rc == SQLITE_OK)
        sqlite3_bind_int64(select.get(), 1, since);
    while (rc == SQLITE_OK && sqlite3_step(select.get()) == SQLITE_ROW) {
        sqlite3_stmt* stmt = select.get();
        const std::optional<WatchEventKind> kind = WatchEventKindOf(Text16(stmt, 1));
        if (!kind)
            continue; // a kind of a newer program
        WatchEvent event;
        event.time = sqlite3_column_int64(stmt, 0);
        event.kind = *kind;
        event.ip = quint32(sqlite3_column_int64(stmt, 2));
        event.mac = quint64(sqlite3_column_int64(stmt, 3));
        event.previousIp = quint32(sqlite3_column_int64(stmt, 4));
        event.previousMac = quint64(sqlite3_column_int64(stmt, 5));
        event.hosts = int(sqlite3_column_int64(stmt, 6));
        events->push_back(event);
    }
    if (rc != SQLITE_OK)
        return fail(Describe(Failure::Read, path, db, rc));
    return true;
}
