// Started by the process tests on Windows.  Writes the full path of its own
// executable and then every argument it received, one per line, to a file named
// like the executable with ".out" appended.  A planted copy under another name
// therefore leaves its own trace.  When FORGEWAY_ECHO_DELAY_MS is set, it waits
// that long before writing.  When FORGEWAY_ECHO_STREAMS is set to n, it first
// writes n lines to its standard output and error in turn, straight to their
// handles, then what its standard input gave and whether it has a console.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

void writeTo(DWORD which, const std::string &text) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(which), text.data(), DWORD(text.size()), &written, nullptr);
}

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
}

} // namespace

int main(int argc, char **argv) {
    char self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 2;
    char delay[32];
    const DWORD d = ::GetEnvironmentVariableA("FORGEWAY_ECHO_DELAY_MS", delay, sizeof delay);
    if (d > 0 && d < sizeof delay)
        ::Sleep(DWORD(std::strtoul(delay, nullptr, 10)));
    char lines[32];
    const DWORD l = ::GetEnvironmentVariableA("FORGEWAY_ECHO_STREAMS", lines, sizeof lines);
    if (l > 0 && l < sizeof lines)
        writeStreams(unsigned(std::strtoul(lines, nullptr, 10)));

    const std::string out = std::string(self) + ".out";
    const std::string part = out + ".part";
    {
        std::ofstream f(part, std::ios::binary);
        f << self << '\n';
        for (int i = 1; i < argc; ++i)
            f << argv[i] << '\n';
        if (!f.flush())
            return 3;
    }
    // Appears complete or not at all.
    return ::MoveFileA(part.c_str(), out.c_str()) ? 0 : 4;
}
