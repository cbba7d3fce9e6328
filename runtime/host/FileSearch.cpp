// What the directory search offers the same way on every host.
#include "FileSearch.h"

namespace host {

bool PathExists(const std::string &path, int mask, std::int64_t *size) {
    TSearchRec f;
    const bool found = FindFirst(path, mask, f) == 0;
    if (found && size)
        *size = f.Size;
    return found;
}

} // namespace host
