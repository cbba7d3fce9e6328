// Which compiler version a DCC32.EXE is, told by the size of its file.
#pragma once

#include <cstdint>
#include <optional>

namespace kit {

// The version choice for a compiler file of this size: 0 for "Delphi 3"
// (430080 bytes), 1 for "Delphi 4" (543232 bytes); nothing for any other size.
constexpr std::optional<int> VersionIndexBySize(std::int64_t size) {
    struct Row {
        std::int64_t size;
        int versionIndex;
    };
    constexpr Row table[] = {{430080, 0}, {543232, 1}};
    for (const Row &row : table)
        if (row.size == size)
            return row.versionIndex;
    return std::nullopt;
}

} // namespace kit
