// Small text operations on native byte strings.
//
// Native names are the bytes the host hands out: on POSIX never decoded; on
// Windows UTF-8, converted at the edge of the host layer from the UTF-16 that
// Windows names files in (Utf8FromUtf16 below), so that every name survives.
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
// single one; letters match in their own case only.
bool MatchesMask(std::string_view name, std::string_view pattern);

// UTF-16 to UTF-8 and back, losslessly for any UTF-16: an unpaired
// surrogate, which a Windows name may hold, is written as the three bytes its
// code would take (WTF-8), and read back as itself.  Bytes that are no such
// sequence read as U+FFFD each.
std::string Utf8FromUtf16(std::u16string_view text);
std::u16string Utf16FromUtf8(std::string_view bytes);

// The code of the UTF-8 sequence at bytes[at], and its length in bytes; 0
// when no well-formed sequence starts there.  A surrogate's code (WTF-8) is
// taken as itself.
std::size_t DecodeUtf8(std::string_view bytes, std::size_t at, char32_t &cp);
// Appends the UTF-8 bytes of cp (a surrogate's code as WTF-8).
void AppendUtf8(std::string &out, char32_t cp);

} // namespace host
