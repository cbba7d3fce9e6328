// The drives that a whole-machine file search walks.
#pragma once

#include <string>
#include <vector>

namespace host {

// The roots to search, in order.  On Windows: A:\ to Z:\, all 26, whether or
// not such a drive exists.  On POSIX: the mount point of every mounted file
// system but the kernel's own (proc, sysfs, cgroup, devpts and the like;
// memory file systems such as tmpfs are in), each ending with "/", sorted by
// mount point so that "/" comes first, however many there are.  A file system
// mounted at several points (the same device and the same folder of it) is
// listed once, at the first of them; of several mounted on one point, the
// one mounted last is the one seen there.  "/" is always first, also where
// it is no mount point of its own (in a chroot).
std::vector<std::string> DriveRoots();

// The POSIX part of DriveRoots, on the text of a mountinfo file.
std::vector<std::string> DriveRootsFromMountInfo(const std::string &mountinfo);

// While alive, a drive without a medium fails quietly instead of asking the
// user (Windows' critical-error dialog); the previous mode comes back when it
// ends, also when an exception passes.  Does nothing on POSIX.
class ErrorModeGuard {
public:
    ErrorModeGuard();
    ~ErrorModeGuard();
    ErrorModeGuard(const ErrorModeGuard &) = delete;
    ErrorModeGuard &operator=(const ErrorModeGuard &) = delete;

private:
    unsigned previous_ = 0;
};

} // namespace host
