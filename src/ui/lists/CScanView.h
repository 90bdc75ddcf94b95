#pragma once

#include "scan/ScanJob.h"
#include "ui/lists/CCommonListView.h"

#include <QTimer>
#include <atomic>

class CScanListModel;
class HostProbe;

// The "Scan Network" list. It owns the scan job: the workers report through the sink
// side, which hands every notification to the UI thread in order, and the job writes
// its progress through the view side.
class CScanView final : public CCommonListView, public ScanJobView, public ScanEventSink
{
    Q_OBJECT

public:
    static constexpr int SCAN_TIMER_ID = 35;
    static constexpr int kScanTimerMs = 500;

    CScanView(CLanveyDoc& doc, HostProbe& probe, ViewHost* host, QWidget* parent = nullptr);
    ~CScanView() override;

    // Start, or resume a paused scan: the target from the frame's box, the worker count
    // from the "Threads" setting.
    ScanStartResult OnScanStart();
    void OnScanPause();
    void OnScanStop();

    bool OnCommand(int id) override;
    std::optional<bool> IsCommandEnabled(int id) override;
    QString PrintTitle() const override;

    CScanJob& Job() { return m_job; }
    bool IsProgressTimerActive() const { return m_timer.isActive(); }

    // ScanJobView
    void SetStatusText(const QString& text) override;
    void StartProgressTimer() override;
    void KillProgressTimer() override;
    void SetRowCount(int rows) override;
    int RowCount() const override;

    // ScanEventSink, called on worker threads.
    void HostAdded() override;
    void WorkerDone(int slot) override;

signals:
    // A scan ended: the completion step has run.
    void scanCompleted();

protected:
    void OnSort(int column, bool ascending) override;
    std::vector<int> ContextMenuItems() const override;
    int ContextMenuDefaultItem() const override;
    QString ContextMenuText(int id) const override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void OnEditDelete();
    bool FocusedRowDiffers() const;
    void OnShowDifferentDetails();
    void OnHostsAdded();

    CScanListModel* m_pModel;
    QTimer m_timer;
    // Set by the first worker that stores a host after the last count update; that
    // worker queues the update, and every host stored before it runs is counted in it.
    std::atomic<bool> m_bHostsPending{false};
    // Last, so that it goes first: its destruction waits for the workers, which may
    // still queue notifications to this view.
    CScanJob m_job;
};
