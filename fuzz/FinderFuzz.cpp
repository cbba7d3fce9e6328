// TFileFind on random trees built in a temporary folder from the input:
// folders, files, links (also looping and dangling ones), FIFOs, and names
// with any byte but "/" and NUL, some of them spelling the compiler's name
// in another case.  The scan must end, visit exactly the entries a plain
// pre-order walk of the same listings visits, and find the same file.
#include "components/FileFind.h"
#include "runtime/NativeText.h"
#include "runtime/host/Text.h"
#include "tests/support/ListingWalk.h"

#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

void require(bool ok) {
    if (!ok)
        std::abort();
}

const char *const Names[] = {"DCC32.EXE", "dcc32.exe", "DcC32.ExE", "DCC32.EX", "DCC32.EXE ",
                             "-rf",       "\xff\xfe",  "a\nb",      "*.*",      ".hidden"};

struct Reference {
    long visits = 0;
    std::string found;
    bool done = false;

    void walk(const std::string &folder) {
        DIR *dir = opendir(folder.c_str());
        if (!dir)
            return;
        while (!done) {
            const dirent *e = readdir(dir);
            if (!e)
                break;
            ++visits;
            const std::string name = e->d_name;
            if (e->d_type == DT_DIR) {
                if (name != "." && name != "..")
                    walk(folder + name + "/");
            } else if ((e->d_type == DT_REG || e->d_type == DT_LNK) &&
                       host::CompareText(name, "DCC32.EXE") == 0) {
                found = folder + name;
                done = true;
            }
        }
        closedir(dir);
    }
};

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
    for (std::size_t i = 0; i + 1 < size && i < 128; i += 2) {
        const uint8_t op = data[i], n = data[i + 1];
        std::string name = n < 160 ? Names[n % 10] : std::string(1, char(n));
        if (n >= 160 && i + 2 < size && data[i + 2] != '/' && data[i + 2] != 0)
            name += char(data[i + 2]);
        if (name == "/" || name == "." || name == "..")
            name = "x";
        const std::string path = here + name;
        switch (op % 7) {
        case 0:
            if (mkdir(path.c_str(), 0755) == 0)
                folders.push_back(path + "/");
            break;
        case 1:
            close(open(path.c_str(), O_CREAT | O_WRONLY, 0644));
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
        default:
            if (folders.size() < 40 && mkdir(path.c_str(), 0755) == 0)
                here = folders.emplace_back(path + "/");
            break;
        }
    }

    Reference expected;
    expected.walk(root);

    long visits = 0;
    TFileFind find(nullptr, nullptr, [&root] { return std::vector<std::string>{root}; });
    find.SetSearch(QStringLiteral("DCC32.EXE"));
    find.OnSearch = [&visits](QObject *) { ++visits; };
    find.SetEnabled(true);
    require(visits == expected.visits);
    require(toNative(find.Found()) == expected.found);
    require(find.Enabled() == expected.found.empty());

    walk::removeAt(AT_FDCWD, made);
    return 0;
}
