// forgeway-drain: reads a compile's standard output and error from a pipe
// (its standard input) into the ring of its capture (its standard output, a
// memfd; host/OutputRing.h) until every writer has closed the pipe, then ends.
//
// Forgeway starts one per compile and never waits for it: it outlives
// Forgeway as long as the compiler or its children keep the pipe open, so
// they never meet a pipe without a reader.  Kept small on purpose: it links
// only the C library and holds nothing but the ring and the pipe.
#include "host/OutputRing.h"

#include <atomic>
#include <cerrno>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

int main() {
    // Hold no folder of the caller's and nothing but the pipe, the ring and
    // /dev/null: a descriptor that Forgeway inherited open on exec (another
    // program's pipe, say) would otherwise be held for as long as the drain
    // runs.  (The starter put it in a session of its own, so no terminal's
    // signals reach it.)
    if (chdir("/") != 0 || close_range(3, ~0U, 0) != 0)
        return 1;
    // Detached: the process that started this one ends at once and is reaped
    // by its starter; the drain goes on as an orphan that init reaps.
    const pid_t child = fork();
    if (child != 0)
        _exit(child < 0 ? 1 : 0);
    struct stat st;
    if (fstat(1, &st) != 0 || std::size_t(st.st_size) != host::ring::Header + host::ring::Capacity)
        return 1;
    void *map = mmap(nullptr, std::size_t(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, 1, 0);
    if (map == MAP_FAILED)
        return 1;
    close(1);
    std::atomic_ref<std::uint64_t> count(*host::ring::Count(map));
    unsigned char *data = host::ring::Data(map);
    std::uint64_t written = count.load(std::memory_order_relaxed);
    for (;;) {
        const std::size_t at = std::size_t(written % host::ring::Capacity);
        std::size_t room = host::ring::Capacity - at;
        if (room > host::ring::MaxRead)
            room = host::ring::MaxRead;
        const ssize_t n = read(0, data + at, room);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        written += std::uint64_t(n);
        count.store(written, std::memory_order_release);
    }
}
