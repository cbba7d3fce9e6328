// Lumio for the end-to-end run on Windows: the program that the stand-in
// DCC32.EXE "compiles".  It opens a window titled "Lumio - <unit folder>",
// after the folder named in Lumio.UNITS beside it, writes Lumio.RAN beside
// it (that it ran, and with which units), and closes after ten seconds.
#include "tests/host/WinProgram.h"

using namespace winprog;

namespace {

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
    const std::wstring self = ownPath();
    if (self.empty())
        return 2;
    const std::wstring folder = folderOf(self);
    std::string units;
    readFile(folder + L"Lumio.UNITS", units);
    while (!units.empty() && (units.back() == '\n' || units.back() == '\r'))
        units.pop_back();
    const std::string unitFolder = units.substr(units.find_last_of("\\/") + 1);

    writeFile(folder + L"Lumio.RAN", "ran\n" + units + "\n");

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
