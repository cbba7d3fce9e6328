// Our own walk of a folder tree with readdir, in the order the host lists it:
// what a whole-drive search is expected to visit.  Also small POSIX helpers
// for trees that Qt cannot build (names that are not UTF-8, paths longer than
// PATH_MAX).
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace walk {

inline bool sameIgnoringAsciiCase(const std::string &a, const std::string &b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto up = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
        if (up(a[i]) != up(b[i]))
            return false;
    }
    return true;
}

struct Result {
    std::vector<std::string> visits; // full paths, "." and ".." included
    std::string found;
};

// Visits folder's entries pre-order, depth first; stops at the first plain
// entry named like search (when search is not empty).
inline void folder(std::string path, const std::string &search, Result &r) {
    if (path.empty() || path.back() != '/')
        path += '/';
    DIR *d = opendir(path.c_str());
    if (!d)
        return;
    while (r.found.empty()) {
        const dirent *e = readdir(d);
        if (!e)
            break;
        const std::string name = e->d_name;
        r.visits.push_back(path + name);
        if (e->d_type == DT_DIR) {
            if (name != "." && name != "..")
                folder(path + name, search, r);
        } else if (!search.empty() && sameIgnoringAsciiCase(name, search)) {
            r.found = path + name;
        }
    }
    closedir(d);
}

inline Result drives(const std::vector<std::string> &roots, const std::string &search) {
    Result r;
    for (const std::string &root : roots) {
        if (!r.found.empty())
            break;
        folder(root, search, r);
    }
    return r;
}

inline int openDescriptors() {
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

// Removes the entry name below the folder dirFd, whatever its depth, also
// folders that were made unreadable.
inline void removeAt(int dirFd, const char *name) {
    if (unlinkat(dirFd, name, 0) == 0)
        return;
    fchmodat(dirFd, name, 0700, 0);
    const int fd = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    if (DIR *d = fdopendir(fd)) {
        std::vector<std::string> names;
        while (const dirent *e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        for (const std::string &n : names)
            removeAt(dirfd(d), n.c_str());
        closedir(d);
    } else {
        close(fd);
    }
    unlinkat(dirFd, name, AT_REMOVEDIR);
}

} // namespace walk
