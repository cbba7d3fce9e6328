// Detached process start on POSIX.
//
// The child forks once more and exits at once, so the program runs as an
// orphan that init reaps: Forgeway never waits on it and no zombie is left.
// A close-on-exec pipe carries an exec failure back, so the caller learns
// whether the program really started.  That is all Forgeway learns of the
// program from here: it keeps no pid, and whatever comes afterwards it learns
// only from what the program writes.
#include "host/Process.h"

#include "host/Capture.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace host {

namespace {

[[noreturn]] void failChild(int pipeFd, int err) {
    // Only async-signal-safe calls between fork and exec.
    ssize_t ignored = write(pipeFd, &err, sizeof err);
    (void)ignored;
    _exit(127);
}

// A copy of fd above the standard three, closed on exec, so that dup2 onto
// 0, 1 and 2 always makes a new descriptor that the program keeps.
int aboveStandard(int pipeFd, int fd) {
    const int high = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (high < 0)
        failChild(pipeFd, errno);
    return high;
}

// Standard input from /dev/null; output and error into the capture, or to
// /dev/null without one.
void redirect(int pipeFd, int captureFd) {
    const int opened = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (opened < 0)
        failChild(pipeFd, errno);
    const int null = aboveStandard(pipeFd, opened);
    const int out = captureFd >= 0 ? aboveStandard(pipeFd, captureFd) : null;
    if (dup2(null, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0)
        failChild(pipeFd, errno);
}

} // namespace

StartResult StartProcess(const std::string &program, const std::vector<std::string> &args,
                         const OutputCapture *output) {
    const int captureFd = output ? int(output->NativeHandle()) : -1;
    if (program.empty())
        return {false, std::strerror(ENOENT)};

    std::vector<char *> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return {false, std::strerror(errno)};

    const pid_t child = fork();
    if (child < 0) {
        const int err = errno;
        close(fds[0]);
        close(fds[1]);
        return {false, std::strerror(err)};
    }
    if (child == 0) {
        close(fds[0]);
        if (setsid() < 0)
            failChild(fds[1], errno);
        const pid_t grandchild = fork();
        if (grandchild < 0)
            failChild(fds[1], errno);
        if (grandchild > 0)
            _exit(0);
        redirect(fds[1], captureFd);
        execv(program.c_str(), argv.data());
        failChild(fds[1], errno);
    }

    close(fds[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t got;
    while ((got = read(fds[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    close(fds[0]);
    if (got == ssize_t(sizeof err))
        return {false, std::strerror(err)};
    return {true, {}};
}

namespace {

// Only root and the user running this program can change it.
bool ownedByRootOrUser(const struct stat &st) {
    return st.st_uid == 0 || st.st_uid == geteuid();
}

// Whether nobody else can change what folder and every folder above it
// hold.  Others may write to a folder with the sticky bit (/tmp): there they
// can add entries but not replace those of root or the user.
// folder: absolute, ending with "/".
bool trustedFolders(const std::string &folder) {
    for (std::size_t end = folder.find('/'); end != std::string::npos;
         end = folder.find('/', end + 1)) {
        struct stat st;
        const std::string prefix = end == 0 ? "/" : folder.substr(0, end);
        if (stat(prefix.c_str(), &st) != 0 || !ownedByRootOrUser(st) ||
            ((st.st_mode & S_IWOTH) && !(st.st_mode & S_ISVTX)))
            return false;
    }
    return true;
}

// The folder part of an absolute path, ending with "/".
std::string folderOf(const std::string &path) {
    return path.substr(0, path.rfind('/') + 1);
}

} // namespace

bool TrustedProgram(const std::string &path) {
    if (path.empty() || path[0] != '/')
        return false;
    // The file a start runs, after any links, and the folders on its own path.
    char *resolved = realpath(path.c_str(), nullptr);
    if (!resolved)
        return false;
    const std::string target = resolved;
    std::free(resolved);
    struct stat st;
    if (stat(target.c_str(), &st) != 0 || !ownedByRootOrUser(st) || (st.st_mode & S_IWOTH))
        return false;
    // The folders on the path as given too: whoever may write to one of them
    // may swap the entry, or a link on the way, for another.
    return trustedFolders(folderOf(target)) &&
           (folderOf(path) == folderOf(target) || trustedFolders(folderOf(path)));
}

} // namespace host
