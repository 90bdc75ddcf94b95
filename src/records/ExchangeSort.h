#pragma once

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

// The list order the records are sorted into: the exchange sort
//
//   for i in 0 .. n-2: for j in i+1 .. n-1: if key[j] comes strictly before key[i]: swap(i, j)
//
// which keeps no particular order among equal keys. The users see that order, so it is
// reproduced exactly, but in O(n log n): the keys are ranked once, and where equal keys
// end up follows from how many smaller keys come before each (ExchangeSort.cpp says why).

// `ranks[p]` is the rank of the key at position p (equal keys, equal ranks; smaller
// ranks come first). Returns the new order: entry p is the old position of the record
// that ends up at position p.
std::vector<std::int32_t> ExchangeSortOrder(const std::vector<std::int32_t>& ranks);

// Ranks `keys` with the strict order `less`, reversed when sorting descending, and
// returns the exchange sort's order.
template <typename Key, typename Less>
std::vector<std::int32_t> ExchangeSortOrder(const std::vector<Key>& keys, Less less, bool ascending)
{
    const auto n = std::int32_t(keys.size());
    std::vector<std::int32_t> byKey(keys.size());
    std::iota(byKey.begin(), byKey.end(), 0);
    std::stable_sort(byKey.begin(), byKey.end(),
                     [&](std::int32_t a, std::int32_t b) { return less(keys[a], keys[b]); });
    std::vector<std::int32_t> ranks(keys.size());
    std::int32_t rank = 0;
    for (std::int32_t k = 0; k < n; ++k) {
        if (k > 0 && less(keys[byKey[k - 1]], keys[byKey[k]]))
            ++rank;
        ranks[byKey[k]] = rank;
    }
    if (!ascending) {
        for (auto& r : ranks)
            r = rank - r;
    }
    return ExchangeSortOrder(ranks);
}

// Reorders `list` (a vector of owning pointers) into `order`.
template <typename List> void ApplyOrder(List& list, const std::vector<std::int32_t>& order)
{
    List sorted;
    sorted.reserve(list.size());
    for (const std::int32_t from : order)
        sorted.push_back(std::move(list[from]));
    list = std::move(sorted);
}
