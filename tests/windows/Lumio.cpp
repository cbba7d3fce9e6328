// Lumio for the end-to-end run on Windows: the program that the stand-in
// DCC32.EXE "compiles".  It opens a window titled "Lumio - <unit folder>",
// after the folder named in Lumio.UNITS beside it, writes Lumio.RAN beside
// it (that it ran, and with which units), and closes after ten seconds.
#include "host/Text.h"

#include <windows.h>

#include <string>

namespace {

std::wstring wide(const std::string &s) {
    const std::u16string u = host::Utf16FromUtf8(s);
    return std::wstring(u.begin(), u.end());
}

std::string readFile(const std::wstring &path) {
    std::string contents;
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return contents;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        contents.append(buffer, got);
    ::CloseHandle(h);
    return contents;
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_TIMER:
        ::DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, w, l);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    wchar_t self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 2;
    const std::wstring path(self);
    const std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
    std::string units = readFile(folder + L"Lumio.UNITS");
    while (!units.empty() && (units.back() == '\n' || units.back() == '\r'))
        units.pop_back();
    const std::string unitFolder = units.substr(units.find_last_of("\\/") + 1);

    const std::string ran = "ran\n" + units + "\n";
    const HANDLE note = ::CreateFileW((folder + L"Lumio.RAN").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (note != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(note, ran.data(), DWORD(ran.size()), &written, nullptr);
        ::CloseHandle(note);
    }

    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"Lumio";
    ::RegisterClassW(&wc);
    const std::wstring title = wide("Lumio - " + (unitFolder.empty() ? "?" : unitFolder));
    HWND window = ::CreateWindowExW(0, L"Lumio", title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                    CW_USEDEFAULT, 360, 140, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    const std::wstring text = wide("Built with the units in " + units);
    ::CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE, 16, 24, 320, 40, window,
                      nullptr, instance, nullptr);
    ::ShowWindow(window, show);
    ::SetTimer(window, 1, 10000, nullptr);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
