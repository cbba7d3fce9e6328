// Scans the given roots for DCC32.EXE with TFileFind and prints what it
// found, how many roots and entries it visited and how long that took:
//
//   ScanProbe [--search NAME] [--bind FROM TO] [--tmpfs DIR] ROOT...
//   ScanProbe [--search NAME] --drives
//
// --drives scans the machine's own drive table, as the automatic search does;
// with a NAME that no file has, that is a walk of the whole machine.
//
// --bind and --tmpfs first move the probe into a private mount namespace and
// mount there, so nothing outside the probe sees the mounts.  --tmpfs also
// leaves a DCC32.EXE inside the new volume.  Exit status 77 when the mounts
// are not permitted, 2 on bad usage, 0 otherwise.
#include "components/FileFind.h"
#include "runtime/NativeText.h"
#include "runtime/host/Drives.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int NotPermitted = 77;

bool enterPrivateMountNamespace() {
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

} // namespace

int main(int argc, char **argv) {
    std::vector<std::string> roots;
    std::vector<std::pair<std::string, std::string>> binds;
    std::vector<std::string> tmpfs;
    std::string search = "DCC32.EXE";
    bool drives = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--bind" && i + 2 < argc) {
            binds.emplace_back(argv[i + 1], argv[i + 2]);
            i += 2;
        } else if (a == "--tmpfs" && i + 1 < argc) {
            tmpfs.emplace_back(argv[++i]);
        } else if (a == "--search" && i + 1 < argc) {
            search = argv[++i];
        } else if (a == "--drives") {
            drives = true;
        } else {
            roots.push_back(a);
        }
    }
    if (drives)
        roots = host::DriveRoots();
    if (roots.empty()) {
        std::fprintf(stderr, "usage: ScanProbe [--search NAME] [--bind FROM TO] [--tmpfs DIR] "
                             "ROOT...\n       ScanProbe [--search NAME] --drives\n");
        return 2;
    }
    if (!binds.empty() || !tmpfs.empty()) {
        if (!enterPrivateMountNamespace()) {
            std::fprintf(stderr, "no mount namespace: %s\n", std::strerror(errno));
            return NotPermitted;
        }
        for (const std::string &dir : tmpfs) {
            if (mount("scanprobe", dir.c_str(), "tmpfs", 0, nullptr) != 0) {
                std::fprintf(stderr, "tmpfs %s: %s\n", dir.c_str(), std::strerror(errno));
                return NotPermitted;
            }
            const int fd = open((dir + "/DCC32.EXE").c_str(), O_CREAT | O_WRONLY, 0755);
            if (fd >= 0)
                close(fd);
        }
        for (const auto &[from, to] : binds) {
            if (mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) != 0) {
                std::fprintf(stderr, "bind %s: %s\n", to.c_str(), std::strerror(errno));
                return NotPermitted;
            }
        }
    }

    long visits = 0;
    TFileFind find(nullptr, nullptr, [&roots] { return roots; });
    find.SetSearch(fromNative(search));
    find.OnSearch = [&visits](QObject *) { ++visits; };
    const auto start = std::chrono::steady_clock::now();
    find.SetEnabled(true);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("found=%s\nvisits=%ld\nroots=%zu\nseconds=%.2f\n", toNative(find.Found()).c_str(),
                visits, roots.size(), took.count());
    return 0;
}
