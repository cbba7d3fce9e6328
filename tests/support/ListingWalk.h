// Our own walk of a folder tree, in the order the host lists it (readdir on
// POSIX, FindFirstFileW on Windows): what a whole-drive search is expected to
// visit.  Also small helpers for trees that Qt cannot build or remove (names
// that are not UTF-8, paths longer than PATH_MAX, folders made unreadable).
// Paths are native, UTF-8 on Windows.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>
#ifdef _WIN32
#include "tests/host/WinProgram.h"

#include <tlhelp32.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace walk {

#ifdef _WIN32
inline constexpr char Separator = '\\';
using winprog::utf8;
using winprog::wide;
#else
inline constexpr char Separator = '/';
#endif

inline bool sameIgnoringAsciiCase(const std::string &a, const std::string &b) {
    const auto up = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](char x, char y) { return up(x) == up(y); });
}

struct Result {
    std::vector<std::string> visits; // full paths, "." and ".." included
    std::string found;
};

// Visits folder's entries pre-order, depth first; stops at the first file or
// link named like search, ASCII case ignored (when search is not empty); a
// FIFO, socket or device never matches.  A link is an entry, never entered.
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
        } else if ((e->d_type == DT_REG || e->d_type == DT_LNK) && !search.empty() &&
                   sameIgnoringAsciiCase(name, search)) {
            r.found = path + name;
        }
    }
    closedir(d);
#endif
}

inline Result drives(const std::vector<std::string> &roots, const std::string &search) {
    Result r;
    for (auto root = roots.begin(); root != roots.end() && r.found.empty(); ++root)
        folder(*root, search, r);
    return r;
}

// Threads of this process: the finder's helpers while a scan runs.
inline int threads() {
    int n = 0;
#ifdef _WIN32
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 e;
    e.dwSize = sizeof e;
    for (BOOL more = ::Thread32First(snapshot, &e); more; more = ::Thread32Next(snapshot, &e))
        n += e.th32OwnerProcessID == ::GetCurrentProcessId();
    ::CloseHandle(snapshot);
#else
    // The kernel's own count.  A listing of /proc/self/task ends early where
    // a thread it has reached ends meanwhile, and so can miss the threads
    // after it: a scan's helpers then seemed gone while one was still ending.
    if (FILE *f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "Threads: %d", &n) == 1)
                break;
        std::fclose(f);
    }
#endif
    return n;
}

// The threads once no more than expected are left, within five seconds: the
// helpers are not joined, each ends on its own once it learns of the stop,
// which on a loaded machine can take a while (and an ended thread may still
// be listed for a moment while the kernel lets it go).
inline int threadsSettled(int expected) {
    for (int i = 0; i < 5000 && threads() > expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return threads();
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

// Creates a folder, an empty file; false when the path exists already.  Whether
// an entry is there (a link, not where it leads); a whole file written over or
// read (false when it cannot be).
#ifdef _WIN32
inline bool makeFolder(const std::string &path) {
    return ::CreateDirectoryW(wide(path).c_str(), nullptr);
}
inline bool makeFile(const std::string &path) {
    const HANDLE h = ::CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    return h != INVALID_HANDLE_VALUE && ::CloseHandle(h);
}
inline bool exists(const std::string &path) {
    return ::GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}
inline bool writeFile(const std::string &path, const std::string &contents) {
    return winprog::writeFile(wide(path), contents);
}
inline bool readFile(const std::string &path, std::string &contents) {
    contents.clear();
    return winprog::readFile(wide(path), contents);
}
#else
inline bool makeFolder(const std::string &path) {
    return mkdir(path.c_str(), 0755) == 0;
}
inline bool makeFile(const std::string &path) {
    const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
    return fd >= 0 && close(fd) == 0;
}
inline bool exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}
inline bool writeFile(const std::string &path, const std::string &contents) {
    return bool(std::ofstream(path, std::ios::binary | std::ios::trunc) << contents);
}
inline bool readFile(const std::string &path, std::string &contents) {
    std::ifstream in(path, std::ios::binary);
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return bool(in);
}
#endif

struct TreeShape {
    int steps = 0;         // random entries, each in a folder drawn from those made so far
    bool specials = false; // links (into the tree, up, dangling) and FIFOs; on Windows files
    int compilerAt = -1;   // the step beside whose entry a dcc32.EXE goes, if any
    int bigEntries = 0;    // long names in the folder "big": read in several parts
    int bigEvery = 1;      // of those, every so many a subfolder holding a file
    int chainDepth = 0;    // folders in a chain below "chain", a file at its bottom
};

// A random tree of folders, files and specials below root (which exists), one
// entry in eight hidden.  Returns the folders made, root included.
inline std::size_t randomTree(const std::string &root, unsigned seed, const TreeShape &shape) {
    const std::string top = root + Separator;
    std::mt19937 rng(seed);
    std::vector<std::string> folders{""}; // relative, with a final separator
    for (int i = 0; i < shape.steps; ++i) {
        const std::string at = folders[rng() % folders.size()];
        std::string name = rng() % 8 == 0 ? "." : "";
        name += std::to_string(rng() % 100000);
        const std::string path = top + at + name;
        const unsigned kind = rng() % 10;
        [[maybe_unused]] const unsigned target = rng();
        if (kind < 3) {
            if (makeFolder(path))
                folders.push_back(at + name + Separator);
#ifndef _WIN32
        } else if (kind == 3 && shape.specials) {
            symlink(target % 2 ? (top + folders[target / 2 % folders.size()]).c_str()
                               : (target % 4 ? ".." : "/nowhere"),
                    path.c_str());
        } else if (kind == 4 && shape.specials) {
            mkfifo(path.c_str(), 0644);
#endif
        } else {
            makeFile(path);
        }
        if (i == shape.compilerAt)
            makeFile(top + at + "dcc32.EXE");
    }
    const std::string sep(1, Separator);
    std::size_t made = folders.size();
    if (shape.bigEntries > 0 && makeFolder(top + "big"))
        ++made;
    for (int i = 0; i < shape.bigEntries; ++i) {
        const std::string name =
            top + "big" + sep + "an-entry-with-a-rather-long-name-" + std::to_string(i);
        if (i % shape.bigEvery != 5) {
            makeFile(name);
        } else if (makeFolder(name)) {
            ++made;
            makeFile(name + sep + "inside");
        }
    }
    if (shape.chainDepth > 0) {
        std::string chain = top + "chain";
        made += makeFolder(chain);
        for (int i = 0; i < shape.chainDepth; ++i)
            made += makeFolder(chain += sep + "d");
        makeFile(chain + sep + "bottom");
    }
    return made;
}

} // namespace walk
