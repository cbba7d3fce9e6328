// Directory search on Windows, over FindFirstFileExW and its kin.
//
// Paths go in and names come out as UTF-8 (see WindowsText.h): a folder named
// in characters the ANSI code page lacks is listed, probed and walked by its
// real name.  Each entry found is described in one place, describeEntry,
// which any listing of a folder goes through, read ahead or not.
//
// A folder read through a lookahead is listed the same way (basic
// information, large fetches) on a helper thread.  Whenever a helper cannot
// (a path beyond MAX_PATH, any failure), the walk lists the folder itself, as
// without one.
#include "host/FileSearch.h"
#include "host/LookaheadTree.h"
#include "host/Text.h"
#include "host/WindowsText.h"

#include <windows.h>

#include <utility>

namespace host {

struct SearchHandle {
    HANDLE find = INVALID_HANDLE_VALUE;
    int mask = 0;

    // A folder listed through a lookahead: its node and listing, the next
    // subfolder's slot, and the node of the entry in hand when it is one.
    Lookahead *lookahead = nullptr;
    ahead::Node *node = nullptr;
    ahead::Listing listing;
    bool fromListing = false;
    std::size_t slot = 0;
    ahead::Node *current = nullptr;

    ~SearchHandle() {
        if (find != INVALID_HANDLE_VALUE)
            ::FindClose(find);
        if (node)
            ahead::Release(*lookahead, node, std::move(listing));
    }
};

void SearchHandleDeleter::operator()(SearchHandle *handle) const {
    delete handle;
}

namespace {

// Whether an entry is a reparse point that stands for another place: a
// junction, a symbolic link or a mounted volume (a name surrogate).  Windows
// tells the kind in dwReserved0; Wine leaves it 0 for the Unix symbolic links
// that it lists as reparse points, and an unknown kind counts as a link.
// Other reparse points (a cloud file's placeholder, say) hold their own
// entries and are folders like any other.
bool standsForAnotherPlace(const WIN32_FIND_DATAW &d) {
    if (!(d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    return d.dwReserved0 == 0 || IsReparseTagNameSurrogate(d.dwReserved0);
}

// One entry as the search reports it: its name in UTF-8 and its fa* bits.  A
// folder that stands for another place is reported without faDirectory, as a
// symbolic link is on POSIX, so that a walk names it and never enters it: a
// junction loop, or the "Application Data" junction in a profile, would
// otherwise take a walk round and round until the path grew too long.
int describeEntry(const WIN32_FIND_DATAW &d, std::string &name) {
    name = Narrow(d.cFileName);
    int attr = int(d.dwFileAttributes & faAnyFile);
    if (standsForAnotherPlace(d))
        attr &= ~faDirectory;
    return attr;
}

bool isDotName(std::string_view name) {
    return name == "." || name == "..";
}

} // namespace

namespace ahead {

struct Folder {
    std::wstring path; // without a final separator ("C:" for the root of C)
};

void FolderDeleter::operator()(Folder *folder) const {
    delete folder;
}

struct Rest {
    HANDLE find = INVALID_HANDLE_VALUE; // after what was listed
    FolderRef folder;
    std::atomic<int> *count = nullptr; // a helper's, while it is open
};

void RestDeleter::operator()(Rest *rest) const {
    if (rest->find != INVALID_HANDLE_VALUE)
        ::FindClose(rest->find);
    if (rest->count)
        rest->count->fetch_sub(1, std::memory_order_relaxed);
    delete rest;
}

namespace {

// Adds one found entry, described as the walk's own search describes it.
void add(const WIN32_FIND_DATAW &d, Listing &out, std::string &name) {
    const int attr = describeEntry(d, name);
    out.Add(name, std::uint32_t(attr), (attr & faDirectory) && !isDotName(name));
}

// Goes on listing from find into out until about half a part is there;
// keeps find as the rest when the folder has more.
void listFrom(HANDLE find, const FolderRef &folder, std::atomic<int> *count, Listing &out) {
    WIN32_FIND_DATAW d;
    std::string name;
    while (out.Bytes() < LookaheadLimits::PartBytes / 2) {
        if (!::FindNextFileW(find, &d)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_NO_MORE_FILES)
                out.error = int(error);
            ::FindClose(find);
            return;
        }
        add(d, out, name);
    }
    if (count)
        count->fetch_add(1, std::memory_order_relaxed);
    out.rest.reset(new Rest{find, folder, count});
}

Listed list(const FolderRef &folder, std::atomic<int> *count) {
    Listed l;
    l.outcome = Outcome::Retry;
    const std::wstring pattern = folder->path + L"\\*";
    if (pattern.size() >= MAX_PATH)
        return l; // the walk's own search decides how far it reaches
    WIN32_FIND_DATAW d;
    const HANDLE find =
        ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &d, FindExSearchNameMatch, nullptr,
                           FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        l.error = int(::GetLastError());
        return l;
    }
    std::string name;
    add(d, l.listing, name);
    listFrom(find, folder, count, l.listing);
    // A helper that met an error hands the folder back: the walk's own
    // reading decides what it lists.
    if (count && l.listing.error)
        return Listed{Outcome::Retry, 0, {}, {}};
    l.outcome = Outcome::Listed;
    l.folder = folder;
    return l;
}

} // namespace

Listed ListChild(const Folder &parent, const std::string &name, const SearchOptions &,
                 std::atomic<int> *descriptors) {
    const FolderRef folder(new Folder{parent.path + L"\\" + Wide(name)}, FolderDeleter());
    return list(folder, descriptors);
}

Listed ListOpened(const FolderRef &folder) {
    return list(folder, nullptr);
}

FolderRef ListMore(Listing &listing) {
    RestPtr rest = std::move(listing.rest);
    listing.Clear();
    const HANDLE find = std::exchange(rest->find, INVALID_HANDLE_VALUE);
    listFrom(find, rest->folder, nullptr, listing);
    return rest->folder;
}

std::size_t PathLimit() {
    return std::size_t(-1); // the search itself decides, see list()
}

void YieldToWalk() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

std::int64_t DiskReads() {
    return -1; // the lookahead goes by how long a folder took
}

} // namespace ahead

namespace {

void describe(const WIN32_FIND_DATAW &d, TSearchRec &f) {
    f.Attr = describeEntry(d, f.Name);
    f.Size = (std::int64_t(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

int nextAdmitted(TSearchRec &f, WIN32_FIND_DATAW &d) {
    for (;;) {
        if (!::FindNextFileW(f.handle->find, &d))
            return int(::GetLastError());
        describe(d, f);
        if (Admitted(f.Attr, f.handle->mask))
            return 0;
    }
}

int nextFromListing(TSearchRec &f) {
    SearchHandle &h = *f.handle;
    std::string_view name;
    std::uint32_t attr = 0;
    bool descend = false;
    for (;;) {
        if (!h.listing.Next(name, attr, descend)) {
            h.current = nullptr;
            if (const int error = h.listing.error) {
                h.listing.error = 0;
                return error;
            }
            if (!h.listing.rest)
                return ERROR_NO_MORE_FILES;
            ahead::More(*h.lookahead, h.node, h.listing);
            continue;
        }
        h.current = descend ? ahead::Child(h.node, h.slot++) : nullptr;
        f.Name.assign(name);
        f.Size = 0;
        f.Attr = int(attr);
        if (Admitted(f.Attr, h.mask))
            return 0;
    }
}

// FindFirst through a lookahead for a folder whose every entry is asked
// for.  0 with the folder's listing in h; -1 when the walk lists the folder
// itself; else the error FindFirst returns.
int firstAhead(const std::string &folder, SearchHandle &h, const SearchOptions &options) {
    Lookahead &lookahead = *options.lookahead;
    SearchHandle *parent = options.within ? options.within->handle.get() : nullptr;
    ahead::Node *node = parent ? std::exchange(parent->current, nullptr) : nullptr;
    ahead::Listed listed;
    if (node) {
        listed = ahead::Take(lookahead, node);
    } else {
        // A folder not read ahead starts a tree of its own: a drive's root,
        // or one below a folder the lookahead handed back.
        if (folder.size() < 2 || folder.back() != '\\' ||
            folder.find_first_of("*?") != std::string::npos)
            return -1;
        const std::wstring path = Wide(std::string_view(folder).substr(0, folder.size() - 1));
        const ahead::FolderRef opened(new ahead::Folder{path}, ahead::FolderDeleter());
        listed = ahead::Adopt(lookahead, opened, folder.size(), options, &node);
    }
    h.lookahead = &lookahead;
    h.node = node; // released with h
    if (listed.outcome == ahead::Outcome::Retry)
        return -1;
    if (listed.outcome == ahead::Outcome::Failed)
        return listed.error ? listed.error : ERROR_PATH_NOT_FOUND;
    h.listing = std::move(listed.listing);
    h.fromListing = true;
    return 0;
}

} // namespace

int FindFirst(const std::string &path, int mask, TSearchRec &f, SearchOptions options) {
    FindClose(f);
    std::unique_ptr<SearchHandle, SearchHandleDeleter> h(new SearchHandle);
    h->mask = mask;
    const std::string folder = ExtractFilePath(path);
    const std::string_view last = std::string_view(path).substr(folder.size());
    if (options.lookahead && !options.wantSize && (last == "*.*" || last == "*")) {
        const int ahead = firstAhead(folder, *h, options);
        if (ahead == 0) {
            f.handle = std::move(h);
            return nextFromListing(f);
        }
        if (ahead > 0)
            return ahead;
    }
    WIN32_FIND_DATAW d;
    // Basic information leaves out the 8.3 names, which nobody here reads.
    h->find = ::FindFirstFileExW(Wide(path).c_str(), FindExInfoBasic, &d, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h->find == INVALID_HANDLE_VALUE)
        return int(::GetLastError());
    f.handle = std::move(h);
    describe(d, f);
    if (Admitted(f.Attr, mask))
        return 0;
    return nextAdmitted(f, d);
}

int FindNext(TSearchRec &f) {
    if (!f.handle)
        return ERROR_NO_MORE_FILES;
    if (f.handle->fromListing)
        return nextFromListing(f);
    if (f.handle->find == INVALID_HANDLE_VALUE)
        return ERROR_NO_MORE_FILES;
    WIN32_FIND_DATAW d;
    return nextAdmitted(f, d);
}

VolumeId VolumeOf(const std::string &) {
    return 0;
}

} // namespace host
