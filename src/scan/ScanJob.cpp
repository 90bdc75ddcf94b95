#include "scan/ScanJob.h"

#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "records/LanveyDoc.h"
#include "records/RecordLock.h"
#include "scan/ArpConflicts.h"
#include "scan/ScanJobTesting.h"
#include "scan/ScanProgress.h"
#include "scan/ScanTarget.h"
#include "support/AddressText.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

ScanRange g_scanRange;
std::mutex g_scanRangeMutex;
ManualResetEvent g_hPauseScanEvent("PauseScan", true);
ManualResetEvent g_hCancelScanEvent("CancelScan", false);
int g_nScanThreads = kDefaultScanThreads;
int g_scanThreadCreateLimitForTests = -1;

namespace
{

// Set by a worker as its very last act, so that waits from outside know it is gone.
std::mutex g_workerEndMutex;
std::condition_variable g_workerEnded;

struct WorkerState {
    bool announced = false; // its WorkerDone is on its way to the owner
    bool ended = false;
};

struct WorkerSlot {
    std::thread thread;
    std::shared_ptr<WorkerState> state;

    bool InUse() const { return thread.joinable(); }
    bool Ended() const
    {
        std::lock_guard lock(g_workerEndMutex);
        return state->ended;
    }
    bool Announced() const
    {
        std::lock_guard lock(g_workerEndMutex);
        return state->announced;
    }
};

// The worker table. Only the owner's thread touches it. A slot given up while its
// worker still runs (a close request) keeps the thread among the retired ones, so that
// every later wait still waits for it and nothing outlives the records it appends to.
struct ScanThreadTable {
    std::array<WorkerSlot, kScanThreadSlots> entries;
    std::vector<WorkerSlot> retired;

    ~ScanThreadTable()
    {
        // At exit a worker that did not end in time goes down with the process.
        for (WorkerSlot& slot : entries)
            if (slot.InUse())
                slot.thread.detach();
        for (WorkerSlot& slot : retired)
            if (slot.InUse())
                slot.thread.detach();
    }

    // Empties the slot. A worker that has announced its end (or has ended) is joined,
    // which takes no time; one that still runs is retired.
    void Close(int index, bool workerAnnouncedEnd)
    {
        WorkerSlot& slot = entries[size_t(index)];
        if (!slot.InUse())
            return;
        if (workerAnnouncedEnd || slot.Ended())
            slot.thread.join();
        else
            retired.push_back(std::move(slot));
        slot = {};
    }

    void CloseAll()
    {
        for (int i = 0; i < kScanThreadSlots; ++i)
            Close(i, false);
    }

    void JoinEndedRetired()
    {
        std::erase_if(retired, [](WorkerSlot& slot) {
            if (!slot.Ended())
                return false;
            slot.thread.join();
            return true;
        });
    }

    bool AllEnded() const
    {
        // Called with g_workerEndMutex held.
        for (const WorkerSlot& slot : entries)
            if (slot.InUse() && !slot.state->ended)
                return false;
        for (const WorkerSlot& slot : retired)
            if (!slot.state->ended)
                return false;
        return true;
    }
};

ScanThreadTable g_hScanThreads;

} // namespace

int ScanThreadCount(quint32 threadsSetting)
{
    if (threadsSetting > quint32(kScanThreadSlots))
        return kScanThreadSlots;
    return threadsSetting == 0 ? 1 : int(threadsSetting);
}

bool AnyScanThreadSlotInUse()
{
    for (const WorkerSlot& slot : g_hScanThreads.entries)
        if (slot.InUse())
            return true;
    return false;
}

namespace
{

// The cursor as the probe's pacing thread reads it: `next` in the high half, `last` in
// the low half, kNoUpcoming once the range is used up. Written with g_scanRangeMutex held,
// wherever the cursor moves; read without a lock, since the UI thread may hold locks in
// a dialog's event loop while it ends the scan and waits for the pacing thread.
constexpr quint64 kNoUpcoming = ~quint64(0);

// Counts the scans started; each worker knows its own scan's. Written under g_recordLock
// and g_scanRangeMutex both, so read under either.
quint64 g_scanSerial = 0;
std::atomic<quint64> g_upcoming{kNoUpcoming};

void PublishCursor()
{
    g_upcoming.store(g_scanRange.exhausted || g_scanRange.next > g_scanRange.last
                         ? kNoUpcoming
                         : quint64(g_scanRange.next) << 32 | g_scanRange.last);
}

} // namespace

std::optional<UpcomingAddresses> UpcomingScanAddresses()
{
    if (g_hCancelScanEvent.IsSet())
        return std::nullopt;
    const quint64 upcoming = g_upcoming.load();
    if (upcoming == kNoUpcoming)
        return std::nullopt;
    return UpcomingAddresses{quint32(upcoming >> 32), quint32(upcoming)};
}

void ScanWorkerProc(CScanJob* job, int slot, quint64 scan, const std::function<void()>& announceEnd)
{
    CLanveyDoc& doc = job->Document();
    HostProbe& hostProbe = job->Probe();
    ScanEventSink& sink = job->Sink();
    ProbeResult probe;
    hostProbe.WorkerStarting();

    while (!g_hCancelScanEvent.IsSet()) {
        probe.hostName.clear();
        probe.workgroup.clear();
        probe.otherNames.clear();
        probe.ipv6.clear();
        probe.netBiosMac = 0;
        probe.mac = 0;

        quint32 address = 0;
        {
            std::lock_guard guard(g_scanRangeMutex);
            // A worker of an earlier scan (retired, still running) takes nothing of this one.
            if (scan != g_scanSerial || g_scanRange.exhausted ||
                g_scanRange.next > g_scanRange.last)
                break;
            address = g_scanRange.next;
            // The cursor never wraps: the range may end at 255.255.255.255.
            if (address == g_scanRange.last)
                g_scanRange.exhausted = true;
            ++g_scanRange.next;
            PublishCursor();
        }

        quint64 mac = 0;
        if (!hostProbe.ResolveMacAddress(address, &mac))
            continue;
        probe.ip = IpFromHostOrder(address);
        probe.mac = mac;
        hostProbe.QueryHostNames(probe);

        g_hPauseScanEvent.Wait();

        auto record = std::make_unique<HostRecord>();
        record->ip = probe.ip;
        record->mac = probe.mac;
        record->otherNames = std::move(probe.otherNames);
        record->ipv6 = std::move(probe.ipv6);
        record->netBiosMac = probe.netBiosMac;
        // A second answer that came by now; later ones are looked for when the scan ends.
        record->conflictMac = g_arpConflicts.OtherMac(address, mac);
        {
            std::lock_guard guard(g_recordLock);
            // Its scan is over and another one lists its own hosts.
            if (scan != g_scanSerial)
                break;
            HostRecord* stored = record.get();
            doc.AppendScanRecord(std::move(record));
            stored->hostName = probe.hostName;
            stored->workgroup = probe.workgroup;
            stored->resolved = 1;
        }
        sink.HostAdded();
    }
    // The probe's own work for the scan (its IPv6 echoes) may want a moment more: the
    // worker waits for it here, so that the owner's completion step never does.
    hostProbe.WorkerEnding();
    if (announceEnd)
        announceEnd();
    sink.WorkerDone(slot);
}

CScanJob::CScanJob(CLanveyDoc& doc, HostProbe& probe, ScanEventSink& sink, ScanJobView& view)
    : m_doc(doc), m_probe(probe), m_sink(sink), m_view(view)
{
    m_doc.SetScanShutdown([this] { ShutdownForDocument(); });
}

CScanJob::~CScanJob()
{
    m_doc.SetScanShutdown({});
    // The workers use this job; none may outlive it if waiting can help it.
    if (!ShutdownForDestroy())
        ShutdownForDocument();
    g_hScanThreads.CloseAll();
    EndProbeScan();
}

ScanStartResult CScanJob::Start(const std::optional<QString>& target, quint32 threadsSetting)
{
    // Start while paused is a resume: the list and the cursor stay as they are.
    if (!g_hPauseScanEvent.IsSet()) {
        g_hPauseScanEvent.Set();
        m_bPaused = false;
        m_view.StartProgressTimer();
        return ScanStartResult::Resumed;
    }
    // The commands never start a second scan over a running one; its workers would
    // append to the new list.
    if (m_bScanning)
        return ScanStartResult::Abandoned;

    QString targetError;
    quint32 rangeFirst = 0, rangeLast = 0;
    quint64 scan = 0;
    {
        std::lock_guard guard(g_recordLock);
        std::lock_guard rangeGuard(g_scanRangeMutex);
        scan = ++g_scanSerial;
        m_bScanning = true;
        m_bPaused = false;
        m_view.SetRowCount(0);
        m_doc.ClearScanRecords();
        g_nScanThreads = ScanThreadCount(threadsSetting);

        // No target box, or one without entries: nothing to say. Any text, even an
        // empty one, goes through the parser and its messages.
        const ParsedScanTarget parsed =
            target ? ParseScanTarget(NormalizeScanTarget(*target)) : ParsedScanTarget{};
        if (!target || !parsed.Ok()) {
            m_bScanning = false;
            targetError = parsed.error;
        } else {
            g_scanRange.first = IpToHostOrder(parsed.range.first);
            g_scanRange.next = g_scanRange.first;
            g_scanRange.last = g_scanRange.first + parsed.range.count;
            g_scanRange.exhausted = false;
            PublishCursor();
            rangeFirst = g_scanRange.first;
            rangeLast = g_scanRange.last;
        }
    }
    if (!m_bScanning) {
        // Shown once the lock is free: workers of no scan wait on it, but a box that holds
        // it would still stall everything else that takes it.
        if (!targetError.isEmpty())
            ShowErrorMessage(targetError);
        return ScanStartResult::Abandoned;
    }

    g_hPauseScanEvent.Set();
    g_hCancelScanEvent.Reset();

    g_hScanThreads.JoinEndedRetired();
    g_arpConflicts.Reset(rangeFirst, rangeLast);
    m_probe.ScanStarting(UpcomingScanAddresses);
    m_probeScanActive = true;

    for (int i = 0; i < kScanThreadSlots; ++i) {
        g_hScanThreads.Close(i, false);
        if (i >= g_nScanThreads)
            continue;
        try {
            if (g_scanThreadCreateLimitForTests >= 0 && i >= g_scanThreadCreateLimitForTests)
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            WorkerSlot& slot = g_hScanThreads.entries[size_t(i)];
            auto state = std::make_shared<WorkerState>();
            slot.thread = std::thread([this, i, state, scan] {
                ScanWorkerProc(this, i, scan, [&state] {
                    std::lock_guard lock(g_workerEndMutex);
                    state->announced = true;
                });
                {
                    std::lock_guard lock(g_workerEndMutex);
                    state->ended = true;
                }
                g_workerEnded.notify_all();
            });
            slot.state = std::move(state);
        } catch (const std::system_error&) {
            ShowErrorMessage(
                FormatLangString(142, QStringLiteral("Fatal error: can't create work thread!")));
            if (i == 0) {
                // Without a single worker no notification would ever end the scan.
                m_bScanning = false;
                EndProbeScan();
            }
            return ScanStartResult::ThreadFailure;
        }
    }

    m_view.StartProgressTimer();
    return ScanStartResult::Started;
}

void CScanJob::Pause()
{
    m_bPaused = true;
    m_view.KillProgressTimer();
    if (g_hCancelScanEvent.IsSet())
        return;
    g_hPauseScanEvent.Reset();
    m_view.SetStatusText(ScanPausedText(ReadScanRange()));
}

void CScanJob::Stop()
{
    // Paused workers must run on to see the cancel.
    g_hCancelScanEvent.Set();
    g_hPauseScanEvent.Set();
    StopProbeWaits();
    m_view.KillProgressTimer();
    m_view.SetStatusText(ScanStoppingText());
}

void CScanJob::StopProbeWaits()
{
    // Workers waiting for a verdict give up at once instead of at their deadline.
    if (m_probeScanActive)
        m_probe.ScanStopping();
}

void CScanJob::OnTimer()
{
    m_view.SetStatusText(ScanTimerText(ReadScanRange()));
}

void CScanJob::OnHostAdded()
{
    std::lock_guard guard(g_recordLock);
    m_view.SetRowCount(m_doc.GetScanRecordCount());
}

bool CScanJob::OnWorkerDone(int slot)
{
    if (slot >= 0 && slot < kScanThreadSlots) {
        // The end of a retired worker whose slot a later scan's worker holds now: that one
        // has said nothing yet, and joining it would wait for its whole run.
        const WorkerSlot& entry = g_hScanThreads.entries[size_t(slot)];
        if (entry.InUse() && !entry.Announced())
            return false;
        g_hScanThreads.Close(slot, true);
    }
    if (AnyScanThreadSlotInUse() || !m_bScanning)
        return false;
    Complete();
    return true;
}

void CScanJob::Complete()
{
    m_view.KillProgressTimer();
    m_bScanning = false;
    // A scan whose last worker ended while it was paused is over all the same: the gate
    // opens, so that the next Start is a new scan and not the resume of this one.
    m_bPaused = false;
    g_hPauseScanEvent.Set();
    NoteLateConflicts();
    JoinIpv6Addresses();
    EndProbeScan();
    m_view.SetStatusText(ScanFoundText(m_view.RowCount()));
}

void CScanJob::NoteLateConflicts()
{
    // A second host may answer after the worker stored the first one's record.
    std::lock_guard guard(g_recordLock);
    for (int i = 0; i < m_doc.GetScanRecordCount(); ++i) {
        HostRecord* record = m_doc.GetScanRecord(i);
        if (record && record->conflictMac == 0)
            record->conflictMac = g_arpConflicts.OtherMac(IpToHostOrder(record->ip), record->mac);
    }
}

std::vector<Ipv6Sighting> JoinIpv6ByMac(const std::vector<HostRecord*>& records,
                                        const std::vector<Ipv6Sighting>& sightings)
{
    std::vector<Ipv6Sighting> unmatched;
    for (const Ipv6Sighting& seen : sightings) {
        bool matched = false;
        for (HostRecord* record : records)
            if (record->mac == seen.mac) {
                AddIpv6Address(record->ipv6, seen.address);
                matched = true;
            }
        if (!matched && std::find(unmatched.begin(), unmatched.end(), seen) == unmatched.end())
            unmatched.push_back(seen);
    }
    return unmatched;
}

void CScanJob::JoinIpv6Addresses()
{
    m_ipv6Only.clear();
    if (!m_probeScanActive)
        return;
    const std::vector<Ipv6Sighting> sightings = m_probe.Ipv6Sightings();
    if (sightings.empty())
        return;
    std::lock_guard guard(g_recordLock);
    std::vector<HostRecord*> records;
    for (int i = 0; i < m_doc.GetScanRecordCount(); ++i)
        if (HostRecord* record = m_doc.GetScanRecord(i))
            records.push_back(record);
    m_ipv6Only = JoinIpv6ByMac(records, sightings);
    if (!m_probe.Ipv6SweptWholeLinks())
        m_ipv6Only.clear();
}

void CScanJob::EndProbeScan()
{
    if (!m_probeScanActive)
        return;
    m_probeScanActive = false;
    m_probe.ScanEnded();
}

bool CScanJob::WaitForWorkers(std::chrono::milliseconds limit)
{
    std::unique_lock lock(g_workerEndMutex);
    return g_workerEnded.wait_for(lock, limit, [] { return g_hScanThreads.AllEnded(); });
}

bool CScanJob::ShutdownForDocument()
{
    g_hPauseScanEvent.Set();
    g_hCancelScanEvent.Set();
    StopProbeWaits();
    const bool ended = WaitForWorkers(std::chrono::milliseconds(50000));
    {
        std::lock_guard guard(g_recordLock);
        g_hScanThreads.CloseAll();
        g_hScanThreads.JoinEndedRetired();
    }
    return ended;
}

bool CScanJob::ShutdownForDestroy()
{
    g_hPauseScanEvent.Set();
    g_hCancelScanEvent.Set();
    StopProbeWaits();
    return WaitForWorkers(std::chrono::milliseconds(10000));
}

void CScanJob::CloseRequest()
{
    g_hCancelScanEvent.Set();
    g_hPauseScanEvent.Set();
    StopProbeWaits();
    std::lock_guard guard(g_recordLock);
    g_hScanThreads.CloseAll();
}

bool CScanJob::CanStart() const
{
    return !g_hPauseScanEvent.IsSet() || !m_bScanning;
}

bool CScanJob::CanPause() const
{
    return !g_hCancelScanEvent.IsSet() && g_hPauseScanEvent.IsSet() && AnyScanThreadSlotInUse();
}
