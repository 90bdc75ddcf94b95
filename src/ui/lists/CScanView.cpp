#include "ui/lists/CScanView.h"

#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "records/IdentityFlags.h"
#include "records/LanveyDoc.h"
#include "records/RecordLock.h"
#include "records/ScanMerge.h"
#include "support/AddressText.h"
#include "ui/commands/CommandIds.h"
#include "ui/commands/CommandTable.h"
#include "ui/dialogs/CAlarmDlg.h"
#include "ui/dialogs/CShowDetailDlg.h"
#include "ui/lists/CScanListModel.h"
#include "ui/lists/CScanSession.h"
#include "ui/lists/ViewHost.h"

#include <QHeaderView>
#include <algorithm>
#include <mutex>

CScanView::CScanView(CLanveyDoc& doc, CScanSession& session, ViewHost* host, QWidget* parent)
    : CCommonListView(doc, host, parent), m_session(session)
{
    InstallListModel(&m_session.Model(), ColumnWidths(ScanColumns()));
    connect(&m_session, &CScanSession::rowCountChanged, this, &CScanView::OnRowCountChanged);
    // A new scan lists hosts in the order they are found, not in the last sort's.
    connect(&m_session, &CScanSession::scanStarted, this,
            [this] { horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder); });
}

CScanView::~CScanView() = default;

QString CScanView::PrintTitle() const
{
    return FormatLangString(163, QStringLiteral("Scan Network"));
}

bool CScanView::OnCommand(int id)
{
    if (const auto flags = NameTableFlags(id)) {
        // The scan list proposes the host name once the host has answered.
        AddSelectionToNameTable(flags->first, flags->second, kNameTableSender,
                                [this](int row) -> std::optional<NameTableHost> {
                                    const std::lock_guard guard(g_recordLock);
                                    const HostRecord* record = m_doc.GetScanRecord(row);
                                    if (!record)
                                        return std::nullopt;
                                    return NameTableHost{record->ip, record->mac,
                                                         record->resolved ? record->hostName
                                                                          : QString()};
                                });
        return true;
    }
    switch (id) {
    case ID_EDIT_DELETE:
        OnEditDelete();
        return true;
    case ID_SCAN_SHOW_DIFFERENT_DETAILS:
        // The same as a double-click on the list.
        OnShowDifferentDetails();
        return true;
    case ID_EDIT_ADD_TO_DATABASE:
        OnEditAddToDatabase();
        return true;
    default:
        return CCommonListView::OnCommand(id);
    }
}

std::optional<bool> CScanView::IsCommandEnabled(int id)
{
    switch (id) {
    case ID_SCAN_SHOW_DIFFERENT_DETAILS:
        return HasSelectedRow() && FocusedRowDiffers();
    case ID_EDIT_ADD_TO_DATABASE:
        return HasSelectedRow();
    case ID_EDIT_ADD:
        return false;
    case ID_EDIT_DELETE:
    case ID_FILE_EXPORT_SELECTED:
        // Workers append to the scan list while a scan runs; rows stay until it ends.
        return HasSelectedRow() && !m_session.Job().IsScanning();
    case ID_FILE_EXPORT_ALL:
        return ListRowCount() > 0 && !m_session.Job().IsScanning();
    default:
        return CCommonListView::IsCommandEnabled(id);
    }
}

bool CScanView::FocusedRowDiffers() const
{
    const int row = FocusedRow();
    if (row < 0)
        return false;
    std::lock_guard guard(g_recordLock);
    HostRecord* record = m_doc.GetScanRecord(row);
    if (!record)
        return false;
    m_doc.CompareWithDatabase(record, row);
    // A second MAC for the address is a difference worth its detail too.
    return record->overallState == CompareState::Different || HasIpConflict(*record);
}

void CScanView::OnShowDifferentDetails()
{
    const int row = FocusedRow();
    if (row < 0)
        return;
    // Held while the detail is shown: workers wait at their next address or store.
    std::lock_guard guard(g_recordLock);
    HostRecord* record = m_doc.GetScanRecord(row);
    if (!record)
        return;
    m_doc.CompareWithDatabase(record, row);
    const bool differs = record->overallState == CompareState::Different;
    if (!differs && !HasIpConflict(*record))
        return;
    QString text = differs ? DifferenceDetailText(m_doc, *record) : QString();
    if (HasIpConflict(*record)) {
        if (!text.isEmpty() && !text.endsWith(QLatin1String("\r\n")))
            text += QLatin1String("\r\n");
        text +=
            FormatLangStringA(0xF153, "IP address conflict: %s_MAC% also answered for this address",
                              {FormatMacAddress(record->conflictMac)});
    }
    CShowDetailDlg dialog(window());
    dialog.SetDetailText(text);
    dialog.exec();
}

QByteArray CScanView::ExportRows(ExchangeFormat format, const std::vector<int>& rows) const
{
    std::lock_guard guard(g_recordLock);
    std::vector<const HostRecord*> records;
    records.reserve(rows.size());
    for (int row : rows) {
        if (HostRecord* record = m_doc.GetScanRecord(row)) {
            m_doc.CompareWithDatabase(record, row);
            records.push_back(record);
        }
    }
    return WriteScanRecords(format, records, m_doc.GetVendorTable());
}

void CScanView::OnEditAddToDatabase()
{
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    if (rows.empty())
        return;
    std::sort(rows.begin(), rows.end());

    CAlarmDlg dialog(m_doc.GetVendorTable(), window());
    ShowMergeReport(MergeScanRecords(m_doc, rows, AskReplaceWith(dialog)));
    m_session.SetRowCount(m_doc.GetScanRecordCount());
    // The Compare Result column reads the database list afresh.
    m_session.Model().RefreshAll();
    viewport()->update();
    UpdateCommandUI();
}

void CScanView::mouseDoubleClickEvent(QMouseEvent* event)
{
    OnShowDifferentDetails();
    CCommonListView::mouseDoubleClickEvent(event);
}

void CScanView::OnEditDelete()
{
    if (!DeleteSelectedRows())
        return;
    SetItemCount(m_doc.GetScanRecordCount());
    SetStatusText(FormatLangString(144, QStringLiteral("Found %d_HOSTS% hosts."),
                                   {m_doc.GetScanRecordCount()}));
    UpdateCommandUI();
}

const void* CScanView::RecordAtRow(int row) const
{
    return m_doc.GetScanRecord(row);
}

void CScanView::OnSort(int column, bool ascending)
{
    m_doc.SortScanRecords(column, ascending);
    SetItemCount(m_doc.GetScanRecordCount());
    m_session.Model().RefreshAll();
    viewport()->update();
}

std::vector<int> CScanView::ContextMenuItems() const
{
    return {ID_SCAN_SHOW_DIFFERENT_DETAILS,
            0,
            ID_EDIT_ADD_TO_DATABASE,
            kSubmenuNameTable,
            ID_EDIT_COPY,
            ID_EDIT_DELETE,
            0,
            ID_FILE_EXPORT_ALL,
            ID_FILE_EXPORT_SELECTED,
            0,
            ID_EDIT_FIND,
            0,
            ID_EDIT_SELECT_ALL};
}

int CScanView::ContextMenuDefaultItem() const
{
    return ID_SCAN_SHOW_DIFFERENT_DETAILS;
}

QString CScanView::ContextMenuText(int id) const
{
    if (id == ID_SCAN_SHOW_DIFFERENT_DETAILS)
        return FormatLangStringA(0xF280, "Show Different Details...");
    return CCommonListView::ContextMenuText(id);
}

void CScanView::SetStatusText(const QString& text)
{
    if (m_pHost)
        m_pHost->SetStatusPane1(text);
}

void CScanView::OnRowCountChanged(int rows)
{
    viewport()->update();
    // The whole-list commands follow the first row and the last; other counts change
    // nothing.
    if (m_bWasEmpty != (rows == 0)) {
        m_bWasEmpty = rows == 0;
        UpdateCommandUI();
    }
}
