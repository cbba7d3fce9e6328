// A folder tree in a temporary directory, built from relative paths.  It is
// removed whole at the end, whatever it holds: names that are not UTF-8,
// paths beyond PATH_MAX, folders made unreadable.
#pragma once

#include <QTemporaryDir>
#include <string>

class TempTree {
public:
    // inMemory: under /dev/shm where there is one, for trees of many entries.
    explicit TempTree(bool inMemory = false);
    ~TempTree();
    TempTree(const TempTree &) = delete;
    TempTree &operator=(const TempTree &) = delete;
    // The root, as native bytes, without a final separator.
    std::string root() const;
    std::string path(const std::string &rel) const { return root() + "/" + rel; }
    // Creates a file (and its folders); a size makes it sparse.
    void file(const std::string &rel, qint64 size = 0) const;
    void folder(const std::string &rel) const;

private:
    QTemporaryDir dir_;
};
