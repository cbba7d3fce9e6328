// Started by the process tests on Windows.  Writes the full path of its own
// executable and then every argument it received, one per line, in UTF-8, to a
// file named like the executable with ".out" appended.  It reads both through
// the wide functions, so names beyond the ANSI code page arrive as they are.  A planted copy under
// another name therefore leaves its own trace.  When FORGEWAY_ECHO_DELAY_MS is set, it waits that
// long before writing.  When FORGEWAY_ECHO_STREAMS is set to n, it first writes n lines to its
// standard output and error in turn, straight to their handles, then what its standard input gave
// and whether it has a console.
#include "tests/host/WinProgram.h"

#include <shellapi.h> // after windows.h, which it needs

#include <cstdlib>

using namespace winprog;

namespace {

void writeStreams(unsigned lines) {
    for (unsigned i = 1; i <= lines; ++i)
        writeTo(i % 2 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE,
                (i % 2 ? "out " : "err ") + std::to_string(i) + "\n");
    char buffer[16];
    DWORD got = 0;
    const BOOL read =
        ::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr);
    writeTo(STD_OUTPUT_HANDLE,
            "stdin " + std::string(read ? "read " : "failed ") + std::to_string(got) + "\n");
    writeTo(STD_ERROR_HANDLE,
            std::string("console ") + (::GetConsoleCP() != 0 ? "yes" : "no") + "\n");
    // Whether its starter told it how to show its first window (SW_HIDE would
    // keep a program's main window hidden).
    STARTUPINFOW si{};
    ::GetStartupInfoW(&si);
    writeTo(STD_OUTPUT_HANDLE, (si.dwFlags & STARTF_USESHOWWINDOW)
                                   ? "show " + std::to_string(si.wShowWindow) + "\n"
                                   : std::string("show as it likes\n"));
}

} // namespace

int main() {
    const std::wstring self = ownPath();
    if (self.empty())
        return 2;
    if (const char *delay = std::getenv("FORGEWAY_ECHO_DELAY_MS"))
        ::Sleep(DWORD(std::strtoul(delay, nullptr, 10)));
    if (const char *lines = std::getenv("FORGEWAY_ECHO_STREAMS"))
        writeStreams(unsigned(std::strtoul(lines, nullptr, 10)));

    int argc = 0;
    wchar_t **argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv)
        return 2;
    std::string text = utf8(self) + '\n';
    for (int i = 1; i < argc; ++i)
        text += utf8(argv[i]) + '\n';
    ::LocalFree(argv);

    const std::wstring out = self + L".out";
    const std::wstring part = out + L".part";
    if (!writeFile(part, text))
        return 3;
    // Appears complete or not at all.
    return ::MoveFileW(part.c_str(), out.c_str()) ? 0 : 4;
}
