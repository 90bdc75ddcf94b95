#pragma once

#include "records/RecordColumns.h"
#include "ui/lists/CCommonListView.h"

#include <QWidget>

class CWatchHostModel;
class QAbstractTableModel;
class QLabel;
class QTableView;
class WatchSession;

// The columns the watch's hosts list adds after the scan list's.
enum WatchColumn {
    WatchColState = ScanColumnCount, // online, or gone since when
    WatchColFirstSeen,
    WatchColLastSeen,
    WatchColumnCount
};

// The hosts of the watch: the scan list's columns (compared with the database and
// coloured as the scan list is), then the state and when each was first and last seen.
// Add To Database, Copy, Export, Find and Print act on it as on the scan list.
class CWatchHostList final : public CCommonListView
{
    Q_OBJECT

public:
    CWatchHostList(CLanveyDoc& doc, WatchSession& session, ViewHost* host,
                   QWidget* parent = nullptr);

    bool OnCommand(int id) override;
    std::optional<bool> IsCommandEnabled(int id) override;
    QString PrintTitle() const override;
    QByteArray ExportRows(ExchangeFormat format, const std::vector<int>& rows) const override;

    // The hosts or the database changed: rows and cells are read afresh.
    void Reload();

protected:
    void OnSort(int column, bool ascending) override;
    const void* RecordAtRow(int row) const override;
    std::vector<int> ContextMenuItems() const override;

private:
    void OnEditAddToDatabase();

    WatchSession& m_session;
    CWatchHostModel* m_pModel;
};

// The Watch tab: the hosts above, the events (newest first) below, and a line that says
// what the watch is doing.
class CWatchView final : public QWidget
{
    Q_OBJECT

public:
    CWatchView(CLanveyDoc& doc, WatchSession& session, ViewHost* host, QWidget* parent = nullptr);

    CWatchHostList* HostList() const { return m_pHosts; }
    QTableView* EventList() const { return m_pEvents; }
    QLabel* NoteLabel() const { return m_pNote; }

private:
    void Reload();

    WatchSession& m_session;
    QLabel* m_pNote;
    CWatchHostList* m_pHosts;
    QTableView* m_pEvents;
    QAbstractTableModel* m_pEventModel;
};
