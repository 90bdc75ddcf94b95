#pragma once

#include "records/ColorRef.h"
#include "records/DatabaseFile.h"
#include "records/DatabaseRecord.h"
#include "records/HostRecord.h"
#include "records/NameTableEntry.h"
#include "records/RecordColumns.h"
#include "records/SightingIndex.h"

#include <QSet>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CNVOUI;
class QLockFile;

// The document: owns every host the program knows while it runs, the scan list (the
// results of the current scan) and the database list (the known hosts).
//
// Scan workers append to the scan list, so every access to it by index goes under
// g_recordLock; a record it returns stays valid until the UI thread itself deletes or
// clears it. The database list is used only on the UI thread.
class CLanveyDoc
{
public:
    CLanveyDoc();
    ~CLanveyDoc();
    CLanveyDoc(const CLanveyDoc&) = delete;
    CLanveyDoc& operator=(const CLanveyDoc&) = delete;

    // Record access by row; null for an index outside the list.
    HostRecord* GetScanRecord(int index) const;
    const DatabaseRecord* GetDatabaseRecord(int index) const;
    int GetScanRecordCount() const;
    int GetDatabaseRecordCount() const;
    // Every database record, in list order; valid until the list next changes.
    std::vector<const DatabaseRecord*> GetDatabaseRecords() const;

    // Index of the database record with this address, -1 when there is none. A look-up
    // in an index of the list, made again after a change that moves records.
    int FindDatabaseRecordByIp(quint32 ip) const;

    // The list takes the record over and puts it at the end.
    void AppendScanRecord(std::unique_ptr<HostRecord> record);
    // Frees the record at `index` and closes the gap; an index outside the list does
    // nothing.
    void DeleteScanRecord(int index);
    void ClearScanRecords();
    // Reorders the list by one of its columns (ScanColumn); any other column leaves it
    // as it is.
    void SortScanRecords(int column, bool ascending);

    // Changes of the database list. While a database file is open, each change is
    // committed to it before the call returns: the views never save. When the commit
    // fails, the list goes back to what the file holds, the failure is shown once
    // through the message prompt and the call returns false. Changes made between
    // BeginDatabaseChange and the matching EndDatabaseChange are committed together, in
    // one transaction, by the outermost End; until then the calls return true.
    //
    // No two records share an address: an append or a write that would make a second
    // record with an address is refused (false, nothing changes, no message), so callers
    // look the address up first and ask the user.
    bool AppendDatabaseRecord(std::unique_ptr<DatabaseRecord> record);
    // An index outside the list changes nothing.
    bool DeleteDatabaseRecord(int index);
    // Writes every field of `values` into the record at `index`, which keeps its place.
    bool SetDatabaseRecord(int index, const DatabaseRecord& values);
    // By one of the columns (DatabaseColumn); the file keeps the order.
    bool SortDatabaseRecords(int column, bool ascending);
    void BeginDatabaseChange();
    bool EndDatabaseChange();

    // What becomes of an incoming record whose address a record of the list holds.
    enum class MergeClash { Replace, Skip, Stop };
    struct MergeCounts {
        int added = 0;    // with an address no record held
        int replaced = 0; // in place of the record that held the address
        bool stopped = false;
    };
    // Adds `incoming` to the database list in order, each against the list as the ones
    // before it left it, just as one AppendDatabaseRecord (after a DeleteDatabaseRecord
    // of the holder, for a replacement) per record would: a record with an address no
    // record holds goes to the end; for one whose address a record holds,
    // `clash(position in incoming, holder, incoming record)` decides, and may complete the
    // incoming record from the holder first: Replace deletes the holder and puts the
    // incoming record at the end, Skip leaves it out, Stop ends the walk and keeps
    // what was done before. One change of the list, made at the end of the walk (so the
    // list stays as it was while `clash` asks) and committed as such unless a batch is
    // open; its cost grows with the list and `incoming`, not with their product.
    MergeCounts MergeDatabaseRecords(
        std::vector<std::unique_ptr<DatabaseRecord>> incoming,
        const std::function<MergeClash(std::size_t position, const DatabaseRecord& holder,
                                       DatabaseRecord& incoming)>& clash);
    // Empties the list in memory only (the document's clean-up); the file keeps it.
    void ClearDatabaseRecords();

    // Runs after every change of the database list has been committed or undone (at the
    // end of a batch for the changes inside one), so that the database list can show it.
    void SetDatabaseChangedHandler(std::function<void()> handler);

    // Writes the three compare states of `record` against the database list. Every
    // drawn cell of the scan list asks, so this looks the addresses up in an index of the
    // list (made again after each change of it) instead of reading the whole list.
    void CompareWithDatabase(HostRecord* record, int index);

    // The document's clean-up: stops any scan (through the hook the scan job set),
    // then empties both lists. It does not touch the database file.
    void DeleteContents();

    // The scan job's part of DeleteContents: wake and cancel the workers, wait for them
    // and release their slots.
    void SetScanShutdown(std::function<void()> shutdown);

    // The vendor table the vendor columns sort by (owned by the caller; may be null).
    void SetVendorTable(const CNVOUI* oui) { m_oui = oui; }
    const CNVOUI* GetVendorTable() const { return m_oui; }

    // Name-table transfer entries; empty between transfers.
    void AppendNameTableEntry(std::unique_ptr<NameTableEntry> entry);
    NameTableEntry* GetNameTableEntry(int index) const;
    int GetNameTableEntryCount() const;
    void ClearNameTableEntries();

    // Loads the database list from `path` (replacing the list in memory) and keeps the
    // path for SaveDatabase. See DatabaseFile::Load for what happens to a file that
    // is not ours.
    //
    // The document that opens a file holds it until it opens another or goes: a lock
    // file beside it ("<name>.lock") tells every other program that would write it
    // (another document, lanvey-db) that its list would be written over. When another
    // holder keeps it for longer than `lockWaitMs`, nothing is read: the result is Failed
    // with the problem InUse, and the list stays empty and unwritten.
    DatabaseLoadResult OpenDatabase(const QString& path, int lockWaitMs = 3000);

    // Writes the whole database list to the opened file in one transaction. Fails
    // (and writes nothing) when no file is open or it could not be read at open.
    bool SaveDatabase(QString* error = nullptr);

    const QString& GetDatabasePath() const { return m_databasePath; }

    // The history of sightings (DatabaseFile's, read at OpenDatabase): when each address
    // pair was first and last seen, as the database list shows it.
    const SightingIndex& Sightings() const { return m_sightings; }

    // The hosts a scan found are sightings: the index takes them, and so does the file's
    // history, in one transaction (false, with why in `error`, when the file refused it;
    // the index keeps them all the same). When the scan went through `covered` (first
    // and last address, host byte order) to its end, the known hosts in it that it did
    // not find are "not seen" until a scan finds them.
    // A watch's sweep counts once for each pair it found (`sweeps` 1) and its `events`
    // go with the pairs; a frame heard between sweeps counts no sweep (`sweeps` 0).
    bool RecordScanSightings(const std::vector<HostRecord>& found, qint64 now,
                             std::optional<std::pair<quint32, quint32>> covered,
                             QString* error = nullptr, const std::vector<WatchEvent>& events = {},
                             int sweeps = 1);
    // A database record the latest complete scan of its subnet did not find.
    bool IsNotSeen(const DatabaseRecord& record) const;

private:
    // Reads the history of the opened file into the index; a file without one (or one
    // that cannot be read) leaves it empty.
    void LoadSightings();

    // Every change of the database list starts here: the first one after a commit keeps
    // the committed list, to go back to should the next commit fail.
    void NoteDatabaseChange();
    // Commits what changed since the last commit, unless a batch is open.
    bool CommitDatabaseChange();

    std::vector<std::unique_ptr<HostRecord>> m_scanRecords;
    std::vector<std::unique_ptr<DatabaseRecord>> m_databaseRecords;
    std::vector<std::unique_ptr<NameTableEntry>> m_nameTableEntries;
    std::function<void()> m_scanShutdown;
    const CNVOUI* m_oui = nullptr;
    QString m_databasePath;
    std::unique_ptr<QLockFile> m_databaseLock;
    bool m_databaseWritable = false;
    std::optional<std::vector<DatabaseRecord>> m_committedDatabase;
    int m_databaseBatchDepth = 0;
    std::function<void()> m_databaseChanged;
    SightingIndex m_sightings;
    // The records (address, MAC) that the latest complete scan of their subnet missed.
    QSet<std::pair<quint32, quint64>> m_notSeen;

    // The database list's addresses, for CompareWithDatabase: each IP with the MACs
    // recorded for it, and every MAC. Made when first needed after a change.
    struct CompareIndex {
        std::unordered_map<quint32, std::vector<quint64>> macsByIp;
        std::unordered_set<quint64> macs;
    };
    const CompareIndex& Index() const;
    // Every change of the list drops the compare index; one that moves records (or
    // changes which one holds an address other than by an append) drops the address
    // index as well.
    void DatabaseListChanged() { m_compareIndex.reset(); }
    void DatabaseRecordsMoved()
    {
        m_compareIndex.reset();
        m_ipIndex.reset();
    }
    mutable std::optional<CompareIndex> m_compareIndex;
    // Each address of the database list with its record's index, for
    // FindDatabaseRecordByIp. Made when first needed after a move; an append adds to it.
    mutable std::optional<std::unordered_map<quint32, int>> m_ipIndex;
};
