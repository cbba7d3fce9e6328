// The millisecond tick counter.
#pragma once

#include <cstdint>

namespace host {

// Milliseconds since an arbitrary start, as an unsigned 32-bit count that
// wraps to 0 after 2^32 - 1.
std::uint32_t GetTickCount();

// Milliseconds from start to now, correct across one wrap of the counter.
inline std::uint32_t TicksSince(std::uint32_t start, std::uint32_t now) {
    return static_cast<std::uint32_t>(now - start);
}

} // namespace host
