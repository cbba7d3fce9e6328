// Conversion between native byte strings (file names, command lines) and the
// QString that widgets show.
//
// POSIX: valid UTF-8 decodes as usual.  Every byte that is not part of valid
// UTF-8 becomes a lone surrogate U+DC80..U+DCFF and encodes back to the same
// byte, so a name that is not valid UTF-8 survives a trip through an edit box.
//
// Windows: native strings are UTF-8 (host/Text.h), and a name is UTF-16 on
// both sides, so every name, an unpaired surrogate included, goes through an
// edit box and back unchanged.  A byte that is not UTF-8, which the host never
// hands out there, reads as U+FFFD.
#pragma once

#include <QString>
#include <string>
#include <string_view>

QString fromNative(std::string_view bytes);
std::string toNative(const QString &text);

// A native string (a path the finder visits) that is read as a QString where
// one is wanted.  Converting only there keeps text that is written far more
// often than it is shown (a status panel) from being converted each time.
struct NativeString {
    std::string bytes;
    operator QString() const { return fromNative(bytes); }
};

// What a program wrote, as text to read: valid UTF-8 decoded (on Windows, the
// ANSI code page), "\r\n" and a lone "\r" as line breaks, and every other
// byte that would not show -- one that is not part of valid UTF-8, or a
// control character other than tab and line feed -- written as \xHH, so that
// nothing is dropped or hidden.
QString fromNativeEscaped(std::string_view bytes);
