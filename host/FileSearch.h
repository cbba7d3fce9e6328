// Directory search and existence probes over the host's file system.
//
// Names and paths are native byte strings: on POSIX the bytes the kernel hands
// out, never decoded; on Windows UTF-8, whatever the ANSI code page.  Attribute
// bits and masks follow the classic DOS/Windows meaning on every host.
//
// A listing reports a link as a plain entry, never as a folder, so that a walk
// names it and does not enter it: on POSIX a symbolic link, on Windows a
// reparse point that stands for another place (a junction, a symbolic link,
// a mounted volume).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace host {

inline constexpr int faReadOnly = 0x01;
inline constexpr int faHidden = 0x02;
inline constexpr int faSysFile = 0x04;
inline constexpr int faVolumeID = 0x08;
inline constexpr int faDirectory = 0x10;
inline constexpr int faArchive = 0x20;
inline constexpr int faAnyFile = 0x3F;

// Identifies the volume an entry lies on; 0 when unknown.  On POSIX that is
// the mount (a bind mount is a volume of its own, a btrfs subvolume is part
// of its mount), or the device where the kernel tells no mount.  Windows has
// no such check: there it is always 0.
using VolumeId = std::uint64_t;

struct SearchHandle; // host-specific state of one open search
struct TSearchRec;
class Lookahead;     // host/Lookahead.h
struct FolderCursor; // a folder listed through a Lookahead

// Ends the host's search; each host half defines it.
struct SearchHandleDeleter {
    void operator()(SearchHandle *handle) const;
};
struct FolderCursorDeleter {
    void operator()(FolderCursor *cursor) const;
};

// What the caller wants of a search beyond the classic fields.
struct SearchOptions {
    // Fill Size for every entry.  On POSIX this costs one stat per entry, so a
    // scan that only needs names and attributes turns it off.
    bool wantSize = true;
    // When not 0, a folder that lies on another volume lists as empty.
    VolumeId stayOnVolume = 0;
    // The open search whose current entry is the folder to list; the path
    // must still name that folder.  The host may then open the folder through
    // that search instead of looking up its whole path again (on POSIX: one
    // lookup a folder, and an entry swapped for a link meanwhile is refused).
    const TSearchRec *within = nullptr;
    // Reads the folders of a depth-first walk ahead of it (see Lookahead.h):
    // each folder whose every entry is asked for ("*.*") comes from there,
    // entry for entry as the host lists it.  Ignored when wantSize is set.
    Lookahead *lookahead = nullptr;
};

struct TSearchRec {
    std::string Name;      // the entry's name, without its folder
    std::int64_t Size = 0; // bytes; 0 when not asked for
    int Attr = 0;          // fa* bits
    // A FIFO, socket or device node (POSIX): listed with faSysFile like any
    // system entry, but it holds no program, so it is never "the file" a
    // search by name is after.  Always false on Windows.
    bool Special = false;

    TSearchRec();
    ~TSearchRec();
    TSearchRec(const TSearchRec &) = delete;
    TSearchRec &operator=(const TSearchRec &) = delete;

    std::unique_ptr<SearchHandle, SearchHandleDeleter> handle; // empty while no search is open
    std::unique_ptr<FolderCursor, FolderCursorDeleter> cursor; // instead, through a Lookahead
};

// Whether an entry with the attribute bits attr is admitted by mask: each of
// its hidden, system, volume and directory bits must also be set in mask.
constexpr bool Admitted(int attr, int mask) {
    return (attr & ~mask & (faHidden | faSysFile | faVolumeID | faDirectory)) == 0;
}

// Starts a search for path, whose last component may hold the wildcards * and
// ? ("*.*" matches every name).  Only entries that mask admits are listed: 63
// admits everything, 16 admits folders and plain files but nothing hidden or
// system.
// Returns 0 with the first admitted entry in f; any other value when there is
// none, the folder is missing or unreadable, or the path is refused.
int FindFirst(const std::string &path, int mask, TSearchRec &f, SearchOptions options = {});
// 0 with the next admitted entry; any other value at the end or on an error.
int FindNext(TSearchRec &f);
// Ends the search.  Safe on a record whose FindFirst failed, and twice.
void FindClose(TSearchRec &f);

// One FindFirst on path with mask, released before returning.  When it finds
// an entry and size is given, *size receives the entry's size.
bool PathExists(const std::string &path, int mask, std::int64_t *size = nullptr);

// The volume that path lies on, without following a final symbolic link;
// 0 when path cannot be examined, and always 0 where the host has no volumes
// to tell apart.
VolumeId VolumeOf(const std::string &path);
#ifdef _WIN32
inline constexpr bool HasVolumes = false;
#else
inline constexpr bool HasVolumes = true;
#endif

} // namespace host
