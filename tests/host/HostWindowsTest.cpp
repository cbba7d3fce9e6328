// The Windows half of the host layer: drive roots and the error mode, directory
// search with its attribute bits and masks, existence probes, process start
// through CreateProcess with its output captured, and the tick counter.  Runs on Windows and under
// Wine.
#include "tests/host/Check.h"

#include "runtime/host/Capture.h"
#include "runtime/host/Clock.h"
#include "runtime/host/Drives.h"
#include "runtime/host/FileSearch.h"
#include "runtime/host/Process.h"
#include "runtime/host/Text.h"

#include <windows.h>

#include <fstream>
#include <map>
#include <stdexcept>
#include <vector>

using namespace host;

namespace {

std::string lastError() {
    return "error " + std::to_string(::GetLastError());
}

// Removes a tree, read-only, hidden and system entries included.
void removeTree(const std::string &folder) {
    WIN32_FIND_DATAA d;
    const HANDLE h = ::FindFirstFileA((folder + "\\*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = d.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = folder + "\\" + name;
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path);
            else
                ::DeleteFileA(path.c_str());
        } while (::FindNextFileA(h, &d));
        ::FindClose(h);
    }
    ::SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryA(folder.c_str());
}

struct Scratch {
    std::string root; // without a final backslash
    Scratch() {
        char temp[MAX_PATH];
        const DWORD n = ::GetTempPathA(MAX_PATH, temp);
        CHECK(n > 0 && n < MAX_PATH);
        static int serial = 0;
        root = std::string(temp) + "forgeway-host-" + std::to_string(::GetCurrentProcessId()) +
               "-" + std::to_string(++serial);
        removeTree(root);
        CHECK(::CreateDirectoryA(root.c_str(), nullptr));
    }
    ~Scratch() {
        // A program started from here may still be on its way out, and Windows
        // deletes no running executable.
        for (int i = 0; i < 300 && ::GetFileAttributesA(root.c_str()) != INVALID_FILE_ATTRIBUTES;
             ++i) {
            removeTree(root);
            if (::GetFileAttributesA(root.c_str()) != INVALID_FILE_ATTRIBUTES)
                ::Sleep(10);
        }
        CHECK(::GetFileAttributesA(root.c_str()) == INVALID_FILE_ATTRIBUTES);
    }
    std::string path(const std::string &rel) const { return root + "\\" + rel; }
    void file(const std::string &rel, std::size_t size = 0, DWORD attrs = 0) const {
        std::ofstream(path(rel), std::ios::binary) << std::string(size, 'x');
        if (attrs)
            CHECK(::SetFileAttributesA(path(rel).c_str(), attrs));
    }
    void folder(const std::string &rel, DWORD attrs = 0) const {
        CHECK(::CreateDirectoryA(path(rel).c_str(), nullptr));
        if (attrs)
            CHECK(::SetFileAttributesA(path(rel).c_str(), attrs));
    }
};

// Name -> Attr of every entry the search admits.
std::map<std::string, int> listing(const std::string &pattern, int mask) {
    std::map<std::string, int> entries;
    TSearchRec f;
    for (int r = FindFirst(pattern, mask, f); r == 0; r = FindNext(f))
        entries[f.Name] = f.Attr;
    FindClose(f);
    return entries;
}

bool exists(const std::string &path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool waitFor(const std::string &path, DWORD ms = 10000) {
    const ULONGLONG until = ::GetTickCount64() + ms;
    while (!exists(path)) {
        if (::GetTickCount64() > until)
            return false;
        ::Sleep(10);
    }
    return true;
}

std::vector<std::string> lines(const std::string &path) {
    std::vector<std::string> out;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// EchoArgs.exe, built beside this test.
std::string echoArgsExe() {
    char self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    CHECK(n > 0 && n < MAX_PATH);
    return ExtractFilePath(self) + "EchoArgs.exe";
}

void copyEcho(const std::string &to) {
    if (!::CopyFileA(echoArgsExe().c_str(), to.c_str(), FALSE))
        check::fail(__FILE__, __LINE__, "cannot copy EchoArgs.exe to " + to + ": " + lastError());
}

constexpr UINT otherMode = SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;

// Wine sets the archive bit on every plain file, also after it was cleared;
// Windows keeps what was set.  Checks of other bits look past it.
int notArchive(int attr) {
    return attr & ~faArchive;
}

} // namespace

TEST_CASE("Drive roots: A:\\ to Z:\\, all 26; a missing drive is passed over quietly") {
    const auto roots = DriveRoots();
    CHECK_EQ(roots.size(), std::size_t(26));
    for (std::size_t i = 0; i < roots.size(); ++i)
        CHECK_EQ(roots[i], std::string(1, char('A' + i)) + ":\\");

    char windows[MAX_PATH];
    CHECK(::GetWindowsDirectoryA(windows, MAX_PATH) > 0);
    const char systemDrive = windows[0];

    const UINT before = ::SetErrorMode(otherMode);
    const DWORD present = ::GetLogicalDrives();
    int missing = 0, searched = 0;
    {
        ErrorModeGuard quiet;
        CHECK_EQ(::GetErrorMode(), UINT(SEM_FAILCRITICALERRORS));
        for (const std::string &root : roots) {
            TSearchRec f;
            const int r = FindFirst(root + "*.*", faAnyFile, f);
            FindClose(f);
            const int bit = root[0] - 'A';
            if (!(present & (1u << bit))) {
                ++missing;
                if (r == 0)
                    check::fail(__FILE__, __LINE__, root + " lists entries but is no drive");
            } else if (r == 0) {
                ++searched;
            }
            if (root[0] == systemDrive)
                CHECK_EQ(r, 0);
        }
    }
    CHECK_EQ(::GetErrorMode(), otherMode);
    CHECK(missing > 0); // the quiet failure was really exercised
    CHECK(searched > 0);
    std::printf("    drives: %d searched, %d missing (mask %#lx)\n", searched, missing,
                static_cast<unsigned long>(present));
    ::SetErrorMode(before);
}

TEST_CASE("ErrorModeGuard restores the saved mode when an exception leaves, nested in order") {
    const UINT before = ::SetErrorMode(otherMode);
    bool caught = false;
    try {
        ErrorModeGuard outer;
        CHECK_EQ(::GetErrorMode(), UINT(SEM_FAILCRITICALERRORS));
        ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
        {
            ErrorModeGuard inner;
            CHECK_EQ(::GetErrorMode(), UINT(SEM_FAILCRITICALERRORS));
        }
        CHECK_EQ(::GetErrorMode(), UINT(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX));
        ErrorModeGuard again;
        throw std::runtime_error("handler failed");
    } catch (const std::runtime_error &) {
        caught = true;
    }
    CHECK(caught);
    CHECK_EQ(::GetErrorMode(), otherMode);
    ::SetErrorMode(before);
}

TEST_CASE("FindFirst/FindNext: dots, folders, sizes and the Attr bits as Windows sets them") {
    Scratch s;
    s.folder("sub");
    s.file("a.Pas", 10, FILE_ATTRIBUTE_NORMAL);
    s.file("ro.txt", 3, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    s.file("arch.txt", 0, FILE_ATTRIBUTE_ARCHIVE);

    const auto all = listing(s.path("*.*"), faAnyFile);
    CHECK_EQ(all.size(), std::size_t(6));
    CHECK(all.count(".") && (all.at(".") & faDirectory));
    CHECK(all.count("..") && (all.at("..") & faDirectory));
    CHECK(all.count("sub") && (all.at("sub") & faDirectory));
    CHECK(all.count("a.Pas") && notArchive(all.at("a.Pas")) == 0);
    CHECK(all.count("ro.txt") && all.at("ro.txt") == (faReadOnly | faArchive));
    CHECK(all.count("arch.txt") && all.at("arch.txt") == faArchive);
    for (const auto &[name, attr] : all)
        if (name != "." && name != ".." && name != "sub")
            CHECK(!(attr & faDirectory));

    TSearchRec f;
    CHECK_EQ(FindFirst(s.path("a.*"), faAnyFile, f), 0);
    CHECK_EQ(f.Name, std::string("a.Pas"));
    CHECK_EQ(f.Size, std::int64_t(10));
    CHECK(FindNext(f) != 0); // the only fit
    FindClose(f);
    FindClose(f); // twice is harmless
    CHECK(FindNext(f) != 0);
    CHECK(FindFirst(s.path("missing\\*.*"), faAnyFile, f) != 0);
    FindClose(f); // also after a failed FindFirst

    // A drive root: Windows lists no "." or ".." there; report what this host does.
    char windows[MAX_PATH];
    CHECK(::GetWindowsDirectoryA(windows, MAX_PATH) > 0);
    const std::string root = std::string(1, windows[0]) + ":\\";
    const auto top = listing(root + "*.*", faAnyFile);
    CHECK(!top.empty());
    for (const char *dot : {".", ".."})
        if (top.count(dot))
            CHECK(top.at(dot) & faDirectory);
    std::printf("    %s lists \".\": %s, \"..\": %s\n", root.c_str(), top.count(".") ? "yes" : "no",
                top.count("..") ? "yes" : "no");
}

TEST_CASE("Masks 63 and 16 against hidden and system files and folders") {
    Scratch s;
    s.file("plain.txt");
    s.file("hidden.txt", 0, FILE_ATTRIBUTE_HIDDEN);
    s.file("system.txt", 0, FILE_ATTRIBUTE_SYSTEM);
    s.file("both.txt", 0, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    s.folder("Visible");
    s.folder("HiddenDir", FILE_ATTRIBUTE_HIDDEN);

    const auto any = listing(s.path("*.*"), faAnyFile);
    CHECK(any.count("hidden.txt") && notArchive(any.at("hidden.txt")) == faHidden);
    CHECK(any.count("system.txt") && notArchive(any.at("system.txt")) == faSysFile);
    CHECK(any.count("both.txt") && notArchive(any.at("both.txt")) == (faHidden | faSysFile));
    CHECK(any.count("HiddenDir") && any.at("HiddenDir") == (faHidden | faDirectory));
    CHECK_EQ(any.size(), std::size_t(8));

    std::map<std::string, int> plain;
    for (const auto &[name, attr] : listing(s.path("*.*"), faDirectory))
        plain[name] = notArchive(attr);
    CHECK((plain == std::map<std::string, int>{{".", faDirectory},
                                               {"..", faDirectory},
                                               {"plain.txt", 0},
                                               {"Visible", faDirectory}}));
    // The hidden entries are skipped, also when they come first.
    CHECK(listing(s.path("h*"), faDirectory).empty());
    CHECK_EQ(listing(s.path("h*"), faAnyFile).size(), std::size_t(2));

    CHECK(PathExists(s.path("hidden.txt"), faAnyFile));
    CHECK(!PathExists(s.path("hidden.txt"), faDirectory));
    CHECK(!PathExists(s.path("system.txt"), faDirectory));
    CHECK(!PathExists(s.path("HiddenDir"), faDirectory));
    CHECK(PathExists(s.path("HiddenDir"), faAnyFile));
}

TEST_CASE("PathExists: wildcards answer for the first fit; mask 16 admits files and folders") {
    Scratch s;
    s.file("DCC32.EXE", 543232);
    s.file("other.txt", 3);
    s.folder("Demo");

    std::int64_t size = 0;
    CHECK(PathExists(s.path("DCC3?.EXE"), faAnyFile, &size));
    CHECK_EQ(size, std::int64_t(543232));
    CHECK(PathExists(s.path("*.exe"), faAnyFile)); // Windows names are caseless
    CHECK(PathExists(s.path("dcc32.exe"), faAnyFile, &size));
    CHECK_EQ(size, std::int64_t(543232));
    CHECK(PathExists(s.path("*.*"), faAnyFile));
    CHECK(!PathExists(s.path("*.DPR"), faAnyFile));
    CHECK(!PathExists(s.path("none\\*.*"), faAnyFile));

    CHECK(PathExists(s.path("DCC32.EXE"), faDirectory)); // a plain file passes mask 16
    CHECK(PathExists(s.path("Demo"), faDirectory));
    CHECK(!PathExists(s.path("Demo"), 0)); // a folder needs the directory bit
    CHECK(!PathExists(s.path("missing"), faAnyFile));
    CHECK(!PathExists("", faAnyFile));
    CHECK(!PathExists(s.path("other.txt\\below"), faAnyFile));
}

TEST_CASE("CompareText matches a name as Windows lists it") {
    Scratch s;
    s.file("dcc32.exe");
    const auto names = listing(s.path("DCC32.EXE"), faAnyFile);
    CHECK_EQ(names.size(), std::size_t(1));
    CHECK_EQ(names.begin()->first, std::string("dcc32.exe")); // as stored, not as asked
    CHECK_EQ(CompareText(names.begin()->first, "DCC32.EXE"), 0);
    CHECK(CompareText(names.begin()->first, "DCC32.EX?") != 0);
}

TEST_CASE("StartProcess: the named program runs, never a planted Program.exe; blanks kept") {
    Scratch s;
    s.folder("Program Files");
    const std::string echo = s.path("Program Files\\echo.exe");
    const std::string planted = s.path("Program.exe");
    copyEcho(echo);
    copyEcho(planted);

    // What the planted file is for: a command line left to CreateProcess's own
    // lookup, unquoted, runs it instead of the program meant.
    std::string naive = echo + " unquoted";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    CHECK(::CreateProcessA(nullptr, naive.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                           &pi));
    ::WaitForSingleObject(pi.hProcess, 10000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    CHECK(exists(planted + ".out"));
    CHECK(!exists(echo + ".out"));
    ::DeleteFileA((planted + ".out").c_str());

    const std::vector<std::string> args = {"C:\\Kit Dir\\Demo\\Cove.Pas",
                                           "-UC:\\Kit Dir\\Delphi-4",
                                           "",
                                           "say \"hi\"",
                                           "C:\\ends in\\",
                                           "back\\\\slashes\\\"",
                                           "tab\there",
                                           "plain"};
    const StartResult r = StartProcess(echo, args);
    CHECK(r.started);
    CHECK(r.error.empty());
    CHECK(waitFor(echo + ".out"));
    std::vector<std::string> expected = {echo};
    expected.insert(expected.end(), args.begin(), args.end());
    const auto got = lines(echo + ".out");
    CHECK_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size() && i < expected.size(); ++i)
        CHECK_EQ(got[i], expected[i]);
    CHECK(!exists(planted + ".out"));
}

TEST_CASE("StartProcess returns without waiting, and tells a start that failed") {
    Scratch s;
    const std::string echo = s.path("slow echo.exe");
    copyEcho(echo);
    CHECK(::SetEnvironmentVariableA("FORGEWAY_ECHO_DELAY_MS", "1500"));
    const ULONGLONG t0 = ::GetTickCount64();
    const StartResult r = StartProcess(echo, {"x"});
    const ULONGLONG took = ::GetTickCount64() - t0;
    ::SetEnvironmentVariableA("FORGEWAY_ECHO_DELAY_MS", nullptr);
    CHECK(r.started);
    CHECK(took < 1000);
    CHECK(!exists(echo + ".out")); // still asleep
    // A loaded machine may take a while; what came is printed if it is wrong.
    CHECK(waitFor(echo + ".out", 60000));
    std::string got;
    for (const std::string &line : lines(echo + ".out"))
        got += line + "|";
    CHECK_EQ(got, echo + "|x|");

    const StartResult missing = StartProcess(s.path("missing.exe"), {});
    CHECK(!missing.started);
    CHECK(!missing.error.empty());
    CHECK(!StartProcess("", {}).started);
    CHECK(!StartProcess(s.root, {}).started); // a folder
    s.file("text.exe", 100);
    CHECK(!StartProcess(s.path("text.exe"), {}).started); // not a program
}

// The captures of this process that lie in the temporary folder.
std::vector<std::string> captureFiles() {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    const std::string pattern =
        std::string(temp) + "forgeway-output-" + std::to_string(::GetCurrentProcessId()) + "-*";
    std::vector<std::string> names;
    WIN32_FIND_DATAA d;
    const HANDLE h = ::FindFirstFileA(pattern.c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
        do
            names.push_back(std::string(temp) + d.cFileName);
        while (::FindNextFileA(h, &d));
        ::FindClose(h);
    }
    return names;
}

TEST_CASE("StartProcess with a capture: output and error in order, NUL to read, no window") {
    Scratch s;
    const std::string echo = s.path("echo streams.exe");
    copyEcho(echo);
    std::string error;
    auto capture = OutputCapture::Open(&error);
    if (!capture) {
        check::fail(__FILE__, __LINE__, "no capture: " + error);
        return;
    }
    // Hidden while it is open, and gone with its last handle.
    const auto files = captureFiles();
    CHECK_EQ(files.size(), std::size_t(1));
    for (const std::string &f : files)
        CHECK(::GetFileAttributesA(f.c_str()) & FILE_ATTRIBUTE_HIDDEN);

    CHECK(::SetEnvironmentVariableA("FORGEWAY_ECHO_STREAMS", "6"));
    const StartResult r = StartProcess(echo, {"x"}, capture.get());
    ::SetEnvironmentVariableA("FORGEWAY_ECHO_STREAMS", nullptr);
    CHECK(r.started);
    CHECK(waitFor(echo + ".out", 60000)); // written after the streams
    const std::string expected =
        "out 1\nerr 2\nout 3\nerr 4\nout 5\nerr 6\nstdin read 0\nconsole yes\n";
    CHECK_EQ(capture->Tail(4096), expected);
    CHECK_EQ(capture->Written(), std::uint64_t(expected.size()));
    CHECK_EQ(capture->Tail(12), std::string("console yes\n"));
    // More, as the program would write it, then a trim: the tail still reads
    // whole.  Whether the file system frees the rest is its own affair.
    const std::string more(1 << 20, 'x');
    DWORD n = 0;
    CHECK(::WriteFile(reinterpret_cast<HANDLE>(capture->NativeHandle()), more.data(),
                      DWORD(more.size()), &n, nullptr));
    CHECK(::WriteFile(reinterpret_cast<HANDLE>(capture->NativeHandle()), "end\n", 4, &n, nullptr));
    capture->Trim(64 * 1024);
    CHECK_EQ(capture->Written(), std::uint64_t(expected.size() + more.size() + 4));
    CHECK_EQ(capture->Tail(64 * 1024), std::string(64 * 1024 - 4, 'x') + "end\n");
    std::printf("    trim: the start reads %s\n",
                capture->Tail(std::size_t(capture->Written())).rfind("out 1", 0) == 0
                    ? "as written (not freed)"
                    : "as zeros (freed)");
    CHECK((lines(echo + ".out") == std::vector<std::string>{echo, "x"}));

    capture.reset();
    for (int i = 0; i < 500 && !captureFiles().empty(); ++i)
        ::Sleep(10); // the program's handle closes as it ends
    CHECK(captureFiles().empty());

    // Without a capture the streams go nowhere, and the program still runs.
    const std::string quiet = s.path("quiet.exe");
    copyEcho(quiet);
    CHECK(::SetEnvironmentVariableA("FORGEWAY_ECHO_STREAMS", "2"));
    CHECK(StartProcess(quiet, {}).started);
    ::SetEnvironmentVariableA("FORGEWAY_ECHO_STREAMS", nullptr);
    CHECK(waitFor(quiet + ".out", 60000));
}

TEST_CASE("GetTickCount is the system's 32-bit millisecond counter") {
    const std::uint32_t ours = host::GetTickCount();
    const std::uint32_t system = ::GetTickCount();
    CHECK(TicksSince(ours, system) < 100u);
    ::Sleep(120);
    const std::uint32_t later = host::GetTickCount();
    CHECK(TicksSince(ours, later) >= 100u);
    CHECK(TicksSince(ours, later) < 5000u);
    // The wait of the build workflow: a start reading just before a wrap.
    CHECK_EQ(TicksSince(ours - 5u, ours + 9995u), 10000u);
}
