#include "ui/lists/CScanSession.h"

#include "app/ProfileSettings.h"

#include <QMetaObject>

CScanSession::CScanSession(CLanveyDoc& doc, HostProbe& probe, QObject* parent)
    : QObject(parent), m_model(doc, this), m_job(doc, probe, *this, *this)
{
    m_timer.setInterval(kScanTimerMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_job.OnTimer(); });
}

CScanSession::~CScanSession() = default;

ScanStartResult CScanSession::Start(const std::optional<QString>& target)
{
    const int threads = GetProfileInt(QStringLiteral("Threads"), kDefaultScanThreads);
    const ScanStartResult result = m_job.Start(target, static_cast<quint32>(threads));
    // Workers of a new scan run (a thread failure may still leave some).
    if (result != ScanStartResult::Resumed && m_job.IsScanning())
        emit scanStarted();
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
    m_job.Stop();
    emit scanStateChanged();
}

void CScanSession::SetStatusText(const QString& text)
{
    emit statusTextChanged(text);
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
    std::lock_guard lock(m_pendingMutex);
    m_bHostsPending = true;
    if (!std::exchange(m_bDrainQueued, true))
        QMetaObject::invokeMethod(this, &CScanSession::Drain, Qt::QueuedConnection);
}

void CScanSession::WorkerDone(int slot)
{
    std::lock_guard lock(m_pendingMutex);
    m_doneSlots.push_back(slot);
    if (!std::exchange(m_bDrainQueued, true))
        QMetaObject::invokeMethod(this, &CScanSession::Drain, Qt::QueuedConnection);
}

void CScanSession::Drain()
{
    bool hosts = false;
    std::vector<int> done;
    {
        // Taken before the count is read: a host stored after this point queues again.
        std::lock_guard lock(m_pendingMutex);
        m_bDrainQueued = false;
        hosts = std::exchange(m_bHostsPending, false);
        done.swap(m_doneSlots);
    }
    if (hosts)
        m_job.OnHostAdded();
    bool completed = false;
    for (int slot : done)
        completed = m_job.OnWorkerDone(slot) || completed;
    if (!done.empty())
        emit scanStateChanged();
    if (completed)
        emit scanCompleted();
}
