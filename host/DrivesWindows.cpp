#include "host/Drives.h"

#include <windows.h>

namespace host {

std::vector<std::string> DriveRoots() {
    std::vector<std::string> roots;
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        roots.push_back(std::string(1, letter) + ":\\");
    return roots;
}

std::vector<std::string> DriveRootsFromMountInfo(const std::string &,
                                                 const std::function<bool(const std::string &)> &) {
    return {};
}

ErrorModeGuard::ErrorModeGuard() : previous_(::SetErrorMode(SEM_FAILCRITICALERRORS)) {}
ErrorModeGuard::~ErrorModeGuard() {
    ::SetErrorMode(previous_);
}

} // namespace host
