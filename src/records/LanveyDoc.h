#pragma once

#include "records/ColorRef.h"
#include "records/DatabaseFile.h"
#include "records/DatabaseRecord.h"
#include "records/HostRecord.h"
#include "records/NameTableEntry.h"
#include "records/RecordColumns.h"

#include <functional>
#include <memory>
#include <vector>

class CNVOUI;

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
    DatabaseRecord* GetDatabaseRecord(int index) const;
    int GetScanRecordCount() const;
    int GetDatabaseRecordCount() const;

    // Index of the first database record with this address, -1 when there is none.
    int FindDatabaseRecordByIp(quint32 ip) const;

    // The list takes the record over and puts it at the end.
    void AppendScanRecord(std::unique_ptr<HostRecord> record);
    void AppendDatabaseRecord(std::unique_ptr<DatabaseRecord> record);

    // Free the record at `index` and close the gap; an index outside the list does
    // nothing.
    void DeleteScanRecord(int index);
    void DeleteDatabaseRecord(int index);

    void ClearScanRecords();
    void ClearDatabaseRecords();

    // Reorder a list by one of its columns (ScanColumn, DatabaseColumn); any other
    // column leaves it as it is.
    void SortScanRecords(int column, bool ascending);
    void SortDatabaseRecords(int column, bool ascending);

    // Writes the three compare states of `record` against the database list.
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
    DatabaseLoadResult OpenDatabase(const QString& path);

    // Writes the whole database list to the opened file in one transaction. Fails
    // (and writes nothing) when no file is open or it could not be read at open.
    bool SaveDatabase(QString* error = nullptr);
    const QString& GetDatabasePath() const { return m_databasePath; }

private:
    QString VendorKey(quint64 mac) const;

    std::vector<std::unique_ptr<HostRecord>> m_scanRecords;
    std::vector<std::unique_ptr<DatabaseRecord>> m_databaseRecords;
    std::vector<std::unique_ptr<NameTableEntry>> m_nameTableEntries;
    std::function<void()> m_scanShutdown;
    const CNVOUI* m_oui = nullptr;
    QString m_databasePath;
    bool m_databaseWritable = false;
};
