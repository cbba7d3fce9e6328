// Small text operations on native byte strings.
#pragma once

#include <string>
#include <string_view>

namespace host {

#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

// The drive and folder part of path, up to and including its last separator
// (on Windows also a drive's colon); empty when path has neither.
std::string ExtractFilePath(std::string_view path);

// Compares after mapping a-z to A-Z and nothing else: no locale, no other
// letters folded.  Returns <0, 0 or >0 like strcmp on the mapped bytes.
int CompareText(std::string_view a, std::string_view b);

// Whether name fits pattern, where * matches any run of characters and ? any
// single one.  caseless folds ASCII letters only.
bool MatchesMask(std::string_view name, std::string_view pattern, bool caseless);

} // namespace host
