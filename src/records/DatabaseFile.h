#pragma once

#include "records/DatabaseRecord.h"
#include "records/WatchHistory.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

// What opening the database file came to.
struct DatabaseLoadResult {
    enum Status {
        Loaded,   // the file was read
        Created,  // there was no file (or an empty one); a new one was made
        SetAside, // the file was not a readable Lanvey database; it was renamed to
                  // `setAsidePath` and a new one was made
        Failed,   // the file could not be read or made (`error` says why); it was left
                  // alone and must not be written
    };
    // What was wrong with a file that was set aside or left alone.
    enum Problem {
        NoProblem,
        NotOurs,    // not an SQLite file, or another program's database
        Damaged,    // ours, but truncated or corrupt
        Newer,      // ours, from a newer schema than this program knows
        Unreadable, // could not be opened or read at all (permissions, a lock, the disk)
        InUse,      // another program holds it open for writing (a window, lanvey-db)
    };
    Status status = Failed;
    Problem problem = NoProblem;
    QString setAsidePath;
    QString error;
};

// The database list on disk: an SQLite database with one table `hosts` that holds
// every record field and the record's list position. PRAGMA application_id marks the
// file as ours, PRAGMA user_version holds the schema version. Values are stored as the
// program holds them: `ip` is the network-order value, `mac` the 64-bit value (top bits
// set, so negative as an SQLite integer), `color` the 0x00BBGGRR value, `other_names`
// the names as OtherNamesJsonText (empty for none).
//
// Version 3 adds the watch's history: `sightings`, one row per address pair (IP and MAC
// as in `hosts`, first and last seen in milliseconds since the epoch, UTC, the sweeps
// that found it, its names as last found), and `events`, oldest first (time, the kind as
// WatchEventKeyword, the addresses and the previous one, the baseline's host count).
//
// Version 1 had no `other_names`, versions 1 and 2 no history. Such a file is read as it
// is (its records have no other names, it has no history) and is brought to the current
// version by the first save of either kind, in the same transaction; only reading it
// changes nothing.
//
// A save is one transaction, so a process killed in the middle of one leaves the list
// of the last finished save.
class DatabaseFile
{
public:
    static constexpr int kSchemaVersion = 4;
    // What the history keeps at most; past it the pairs seen longest ago and the oldest
    // events go.
    static constexpr int kMaxHistoryPairs = 100000;
    static constexpr int kMaxHistoryEvents = 100000;
    static constexpr int kApplicationId = 0x4C4E5659; // "LNVY"

    // Reads the list at `path` into `records` (emptied first). A missing or empty file
    // is created. A file that is not a Lanvey database, or is ours but damaged, is
    // renamed beside itself as "<name>.<yyyyMMdd-HHmmss>.bad" (with its journal) and a
    // new file takes its place; `problem` says which of the two it was. A file of a
    // newer schema, and any other failure (no permission, the file locked, a disk
    // error), leaves the file as it is and reports Failed: it must not be written.
    static DatabaseLoadResult Load(const QString& path,
                                   std::vector<std::unique_ptr<DatabaseRecord>>& records);

    // Reads the list at `path` without changing anything on disk: a missing, foreign
    // or damaged file is an error (`error` says which), never created or set aside. The
    // one write it may make is the roll-back of a save that was cut short (a hot
    // journal), which brings back the list of the last finished save; where the caller
    // may not write the file, the error says that a writer will recover it.
    // `stop`, when given, is asked every few thousand records; once it says yes the read
    // ends, false with an empty `error` and no records.
    static bool Read(const QString& path, std::vector<std::unique_ptr<DatabaseRecord>>& records,
                     QString* error = nullptr, const std::function<bool()>& stop = {});

    // Replaces the list stored at `path` with `records` in one transaction. Refuses to
    // write over a file that is not ours. `progress` is called after each record
    // written. On failure nothing changes on disk and `error` says what failed.
    static bool Save(const QString& path,
                     const std::vector<std::unique_ptr<DatabaseRecord>>& records,
                     QString* error = nullptr,
                     const std::function<void(int written)>& progress = {});

    // One address pair of the history, with the names it was last found with.
    struct HistoryPair {
        WatchPair pair;
        QString hostName;
        OtherNames otherNames;
    };

    // Adds to the history at `path` in one transaction: each pair is added or merged into
    // the stored one (first seen the earlier, last seen the later, its sweeps added, names
    // when it has any) and the events are appended. The database list is left as it is. Refuses a
    // file that is not ours, and on failure nothing changes on disk.
    static bool SaveHistory(const QString& path, const std::vector<HistoryPair>& pairs,
                            const std::vector<WatchEvent>& events, QString* error = nullptr);

    // The history at `path`, read only: the pairs (latest first) and the events at or after
    // `since` (oldest first). A file of version 1 or 2 has none.
    static bool ReadHistory(const QString& path, std::vector<HistoryPair>* pairs,
                            std::vector<WatchEvent>* events, qint64 since = 0,
                            QString* error = nullptr);
};
