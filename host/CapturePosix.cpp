// The capture on POSIX: a memfd where there is one, else a file in the
// temporary folder that never has a name (O_TMPFILE), else one whose name is
// removed the moment it is made.  Forgeway reads it by offset only (pread), so
// the file position that the program writes at is never moved.
#include "host/Capture.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace {

// Freeing goes in whole blocks, so that no block is left half used.
constexpr std::uint64_t FreeBlock = 64 * 1024;

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

} // namespace

std::unique_ptr<OutputCapture> OutputCapture::Open(std::string *error) {
    int err = 0;
    const int fd = openAnonymous(err);
    if (fd < 0) {
        if (error)
            *error = std::strerror(err);
        return nullptr;
    }
    return std::unique_ptr<OutputCapture>(new OutputCapture(fd, fd));
}

OutputCapture::~OutputCapture() {
    ::close(int(writer_));
}

std::uint64_t OutputCapture::Written() const {
    struct stat st;
    return ::fstat(int(reader_), &st) == 0 ? std::uint64_t(st.st_size) : 0;
}

std::string OutputCapture::Tail(std::size_t maxBytes, std::uint64_t *start) const {
    const std::uint64_t size = Written();
    const std::uint64_t from = size > maxBytes ? size - maxBytes : 0;
    if (start)
        *start = from;
    std::string out(std::size_t(size - from), '\0');
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t n =
            ::pread(int(reader_), out.data() + got, out.size() - got, off_t(from + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += std::size_t(n);
    }
    out.resize(got);
    return out;
}

void OutputCapture::Trim(std::uint64_t keepBytes) {
#if defined(FALLOC_FL_PUNCH_HOLE) && defined(FALLOC_FL_KEEP_SIZE)
    const std::uint64_t size = Written();
    if (size <= keepBytes)
        return;
    const std::uint64_t to = (size - keepBytes) / FreeBlock * FreeBlock;
    if (to <= freedTo_)
        return;
    if (::fallocate(int(writer_), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(freedTo_),
                    off_t(to - freedTo_)) == 0)
        freedTo_ = to;
#else
    (void)keepBytes;
#endif
}

} // namespace host
