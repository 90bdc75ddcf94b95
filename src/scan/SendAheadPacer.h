#pragma once

#include "scan/HostProbe.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

// What both resolvers share: the table of addresses whose verdict is awaited, the pacing
// thread that starts resolutions for the addresses the cursor hands out next, and the
// admission rules that limit how fast and how many.
//
// Each address is started once, by the pacing thread or by the first worker that asks for
// it; every worker asking waits for that one verdict. A verdict is "found" (with the MAC)
// when the backend reports an answer, "not found" when it reports a failure, when the
// time the backend gave for the address has passed, or when the scan is told to stop. A
// verdict started ahead waits in the table for its worker until the scan ends.
//
// The backend starts resolutions (StartFn, called without the pacer's lock, from a
// worker or the pacing thread) and reports answers from its receive thread (Settle).
class SendAheadPacer
{
public:
    using Clock = std::chrono::steady_clock;

    struct Rules {
        // Requests per second: new resolutions, and the further requests that take a slot
        // (TakeSlot). They are spaced so that no second holds more. 0 starts nothing
        // ahead.
        int startsPerSecond = 0;
        // Resolutions started and neither settled nor given up; the pacing thread, and
        // workers when `pacesWorkers`, wait below this.
        int maxOutstanding = 1;
        // How far the pacing thread may run ahead of the cursor.
        quint32 aheadWindow = 1;
        // Whether a worker's own start waits for admission like the pacing thread's.
        bool pacesWorkers = false;
    };

    // One address to resolve, and where: the backend's own link number and our address
    // on that link.
    struct Request {
        quint32 address = 0; // host byte order
        int link = 0;
        quint32 localIp = 0;
        quint64 serial = 0; // set by the pacer: tells this start from a later one
    };

    // What the backend made of a start: when the address counts as not found, unless a
    // verdict came at once.
    struct Started {
        Clock::duration giveUpAfter{};
        std::optional<bool> found;
        quint64 mac = 0;
    };

    using StartFn = std::function<Started(const Request&)>;
    // The request for an address the pacing thread is about to start, or nullopt when
    // the backend need not ask (an own address, one off every link).
    using RouteFn = std::function<std::optional<Request>(quint32 address)>;

    SendAheadPacer(Rules rules, StartFn start, RouteFn route);
    ~SendAheadPacer();
    SendAheadPacer(const SendAheadPacer&) = delete;
    SendAheadPacer& operator=(const SendAheadPacer&) = delete;

    // A worker: the verdict for `request.address`, started now unless it already was.
    bool Resolve(const Request& request, quint64* mac);

    // The backend's verdict for `address`, taken only while its resolution is pending,
    // not yet given up, and `accept` (when given) agrees it answers that request. True
    // when it was taken.
    bool Settle(quint32 address, bool found, quint64 mac,
                const std::function<bool(const Request&)>& accept = {});

    // Moves the give-up time of a pending resolution (`serial` names which start) later,
    // never earlier. False when it is no longer pending.
    bool Extend(quint32 address, quint64 serial, Clock::time_point deadline);

    // A place in the pace for a request that is not a new start (a further request to an
    // address already started): the time it may go out, at or after now. Later starts
    // wait their turn after it.
    Clock::time_point TakeSlot();

    // The request of a resolution still pending (`serial` names which start), for a
    // backend that sends again or asks again.
    std::optional<Request> Pending(quint32 address, quint64 serial) const;
    std::vector<Request> AllPending() const;

    // Between scans: new rules for the next one.
    void SetRules(const Rules& rules);
    void ScanStarting(UpcomingAddressesFn upcoming);
    // The scan was told to stop: waiting workers get "not found" at once unless their
    // verdict is in, new starts are refused, and nothing more is started ahead.
    void ScanStopping();
    void ScanEnded();

    // Ends the pacing thread and every wait for good; the backend calls it before it
    // takes down what StartFn uses.
    void Close();

private:
    enum class State { Pending, Found, NotFound };
    struct Entry {
        Request request;
        State state = State::Pending;
        quint64 mac = 0;
        Clock::time_point deadline = Clock::time_point::max(); // known once started
        int waiters = 0;                                       // workers waiting for the verdict
        bool unclaimed = false; // started ahead; no worker has come for it yet
        bool holdsSlot = false; // counts against maxOutstanding until settled or given up
        bool starting = false;  // StartFn runs outside the lock; keeps the entry in place
        // What the entry's workers wait on: made by the first of them, told of every
        // change of the verdict, the deadline or the start.
        std::shared_ptr<std::condition_variable> verdict;
    };

    bool Halted(bool ahead) const;
    bool Admit(std::unique_lock<std::mutex>& lock, bool ahead);
    // With the lock held, for a worker: admits and starts `request`, or joins the entry
    // the pacing thread started meanwhile; nullptr when not admitted.
    Entry* BeginLocked(std::unique_lock<std::mutex>& lock, const Request& request);
    // With the lock held and a slot counted: registers and starts `request` (the lock is
    // let go while the backend starts it) and returns its entry, or nullptr when, started
    // ahead, its worker has already come and gone.
    Entry* StartLocked(std::unique_lock<std::mutex>& lock, const Request& request, bool ahead);
    void ReleaseSlotLocked(Entry& entry);
    static void TellWaitersLocked(const Entry& entry);
    // A stop or the close: every wait looks at Halted again.
    void TellEveryoneLocked();
    void ExpireLocked(Clock::time_point now);
    void DropUnwantedLocked();
    void AheadLoop(UpcomingAddressesFn upcoming);
    void StopAhead();

    Rules m_rules; // changed only between scans, under the lock
    const StartFn m_start;
    const RouteFn m_route;

    mutable std::mutex m_mutex;
    // A slot came free, a verdict was taken, or a stop. Workers waiting for a verdict wait
    // on their entry's own variable instead: a hundred of them woken by every answer of
    // a wide scan cost more than the scan.
    std::condition_variable m_changed;
    std::unordered_map<quint32, Entry> m_entries; // nodes never move while the lock is let go
    int m_outstanding = 0;
    Clock::time_point m_nextStart;
    quint64 m_nextSerial = 1;
    quint64 m_taken = 0; // verdicts workers have taken; the pacing thread waits on it
    bool m_closed = false;
    bool m_scanStopped = false;
    bool m_aheadStop = false;
    std::thread m_ahead;
};
