// A fuzz target's check: a failure ends the run where libFuzzer sees it.
#pragma once

#include <cstdlib>

inline void require(bool ok) {
    if (!ok)
        std::abort();
}
