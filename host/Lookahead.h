// Reads the folders of a depth-first directory walk ahead of it, on a few
// helper threads, in the order the walk will reach them.
//
// A walk hands a Lookahead to each FindFirst (SearchOptions::lookahead).
// Every folder it then lists is opened and read on a helper thread, never on
// the walk's own: read ahead when a helper got there first, else asked for
// at once, the walk waiting for it with its events running (the wait
// callback).  The walk sees the entries the host gives, in the host's order,
// exactly as if it had listed the folder itself.  Every rule of the search
// holds for a folder read this way: it is opened through its parent without
// following a link (an entry swapped for a link meanwhile is refused), kept
// to the volume, never opened beyond the length limit, and one that cannot be
// read lists nothing.
//
// What is read ahead is bounded: by folders and by bytes held for the walk,
// and by the descriptors held for it.  The helpers list folders and nothing
// else: they run none of the caller's code.  Destroying the Lookahead never
// waits: a helper still in a system call (a hung network mount) finishes it
// on its own, frees what it holds and ends.
//
// The Lookahead belongs to the thread that walks; only its helpers are
// threads of its own.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace host {

struct LookaheadLimits {
    // Helper threads that read ahead; 0 reads only the folders the walk asks
    // for (on a helper of their own).  Up to this many folders are read from
    // the disk at once.
    int helpers = 12;
    // Folders read ahead that the walk has not reached yet, at most.
    std::size_t folders = 1024;
    // Bytes of listings held for the walk, at most (one folder's first part
    // may pass the mark).  A folder is read in parts of about PartBytes.
    std::size_t bytes = std::size_t(4) << 20;
    // Descriptors (on Windows: search handles) held for the walk, at most.
    int descriptors = 256;

    static constexpr std::size_t PartBytes = 128 * 1024;
};

class Lookahead {
public:
    // Called, at most 10 ms apart, while the walk waits for a folder; false
    // gives the folder up (its FindFirst or FindNext then fails).
    using Wait = std::function<bool()>;
    // Given, the walk does not sleep between calls of wait, which then waits
    // for events itself, up to 10 ms; a helper calls wake, under the
    // Lookahead's lock, to end that wait as soon as what the walk waits for
    // is there.  Never called once the Lookahead is destroyed.
    using Wake = std::function<void()>;

    explicit Lookahead(const LookaheadLimits &limits = {}, Wait wait = {}, Wake wake = {});
    // Tells the helpers to stop, without waiting for them.
    ~Lookahead();
    Lookahead(const Lookahead &) = delete;
    Lookahead &operator=(const Lookahead &) = delete;

    struct Statistics {
        std::size_t listedAhead = 0; // folders a helper listed before the walk asked
        std::size_t listedAsked = 0; // folders listed while the walk waited for them
        std::size_t mostAhead = 0;   // most folders read ahead at once
        std::size_t mostBytes = 0;   // most bytes held at once
        int mostDescriptors = 0;     // most descriptors held at once
        int helpersStarted = 0;
        std::size_t aheadNow = 0; // folders read ahead that the walk has not taken
    };
    Statistics Stats() const;

    // Helper threads of every Lookahead that have not ended yet.
    static int HelpersAlive();
    // For tests: called on a helper before it opens each folder, with the
    // folder's path; it may block, as a hung mount does.  Null: none.
    static void SetOpenHook(void (*hook)(const char *path));

    struct State;

private:
    std::shared_ptr<State> state_;
    friend struct LookaheadAccess;
};

// Whether one more folder may be read ahead while ahead folders, bytes of
// listings and descriptors are held for the walk.  A reader at work reads on
// up to the bounds; idle readers are woken again (refill) only once more than
// a quarter of every bound is free.  Woken for each folder the walk takes, they cost two
// thread switches a folder: 4.5 times as many switches in a warm scan, and
// the walk about 1.5 times as long.
bool MayReadAhead(const LookaheadLimits &limits, std::size_t ahead, std::size_t bytes,
                  int descriptors, bool refill);

// Runs work on a thread of its own, at the caller's priority since the caller
// waits for it, and never joined.  Calls wait at least every 10 ms meanwhile.
// False when wait returned false first: work then runs to its end on its own,
// so it must own what it touches.  An exception from work is thrown here.
bool RunAside(std::function<void()> work, const Lookahead::Wait &wait);

} // namespace host
