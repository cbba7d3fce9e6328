// Reads the folders of a depth-first directory walk ahead of it, on a few
// helper threads, in the order the walk will reach them.
//
// A walk hands a Lookahead to each FindFirst (SearchOptions::lookahead).  It
// then gets each folder's listing from the lookahead: read ahead by a helper
// when one has finished it, else read at once on the walk's own thread (the
// walk never waits for a helper).  The walk sees the entries the host gives,
// in the host's order, exactly as if it had listed the folder itself; only
// the waiting for the disk moves off its thread.  Every rule of
// the search holds for a folder read ahead: it is opened through its parent's
// listing without following a link (an entry swapped for a link meanwhile is
// refused), kept to the volume, never opened beyond the length limit, and one
// that cannot be read lists nothing.
//
// What is read ahead is bounded: by folders and by bytes held for the walk,
// and by the descriptors the helpers keep open.  The helpers list folders
// and nothing else: they run none of the caller's code and stop when told.
// They have ended, and every descriptor they held is closed, when the
// Lookahead is destroyed.  Destroy it after every search that used it has
// been closed (FindClose or the end of its TSearchRec).
//
// The Lookahead belongs to the thread that walks; only its helpers are
// threads of its own.
#pragma once

#include <cstddef>
#include <memory>

namespace host {

struct LookaheadLimits {
    // Helper threads; 0 lists every folder on the walk's own thread.  While
    // folders come from the cache, helpers read on the cores the walk leaves
    // free (one on a machine of two); each that has to wait for the disk
    // calls up another, so that up to this many folders are read from the
    // disk at once.
    int helpers = 12;
    // Folders read ahead that the walk has not reached yet, at most.
    std::size_t folders = 1024;
    // Bytes of listings held for the walk, at most (about: one folder's
    // listing may pass the mark).  A folder's listing is taken in parts of
    // about PartBytes; the walk reads the rest of a big folder as it goes.
    std::size_t bytes = std::size_t(4) << 20;
    // Descriptors (on Windows: search handles) the helpers keep open, at most.
    int descriptors = 256;

    static constexpr std::size_t PartBytes = 32 * 1024;
};

class Lookahead {
public:
    explicit Lookahead(const LookaheadLimits &limits = {});
    // Stops the helpers and waits for them; closes what they hold.
    ~Lookahead();
    Lookahead(const Lookahead &) = delete;
    Lookahead &operator=(const Lookahead &) = delete;

    // What the lookahead has done so far.
    struct Statistics {
        std::size_t listedAhead = 0;  // folders a helper listed before the walk came
        std::size_t listedByWalk = 0; // folders the walk listed itself
        std::size_t overtaken = 0;    // folders the walk read itself while a helper was at them
        std::size_t mostAhead = 0;    // most folders read ahead at once
        std::size_t mostBytes = 0;    // most bytes held at once
        int mostDescriptors = 0;      // most descriptors open at once
        int helpersStarted = 0;
    };
    Statistics Stats() const;

    struct State;

private:
    std::unique_ptr<State> state_;
    friend struct LookaheadAccess;
};

} // namespace host
