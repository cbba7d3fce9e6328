// Directory search on Windows, over FindFirstFileA and its kin.
#include "FileSearch.h"
#include "Text.h"

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

TSearchRec::TSearchRec() = default;
TSearchRec::~TSearchRec() {
    FindClose(*this);
}

namespace {

bool admitted(int attr, int mask) {
    return (attr & ~mask & (faHidden | faSysFile | faVolumeID | faDirectory)) == 0;
}

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
        if (admitted(f.Attr, f.handle->mask))
            return 0;
    }
}

} // namespace

int FindFirst(const std::string &path, int mask, TSearchRec &f, SearchOptions) {
    FindClose(f);
    WIN32_FIND_DATAA d;
    auto h = std::make_unique<SearchHandle>();
    h->mask = mask;
    h->find = ::FindFirstFileA(path.c_str(), &d);
    if (h->find == INVALID_HANDLE_VALUE)
        return int(::GetLastError());
    f.handle = std::move(h);
    describe(d, f);
    if (admitted(f.Attr, mask))
        return 0;
    return nextAdmitted(f, d);
}

int FindNext(TSearchRec &f) {
    if (!f.handle)
        return ERROR_NO_MORE_FILES;
    WIN32_FIND_DATAA d;
    return nextAdmitted(f, d);
}

void FindClose(TSearchRec &f) {
    f.handle.reset();
}

VolumeId VolumeOf(const std::string &) {
    return 0;
}

} // namespace host
