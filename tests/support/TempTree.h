// A folder tree in a temporary directory, built from relative paths.  It is
// removed whole at the end, whatever it holds: names that are not UTF-8,
// paths beyond PATH_MAX, folders made unreadable.
//
// Paths are native: bytes on POSIX, UTF-8 on Windows (as the host layer takes
// them), with the host's separator.  A relative path may be written with "/"
// on every host.
#pragma once

#include "host/Text.h"

#include <QTemporaryDir>
#include <string>

// The host's separator of folders in a path, as a string.
inline const std::string Sep(1, host::PathDelim);

// rel with every "/" turned into the host's separator.
std::string nativePath(std::string rel);

class TempTree {
public:
    // inMemory: under /dev/shm where there is one, for trees of many entries.
    explicit TempTree(bool inMemory = false);
    ~TempTree();
    TempTree(const TempTree &) = delete;
    TempTree &operator=(const TempTree &) = delete;
    // The root, as native bytes, without a final separator.
    std::string root() const;
    // The root as a drive to search: with a final separator.
    std::string drive() const { return root() + Sep; }
    std::string path(const std::string &rel) const { return root() + Sep + nativePath(rel); }
    // Creates a file (and its folders); a size makes it sparse.
    void file(const std::string &rel, qint64 size = 0) const;
    void folder(const std::string &rel) const;

private:
    QTemporaryDir dir_;
};
