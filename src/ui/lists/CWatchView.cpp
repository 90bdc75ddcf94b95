#include "ui/lists/CWatchView.h"

#include "app/WatchSession.h"
#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "records/CompareResult.h"
#include "records/LanveyDoc.h"
#include "records/RecordLock.h"
#include "records/ScanMerge.h"
#include "support/AddressText.h"
#include "support/NVOUI.h"
#include "ui/commands/CommandIds.h"
#include "ui/commands/CommandTable.h"
#include "ui/dialogs/CAlarmDlg.h"
#include "ui/lists/CRecordListModel.h"
#include "ui/lists/CScanListModel.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <mutex>

namespace
{

QString WatchTitle()
{
    return MenuText("Watch");
}

QStringList HostTitles()
{
    return ScanColumnTitles() << FormatLangStringA(0xF31A, "State")
                              << FormatLangStringA(0xF300, "First Seen")
                              << FormatLangStringA(0xF301, "Last Seen");
}

// When the pair was first and last seen: by this watch, or earlier by the file's history.
SeenTimes SeenOf(const CLanveyDoc& doc, const WatchPair& pair)
{
    SeenTimes times{pair.firstSeen, pair.lastSeen};
    if (const SeenTimes* stored = doc.Sightings().Find(pair.ip, pair.mac)) {
        times.first = std::min(times.first, stored->first);
        times.last = std::max(times.last, stored->last);
    }
    return times;
}

QString StateText(const WatchPair& pair)
{
    return pair.gone
               ? FormatLangStringA(0xF31C, "Gone since %s_TIME%", {SeenTimeText(pair.goneSince)})
               : FormatLangStringA(0xF31B, "Online");
}

QString EventKindText(const WatchEvent& event)
{
    switch (event.kind) {
    case WatchEventKind::Baseline:
        return FormatLangStringA(0xF320, "Baseline: %d_HOSTS% hosts", {event.hosts});
    case WatchEventKind::New:
        return FormatLangStringA(0xF321, "New host");
    case WatchEventKind::IpChanged:
        return FormatLangStringA(0xF322, "IP address changed");
    case WatchEventKind::MacChanged:
        return FormatLangStringA(0xF323, "MAC address changed");
    case WatchEventKind::Gone:
        return FormatLangStringA(0xF324, "Gone");
    case WatchEventKind::Back:
        return FormatLangStringA(0xF325, "Back");
    }
    return {};
}

} // namespace

// The watch's hosts, in the order of the last sort; each cell read from the session's
// hosts when it is drawn.
class CWatchHostModel final : public CRecordListModel
{
public:
    CWatchHostModel(CLanveyDoc& doc, WatchSession& session, QObject* parent)
        : CRecordListModel(HostTitles(), std::vector<bool>(WatchColumnCount, true), parent),
          m_doc(doc), m_session(session)
    {
    }

    const WatchHost* HostAt(int row) const
    {
        if (row < 0 || row >= int(m_order.size()) ||
            m_order[size_t(row)] >= m_session.Hosts().size())
            return nullptr;
        return &m_session.Hosts()[m_order[size_t(row)]];
    }

    // The compared copy of a row's host.
    std::optional<HostRecord> Compared(int row) const
    {
        const WatchHost* host = HostAt(row);
        if (!host)
            return std::nullopt;
        HostRecord record = host->host;
        std::lock_guard guard(g_recordLock);
        m_doc.CompareWithDatabase(&record, row);
        return record;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!IsValidCell(index))
            return {};
        const WatchHost* host = HostAt(index.row());
        if (!host)
            return {};
        const int column = index.column();
        if (column < ScanColumnCount) {
            const std::optional<HostRecord> record = Compared(index.row());
            return ScanCellData(*record, column, role, m_doc.GetVendorTable());
        }
        if (role == Qt::ForegroundRole)
            return QColor(host->pair.gone ? Qt::gray : Qt::black);
        if (role != Qt::DisplayRole)
            return {};
        return Text(*host, column);
    }

    QString Text(const WatchHost& host, int column) const
    {
        switch (column) {
        case WatchColState:
            return StateText(host.pair);
        case WatchColFirstSeen:
            return SeenTimeText(SeenOf(m_doc, host.pair).first);
        case WatchColLastSeen:
            return SeenTimeText(SeenOf(m_doc, host.pair).last);
        default:
            HostRecord record = host.host;
            std::lock_guard guard(g_recordLock);
            m_doc.CompareWithDatabase(&record, 0);
            return ScanCellText(record, column, m_doc.GetVendorTable(), false);
        }
    }

    // The rows as the session's hosts are now, in the last sort's order.
    void Reload()
    {
        m_order.resize(m_session.Hosts().size());
        for (size_t i = 0; i < m_order.size(); ++i)
            m_order[i] = i;
        if (m_sortColumn >= 0)
            SortRows();
        SetItemCount(int(m_order.size()));
        RefreshAll();
    }

    void Sort(int column, bool ascending)
    {
        m_sortColumn = column;
        m_ascending = ascending;
        SortRows();
        RefreshAll();
    }

protected:
    void DeleteRecord(int) override {}

private:
    void SortRows()
    {
        const std::vector<WatchHost>& hosts = m_session.Hosts();
        const auto key = [this, &hosts](size_t i) -> std::pair<quint64, QString> {
            const WatchHost& host = hosts[i];
            switch (m_sortColumn) {
            case ScanColIp:
                return {IpToHostOrder(host.pair.ip), {}};
            case ScanColMac:
                return {host.pair.mac, {}};
            case WatchColState:
                return {host.pair.gone ? quint64(host.pair.goneSince) : 0, {}};
            case WatchColFirstSeen:
                return {quint64(SeenOf(m_doc, host.pair).first), {}};
            case WatchColLastSeen:
                return {quint64(SeenOf(m_doc, host.pair).last), {}};
            default:
                return {0, Text(host, m_sortColumn).toLower()};
            }
        };
        std::vector<std::pair<std::pair<quint64, QString>, size_t>> keyed;
        keyed.reserve(m_order.size());
        for (size_t i : m_order)
            keyed.emplace_back(key(i), i);
        std::stable_sort(keyed.begin(), keyed.end(), [this](const auto& a, const auto& b) {
            return m_ascending ? a.first < b.first : b.first < a.first;
        });
        for (size_t i = 0; i < keyed.size(); ++i)
            m_order[i] = keyed[i].second;
    }

    CLanveyDoc& m_doc;
    WatchSession& m_session;
    std::vector<size_t> m_order;
    int m_sortColumn = -1;
    bool m_ascending = true;
};

namespace
{

// The events, newest first.
class CWatchEventModel final : public QAbstractTableModel
{
public:
    CWatchEventModel(const CLanveyDoc& doc, QObject* parent)
        : QAbstractTableModel(parent), m_doc(doc)
    {
    }

    void SetEvents(const std::deque<WatchEvent>& events)
    {
        beginResetModel();
        m_events.assign(events.rbegin(), events.rend());
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_events.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : 6;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        switch (section) {
        case 0:
            return FormatLangStringA(0xF31D, "Time");
        case 1:
            return FormatLangStringA(0xF31E, "Event");
        case 2:
            return ScanColumnTitles().value(ScanColIp);
        case 3:
            return ScanColumnTitles().value(ScanColMac);
        case 4:
            return FormatLangStringA(0xF31F, "Previous");
        default:
            return ScanColumnTitles().value(ScanColVendor);
        }
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= int(m_events.size()))
            return {};
        const WatchEvent& event = m_events[size_t(index.row())];
        const bool baseline = event.kind == WatchEventKind::Baseline;
        if (role == Qt::ForegroundRole) {
            switch (event.kind) {
            case WatchEventKind::New:
                return QColor(Qt::blue);
            case WatchEventKind::IpChanged:
            case WatchEventKind::MacChanged:
                return QColor(Qt::red);
            case WatchEventKind::Gone:
                return QColor(Qt::gray);
            default:
                return QColor(Qt::black);
            }
        }
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case 0:
            return QDateTime::fromMSecsSinceEpoch(event.time)
                .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        case 1:
            return EventKindText(event);
        case 2:
            return baseline ? QString() : FormatIpAddress(event.ip);
        case 3:
            return baseline ? QString() : FormatMacAddress(event.mac);
        case 4:
            return event.previousMac  ? FormatMacAddress(event.previousMac)
                   : event.previousIp ? FormatIpAddress(event.previousIp)
                                      : QString();
        default:
            const CNVOUI* oui = m_doc.GetVendorTable();
            return baseline || !oui ? QString()
                                    : ReplaceControlChars(oui->GetManufacturerOf(event.mac));
        }
    }

private:
    const CLanveyDoc& m_doc;
    std::vector<WatchEvent> m_events;
};

} // namespace

CWatchHostList::CWatchHostList(CLanveyDoc& doc, WatchSession& session, ViewHost* host,
                               QWidget* parent)
    : CCommonListView(doc, host, parent), m_session(session),
      m_pModel(new CWatchHostModel(doc, session, this))
{
    setObjectName(QStringLiteral("WatchHostList"));
    std::vector<int> widths = ColumnWidths(ScanColumns());
    widths.insert(widths.end(), {150, 120, 120});
    InstallListModel(m_pModel, widths);
}

void CWatchHostList::Reload()
{
    m_pModel->Reload();
    viewport()->update();
}

QString CWatchHostList::PrintTitle() const
{
    return WatchTitle();
}

QByteArray CWatchHostList::ExportRows(ExchangeFormat format, const std::vector<int>& rows) const
{
    std::vector<HostRecord> hosts;
    for (int row : rows)
        if (const std::optional<HostRecord> record = m_pModel->Compared(row))
            hosts.push_back(*record);
    std::vector<const HostRecord*> pointers;
    for (const HostRecord& record : hosts)
        pointers.push_back(&record);
    return WriteScanRecords(format, pointers, m_doc.GetVendorTable());
}

void CWatchHostList::OnSort(int column, bool ascending)
{
    m_pModel->Sort(column, ascending);
}

const void* CWatchHostList::RecordAtRow(int row) const
{
    return m_pModel->HostAt(row);
}

std::vector<int> CWatchHostList::ContextMenuItems() const
{
    return {ID_EDIT_ADD_TO_DATABASE, ID_EDIT_COPY, 0, ID_EDIT_SELECT_ALL};
}

bool CWatchHostList::OnCommand(int id)
{
    if (id == ID_EDIT_ADD_TO_DATABASE) {
        OnEditAddToDatabase();
        return true;
    }
    return CCommonListView::OnCommand(id);
}

std::optional<bool> CWatchHostList::IsCommandEnabled(int id)
{
    switch (id) {
    case ID_EDIT_ADD_TO_DATABASE:
        return HasSelectedRow();
    case ID_EDIT_ADD:
    case ID_EDIT_DELETE:
    case ID_VIEW_PROPERTIES:
    case ID_FILE_IMPORT:
    case ID_NAMETABLE_POPUP:
    case ID_NAMETABLE_IP:
    case ID_NAMETABLE_MAC:
    case ID_NAMETABLE_IP_MAC:
        return false;
    default:
        return CCommonListView::IsCommandEnabled(id);
    }
}

void CWatchHostList::OnEditAddToDatabase()
{
    std::vector<HostRecord> hosts;
    for (int row : SelectedRowsInOrder())
        if (const WatchHost* host = m_pModel->HostAt(row))
            hosts.push_back(host->host);
    if (hosts.empty())
        return;
    std::vector<const HostRecord*> pointers;
    for (const HostRecord& record : hosts)
        pointers.push_back(&record);
    CAlarmDlg dialog(m_doc.GetVendorTable(), window());
    ShowMergeReport(MergeHostRecords(m_doc, pointers, AskReplaceWith(dialog)));
    Reload();
    UpdateCommandUI();
}

CWatchView::CWatchView(CLanveyDoc& doc, WatchSession& session, ViewHost* host, QWidget* parent)
    : QWidget(parent), m_session(session), m_pNote(new QLabel(this)),
      m_pHosts(new CWatchHostList(doc, session, host)), m_pEvents(new QTableView),
      m_pEventModel(new CWatchEventModel(doc, this))
{
    m_pNote->setObjectName(QStringLiteral("WatchNote"));
    m_pNote->setContentsMargins(6, 3, 6, 3);
    m_pNote->setWordWrap(true);
    m_pEvents->setObjectName(QStringLiteral("WatchEventList"));
    m_pEvents->setModel(m_pEventModel);
    m_pEvents->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pEvents->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pEvents->verticalHeader()->hide();
    m_pEvents->verticalHeader()->setDefaultSectionSize(20);
    m_pEvents->horizontalHeader()->setStretchLastSection(true);
    for (int column = 0; column < 5; ++column)
        m_pEvents->setColumnWidth(column, column == 0 || column == 1 ? 150 : 130);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_pHosts);
    splitter->addWidget(m_pEvents);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_pNote);
    layout->addWidget(splitter);

    connect(&m_session, &WatchSession::changed, this, &CWatchView::Reload);
    // What the watch does, and under it why it only sweeps when it cannot listen.
    connect(&m_session, &WatchSession::statusText, this, [this](const QString& text) {
        const QString note = m_session.ListenNote();
        m_pNote->setText(note.isEmpty() ? text : text + u'\n' + note);
    });
    m_pNote->setText(
        FormatLangStringA(0xF326, "Not watching. Pick a target and press Watch (F6)."));
}

void CWatchView::Reload()
{
    m_pHosts->Reload();
    static_cast<CWatchEventModel*>(m_pEventModel)->SetEvents(m_session.Events());
}
