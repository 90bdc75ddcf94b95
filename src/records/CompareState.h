#pragma once

#include <cstdint>

// Outcome of comparing one scan result with the database list.
enum class CompareState : std::int32_t {
    Matched = 0,   // the exact address pair is known
    Different = 1, // the address (or MAC) is known with another partner
    New = 2,       // neither is known
};
