#include "records/ExchangeSort.h"

// Why the order can be had without running the exchange sort.
//
// Pass i leaves at position i the leftmost smallest key of positions i..n-1, and each key
// that took over position i during the pass (the successive strictly smaller prefix
// minima) moves on to the position of the one that displaced it. Fix a rank r and look
// only at the keys of rank r (E) and the smaller ones (S), dropping the larger ones:
//
//   - the chain of prefix minima holds at most one E, the leftmost one, and only when no
//     S comes before it; it then moves to where the first S was;
//   - whatever happens, the pass takes exactly one S out of the tail, and the larger
//     keys never decide where an E goes.
//
// So with the E/S sequence written as R0 S R1 S R2 ... S Rm (Rt the runs of E between
// the S), the passes that take the m smaller keys out do
//
//   X = R0;  for t = 1 .. m:  X = X rotated left by one, followed by Rt
//
// and once no S is left, the E leave in the order X holds them: they sit at positions
// m, m+1, ... in that order. Only how many S come before each E matters, and runs of
// rotations with nothing appended add up (modulo the size of X).
//
// The rotations are undone backwards over a ring of the final slots, which never move:
// undoing a rotation moves the ring's start, undoing an append takes the last slots of
// the ring, which are where that run ends up. A Fenwick tree over the slots still in the
// ring finds the slot a given number of steps from the start in O(log k).

namespace
{

// Counts over 0 .. size-1; `Find` is the slot holding the `nth` (0-based) one.
class CountTree
{
public:
    explicit CountTree(std::int32_t size, std::int32_t initial) : m_tree(size_t(size) + 1, 0)
    {
        while (m_topStep * 2 < m_tree.size())
            m_topStep *= 2;
        if (initial == 0)
            return;
        for (std::int32_t i = 1; i <= size; ++i) {
            m_tree[size_t(i)] += initial;
            const std::int32_t parent = i + (i & -i);
            if (parent <= size)
                m_tree[size_t(parent)] += m_tree[size_t(i)];
        }
    }
    void Add(std::int32_t slot, std::int32_t delta)
    {
        for (auto i = size_t(slot) + 1; i < m_tree.size(); i += i & (~i + 1))
            m_tree[i] += delta;
    }
    // Sum of the counts before `slot`.
    std::int32_t Before(std::int32_t slot) const
    {
        std::int32_t sum = 0;
        for (auto i = size_t(slot); i > 0; i &= i - 1)
            sum += m_tree[i];
        return sum;
    }
    std::int32_t Find(std::int32_t nth) const
    {
        size_t pos = 0;
        for (size_t step = m_topStep; step > 0; step /= 2) {
            if (pos + step < m_tree.size() && m_tree[pos + step] <= nth) {
                pos += step;
                nth -= m_tree[pos];
            }
        }
        return std::int32_t(pos);
    }

private:
    std::vector<std::int32_t> m_tree;
    size_t m_topStep = 1;
};

// The keys of one rank, in list order, with how many smaller keys come before each;
// `smallerInAll` is how many there are in the whole list. Writes where each one goes
// among the slots 0 .. k-1 of its rank.
void PlaceEqualKeys(const std::int32_t* members, const std::int32_t* smallerBefore, std::int32_t k,
                    std::int32_t smallerInAll, std::int32_t* slotOf)
{
    // Runs: members [runStart[u], runStart[u+1]) share one count of smaller keys before.
    std::vector<std::int32_t> runStart;
    for (std::int32_t e = 0; e < k; ++e) {
        if (e == 0 || smallerBefore[members[e]] != smallerBefore[members[e - 1]])
            runStart.push_back(e);
    }
    const auto runs = std::int32_t(runStart.size());
    runStart.push_back(k);

    CountTree ring(k, 1);
    std::int32_t size = k;
    std::int32_t start = 0; // the slot X starts at
    for (std::int32_t u = runs - 1; u >= 0; --u) {
        const std::int32_t next =
            u + 1 < runs ? smallerBefore[members[runStart[size_t(u) + 1]]] : smallerInAll;
        const std::int32_t rotations = (next - smallerBefore[members[runStart[size_t(u)]]]) % size;
        const std::int32_t startRank = (ring.Before(start) + size - rotations) % size;
        start = ring.Find(startRank);
        const std::int32_t first = runStart[size_t(u)];
        const std::int32_t length = runStart[size_t(u) + 1] - first;
        // All found before any is taken out: taking one out renumbers the rest.
        for (std::int32_t j = 0; j < length; ++j)
            slotOf[first + j] = ring.Find((startRank + size - length + j) % size);
        for (std::int32_t j = 0; j < length; ++j)
            ring.Add(slotOf[first + j], -1);
        size -= length;
    }
}

} // namespace

std::vector<std::int32_t> ExchangeSortOrder(const std::vector<std::int32_t>& ranks)
{
    const auto n = std::int32_t(ranks.size());
    std::vector<std::int32_t> order(ranks.size());
    std::iota(order.begin(), order.end(), 0);
    if (n < 2 || std::is_sorted(ranks.begin(), ranks.end()))
        return order; // nothing is ever exchanged

    const std::int32_t rankCount = *std::max_element(ranks.begin(), ranks.end()) + 1;

    // firstOf[r]: how many keys are smaller than r, which is where rank r starts.
    std::vector<std::int32_t> firstOf(size_t(rankCount) + 1, 0);
    for (const std::int32_t r : ranks)
        ++firstOf[size_t(r) + 1];
    for (std::int32_t r = 0; r < rankCount; ++r)
        firstOf[size_t(r) + 1] += firstOf[size_t(r)];

    // Positions grouped by rank, each group in list order; the smaller keys before each.
    std::vector<std::int32_t> byRank(ranks.size());
    std::vector<std::int32_t> smallerBefore(ranks.size());
    {
        std::vector<std::int32_t> fill(firstOf.begin(), firstOf.end() - 1);
        CountTree seen(rankCount, 0);
        for (std::int32_t p = 0; p < n; ++p) {
            const std::int32_t r = ranks[size_t(p)];
            byRank[size_t(fill[size_t(r)]++)] = p;
            smallerBefore[size_t(p)] = seen.Before(r);
            seen.Add(r, 1);
        }
    }

    std::vector<std::int32_t> slotOf;
    for (std::int32_t r = 0; r < rankCount; ++r) {
        const std::int32_t first = firstOf[size_t(r)];
        const std::int32_t k = firstOf[size_t(r) + 1] - first;
        if (k == 0)
            continue;
        const std::int32_t* members = byRank.data() + first;
        if (k == 1) {
            order[size_t(first)] = members[0];
            continue;
        }
        slotOf.assign(size_t(k), 0);
        PlaceEqualKeys(members, smallerBefore.data(), k, first, slotOf.data());
        for (std::int32_t e = 0; e < k; ++e)
            order[size_t(first + slotOf[size_t(e)])] = members[e];
    }
    return order;
}
