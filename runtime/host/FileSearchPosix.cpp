// Directory search on POSIX hosts.
//
// A name that begins with "." counts as hidden; a FIFO, socket or device node
// counts as a system file.  A listing reports each entry itself: a symbolic
// link is a plain entry, never followed.  A probe of one named path (no
// wildcard) follows a final link, as opening that path would.
#include "runtime/host/FileSearch.h"
#include "runtime/host/Text.h"

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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

    ~SearchHandle() {
        if (dir)
            closedir(dir);
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

// Fills f from one directory entry; false when the entry cannot be examined.
bool describe(DIR *dir, const dirent *e, const SearchHandle &h, TSearchRec &f) {
    const std::string_view name(e->d_name);
    mode_t type = 0;
    switch (e->d_type) {
    case DT_DIR:
        type = S_IFDIR;
        break;
    case DT_REG:
        type = S_IFREG;
        break;
    case DT_LNK:
        type = S_IFLNK;
        break;
    case DT_FIFO:
        type = S_IFIFO;
        break;
    case DT_SOCK:
        type = S_IFSOCK;
        break;
    case DT_CHR:
        type = S_IFCHR;
        break;
    case DT_BLK:
        type = S_IFBLK;
        break;
    default:
        break;
    }
    f.Size = 0;
    if (type == 0 || h.options.wantSize) {
        struct stat st;
        if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (type == 0)
                return false; // vanished, and we cannot tell what it was
        } else {
            type = st.st_mode & S_IFMT;
            f.Size = h.options.wantSize ? std::int64_t(st.st_size) : 0;
        }
    }
    f.Name.assign(name);
    f.Attr = attrFromMode(name, type);
    f.Special = isSpecial(type);
    return true;
}

int nextListed(TSearchRec &f) {
    SearchHandle &h = *f.handle;
    for (;;) {
        errno = 0;
        const dirent *e = readdir(h.dir);
        if (!e)
            return errno ? errno : ENOENT;
        if (!h.everyName && !MatchesMask(e->d_name, h.pattern, false))
            continue;
        if (describe(h.dir, e, h, f) && Admitted(f.Attr, h.mask))
            return 0;
    }
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
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK;
    const TSearchRec *within = options.within;
    const int fd =
        within && within->handle && within->handle->dir
            ? openat(dirfd(within->handle->dir), within->Name.c_str(), flags | O_NOFOLLOW)
            : open(folder.empty() ? "." : folder.c_str(), flags);
    if (fd < 0)
        return errno ? errno : ENOENT;
    if (options.stayOnVolume != 0 && volumeAt(fd, "", AT_EMPTY_PATH) != options.stayOnVolume) {
        close(fd);
        return EXDEV;
    }
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
    return f.handle && f.handle->dir ? nextListed(f) : ENOENT;
}

VolumeId VolumeOf(const std::string &path) {
    return volumeAt(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW);
}

} // namespace host
