#include "runtime/host/Text.h"

#include <algorithm>

namespace host {

namespace {

unsigned char upper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
}

bool isDelimiter(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/' || c == ':';
#else
    return c == '/';
#endif
}

} // namespace

std::string ExtractFilePath(std::string_view path) {
    auto it = std::find_if(path.rbegin(), path.rend(), isDelimiter);
    return std::string(path.substr(0, static_cast<std::size_t>(path.rend() - it)));
}

int CompareText(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int d = int(upper(static_cast<unsigned char>(a[i]))) -
                      int(upper(static_cast<unsigned char>(b[i])));
        if (d != 0)
            return d;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool MatchesMask(std::string_view name, std::string_view pattern, bool caseless) {
    // Iterative glob with one back-tracking point for the last '*'.
    std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    auto same = [caseless](char x, char y) {
        return caseless
                   ? upper(static_cast<unsigned char>(x)) == upper(static_cast<unsigned char>(y))
                   : x == y;
    };
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
            ++n;
            ++p;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace host
