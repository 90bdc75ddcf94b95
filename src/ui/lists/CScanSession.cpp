#include "ui/lists/CScanSession.h"

#include "app/ProfileSettings.h"
#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "records/LanveyDoc.h"
#include "records/RecordLock.h"
#include "scan/ScanTarget.h"
#include "support/AddressText.h"

#include <QDateTime>
#include <QMetaObject>

CScanSession::CScanSession(CLanveyDoc& doc, HostProbe& probe, QObject* parent)
    : QObject(parent), m_model(doc, this), m_probe(probe), m_job(doc, probe, *this, *this)
{
    m_timer.setInterval(kScanTimerMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_job.OnTimer(); });
    m_rowTimer.setSingleShot(true);
    connect(&m_rowTimer, &QTimer::timeout, this, &CScanSession::Drain);
}

CScanSession::~CScanSession() = default;

ScanStartResult CScanSession::Start(const std::optional<QString>& target)
{
    const int threads = GetProfileInt(QStringLiteral("Threads"), kDefaultScanThreads);
    const int rate = StoredSendRate();
    if (!m_job.IsScanning()) // a resume keeps the rate it started with
        m_probe.SetSendRate(rate);
    const ScanStartResult result = m_job.Start(target, static_cast<quint32>(threads));
    // Workers of a new scan run (a thread failure may still leave some).
    if (result != ScanStartResult::Resumed && m_job.IsScanning()) {
        m_bStopped = false;
        m_range.reset();
        if (const ParsedScanTarget parsed =
                ParseScanTarget(NormalizeScanTarget(target.value_or(QString())));
            parsed.Ok()) {
            const quint32 first = IpToHostOrder(parsed.range.first);
            m_range = std::pair(first, first + parsed.range.count);
        }
        // A gentle scan is slow on purpose: the status says so, and how long it takes
        // (every address asked twice unless it answers).
        m_strRateNote.clear();
        if (m_range && StoredSendRateMode() == SendRateMode::Gentle)
            m_strRateNote = FormatLangStringA(
                0xF330, "Gentle: %d_RATE% ARP requests a second, about %d_SECONDS% s in all.",
                {rate, int((quint64(m_range->second - m_range->first) + 1) * 2 / quint64(rate))});
        emit scanStarted();
    }
    emit scanStateChanged();
    return result;
}

void CScanSession::Pause()
{
    m_job.Pause();
    emit scanStateChanged();
}

void CScanSession::Stop()
{
    m_bStopped = m_bStopped || m_job.IsScanning();
    m_job.Stop();
    emit scanStateChanged();
}

void CScanSession::SetStatusText(const QString& text)
{
    emit statusTextChanged(m_job.IsScanning() && !m_strRateNote.isEmpty()
                               ? text + QStringLiteral("  ") + m_strRateNote
                               : text);
}

void CScanSession::StartProgressTimer()
{
    m_timer.start();
}

void CScanSession::KillProgressTimer()
{
    m_timer.stop();
}

void CScanSession::SetRowCount(int rows)
{
    m_model.SetItemCount(rows);
    emit rowCountChanged(rows);
}

int CScanSession::RowCount() const
{
    return m_model.ItemCount();
}

void CScanSession::HostAdded()
{
    m_bHostsPending = true;
    if (!m_bDrainQueued.exchange(true))
        QMetaObject::invokeMethod(this, &CScanSession::Drain, Qt::QueuedConnection);
}

void CScanSession::WorkerDone(int slot)
{
    {
        std::lock_guard lock(m_doneMutex);
        m_doneSlots.push_back(slot);
    }
    if (!m_bDrainQueued.exchange(true))
        QMetaObject::invokeMethod(this, &CScanSession::Drain, Qt::QueuedConnection);
}

void CScanSession::Drain()
{
    // Cleared before anything is read: a host or an end reported after this point
    // queues another drain.
    m_bDrainQueued = false;
    std::vector<int> done;
    {
        std::lock_guard lock(m_doneMutex);
        done.swap(m_doneSlots);
    }
    // Rows wait for the frame's end, unless a worker's end needs them now.
    const qint64 waitMs =
        m_sinceRows.isValid() && done.empty() ? kRowFrameMs - m_sinceRows.elapsed() : 0;
    bool hosts = false;
    if (m_bHostsPending && waitMs > 0) {
        if (!m_rowTimer.isActive())
            m_rowTimer.start(int(waitMs));
    } else {
        hosts = m_bHostsPending.exchange(false);
    }
    if (hosts) {
        m_rowTimer.stop();
        m_sinceRows.start();
        m_job.OnHostAdded();
    }
    bool completed = false;
    for (int slot : done)
        completed = m_job.OnWorkerDone(slot) || completed;
    if (!done.empty())
        emit scanStateChanged();
    if (completed) {
        // The completion gave the rows their IPv6 addresses.
        m_model.RefreshAll();
        RecordSightings();
        emit scanCompleted();
    }
}

void CScanSession::RecordSightings()
{
    std::vector<HostRecord> found;
    {
        std::lock_guard guard(g_recordLock);
        const int count = std::min(m_model.ItemCount(), m_job.Document().GetScanRecordCount());
        for (int i = 0; i < count; ++i)
            if (const HostRecord* record = m_job.Document().GetScanRecord(i))
                found.push_back(*record);
    }
    QString error;
    const bool complete = !m_bStopped && m_range;
    if (!m_job.Document().RecordScanSightings(found, QDateTime::currentMSecsSinceEpoch(),
                                              complete ? m_range : std::nullopt, &error) &&
        !std::exchange(m_bHistoryFailureShown, true))
        // Once a session: the history goes on in memory.
        CurrentMessagePrompt().Ask(HistoryNotSavedText(error), PromptButtons::Ok,
                                   PromptIcon::Warning);
    emit scanFound(found, complete ? m_range : std::nullopt);
}
