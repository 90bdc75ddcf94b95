#include "ui/lists/CScanView.h"

#include "lang/LangString.h"
#include "records/LanveyDoc.h"
#include "records/RecordLock.h"
#include "ui/frame/CommandIds.h"
#include "ui/frame/CommandTable.h"
#include "ui/frame/ProfileSettings.h"
#include "ui/lists/CScanListModel.h"
#include "ui/lists/ViewHost.h"

#include <QMetaObject>
#include <mutex>

CScanView::CScanView(CLanveyDoc& doc, HostProbe& probe, ViewHost* host, QWidget* parent)
    : CCommonListView(doc, host, parent), m_pModel(new CScanListModel(doc)),
      m_job(doc, probe, *this, *this)
{
    InstallListModel(m_pModel, {130, 150, 150, 150, 200, 350});
    m_timer.setInterval(kScanTimerMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_job.OnTimer(); });
}

CScanView::~CScanView() = default;

QString CScanView::PrintTitle() const
{
    return FormatLangString(163, QStringLiteral("Scan Network"));
}

ScanStartResult CScanView::OnScanStart()
{
    const std::optional<QString> target = m_pHost ? m_pHost->ScanTargetText() : std::nullopt;
    const int threads = GetProfileInt(QStringLiteral("Threads"), kDefaultScanThreads);
    const ScanStartResult result = m_job.Start(target, static_cast<quint32>(threads));
    UpdateCommandUI();
    return result;
}

void CScanView::OnScanPause()
{
    m_job.Pause();
    UpdateCommandUI();
}

void CScanView::OnScanStop()
{
    m_job.Stop();
    UpdateCommandUI();
}

bool CScanView::OnCommand(int id)
{
    switch (id) {
    case ID_SCAN_START:
        OnScanStart();
        return true;
    case ID_SCAN_PAUSE:
        OnScanPause();
        return true;
    case ID_SCAN_STOP:
        OnScanStop();
        return true;
    case ID_EDIT_DELETE:
        OnEditDelete();
        return true;
    case ID_SCAN_SHOW_DIFFERENT_DETAILS:
        // The same as a double-click on the list.
        OnShowDifferentDetails();
        return true;
    case ID_EDIT_ADD_TO_DATABASE:
        // Adding results to the database is not part of the list yet.
        return true;
    default:
        return CCommonListView::OnCommand(id);
    }
}

std::optional<bool> CScanView::IsCommandEnabled(int id)
{
    switch (id) {
    case ID_SCAN_START: {
        if (!g_hPauseScanEvent.IsSet())
            return true; // Start resumes a paused scan
        if (m_pHost && m_pHost->HasScanTargetBox()) {
            // The box follows Start: no new target can be picked while a scan runs.
            const bool enable = !m_job.IsScanning();
            m_pHost->EnableScanTargetBox(enable);
            return enable;
        }
        return m_job.CanStart();
    }
    case ID_SCAN_PAUSE:
        return m_job.CanPause();
    case ID_SCAN_STOP:
        return m_job.CanStop();
    case ID_SCAN_SHOW_DIFFERENT_DETAILS:
        return HasSelectedRow() && FocusedRowDiffers();
    case ID_EDIT_ADD_TO_DATABASE:
        return HasSelectedRow();
    case ID_EDIT_ADD:
        return false;
    case ID_EDIT_DELETE:
    case ID_FILE_EXPORT_SELECTED:
        // Workers append to the scan list while a scan runs; rows stay until it ends.
        return HasSelectedRow() && !m_job.IsScanning();
    case ID_FILE_EXPORT_ALL:
        return ListRowCount() > 0 && !m_job.IsScanning();
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
    return record->overallState == CompareState::Different;
}

void CScanView::OnShowDifferentDetails()
{
    // The detail of a host that differs from the database is not part of the list yet.
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

void CScanView::OnSort(int column, bool ascending)
{
    m_doc.SortScanRecords(column, ascending);
    SetItemCount(m_doc.GetScanRecordCount());
    m_pModel->RefreshAll();
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
        return MenuText("Show Different Details...");
    return CCommonListView::ContextMenuText(id);
}

void CScanView::SetStatusText(const QString& text)
{
    if (m_pHost)
        m_pHost->SetStatusPane1(text);
}

void CScanView::StartProgressTimer()
{
    m_timer.start();
}

void CScanView::KillProgressTimer()
{
    m_timer.stop();
}

void CScanView::SetRowCount(int rows)
{
    SetItemCount(rows);
    viewport()->update();
}

int CScanView::RowCount() const
{
    return m_pModel->ItemCount();
}

void CScanView::HostAdded()
{
    // Many workers store hosts at once: one queued count update covers all of them.
    if (!m_bHostsPending.exchange(true))
        QMetaObject::invokeMethod(this, &CScanView::OnHostsAdded, Qt::QueuedConnection);
}

void CScanView::OnHostsAdded()
{
    // Cleared before the count is read: a host stored after this point queues again.
    m_bHostsPending.store(false);
    m_job.OnHostAdded();
}

void CScanView::WorkerDone(int slot)
{
    QMetaObject::invokeMethod(
        this,
        [this, slot] {
            const bool completed = m_job.OnWorkerDone(slot);
            // Pause depends on the worker slots, so every ended worker can change it.
            UpdateCommandUI();
            if (completed)
                emit scanCompleted();
        },
        Qt::QueuedConnection);
}
