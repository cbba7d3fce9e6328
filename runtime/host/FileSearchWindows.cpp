// Directory search on Windows, over FindFirstFileA and its kin.
#include "runtime/host/FileSearch.h"
#include "runtime/host/Text.h"

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

} // namespace

int FindFirst(const std::string &path, int mask, TSearchRec &f, SearchOptions) {
    FindClose(f);
    WIN32_FIND_DATAA d;
    std::unique_ptr<SearchHandle, SearchHandleDeleter> h(new SearchHandle);
    h->mask = mask;
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
    WIN32_FIND_DATAA d;
    return nextAdmitted(f, d);
}

VolumeId VolumeOf(const std::string &) {
    return 0;
}

} // namespace host
