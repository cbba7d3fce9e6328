// Drives on a host without drive letters: the mounted volumes that hold real
// file systems, taken from the mount table.
#include "host/Drives.h"

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string_view>
#include <unistd.h>

namespace host {

namespace {

// The kernel's own file systems: views of processes, devices, control groups
// and kernel state.  Nothing installed lives there, and some of them (proc,
// sysfs) are endless or dangerous to walk.  Memory file systems such as tmpfs
// and ramfs hold files like any disk and are walked.
bool isPseudo(std::string_view type) {
    static const std::set<std::string_view> pseudo = {
        "anon_inodefs", "autofs",  "binfmt_misc", "bpf",     "cgroup",     "cgroup2",
        "configfs",     "cpuset",  "debugfs",     "devfs",   "devpts",     "devtmpfs",
        "efivarfs",     "fusectl", "hugetlbfs",   "mqueue",  "nfsd",       "nsfs",
        "pipefs",       "proc",    "pstore",      "resctrl", "rpc_pipefs", "securityfs",
        "selinuxfs",    "smackfs", "sockfs",      "sysfs",   "tracefs",    "usbfs",
        "xenfs"};
    return pseudo.count(type) != 0;
}

// Mount points escape blanks and a few other bytes as \ooo.
std::string unescape(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() &&
            std::all_of(s.begin() + long(i) + 1, s.begin() + long(i) + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            out += char((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

// What one line of the mount table tells about the file system mounted at a
// point: which one it is (device and the folder of it that is mounted) and
// of what type.
struct Mounted {
    std::string device; // major:minor
    std::string root;   // the folder of the file system seen at the mount point
    std::string type;
};

} // namespace

std::vector<std::string>
DriveRootsFromMountInfo(const std::string &mountinfo,
                        const std::function<bool(const std::string &)> &canEnter) {
    // The mounts in the order they were made.
    std::vector<std::pair<std::string, Mounted>> mounts;
    std::istringstream lines(mountinfo);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string w; fields >> w;)
            f.push_back(w);
        const auto dash = std::find(f.begin(), f.end(), "-");
        if (f.size() < 5 || dash == f.end() || dash + 1 == f.end())
            continue;
        std::string point = unescape(f[4]);
        if (point.empty() || point[0] != '/')
            continue;
        if (point.back() != '/')
            point += '/';
        mounts.push_back({point, Mounted{f[2], f[3], *(dash + 1)}});
    }
    // A mount is seen only where no later one covers it: one on the same
    // point, or on a folder above it.  A mount on "/" covers nothing: the
    // process's root stays the folder it was, and so does what lies below.
    // By mount point, in byte order, so "/" comes first.
    std::map<std::string, Mounted> seen;
    std::set<std::string> later;
    for (auto m = mounts.rbegin(); m != mounts.rend(); ++m) {
        const std::string &point = m->first;
        bool covered = false;
        for (std::size_t end = point.find('/', 1); !covered && end != std::string::npos;
             end = point.find('/', end + 1))
            covered = later.count(point.substr(0, end + 1)) != 0;
        if (point == "/")
            seen[point] = m->second; // the first one
        else if (!covered)
            seen.emplace(point, m->second);
        later.insert(point);
    }
    // A file system mounted at several points (the same device and the same
    // folder of it) is walked once, at the first of them that the user can
    // enter.
    std::set<std::pair<std::string, std::string>> walked;
    std::vector<std::string> roots;
    for (const auto &[point, mounted] : seen)
        if (!isPseudo(mounted.type) && !walked.count({mounted.device, mounted.root}) &&
            (!canEnter || canEnter(point))) {
            walked.insert({mounted.device, mounted.root});
            roots.push_back(point);
        }
    // The root folder is walked first also where it is no mount point of its
    // own (a chroot lists only the mounts below it), or nothing could be read.
    if (roots.empty() || roots.front() != "/")
        roots.insert(roots.begin(), "/");
    return roots;
}

std::vector<std::string> DriveRoots() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    // The user can enter a point when every folder on the way to it, and the
    // point itself, may be searched with the user's rights.
    return DriveRootsFromMountInfo(text.str(), [](const std::string &point) {
        return faccessat(AT_FDCWD, point.c_str(), X_OK, AT_EACCESS) == 0;
    });
}

ErrorModeGuard::ErrorModeGuard() = default;
ErrorModeGuard::~ErrorModeGuard() = default;

} // namespace host
