#include "bench/Trees.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench {
namespace {

std::string stampOf(const TreeSpec &shape) {
    std::ostringstream s;
    s << "forgeway-bench tree v2 seed=" << shape.seed << " entries=" << shape.entries
      << " flat=" << shape.flat << " depth=3-12 fanout=5-50 names=5-40\n";
    return s.str();
}

std::string readAll(const std::string &path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "forgeway_bench: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(2);
}

class NameMaker {
public:
    explicit NameMaker(std::mt19937_64 &rng) : rng_(rng) {}
    // 5 to 40 characters; files mostly carry an extension.  Never the
    // compiler's name, so every scan walks the whole tree.
    std::string make(bool file) {
        static const char chars[] =
            "abcdefghijklmnopqrstuvwxyz0123456789_-ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        static const char *exts[] = {".pas", ".dcu", ".txt", ".dll", ".h", ".cpp", ".png", ".json"};
        for (;;) {
            const int len = pick(5, 40);
            std::string n;
            std::string ext = file && pick(0, 9) < 8 ? exts[pick(0, 7)] : "";
            const int stem = std::max(1, len - int(ext.size()));
            for (int i = 0; i < stem; ++i)
                n += chars[pick(0, int(sizeof chars) - 2)];
            n += ext;
            std::string upper = n;
            for (char &c : upper)
                c = char(std::toupper(static_cast<unsigned char>(c)));
            if (upper != "DCC32.EXE")
                return n;
        }
    }
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

private:
    std::mt19937_64 &rng_;
};

void touchAt(int dirFd, const std::string &name) {
    const int fd = openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            return; // a random name drawn twice in one folder
        fail("create " + name);
    }
    close(fd);
}

void makeFlat(const std::string &root, const TreeSpec &shape) {
    std::mt19937_64 rng(shape.seed);
    NameMaker names(rng);
    const int dir = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        fail("open " + root);
    for (std::uint64_t i = 0; i < shape.entries; ++i)
        touchAt(dir, names.make(true) + "_" + std::to_string(i));
    close(dir);
}

// Folders are filled in random order from a pool of folders still empty, so
// that depths spread over the whole range; once the entries left would only
// just fill the folders still open, the rest get files only.
void makeRealistic(const std::string &root, const TreeSpec &shape) {
    std::mt19937_64 rng(shape.seed);
    NameMaker names(rng);
    struct Open {
        std::string path;
        int depth;
    };
    std::vector<Open> open{{root, 1}};
    std::uint64_t made = 0;
    const double meanFill = 27.5;
    while (!open.empty()) {
        const std::size_t at = std::size_t(names.pick(0, int(open.size()) - 1));
        const Open folder = open[at];
        open[at] = open.back();
        open.pop_back();
        const int dir = ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0)
            fail("open " + folder.path);
        const int count = names.pick(5, 50);
        const bool growing =
            double(made) + double(open.size() + 1) * meanFill < double(shape.entries);
        for (int i = 0; i < count; ++i) {
            bool sub = false;
            if (folder.depth < 3)
                sub = i < 4; // every branch reaches depth 3
            else if (growing && folder.depth < 12)
                sub = names.pick(0, 99) < 10;
            const std::string name = names.make(!sub);
            if (sub) {
                if (mkdirat(dir, name.c_str(), 0755) != 0) {
                    if (errno == EEXIST)
                        continue;
                    fail("mkdir " + name);
                }
                open.push_back({folder.path + "/" + name, folder.depth + 1});
            } else {
                touchAt(dir, name);
            }
            ++made;
        }
        close(dir);
    }
}

std::uint64_t walkFd(int dirFd) {
    DIR *d = fdopendir(dirFd);
    if (!d) {
        close(dirFd);
        return 0;
    }
    std::uint64_t n = 0;
    while (const dirent *e = readdir(d)) {
        ++n;
        if (e->d_type == DT_DIR && std::strcmp(e->d_name, ".") != 0 &&
            std::strcmp(e->d_name, "..") != 0) {
            const int sub = openat(dirfd(d), e->d_name,
                                   O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
            if (sub >= 0)
                n += walkFd(sub);
        }
    }
    closedir(d);
    return n;
}

} // namespace

std::string EnsureTree(const std::string &base, const TreeSpec &shape) {
    const std::string root = base + "/" + shape.name;
    const std::string stampFile = base + "/" + shape.name + ".stamp";
    if (readAll(stampFile) == stampOf(shape))
        return root;
    std::fprintf(stderr, "generating %s (%llu entries, seed %llu)...\n", root.c_str(),
                 (unsigned long long)shape.entries, (unsigned long long)shape.seed);
    ::unlink(stampFile.c_str());
    if (::access(root.c_str(), F_OK) == 0) {
        const std::string old = root + ".old." + std::to_string(::getpid());
        if (std::rename(root.c_str(), old.c_str()) != 0)
            fail("rename " + root);
        const pid_t pid = fork(); // no shell: rm gets its arguments directly
        if (pid == 0) {
            execlp("rm", "rm", "-rf", "--", old.c_str(), (char *)nullptr);
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
    }
    ::mkdir(base.c_str(), 0755);
    if (::mkdir(root.c_str(), 0755) != 0)
        fail("mkdir " + root);
    if (shape.flat)
        makeFlat(root, shape);
    else
        makeRealistic(root, shape);
    std::ofstream(stampFile) << stampOf(shape);
    return root;
}

std::uint64_t WalkBare(const std::string &root) {
    const int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? 0 : walkFd(fd);
}

} // namespace bench
