#pragma once

#include "records/HostRecord.h"
#include "scan/ScanJob.h"
#include "ui/lists/CScanListModel.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

class CLanveyDoc;
class HostProbe;

// One scan at a time between the engine and the list: it owns the scan job and the scan
// list's model, is the only sink of the workers, and starts a scan from the target text
// it is handed. Worker notifications reach the UI thread through one queued hand-off:
// the first notification after a drain queues the next drain, which handles every host
// stored and every worker ended since, hosts first, so each worker's end still comes
// after its hosts. The list widget only shows the model.
class CScanSession final : public QObject, public ScanJobView, public ScanEventSink
{
    Q_OBJECT

public:
    static constexpr int kScanTimerMs = 500;
    // New rows go into the list at most once a frame: a burst of hosts found is one
    // insert and one repaint, not one each.
    static constexpr int kRowFrameMs = 16;

    CScanSession(CLanveyDoc& doc, HostProbe& probe, QObject* parent = nullptr);
    ~CScanSession() override;

    // Start, or resume a paused scan. `target` is the target box's text (nullopt when
    // there is no box or it has no entries); the worker count comes from "Threads".
    ScanStartResult Start(const std::optional<QString>& target);
    void Pause();
    void Stop();

    CScanJob& Job() { return m_job; }
    const CScanJob& Job() const { return m_job; }
    CScanListModel& Model() { return m_model; }
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
    void statusTextChanged(const QString& text);
    // The list shows `rows` rows now.
    void rowCountChanged(int rows);
    // Start, pause, stop or an ended worker changed what the scan commands may do.
    void scanStateChanged();
    // Workers of a new scan run (not sent for a resume).
    void scanStarted();
    // A scan ended: the completion step has run.
    void scanCompleted();
    // The hosts a scan found, when it ended; `range` (first and last address, host byte
    // order) when it went through its range to the end.
    void scanFound(const std::vector<HostRecord>& found,
                   std::optional<std::pair<quint32, quint32>> range);

private:
    void Drain();
    // The hosts of the scan that has just ended are sightings; a scan that ran to its
    // end also tells which known hosts of its range are missing.
    void RecordSightings();

    CScanListModel m_model;
    HostProbe& m_probe;
    // What the status adds while a gentle scan runs; empty otherwise.
    QString m_strRateNote;
    QTimer m_timer;
    QTimer m_rowTimer;         // the frame's end, when rows wait for it
    QElapsedTimer m_sinceRows; // since rows last went in
    // Workers run below the UI thread's priority and may lose the processor at any point:
    // the UI thread never waits for a lock a worker holds across a post or a wake.
    std::atomic<bool> m_bDrainQueued{false};
    std::atomic<bool> m_bHostsPending{false};
    std::mutex m_doneMutex;
    std::vector<int> m_doneSlots; // under m_doneMutex
    // The range the scan started on (host byte order), and whether Stop cut it short.
    std::optional<std::pair<quint32, quint32>> m_range;
    bool m_bStopped = false;
    bool m_bHistoryFailureShown = false;
    // Last, so that it goes first: its destruction waits for the workers, which may still
    // hand notifications to this session.
    CScanJob m_job;
};
