#pragma once

#include "records/LanveyDoc.h"
#include "scan/HostProbe.h"
#include "scan/ScanJob.h"
#include "support/AddressText.h"

#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

// A probe that answers from a rule instead of the network, and counts how often each
// address was asked. Addresses are counted relative to `base` (host order).
class StandInProbe final : public HostProbe
{
public:
    StandInProbe(quint32 base, size_t span) : m_base(base), m_calls(span) {}

    bool ResolveMacAddress(quint32 address, quint64* mac) override
    {
        const quint32 offset = address - m_base;
        if (offset < m_calls.size())
            m_calls[offset].fetch_add(1);
        else
            outside.fetch_add(1);
        if (beforeAnswer)
            beforeAnswer(address);
        if (!answers(address))
            return false;
        *mac = kMacTopBits | 0x0000020000000000ull | address;
        return true;
    }

    int QueryNetBiosNames(ProbeResult& probe) override
    {
        netbiosQueries.fetch_add(1);
        probe.hostName = QStringLiteral("H%1").arg(IpToHostOrder(probe.ip));
        probe.workgroup = QStringLiteral("WG");
        return 0;
    }

    void ScanStarting(UpcomingAddressesFn upcoming) override
    {
        scansStarted.fetch_add(1);
        m_upcoming = std::move(upcoming);
    }
    void ScanStopping() override { scansStopping.fetch_add(1); }
    void SetSendRate(int requestsPerSecond) override { sendRate = requestsPerSecond; }
    void ScanEnded() override
    {
        scansEnded.fetch_add(1);
        m_upcoming = nullptr;
    }

    int CallsFor(quint32 address) const { return m_calls[address - m_base].load(); }

    std::function<bool(quint32)> answers = [](quint32) { return true; };
    std::atomic<int> sendRate{-1}; // what SetSendRate was last told
    std::function<void(quint32)> beforeAnswer;
    std::atomic<int> outside{0};
    std::atomic<int> netbiosQueries{0};
    std::atomic<int> scansStarted{0};
    std::atomic<int> scansEnded{0};
    std::atomic<int> scansStopping{0};

private:
    quint32 m_base;
    std::vector<std::atomic<int>> m_calls;
    UpcomingAddressesFn m_upcoming;
};

// The workers' notifications queued for the test thread, which hands them to the job
// the way the window's event loop does.
class QueuedSink final : public ScanEventSink
{
public:
    struct Event {
        bool workerDone = false;
        int slot = -1;
    };

    void HostAdded() override { Push({false, -1}); }
    void WorkerDone(int slot) override { Push({true, slot}); }

    // Next event, or false after `timeoutMs` without one.
    bool Pop(Event* event, int timeoutMs)
    {
        std::unique_lock lock(m_mutex);
        if (!m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return !m_events.empty(); }))
            return false;
        *event = m_events.front();
        m_events.pop_front();
        return true;
    }

private:
    void Push(Event event)
    {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(event);
        }
        m_arrived.notify_one();
    }

    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<Event> m_events;
};

// The owner's side: records the status texts, the timer and the row count.
class RecordingView final : public ScanJobView
{
public:
    void SetStatusText(const QString& text) override { statusTexts << text; }
    void StartProgressTimer() override { timerRunning = true; }
    void KillProgressTimer() override { timerRunning = false; }
    void SetRowCount(int rows) override { rowCount = rows; }
    int RowCount() const override { return rowCount; }

    QStringList statusTexts;
    bool timerRunning = false;
    int rowCount = 0;
};

// Hands queued notifications to the job until it completes; counts what it handled.
struct PumpResult {
    int hostsAdded = 0;
    int workersDone = 0;
    int completions = 0;
    bool hostAddedAfterCompletion = false;
    std::vector<int> slotsDone;
};

inline PumpResult PumpUntilComplete(CScanJob& job, QueuedSink& sink, int quietMs = 20000)
{
    PumpResult result;
    QueuedSink::Event event;
    while (sink.Pop(&event, quietMs)) {
        if (event.workerDone) {
            ++result.workersDone;
            result.slotsDone.push_back(event.slot);
            if (job.OnWorkerDone(event.slot)) {
                ++result.completions;
                break;
            }
        } else {
            ++result.hostsAdded;
            job.OnHostAdded();
        }
    }
    // Anything that still arrives belongs to this scan too and must not complete it again.
    while (sink.Pop(&event, 50)) {
        if (event.workerDone) {
            ++result.workersDone;
            if (job.OnWorkerDone(event.slot))
                ++result.completions;
        } else {
            result.hostAddedAfterCompletion = true;
        }
    }
    return result;
}

// Workers held inside the probe until the test lets them go.
struct ProbeGate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int waiting = 0;

    void Hold()
    {
        std::unique_lock lock(mutex);
        ++waiting;
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
    }
    bool WaitForHeld(int count)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] { return waiting >= count; });
    }
    int Waiting()
    {
        std::lock_guard lock(mutex);
        return waiting;
    }
    // Closed again with nobody held, for the next scan of a test.
    void Reset()
    {
        std::lock_guard lock(mutex);
        open = false;
        waiting = 0;
    }
    void Open()
    {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};
