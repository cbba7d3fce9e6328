// What the directory search offers the same way on every host.
#include "host/FileSearch.h"

namespace host {

TSearchRec::TSearchRec() = default;
TSearchRec::~TSearchRec() {
    FindClose(*this);
}

void FindClose(TSearchRec &f) {
    f.handle.reset();
}

bool PathExists(const std::string &path, int mask, std::int64_t *size) {
    TSearchRec f;
    const bool found = FindFirst(path, mask, f) == 0;
    if (found && size)
        *size = f.Size;
    return found;
}

} // namespace host
