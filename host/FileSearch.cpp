// What the directory search offers the same way on every host.
#include "host/FileSearch.h"
#include "host/Listing.h"
#include "host/Text.h"

namespace host {

TSearchRec::TSearchRec() = default;
TSearchRec::~TSearchRec() {
    FindClose(*this);
}

int FindFirst(const std::string &path, int mask, TSearchRec &f, SearchOptions options) {
    FindClose(f);
    const std::string_view last = std::string_view(path).substr(ExtractFilePath(path).size());
    if (options.lookahead && !options.wantSize && (last == "*.*" || last == "*"))
        return ahead::First(path, mask, f, options);
    return ahead::NativeFindFirst(path, mask, f, options);
}

int FindNext(TSearchRec &f) {
    return f.cursor ? ahead::Next(f) : ahead::NativeFindNext(f);
}

void FindClose(TSearchRec &f) {
    f.cursor.reset();
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
