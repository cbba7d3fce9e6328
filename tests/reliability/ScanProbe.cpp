// Scans the given roots for DCC32.EXE with TFileFind and prints what it
// found and how many entries it visited:
//
//   ScanProbe [--bind FROM TO] [--tmpfs DIR] [--btrfs IMAGE DIR] ROOT...
//
// --bind, --tmpfs and --btrfs first move the probe into a private mount
// namespace and mount there, so nothing outside the probe sees the mounts.
// Without root, the namespace is one of the probe's own user namespace, where
// it may mount a tmpfs and bind folders.  --tmpfs leaves a DCC32.EXE inside
// the new volume.  --btrfs mounts the btrfs file system in IMAGE on DIR and
// makes a subvolume DIR/sub that holds a DCC32.EXE.  Exit status 77 when the
// mounts are not permitted, 2 on bad usage, 0 otherwise.
#include "components/FileFind.h"
#include "runtime/NativeText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/btrfs.h>
#include <linux/loop.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int NotPermitted = 77;

bool writeFile(const char *path, const std::string &text) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
    if (fd >= 0)
        close(fd);
    return ok;
}

// Root inside a new user namespace, mapped to the caller's own ids.
bool enterOwnUserNamespace() {
    const std::string uid = std::to_string(geteuid());
    const std::string gid = std::to_string(getegid());
    return unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 && writeFile("/proc/self/setgroups", "deny") &&
           writeFile("/proc/self/uid_map", "0 " + uid + " 1") &&
           writeFile("/proc/self/gid_map", "0 " + gid + " 1");
}

bool enterPrivateMountNamespace() {
    return (unshare(CLONE_NEWNS) == 0 || (errno == EPERM && enterOwnUserNamespace())) &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

void plantCompiler(const std::string &dir) {
    const int fd = open((dir + "/DCC32.EXE").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0755);
    if (fd >= 0)
        close(fd);
}

// Attaches image to a free loop device that lets go of it once it is neither
// open nor mounted; returns the device open, or -1.
int attachLoop(const std::string &image, std::string &device) {
    const int control = open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    const int file = open(image.c_str(), O_RDWR | O_CLOEXEC);
    const int n = control < 0 || file < 0 ? -1 : ioctl(control, LOOP_CTL_GET_FREE);
    device = "/dev/loop" + std::to_string(n);
    int loop = n < 0 ? -1 : open(device.c_str(), O_RDWR | O_CLOEXEC);
    loop_config config{};
    config.fd = unsigned(file);
    config.info.lo_flags = LO_FLAGS_AUTOCLEAR;
    if (loop >= 0 && ioctl(loop, LOOP_CONFIGURE, &config) != 0) {
        close(loop);
        loop = -1;
    }
    for (const int fd : {file, control})
        if (fd >= 0)
            close(fd);
    return loop;
}

bool mountBtrfsWithSubvolume(const std::string &image, const std::string &dir) {
    std::string device;
    const int loop = attachLoop(image, device);
    if (loop < 0)
        return false;
    const bool mounted = mount(device.c_str(), dir.c_str(), "btrfs", 0, nullptr) == 0;
    close(loop);
    const int parent = mounted ? open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    btrfs_ioctl_vol_args args{};
    std::strcpy(args.name, "sub");
    const bool made = parent >= 0 && ioctl(parent, BTRFS_IOC_SUBVOL_CREATE, &args) == 0;
    if (parent >= 0)
        close(parent);
    if (made)
        plantCompiler(dir + "/sub");
    return made;
}

} // namespace

int main(int argc, char **argv) {
    std::vector<std::string> roots;
    std::vector<std::pair<std::string, std::string>> binds, btrfs;
    std::vector<std::string> tmpfs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--bind" || a == "--btrfs") && i + 2 < argc) {
            (a == "--bind" ? binds : btrfs).emplace_back(argv[i + 1], argv[i + 2]);
            i += 2;
        } else if (a == "--tmpfs" && i + 1 < argc) {
            tmpfs.emplace_back(argv[++i]);
        } else {
            roots.push_back(a);
        }
    }
    if (roots.empty()) {
        std::fprintf(stderr, "usage: ScanProbe [--bind FROM TO] [--tmpfs DIR] [--btrfs IMAGE DIR] "
                             "ROOT...\n");
        return 2;
    }
    if (!binds.empty() || !tmpfs.empty() || !btrfs.empty()) {
        if (!enterPrivateMountNamespace()) {
            std::fprintf(stderr, "no mount namespace: %s\n", std::strerror(errno));
            return NotPermitted;
        }
        const auto refused = [](const char *what, const std::string &dir) {
            std::fprintf(stderr, "%s %s: %s\n", what, dir.c_str(), std::strerror(errno));
            return NotPermitted;
        };
        for (const std::string &dir : tmpfs) {
            if (mount("scanprobe", dir.c_str(), "tmpfs", 0, nullptr) != 0)
                return refused("tmpfs", dir);
            plantCompiler(dir);
        }
        for (const auto &[image, dir] : btrfs)
            if (!mountBtrfsWithSubvolume(image, dir))
                return refused("btrfs", dir);
        for (const auto &[from, to] : binds)
            if (mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) != 0)
                return refused("bind", to);
    }

    long visits = 0;
    TFileFind find(nullptr, nullptr, [&roots] { return roots; });
    find.SetSearch("DCC32.EXE");
    find.OnSearch = [&visits](QObject *) { ++visits; };
    find.SetEnabled(true);
    std::printf("found=%s\nvisits=%ld\n", toNative(find.Found()).c_str(), visits);
    return 0;
}
