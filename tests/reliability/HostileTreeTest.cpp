// The drive scan over trees built to trip it: loops of links and mounts,
// huge and deep folders, folders it may not read, names no text decoder
// likes, special files named like the compiler, and folders that change
// under it.  Every scan must end and still find the compiler that lies after
// the hostile part (in a second drive, since listing order is the host's).
#include "components/FileFind.h"
#include "runtime/NativeText.h"
#include "tests/support/Hostile.h"
#include "tests/support/ListingWalk.h"
#include "tests/support/TempTree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

struct ScanResult {
    std::string found;
    std::vector<std::string> visits;
    long firstDrive = 0; // entries visited on the first drive, the hostile one
    std::size_t longestPath = 0;
    bool enabled = false;
};

ScanResult scan(const std::vector<std::string> &roots, const TFileFind::Pump &pump = {}) {
    ScanResult r;
    TFileFind find(nullptr, pump, [roots] { return roots; });
    find.SetSearch(QStringLiteral("DCC32.EXE"));
    find.OnSearch = [&](QObject *) {
        r.visits.push_back(find.CurrentPath().bytes);
        const std::string &path = r.visits.back();
        r.firstDrive += path.rfind(roots.front(), 0) == 0;
        r.longestPath = std::max(r.longestPath, path.size());
    };
    find.SetEnabled(true);
    r.found = toNative(find.Found());
    r.enabled = find.Enabled();
    return r;
}

bool visitedBelow(const ScanResult &r, const std::string &prefix) {
    return std::any_of(r.visits.begin(), r.visits.end(),
                       [&](const std::string &p) { return p.starts_with(prefix); });
}

// Two drives: the hostile one, and one that holds only the compiler.  Huge
// trees go to memory (/dev/shm) where there is one: creating 200,000 files
// on a busy virtual disk takes minutes.
struct TwoDrives {
    TempTree tree;
    const std::string hostile = tree.path("d1"), second = tree.path("d2"),
                      compiler = second + "/DCC32.EXE";

    explicit TwoDrives(bool inMemory = false) : tree(inMemory) {
        tree.folder("d1");
        tree.folder("d2");
        hostile::writeExecutable(compiler, "#!/bin/sh\n");
    }
    std::vector<std::string> drives() const { return {hostile + "/", second + "/"}; }
};

struct ProbeResult {
    int exitCode = -1;
    std::string found;
    long visits = -1;
    QByteArray errors;
};

// Runs the probe program directly (no shell), with a prefix such as setpriv.
ProbeResult runProbe(const QStringList &prefix, const QStringList &args) {
    QProcess p;
    p.setProgram(prefix.front());
    p.setArguments(prefix.mid(1) + args);
    p.start();
    ProbeResult r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.errors = p.readAllStandardError();
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        if (line.startsWith("found="))
            r.found = line.mid(6).toStdString();
        else if (line.startsWith("visits="))
            r.visits = line.mid(7).toLong();
    }
    return r;
}

const auto q = &fromNative; // a path for Qt, byte for byte

bool kernelTellsMountIds() {
    struct statx sx;
    return statx(AT_FDCWD, "/", 0, STATX_MNT_ID, &sx) == 0 && (sx.stx_mask & STATX_MNT_ID);
}

} // namespace

class HostileTreeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // A scan as deep as PATH_MAX allows, and the removal of a chain of
        // folders, keep one folder open per level: over a thousand here.
        rlimit files{};
        if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
            files.rlim_cur = files.rlim_max;
            QVERIFY(setrlimit(RLIMIT_NOFILE, &files) == 0);
        }
    }

    // Links are plain entries, never followed: their listing is the same as
    // a walk that does not follow them, and one named like the compiler
    // matches even when it leads nowhere.
    void linksAreListedNeverFollowed() {
        TwoDrives d;
        const std::string h = d.hostile;
        QVERIFY(mkdir((h + "/loop").c_str(), 0755) == 0);
        QVERIFY(symlink("../loop", (h + "/loop/again").c_str()) == 0);
        QVERIFY(symlink(".", (h + "/self").c_str()) == 0);
        QVERIFY(symlink("..", (h + "/up").c_str()) == 0);
        QVERIFY(symlink("/", (h + "/root").c_str()) == 0);
        QVERIFY(symlink("ping", (h + "/pong").c_str()) == 0);
        QVERIFY(symlink("pong", (h + "/ping").c_str()) == 0);
        QVERIFY(symlink("nowhere", (h + "/dangling").c_str()) == 0);
        QVERIFY(mkdir((h + "/real").c_str(), 0755) == 0);
        hostile::writeFile(h + "/real/inside.txt", "");
        QVERIFY(symlink("real", (h + "/toReal").c_str()) == 0);
        const ScanResult r = scan(d.drives());
        QCOMPARE(r.found, d.compiler);
        QCOMPARE(r.visits, walk::drives(d.drives(), "DCC32.EXE").visits);
        // . .. loop (. .. again) self up root pong ping dangling real (. .. inside.txt) toReal
        QCOMPARE(r.firstDrive, 17L);

        QVERIFY(mkdir((h + "/link").c_str(), 0755) == 0);
        QVERIFY(symlink("/nowhere", (h + "/link/dcc32.exe").c_str()) == 0);
        const ScanResult alone = scan({h + "/link/"});
        QCOMPARE(alone.found, h + "/link/dcc32.exe");
    }

    // A scan stays within the mount of its root: a folder bind-mounted below
    // itself, and a tmpfs that holds a compiler, are other volumes and list
    // as empty.  The mounts are made in a private mount namespace, as root
    // or, without root, in the probe's own user namespace.
    void theScanStaysOnItsVolume_data() {
        QTest::addColumn<bool>("asRoot");
        QTest::newRow("as root") << true;
        QTest::newRow("without root") << false;
    }
    void theScanStaysOnItsVolume() {
        QFETCH(bool, asRoot);
        if (asRoot && geteuid() != 0)
            QSKIP("not root here; the row without root runs");
        QStringList prefix; // as root, or as the user running the test
        if (!asRoot && geteuid() == 0)
            prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        if (!prefix.isEmpty() && QStandardPaths::findExecutable(prefix.front()).isEmpty())
            QSKIP("no setpriv to give up root with");
        TwoDrives d;
        QVERIFY(chmod(d.tree.root().c_str(), 0755) == 0); // for the user without root
        const std::string inner = d.hostile + "/inner/mnt";
        const std::string other = d.hostile + "/volume";
        QVERIFY(QDir().mkpath(q(inner)));
        QVERIFY(QDir().mkpath(q(other)));
        hostile::writeFile(d.hostile + "/inner/file", "x");
        const ProbeResult r =
            runProbe(prefix << SCAN_PROBE, {"--tmpfs", q(other), "--bind", q(d.hostile), q(inner),
                                            q(d.hostile + "/"), q(d.second + "/")});
        if (r.exitCode == 77)
            QSKIP(qPrintable("mounts not permitted here: " + r.errors.trimmed()));
        QCOMPARE(r.exitCode, 0);
        // The tmpfs lists as empty; its DCC32.EXE stays unseen.
        QCOMPARE(r.found, d.compiler);
        // d1's . .. inner volume and inner's . .. mnt file (8), then d2's
        // entries up to its compiler (1 to 3, in the host's listing order).
        const QByteArray visits = QByteArray::number(qlonglong(r.visits));
        if (kernelTellsMountIds()) // the bind mount, on the same device, is passed over
            QVERIFY2(r.visits >= 9 && r.visits <= 11, visits);
        else // kept to the device instead: d1 is seen twice (8 + 12), each view finite
            QVERIFY2(r.visits >= 21 && r.visits <= 23, visits);
        QVERIFY(!walk::exists(other + "/DCC32.EXE")); // the mounts stayed in the probe
    }

    // A btrfs subvolume has a device number of its own but is part of the
    // mounted file system: the scan goes into it.
    void aSubvolumeIsPartOfItsMount() {
        if (geteuid() != 0)
            QSKIP("a loop device needs root");
        if (!kernelTellsMountIds())
            QSKIP("this kernel tells no mount IDs: the scan keeps to the device");
        const QString mkfs = QStandardPaths::findExecutable(
            "mkfs.btrfs", {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
        if (mkfs.isEmpty())
            QSKIP("no mkfs.btrfs (package btrfs-progs)");
        TwoDrives d;
        const std::string image = d.tree.path("btrfs.img");
        const std::string volume = d.hostile + "/vol";
        QVERIFY(mkdir(volume.c_str(), 0755) == 0);
        QFile file(q(image));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(128 << 20));
        file.close();
        QCOMPARE(QProcess::execute(mkfs, {"-q", "-f", q(image)}), 0);
        const ProbeResult r = runProbe(
            {SCAN_PROBE}, {"--btrfs", q(image), q(volume), q(volume + "/"), q(d.second + "/")});
        if (r.exitCode == 77)
            QSKIP(qPrintable("cannot mount btrfs here: " + r.errors.trimmed()));
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.found, volume + "/sub/DCC32.EXE");
    }

    void twoHundredThousandEntriesInOneFolder() {
        TwoDrives d(true);
        const std::string big = d.hostile + "/big";
        QVERIFY(mkdir(big.c_str(), 0755) == 0);
        const int dir = open(big.c_str(), O_RDONLY | O_DIRECTORY);
        QVERIFY(dir >= 0);
        constexpr int Entries = 200000;
        char name[32];
        for (int i = 0; i < Entries; ++i) {
            std::snprintf(name, sizeof name, "f%06d.pas", i);
            const int fd = openat(dir, name, O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0);
            close(fd);
        }
        close(dir);
        long pumps = 0;
        QElapsedTimer clock;
        clock.start();
        const ScanResult r = scan(d.drives(), [&pumps] { ++pumps; });
        const qint64 ms = clock.elapsed();
        QCOMPARE(r.found, d.compiler);
        QCOMPARE(r.firstDrive, long(Entries) + 2 + 3); // + big's . ..; d1's . .. big
        QVERIFY(pumps >= long(r.visits.size())); // before every entry, and while a part is read
        qInfo("200000 entries scanned in %lld ms", ms);
    }

    void chainDeeperThanPathMax() {
        TwoDrives d(true);
        constexpr int Depth = 5000;
        int fd = open(d.hostile.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        for (int i = 0; i < Depth; ++i) {
            QVERIFY(mkdirat(fd, "dd", 0755) == 0);
            const int next = openat(fd, "dd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            close(fd);
            QVERIFY(next >= 0);
            fd = next;
        }
        // A compiler at the bottom, some 15000 bytes of path down: out of reach.
        const int exe = openat(fd, "DCC32.EXE", O_CREAT | O_WRONLY | O_CLOEXEC, 0755);
        QVERIFY(exe >= 0);
        close(exe);
        close(fd);

        const int descriptors = walk::openDescriptors();
        const ScanResult r = scan(d.drives());
        QCOMPARE(r.found, d.compiler);
        QCOMPARE(walk::openDescriptors(), descriptors);
        // It went as deep as the host allows, and no deeper.
        // (a folder path up to PATH_MAX - 1 bytes, plus the two of an entry's name)
        QVERIFY2(r.longestPath <= PATH_MAX + 1, qPrintable(QString::number(r.longestPath)));
        QVERIFY2(r.longestPath > PATH_MAX - 8, qPrintable(QString::number(r.longestPath)));
    }

    // Folders that cannot be read or entered, and a drive that is not there,
    // are passed over.  As root, the scan runs in a child that has given up
    // its rights.
    void unreadableFoldersAndAMissingDrive() {
        TwoDrives d;
        const std::string h = d.hostile;
        for (const char *sub : {"/locked", "/listonly", "/listonly/sub", "/enteronly"})
            QVERIFY(mkdir((h + sub).c_str(), 0755) == 0);
        for (const char *exe :
             {"/locked/DCC32.EXE", "/listonly/sub/DCC32.EXE", "/enteronly/DCC32.EXE"})
            hostile::writeExecutable(h + exe, "#!/bin/sh\n");
        hostile::writeFile(h + "/open.txt", "");
        QVERIFY(chmod(d.tree.root().c_str(), 0755) == 0);
        QVERIFY(chmod((h + "/locked").c_str(), 0000) == 0);
        QVERIFY(chmod((h + "/listonly").c_str(), 0444) == 0);
        QVERIFY(chmod((h + "/enteronly").c_str(), 0111) == 0);
        const std::string missing = d.tree.path("missing/");

        // 0 when all is well, 77 when the folders cannot be made unreadable.
        const auto check = [&]() -> int {
            if (access((h + "/locked").c_str(), R_OK) == 0)
                return 77;
            const ScanResult r = scan({missing, h + "/", d.second + "/"});
            if (r.found != d.compiler)
                return 1; // none of the hidden compilers may be found
            if (visitedBelow(r, missing))
                return 2;
            for (const char *sub : {"/locked/", "/enteronly/", "/listonly/sub/"})
                if (visitedBelow(r, h + sub))
                    return 3;
            for (const char *seen : {"/locked", "/enteronly", "/listonly/sub", "/open.txt"})
                if (std::find(r.visits.begin(), r.visits.end(), h + seen) == r.visits.end())
                    return 4;
            return 0;
        };
        int verdict = 0;
        if (geteuid() == 0) {
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                const bool dropped =
                    setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
                _exit(dropped ? check() : 77);
            }
            int status = 0;
            QCOMPARE(waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status));
            verdict = WEXITSTATUS(status);
        } else {
            verdict = check();
        }
        if (verdict == 77)
            QSKIP("cannot make a folder unreadable here");
        QCOMPARE(verdict, 0);
    }

    // Names no text decoder likes are entered like any other, and the
    // compiler's path comes back byte for byte through QString.
    void namesThatAreNotText() {
        TempTree tree;
        const std::string path = tree.root() + "/-rf/\xff\xfe\x80 bad/new\nline/--help/DCC32.EXE";
        for (std::size_t at = tree.root().size() + 1;
             (at = path.find('/', at)) != std::string::npos; ++at)
            QVERIFY(mkdir(path.substr(0, at).c_str(), 0755) == 0);
        hostile::writeExecutable(path, "#!/bin/sh\n");
        const std::string latin1 = tree.path("caf\xe9");
        QVERIFY(mkdir(latin1.c_str(), 0755) == 0);
        hostile::writeFile(latin1 + "/dcc32.\xc5XE", ""); // not ASCII: no match
        hostile::writeFile(tree.root() + "/-", "");
        hostile::writeFile(tree.root() + "/\x01\x7f", "");
        const ScanResult r = scan({tree.root() + "/"});
        QCOMPARE(r.found, path);
        QCOMPARE(r.visits, walk::drives({tree.root() + "/"}, "DCC32.EXE").visits);
    }

    void specialFilesNamedLikeTheCompilerAreNotTheCompiler() {
        TwoDrives d;
        const std::string h = d.hostile;
        for (const char *sub : {"/fifo", "/sock", "/dev"})
            QVERIFY(mkdir((h + sub).c_str(), 0755) == 0);
        QVERIFY(mkfifo((h + "/fifo/DCC32.EXE").c_str(), 0755) == 0);

        const int s = socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(s >= 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::string sockPath = h + "/sock/DCC32.EXE";
        QVERIFY(sockPath.size() < sizeof addr.sun_path);
        std::memcpy(addr.sun_path, sockPath.c_str(), sockPath.size() + 1);
        QVERIFY(bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0);

        const bool device =
            mknod((h + "/dev/DCC32.EXE").c_str(), S_IFCHR | 0755, makedev(1, 3)) == 0;
        if (!device)
            qInfo("no device node (%s): checked FIFO and socket only", std::strerror(errno));

        // The FIFO is never opened (that would block), and none of them matches.
        ScanResult r = scan(d.drives());
        close(s);
        QCOMPARE(r.found, d.compiler);
        // . .. and three folders of . .. and one entry
        QCOMPARE(r.firstDrive, 14L - (device ? 0 : 1));

        // Alone, they leave the scan Exhausted.
        r = scan({h + "/"});
        QCOMPARE(r.found, std::string());
        QVERIFY(r.enabled);
    }

    void foldersChangingUnderTheScan() {
        TwoDrives d;
        const std::string churn = d.hostile + "/churn";
        QVERIFY(mkdir(churn.c_str(), 0755) == 0);
        std::atomic<bool> stop{false};
        std::atomic<long> changes{0};
        std::thread changer([&] {
            char a[64], b[64];
            for (unsigned i = 0; !stop; ++i) {
                const unsigned k = i % 64;
                std::snprintf(a, sizeof a, "%s/c%u", churn.c_str(), k);
                std::snprintf(b, sizeof b, "%s/r%u", churn.c_str(), k);
                mkdir(a, 0755);
                mkdir((std::string(a) + "/x").c_str(), 0755);
                rename(a, b);
                rmdir((std::string(b) + "/x").c_str());
                rmdir(b);
                ++changes;
            }
        });
        int scans = 0;
        QElapsedTimer clock;
        clock.start();
        bool allFound = true;
        while ((clock.elapsed() < 1500 || changes < 2000) && clock.elapsed() < 10000) {
            allFound = allFound && scan(d.drives()).found == d.compiler;
            ++scans;
        }
        stop = true;
        changer.join();
        QVERIFY(allFound);
        QVERIFY(changes > 500);
        qInfo("%d scans while %ld folder changes ran", scans, changes.load());
    }
};

QTEST_GUILESS_MAIN(HostileTreeTest)
#include "HostileTreeTest.moc"
