#pragma once

#include "scan/HostProbe.h"
#include "scan/ManualResetEvent.h"
#include "scan/ScanRange.h"

#include <QString>
#include <QtGlobal>
#include <chrono>
#include <functional>
#include <optional>

class CLanveyDoc;
struct HostRecord;

// The run gate ("PauseScan": set means run, reset means paused) and the stop signal
// ("CancelScan": set means stop) that every worker watches.
extern ManualResetEvent g_hPauseScanEvent;
extern ManualResetEvent g_hCancelScanEvent;

inline constexpr int kScanThreadSlots = 100;
inline constexpr int kDefaultScanThreads = 20;

// Workers of the current scan, 1 to 100.
extern int g_nScanThreads;

// The "Threads" setting as a worker count: above 100 (compared unsigned, so a negative
// stored value too) means 100, and 0 means 1 so that a start always has a worker.
int ScanThreadCount(quint32 threadsSetting);

// How the workers reach their owner. Both are called on a worker thread; the owner
// decides how they get to its own thread, and must keep each worker's calls in order:
// a worker's WorkerDone is its last call, after every HostAdded of that worker.
class ScanEventSink
{
public:
    virtual ~ScanEventSink() = default;
    // A host has been appended to the scan list (with its names).
    virtual void HostAdded() = 0;
    // The worker in `slot` ends, whatever ended it.
    virtual void WorkerDone(int slot) = 0;
};

// The owner's side of the job, called on the owner's thread only.
class ScanJobView
{
public:
    virtual ~ScanJobView() = default;
    // The status pane text.
    virtual void SetStatusText(const QString& text) = 0;
    // The 500 ms progress timer; each tick the owner calls CScanJob::OnTimer.
    virtual void StartProgressTimer() = 0;
    virtual void KillProgressTimer() = 0;
    // The number of rows the list shows; the records themselves stay in the document.
    virtual void SetRowCount(int rows) = 0;
    virtual int RowCount() const = 0;
};

enum class ScanStartResult {
    Started,       // workers are running
    Resumed,       // a paused scan goes on
    Abandoned,     // no target, an invalid one (its message has been shown) or a scan in course
    ThreadFailure, // some workers could not be created; those that were carry on
};

// One scan at a time: start, pause, resume, stop, the handling of the workers'
// notifications, the completion step and the three ways of ending workers from outside.
// Every member runs on the owner's thread.
class CScanJob
{
public:
    CScanJob(CLanveyDoc& doc, HostProbe& probe, ScanEventSink& sink, ScanJobView& view);
    ~CScanJob();
    CScanJob(const CScanJob&) = delete;
    CScanJob& operator=(const CScanJob&) = delete;

    // Start, or resume when paused. `target` is the text of the target box (nullopt when
    // there is no box or it is empty); `threadsSetting` the stored "Threads" value.
    ScanStartResult Start(const std::optional<QString>& target,
                          quint32 threadsSetting = kDefaultScanThreads);
    void Pause();
    void Stop();

    // The progress timer's tick: the progress or "Resolving Host Name..." text.
    void OnTimer();

    // The owner's handling of the two notifications. OnWorkerDone returns true when it
    // ran the completion step (once per scan, after the last worker).
    void OnHostAdded();
    bool OnWorkerDone(int slot);

    // Ending workers from outside. The document's clean-up waits at most 50 s, the
    // destruction of the owner at most 10 s; both return true when every worker ended
    // in time. A close request only wakes and cancels them and gives up their slots.
    bool ShutdownForDocument();
    bool ShutdownForDestroy();
    void CloseRequest();

    // The IPv6 addresses of the last completed scan whose MAC no row has: hosts that
    // answered only over IPv6 (the lists are IPv4 lists).
    const std::vector<Ipv6Sighting>& Ipv6OnlyHosts() const { return m_ipv6Only; }

    bool IsScanning() const { return m_bScanning; }
    bool IsPaused() const { return m_bPaused; }

    // Command enabling.
    bool CanStart() const;
    bool CanPause() const;
    bool CanStop() const { return m_bScanning; }

    CLanveyDoc& Document() const { return m_doc; }
    HostProbe& Probe() const { return m_probe; }
    ScanEventSink& Sink() const { return m_sink; }

private:
    void Complete();
    void NoteLateConflicts();
    void JoinIpv6Addresses();
    void EndProbeScan();
    void StopProbeWaits();
    bool WaitForWorkers(std::chrono::milliseconds limit);

    CLanveyDoc& m_doc;
    HostProbe& m_probe;
    ScanEventSink& m_sink;
    ScanJobView& m_view;
    bool m_bScanning = false;
    bool m_bPaused = false;
    bool m_probeScanActive = false;
    std::vector<Ipv6Sighting> m_ipv6Only;
};

// Gives each record every sighted address whose MAC is the record's MAC; returns the
// sightings whose MAC no record has.
std::vector<Ipv6Sighting> JoinIpv6ByMac(const std::vector<HostRecord*>& records,
                                        const std::vector<Ipv6Sighting>& sightings);

// True while any slot of the worker table holds a thread.
bool AnyScanThreadSlotInUse();

// The worker routine of the scan numbered `scan`; `job` outlives the worker. It stops when
// another scan has started, and calls `announceEnd` right before its WorkerDone.
void ScanWorkerProc(CScanJob* job, int slot, quint64 scan,
                    const std::function<void()>& announceEnd = {});

// Addresses the cursor will hand out next, as the resolver may look ahead at them. Never
// waits for g_recordLock, so a thread that asks can always be joined by one that holds it.
std::optional<UpcomingAddresses> UpcomingScanAddresses();
