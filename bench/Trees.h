// The generated trees the benchmark scans, and the bare walker that sets the
// floor for every scan.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

struct TreeSpec {
    std::string name; // folder under the benchmark's base folder
    std::uint64_t seed;
    std::uint64_t entries; // about this many entries in all
    bool flat;             // one folder of files, or a realistic tree
};

// Makes the tree under base unless a tree of the same shape is already there.
// Returns its root; prints what it does to stderr.
std::string EnsureTree(const std::string &base, const TreeSpec &shape);

// Recursive readdir over root using d_type, without building paths; the
// number of entries listed ("." and ".." included, as the scan reports them).
std::uint64_t WalkBare(const std::string &root);

} // namespace bench
