// Directory search on Windows, over FindFirstFileA and its kin.
//
// A folder read through a lookahead is listed with FindFirstFileExW (basic
// information, large fetches) and its names turned to the ANSI code page as
// FindFirstFileA would give them.  Whenever that cannot stand for what
// FindFirstFileA would list (a name the code page cannot hold, a path beyond
// MAX_PATH, any failure), the walk lists the folder itself, as without one.
#include "runtime/host/FileSearch.h"
#include "runtime/host/LookaheadTree.h"
#include "runtime/host/Text.h"

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

std::wstring wide(std::string_view s) {
    if (s.empty())
        return {};
    const int n =
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(std::size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, s.data(), int(s.size()), w.data(), n);
    return w;
}

// The name in the ANSI code page.  exact: false when it holds a character
// the code page cannot; otherwise such a character becomes the code page's
// nearest or its default one, as in FindFirstFileA's names.
bool ansi(const wchar_t *name, std::string &out, bool exact) {
    const int length = int(::wcslen(name));
    out.clear();
    if (length == 0)
        return true;
    const DWORD flags = exact ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, flags, name, length, nullptr, 0, nullptr,
                                        exact ? &lossy : nullptr);
    if (n <= 0 || lossy)
        return false;
    out.resize(std::size_t(n));
    ::WideCharToMultiByte(CP_ACP, flags, name, length, out.data(), n, nullptr,
                          exact ? &lossy : nullptr);
    return !lossy;
}

bool isDotName(std::string_view name) {
    return name == "." || name == "..";
}

// Adds one found entry; false when it cannot be handed over.
bool add(const WIN32_FIND_DATAW &d, Listing &out, std::string &name, bool exact) {
    if (!ansi(d.cFileName, name, exact))
        return false;
    const std::uint32_t attr = d.dwFileAttributes;
    out.Add(name, attr, (attr & FILE_ATTRIBUTE_DIRECTORY) && !isDotName(name));
    return true;
}

// Goes on listing from find into out until about half a part is there;
// keeps find as the rest when the folder has more.  exact: see ansi(); lossy
// tells that a name stopped the listing.
void listFrom(HANDLE find, const FolderRef &folder, std::atomic<int> *count, Listing &out,
              bool exact, bool &lossy) {
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
        if (!add(d, out, name, exact)) {
            lossy = true;
            ::FindClose(find);
            return;
        }
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
        return l; // as far as the ANSI search reaches, no further
    WIN32_FIND_DATAW d;
    const HANDLE find =
        ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &d, FindExSearchNameMatch, nullptr,
                           FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        l.error = int(::GetLastError());
        return l;
    }
    // The first part is handed over only when every name in it is what
    // FindFirstFileA would list; the walk can still list the folder itself.
    std::string name;
    bool lossy = !add(d, l.listing, name, true);
    if (lossy)
        ::FindClose(find);
    else
        listFrom(find, folder, count, l.listing, true, lossy);
    if (lossy || (count && l.listing.error))
        return Listed{Outcome::Retry, 0, {}, {}};
    l.outcome = Outcome::Listed;
    l.folder = folder;
    return l;
}

} // namespace

Listed ListChild(const Folder &parent, const std::string &name, const SearchOptions &,
                 std::atomic<int> *descriptors) {
    const std::wstring w = wide(name);
    if (w.empty())
        return Listed{Outcome::Retry, 0, {}, {}};
    const FolderRef folder(new Folder{parent.path + L"\\" + w}, FolderDeleter());
    return list(folder, descriptors);
}

Listed ListOpened(const FolderRef &folder) {
    return list(folder, nullptr);
}

FolderRef ListMore(Listing &listing) {
    RestPtr rest = std::move(listing.rest);
    listing.Clear();
    // Past the first part the walk is committed to this listing: names are
    // turned as FindFirstFileA turns them.  A subfolder whose name lost a
    // character fails to list ahead and is listed by the walk itself.
    bool lossy = false;
    const HANDLE find = std::exchange(rest->find, INVALID_HANDLE_VALUE);
    listFrom(find, rest->folder, nullptr, listing, false, lossy);
    return rest->folder;
}

std::size_t PathLimit() {
    return std::size_t(-1); // the ANSI search decides, see list()
}

std::int64_t DiskReads() {
    return -1; // the lookahead goes by how long a folder took
}

} // namespace ahead

namespace {

void describe(const WIN32_FIND_DATAA &d, TSearchRec &f) {
    f.Name = d.cFileName;
    f.Size = (std::int64_t(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    f.Attr = int(d.dwFileAttributes & faAnyFile);
}

int nextAdmitted(TSearchRec &f, WIN32_FIND_DATAA &d) {
    for (;;) {
        if (!::FindNextFileA(f.handle->find, &d))
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
        f.Attr = int(attr & faAnyFile);
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
        // or one below a name the lookahead could not hand over.
        if (folder.size() < 2 || folder.back() != '\\' ||
            folder.find_first_of("*?") != std::string::npos)
            return -1;
        const std::wstring path =
            ahead::wide(std::string_view(folder).substr(0, folder.size() - 1));
        if (path.empty())
            return -1;
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
    WIN32_FIND_DATAA d;
    h->find = ::FindFirstFileA(path.c_str(), &d);
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
    WIN32_FIND_DATAA d;
    return nextAdmitted(f, d);
}

VolumeId VolumeOf(const std::string &) {
    return 0;
}

} // namespace host
