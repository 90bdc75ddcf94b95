#include "records/ExchangeSort.h"

std::vector<std::int32_t> ExchangeSortOrder(const std::vector<std::int32_t>& ranks)
{
    const auto n = std::int32_t(ranks.size());
    std::vector<std::int32_t> order(ranks.size());
    std::iota(order.begin(), order.end(), 0);
    if (n < 2 || std::is_sorted(ranks.begin(), ranks.end()))
        return order; // nothing is ever exchanged

    const std::int32_t rankCount = *std::max_element(ranks.begin(), ranks.end()) + 1;
    if (rankCount == n) {
        // All keys differ: the sorted order is the only possible outcome.
        std::sort(order.begin(), order.end(),
                  [&](std::int32_t a, std::int32_t b) { return ranks[a] < ranks[b]; });
        return order;
    }

    // Equal keys: run the exchange sort itself over the ranks. Pass i keeps swapping a
    // smaller rank into position i; once position i holds the smallest rank left in the
    // tail, no later j can be smaller, so the pass stops there. Counting the ranks left
    // in the tail tells that smallest rank.
    std::vector<std::int32_t> rank = ranks;
    std::vector<std::int32_t> left(size_t(rankCount), 0);
    for (const std::int32_t r : rank)
        ++left[size_t(r)];
    std::int32_t smallest = 0;
    for (std::int32_t i = 0; i + 1 < n; ++i) {
        while (left[size_t(smallest)] == 0)
            ++smallest;
        for (std::int32_t j = i + 1; j < n && rank[i] != smallest; ++j) {
            if (rank[j] < rank[i]) {
                std::swap(rank[i], rank[j]);
                std::swap(order[i], order[j]);
            }
        }
        --left[size_t(rank[i])];
    }
    return order;
}
