// Inside the Windows half of the host layer only: names and texts between the
// UTF-8 that the host layer takes and returns and the UTF-16 of Windows' wide
// functions, which hold every name a Windows file system can (the ANSI
// functions turn what the code page lacks into "?").
#pragma once

#include "host/Text.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace host {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

inline std::wstring Wide(std::string_view utf8) {
    const std::u16string units = Utf16FromUtf8(utf8);
    return std::wstring(units.begin(), units.end());
}

inline std::string Narrow(std::wstring_view wide) {
    return Utf8FromUtf16(std::u16string(wide.begin(), wide.end()));
}

// The system's text for an error code, in UTF-8, without a final line break.
std::string SystemErrorText(DWORD code);

} // namespace host
