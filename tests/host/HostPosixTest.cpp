// The POSIX half of the host layer: directory search, existence probes,
// drives from the mount table and detached process start.
#include "tests/host/Check.h"
#include "tests/support/ListingWalk.h"

#include "runtime/host/Drives.h"
#include "runtime/host/FileSearch.h"
#include "runtime/host/Lookahead.h"
#include "runtime/host/Process.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace host;

namespace {

struct Scratch {
    std::string root;
    Scratch() {
        char tmpl[] = "/tmp/forgeway-host-XXXXXX";
        root = mkdtemp(tmpl);
    }
    ~Scratch() {
        walk::removeAt(AT_FDCWD, root.c_str());
        CHECK(access(root.c_str(), F_OK) != 0);
    }
    std::string path(const std::string &rel) const { return root + "/" + rel; }
    void file(const std::string &rel, std::size_t size = 0) const {
        std::ofstream(path(rel)) << std::string(size, 'x');
    }
    void folder(const std::string &rel) const { mkdir(path(rel).c_str(), 0755); }
};

std::set<std::string> listing(const std::string &pattern, int mask) {
    std::set<std::string> names;
    TSearchRec f;
    for (int r = FindFirst(pattern, mask, f); r == 0; r = FindNext(f))
        names.insert(f.Name);
    FindClose(f);
    return names;
}

bool waitFor(const std::string &path) {
    for (int i = 0; i < 300; ++i) {
        if (access(path.c_str(), F_OK) == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The watchdog of a start that must not wait for the started program: it ends
// that program (its pid is in watchedPidFile) and this test run.
char watchedPidFile[4096];

void startWaited(int) {
    static const char message[] = "    FAIL StartProcess waited for the program\n";
    ssize_t ignored = write(STDOUT_FILENO, message, sizeof message - 1);
    const int fd = open(watchedPidFile, O_RDONLY);
    if (fd >= 0) {
        char digits[32] = {};
        ignored = read(fd, digits, sizeof digits - 1);
        close(fd);
        const pid_t pid = pid_t(std::atol(digits));
        if (pid > 1)
            kill(pid, SIGKILL);
    }
    (void)ignored;
    _exit(1);
}

} // namespace

TEST_CASE("PathExists: masks against folders, plain, hidden and special entries") {
    Scratch s;
    s.folder("Demo");
    s.file("plain", 1234);
    s.file(".hidden");
    s.folder(".hiddendir");
    mkfifo(s.path("fifo").c_str(), 0644);

    std::int64_t size = -1;
    CHECK(PathExists(s.path("plain"), faAnyFile, &size));
    CHECK_EQ(size, std::int64_t(1234));
    CHECK(PathExists(s.path("plain"), faDirectory)); // a plain file passes mask 16 too
    CHECK(PathExists(s.path("Demo"), faDirectory));
    CHECK(PathExists(s.path("Demo"), faAnyFile));
    CHECK(!PathExists(s.path("Demo"), 0)); // a folder needs the directory bit in the mask
    CHECK(PathExists(s.path(".hidden"), faAnyFile));
    CHECK(!PathExists(s.path(".hidden"), faDirectory));
    CHECK(!PathExists(s.path(".hiddendir"), faDirectory));
    CHECK(PathExists(s.path("fifo"), faAnyFile));
    CHECK(!PathExists(s.path("fifo"), faDirectory)); // counts as a system file
    CHECK(!PathExists(s.path("missing"), faAnyFile));
    CHECK(!PathExists("", faAnyFile));
    CHECK(!PathExists(s.path("plain/below"), faAnyFile));
}

TEST_CASE("PathExists with wildcards answers for the first entry that fits") {
    Scratch s;
    s.file("DCC32.EXE", 543232);
    s.file("other.txt", 3);
    std::int64_t size = 0;
    CHECK(PathExists(s.path("DCC3?.EXE"), faAnyFile, &size));
    CHECK_EQ(size, std::int64_t(543232));
    CHECK(PathExists(s.path("*.EXE"), faAnyFile));
    CHECK(PathExists(s.path("*.*"), faAnyFile));
    CHECK(!PathExists(s.path("*.exe"), faAnyFile)); // names are case-sensitive here
    CHECK(!PathExists(s.path("none/*.*"), faAnyFile));
}

TEST_CASE("FindFirst/FindNext list every entry with its attributes, dots included") {
    Scratch s;
    s.folder("sub");
    s.file("a.Pas", 10);
    s.file(".cfg", 1);
    symlink("sub", s.path("link").c_str());

    CHECK((listing(s.path("*.*"), faAnyFile) ==
           std::set<std::string>{".", "..", "sub", "a.Pas", ".cfg", "link"}));
    CHECK((listing(s.path("*"), faDirectory) ==
           std::set<std::string>{".", "..", "sub", "a.Pas", "link"}));
    TSearchRec f;
    for (int r = FindFirst(s.path("*.*"), faAnyFile, f); r == 0; r = FindNext(f)) {
        if (f.Name == "sub" || f.Name == "." || f.Name == "..")
            CHECK(f.Attr & faDirectory);
        if (f.Name == "link") // a link is an entry of its own, never followed
            CHECK(!(f.Attr & faDirectory));
        if (f.Name == ".cfg")
            CHECK(f.Attr & faHidden);
        if (f.Name == "a.Pas")
            CHECK_EQ(f.Size, std::int64_t(10));
    }
    FindClose(f);
    FindClose(f); // twice is harmless
    CHECK(FindNext(f) != 0);
}

TEST_CASE("A search without size, and one kept to its volume") {
    Scratch s;
    s.file("big", 4096);
    SearchOptions noSize;
    noSize.wantSize = false;
    TSearchRec f;
    bool sawBig = false;
    for (int r = FindFirst(s.path("*.*"), faAnyFile, f, noSize); r == 0; r = FindNext(f))
        if (f.Name == "big") {
            sawBig = true;
            CHECK_EQ(f.Size, std::int64_t(0));
        }
    CHECK(sawBig);

    SearchOptions same;
    same.stayOnVolume = VolumeOf(s.root);
    CHECK(same.stayOnVolume != 0);
    CHECK(FindFirst(s.path("*.*"), faAnyFile, f, same) == 0);
    SearchOptions other;
    other.stayOnVolume = same.stayOnVolume + 1;
    CHECK(FindFirst(s.path("*.*"), faAnyFile, f, other) != 0);
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

TEST_CASE("Drives from the mount table: real file systems, sorted, root first") {
    // Not in the order the roots come out.
    const std::string table = "22 1 0:21 / /proc rw,nosuid - proc proc rw\n"
                              "34 30 8:4 / /media/My\\040Disk rw - exfat /dev/sdb1 rw\n"
                              "23 1 0:22 / /sys rw - sysfs sysfs rw\n"
                              "32 30 8:3 / /home rw shared:3 master:1 - btrfs /dev/sda3 rw\n"
                              "30 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
                              "31 30 8:1 / /boot/efi rw shared:2 - vfat /dev/sda1 rw\n"
                              "33 30 0:30 / /run rw - tmpfs tmpfs rw\n"
                              "35 23 0:31 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
                              "36 30 8:3 /x /home rw - btrfs /dev/sda3 rw\n"
                              "garbage line\n";
    const auto roots = DriveRootsFromMountInfo(table);
    CHECK((roots == std::vector<std::string>{"/", "/boot/efi/", "/home/", "/media/My Disk/"}));

    std::string many;
    for (int i = 0; i < 40; ++i)
        many += "1 1 8:1 / /m" + std::to_string(100 + i) + " rw - ext4 /dev/x rw\n";
    CHECK_EQ(DriveRootsFromMountInfo(many).size(), std::size_t(26));

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
    const std::string script = s.path("echo args");
    std::ofstream(script)
        << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$OUT\"\n"
           "printf '%s\\n' \"$$ $PPID\" >> \"$OUT\"\n";
    chmod(script.c_str(), 0755);
    setenv("OUT", echoed.c_str(), 1);
    const StartResult r = StartProcess(script, {"a b", payload});
    unsetenv("OUT");
    CHECK(r.started);
    CHECK(waitFor(echoed));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::ifstream in(echoed);
    std::string first, second;
    std::getline(in, first);
    CHECK_EQ(first, std::string("a b"));
    std::getline(in, second);
    CHECK_EQ(second, std::string("x; touch " + marker + " | $(touch " + marker + ") `touch " +
                                 marker + "` \"q\" 'q' &"));
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
    s.file("noshebang");
    std::ofstream(s.path("noshebang")) << "touch " << marker << "\n";
    chmod(s.path("noshebang").c_str(), 0755);
    CHECK(!StartProcess(s.path("noshebang"), {}).started);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CHECK(access(marker.c_str(), F_OK) != 0);
}

TEST_CASE("StartProcess returns while the started program runs on") {
    Scratch s;
    const std::string pidFile = s.path("pid");
    const std::string script = s.path("long");
    std::ofstream(script) << "#!/bin/sh\necho $$ > \"$1.part\" && mv \"$1.part\" \"$1\"\n"
                             "exec sleep 60\n";
    chmod(script.c_str(), 0755);
    std::snprintf(watchedPidFile, sizeof watchedPidFile, "%s", pidFile.c_str());
    struct sigaction watchdog = {}, before = {};
    watchdog.sa_handler = startWaited;
    sigaction(SIGALRM, &watchdog, &before);
    alarm(2);
    const StartResult r = StartProcess(script, {pidFile});
    alarm(0);
    sigaction(SIGALRM, &before, nullptr);

    CHECK(r.started);
    CHECK(waitFor(pidFile));
    std::ifstream in(pidFile);
    pid_t pid = 0;
    in >> pid;
    CHECK(pid > 1);
    if (pid > 1)
        CHECK(kill(pid, SIGKILL) == 0);
}

TEST_CASE("Lookahead: a folder swapped for a link after its parent was listed is refused") {
    Scratch s;
    s.folder("sub");
    s.file("sub/inside.txt");
    s.folder("elsewhere");
    s.file("elsewhere/secret.txt");
    for (const int helpers : {0, 4}) {
        LookaheadLimits limits;
        limits.helpers = helpers;
        limits.folders = 0; // nothing read ahead: the swap lands between listing and opening
        Lookahead lookahead(limits);
        SearchOptions options;
        options.wantSize = false;
        options.lookahead = &lookahead;
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
