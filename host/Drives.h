// The drives that a whole-machine file search walks.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace host {

// The roots to search, in order.  On Windows: A:\ to Z:\, all 26, whether or
// not such a drive exists.  On POSIX: the mount point of every mounted file
// system but the kernel's own (proc, sysfs, cgroup, devpts and the like;
// memory file systems such as tmpfs are in), each ending with "/", sorted by
// mount point so that "/" comes first, however many there are.  A mount is
// seen only where no later mount covers it (one on the same point or on a
// folder above it).  A file system mounted at several points (the same device
// and the same folder of it) is listed once, at the first point where it is
// seen and that the user can enter (may search every folder on the way), and
// not at all without one.  "/" is always first, also where it is no mount
// point of its own (in a chroot).  Looks at the mount points themselves, so
// a point on a file system that does not answer may keep it waiting.
std::vector<std::string> DriveRoots();

// The POSIX part of DriveRoots, on the text of a mountinfo file; canEnter
// says whether the user can enter a mount point (by default every one).
std::vector<std::string>
DriveRootsFromMountInfo(const std::string &mountinfo,
                        const std::function<bool(const std::string &point)> &canEnter = {});

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
