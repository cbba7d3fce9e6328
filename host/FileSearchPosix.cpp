// Directory search on POSIX hosts.
//
// A name that begins with "." counts as hidden; a FIFO, socket or device node
// counts as a system file.  A listing reports each entry itself: a symbolic
// link is a plain entry, never followed.  A probe of one named path (no
// wildcard) follows a final link, as opening that path would.
#include "host/FileSearch.h"
#include "host/LookaheadTree.h"
#include "host/Text.h"

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif

namespace host {

struct SearchHandle {
    DIR *dir = nullptr;
    std::string pattern;    // wildcard part of the path
    bool everyName = false; // pattern is "*": no name needs matching
    int mask = 0;
    SearchOptions options;

    // A folder listed through a lookahead: its node and listing, the next
    // subfolder's slot, and the node of the entry in hand when it is one.
    Lookahead *lookahead = nullptr;
    ahead::Node *node = nullptr;
    ahead::Listing listing;
    std::size_t slot = 0;
    ahead::Node *current = nullptr;

    ~SearchHandle() {
        if (dir)
            closedir(dir);
        if (node)
            ahead::Release(*lookahead, node, std::move(listing));
    }
};

void SearchHandleDeleter::operator()(SearchHandle *handle) const {
    delete handle;
}

namespace {

bool hasWildcard(std::string_view s) {
    return s.find_first_of("*?") != std::string_view::npos;
}

// The mount an entry lies on, so that a scan stays within it: a folder with
// another file system (or another view of this one) mounted on it is another
// volume, while a part of the mounted file system that has a device number
// of its own (a btrfs subvolume) is not.  Where the kernel tells no mount ID,
// the device number stands in.  One system call either way.
// path is relative to dir; AT_EMPTY_PATH in flags names dir itself.
VolumeId volumeAt(int dir, const char *path, int flags) {
#if defined(__linux__) && defined(STATX_MNT_ID)
    struct statx sx;
    if (statx(dir, path, flags | AT_STATX_DONT_SYNC, STATX_MNT_ID, &sx) == 0) {
        if (sx.stx_mask & STATX_MNT_ID)
            return (VolumeId(1) << 63) | sx.stx_mnt_id; // never a device number's value
        return VolumeId(makedev(sx.stx_dev_major, sx.stx_dev_minor)) + 1;
    }
#endif
    struct stat st;
    // Shifted by one so that no real device number reads as "unknown".
    return fstatat(dir, path, &st, flags) == 0 ? VolumeId(st.st_dev) + 1 : 0;
}

bool isDotName(std::string_view name) {
    return name == "." || name == "..";
}

int attrFromMode(std::string_view name, mode_t mode) {
    int attr = 0;
    if (S_ISDIR(mode))
        attr |= faDirectory;
    else if (!S_ISREG(mode) && !S_ISLNK(mode))
        attr |= faSysFile;
    if (!name.empty() && name[0] == '.' && !isDotName(name))
        attr |= faHidden;
    return attr;
}

bool isSpecial(mode_t mode) {
    return S_ISFIFO(mode) || S_ISSOCK(mode) || S_ISCHR(mode) || S_ISBLK(mode);
}

mode_t typeFromDirent(unsigned char type) {
    switch (type) {
    case DT_DIR:
        return S_IFDIR;
    case DT_REG:
        return S_IFREG;
    case DT_LNK:
        return S_IFLNK;
    case DT_FIFO:
        return S_IFIFO;
    case DT_SOCK:
        return S_IFSOCK;
    case DT_CHR:
        return S_IFCHR;
    case DT_BLK:
        return S_IFBLK;
    default:
        return 0;
    }
}

// The type bits of the entry name of the folder dirFd, from its directory
// entry where that tells, else from the entry itself; 0 when it cannot be
// examined (it vanished).  size, when given, receives its size.
mode_t entryType(int dirFd, const char *name, unsigned char direntType, std::int64_t *size) {
    mode_t type = typeFromDirent(direntType);
    if (type == 0 || size) {
        struct stat st;
        if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return type; // 0: vanished, and we cannot tell what it was
        type = st.st_mode & S_IFMT;
        if (size)
            *size = std::int64_t(st.st_size);
    }
    return type;
}

void fill(TSearchRec &f, std::string_view name, mode_t type) {
    f.Name.assign(name);
    f.Attr = attrFromMode(name, type);
    f.Special = isSpecial(type);
}

// Fills f from one directory entry; false when the entry cannot be examined.
bool describe(DIR *dir, const dirent *e, const SearchHandle &h, TSearchRec &f) {
    f.Size = 0;
    const mode_t type =
        entryType(dirfd(dir), e->d_name, e->d_type, h.options.wantSize ? &f.Size : nullptr);
    if (type == 0)
        return false;
    fill(f, e->d_name, type);
    return true;
}

// Opens a folder to list it: by name through its parent's open folder at,
// never following a link there, or by its whole path when at is -1; then
// keeps it to the volume.  The descriptor, or minus the error.
int openFolder(int at, const char *name, const SearchOptions &options) {
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK;
    const int fd = at >= 0 ? openat(at, name, flags | O_NOFOLLOW) : open(name, flags);
    if (fd < 0)
        return -(errno ? errno : ENOENT);
    if (options.stayOnVolume != 0 && volumeAt(fd, "", AT_EMPTY_PATH) != options.stayOnVolume) {
        close(fd);
        return -EXDEV;
    }
    return fd;
}

} // namespace

namespace ahead {

struct Folder {
    int fd = -1;
    std::atomic<int> *count = nullptr; // a helper's, while it is open
};

void FolderDeleter::operator()(Folder *folder) const {
    if (folder->fd >= 0)
        close(folder->fd);
    if (folder->count)
        folder->count->fetch_sub(1, std::memory_order_relaxed);
    delete folder;
}

struct Rest {
    FolderRef folder; // positioned after what was listed
};

void RestDeleter::operator()(Rest *rest) const {
    delete rest;
}

namespace {

// Lists a part of the open folder into out: whole getdents batches until
// about half a part is there, or to the end of the folder.
void listPart(const FolderRef &folder, Listing &out) {
    alignas(8) char buffer[LookaheadLimits::PartBytes];
    for (;;) {
        const ssize_t got = getdents64(folder->fd, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0)
                out.error = errno ? errno : EIO;
            return;
        }
        for (ssize_t at = 0; at < got;) {
            const auto *e = reinterpret_cast<const dirent64 *>(buffer + at);
            at += e->d_reclen;
            if (e->d_ino == 0) // deleted; readdir skips it too
                continue;
            const mode_t type = entryType(folder->fd, e->d_name, e->d_type, nullptr);
            if (type == 0)
                continue;
            const std::string_view name(e->d_name);
            out.Add(name, std::uint32_t(type), S_ISDIR(type) && !isDotName(name));
        }
        if (out.Bytes() >= LookaheadLimits::PartBytes / 2) {
            out.rest.reset(new Rest{folder});
            return;
        }
    }
}

} // namespace

Listed ListChild(const Folder &parent, const std::string &name, const SearchOptions &options,
                 std::atomic<int> *descriptors) {
    Listed l;
    const int fd = openFolder(parent.fd, name.c_str(), options);
    if (fd < 0) {
        l.outcome = descriptors ? Outcome::Retry : Outcome::Failed;
        l.error = -fd;
        return l;
    }
    if (descriptors)
        descriptors->fetch_add(1, std::memory_order_relaxed);
    l.folder.reset(new Folder{fd, descriptors}, FolderDeleter());
    listPart(l.folder, l.listing);
    // A helper that met an error hands the folder back: the walk's own
    // reading decides what it lists.
    l.outcome = descriptors && l.listing.error ? Outcome::Retry : Outcome::Listed;
    return l;
}

Listed ListOpened(const FolderRef &folder) {
    Listed l;
    l.folder = folder;
    listPart(folder, l.listing);
    l.outcome = Outcome::Listed;
    return l;
}

FolderRef ListMore(Listing &listing) {
    const RestPtr rest = std::move(listing.rest);
    listing.Clear();
    listPart(rest->folder, listing);
    return rest->folder;
}

std::size_t PathLimit() {
    return PATH_MAX;
}

void YieldToWalk() {
#ifdef __linux__
    // A thread's nice value is its own on Linux.  10: measured on two cores,
    // the timer's lateness during a warm scan drops from 6-11 ms to 1-6 ms
    // at the 99th percentile, for 3-4 % more time on a cold disk; at 19 the
    // cold scan takes a fifth longer.
    setpriority(PRIO_PROCESS, id_t(gettid()), 10);
#endif
}

std::int64_t DiskReads() {
#ifdef RUSAGE_THREAD
    rusage usage{};
    if (getrusage(RUSAGE_THREAD, &usage) == 0)
        return std::int64_t(usage.ru_inblock); // 512-byte blocks
#endif
    return -1;
}

} // namespace ahead

namespace {

int nextFromDir(TSearchRec &f) {
    SearchHandle &h = *f.handle;
    for (;;) {
        errno = 0;
        const dirent *e = readdir(h.dir);
        if (!e)
            return errno ? errno : ENOENT;
        if (!h.everyName && !MatchesMask(e->d_name, h.pattern))
            continue;
        if (describe(h.dir, e, h, f) && Admitted(f.Attr, h.mask))
            return 0;
    }
}

int nextFromListing(TSearchRec &f) {
    SearchHandle &h = *f.handle;
    std::string_view name;
    std::uint32_t type = 0;
    bool descend = false;
    for (;;) {
        if (!h.listing.Next(name, type, descend)) {
            if (const int error = h.listing.error) {
                h.listing.error = 0;
                h.current = nullptr;
                return error;
            }
            if (!h.listing.rest) {
                h.current = nullptr;
                return ENOENT;
            }
            ahead::More(*h.lookahead, h.node, h.listing);
            continue;
        }
        h.current = descend ? ahead::Child(h.node, h.slot++) : nullptr;
        if (!h.everyName && !MatchesMask(name, h.pattern))
            continue;
        f.Size = 0;
        fill(f, name, mode_t(type));
        if (Admitted(f.Attr, h.mask))
            return 0;
    }
}

int nextListed(TSearchRec &f) {
    return f.handle->node ? nextFromListing(f) : nextFromDir(f);
}

// FindFirst's search of a folder through a lookahead, into h.  0, or the
// error that FindFirst returns.
int firstAhead(const std::string &folder, SearchHandle &h, const SearchOptions &options) {
    Lookahead &lookahead = *options.lookahead;
    SearchHandle *parent = options.within ? options.within->handle.get() : nullptr;
    ahead::Node *node = parent ? std::exchange(parent->current, nullptr) : nullptr;
    ahead::Listed listed;
    if (node) {
        listed = ahead::Take(lookahead, node);
    } else {
        // Not read ahead: a drive's root, or a folder the lookahead was not
        // asked about.  It starts a tree of its own.
        const int at = parent && parent->dir ? dirfd(parent->dir) : -1;
        const int fd = openFolder(
            at, at >= 0 ? options.within->Name.c_str() : (folder.empty() ? "." : folder.c_str()),
            options);
        if (fd < 0)
            return -fd;
        const ahead::FolderRef opened(new ahead::Folder{fd, nullptr}, ahead::FolderDeleter());
        listed = ahead::Adopt(lookahead, opened, folder.size(), options, &node);
    }
    h.lookahead = &lookahead;
    h.node = node; // released with h, also when the folder fails
    if (listed.outcome != ahead::Outcome::Listed)
        return listed.error ? listed.error : ENOENT;
    h.listing = std::move(listed.listing);
    return 0;
}

} // namespace

int FindFirst(const std::string &path, int mask, TSearchRec &f, SearchOptions options) {
    FindClose(f);
    const std::string folder = ExtractFilePath(path);
    std::string_view last = std::string_view(path).substr(folder.size());

    if (!hasWildcard(last)) {
        struct stat st;
        if (path.empty() || (stat(path.c_str(), &st) != 0 && lstat(path.c_str(), &st) != 0))
            return errno ? errno : ENOENT;
        f.Name.assign(last);
        f.Attr = attrFromMode(last, st.st_mode);
        f.Special = isSpecial(st.st_mode);
        f.Size = std::int64_t(st.st_size);
        return Admitted(f.Attr, mask) ? 0 : ENOENT;
    }

    std::unique_ptr<SearchHandle, SearchHandleDeleter> h(new SearchHandle);
    h->pattern = last == "*.*" ? "*" : std::string(last); // "*.*" names every entry
    h->everyName = h->pattern == "*";
    h->mask = mask;
    h->options = options;
    h->options.within = nullptr; // only needed to open the folder
    if (folder.size() >= PATH_MAX)
        return ENAMETOOLONG; // refused as opening it by its path would be
    if (options.lookahead && !options.wantSize) {
        if (const int error = firstAhead(folder, *h, options))
            return error;
        f.handle = std::move(h);
        return nextListed(f);
    }
    const TSearchRec *within = options.within;
    const bool throughParent = within && within->handle && within->handle->dir;
    const int fd = openFolder(
        throughParent ? dirfd(within->handle->dir) : -1,
        throughParent ? within->Name.c_str() : (folder.empty() ? "." : folder.c_str()), options);
    if (fd < 0)
        return -fd;
    h->dir = fdopendir(fd);
    if (!h->dir) {
        const int err = errno;
        close(fd);
        return err ? err : ENOENT;
    }
    f.handle = std::move(h);
    return nextListed(f);
}

int FindNext(TSearchRec &f) {
    return f.handle && (f.handle->dir || f.handle->node) ? nextListed(f) : ENOENT;
}

VolumeId VolumeOf(const std::string &path) {
    return volumeAt(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW);
}

} // namespace host
