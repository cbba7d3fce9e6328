// Inside the host layer only: what each host half provides so that folders
// can be read on a helper thread (host/Lookahead.cpp): an open folder, a
// part of its listing, and how an entry of that listing is described.
#pragma once

#include "host/FileSearch.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host::ahead {

// The entries of one folder (or a part of it) in the host's order: for each,
// its name, the host's own description (POSIX: the type bits of st_mode;
// Windows: the attribute bits), and whether the walk enters it ("." and ".."
// it does not).
class Listing {
public:
    void Add(std::string_view name, std::uint32_t info, bool descend) {
        name = name.substr(0, 0xFFFF);
        entries_.push_back({info, std::uint16_t(name.size()), descend});
        names_.append(name);
    }
    // The entry at the cursor, moving past it; false at the end of the part.
    bool Next(std::string_view &name, std::uint32_t &info, bool &descend) {
        if (next_ == entries_.size())
            return false;
        const Entry &e = entries_[next_++];
        name = std::string_view(names_).substr(nameAt_, e.length);
        nameAt_ += e.length;
        info = e.info;
        descend = e.descend;
        return true;
    }
    // Calls visit with the name of every entry the walk enters.
    template <class Visit> void ForEachSubfolder(Visit visit) const {
        std::size_t at = 0;
        for (const Entry &e : entries_) {
            if (e.descend)
                visit(std::string_view(names_).substr(at, e.length));
            at += e.length;
        }
    }
    // Room for at most entries more entries whose names take at most bytes.
    void Reserve(std::size_t entries, std::size_t bytes) {
        entries_.reserve(entries_.size() + entries);
        names_.reserve(names_.size() + bytes);
    }
    // The memory it holds.
    std::size_t Bytes() const { return names_.capacity() + entries_.capacity() * sizeof(Entry); }

    int error = 0;     // the host's error after the entries of this part; 0 when none
    bool more = false; // the folder has entries beyond this part

private:
    struct Entry {
        std::uint32_t info;
        std::uint16_t length;
        bool descend;
    };
    std::vector<Entry> entries_;
    std::string names_;
    std::size_t next_ = 0, nameAt_ = 0;
};

// A folder opened for listing; its subfolders are opened through it.
struct Dir;
// Closes it; defined by each host half.
void Close(Dir *dir);
struct Folder {
    Dir *dir = nullptr;
    // While it counts against the read-ahead's descriptors: that count.
    std::atomic<std::atomic<int> *> counted{nullptr};
    void Uncount() {
        if (std::atomic<int> *c = counted.exchange(nullptr))
            c->fetch_sub(1);
    }
    ~Folder() {
        Close(dir);
        Uncount();
    }
};
using FolderRef = std::shared_ptr<Folder>;

// Provided by each host half.
//
// Opens the folder at path (its final separator included) exactly as
// FindFirst opens it: through parent by its name when parent is given (never
// following a link there), else by the whole path; kept to the volume.  0
// with the folder in *out, or the host's error.
int OpenFolder(const Dir *parent, const std::string &path, const std::string &name, VolumeId volume,
               Dir **out);
// Adds the next part of dir's listing to out (about PartBytes), setting
// out.more when entries are left and out.error on a failure.
void ReadPart(Dir &dir, Listing &out);
// Fills f's name, attributes and Special from an entry of a Listing.
void Describe(std::string_view name, std::uint32_t info, TSearchRec &f);
// FindFirst and FindNext without a Lookahead.
int NativeFindFirst(const std::string &path, int mask, TSearchRec &f, const SearchOptions &options);
int NativeFindNext(TSearchRec &f);
// Runs body on a new thread that nobody joins; below: beneath the walk's
// thread for the processor.  False when no thread could be made.
bool StartHelper(std::function<void()> body, bool below);

// FindFirst and FindNext of a folder listed through a Lookahead (Lookahead.cpp).
int First(const std::string &path, int mask, TSearchRec &f, const SearchOptions &options);
int Next(TSearchRec &f);

} // namespace host::ahead
