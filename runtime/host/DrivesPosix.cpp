// Drives on a host without drive letters: the mounted volumes that hold real
// file systems, taken from the mount table.
#include "runtime/host/Drives.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string_view>

namespace host {

namespace {

// Kernel and memory file systems: nothing installed lives there, and some of
// them (proc, sysfs) are endless or dangerous to walk.
bool isPseudo(std::string_view type) {
    static const std::set<std::string_view> pseudo = {
        "autofs",          "binfmt_misc", "bpf",      "cgroup",   "cgroup2", "configfs",
        "debugfs",         "devpts",      "devtmpfs", "efivarfs", "fusectl", "hugetlbfs",
        "mqueue",          "nsfs",        "proc",     "pstore",   "ramfs",   "rpc_pipefs",
        "securityfs",      "selinuxfs",   "sysfs",    "tmpfs",    "tracefs", "fuse.portal",
        "fuse.gvfsd-fuse", "cpuset",      "devfs",    "usbfs",    "nfsd"};
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

} // namespace

std::vector<std::string> DriveRootsFromMountInfo(const std::string &mountinfo) {
    std::set<std::string> points;
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
        if (isPseudo(*(dash + 1)))
            continue;
        std::string point = unescape(f[4]);
        if (point.empty() || point[0] != '/')
            continue;
        if (point.back() != '/')
            point += '/';
        points.insert(point);
    }
    std::vector<std::string> roots(points.begin(), points.end()); // "/" sorts first
    if (roots.size() > 26)
        roots.resize(26);
    return roots;
}

std::vector<std::string> DriveRoots() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    auto roots = DriveRootsFromMountInfo(text.str());
    if (roots.empty())
        roots.push_back("/");
    return roots;
}

ErrorModeGuard::ErrorModeGuard() = default;
ErrorModeGuard::~ErrorModeGuard() = default;

} // namespace host
