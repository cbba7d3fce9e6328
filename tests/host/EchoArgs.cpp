// Started by the process tests on Windows.  Writes the full path of its own
// executable and then every argument it received, one per line, to a file named
// like the executable with ".out" appended.  A planted copy under another name
// therefore leaves its own trace.  When FORGEWAY_ECHO_DELAY_MS is set, it waits
// that long before writing.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char **argv) {
    char self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 2;
    char delay[32];
    const DWORD d = ::GetEnvironmentVariableA("FORGEWAY_ECHO_DELAY_MS", delay, sizeof delay);
    if (d > 0 && d < sizeof delay)
        ::Sleep(DWORD(std::strtoul(delay, nullptr, 10)));

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
