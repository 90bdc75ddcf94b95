#include "app/WatchSession.h"

#include "app/ProfileSettings.h"
#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "records/LanveyDoc.h"
#include "records/RecordExchange.h"
#include "scan/ScanTarget.h"
#include "scan/platform/ArpListener.h"
#include "support/AddressText.h"

#include <QDateTime>
#include <QProcess>
#include <algorithm>

namespace
{

qint64 NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// A sweep of even a /16 at the slowest rate ends well within this; one that does not is
// stuck, and the next interval tries again.
constexpr int kSweepTimeoutMs = 30 * 60 * 1000;
// What a sweep may print: its hosts as JSON, each bounded by the record's limits.
constexpr qint64 kMaxSweepOutput = 64ll * 1024 * 1024;

} // namespace

WatchSettings WatchSettings::Stored()
{
    WatchSettings settings;
    settings.intervalMinutes =
        std::clamp(GetProfileInt(QStringLiteral("WatchInterval"), settings.intervalMinutes),
                   kMinIntervalMinutes, kMaxIntervalMinutes);
    settings.rate =
        std::clamp(GetProfileInt(QStringLiteral("WatchRate"), settings.rate), kMinRate, kMaxRate);
    settings.goneAfter = std::clamp(
        GetProfileInt(QStringLiteral("WatchGoneAfter"), settings.goneAfter), 1, kMaxGoneAfter);
    settings.notify = GetProfileInt(QStringLiteral("WatchNotify"), 1) == 0
                          ? WatchNotifications::Choice::NewHostsOnly
                          : WatchNotifications::Choice::AllChanges;
    return settings;
}

void WatchSettings::Store() const
{
    WriteProfileInt(QStringLiteral("WatchInterval"), intervalMinutes);
    WriteProfileInt(QStringLiteral("WatchRate"), rate);
    WriteProfileInt(QStringLiteral("WatchGoneAfter"), goneAfter);
    WriteProfileInt(QStringLiteral("WatchNotify"),
                    notify == WatchNotifications::Choice::NewHostsOnly ? 0 : 1);
}

WatchSession::WatchSession(CLanveyDoc& doc, QString scanProgram, QObject* parent)
    : QObject(parent), m_doc(doc), m_scanProgram(std::move(scanProgram))
{
    m_sweepTimer.setSingleShot(true);
    connect(&m_sweepTimer, &QTimer::timeout, this, &WatchSession::SweepNow);
    m_notifyTimer.setSingleShot(true);
    connect(&m_notifyTimer, &QTimer::timeout, this, &WatchSession::Notify);
    m_commitTimer.setSingleShot(true);
    m_commitTimer.setInterval(kPassiveCommitMs);
    connect(&m_commitTimer, &QTimer::timeout, this, &WatchSession::CommitPassive);
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(kRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &WatchSession::Refresh);
}

WatchSession::~WatchSession()
{
    Stop();
}

bool WatchSession::Start(const QString& target, const WatchSettings& settings, QString* error)
{
    const QString normalized = NormalizeScanTarget(target);
    const ParsedScanTarget parsed = ParseScanTarget(normalized);
    if (!parsed.Ok()) {
        if (error)
            *error = parsed.error;
        return false;
    }
    Stop();
    m_target = normalized;
    m_first = IpToHostOrder(parsed.range.first);
    m_count = parsed.range.count;
    m_settings = settings;
    m_notifications.SetChoice(settings.notify);
    m_history = std::make_unique<WatchHistory>(settings.goneAfter);
    m_found.clear();
    m_hosts.clear();
    m_commitFailureShown = false;
    m_knownCount = -1;
    m_history->SetKnownHosts({[this](quint32 ip) -> std::optional<quint64> {
                                  const DatabaseRecord* record =
                                      m_doc.GetDatabaseRecord(m_doc.FindDatabaseRecordByIp(ip));
                                  return record ? std::optional<quint64>(record->mac | kMacTopBits)
                                                : std::nullopt;
                              },
                              [this](quint64 mac) -> std::optional<quint32> {
                                  RebuildKnownMacs();
                                  const auto found = m_knownIpOfMac.constFind(mac);
                                  return found == m_knownIpOfMac.constEnd()
                                             ? std::nullopt
                                             : std::optional<quint32>(found.value());
                              }});

    QString why;
    m_listener = ArpListener::Start(
        m_first,
        [this](quint32 ip, quint64 mac) {
            std::lock_guard guard(m_pendingMutex);
            if (m_pending.size() < kMaxPendingSightings)
                m_pending.emplace_back(ip, mac);
            if (!m_drainQueued) {
                m_drainQueued = true;
                QMetaObject::invokeMethod(this, &WatchSession::DrainSightings,
                                          Qt::QueuedConnection);
            }
        },
        &why);
    m_listenNote = m_listener ? QString()
                              : FormatLangStringA(0xF316,
                                                  "No passive listening (%s_ERROR%): the watch "
                                                  "sweeps only.",
                                                  {why});
    m_watching = true;
    emit watchingChanged(true);
    SweepNow();
    Refresh();
    return true;
}

void WatchSession::Stop()
{
    if (!m_watching)
        return;
    m_watching = false;
    m_listener.reset();
    m_sweepTimer.stop();
    m_sweepWaiting = false;
    if (m_process) {
        QProcess* process = m_process;
        m_process = nullptr;
        process->disconnect(this);
        process->kill();
        process->waitForFinished(2000);
        process->deleteLater();
    }
    DrainSightings();
    CommitPassive();
    Notify();
    // The hosts and events stay on show until the next watch.
    emit watchingChanged(false);
    Refresh();
}

void WatchSession::ApplySettings(const WatchSettings& settings)
{
    m_settings = settings;
    m_notifications.SetChoice(settings.notify);
    if (m_sweepTimer.isActive())
        m_sweepTimer.start(m_settings.intervalMinutes * 60 * 1000);
}

const std::deque<WatchEvent>& WatchSession::Events() const
{
    static const std::deque<WatchEvent> kNone;
    return m_history ? m_history->Events() : kNone;
}

bool WatchSession::Covered(quint32 ip) const
{
    return IpToHostOrder(ip) - m_first <= m_count;
}

void WatchSession::RebuildKnownMacs()
{
    const int count = m_doc.GetDatabaseRecordCount();
    if (count == m_knownCount)
        return;
    m_knownCount = count;
    m_knownIpOfMac.clear();
    for (int i = 0; i < count; ++i)
        if (const DatabaseRecord* record = m_doc.GetDatabaseRecord(i);
            record && !m_knownIpOfMac.contains(record->mac | kMacTopBits))
            m_knownIpOfMac.insert(record->mac | kMacTopBits, record->ip);
}

void WatchSession::SweepNow()
{
    m_sweepTimer.start(m_settings.intervalMinutes * 60 * 1000);
    if (m_process)
        return; // the last one still runs
    if (m_scanRunning) {
        m_sweepWaiting = true;
        emit statusText(FormatLangStringA(
            0xF315, "Watching %s_TARGET%: the sweep waits for the scan to end.", {m_target}));
        return;
    }
    RunSweep();
}

void WatchSession::RunSweep()
{
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    connect(m_process, &QProcess::finished, this, &WatchSession::OnSweepFinished);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            OnSweepFinished();
    });
    connect(m_process, &QProcess::readyReadStandardOutput, this, [this] {
        // A sweep that prints more than any target's hosts can fill is not ours to trust.
        if (m_process && m_process->bytesAvailable() > kMaxSweepOutput)
            m_process->kill();
    });
    m_sweepStarted = NowMs();
    m_history->BeginSweep();
    // Never faster than the window's own scans: a gentle or custom send rate caps it.
    const int scanRate = StoredSendRate();
    const int rate = scanRate > 0 ? std::min(m_settings.rate, scanRate) : m_settings.rate;
    QStringList arguments = {QStringLiteral("--format"), QStringLiteral("json"),
                             QStringLiteral("--rate"), QString::number(rate)};
    if (!m_doc.GetDatabasePath().isEmpty())
        arguments << QStringLiteral("--db") << m_doc.GetDatabasePath();
    arguments << m_target;
    emit statusText(FormatLangStringA(0xF313, "Watching %s_TARGET%: sweeping...", {m_target}));
    QTimer::singleShot(kSweepTimeoutMs, m_process, [process = m_process] { process->kill(); });
    m_process->start(m_scanProgram, arguments, QIODevice::ReadOnly);
}

void WatchSession::OnSweepFinished()
{
    QProcess* process = m_process;
    if (!process)
        return;
    m_process = nullptr;
    process->deleteLater();
    const QByteArray output = process->readAllStandardOutput();
    if (process->error() == QProcess::FailedToStart ||
        process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0) {
        QString why = QString::fromUtf8(process->readAllStandardError()).trimmed();
        if (why.isEmpty())
            why = process->errorString();
        // Nothing counts as missed by a sweep that did not run.
        emit statusText(FormatLangStringA(0xF317, "The sweep of %s_TARGET% failed: %s_ERROR%",
                                          {m_target, why.left(300)}));
        return;
    }
    std::vector<HostRecord> found;
    for (const ImportedRecord& imported : ReadRecords(output).records) {
        HostRecord host;
        host.ip = imported.record.ip;
        host.mac = imported.record.mac | kMacTopBits;
        host.hostName = imported.record.hostName;
        host.workgroup = imported.record.workgroup;
        host.otherNames = imported.record.otherNames;
        host.ipv6 = imported.record.ipv6;
        host.resolved = 1;
        if (Covered(host.ip))
            found.push_back(std::move(host));
    }
    TakeSweep(found, m_first, m_first + m_count, true);
}

void WatchSession::ScanStarted()
{
    m_scanRunning = true;
}

void WatchSession::ScanEnded(const std::vector<HostRecord>& found,
                             std::optional<std::pair<quint32, quint32>> range)
{
    m_scanRunning = false;
    if (!m_sweepWaiting || !m_watching)
        return;
    m_sweepWaiting = false;
    const quint32 first = range ? std::max(range->first, m_first) : 1;
    const quint32 last = range ? std::min(range->second, m_first + m_count) : 0;
    if (first > last) {
        RunSweep();
        return;
    }
    m_sweepStarted = NowMs();
    m_history->BeginSweep();
    std::vector<HostRecord> inRange;
    for (const HostRecord& host : found)
        if (Covered(host.ip))
            inRange.push_back(host);
    TakeSweep(inRange, first, last, false);
}

void WatchSession::TakeSweep(const std::vector<HostRecord>& found, quint32 first, quint32 last,
                             bool ownSweep)
{
    DrainSightings();
    std::vector<WatchEvent> events;
    for (const HostRecord& host : found) {
        m_found.insert({host.ip, host.mac}, host);
        const std::vector<WatchEvent> made = m_history->Sight(host.ip, host.mac, m_sweepStarted);
        events.insert(events.end(), made.begin(), made.end());
    }
    const std::vector<WatchEvent> ended = m_history->EndSweep(NowMs(), [first, last](quint32 ip) {
        const quint32 host = IpToHostOrder(ip);
        return host >= first && host <= last;
    });
    events.insert(events.end(), ended.begin(), ended.end());
    Took(events);

    QString error;
    const bool saved =
        ownSweep ? m_doc.RecordScanSightings(found, m_sweepStarted, std::pair{first, last}, &error,
                                             events, 1)
                 : m_doc.RecordScanSightings({}, m_sweepStarted, std::nullopt, &error, events, 0);
    if (!saved)
        CommitFailed(error);
    Refresh();
    int hosts = 0;
    for (const WatchHost& host : m_hosts)
        hosts += !host.pair.gone;
    emit statusText(FormatLangStringA(
        0xF314, "Watching %s_TARGET%: %d_HOSTS% hosts online, next sweep at %s_TIME%.",
        {m_target, hosts,
         QDateTime::currentDateTime()
             .addMSecs(m_sweepTimer.remainingTime())
             .toString(QStringLiteral("HH:mm"))}));
}

void WatchSession::DrainSightings()
{
    std::vector<std::pair<quint32, quint64>> pending;
    {
        std::lock_guard guard(m_pendingMutex);
        pending.swap(m_pending);
        m_drainQueued = false;
    }
    if (!m_watching || pending.empty())
        return;
    const qint64 now = NowMs();
    std::vector<WatchEvent> events;
    for (const auto& [ip, mac] : pending) {
        if (!Covered(ip))
            continue;
        const std::vector<WatchEvent> made = m_history->Sight(ip, mac, now);
        events.insert(events.end(), made.begin(), made.end());
        HostRecord seen;
        seen.ip = ip;
        seen.mac = mac;
        if (const auto known = m_found.constFind({ip, mac}); known != m_found.constEnd())
            seen = known.value();
        // What waits for the next commit is bounded as the history is.
        if (m_passiveFound.size() < WatchHistory::kMaxPairs)
            m_passiveFound.push_back(std::move(seen));
    }
    Took(events);
    m_passiveEvents.insert(m_passiveEvents.end(), events.begin(), events.end());
    if (m_passiveEvents.size() > WatchHistory::kMaxEvents)
        m_passiveEvents.erase(m_passiveEvents.begin(),
                              m_passiveEvents.end() - qsizetype(WatchHistory::kMaxEvents));
    if (!m_commitTimer.isActive())
        m_commitTimer.start();
    ScheduleRefresh();
}

void WatchSession::Took(const std::vector<WatchEvent>& events)
{
    if (events.empty())
        return;
    m_notifications.Add(events);
    Notify();
}

void WatchSession::CommitPassive()
{
    m_commitTimer.stop();
    if (m_passiveFound.empty() && m_passiveEvents.empty())
        return;
    std::vector<HostRecord> found;
    found.swap(m_passiveFound);
    std::vector<WatchEvent> events;
    events.swap(m_passiveEvents);
    QString error;
    if (!m_doc.RecordScanSightings(found, NowMs(), std::nullopt, &error, events, 0))
        CommitFailed(error);
}

void WatchSession::CommitFailed(const QString& error)
{
    // Watching goes on in memory; the failure is told once a watch.
    if (std::exchange(m_commitFailureShown, true))
        return;
    CurrentMessagePrompt().Ask(HistoryNotSavedText(error), PromptButtons::Ok, PromptIcon::Warning);
}

void WatchSession::Notify()
{
    qint64 dueAt = 0;
    if (std::optional<WatchNotification> shown = m_notifications.Take(NowMs(), &dueAt)) {
        DesktopNotifier::Show(*shown);
        emit notified(*shown);
    } else if (dueAt > 0 && !m_notifyTimer.isActive()) {
        m_notifyTimer.start(int(std::max<qint64>(dueAt - NowMs(), 0)));
    }
}

void WatchSession::ScheduleRefresh()
{
    if (!m_refreshTimer.isActive())
        m_refreshTimer.start();
}

void WatchSession::Refresh()
{
    m_refreshTimer.stop();
    m_hosts.clear();
    if (m_history) {
        for (const WatchPair& pair : m_history->Pairs()) {
            if (pair.superseded)
                continue;
            WatchHost host;
            host.pair = pair;
            if (const auto known = m_found.constFind({pair.ip, pair.mac});
                known != m_found.constEnd())
                host.host = known.value();
            host.host.ip = pair.ip;
            host.host.mac = pair.mac;
            m_hosts.push_back(std::move(host));
        }
        std::sort(m_hosts.begin(), m_hosts.end(), [](const WatchHost& a, const WatchHost& b) {
            return IpToHostOrder(a.pair.ip) < IpToHostOrder(b.pair.ip);
        });
    }
    emit changed();
}
