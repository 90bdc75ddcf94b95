#include "CScanView.h"

#include "CommandIds.h"
#include "ProfileSettings.h"
#include "ViewHost.h"

#include <QMetaObject>

CScanView::CScanView(CLanveyDoc& doc, HostProbe& probe, ViewHost* host, QWidget* parent)
    : CCommonListView(doc, host, parent), m_job(doc, probe, *this, *this)
{
    m_timer.setInterval(kScanTimerMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_job.OnTimer(); });
}

CScanView::~CScanView() = default;

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
    case ID_EDIT_ADD_TO_DATABASE:
    case ID_EDIT_DELETE:
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
    case ID_EDIT_ADD_TO_DATABASE:
        return SelectedRowCount() > 0;
    case ID_EDIT_DELETE:
        // Workers append to the scan list while a scan runs; rows stay until it ends.
        return SelectedRowCount() > 0 && !m_job.IsScanning();
    default:
        return CCommonListView::IsCommandEnabled(id);
    }
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
    m_nRowCount = rows;
}

void CScanView::HostAdded()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            const bool wasEmpty = m_nRowCount == 0;
            m_job.OnHostAdded();
            // The whole-list commands follow the first row; later rows change nothing.
            if (wasEmpty && m_nRowCount > 0)
                UpdateCommandUI();
        },
        Qt::QueuedConnection);
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

void CScanView::UpdateCommandUI()
{
    if (m_pHost)
        m_pHost->UpdateCommandUI();
}
