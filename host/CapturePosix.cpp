// The capture on POSIX: a pipe, a drain process and the ring it fills
// (host/OutputRing.h).  The ring is a memfd where there is one, else a file
// in the temporary folder that never has a name (O_TMPFILE), else one whose
// name is removed the moment it is made.
#include "host/Capture.h"

#include "host/OutputRing.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace host {

namespace {

constexpr std::size_t RingBytes = ring::Header + ring::Capacity;

std::string temporaryFolder() {
    const char *tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

int openAnonymous(int &err) {
    int fd = -1;
#ifdef MFD_CLOEXEC
    fd = ::memfd_create("forgeway-output", MFD_CLOEXEC);
    if (fd >= 0)
        return fd;
    err = errno;
#endif
    const std::string folder = temporaryFolder();
#ifdef O_TMPFILE
    fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    err = errno;
#endif
    std::string name = folder + "/forgeway-output-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    ::unlink(name.c_str());
    return fd;
}

// forgeway-drain beside the running program.
std::string drainProgram() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "forgeway-drain";
    const std::string path(self, std::size_t(n));
    return path.substr(0, path.rfind('/') + 1) + "forgeway-drain";
}

// Starts the drain on the pipe's reading end and the ring, in a session of
// its own, and returns once it has detached; else why it did not.  No shell
// takes part, and the drain inherits no other descriptor of Forgeway's: every
// one is closed on exec.
std::string startDrain(int pipeReader, int ringFd, const std::string &program) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_adddup2(&actions, pipeReader, 0);
    posix_spawn_file_actions_adddup2(&actions, ringFd, 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    char name[] = "forgeway-drain";
    char *argv[] = {name, nullptr};
    pid_t pid = -1;
    int err = posix_spawn(&pid, program.c_str(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (err != 0)
        return program + ": " + std::strerror(err);
    // The drain forks and this first process of it ends at once.
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? std::string()
                                                         : program + " failed to start";
}

} // namespace

std::unique_ptr<OutputCapture> OutputCapture::Open(std::string *error) {
    const auto fail = [error](const std::string &why) {
        if (error)
            *error = why;
        return nullptr;
    };
    int err = 0;
    const int ringFd = openAnonymous(err);
    if (ringFd < 0)
        return fail(std::strerror(err));
    void *map = MAP_FAILED;
    if (::ftruncate(ringFd, off_t(RingBytes)) == 0)
        map = ::mmap(nullptr, RingBytes, PROT_READ | PROT_WRITE, MAP_SHARED, ringFd, 0);
    int fds[2];
    if (map == MAP_FAILED || ::pipe2(fds, O_CLOEXEC) != 0) {
        err = errno;
        if (map != MAP_FAILED)
            ::munmap(map, RingBytes);
        ::close(ringFd);
        return fail(std::strerror(err));
    }
    const std::string why = startDrain(fds[0], ringFd, drainProgram());
    ::close(fds[0]);
    std::unique_ptr<OutputCapture> capture(new OutputCapture(fds[1], ringFd));
    capture->ring_ = map;
    if (!why.empty())
        return fail(why);
    return capture;
}

OutputCapture::~OutputCapture() {
    ::close(int(writer_));
    ::munmap(ring_, RingBytes);
    ::close(int(reader_));
}

std::uint64_t OutputCapture::Written() const {
    return std::atomic_ref<std::uint64_t>(*ring::Count(ring_)).load(std::memory_order_acquire);
}

std::string OutputCapture::Tail(std::size_t maxBytes, std::uint64_t *start) const {
    const unsigned char *data = ring::Data(ring_);
    std::string out;
    std::uint64_t from = 0;
    // The copy is whole from the first byte that the drain cannot have
    // overwritten while it was made; a drain that overtook it all is rare
    // enough to copy again (a hundred times at most, then nothing is given).
    for (int attempt = 0;; ++attempt) {
        const std::uint64_t end = Written();
        from = end - std::min<std::uint64_t>({maxBytes, end, ring::Capacity - ring::MaxRead});
        out.resize(std::size_t(end - from));
        for (std::size_t i = 0; i < out.size();) {
            const std::size_t at = std::size_t((from + i) % ring::Capacity);
            const std::size_t n = std::min(out.size() - i, ring::Capacity - at);
            std::memcpy(out.data() + i, data + at, n);
            i += n;
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        const std::uint64_t now = Written() + ring::MaxRead;
        const std::uint64_t safe = now > ring::Capacity ? now - ring::Capacity : 0;
        if (safe <= from)
            break;
        if (safe < end || attempt == 100) {
            const std::uint64_t cut = std::min(safe, end) - from;
            out.erase(0, std::size_t(cut));
            from += cut;
            break;
        }
    }
    if (start)
        *start = from;
    return out;
}

void OutputCapture::Trim(std::uint64_t) {}

} // namespace host
