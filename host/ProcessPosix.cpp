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
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <mutex>
#include <pwd.h>
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

// Whether the user's primary group is the user's alone: no other account has
// it as its primary group or lists it among its groups.  Systems with a
// private group per user make files group-writable by default; write by any
// other group is write by others.  Read from the account database, so only
// when a group-writable entry is met.
bool primaryGroupIsOwn(gid_t &primary) {
    // getpwent and getgrent keep one position per process.
    static std::mutex lock;
    const std::lock_guard<std::mutex> hold(lock);
    const uid_t user = geteuid();
    const passwd *me = getpwuid(user);
    if (!me)
        return false;
    const std::string name = me->pw_name;
    primary = me->pw_gid;
    bool own = true;
    setpwent();
    for (const passwd *pw; own && (pw = getpwent());)
        own = pw->pw_uid == user || pw->pw_gid != primary;
    endpwent();
    setgrent();
    for (const struct group *gr; own && (gr = getgrent());)
        for (char *const *member = gr->gr_mem; own && gr->gr_gid == primary && *member; ++member)
            own = name == *member;
    endgrent();
    return own;
}

// The rules for what a start depends on, with what they need to know of the
// user's groups found out once, when first needed.
class Rules {
public:
    // Whether anyone but root and the user may change the entry's contents.
    bool writableByOthers(const struct stat &st) {
        if (st.st_mode & S_IWOTH)
            return true;
        if (!(st.st_mode & S_IWGRP))
            return false;
        if (!ownGroupKnown_) {
            ownGroupKnown_ = true;
            ownGroupValid_ = primaryGroupIsOwn(ownGroup_);
        }
        return !ownGroupValid_ || st.st_gid != ownGroup_;
    }
    // Only root and the user can add, remove or rename its entries.  Others
    // may write to a folder with the sticky bit (/tmp): there they can add
    // entries but not remove or rename those of root or the user.
    bool trustedFolder(const struct stat &st) {
        return ownedByRootOrUser(st) && (!writableByOthers(st) || (st.st_mode & S_ISVTX));
    }
    // The program itself: a plain file that only root and the user can
    // change.  The sticky bit means nothing on a file.
    bool trustedProgram(const struct stat &st) {
        return S_ISREG(st.st_mode) && ownedByRootOrUser(st) && !writableByOthers(st);
    }

private:
    bool ownGroupKnown_ = false;
    bool ownGroupValid_ = false;
    gid_t ownGroup_ = 0;
};

// The names of a path, last first; a trailing "/" leaves a "." that no file
// can be followed by.
void pushNames(const std::string &path, std::vector<std::string> &names) {
    std::vector<std::string> inOrder;
    for (std::size_t from = 0; from <= path.size();) {
        std::size_t end = path.find('/', from);
        if (end == std::string::npos)
            end = path.size();
        if (end > from)
            inOrder.push_back(path.substr(from, end - from));
        else if (end == path.size() && end > 0)
            inOrder.push_back(".");
        from = end + 1;
    }
    names.insert(names.end(), inOrder.rbegin(), inOrder.rend());
}

// As many links as the kernel follows on one path.
constexpr int MaxLinks = 40;

} // namespace

bool TrustedProgram(const std::string &path) {
    if (path.empty() || path[0] != '/')
        return false;
    // The path is followed as the kernel follows it, one name at a time,
    // never trusting what a name leads to before the name itself: each folder
    // entered, each link met (a link's target is read relative to the
    // link's folder) and the program at the end.  Whoever can change any of
    // them can make the start run something else, then or later.
    Rules rules;
    struct stat st;
    if (lstat("/", &st) != 0 || !rules.trustedFolder(st))
        return false;
    std::string folder = "/"; // where the walk is, ending with "/"
    std::vector<std::string> names;
    pushNames(path, names);
    int links = 0;
    while (!names.empty()) {
        const std::string name = names.back();
        names.pop_back();
        if (name == ".")
            continue;
        if (name == "..") {
            if (folder.size() > 1)
                folder.erase(folder.rfind('/', folder.size() - 2) + 1);
            continue;
        }
        const std::string entry = folder + name;
        if (lstat(entry.c_str(), &st) != 0)
            return false;
        if (S_ISLNK(st.st_mode)) {
            if (!ownedByRootOrUser(st) || ++links > MaxLinks)
                return false;
            std::string target(std::size_t(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
            const ssize_t got = readlink(entry.c_str(), target.data(), target.size());
            if (got <= 0 || std::size_t(got) >= target.size())
                return false;
            target.resize(std::size_t(got));
            if (target[0] == '/')
                folder.erase(1); // back to "/"
            pushNames(target, names);
        } else if (S_ISDIR(st.st_mode)) {
            if (!rules.trustedFolder(st))
                return false;
            folder = entry + "/";
        } else {
            return names.empty() && rules.trustedProgram(st);
        }
    }
    return false; // a folder
}

} // namespace host
