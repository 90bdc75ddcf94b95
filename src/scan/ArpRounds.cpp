#include "scan/ArpRounds.h"

#include <algorithm>
#include <cmath>

namespace
{

// An estimate from a handful of hosts that all came late must still leave room for a
// host that answers.
constexpr double kMaxLoss = 0.95;

} // namespace

void ArpRounds::Reset()
{
    m_addresses.clear();
    m_totals = {};
}

ArpRounds::TimePoint ArpRounds::Asked(quint32 address, quint64 tag, TimePoint now)
{
    Address& entry = m_addresses[address];
    entry = Address{};
    entry.sent[0] = now;
    entry.count = 1;
    entry.tag = tag;
    ++m_totals.asked;
    return DeadlineOf(entry);
}

ArpRounds::Duration ArpRounds::GiveUpAfter() const
{
    const Duration twice = 2 * m_totals.longestDelay;
    return std::clamp<Duration>(twice, kMinGiveUp, kMaxGiveUp);
}

ArpRounds::TimePoint ArpRounds::DeadlineOf(const Address& address) const
{
    const Duration giveUp = GiveUpAfter();
    return std::max(address.sent[0] + giveUp,
                    address.sent[std::size_t(address.count - 1)] + giveUp - kRepeatAfter);
}

double ArpRounds::EstimatedLoss() const
{
    if (m_totals.answered == 0)
        return 0;
    // With n requests per address and a loss p per request, a host that answers at all
    // (1 - p^n of them) answers the first request with probability 1 - p, so the share s
    // of answers that came only after a repeat is (p - p^n) / (1 - p^n); with n = 2 that
    // is p / (1 + p). Solved for p with n the most requests an address had, which errs
    // on the side of one more round when some hosts had fewer.
    const double late = double(m_totals.answeredLate) / double(m_totals.answered);
    const int n = std::max(2, m_totals.mostRequests);
    const auto share = [n](double p) { return (p - std::pow(p, n)) / (1 - std::pow(p, n)); };
    if (late <= 0)
        return 0;
    if (late >= share(kMaxLoss))
        return kMaxLoss;
    double low = 0, high = kMaxLoss;
    for (int i = 0; i < 40; ++i) {
        const double mid = (low + high) / 2;
        (share(mid) < late ? low : high) = mid;
    }
    return high;
}

double ArpRounds::ExpectedMissed(int requests) const
{
    const double unanswered = double(m_totals.asked - m_totals.answered);
    return unanswered * std::pow(EstimatedLoss(), requests);
}

ArpRounds::Step ArpRounds::Due(quint32 address, quint64 tag, TimePoint now)
{
    Step step;
    const auto it = m_addresses.find(address);
    if (it == m_addresses.end() || it->second.tag != tag)
        return step;
    Address& entry = it->second;
    step.deadline = DeadlineOf(entry);
    if (now >= step.deadline) {
        m_addresses.erase(it);
        return step;
    }
    const TimePoint last = entry.sent[std::size_t(entry.count - 1)];
    if (now < last + kRepeatAfter) {
        step.kind = Step::Kind::Wait;
        step.next = std::min(last + kRepeatAfter, step.deadline);
        return step;
    }
    if (entry.count == 1) {
        // The repeat goes out on its own timer, as on a clean link.
        entry.sent[1] = now;
        entry.count = 2;
        m_totals.mostRequests = std::max(m_totals.mostRequests, 2);
        step.kind = Step::Kind::Repeat;
        step.deadline = DeadlineOf(entry);
        step.next = std::min(now + kRepeatAfter, step.deadline);
        return step;
    }
    if (entry.count < kMaxRequests && ExpectedMissed(entry.count) >= kWorthAnotherRound) {
        step.kind = Step::Kind::Further;
        step.next = now;
        return step;
    }
    // Not worth a request now. The estimates may change before the deadline (the first
    // addresses of a scan are decided before any host could have answered late), so look
    // again soon.
    step.kind = Step::Kind::Wait;
    step.next = std::min(now + kRecheck, step.deadline);
    return step;
}

ArpRounds::Step ArpRounds::Sent(quint32 address, quint64 tag, TimePoint at)
{
    Step step;
    const auto it = m_addresses.find(address);
    if (it == m_addresses.end() || it->second.tag != tag || it->second.count >= kMaxRequests)
        return step;
    Address& entry = it->second;
    entry.sent[std::size_t(entry.count++)] = at;
    ++m_totals.further;
    m_totals.mostRequests = std::max(m_totals.mostRequests, entry.count);
    if (entry.count == 3)
        ++m_totals.furtherAddresses;
    step.kind = Step::Kind::Further;
    step.deadline = DeadlineOf(entry);
    step.next = std::min(at + kRepeatAfter, step.deadline);
    return step;
}

ArpRounds::Step ArpRounds::Delayed(quint32 address, quint64 tag, TimePoint at)
{
    Step step;
    const auto it = m_addresses.find(address);
    if (it == m_addresses.end() || it->second.tag != tag)
        return step;
    Address& entry = it->second;
    TimePoint& last = entry.sent[std::size_t(entry.count - 1)];
    last = std::max(last, at);
    step.kind = Step::Kind::Repeat;
    step.deadline = DeadlineOf(entry);
    step.next = std::min(last + kRepeatAfter, step.deadline);
    return step;
}

void ArpRounds::Forget(quint32 address, quint64 tag)
{
    const auto it = m_addresses.find(address);
    if (it != m_addresses.end() && it->second.tag == tag)
        m_addresses.erase(it);
}

bool ArpRounds::Answered(quint32 address, quint64 tag, TimePoint now)
{
    const auto it = m_addresses.find(address);
    if (it == m_addresses.end() || it->second.tag != tag)
        return false;
    const Address& entry = it->second;
    if (now >= DeadlineOf(entry)) {
        m_addresses.erase(it);
        return false;
    }
    // A reply is taken for the answer to the latest request sent before it: the delay
    // is never overstated, and a host counts as late only once a repeat was out.
    int before = 0;
    while (before < entry.count && entry.sent[std::size_t(before)] <= now)
        ++before;
    before = std::max(before, 1);
    ++m_totals.answered;
    if (before >= 2)
        ++m_totals.answeredLate;
    m_totals.longestDelay =
        std::max(m_totals.longestDelay, now - entry.sent[std::size_t(before - 1)]);
    m_addresses.erase(it);
    return true;
}

QString ArpRounds::Describe() const
{
    const auto ms = [](Duration d) {
        return qint64(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    };
    return QStringLiteral("link loss estimated at %1 % (%2 of %3 hosts answered only a "
                          "repeat); %4 further requests to %5 addresses; longest reply delay "
                          "%6 ms, give-up after %7 ms")
        .arg(EstimatedLoss() * 100, 0, 'f', 1)
        .arg(m_totals.answeredLate)
        .arg(m_totals.answered)
        .arg(m_totals.further)
        .arg(m_totals.furtherAddresses)
        .arg(ms(m_totals.longestDelay))
        .arg(ms(GiveUpAfter()));
}
