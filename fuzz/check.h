#pragma once

#include <cstdio>
#include <cstdlib>

// An invariant of a fuzz target: a broken one aborts, so that the fuzzer keeps the input.
inline void Check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}
