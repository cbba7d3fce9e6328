// Process start on Windows.  The program is named explicitly to CreateProcess,
// so it is never looked up from an unquoted command line (where a planted
// C:\Program.exe could run instead), and each argument is quoted so that it
// arrives whole.
#include "runtime/host/Process.h"

#include <windows.h>

namespace host {

namespace {

// Quotes one argument the way the C runtime's command-line parser reads it.
std::string quoteArgument(const std::string &arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            out.append(backslashes * 2 + 1, '\\');
            out += '"';
            backslashes = 0;
        } else {
            out.append(backslashes, '\\');
            out += c;
            backslashes = 0;
        }
    }
    out.append(backslashes * 2, '\\');
    out += '"';
    return out;
}

std::string lastErrorText(DWORD code) {
    char *text = nullptr;
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string s = n && text ? std::string(text, n) : "error " + std::to_string(code);
    if (text)
        ::LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

} // namespace

StartResult StartProcess(const std::string &program, const std::vector<std::string> &args) {
    std::string commandLine = quoteArgument(program);
    for (const std::string &a : args)
        commandLine += ' ' + quoteArgument(a);

    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          DETACHED_PROCESS, nullptr, nullptr, &si, &pi))
        return {false, lastErrorText(::GetLastError())};
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return {true, {}};
}

bool TrustedProgram(const std::string &) {
    return true;
}

} // namespace host
