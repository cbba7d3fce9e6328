// Directory search on Windows, over FindFirstFileExW and its kin.
//
// Paths go in and names come out as UTF-8 (see WindowsText.h): a folder named
// in characters the ANSI code page lacks is listed, probed and walked by its
// real name.  Each entry found is described in one place, describeEntry,
// which any listing of a folder goes through.
#include "runtime/host/FileSearch.h"
#include "runtime/host/Text.h"
#include "runtime/host/WindowsText.h"

#include <windows.h>

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

int FindFirst(const std::string &path, int mask, TSearchRec &f, SearchOptions) {
    FindClose(f);
    WIN32_FIND_DATAW d;
    std::unique_ptr<SearchHandle, SearchHandleDeleter> h(new SearchHandle);
    h->mask = mask;
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
    WIN32_FIND_DATAW d;
    return nextAdmitted(f, d);
}

VolumeId VolumeOf(const std::string &) {
    return 0;
}

} // namespace host
