// Inside the host layer only: the folder tree of a Lookahead, what the walk's
// search handles call on it, and what each host half provides to list one
// folder.  The rules of listing a folder live with the host's FindFirst
// (FileSearchPosix.cpp, FileSearchWindows.cpp); this tree only decides which
// folder is read when and by whom.
#pragma once

#include "host/FileSearch.h"
#include "host/Lookahead.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace host::ahead {

// An open folder whose subfolders can still be opened through it: a
// descriptor on POSIX, the folder's path on Windows.  Shared by the folder's
// node, its pending subfolders and the rest of its listing.
struct Folder;
struct FolderDeleter {
    void operator()(Folder *folder) const;
};
using FolderRef = std::shared_ptr<Folder>;

// The unread rest of a folder too big for one part.
struct Rest;
struct RestDeleter {
    void operator()(Rest *rest) const;
};
using RestPtr = std::unique_ptr<Rest, RestDeleter>;

// The entries of one folder in the host's order, packed: for each, 4 bytes
// of the host's own description (POSIX: the type bits of st_mode; Windows:
// the attribute bits), a flag byte, the name's length in 2 bytes, the name.
class Listing {
public:
    // descend: a folder the walk enters ("." and ".." are not).
    void Add(std::string_view name, std::uint32_t info, bool descend);
    // The entry at the cursor, moving past it; false at the end of the part.
    bool Next(std::string_view &name, std::uint32_t &info, bool &descend);
    // The name of every entry with descend set; the cursor stays where it is.
    template <class Visit> void ForEachSubfolder(Visit visit) const;
    std::size_t Bytes() const { return bytes_.size(); }
    // Drops the part read so far, before the next part is added.
    void Clear() {
        bytes_.clear();
        at_ = 0;
    }

    int error = 0; // the host's error after the entries of this part; 0 when none
    RestPtr rest;  // set while the folder has more entries to read

private:
    std::string bytes_;
    std::size_t at_ = 0;
};

template <class Visit> void Listing::ForEachSubfolder(Visit visit) const {
    for (std::size_t at = 0; at + 7 <= bytes_.size();) {
        const auto *p = reinterpret_cast<const unsigned char *>(bytes_.data() + at);
        const std::size_t length = std::size_t(p[5]) | std::size_t(p[6]) << 8;
        if (p[4])
            visit(std::string_view(bytes_.data() + at + 7, length));
        at += 7 + length;
    }
}

enum class Outcome {
    Listed, // the first part of the folder's listing is there
    Failed, // the host refused the folder (error tells why); the walk lists nothing
    Retry,  // a helper could not tell (out of descriptors, memory, a name it
            // cannot hand over): the walk must list the folder itself
};

struct Listed {
    Outcome outcome = Outcome::Failed;
    int error = 0;
    Listing listing;
    FolderRef folder; // the opened folder, for its subfolders and its rest
};

// Provided by each host half.
//
// Opens the folder name within parent exactly as FindFirst opens a folder
// through its parent's search, and lists its first part.  A helper passes
// its count of descriptors, which then counts what stays open.  A helper's
// failure, whatever it is, comes back as Retry: the walk decides.
Listed ListChild(const Folder &parent, const std::string &name, const SearchOptions &options,
                 std::atomic<int> *descriptors);
// Lists the first part of a folder that the walk opened itself.
Listed ListOpened(const FolderRef &folder);
// Replaces listing's entries with the next part of its folder and moves its
// rest on (empty at the end of the folder).  Returns the folder that the
// subfolders of that part are opened through.
FolderRef ListMore(Listing &listing);
// A folder path (final separator included) this long or longer is refused.
std::size_t PathLimit();
// What the calling thread has read from the disk so far, in the host's
// units; -1 where the host does not tell.
std::int64_t DiskReads();
// Puts the calling helper thread below the walk's thread for the processor,
// so that a helper that wants a core while the walk does gives way to it.
void YieldToWalk();

struct Node;

// What a search handle on the walk's thread does with the tree.
//
// The folder of the subfolder in the given slot of node (slots count the
// entries with descend set, from 0); null when the lookahead has none.
Node *Child(Node *node, std::size_t slot);
// The listing of node for the walk, waiting for a helper that is reading it,
// or listing it here when none has begun.
Listed Take(Lookahead &lookahead, Node *node);
// Starts a tree at a folder the walk opened itself; lists it here and
// returns its node (in *node).  path length: the folder's, with its final
// separator.
Listed Adopt(Lookahead &lookahead, const FolderRef &folder, std::size_t pathLength,
             const SearchOptions &options, Node **node);
// Reads the next part of node's listing here (see ListMore); the subfolders
// in it are read ahead from now on.
void More(Lookahead &lookahead, Node *node, Listing &listing);
// The walk is done with node and its listing: they and whatever was read
// ahead below it go.
void Release(Lookahead &lookahead, Node *node, Listing &&listing);

} // namespace host::ahead
