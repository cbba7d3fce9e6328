// The ring that a capture's drain (host/Drain.cpp) fills and Forgeway reads
// (host/CapturePosix.cpp): a memfd mapped by both, a header page that holds
// the count of bytes written so far, then the last bytes written, byte n at
// Data + n % capacity.  The drain reads at most MaxRead bytes at a time
// straight into the ring and then raises the count, so a reader that copies
// bytes and then finds the count at c knows that every byte from
// c + MaxRead - capacity on was left alone while it copied.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host::ring {

constexpr std::size_t Header = 4096;
constexpr std::size_t Capacity = 256 * 1024;
constexpr std::size_t MaxRead = 64 * 1024;

// The count of bytes written, at the start of the header.
inline std::uint64_t *Count(void *map) {
    return static_cast<std::uint64_t *>(map);
}
inline unsigned char *Data(void *map) {
    return static_cast<unsigned char *>(map) + Header;
}

} // namespace host::ring
