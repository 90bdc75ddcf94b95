#include "scan/SendAheadPacer.h"

#include <algorithm>

namespace
{

using namespace std::chrono_literals;

// A worker held back by admission for this long gives up on its address.
constexpr auto kAdmitDeadline = 30s;
// Given-up resolutions free their slot at their deadline without anyone being told, so
// a wait for a slot looks again this often.
constexpr auto kSlotRecheck = 50ms;
// The pacing thread, far enough ahead, looks at the cursor again at least this often.
constexpr auto kWindowRecheck = 100ms;
// Requests are spaced by this over the rate rather than by a second, so that a request
// that goes out a little after its time (the sending thread woken late) cannot bring
// one more than the rate into a second on the wire.
constexpr auto kPaceSecond = 1s + 5ms;

SendAheadPacer::Clock::duration PaceInterval(int rate)
{
    return std::chrono::duration_cast<SendAheadPacer::Clock::duration>(kPaceSecond) /
           std::max(1, rate);
}

} // namespace

SendAheadPacer::SendAheadPacer(Rules rules, StartFn start, RouteFn route)
    : m_rules(rules), m_start(std::move(start)), m_route(std::move(route))
{
}

SendAheadPacer::~SendAheadPacer()
{
    Close();
}

void SendAheadPacer::Close()
{
    StopAhead();
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        TellEveryoneLocked();
    }
    m_changed.notify_all();
}

void SendAheadPacer::TellWaitersLocked(const Entry& entry)
{
    if (entry.verdict)
        entry.verdict->notify_all();
}

void SendAheadPacer::TellEveryoneLocked()
{
    for (const auto& [address, entry] : m_entries)
        TellWaitersLocked(entry);
}

bool SendAheadPacer::Halted(bool ahead) const
{
    return m_closed || m_scanStopped || (ahead && m_aheadStop);
}

bool SendAheadPacer::Admit(std::unique_lock<std::mutex>& lock, bool ahead)
{
    const auto giveUp = Clock::now() + kAdmitDeadline;
    for (;;) {
        if (Halted(ahead))
            return false;
        if (m_outstanding < m_rules.maxOutstanding)
            break;
        // Resolutions started ahead whose worker has not come yet give their slot up at
        // their deadline; nobody else would. Looked for only when a slot is wanted: the
        // table holds seconds of starts at a wide scan's rate.
        ExpireLocked(Clock::now());
        if (m_outstanding < m_rules.maxOutstanding)
            break;
        if (Clock::now() >= giveUp)
            return false;
        m_changed.wait_for(lock, kSlotRecheck);
    }
    // Reserve the next start time, then wait for it. After a stall the pace restarts from
    // now rather than catching up in a burst.
    const auto slot = std::max(Clock::now(), m_nextStart);
    m_nextStart = slot + PaceInterval(m_rules.startsPerSecond);
    ++m_outstanding;
    m_changed.wait_until(lock, slot, [&] { return Halted(ahead); });
    if (Halted(ahead)) {
        --m_outstanding;
        m_changed.notify_all();
        return false;
    }
    return true;
}

SendAheadPacer::Entry* SendAheadPacer::BeginLocked(std::unique_lock<std::mutex>& lock,
                                                   const Request& request)
{
    if (Halted(false))
        return nullptr;
    if (!m_rules.pacesWorkers) {
        ++m_outstanding; // unpaced, but it still counts against the pacing thread's limit
        return StartLocked(lock, request, false);
    }
    if (!Admit(lock, false))
        return nullptr;
    // While admission waited, the pacing thread may have started this address.
    if (auto it = m_entries.find(request.address); it != m_entries.end()) {
        --m_outstanding;
        m_changed.notify_all();
        Entry& existing = it->second;
        existing.unclaimed = false;
        ++existing.waiters;
        return &existing;
    }
    return StartLocked(lock, request, false);
}

SendAheadPacer::Entry* SendAheadPacer::StartLocked(std::unique_lock<std::mutex>& lock,
                                                   const Request& request, bool ahead)
{
    // Registered before anything is sent, so no answer can slip past.
    Entry& entry = m_entries[request.address];
    entry = Entry{};
    entry.request = request;
    entry.request.serial = m_nextSerial++;
    entry.waiters = ahead ? 0 : 1;
    entry.unclaimed = ahead;
    entry.holdsSlot = true;
    entry.starting = true;
    const Request started = entry.request;
    const auto begun = Clock::now();
    lock.unlock();
    const Started outcome = m_start(started);
    lock.lock();

    entry.starting = false;
    entry.deadline = begun + outcome.giveUpAfter;
    if (outcome.found && entry.state == State::Pending) {
        entry.state = *outcome.found ? State::Found : State::NotFound;
        entry.mac = outcome.mac;
        ReleaseSlotLocked(entry);
    }
    TellWaitersLocked(entry);
    if (!entry.unclaimed && entry.waiters == 0) {
        // Started ahead, and its worker has already come and gone.
        ReleaseSlotLocked(entry);
        m_entries.erase(request.address);
        return nullptr;
    }
    return &entry;
}

void SendAheadPacer::ReleaseSlotLocked(Entry& entry)
{
    if (!entry.holdsSlot)
        return;
    entry.holdsSlot = false;
    --m_outstanding;
    m_changed.notify_all();
}

void SendAheadPacer::ExpireLocked(Clock::time_point now)
{
    for (auto& [address, entry] : m_entries) {
        if (!entry.holdsSlot || entry.starting || now < entry.deadline)
            continue;
        if (entry.state == State::Pending)
            entry.state = State::NotFound;
        ReleaseSlotLocked(entry);
        TellWaitersLocked(entry);
    }
}

bool SendAheadPacer::Resolve(const Request& request, quint64* mac)
{
    std::unique_lock lock(m_mutex);
    Entry* entry = nullptr;
    if (auto it = m_entries.find(request.address); it != m_entries.end()) {
        entry = &it->second; // started ahead or by another worker: it may be in already
        entry->unclaimed = false;
        ++entry->waiters;
    } else {
        entry = BeginLocked(lock, request);
        if (!entry)
            return false;
    }
    // The deadline is known once the resolution has been started; it may move later.
    if (!entry->verdict)
        entry->verdict = std::make_shared<std::condition_variable>();
    const std::shared_ptr<std::condition_variable> verdict = entry->verdict;
    for (;;) {
        if (entry->state != State::Pending || Halted(false))
            break;
        if (entry->starting)
            verdict->wait(lock);
        else if (verdict->wait_until(lock, entry->deadline) == std::cv_status::timeout &&
                 entry->state == State::Pending && Clock::now() >= entry->deadline)
            break;
    }
    const bool found = entry->state == State::Found;
    if (found)
        *mac = entry->mac;
    if (entry->state == State::Pending)
        entry->state = State::NotFound;
    ReleaseSlotLocked(*entry);
    if (--entry->waiters == 0 && !entry->starting)
        m_entries.erase(request.address);
    ++m_taken;
    lock.unlock();
    m_changed.notify_all();
    return found;
}

bool SendAheadPacer::Settle(quint32 address, bool found, quint64 mac,
                            const std::function<bool(const Request&)>& accept)
{
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(address);
    if (it == m_entries.end())
        return false;
    Entry& entry = it->second;
    // A late answer after the deadline does not revive a verdict already given.
    if (entry.state != State::Pending || (!entry.starting && Clock::now() >= entry.deadline))
        return false;
    if (accept && !accept(entry.request))
        return false;
    entry.state = found ? State::Found : State::NotFound;
    entry.mac = found ? mac : 0;
    ReleaseSlotLocked(entry);
    TellWaitersLocked(entry);
    return true;
}

bool SendAheadPacer::Extend(quint32 address, quint64 serial, Clock::time_point deadline)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(address);
    if (it == m_entries.end())
        return false;
    Entry& entry = it->second;
    if (entry.request.serial != serial || entry.state != State::Pending ||
        (!entry.starting && Clock::now() >= entry.deadline))
        return false;
    if (!entry.starting && deadline > entry.deadline) {
        entry.deadline = deadline;
        TellWaitersLocked(entry);
    }
    return true;
}

SendAheadPacer::Clock::time_point SendAheadPacer::TakeSlot()
{
    std::lock_guard lock(m_mutex);
    const auto slot = std::max(Clock::now(), m_nextStart);
    m_nextStart = slot + PaceInterval(m_rules.startsPerSecond);
    return slot;
}

std::optional<SendAheadPacer::Request> SendAheadPacer::Pending(quint32 address,
                                                               quint64 serial) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(address);
    if (it == m_entries.end() || it->second.request.serial != serial ||
        it->second.state != State::Pending || Clock::now() >= it->second.deadline)
        return std::nullopt;
    return it->second.request;
}

std::vector<SendAheadPacer::Request> SendAheadPacer::AllPending() const
{
    std::vector<Request> pending;
    std::lock_guard lock(m_mutex);
    const auto now = Clock::now();
    for (const auto& [address, entry] : m_entries)
        if (entry.state == State::Pending && (entry.starting || now < entry.deadline))
            pending.push_back(entry.request);
    return pending;
}

void SendAheadPacer::DropUnwantedLocked()
{
    // No worker runs between scans, so nothing waits on these.
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->second.waiters == 0 && !it->second.starting) {
            ReleaseSlotLocked(it->second);
            it = m_entries.erase(it);
        } else {
            ++it;
        }
    }
}

void SendAheadPacer::SetRules(const Rules& rules)
{
    std::lock_guard lock(m_mutex);
    m_rules = rules;
}

void SendAheadPacer::ScanStarting(UpcomingAddressesFn upcoming)
{
    StopAhead();
    std::lock_guard lock(m_mutex);
    DropUnwantedLocked();
    m_scanStopped = false;
    m_aheadStop = false;
    if (m_rules.startsPerSecond > 0 && upcoming && !m_closed)
        m_ahead = std::thread(&SendAheadPacer::AheadLoop, this, std::move(upcoming));
}

void SendAheadPacer::ScanStopping()
{
    {
        std::lock_guard lock(m_mutex);
        m_scanStopped = true;
        m_aheadStop = true;
        TellEveryoneLocked();
    }
    m_changed.notify_all();
}

void SendAheadPacer::ScanEnded()
{
    StopAhead();
    std::lock_guard lock(m_mutex);
    DropUnwantedLocked();
    // No worker of that scan is left; a resolution outside any scan is answered again.
    m_scanStopped = false;
}

void SendAheadPacer::StopAhead()
{
    {
        std::lock_guard lock(m_mutex);
        m_aheadStop = true;
    }
    m_changed.notify_all();
    if (m_ahead.joinable())
        m_ahead.join();
}

void SendAheadPacer::AheadLoop(UpcomingAddressesFn upcoming)
{
    quint64 position = 0; // the next address to start; 64 bits so the last one ends it
    std::unique_lock lock(m_mutex);
    while (!Halted(true)) {
        const quint64 takenBefore = m_taken;
        // The cursor has its own lock; never call into it holding ours.
        lock.unlock();
        const std::optional<UpcomingAddresses> cursor = upcoming();
        lock.lock();
        if (!cursor || Halted(true))
            break; // stop signalled or range used up: nothing more is started ahead
        position = std::max<quint64>(position, cursor->next);
        if (position > cursor->last)
            break;
        if (position - cursor->next >= m_rules.aheadWindow) {
            // Far enough ahead: wait for a worker to take a verdict.
            m_changed.wait_for(lock, kWindowRecheck,
                               [&] { return Halted(true) || m_taken != takenBefore; });
            continue;
        }
        const auto address = quint32(position++);
        if (m_entries.contains(address))
            continue; // a worker was first
        const std::optional<Request> request = m_route(address);
        if (!request)
            continue; // answered without asking
        // Admission (the outstanding limit and the pace) holds this loop back; the cursor
        // is asked again after it, so a stop during the wait sends nothing more.
        if (!Admit(lock, true))
            break;
        lock.unlock();
        const bool wanted = upcoming().has_value();
        lock.lock();
        if (!wanted || Halted(true) || m_entries.contains(address)) {
            --m_outstanding;
            m_changed.notify_all();
            if (!wanted || Halted(true))
                break;
            continue;
        }
        StartLocked(lock, *request, true);
    }
}
