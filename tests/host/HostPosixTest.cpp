// The POSIX half of the host layer: directory search, existence probes,
// drives from the mount table, detached process start and output capture.
#include "tests/host/Scratch.h"

#include "host/Capture.h"
#include "host/Drives.h"
#include "host/FileSearch.h"
#include "host/Lookahead.h"
#include "host/Process.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <map>
#include <sched.h>
#include <set>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace host;
using namespace hosttest;

namespace {

// An executable file at path holding text (a script, or not quite one).
std::string executable(const std::string &path, const std::string &text) {
    std::ofstream(path) << text;
    chmod(path.c_str(), 0755);
    return path;
}

} // namespace

TEST_CASE("PathExists: hidden and special entries against masks 63 and 16") {
    Scratch s;
    s.file("plain", 1234);
    s.file(".hidden");
    s.folder(".hiddendir");
    mkfifo(s.path("fifo").c_str(), 0644);
    std::int64_t size = -1;
    CHECK(PathExists(s.path("plain"), faAnyFile, &size));
    CHECK_EQ(size, std::int64_t(1234));
    CHECK(PathExists(s.path(".hidden"), faAnyFile));
    CHECK(!PathExists(s.path(".hidden"), faDirectory));
    CHECK(!PathExists(s.path(".hiddendir"), faDirectory));
    CHECK(PathExists(s.path("fifo"), faAnyFile));
    CHECK(!PathExists(s.path("fifo"), faDirectory)); // counts as a system file
}

TEST_CASE("FindFirst/FindNext list every entry with its attributes, dots included") {
    Scratch s;
    s.folder("sub");
    s.file("a.Pas", 10);
    s.file(".cfg", 1);
    symlink("sub", s.path("link").c_str());

    // A link is an entry of its own, never followed.
    std::map<std::string, int> all = {
        {".", faDirectory}, {"..", faDirectory}, {"sub", faDirectory}, {"a.Pas", 0}, {"link", 0}};
    CHECK(listing(s.path("*"), faDirectory) == all);
    all[".cfg"] = faHidden;
    CHECK(listing(s.path("*.*"), faAnyFile) == all);
    TSearchRec f;
    for (int r = FindFirst(s.path("*.*"), faAnyFile, f); r == 0; r = FindNext(f))
        if (f.Name == "a.Pas")
            CHECK_EQ(f.Size, std::int64_t(10));
    FindClose(f);
    FindClose(f); // twice is harmless
    CHECK(FindNext(f) != 0);
}

TEST_CASE("A search without size, and one kept to its volume") {
    Scratch s;
    s.file("big", 4096);
    const SearchOptions noSize{.wantSize = false};
    TSearchRec f;
    bool sawBig = false;
    for (int r = FindFirst(s.path("*.*"), faAnyFile, f, noSize); r == 0; r = FindNext(f))
        if (f.Name == "big") {
            sawBig = true;
            CHECK_EQ(f.Size, std::int64_t(0));
        }
    CHECK(sawBig);

    const VolumeId volume = VolumeOf(s.root);
    CHECK(volume != 0);
    CHECK(FindFirst(s.path("*.*"), faAnyFile, f, {.stayOnVolume = volume}) == 0);
    CHECK(FindFirst(s.path("*.*"), faAnyFile, f, {.stayOnVolume = volume + 1}) != 0);
    CHECK(VolumeOf(s.path("missing")) == 0);
}

TEST_CASE("Names are bytes: a name that is not UTF-8 is listed and probed as it is") {
    Scratch s;
    const std::string odd = "caf\xE9\xFF name";
    s.file(odd, 7);
    CHECK(listing(s.path("*.*"), faAnyFile).count(odd) == 1);
    std::int64_t size = 0;
    CHECK(PathExists(s.path(odd), faAnyFile, &size));
    CHECK_EQ(size, std::int64_t(7));
}

TEST_CASE("Drives from the mount table: every file system but the kernel's, root first") {
    struct Row {
        std::string what, table;
        std::vector<std::string> roots;
        std::set<std::string> locked; // points the user cannot enter
    };
    std::vector<Row> rows;
    const auto paths = [](const std::string &line) {
        std::vector<std::string> all;
        std::istringstream in(line.substr(2));
        for (std::string path; std::getline(in, path, '|');)
            all.push_back(path);
        return all;
    };
    std::ifstream data(FORGEWAY_TEST_DATA "/MountInfo.txt");
    for (std::string line; std::getline(data, line);) {
        if (line.starts_with("# "))
            rows.push_back({line.substr(2), "", {}, {}});
        else if (line.starts_with("= ") && !rows.empty())
            rows.back().roots = paths(line);
        else if (line.starts_with("! ") && !rows.empty())
            for (const std::string &point : paths(line))
                rows.back().locked.insert(point);
        else if (!line.starts_with("##") && !line.empty() && !rows.empty())
            rows.back().table += line + "\n";
    }
    CHECK_EQ(rows.size(), std::size_t(6));
    for (const Row &row : rows)
        if (DriveRootsFromMountInfo(row.table, [&row](const std::string &point) {
                return !row.locked.count(point);
            }) != row.roots)
            check::fail(__FILE__, __LINE__, row.what);
    // No limit on how many.
    std::string many;
    for (int i = 0; i < 40; ++i)
        many += "1 1 8:" + std::to_string(i) + " / /m" + std::to_string(100 + i) +
                " rw - squashfs /dev/loop rw\n";
    CHECK_EQ(DriveRootsFromMountInfo(many).size(), std::size_t(41)); // "/" and the 40

    const auto here = DriveRoots();
    CHECK(!here.empty());
    CHECK_EQ(here.front(), std::string("/"));
}

TEST_CASE("StartProcess: no shell, arguments whole, detached, failures told") {
    Scratch s;
    // A metacharacter payload must arrive as plain text, and nothing may run it.
    const std::string marker = s.path("marker");
    const std::string payload =
        "x; touch " + marker + " | $(touch " + marker + ") `touch " + marker + "` \"q\" 'q' &\n";
    const std::string echoed = s.path("argv");
    const std::string script =
        executable(s.path("echo args"),
                   "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$OUT\"\n"
                   "printf '%s\\n' \"$$ $PPID\" >> \"$OUT\"\n");
    setenv("OUT", echoed.c_str(), 1);
    const StartResult r = StartProcess(script, {"a b", payload});
    unsetenv("OUT");
    CHECK(r.started);
    CHECK(waitFor(echoed));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::string argv; // a line each, then the script's own pid and its parent's
    CHECK(walk::readFile(echoed, argv));
    CHECK_EQ(argv.substr(0, 4 + payload.size()), "a b\n" + payload);
    CHECK(access(marker.c_str(), F_OK) != 0);
    // Detached: not our child, so there is nothing to reap.
    CHECK(waitpid(-1, nullptr, WNOHANG) < 0);

    CHECK(!StartProcess(s.path("missing"), {}).started);
    CHECK(!StartProcess("", {}).started);
    CHECK(!StartProcess(s.root, {}).started); // a folder
    s.file("noexec");
    const StartResult noExec = StartProcess(s.path("noexec"), {});
    CHECK(!noExec.started);
    CHECK(!noExec.error.empty());
    CHECK(!StartProcess(executable(s.path("noshebang"), "touch " + marker + "\n"), {}).started);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CHECK(access(marker.c_str(), F_OK) != 0);
}

TEST_CASE("StartProcess returns while the started program runs on") {
    Scratch s;
    const std::string pidFile = s.path("pid");
    const std::string script =
        executable(s.path("long"),
                   "#!/bin/sh\necho $$ > \"$1.part\" && mv \"$1.part\" \"$1\"\nexec sleep 5\n");
    const auto before = std::chrono::steady_clock::now();
    const StartResult r = StartProcess(script, {pidFile});
    // A start that waited for the program would take its five seconds.
    CHECK(std::chrono::steady_clock::now() - before < std::chrono::seconds(2));
    CHECK(r.started);
    CHECK(waitFor(pidFile));
    std::ifstream in(pidFile);
    pid_t pid = 0;
    in >> pid;
    CHECK(pid > 1 && kill(pid, SIGKILL) == 0);
}

// Each rule is checked on planted compilers in AutoSearchTest; here, every
// step on the way, as root and as a user whose accounts the case sets.
namespace {

constexpr unsigned OtherId = 65533; // a user, and a group, that the user is not

// Makes folder at and in it entries like "d/:1777" (a folder), "d/p:755"
// or "s/p>../t" (a link), maybe with "+ro" (owner, then group; u the user, r
// root, o another; by default the user's).  False where one cannot be given.
bool make(const std::string &at, const std::string &words, uid_t uid, gid_t gid) {
    std::istringstream in(words);
    bool made = mkdir(at.c_str(), 0755) == 0;
    for (std::string w; in >> w;) {
        const std::size_t plus = std::min(w.find('+'), w.size()), arrow = w.find('>');
        const std::string who = w.substr(plus) + "++",
                          path = at + w.substr(0, w.find_first_of(":>"));
        const auto id = [](char c, unsigned user, unsigned keep) {
            return c == 'u' ? user : c == 'r' ? 0 : c == 'o' ? OtherId : keep;
        };
        if (arrow != std::string::npos)
            symlink(w.substr(arrow + 1, plus - arrow - 1).c_str(), path.c_str());
        else if (path.back() == '/')
            mkdir(path.c_str(), 0700);
        else
            std::ofstream(path) << "#!/bin/sh\n";
        const unsigned mode =
            arrow == std::string::npos ? std::stoul(w.substr(w.find(':') + 1), nullptr, 8) : 0;
        made = lchown(path.c_str(), id(who[1], uid, uid), id(who[2], gid, gid_t(-1))) == 0 &&
               (!mode || chmod(path.c_str(), mode) == 0) && made;
    }
    return made;
}

} // namespace

TEST_CASE("TrustedProgram: each folder, link and hop, and the program, are root's or the user's") {
    struct Case {
        const char *what, *entries, *start;
        char trusted; // y, n, or g: only where the user's primary group is the user's alone
    };
    const std::vector<Case> cases = {
        {"the user's program", "p:755", "p", 'y'},
        {"root's program", "p:755+r", "p", 'y'},
        {"another user's program", "p:755+o", "p", 'n'},
        {"a program others may write to", "p:757", "p", 'n'},
        {"a sticky program others may write to", "p:1757", "p", 'n'},
        {"a program the user's group may write to", "p:775+uu", "p", 'g'},
        {"a program another group may write to", "p:775+uo", "p", 'n'},
        {"a folder others may write to", "d/:777 d/p:755", "d/p", 'n'},
        {"a sticky folder others may write to", "d/:1777 d/p:755", "d/p", 'y'},
        {"another's program in a sticky folder", "d/:1777 d/p:755+o", "d/p", 'n'},
        {"another user's folder", "d/:755+o d/p:755", "d/p", 'n'},
        {"root's folder another group may write to", "d/:775+ro d/p:755", "d/p", 'n'},
        {"root's folder the user's group may write to", "d/:775+ru d/p:755", "d/p", 'g'},
        {"a folder further up others may write to", "u/:777 u/d/:755 u/d/p:755", "u/d/p", 'n'},
        {"the user's link in a sticky folder", "s/:1777 s/p>/usr/bin/true", "s/p", 'y'},
        {"another's link in a sticky folder", "s/:1777 s/p>/usr/bin/true+o", "s/p", 'n'},
        {"a hop through another's folder", "a/:755 m/:755+o a/p>../m/t m/t>/bin/true", "a/p", 'n'},
        {"a hop through root's folder", "a/:755 m/:755+r a/p>../m/t m/t>/bin/true", "a/p", 'y'},
        {"another's second hop", "a/:755 s/:1777 a/p>../s/t s/t>/bin/true+o", "a/p", 'n'},
        {"a folder through another's link", "r/:755 r/p:755 s/:1777 s/r>../r+o", "s/r/p", 'n'},
        {"a link read in its folder, .. after it", "a/:755 a/b/:755 a/b/x:755 a/b/p>x a/u>b/..",
         "a/u/b/p", 'y'},
        {"a link into a folder others may write to", "o/:777 o/p:755 p>o/p", "p", 'n'},
        {"a link loop", "p>q q>p", "p", 'n'},
        {"a dangling link", "p>none", "p", 'n'},
        {"a folder", "p/:755", "p", 'n'},
    };
    // The test's own user runs the cases, and uid 65534 in a mount namespace
    // of its own, where the account files make its group its own (y) or not.
    struct Runner {
        const char *what, *other, *groups;
        char ownGroup;
    };
    const std::vector<Runner> runners = {
        {"as this user", "", "", '?'},
        {"as a user with a group of its own", "other:x:65533:65533::/:", "me:x:65534:\n", 'y'},
        {"as a user whose group is another's", "other:x:65533:65534::/:", "me:x:65534:\n", 'n'},
        {"as a user whose group has others", "other:x:65533:1::/:", "g:x:65534:other\n", 'n'},
    };
    CHECK(!TrustedProgram("p")); // not absolute
    for (const Runner &runner : runners) {
        const bool asThisUser = runner.ownGroup == '?';
        const uid_t uid = asThisUser ? geteuid() : 65534;
        const gid_t gid = asThisUser ? getegid() : 65534;
        Scratch s;
        chmod(s.root.c_str(), 0755);
        std::ofstream(s.path("passwd")) << "root:x:0:0::/:\nme:x:65534:65534::/:\n" << runner.other;
        std::ofstream(s.path("group")) << runner.groups;
        std::vector<bool> made;
        for (std::size_t i = 0; i < cases.size(); ++i)
            made.push_back(make(s.path(std::to_string(i) + "/"), cases[i].entries, uid, gid));
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) {
            const int before = check::failures();
            if (!asThisUser &&
                (unshare(CLONE_NEWNS) != 0 ||
                 mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                 mount(s.path("passwd").c_str(), "/etc/passwd", nullptr, MS_BIND, nullptr) != 0 ||
                 mount(s.path("group").c_str(), "/etc/group", nullptr, MS_BIND, nullptr) != 0 ||
                 setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
                _exit(125);
            int skipped = 0;
            for (std::size_t i = 0; i < cases.size(); ++i) {
                const std::string at = s.path(std::to_string(i) + "/" + cases[i].start);
                const char trusted = cases[i].trusted == 'g' ? runner.ownGroup : cases[i].trusted;
                if (!made[i] || trusted == '?')
                    ++skipped;
                else if (TrustedProgram(at) != (trusted == 'y'))
                    check::fail(__FILE__, __LINE__,
                                std::string(runner.what) + ": " + cases[i].what + ": " + at);
            }
            if (skipped)
                std::printf("    %s: %d skipped (need root or known groups)\n", runner.what,
                            skipped);
            std::fflush(stdout);
            _exit(check::failures() == before ? 0 : 1);
        }
        int status = -1;
        waitpid(child, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 125)
            std::printf("    skipped %s: needs root and a mount namespace\n", runner.what);
        else
            CHECK(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
}

TEST_CASE("A capture takes output and error whole, in the order written, through one pipe") {
    Scratch s;
    std::string error;
    auto capture = OutputCapture::Open(&error);
    CHECK(capture != nullptr);
    if (!capture)
        return;
    const std::string done = s.path("done");
    // A stand-in for a compiler: both streams in turn, a reopen of each (which
    // would truncate a file), what its input gives, where its output goes;
    // then, with Forgeway's end of the pipe closed, a write that must still
    // succeed.
    const std::string script = executable(
        s.path("streams"), "#!/bin/sh\necho out 1; echo err 2 >&2; echo out 3\n"
                           "echo reopened err > /dev/stderr; echo reopened out > /dev/stdout\n"
                           "printf 'caf\\351\\377\\n' >&2\n"
                           "echo \"stdin: $(wc -c)\"\n"
                           "readlink /proc/$$/fd/1 /proc/$$/fd/2\n"
                           "sleep 0.3; echo after && echo written > \"$1.part\"\n"
                           "mv \"$1.part\" \"$1\"\n");
    CHECK(StartProcess(script, {done}, capture.get()).started);
    waitUntil([&] { return capture->Tail(4096).find("]\npipe:[") != std::string::npos; }, 3000);
    const std::string all = capture->Tail(4096);
    const std::string said =
        "out 1\nerr 2\nout 3\nreopened err\nreopened out\ncaf\xE9\xFF\nstdin: 0\n";
    CHECK_EQ(all.substr(0, said.size()), said);
    const std::string target = all.substr(said.size(), (all.size() - said.size()) / 2);
    CHECK_EQ(target.rfind("pipe:[", 0), std::size_t(0));
    CHECK_EQ(all, said + target + target);
    CHECK_EQ(capture->Written(), std::uint64_t(all.size()));
    CHECK_EQ(capture->Tail(target.size()), target);
    CHECK_EQ(capture->Tail(0), std::string());
    capture.reset();
    CHECK(waitFor(done));
    std::string written;
    CHECK(walk::readFile(done, written));
    CHECK_EQ(written, std::string("written\n"));
}

TEST_CASE("A capture holds only its tail, however much is written; the tail reads whole") {
    auto capture = OutputCapture::Open();
    CHECK(capture != nullptr);
    if (!capture)
        return;
    const int fd = int(capture->NativeHandle());
    std::string block(1 << 20, 'x');
    for (int i = 0; i < 8; ++i)
        CHECK_EQ(write(fd, block.data(), block.size()), ssize_t(block.size()));
    CHECK_EQ(write(fd, "tail\n", 5), ssize_t(5));
    const std::uint64_t all = (8u << 20) + 5;
    waitUntil([&] { return capture->Written() >= all; }, 5000);
    CHECK_EQ(capture->Written(), all);
    // The memory it holds: the ring's memfd, the one this process has open.
    std::uint64_t held = 0;
    for (int other = 3; other < 1024; ++other) {
        char link[64] = {};
        const std::string path = "/proc/self/fd/" + std::to_string(other);
        struct stat st;
        if (readlink(path.c_str(), link, sizeof link - 1) > 0 &&
            std::string(link).rfind("/memfd:forgeway-output", 0) == 0 && fstat(other, &st) == 0)
            held += std::uint64_t(st.st_blocks) * 512;
    }
    CHECK(held > 0 && held <= 264 * 1024);
    CHECK_EQ(capture->Tail(64 * 1024), std::string(64 * 1024 - 5, 'x') + "tail\n");
    std::uint64_t from = 0;
    const std::string kept = capture->Tail(1 << 20, &from); // more than the ring gives
    CHECK_EQ(kept.size(), std::size_t(192 * 1024));
    CHECK_EQ(from, all - kept.size());
    CHECK_EQ(write(fd, "more\n", 5), ssize_t(5)); // the writer goes on where it was
    waitUntil([&] { return capture->Written() >= all + 5; }, 5000);
    CHECK_EQ(capture->Tail(10), std::string("tail\nmore\n"));
}

TEST_CASE("Lookahead: a folder swapped for a link after its parent was listed is refused") {
    Scratch s;
    s.folder("sub");
    s.file("sub/inside.txt");
    s.folder("elsewhere");
    s.file("elsewhere/secret.txt");
    for (const int helpers : {0, 4}) {
        // Nothing read ahead: the swap lands between listing and opening.
        Lookahead lookahead({.helpers = helpers, .folders = 0});
        SearchOptions options{.wantSize = false, .lookahead = &lookahead};
        TSearchRec parent;
        int r = FindFirst(s.path("*.*"), faAnyFile, parent, options);
        while (r == 0 && parent.Name != "sub")
            r = FindNext(parent);
        CHECK_EQ(r, 0);
        CHECK(rename(s.path("sub").c_str(), s.path("moved").c_str()) == 0);
        CHECK(symlink(s.path("elsewhere").c_str(), s.path("sub").c_str()) == 0);
        options.within = &parent;
        TSearchRec child;
        CHECK(FindFirst(s.path("sub/*.*"), faAnyFile, child, options) != 0);
        FindClose(child);
        FindClose(parent);
        unlink(s.path("sub").c_str());
        rename(s.path("moved").c_str(), s.path("sub").c_str());
    }
}
