// The Windows half of the host layer, on Windows and under Wine: drive roots and the error mode,
// directory search with its attribute bits and masks, existence probes, process start through
// CreateProcess with its output captured, and the tick counter.
#include "tests/host/Scratch.h"

#include "host/Capture.h"
#include "host/Clock.h"
#include "host/Drives.h"
#include "host/FileSearch.h"
#include "host/Process.h"
#include "host/Text.h"

#include <winioctl.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <vector>

using namespace host;
using namespace hosttest;
using walk::wide; // the tests write every path in UTF-8, as the host layer takes it

namespace {

std::string lastError() {
    return "error " + std::to_string(::GetLastError());
}

// What EchoArgs.exe wrote: its own path, then args, a line each.
void checkEchoed(const std::string &echo, const std::vector<std::string> &args) {
    std::string expected = echo + "\n", got;
    for (const std::string &arg : args)
        expected += arg + "\n";
    CHECK(walk::readFile(echo + ".out", got));
    CHECK_EQ(got, expected);
}

// A copy of EchoArgs.exe, which is built beside this test.
void copyEcho(const std::string &to) {
    const std::wstring echo = winprog::folderOf(winprog::ownPath()) + L"EchoArgs.exe";
    if (!::CopyFileW(echo.c_str(), wide(to).c_str(), FALSE))
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
    for (const char *folder : {".", "..", "sub"})
        CHECK(all.count(folder) && (all.at(folder) & faDirectory));
    CHECK(all.count("a.Pas") && notArchive(all.at("a.Pas")) == 0);
    CHECK(all.count("ro.txt") && all.at("ro.txt") == (faReadOnly | faArchive));
    CHECK(all.count("arch.txt") && all.at("arch.txt") == faArchive);

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
    checkEchoed(echo, args);
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
    checkEchoed(echo, {"x"});

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

TEST_CASE("StartProcess with a capture: output and error in order, NUL to read, a console, "
          "windows not hidden") {
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
        "out 1\nerr 2\nout 3\nerr 4\nout 5\nerr 6\nstdin read 0\nconsole yes\nshow as it likes\n";
    CHECK_EQ(capture->Tail(4096), expected);
    CHECK_EQ(capture->Written(), std::uint64_t(expected.size()));
    CHECK_EQ(capture->Tail(17), std::string("show as it likes\n"));
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
    checkEchoed(echo, {"x"});

    capture.reset(); // the file goes when the program's handle closes as it ends
    CHECK(waitUntil([] { return captureFiles().empty(); }, 5000));

    // Without a capture the streams go nowhere, and the program still runs.
    const std::string quiet = s.path("quiet.exe");
    copyEcho(quiet);
    CHECK(::SetEnvironmentVariableA("FORGEWAY_ECHO_STREAMS", "2"));
    CHECK(StartProcess(quiet, {}).started);
    ::SetEnvironmentVariableA("FORGEWAY_ECHO_STREAMS", nullptr);
    CHECK(waitFor(quiet + ".out", 60000));
}

// "Development tools" in Chinese: no character of it is in a Western code page.
const std::string Chinese = "\xE5\xBC\x80\xE5\x8F\x91 \xE5\xB7\xA5\xE5\x85\xB7";

TEST_CASE("Names beyond the ANSI code page are listed, probed and started by their own names") {
    Scratch s;
    s.folder(Chinese);
    s.folder(Chinese + "\\Demo");
    const std::string echo = s.path(Chinese + "\\DCC32 " + Chinese + ".exe");
    copyEcho(echo);

    // What the mend is for: the ANSI functions name this folder with "?" in
    // place of each character the code page lacks, a path that leads nowhere.
    const UINT codePage = ::GetACP();
    WIN32_FIND_DATAA ansi;
    const HANDLE h = ::FindFirstFileA((s.root + "\\*").c_str(), &ansi);
    std::string ansiName;
    if (h != INVALID_HANDLE_VALUE) {
        do
            if (ansi.cFileName[0] != '.')
                ansiName = ansi.cFileName;
        while (::FindNextFileA(h, &ansi));
        ::FindClose(h);
    }
    const bool holdsChinese =
        codePage == 936 || codePage == 950 || codePage == 54936 || codePage == CP_UTF8;
    if (holdsChinese)
        std::printf("    code page %u holds the name: the ANSI control case is moot\n", codePage);
    else
        CHECK(ansiName.find('?') != std::string::npos);
    std::printf("    code page %u; FindFirstFileA names the folder \"%s\"\n", codePage,
                ansiName.c_str());

    const auto top = listing(s.path("*.*"), faAnyFile);
    CHECK(top.count(Chinese) && (top.at(Chinese) & faDirectory));
    const auto inside = listing(s.path(Chinese + "\\*.exe"), faAnyFile);
    CHECK(inside.count("DCC32 " + Chinese + ".exe"));
    std::int64_t size = 0;
    CHECK(PathExists(echo, faAnyFile, &size));
    CHECK(size > 0);
    CHECK(PathExists(s.path(Chinese + "\\Demo"), faDirectory));

    const std::vector<std::string> args = {s.path(Chinese + "\\Demo\\Orb.Pas"),
                                           "-U" + s.path(Chinese), Chinese};
    CHECK(StartProcess(echo, args).started);
    CHECK(waitFor(echo + ".out", 60000));
    checkEchoed(echo, args);

    // An unpaired surrogate, which Windows allows in a name, comes back as
    // itself (WTF-8), where the file system keeps such a name.
    const std::string odd = "odd \xED\xA0\x80.txt"; // U+D800 alone
    if (!walk::makeFile(s.path(odd))) {
        std::printf("    this file system refuses a name with an unpaired surrogate (%s)\n",
                    lastError().c_str());
    } else {
        const auto odds = listing(s.path("odd*"), faAnyFile);
        CHECK_EQ(odds.size(), std::size_t(1));
        CHECK(odds.count(odd));
        CHECK(PathExists(s.path(odd), faAnyFile));
    }
}

// A junction named link in a folder, leading to target; false where the file
// system cannot make one.
bool makeJunction(const std::string &link, const std::string &target) {
    if (!::CreateDirectoryW(wide(link).c_str(), nullptr))
        return false;
    const HANDLE h =
        ::CreateFileW(wide(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ::RemoveDirectoryW(wide(link).c_str());
        return false;
    }
    const std::wstring substitute = L"\\??\\" + wide(target), print = wide(target);
    struct {
        DWORD tag;
        WORD dataLength, reserved;
        WORD substituteOffset, substituteLength, printOffset, printLength;
        wchar_t names[2 * MAX_PATH + 2];
    } buffer{};
    buffer.tag = IO_REPARSE_TAG_MOUNT_POINT;
    buffer.substituteLength = WORD(substitute.size() * sizeof(wchar_t));
    buffer.printOffset = WORD(buffer.substituteLength + sizeof(wchar_t));
    buffer.printLength = WORD(print.size() * sizeof(wchar_t));
    std::copy(substitute.begin(), substitute.end(), buffer.names);
    std::copy(print.begin(), print.end(), buffer.names + substitute.size() + 1);
    buffer.dataLength = WORD(8 + buffer.printOffset + buffer.printLength + sizeof(wchar_t));
    DWORD n = 0;
    const BOOL set = ::DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, &buffer, 8 + buffer.dataLength,
                                       nullptr, 0, &n, nullptr);
    const DWORD error = ::GetLastError();
    ::CloseHandle(h);
    if (!set) {
        ::RemoveDirectoryW(wide(link).c_str());
        std::printf("    no junction here (error %lu)\n", static_cast<unsigned long>(error));
    }
    return set;
}

TEST_CASE("A junction loop is listed as a plain entry and a walk does not enter it") {
    Scratch s;
    s.folder("tree");
    s.folder("tree\\inner");
    s.file("tree\\inner\\DCC32.EXE", 10);
    // tree\inner\loop leads back to tree.  Wine (8.0) makes no junctions and no
    // symbolic links (CreateSymbolicLinkW does nothing, FSCTL_SET_REPARSE_POINT
    // is not supported); it lists a Unix symbolic link to a folder as a
    // reparse point, so the test's build lays out such a tree, with the same
    // names, and names it in FORGEWAY_LINK_LOOP.
    std::string tree = s.path("tree");
    if (!makeJunction(s.path("tree\\inner\\loop"), tree)) {
        char prepared[MAX_PATH];
        const DWORD n = ::GetEnvironmentVariableA("FORGEWAY_LINK_LOOP", prepared, MAX_PATH);
        CHECK(n > 0 && n < MAX_PATH);
        tree = n > 0 && n < MAX_PATH ? prepared : "";
        std::printf("    the loop is the Unix symbolic link in %s\n", tree.c_str());
    }
    const auto inner = listing(tree + "\\inner\\*.*", faAnyFile);
    CHECK(inner.count("loop") && !(inner.at("loop") & faDirectory));
    CHECK(inner.count("DCC32.EXE"));

    // A walk as the drive scan's, which enters what the search calls a folder.
    Walk w{.stopAfter = 1000};
    w.folder(tree, nullptr);
    std::vector<std::string> visits;
    for (const std::string &seen : w.seen)
        if (const std::string path = seen.substr(0, seen.rfind(' ')); !path.ends_with("."))
            visits.push_back(path);
    std::sort(visits.begin(), visits.end());
    CHECK((visits == std::vector<std::string>{tree + "\\inner", tree + "\\inner\\DCC32.EXE",
                                              tree + "\\inner\\loop"}));
    // A path through the link still leads where it points.
    CHECK(PathExists(tree + "\\inner\\loop\\inner\\DCC32.EXE", faAnyFile));
}

TEST_CASE("GetTickCount is the system's 32-bit millisecond counter") {
    const std::uint32_t ours = host::GetTickCount();
    const std::uint32_t system = ::GetTickCount();
    CHECK(TicksSince(ours, system) < 100u);
    ::Sleep(120);
    const std::uint32_t later = host::GetTickCount();
    CHECK(TicksSince(ours, later) >= 100u);
    CHECK(TicksSince(ours, later) < 5000u);
}
