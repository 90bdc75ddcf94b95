#pragma once

#include "app/WatchNotifications.h"
#include "records/HostRecord.h"
#include "records/WatchHistory.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class ArpListener;
class CLanveyDoc;
class QProcess;

// What the settings sheet's "Watch" page keeps.
struct WatchSettings {
    static constexpr int kMinIntervalMinutes = 1;
    static constexpr int kMaxIntervalMinutes = 60;
    static constexpr int kMinRate = 1;
    static constexpr int kMaxRate = 500;
    static constexpr int kMaxGoneAfter = 100;

    int intervalMinutes = 5;
    int rate = 50; // ARP requests a second
    int goneAfter = WatchHistory::kDefaultGoneAfter;
    WatchNotifications::Choice notify = WatchNotifications::Choice::AllChanges;

    // The profile's values, each held to its range.
    static WatchSettings Stored();
    void Store() const;
};

// One host of a watch as its list shows it: what the sweep that found it last learnt
// (names), and its pair of the history.
struct WatchHost {
    HostRecord host;
    WatchPair pair;
};

// A watch of one target in the window: a sweep now and every interval, each run by
// lanvey-scan in a process of its own (the window's scan stays the user's), the ARP of
// the link heard in between, the events each makes, the desktop's notifications, and
// every sighting and event committed to the database file's history: a sweep's in one
// transaction, passive ones at most every kPassiveCommitMs. A sweep that falls due while
// the window's own scan runs waits for it and takes its results instead.
class WatchSession final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPassiveCommitMs = 10000;
    // The hosts list and the events are refreshed at most this often, whatever a flood
    // of frames brings.
    static constexpr int kRefreshMs = 1000;
    // Sightings heard between two hand-offs to the UI thread beyond this are dropped: the
    // history's bounds already hold what a flood can make us keep.
    static constexpr size_t kMaxPendingSightings = 20000;

    // `scanProgram` is the lanvey-scan the sweeps run.
    WatchSession(CLanveyDoc& doc, QString scanProgram, QObject* parent = nullptr);
    ~WatchSession() override;

    // Watches `target` (the target box's text), the first sweep right away. False, with
    // why in `error`, when the text names no target.
    bool Start(const QString& target, const WatchSettings& settings, QString* error);
    // Ends the watch: a running sweep is ended, the listener stops, what was heard is
    // committed.
    void Stop();
    bool IsWatching() const { return m_watching; }
    const QString& Target() const { return m_target; }
    // The next sweep now rather than at its time (after the window's scan, if one runs);
    // the interval counts from here.
    void SweepNow();
    // New settings apply from the next sweep on (the interval at once).
    void ApplySettings(const WatchSettings& settings);

    // The window's own scan: while it runs no sweep starts; when it ends, a sweep that
    // waited takes its hosts (those of the watched range) instead of running. `range`
    // (first and last address, host byte order) is where the scan went to its end; a scan
    // cut short, or of none of the watched addresses, leaves the sweep to run after all.
    void ScanStarted();
    void ScanEnded(const std::vector<HostRecord>& found,
                   std::optional<std::pair<quint32, quint32>> range);

    // The hosts (every pair no other pair has replaced), and the events oldest first.
    const std::vector<WatchHost>& Hosts() const { return m_hosts; }
    const std::deque<WatchEvent>& Events() const;
    // Why the watch only sweeps, empty when it listens too.
    const QString& ListenNote() const { return m_listenNote; }
    bool IsSweeping() const { return m_process != nullptr; }

signals:
    void watchingChanged(bool watching);
    // The hosts or the events changed (at most every kRefreshMs).
    void changed();
    // What the watch is doing, for the status bar.
    void statusText(const QString& text);
    // A notification was sent to the desktop (or would have been, without a service).
    void notified(const WatchNotification& notification);

private:
    void RunSweep();
    void OnSweepFinished();
    // The hosts of a sweep (or of the scan that stood in for one) into the history.
    // `ownSweep` false: the scan's hosts, which the scan has already recorded.
    void TakeSweep(const std::vector<HostRecord>& found, quint32 first, quint32 last,
                   bool ownSweep);
    void DrainSightings();
    void Took(const std::vector<WatchEvent>& events);
    void Commit(const std::vector<HostRecord>& found, bool sweep);
    void CommitPassive();
    void CommitFailed(const QString& error);
    void Notify();
    void ScheduleRefresh();
    void Refresh();
    bool Covered(quint32 ip) const;
    void RebuildKnownMacs();

    CLanveyDoc& m_doc;
    QString m_scanProgram;
    WatchSettings m_settings;
    bool m_watching = false;
    QString m_target;
    quint32 m_first = 0; // host byte order
    quint32 m_count = 0; // addresses after the first
    std::unique_ptr<WatchHistory> m_history;
    WatchNotifications m_notifications;
    std::unique_ptr<ArpListener> m_listener;
    QString m_listenNote;
    QProcess* m_process = nullptr;
    qint64 m_sweepStarted = 0;
    bool m_scanRunning = false;
    bool m_sweepWaiting = false;
    QTimer m_sweepTimer;
    QTimer m_notifyTimer;
    QTimer m_commitTimer;
    QTimer m_refreshTimer;
    // The names each pair was last found with.
    QHash<std::pair<quint32, quint64>, HostRecord> m_found;
    // The database's address of each MAC; rebuilt when its record count changes.
    QHash<quint64, quint32> m_knownIpOfMac;
    int m_knownCount = -1;
    std::vector<WatchHost> m_hosts;
    // Passive sightings and events not yet committed.
    std::vector<HostRecord> m_passiveFound;
    std::vector<WatchEvent> m_passiveEvents;
    bool m_commitFailureShown = false;

    std::mutex m_pendingMutex;
    std::vector<std::pair<quint32, quint64>> m_pending;
    bool m_drainQueued = false;
};
