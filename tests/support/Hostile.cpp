#include "tests/support/Hostile.h"

#include "tests/support/Events.h"
#include "tests/support/ListingWalk.h"

#include "forms/Unit2.h"
#include "runtime/Timer.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace hostile {

namespace {

QByteArray hashFile(int dirFd, const char *name) {
    const int fd = openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0)
        return "<unreadable>";
    QCryptographicHash hash(QCryptographicHash::Sha256);
    char buffer[65536];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        hash.addData(QByteArrayView(buffer, got));
    close(fd);
    return hash.result().toHex();
}

void walk(int dirFd, const std::string &prefix, Snapshot &out) {
    DIR *dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return;
    }
    while (const dirent *e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st;
        if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const std::string rel = prefix + name;
        if (S_ISDIR(st.st_mode)) {
            out[rel] = "<dir>";
            const int sub = openat(dirfd(dir), e->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (sub >= 0)
                walk(sub, rel + "/", out);
        } else if (S_ISREG(st.st_mode)) {
            out[rel] = hashFile(dirfd(dir), e->d_name);
        } else {
            out[rel] = "<other>";
        }
    }
    closedir(dir);
}

constexpr const char *MarkerVariable = "FORGEWAY_RELIABILITY_RUN";

} // namespace

Snapshot snapshot(const std::string &root) {
    Snapshot out;
    const int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
        walk(fd, "", out);
    return out;
}

bool isCompilerOutput(const std::string &relative) {
    return relative.starts_with("Demo/") && relative.find('/', 5) == std::string::npos &&
           (relative.ends_with(".DCU") || relative == "Demo/Lumio.EXE");
}

QByteArray joined(const std::vector<std::string> &lines) {
    QByteArray out;
    for (const std::string &line : lines)
        out += QByteArray::fromStdString(line) + "; ";
    return out;
}

QByteArray changes(const Snapshot &before, const Snapshot &after, bool besidesOutputs) {
    const auto isCompilerOutput = [besidesOutputs](const std::string &rel) {
        return besidesOutputs && hostile::isCompilerOutput(rel);
    };
    std::vector<std::string> changes;
    for (const auto &[rel, hash] : before) {
        if (isCompilerOutput(rel))
            continue;
        const auto it = after.find(rel);
        if (it == after.end())
            changes.push_back("lost: " + rel);
        else if (it->second != hash)
            changes.push_back("changed: " + rel);
    }
    for (const auto &[rel, hash] : after)
        if (!before.count(rel) && !isCompilerOutput(rel))
            changes.push_back("new: " + rel);
    return joined(changes);
}

void writeFile(const std::string &path, const std::string &contents, int mode) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents; // closed here
    chmod(path.c_str(), mode_t(mode));
}

std::string readFile(const std::string &path) {
    std::string contents;
    ::walk::readFile(path, contents);
    return contents;
}

int countPrefixed(const std::string &folder, const std::string &prefix) {
    int n = 0;
    for (const auto &[rel, hash] : snapshot(folder))
        n += rel.rfind(prefix, 0) == 0;
    return n;
}

ProcessMarker::ProcessMarker()
    : value_(QByteArray::number(qint64(getpid())) + "-" +
             QByteArray::number(QDateTime::currentMSecsSinceEpoch())) {
    qputenv(MarkerVariable, value_);
}

ProcessMarker::~ProcessMarker() {
    kill();
    qunsetenv(MarkerVariable);
}

std::vector<int> ProcessMarker::alive() const {
    std::vector<int> pids;
    // The entries of /proc/<pid>/environ are separated by NULs.
    const std::string entry = '\0' + (MarkerVariable + ("=" + value_)).toStdString() + '\0';
    DIR *proc = opendir("/proc");
    if (!proc)
        return pids;
    while (const dirent *e = readdir(proc)) {
        const int pid = atoi(e->d_name);
        if (pid <= 0 || pid == getpid())
            continue;
        const std::string env = readFile("/proc/" + std::string(e->d_name) + "/environ");
        if (('\0' + env + '\0').find(entry) != std::string::npos)
            pids.push_back(pid);
    }
    closedir(proc);
    return pids;
}

int ProcessMarker::kill() {
    int killed = 0;
    // A stand-in may fork while we look; a few rounds catch its children.
    for (int round = 0; round < 5; ++round) {
        const std::vector<int> pids = alive();
        if (pids.empty())
            break;
        for (int pid : pids)
            if (::kill(pid, SIGKILL) == 0)
                ++killed;
        QTest::qWait(20);
    }
    return killed;
}

bool noChildren() {
    int status = 0;
    return waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

WaitDialogDriver::WaitDialogDriver(int intervalMs) {
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (Form2 && Form2->isVisible()) {
            ++ticks;
            (void)events::tick(Form2->TUj);
        }
    });
    timer_.start();
}

} // namespace hostile
