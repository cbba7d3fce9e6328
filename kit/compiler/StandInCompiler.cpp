// Forgeway's stand-in for the command-line Pascal compiler DCC32.EXE.
//
// Forgeway starts it exactly like this, one process per source:
//
//     DCC32.EXE <DemoDir>/<Unit>.Pas -U<UnitDir>
//     DCC32.EXE <DemoDir>/Lumio.DPR -U<UnitDir>
//
// It hands the source to Free Pascal in Delphi mode and, on success, leaves <Unit>.DCU (a copy of
// the unit's .ppu) or <Project>.EXE beside the source. All of Free Pascal's own output goes to a
// private work folder, so several copies can run side by side on the same demo folder.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

constexpr std::string_view usageText =
    "DCC32.EXE - Forgeway's stand-in compiler. It is not the original DCC32: it compiles\n"
    "Object Pascal with Free Pascal (fpc -Mdelphi).\n"
    "\n"
    "Usage:\n"
    "  DCC32.EXE <Folder>/<Unit>.Pas -U<UnitFolder>      writes <Folder>/<Unit>.DCU\n"
    "  DCC32.EXE <Folder>/<Project>.DPR -U<UnitFolder>   writes <Folder>/<Project>.EXE\n"
    "\n"
    "Units are looked up in <Folder> and <UnitFolder>, whatever the case of their file names.\n"
    "Free Pascal's messages are passed through; the exit status is non-zero on failure, and\n"
    "then no .DCU or .EXE is written.\n";

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

struct Request {
    fs::path source;
    fs::path unitDir;
    bool isProject = false;
};

std::optional<Request> parseArguments(const std::vector<std::string> &args) {
    if (args.size() != 2)
        return std::nullopt;
    Request request;
    bool haveSource = false;
    bool haveUnitDir = false;
    for (const std::string &arg : args) {
        if (arg.size() > 2 && arg.compare(0, 2, "-U") == 0 && !haveUnitDir) {
            request.unitDir = arg.substr(2);
            haveUnitDir = true;
            continue;
        }
        const std::string ext = lowered(fs::path(arg).extension().string());
        if (!arg.empty() && arg.front() != '-' && (ext == ".pas" || ext == ".dpr") && !haveSource) {
            request.source = arg;
            request.isProject = ext == ".dpr";
            haveSource = true;
            continue;
        }
        return std::nullopt;
    }
    if (!haveSource || !haveUnitDir)
        return std::nullopt;
    return request;
}

fs::path absoluteClean(const fs::path &path) {
    return fs::absolute(path).lexically_normal();
}

bool isExecutableFile(const fs::path &path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<fs::path> findFreePascal() {
    if (const char *searchPath = std::getenv("PATH")) {
        std::string_view rest(searchPath);
        while (true) {
            const std::size_t colon = rest.find(':');
            const std::string_view dir = rest.substr(0, colon);
            if (!dir.empty() && isExecutableFile(fs::path(dir) / "fpc"))
                return fs::path(dir) / "fpc";
            if (colon == std::string_view::npos)
                break;
            rest.remove_prefix(colon + 1);
        }
    }
    if (isExecutableFile("/usr/bin/fpc"))
        return fs::path("/usr/bin/fpc");
    return std::nullopt;
}

// A private folder under $TMPDIR (or /tmp), removed again when the run ends.
class WorkFolder {
public:
    WorkFolder() {
        const char *tmp = std::getenv("TMPDIR");
        std::error_code ec;
        fs::path base = (tmp && *tmp && fs::is_directory(tmp, ec)) ? fs::path(tmp) : "/tmp";
        std::string pattern = (base / "forgeway-dcc32-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~WorkFolder() {
        if (!path_.empty()) {
            std::error_code ec;
            fs::remove_all(path_, ec);
        }
    }
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;

    bool ok() const { return !path_.empty(); }
    const fs::path &path() const { return path_; }

private:
    fs::path path_;
};

// Free Pascal on Linux looks for a unit Cove as cove.pas or Cove.pas, never Cove.Pas. Mirror the
// Pascal sources of a folder under lower-case names so that mixed-case kit files are found
// without renaming them.
bool mirrorLowerCase(const fs::path &from, const fs::path &to) {
    std::error_code ec;
    fs::create_directories(to, ec);
    if (ec) {
        std::cerr << "DCC32.EXE: cannot create " << to << ": " << ec.message() << '\n';
        return false;
    }
    std::vector<fs::path> sources;
    for (const fs::directory_entry &entry : fs::directory_iterator(from, ec)) {
        const std::string ext = lowered(entry.path().extension().string());
        std::error_code typeEc;
        if ((ext == ".pas" || ext == ".pp" || ext == ".inc") && entry.is_regular_file(typeEc))
            sources.push_back(entry.path());
    }
    if (ec) {
        std::cerr << "DCC32.EXE: cannot read " << from << ": " << ec.message() << '\n';
        return false;
    }
    std::sort(sources.begin(), sources.end());
    for (const fs::path &source : sources) {
        const fs::path link = to / lowered(source.filename().string());
        if (fs::exists(fs::symlink_status(link)))
            continue; // Two names differing only in case: the first one wins.
        fs::create_symlink(source, link, ec);
        if (ec) {
            std::cerr << "DCC32.EXE: cannot link " << link << ": " << ec.message() << '\n';
            return false;
        }
    }
    return true;
}

volatile std::sig_atomic_t childPid = 0;
volatile std::sig_atomic_t stopSignal = 0;

// fpc is only a driver that starts the real compiler (ppcx64) as its own child, so signals go to
// the whole process group the driver leads.
extern "C" void forwardSignal(int sig) {
    stopSignal = sig;
    if (childPid > 0)
        ::kill(-static_cast<pid_t>(childPid), sig);
}

void installSignalForwarding() {
    struct sigaction action {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: waitpid must wake up
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

// Runs the program with the given arguments in workDir, without a shell, sharing our stdout and
// stderr. Returns its exit status, or -1 if it could not be started or did not exit normally.
int run(const fs::path &program, const std::vector<std::string> &args, const fs::path &workDir) {
    std::vector<char *> argv;
    std::string programName = program.string();
    argv.push_back(programName.data());
    std::vector<std::string> owned(args);
    for (std::string &arg : owned)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    std::cout.flush();
    std::cerr.flush();
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::cerr << "DCC32.EXE: cannot start " << program << ": " << std::strerror(errno) << '\n';
        return -1;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        if (::chdir(workDir.c_str()) == 0)
            ::execv(argv[0], argv.data());
        const char message[] = "DCC32.EXE: cannot start Free Pascal\n";
        [[maybe_unused]] ssize_t written = ::write(STDERR_FILENO, message, sizeof message - 1);
        ::_exit(127);
    }
    ::setpgid(pid, pid); // also here, so the group exists before any signal is forwarded
    childPid = pid;
    if (stopSignal != 0)
        ::kill(-pid, static_cast<int>(stopSignal));

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            status = -1;
            break;
        }
    }
    childPid = 0;
    if (stopSignal != 0) {
        // Whatever the driver left running must be gone before the work folder is removed. As a
        // subreaper we inherit those orphans and can wait for them.
        ::kill(-pid, SIGKILL);
        while (::waitpid(-pid, nullptr, 0) > 0 || errno == EINTR) {
        }
    }
    if (status != -1 && WIFEXITED(status))
        return WEXITSTATUS(status);
    return -1;
}

// Copies from to target through a temporary file in target's folder and a rename, so that
// anyone watching for target never sees it half written.
bool publish(const fs::path &from, const fs::path &target, mode_t mode) {
    std::ifstream in(from, std::ios::binary);
    if (!in) {
        std::cerr << "DCC32.EXE: Free Pascal left no " << from.filename() << '\n';
        return false;
    }
    std::string tempName =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(tempName.data());
    if (fd < 0) {
        std::cerr << "DCC32.EXE: cannot write in " << target.parent_path() << ": "
                  << std::strerror(errno) << '\n';
        return false;
    }

    bool ok = true;
    char buffer[1 << 16];
    while (ok && in) {
        in.read(buffer, sizeof buffer);
        std::streamsize left = in.gcount();
        const char *at = buffer;
        while (ok && left > 0) {
            const ssize_t n = ::write(fd, at, static_cast<std::size_t>(left));
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            if (ok) {
                at += n;
                left -= n;
            }
        }
    }
    ok = ok && in.eof() && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tempName.c_str(), target.c_str()) == 0;
    if (!ok) {
        std::cerr << "DCC32.EXE: cannot write " << target << ": " << std::strerror(errno) << '\n';
        ::unlink(tempName.c_str());
    }
    return ok;
}

int compile(const Request &request) {
    const fs::path source = absoluteClean(request.source);
    const fs::path unitDir = absoluteClean(request.unitDir);
    const fs::path sourceDir = source.parent_path();
    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) {
        std::cerr << "DCC32.EXE: no such source file: " << source.string() << '\n';
        return exitFailure;
    }
    if (!fs::is_directory(unitDir, ec)) {
        std::cerr << "DCC32.EXE: no such unit folder: " << unitDir.string() << '\n';
        return exitFailure;
    }

    const std::string stem = source.stem().string();
    const fs::path target = sourceDir / (stem + (request.isProject ? ".EXE" : ".DCU"));
    // A result left over from an earlier run must not pass for this one's.
    fs::remove(target, ec);

    const std::optional<fs::path> fpc = findFreePascal();
    if (!fpc) {
        std::cerr << "DCC32.EXE: Free Pascal (fpc) is not installed; it was looked for on PATH "
                     "and as /usr/bin/fpc.\n";
        return exitFailure;
    }

    WorkFolder work;
    if (!work.ok()) {
        std::cerr << "DCC32.EXE: cannot create a work folder: " << std::strerror(errno) << '\n';
        return exitFailure;
    }
    const fs::path sourceMirror = work.path() / "source";
    const fs::path unitMirror = work.path() / "units";
    const fs::path out = work.path() / "out";
    fs::create_directories(out, ec);
    if (ec || !mirrorLowerCase(sourceDir, sourceMirror) || !mirrorLowerCase(unitDir, unitMirror))
        return exitFailure;

    // FPC names a unit's .ppu after the file it compiled; the program gets the name we give it.
    fs::path built = request.isProject ? out / lowered(stem) : out / (stem + ".ppu");
    std::vector<std::string> args = {
        "-Mdelphi",
        "-Fu" + sourceMirror.string(),
        "-Fu" + unitMirror.string(),
        "-Fi" + sourceMirror.string(),
        "-Fi" + unitMirror.string(),
        "-FU" + out.string(),
        "-FE" + out.string(),
    };
    if (request.isProject)
        args.push_back("-o" + built.string());
    args.push_back(source.string());

    const int status = run(*fpc, args, work.path());
    if (stopSignal != 0)
        return 128 + static_cast<int>(stopSignal);
    if (status != 0) {
        std::cerr << "DCC32.EXE: compiling " << source.filename().string() << " failed\n";
        return exitFailure;
    }
    if (!request.isProject && !fs::exists(built, ec))
        built = out / (lowered(stem) + ".ppu");
    if (!publish(built, target, request.isProject ? 0755 : 0644))
        return exitFailure;
    std::cout << "DCC32.EXE: wrote " << target.string() << '\n';
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "-?")) {
        std::cout << usageText;
        return 0;
    }
    const std::optional<Request> request = parseArguments(args);
    if (!request) {
        std::cerr << usageText;
        return exitUsage;
    }
    installSignalForwarding();
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    try {
        return compile(*request);
    } catch (const std::exception &error) {
        std::cerr << "DCC32.EXE: " << error.what() << '\n';
        return exitFailure;
    }
}
