#pragma once

#include "records/WatchHistory.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// What a watch tells the desktop: each event, or the events that came together, as one
// notification, at most one every kMinGapMs, so that a flood of new MACs makes a few
// combined notifications ("12 new hosts") instead of thousands.
struct WatchNotification {
    QString summary;
    QString body;
};

class WatchNotifications
{
public:
    static constexpr qint64 kMinGapMs = 10000;
    // Hosts a combined notification names before it only counts the rest.
    static constexpr int kNamedHosts = 5;

    enum class Choice { NewHostsOnly, AllChanges };
    explicit WatchNotifications(Choice choice = Choice::AllChanges) : m_choice(choice) {}
    void SetChoice(Choice choice) { m_choice = choice; }

    // Events as they happen; the baseline tells nothing.
    void Add(const std::vector<WatchEvent>& events);
    // The notification to show at `now`, if one is waiting and the last one is old
    // enough; when one waits but is not due, `dueAt` says when it is.
    std::optional<WatchNotification> Take(qint64 now, qint64* dueAt = nullptr);

private:
    Choice m_choice;
    // What waits: the events a notification names, how many there are in all, and
    // whether all of them are new hosts.
    std::vector<WatchEvent> m_named;
    qsizetype m_waiting = 0;
    bool m_allNew = true;
    std::optional<qint64> m_lastShown;
};

// Sends notifications to the freedesktop notification service on the session bus
// (org.freedesktop.Notifications). Where none runs, nothing is shown and nothing fails.
class DesktopNotifier
{
public:
    // True when the service took it.
    static bool Show(const WatchNotification& notification);
};
