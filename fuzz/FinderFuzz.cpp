// TFileFind on random trees built in a temporary folder from the input:
// folders, files, links (also looping and dangling ones), FIFOs, folders of
// hundreds of long names, and names with any byte but "/" and NUL, some of
// them spelling the compiler's name in another case.  The scan must end,
// visit exactly the entries a plain pre-order walk of the same listings
// visits, in the same order, and find the same file: with its folders read
// ahead by helpers (with the usual bounds and with the smallest), and
// without.  No helper may outlive a scan.
#include "components/FileFind.h"
#include "fuzz/Require.h"
#include "runtime/NativeText.h"
#include "tests/support/ListingWalk.h"

#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char *const Names[] = {"DCC32.EXE", "dcc32.exe", "DcC32.ExE", "DCC32.EX", "DCC32.EXE ",
                             "-rf",       "\xff\xfe",  "a\nb",      "*.*",      ".hidden"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    // In memory where there is a tmpfs for it: a disk makes each tree slow.
    static const bool inMemory = access("/dev/shm", W_OK) == 0;
    char base[] = "/dev/shm/fuzz-finder-XXXXXX";
    char onDisk[] = "/tmp/fuzz-finder-XXXXXX";
    require(mkdtemp(inMemory ? base : onDisk) != nullptr);
    const char *made = inMemory ? base : onDisk;
    const std::string root = std::string(made) + "/";

    // Build: each step is an operation byte and a name byte.
    std::vector<std::string> folders{root};
    std::string here = root;
    int many = 0; // entries made by the big-folder steps, at most 3,000 in all
    for (std::size_t i = 0; i + 1 < size && i < 128; i += 2) {
        const uint8_t op = data[i], n = data[i + 1];
        std::string name = n < 160 ? Names[n % 10] : std::string(1, char(n));
        if (n >= 160 && i + 2 < size && data[i + 2] != '/' && data[i + 2] != 0)
            name += char(data[i + 2]);
        if (name == "/" || name == "." || name == "..")
            name = "x";
        const std::string path = here + name;
        switch (op % 8) {
        case 0:
            if (mkdir(path.c_str(), 0755) == 0)
                folders.push_back(path + "/");
            break;
        case 1:
            close(open(path.c_str(), O_CREAT | O_WRONLY | O_NONBLOCK, 0644));
            break;
        case 2:
            symlink(op & 8 ? ".." : (op & 16 ? "/" : name.c_str()), path.c_str());
            break;
        case 3:
            mkfifo(path.c_str(), 0644);
            break;
        case 4:
            here = folders[n % folders.size()];
            break;
        case 5:
            symlink(folders[n % folders.size()].c_str(), path.c_str());
            break;
        case 6:
            if (folders.size() < 40 && mkdir(path.c_str(), 0755) == 0)
                here = folders.emplace_back(path + "/");
            break;
        default: // more than one part of a listing, a subfolder or two among them
            for (int k = 0; k < 300 + n * 4 && many < 3000; ++k, ++many) {
                const std::string entry =
                    here + "many-entries-with-long-names-" + std::to_string(k);
                if (k % 211 == 17 && mkdir(entry.c_str(), 0755) == 0)
                    close(open((entry + "/DcC32.exe").c_str(), O_CREAT | O_WRONLY | O_NONBLOCK,
                               0644));
                else
                    close(open(entry.c_str(), O_CREAT | O_WRONLY | O_NONBLOCK, 0644));
            }
            break;
        }
    }

    walk::Result expected;
    walk::folder(root, "DCC32.EXE", expected);

    const host::LookaheadLimits smallest{.helpers = 3, .folders = 1, .bytes = 1, .descriptors = 1};
    const int before = walk::threads();
    for (const auto &limits : {std::optional(host::LookaheadLimits()), std::optional(smallest),
                               std::optional<host::LookaheadLimits>()}) {
        std::vector<std::string> visits;
        TFileFind find(nullptr, nullptr, [&root] { return std::vector<std::string>{root}; });
        find.SetLookahead(limits);
        find.SetSearch(QStringLiteral("DCC32.EXE"));
        find.OnSearch = [&](QObject *) { visits.push_back(find.CurrentPath().bytes); };
        find.SetEnabled(true);
        require(visits == expected.visits);
        require(toNative(find.Found()) == expected.found);
        require(find.Enabled() == expected.found.empty());
        // At most: a thread of the input before (one that read its drive
        // table) may still have been on its way out when counted.
        if (const int left = walk::threadsSettled(before); left > before) {
            std::fprintf(stderr, "threads %d, before %d, helpers alive %d\n", left, before,
                         host::Lookahead::HelpersAlive());
            // Which threads they are, and where each one stands.
            if (DIR *d = opendir("/proc/self/task")) {
                while (const dirent *e = readdir(d))
                    for (const char *what : {"stat", "syscall"}) {
                        const std::string path =
                            std::string("/proc/self/task/") + e->d_name + "/" + what;
                        FILE *f = e->d_name[0] != '.' ? std::fopen(path.c_str(), "r") : nullptr;
                        char text[256] = {};
                        if (!f)
                            continue;
                        (void)!std::fread(text, 1, sizeof text - 1, f);
                        std::fclose(f);
                        std::fprintf(stderr, "%s %s: %s\n", e->d_name, what, text);
                    }
                closedir(d);
            }
            require(false);
        }
    }

    walk::removeAt(AT_FDCWD, made);
    return 0;
}
