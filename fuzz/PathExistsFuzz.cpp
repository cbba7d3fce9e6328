// The existence probe on arbitrary bytes, run inside a temporary folder that
// holds one of each kind of entry (a file, a hidden file, a folder, a FIFO, a
// dangling link and a link loop).  It must never crash or block, a folder-
// or-file mask never admits more than the any-entry mask, and a path without
// wildcards exists exactly when the host can examine it.
#include "fuzz/Require.h"
#include "host/FileSearch.h"
#include "host/Text.h"
#include "tests/support/ListingWalk.h"

#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

char scratch[] = "/tmp/fuzz-path-exists-XXXXXX";

void setUp() {
    require(mkdtemp(scratch) != nullptr);
    require(chdir(scratch) == 0);
    std::atexit([] {
        if (chdir("/") == 0)
            walk::removeAt(AT_FDCWD, scratch);
    });
    close(creat("DCC32.EXE", 0755));
    close(creat(".hidden", 0644));
    mkdir("Demo", 0755);
    close(creat("Demo/Cove.DCU", 0644));
    mkfifo("fifo", 0644);
    symlink("nowhere", "dangling");
    symlink("loop", "loop");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    [[maybe_unused]] static const bool ready = (setUp(), true);
    if (size == 0)
        return 0;
    const int mask = data[0] & host::faAnyFile;
    const std::string path(reinterpret_cast<const char *>(data) + 1, size - 1);
    if (path.find('\0') != std::string::npos)
        return 0; // no host path holds a NUL

    std::int64_t size63 = -1;
    const bool any = host::PathExists(path, host::faAnyFile, &size63);
    const bool some = host::PathExists(path, mask);
    require(!some || any);
    require(!any || size63 >= 0);

    const std::string last = path.substr(host::ExtractFilePath(path).size());
    if (!path.empty() && last.find_first_of("*?") == std::string::npos) {
        struct stat st;
        const bool examinable = stat(path.c_str(), &st) == 0 || lstat(path.c_str(), &st) == 0;
        require(any == examinable);
    }
    return 0;
}
