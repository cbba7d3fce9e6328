// What the small Windows programs of the tests share (EchoArgs, the stand-in
// DCC32.EXE and the Windows Lumio): names through the wide functions, in
// UTF-8 on our side, and whole files and writes through plain handles.
#pragma once

#include "host/Text.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace winprog {

inline std::wstring wide(std::string_view utf8) {
    const std::u16string u = host::Utf16FromUtf8(utf8);
    return std::wstring(u.begin(), u.end());
}

inline std::string utf8(std::wstring_view w) {
    return host::Utf8FromUtf16(std::u16string(w.begin(), w.end()));
}

// This program's full path, or "" when it does not fit.
inline std::wstring ownPath() {
    wchar_t self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::wstring() : std::wstring(self, n);
}

// The folder of path, with its separator.
inline std::wstring folderOf(const std::wstring &path) {
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// text to a standard handle, all of it.
inline bool writeTo(DWORD stream, const std::string &text) {
    DWORD written = 0;
    const HANDLE h = ::GetStdHandle(stream);
    return h != nullptr && h != INVALID_HANDLE_VALUE &&
           ::WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr) &&
           written == text.size();
}

inline bool writeFile(const std::wstring &path, const std::string &contents) {
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, contents.data(), DWORD(contents.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == contents.size();
}

// Appends the file's bytes to contents; false when it cannot be opened.  Any
// sharing: a file just renamed into place may still be open in its writer,
// whose rename held it with delete access (Wine does so).
inline bool readFile(const std::wstring &path, std::string &contents) {
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        contents.append(buffer, got);
    ::CloseHandle(h);
    return true;
}

} // namespace winprog
