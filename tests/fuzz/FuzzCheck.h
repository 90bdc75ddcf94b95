#pragma once

#include <cstdlib>

// A property the fuzzed code must keep; libFuzzer reports the abort with its input.
inline void Check(bool condition)
{
    if (!condition)
        std::abort();
}
