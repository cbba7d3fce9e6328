// Directory search on Windows, over FindFirstFileExW and its kin.
//
// Paths go in and names come out as UTF-8 (see WindowsText.h): a folder named
// in characters the ANSI code page lacks is listed, probed and walked by its
// real name.  Each entry found is described in one place, describeEntry,
// which any listing of a folder goes through, read ahead or not.
//
// A folder read through a lookahead is opened and listed the same way (the
// same pattern, basic information, large fetches), on a helper thread.
#include "host/FileSearch.h"
#include "host/Listing.h"
#include "host/Lookahead.h"
#include "host/Text.h"
#include "host/WindowsText.h"

#include <windows.h>

#include <process.h>

#include <memory>
#include <new>
#include <utility>

namespace host {

struct SearchHandle {
    HANDLE find = INVALID_HANDLE_VALUE;
    int mask = 0;

    ~SearchHandle() {
        if (find != INVALID_HANDLE_VALUE)
            ::FindClose(find);
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

struct Dir {
    HANDLE find = INVALID_HANDLE_VALUE; // closed at the end of the listing
    WIN32_FIND_DATAW first;             // found with the handle, not listed yet
    bool hasFirst = true;
};

void Close(Dir *dir) {
    if (dir && dir->find != INVALID_HANDLE_VALUE)
        ::FindClose(dir->find);
    delete dir;
}

// Subfolders are opened by their whole path: parent and name are not needed.
int OpenFolder(const Dir *, const std::string &path, const std::string &, VolumeId, Dir **out) {
    auto dir = std::make_unique<Dir>();
    dir->find = ::FindFirstFileExW(Wide(path + "*.*").c_str(), FindExInfoBasic, &dir->first,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (dir->find == INVALID_HANDLE_VALUE)
        return int(::GetLastError());
    *out = dir.release();
    return 0;
}

void ReadPart(Dir &dir, Listing &out) {
    std::string name;
    while (out.Bytes() < LookaheadLimits::PartBytes / 2) {
        if (dir.find == INVALID_HANDLE_VALUE)
            return;
        if (!std::exchange(dir.hasFirst, false) && !::FindNextFileW(dir.find, &dir.first)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_NO_MORE_FILES)
                out.error = int(error);
            ::FindClose(std::exchange(dir.find, INVALID_HANDLE_VALUE));
            return;
        }
        const int attr = describeEntry(dir.first, name);
        out.Add(name, std::uint32_t(attr), (attr & faDirectory) && !isDotName(name));
    }
    out.more = true;
}

void Describe(std::string_view name, std::uint32_t info, TSearchRec &f) {
    f.Name.assign(name);
    f.Attr = int(info);
    f.Special = false;
}

// A thread of the C runtime's own, not a std::thread: under Wine, a thread
// that the threads library made and detached at once now and then ended
// before it ran anything, and the walk waited for it for ever.
namespace {
unsigned __stdcall runHelper(void *arg) {
    const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()> *>(arg));
    (*body)();
    return 0;
}
} // namespace

bool StartHelper(std::function<void()> body, bool below) {
    auto *start = new (std::nothrow) std::function<void()>(std::move(body));
    if (!start)
        return false;
    const auto thread = ::_beginthreadex(nullptr, 0, runHelper, start, CREATE_SUSPENDED, nullptr);
    if (!thread) {
        delete start;
        return false;
    }
    const auto handle = reinterpret_cast<HANDLE>(thread);
    if (below)
        ::SetThreadPriority(handle, THREAD_PRIORITY_BELOW_NORMAL);
    ::ResumeThread(handle);
    ::CloseHandle(handle);
    return true;
}

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

} // namespace

int NativeFindFirst(const std::string &path, int mask, TSearchRec &f, const SearchOptions &) {
    std::unique_ptr<SearchHandle, SearchHandleDeleter> h(new SearchHandle);
    h->mask = mask;
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

int NativeFindNext(TSearchRec &f) {
    if (!f.handle)
        return ERROR_NO_MORE_FILES;
    if (f.handle->find == INVALID_HANDLE_VALUE)
        return ERROR_NO_MORE_FILES;
    WIN32_FIND_DATAW d;
    return nextAdmitted(f, d);
}

} // namespace ahead

VolumeId VolumeOf(const std::string &) {
    return 0;
}

} // namespace host
