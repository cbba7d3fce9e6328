// Our own walk of a folder tree, in the order the host lists it (readdir on
// POSIX, FindFirstFileW on Windows): what a whole-drive search is expected to
// visit.  Also small helpers for trees that Qt cannot build or remove (names
// that are not UTF-8, paths longer than PATH_MAX, folders made unreadable).
// Paths are native, UTF-8 on Windows.
#pragma once

#include <string>
#include <vector>
#ifdef _WIN32
#include "host/Text.h"

#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace walk {

#ifdef _WIN32
inline constexpr char Separator = '\\';

inline std::wstring wide(const std::string &utf8) {
    const std::u16string u = host::Utf16FromUtf8(utf8);
    return std::wstring(u.begin(), u.end());
}

inline std::string utf8(const wchar_t *wide) {
    const std::wstring_view v(wide);
    return host::Utf8FromUtf16(std::u16string(v.begin(), v.end()));
}
#else
inline constexpr char Separator = '/';
#endif

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
// entry named like search (when search is not empty).  A link is an entry,
// never entered.
inline void folder(std::string path, const std::string &search, Result &r) {
    if (path.empty() || path.back() != Separator)
        path += Separator;
#ifdef _WIN32
    WIN32_FIND_DATAW d;
    const HANDLE h = ::FindFirstFileW(wide(path + "*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = utf8(d.cFileName);
        r.visits.push_back(path + name);
        const DWORD attr = d.dwFileAttributes;
        if ((attr & FILE_ATTRIBUTE_DIRECTORY) && !(attr & FILE_ATTRIBUTE_REPARSE_POINT)) {
            if (name != "." && name != "..")
                folder(path + name, search, r);
        } else if (!search.empty() && sameIgnoringAsciiCase(name, search)) {
            r.found = path + name;
        }
    } while (r.found.empty() && ::FindNextFileW(h, &d));
    ::FindClose(h);
#else
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
#endif
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

// Descriptors (on Windows: handles) this process holds.
inline int openDescriptors() {
#ifdef _WIN32
    DWORD n = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &n);
    return int(n);
#else
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
#endif
}

#ifdef _WIN32
// Removes a tree, read-only, hidden and system entries included; a link is
// removed, never entered.
inline void removeTree(const std::string &path) {
    const std::wstring self = wide(path);
    const DWORD attr = ::GetFileAttributesW(self.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES)
        return;
    ::SetFileAttributesW(self.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attr & FILE_ATTRIBUTE_DIRECTORY)) {
        ::DeleteFileW(self.c_str());
        return;
    }
    if (!(attr & FILE_ATTRIBUTE_REPARSE_POINT)) {
        std::vector<std::string> names;
        WIN32_FIND_DATAW d;
        const HANDLE h = ::FindFirstFileW(wide(path + "\\*").c_str(), &d);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = utf8(d.cFileName);
                if (name != "." && name != "..")
                    names.push_back(name);
            } while (::FindNextFileW(h, &d));
            ::FindClose(h);
        }
        for (const std::string &name : names)
            removeTree(path + "\\" + name);
    }
    ::RemoveDirectoryW(self.c_str());
}
#else

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

// Removes a tree of any depth, whatever it holds.
inline void removeTree(const std::string &path) {
    removeAt(AT_FDCWD, path.c_str());
}
#endif

} // namespace walk
