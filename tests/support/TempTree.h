// A folder tree in a temporary directory, built from relative paths.
#pragma once

#include <QTemporaryDir>
#include <string>

class TempTree {
public:
    TempTree();
    // The root, as native bytes, without a final separator.
    std::string root() const;
    std::string path(const std::string &rel) const { return root() + "/" + rel; }
    // Creates a file (and its folders); a size makes it sparse.
    void file(const std::string &rel, qint64 size = 0) const;
    void folder(const std::string &rel) const;
    // Lays out a kit: the program's folder with Demo, Delphi-3 and Delphi-4.
    void kit() const;

private:
    QTemporaryDir dir_;
};
