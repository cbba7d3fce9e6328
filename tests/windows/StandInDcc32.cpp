// DCC32.EXE for the end-to-end run on Windows: a console program that stands
// in for the command-line compiler.
//
//   DCC32.EXE <source> -U<unit folder>
//
// Like a console compiler it writes its banner and its messages to standard
// output and standard error, through the handles it was started with: when
// either cannot be written (a program started without a console, say), it
// ends with status 3 and compiles nothing.  After a pause (2.5 s, or
// FORGEWAY_STANDIN_DELAY_MS) it "compiles": <Unit>.Pas gives <Unit>.DCU
// beside it; Lumio.DPR gives Lumio.EXE, a copy of the Windows Lumio that
// lies beside this program as LUMIO.BIN, and Lumio.UNITS, which names the unit
// folder.  A source holding the line "this is not Pascal" fails with a
// compiler's error on standard error, and writes nothing.
//
// Each run is logged in the folder "runs" beside this program, in a file of
// its own: the command line as Windows handed it over, then each argument on
// a line, in UTF-8, and the ANSI code page it ran with.  Every name goes through the wide
// functions.
#include "tests/host/WinProgram.h"

#include <shellapi.h> // after windows.h, which it needs

#include <cwchar>

using namespace winprog;

int main() {
    int argc = 0;
    wchar_t **argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv)
        return 2;
    const std::wstring self = ownPath();
    if (self.empty())
        return 2;
    const std::wstring bin = folderOf(self);

    std::string log = utf8(::GetCommandLineW()) + "\n";
    for (int i = 1; i < argc; ++i)
        log += utf8(argv[i]) + "\n";
    log += "ANSI code page " + std::to_string(::GetACP()) + "\n";
    ::CreateDirectoryW((bin + L"runs").c_str(), nullptr);
    writeFile(bin + L"runs\\" + std::to_wstring(::GetCurrentProcessId()) + L".txt", log);

    if (!writeTo(STD_OUTPUT_HANDLE, "Forgeway stand-in for DCC32.EXE (Windows)\r\n") ||
        !writeTo(STD_ERROR_HANDLE, "stand-in: no Delphi here, the output is made up\r\n"))
        return 3;
    if (argc < 2) {
        writeTo(STD_ERROR_HANDLE, "Fatal: No source file given\r\n");
        return 2;
    }
    const std::wstring source = argv[1];
    std::wstring unitDir;
    for (int i = 2; i < argc; ++i)
        if (std::wstring_view(argv[i]).substr(0, 2) == L"-U")
            unitDir = argv[i] + 2;
    ::LocalFree(argv);

    const std::wstring folder = folderOf(source);
    const std::wstring name = source.substr(folder.size());
    const std::size_t dot = name.find_last_of(L'.');
    const std::wstring stem = name.substr(0, dot);
    const std::wstring kind = dot == std::wstring::npos ? L"" : name.substr(dot);
    // The file's name only: the ANSI code page may lack the folder's.
    writeTo(STD_OUTPUT_HANDLE, "Compiling " + utf8(name) + "\r\n");

    wchar_t delay[32];
    const DWORD d = ::GetEnvironmentVariableW(L"FORGEWAY_STANDIN_DELAY_MS", delay, 32);
    ::Sleep(d > 0 && d < 32 ? DWORD(std::wcstoul(delay, nullptr, 10)) : 2500);

    std::string text;
    if (!readFile(source, text)) {
        writeTo(STD_ERROR_HANDLE, "Fatal: File not found: '" + utf8(name) + "'\r\n");
        return 1;
    }
    if (const std::size_t at = text.find("this is not Pascal"); at != std::string::npos) {
        int line = 1;
        for (std::size_t i = 0; i < at; ++i)
            line += text[i] == '\n';
        writeTo(STD_ERROR_HANDLE,
                utf8(name) + "(" + std::to_string(line) +
                    ") Error: Statement expected but identifier 'this' found\r\n");
        writeTo(STD_OUTPUT_HANDLE, "1 error.\r\n");
        return 1;
    }

    const bool project = ::CompareStringOrdinal(kind.c_str(), -1, L".DPR", -1, TRUE) == CSTR_EQUAL;
    const std::wstring output = folder + stem + (project ? L".EXE" : L".DCU");
    const std::wstring part = output + L".part";
    const bool made = project ? ::CopyFileW((bin + L"LUMIO.BIN").c_str(), part.c_str(), FALSE) &&
                                    writeFile(folder + stem + L".UNITS", utf8(unitDir) + "\n")
                              : writeFile(part, "stand-in unit " + utf8(stem) + "\n");
    const std::string outputName = utf8(stem) + (project ? ".EXE" : ".DCU");
    // Written elsewhere first, the output is put in place whole at once.
    if (!made || !::MoveFileExW(part.c_str(), output.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        writeTo(STD_ERROR_HANDLE, "Fatal: Could not create output file '" + outputName + "'\r\n");
        return 1;
    }
    writeTo(STD_OUTPUT_HANDLE, outputName + " written\r\n");
    return 0;
}
