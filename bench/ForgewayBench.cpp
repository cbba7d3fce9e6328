// Forgeway's scan benchmark.  Run it through bench/run.sh, which builds it,
// starts an X server and passes its display here.
//
//   forgeway_bench run [--display :N] [--rounds N] [--base DIR] [--mode both|warm|cold]
//
// The driver generates the trees (once; they are kept under DIR).  Cold mode
// (as root): on the realistic tree, with the page cache dropped before each
// run, interleaved rounds of GNU find, a bare readdir walker, fd (-j1, its
// default threads, -j8) and a Forgeway scan process with and without the
// finder's lookahead.  Warm mode: for each tree, interleaved rounds of the
// real main window scanning it under the X server and offscreen (each in a
// fresh process; offscreen also without the lookahead), GNU find, and the
// bare walker; then the build's output wait and the start-up time.  Then it
// prints the tables.  With --against, the scan process of another build's
// benchmark (its forgeway_bench) runs in the same rounds, cold and warm
// offscreen, and its figures stand beside this build's.
#include "bench/Child.h"
#include "bench/StartupProbe.h"
#include "bench/Trees.h"

#include <QApplication>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using bench::NowNs;
using bench::Percentile;
using Env = std::vector<std::pair<std::string, std::string>>;
using Result = std::map<std::string, double>;

struct Ran {
    int status = -1;
    std::string out;
    double seconds = 0;
};

// Starts argv (no shell), with env laid over this process's environment;
// captures stdout when asked, else sends it to /dev/null.
Ran run(const std::vector<std::string> &argv, const Env &env, bool capture) {
    std::vector<std::string> envs;
    for (char **e = environ; *e; ++e) {
        const std::string kv = *e;
        const std::string key = kv.substr(0, kv.find('='));
        if (std::none_of(env.begin(), env.end(), [&](const auto &p) { return p.first == key; }))
            envs.push_back(kv);
    }
    for (const auto &[k, v] : env)
        envs.push_back(k + "=" + v);
    std::vector<char *> a, e;
    for (const auto &s : argv)
        a.push_back(const_cast<char *>(s.c_str()));
    a.push_back(nullptr);
    for (const auto &s : envs)
        e.push_back(const_cast<char *>(s.c_str()));
    e.push_back(nullptr);

    int fds[2];
    if (pipe(fds) != 0)
        return {};
    Ran r;
    const std::int64_t t0 = NowNs();
    const pid_t pid = fork();
    if (pid == 0) {
        if (capture) {
            dup2(fds[1], 1);
        } else {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
        }
        close(fds[0]);
        close(fds[1]);
        execvpe(a[0], a.data(), e.data());
        _exit(127);
    }
    close(fds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        r.out.append(buf, std::size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.seconds = double(NowNs() - t0) / 1e9;
    r.status = status;
    return r;
}

Result parseResult(const std::string &out) {
    Result r;
    const auto at = out.find("RESULT ");
    if (at == std::string::npos)
        return r;
    std::istringstream in(out.substr(at + 7, out.find('\n', at) - at - 7));
    std::string kv;
    while (in >> kv) {
        const auto eq = kv.find('=');
        if (eq != std::string::npos)
            r[kv.substr(0, eq)] = std::atof(kv.c_str() + eq + 1);
    }
    return r;
}

double median(std::vector<double> v) {
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::vector<double> column(const std::vector<Result> &rs, const std::string &key) {
    std::vector<double> v;
    for (const Result &r : rs)
        if (r.count(key))
            v.push_back(r.at(key));
    return v;
}

std::string self;

Env platformEnv(const std::string &platform, const std::string &display) {
    if (platform == "xcb")
        return {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", display}};
    return {{"QT_QPA_PLATFORM", "offscreen"}};
}

// One scan by a fresh Forgeway process; "process_s" is its whole life,
// start-up included.  helpers: see ScanOptions.
Result scanChild(const std::string &platform, const std::string &display, const std::string &root,
                 int helpers = bench::ScanOptions::Default, int settleMs = 300,
                 const std::string &program = self) {
    const Ran r = run({program, "scan", root, "--helpers", std::to_string(helpers), "--settle-ms",
                       std::to_string(settleMs)},
                      platformEnv(platform, display), true);
    Result res = parseResult(r.out);
    if (res.empty())
        std::fprintf(stderr, "scan child (%s) failed, status %d\n", platform.c_str(), r.status);
    else
        res["process_s"] = r.seconds;
    return res;
}

// Empties the page cache (as root); false, with errno, where not permitted.
bool dropCaches() {
    ::sync();
    const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, "3", 1) == 1;
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

// The fd finder: Debian calls it fdfind.
std::string fdProgram() {
    for (const char *name : {"fdfind", "fd"}) {
        const char *path = std::getenv("PATH");
        std::istringstream dirs(path ? path : "/usr/bin:/bin");
        for (std::string dir; std::getline(dirs, dir, ':');)
            if (::access((dir + "/" + name).c_str(), X_OK) == 0)
                return dir + "/" + name;
    }
    return {};
}

// The scans of the cold mode, in the order of the table.
struct ColdKind {
    std::string key, label;
};

struct Cold {
    bool ran = false;
    std::string skipped; // why not, when it did not run
    std::string tree;
    int rounds = 0, cores = 0;
    std::vector<ColdKind> kinds;
    std::map<std::string, std::vector<double>> seconds;
    std::map<std::string, std::vector<Result>> scans; // Forgeway's, by key
};

// Another build's benchmark, whose scan process runs beside this one's; empty: none.
std::string against;

Cold runCold(const std::string &root, const std::string &tree, int rounds) {
    Cold c;
    c.tree = tree;
    c.rounds = rounds;
    c.cores = int(sysconf(_SC_NPROCESSORS_ONLN));
    if (!dropCaches()) {
        c.skipped = std::string("cold mode skipped: cannot drop the page cache here (") +
                    std::strerror(errno) + "; it needs root)";
        return c;
    }
    const std::string fd = fdProgram();
    c.kinds = {{"find", "GNU find -xdev -iname"}, {"readdir", "bare readdir walk"}};
    if (fd.empty()) {
        std::fprintf(stderr, "fd not found (Debian package fd-find): its rows are left out\n");
    } else {
        c.kinds.push_back({"fd-j1", "fd -j1"});
        c.kinds.push_back({"fd", "fd, default threads (" + std::to_string(c.cores) + ")"});
        c.kinds.push_back({"fd-j8", "fd -j8"});
    }
    c.kinds.push_back({"plain", "Forgeway without the lookahead (scan process)"});
    c.kinds.push_back({"forgeway", "Forgeway (scan process)"});
    if (!against.empty())
        c.kinds.push_back({"against", "Forgeway, the other build (scan process)"});
    std::vector<std::string> order;
    for (const ColdKind &k : c.kinds)
        order.push_back(k.key);
    std::fprintf(stderr, "%s, cold cache: %d rounds of %zu scans\n", tree.c_str(), rounds,
                 order.size());
    for (int r = 0; r < rounds; ++r) {
        std::rotate(order.begin(), order.begin() + 1, order.end());
        for (const std::string &k : order) {
            if (!dropCaches()) {
                c.skipped = std::string("cold mode stopped: the page cache could not be "
                                        "dropped (") +
                            std::strerror(errno) + ")";
                return c;
            }
            const std::vector<std::string> fdArgs = {
                "--hidden",      "--no-ignore", "--one-file-system",
                "--ignore-case", "--glob",      "DCC32.EXE"};
            std::vector<std::string> argv;
            if (k == "find") {
                argv = {"find", root, "-xdev", "-iname", "DCC32.EXE"};
            } else if (k.rfind("fd", 0) == 0) {
                argv = {fd};
                if (k != "fd")
                    argv.push_back(k.substr(2)); // -j1, -j8
                argv.insert(argv.end(), fdArgs.begin(), fdArgs.end());
                argv.push_back(root);
            }
            if (!argv.empty()) {
                c.seconds[k].push_back(run(argv, {}, false).seconds);
            } else if (k == "readdir") {
                const std::int64_t t0 = NowNs();
                (void)bench::WalkBare(root);
                c.seconds[k].push_back(double(NowNs() - t0) / 1e9);
            } else {
                // Start-up included: the scan starts as soon as the window is up.
                const Result res =
                    scanChild("offscreen", "", root,
                              k == "plain" ? bench::ScanOptions::None : bench::ScanOptions::Default,
                              0, k == "against" ? against : self);
                c.scans[k].push_back(res);
                if (res.count("process_s"))
                    c.seconds[k].push_back(res.at("process_s"));
            }
        }
    }
    c.ran = true;
    return c;
}

struct TreeRow {
    bench::TreeSpec shape;
    std::uint64_t entries = 0;
    std::map<std::string, std::vector<Result>> scans; // by platform
    std::vector<double> findS, walkS;
};

std::string machine() {
    std::string cpu = "?";
    FILE *f = std::fopen("/proc/cpuinfo", "r");
    if (f) {
        char line[512];
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, "model name", 10) == 0) {
                cpu = std::strchr(line, ':') + 2;
                cpu.erase(cpu.find_last_not_of("\n ") + 1);
                break;
            }
        std::fclose(f);
    }
    utsname u{};
    uname(&u);
    return cpu + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores, " + u.sysname +
           " " + u.release;
}

int runDriver(int argc, char **argv) {
    std::string display, base = "/tmp/forgeway-bench", app = FORGEWAY_APP, mode = "both";
    int rounds = 3;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string k = argv[i];
        if (k == "--display")
            display = argv[i + 1];
        else if (k == "--rounds")
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (k == "--base")
            base = argv[i + 1];
        else if (k == "--app")
            app = argv[i + 1];
        else if (k == "--mode")
            mode = argv[i + 1];
        else if (k == "--against")
            against = argv[i + 1];
    }
    const bool warm = mode != "cold", cold = mode != "warm";
    std::vector<std::string> platforms;
    if (!display.empty())
        platforms.push_back("xcb");
    platforms.push_back("offscreen");

    const std::int64_t start = NowNs();
    std::vector<TreeRow> trees(2);
    trees[0].shape = {"realistic-1M", 20240601, 1'000'000, false};
    trees[1].shape = {"flat-200k", 20240602, 200'000, true};
    std::vector<std::string> roots;
    for (TreeRow &t : trees)
        roots.push_back(bench::EnsureTree(base, t.shape));

    // Cold first: the warm rounds warm the cache again.
    Cold c;
    if (cold) {
        c = runCold(roots[0], trees[0].shape.name, rounds);
        if (!c.skipped.empty())
            std::fprintf(stderr, "%s\n", c.skipped.c_str());
    }

    std::map<std::string, Result> waits;
    std::vector<double> startupMs;
    if (warm) {
        for (std::size_t i = 0; i < trees.size(); ++i) {
            TreeRow &t = trees[i];
            const std::string &root = roots[i];
            t.entries = bench::WalkBare(root); // also warms the cache
            std::fprintf(stderr, "%s: %llu entries; %d rounds\n", t.shape.name.c_str(),
                         (unsigned long long)t.entries, rounds);
            std::vector<std::string> kinds = platforms;
            kinds.push_back("plain"); // offscreen, without the lookahead
            if (!against.empty())
                kinds.push_back("against"); // offscreen, the other build
            kinds.push_back("find");
            kinds.push_back("readdir");
            for (int r = 0; r < rounds; ++r) {
                std::rotate(kinds.begin(), kinds.begin() + 1, kinds.end());
                for (const std::string &k : kinds) {
                    if (k == "find") {
                        const Ran f =
                            run({"find", root, "-xdev", "-iname", "DCC32.EXE"}, {}, false);
                        t.findS.push_back(f.seconds);
                    } else if (k == "readdir") {
                        const std::int64_t t0 = NowNs();
                        (void)bench::WalkBare(root);
                        t.walkS.push_back(double(NowNs() - t0) / 1e9);
                    } else if (k == "plain") {
                        t.scans[k].push_back(
                            scanChild("offscreen", display, root, bench::ScanOptions::None));
                    } else if (k == "against") {
                        t.scans[k].push_back(scanChild("offscreen", display, root,
                                                       bench::ScanOptions::Default, 300, against));
                    } else {
                        t.scans[k].push_back(scanChild(k, display, root));
                    }
                }
            }
        }

        const std::string waitDir = base + "/wait";
        ::mkdir(waitDir.c_str(), 0755);
        for (const std::string &p : platforms) {
            std::fprintf(stderr, "build output wait (%s), about 13 s...\n", p.c_str());
            waits[p] = parseResult(run({self, "wait", waitDir}, platformEnv(p, display), true).out);
        }
        if (!display.empty())
            startupMs = bench::MeasureStartup(app, display, 7);
    }

    double load[3] = {NAN, NAN, NAN};
    getloadavg(load, 3);
    auto name = [](const std::string &p) { return p == "xcb" ? std::string("Xvfb") : p; };
    auto verdict = [](bool ok) { return ok ? "met" : "NOT MET"; };
    std::printf("\nForgeway scan benchmark, %s\n", machine().c_str());
    std::printf("Load average at the end: %.2f %.2f %.2f (1, 5, 15 min)\n", load[0], load[1],
                load[2]);

    // The cold table.
    double coldRatio = NAN, coldRatio8 = NAN, coldWorstP99 = NAN, coldGrowth = NAN;
    double coldThreadsLeft = NAN, coldFdsLeft = NAN;
    if (cold && c.ran) {
        std::printf("\nCold cache: %s, the page cache dropped before each run; medians of %d "
                    "interleaved rounds (fastest - slowest). A Forgeway scan process is timed "
                    "from its start to its end, start-up included (offscreen; the scan starts as "
                    "soon as the window is up).\n\n",
                    c.tree.c_str(), c.rounds);
        const bool haveFd = c.seconds.count("fd") > 0;
        std::printf("| scan | seconds | / fd, default threads | / fd -j8 |\n|---|---|---|---|\n");
        const double fd = haveFd ? median(c.seconds["fd"]) : NAN;
        const double fd8 = haveFd ? median(c.seconds["fd-j8"]) : NAN;
        auto row = [&](const std::string &label, const std::vector<double> &v) {
            if (v.empty())
                return;
            const double m = median(v);
            std::printf("| %s | %.2f (%.2f - %.2f) | %.2f | %.2f |\n", label.c_str(), m,
                        *std::min_element(v.begin(), v.end()),
                        *std::max_element(v.begin(), v.end()), m / fd, m / fd8);
        };
        for (const ColdKind &k : c.kinds)
            row(k.label, c.seconds[k.key]);
        row("Forgeway, the scan alone (start timer's tick to the end)",
            column(c.scans["forgeway"], "scan_s"));
        coldRatio = median(c.seconds["forgeway"]) / fd;
        coldRatio8 = median(c.seconds["forgeway"]) / fd8;

        std::printf("\nDuring the cold scans (medians over rounds, worst round in brackets)\n\n");
        std::printf("| Forgeway | 10 ms timer p50 / p99 / max (ms) | peak RSS growth | helper "
                    "threads during / left after | descriptors beyond idle, most / left after "
                    "|\n|---|---|---|---|---|\n");
        for (const char *k : {"plain", "forgeway", "against"}) {
            if (!c.scans.count(k))
                continue;
            const auto &rs = c.scans[k];
            auto m = [&](const char *key) { return median(column(rs, key)); };
            auto worst = [&](const char *key) {
                const std::vector<double> v = column(rs, key);
                return v.empty() ? NAN : *std::max_element(v.begin(), v.end());
            };
            std::vector<double> growth;
            for (const Result &r : rs)
                if (r.count("after_hwm_kb"))
                    growth.push_back((r.at("after_hwm_kb") - r.at("idle_hwm_kb")) / 1024);
            const double g = growth.empty() ? NAN : *std::max_element(growth.begin(), growth.end());
            std::printf("| %s | %.2f / %.2f / %.2f (%.2f) | %.1f MiB (%.1f) | %.0f / %.0f (%.0f) | "
                        "%.0f / %.0f (%.0f) |\n",
                        k == std::string("plain")     ? "without the lookahead"
                        : k == std::string("against") ? "the other build"
                                                      : "with the lookahead",
                        m("timer_p50"), m("timer_p99"), m("timer_max"), worst("timer_p99"),
                        median(growth), g, m("threads_most"), m("threads_left"),
                        worst("threads_left"), m("fds_most"), m("fds_left"), worst("fds_left"));
            if (k == std::string("forgeway")) {
                coldWorstP99 = worst("timer_p99");
                coldGrowth = g;
                coldThreadsLeft = worst("threads_left");
                coldFdsLeft = worst("fds_left");
            }
        }
    } else if (cold) {
        std::printf("\n%s\n", c.skipped.c_str());
    }

    if (!warm)
        return 0;

    // The warm tables.
    std::printf("\nWarm cache: medians of %d interleaved rounds; each Forgeway scan in a fresh "
                "process with the main window shown.\n\n",
                rounds);
    std::printf("| tree | entries | readdir walk | find -iname |");
    for (const auto &p : platforms)
        std::printf(" Forgeway %s |", name(p).c_str());
    for (const auto &p : platforms)
        std::printf(" %s / find | %s / readdir |", name(p).c_str(), name(p).c_str());
    std::printf("\n|---|---|---|---|");
    for (std::size_t i = 0; i < platforms.size() * 3; ++i)
        std::printf("---|");
    std::printf("\n");
    for (const TreeRow &t : trees) {
        const double w = median(t.walkS), f = median(t.findS);
        std::printf("| %s | %llu | %.3f s | %.3f s |", t.shape.name.c_str(),
                    (unsigned long long)t.entries, w, f);
        for (const auto &p : platforms)
            std::printf(" %.3f s |", median(column(t.scans.at(p), "scan_s")));
        for (const auto &p : platforms) {
            const double sc = median(column(t.scans.at(p), "scan_s"));
            std::printf(" %.2f | %.2f |", sc / f, sc / w);
        }
        std::printf("\n");
    }

    std::printf("\nWarm cache, offscreen, with and without the lookahead (same rounds)\n\n");
    std::printf("| tree | readdir walk | without | with | without / readdir | with / readdir | "
                "with / without |\n|---|---|---|---|---|---|---|\n");
    for (const TreeRow &t : trees) {
        const double w = median(t.walkS);
        const double without = median(column(t.scans.at("plain"), "scan_s"));
        const double with = median(column(t.scans.at("offscreen"), "scan_s"));
        std::printf("| %s | %.3f s | %.3f s | %.3f s | %.2f | %.2f | %.2f |\n",
                    t.shape.name.c_str(), w, without, with, without / w, with / w, with / without);
    }

    if (!against.empty()) {
        std::printf("\nWarm cache, offscreen, this build and the other (same rounds)\n\n");
        std::printf("| tree | readdir walk | this | other | this / readdir | other / readdir | "
                    "this / other | timer p99 this / other | growth this / other |\n"
                    "|---|---|---|---|---|---|---|---|---|\n");
        for (const TreeRow &t : trees) {
            const double w = median(t.walkS);
            const auto &mine = t.scans.at("offscreen"), &theirs = t.scans.at("against");
            const double a = median(column(mine, "scan_s")), b = median(column(theirs, "scan_s"));
            auto growth = [](const std::vector<Result> &rs) {
                double most = 0;
                for (const Result &r : rs)
                    if (r.count("after_hwm_kb"))
                        most = std::max(most, (r.at("after_hwm_kb") - r.at("idle_hwm_kb")) / 1024);
                return most;
            };
            std::printf("| %s | %.3f s | %.3f s | %.3f s | %.2f | %.2f | %.2f | %.2f / %.2f ms | "
                        "%.1f / %.1f MiB |\n",
                        t.shape.name.c_str(), w, a, b, a / w, b / w, a / b,
                        median(column(mine, "timer_p99")), median(column(theirs, "timer_p99")),
                        growth(mine), growth(theirs));
        }
    }

    std::printf("\nDuring the scan (medians over rounds; lateness in ms; input = posted key, "
                "mouse and custom events from another thread)\n\n");
    std::printf("| tree | platform | 10 ms timer p50 / p99 / max | input p50 / p99 / max | "
                "panel 1 repaints/s | peak RSS idle | peak RSS after scan | growth |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (const TreeRow &t : trees)
        for (const auto &p : platforms) {
            const auto &rs = t.scans.at(p);
            auto m = [&](const char *k) { return median(column(rs, k)); };
            std::vector<double> growth;
            for (const Result &r : rs)
                if (r.count("after_hwm_kb"))
                    growth.push_back(r.at("after_hwm_kb") - r.at("idle_hwm_kb"));
            std::printf("| %s | %s | %.2f / %.2f / %.2f | %.2f / %.2f / %.2f | %.0f | %.1f MiB | "
                        "%.1f MiB | %.0f KiB (max %.0f) |\n",
                        t.shape.name.c_str(), name(p).c_str(), m("timer_p50"), m("timer_p99"),
                        m("timer_max"), m("input_p50"), m("input_p99"), m("input_max"),
                        m("paints_per_s"), m("idle_hwm_kb") / 1024, m("after_hwm_kb") / 1024,
                        median(growth),
                        growth.empty() ? NAN : *std::max_element(growth.begin(), growth.end()));
        }

    std::printf("\nBuild output wait (Lumio.EXE) and start-up\n\n");
    std::printf("| platform | CPU during a 10 s wait without output | new Lumio.EXE noticed "
                "after p50 / max |\n|---|---|---|\n");
    for (const auto &p : platforms) {
        const Result &r = waits[p];
        std::printf("| %s | %.2f %% of one core (%.2f s) | %.2f / %.2f ms (n=%.0f) |\n",
                    name(p).c_str(), r.count("wait_cpu_pct") ? r.at("wait_cpu_pct") : NAN,
                    r.count("wait_s") ? r.at("wait_s") : NAN,
                    r.count("notice_p50") ? r.at("notice_p50") : NAN,
                    r.count("notice_max") ? r.at("notice_max") : NAN,
                    r.count("notice_n") ? r.at("notice_n") : 0.0);
    }
    if (!startupMs.empty())
        std::printf("\nStart-up, exec of Forgeway to its main window mapped on the X server "
                    "(n=%zu): median %.0f ms, min %.0f ms, max %.0f ms\n",
                    startupMs.size(), median(startupMs),
                    *std::min_element(startupMs.begin(), startupMs.end()),
                    *std::max_element(startupMs.begin(), startupMs.end()));

    // The goals, judged on the X server's column where there is one.
    const std::string gp = platforms.front();
    const TreeRow &real = trees.front();
    const double sc = median(column(real.scans.at(gp), "scan_s"));
    const double walkS = median(real.walkS);
    const double offscreen = median(column(real.scans.at("offscreen"), "scan_s"));
    const double today = median(column(real.scans.at("plain"), "scan_s"));
    double worstGrowth = 0, worstTimer = 0, worstInput = 0, leastPaints = 1e9;
    double threadsLeft = 0, fdsLeft = 0;
    bool unexpected = false, panelOk = true;
    for (const TreeRow &t : trees)
        for (const auto &p : platforms)
            for (const Result &r : t.scans.at(p)) {
                worstGrowth = std::max(worstGrowth, r.at("after_hwm_kb") - r.at("idle_hwm_kb"));
                threadsLeft = std::max(threadsLeft, r.at("threads_left"));
                fdsLeft = std::max(fdsLeft, r.at("fds_left"));
                if (p != gp)
                    continue;
                worstTimer = std::max(worstTimer, r.at("timer_p99"));
                worstInput = std::max(worstInput, r.at("input_p99"));
                leastPaints = std::min(leastPaints, r.at("paints_per_s"));
                unexpected = unexpected || r.at("unexpected") != 0 || r.at("found") != 0;
                panelOk = panelOk && r.at("panel_last_ok") == 1;
            }
    const Result &w = waits[gp];
    std::printf("\nGoals (%s where it applies):\n", name(gp).c_str());
    if (cold && c.ran) {
        std::printf("- cold scan / fd with default threads: %.2f (goal <= 1.0): %s\n", coldRatio,
                    verdict(coldRatio <= 1.0));
        std::printf("- cold scan / fd -j8: %.2f (stretch <= 1.0): %s\n", coldRatio8,
                    verdict(coldRatio8 <= 1.0));
        if (c.seconds.count("against")) {
            const double ratio = median(c.seconds["forgeway"]) / median(c.seconds["against"]);
            std::printf("- cold scan / the other build: %.2f (goal <= 1.05): %s\n", ratio,
                        verdict(ratio <= 1.05));
        }
        std::printf("- cold: worst p99 timer lateness %.2f ms (goal <= 16): %s; peak RSS growth "
                    "%.1f MiB (goal <= 16): %s; helper threads left %.0f, descriptors left "
                    "%.0f: %s\n",
                    coldWorstP99, verdict(coldWorstP99 <= 16), coldGrowth,
                    verdict(coldGrowth <= 16), coldThreadsLeft, coldFdsLeft,
                    verdict(coldThreadsLeft == 0 && coldFdsLeft == 0));
    }
    std::printf("- scan / find on %s: %.2f (goal <= 1.0): %s\n", real.shape.name.c_str(),
                sc / median(real.findS), verdict(sc / median(real.findS) <= 1.0));
    std::printf("- warm, offscreen / bare readdir: %.2f with the lookahead, %.2f without "
                "(goal: no slower than without): %s; stretch <= 1.0: %s\n",
                offscreen / walkS, today / walkS, verdict(offscreen <= today),
                verdict(offscreen / walkS <= 1.0));
    if (!against.empty()) {
        const double other = median(column(real.scans.at("against"), "scan_s"));
        std::printf("- warm, offscreen / the other build on %s: %.2f (goal <= 1.0): %s\n",
                    real.shape.name.c_str(), offscreen / other, verdict(offscreen <= other));
    }
    std::printf("- worst p99 lateness, timer %.2f ms / input %.2f ms (goal <= 16): %s\n",
                worstTimer, worstInput, verdict(std::max(worstTimer, worstInput) <= 16));
    std::printf("- fewest panel 1 repaints %.0f/s (goal >= 30): %s\n", leastPaints,
                verdict(leastPaints >= 30));
    std::printf("- peak RSS growth of a full scan, worst round %.0f KiB (goal <= 16 MiB): %s\n",
                worstGrowth, verdict(worstGrowth <= 16 * 1024));
    std::printf("- helper threads left after a scan, worst round %.0f; descriptors left %.0f "
                "(goal: none): %s\n",
                threadsLeft, fdsLeft, verdict(threadsLeft == 0 && fdsLeft == 0));
    std::printf(
        "- output wait CPU %.2f %% (goal < 5), noticed within %.2f ms max (goal <= 20): "
        "%s\n",
        w.count("wait_cpu_pct") ? w.at("wait_cpu_pct") : NAN,
        w.count("notice_max") ? w.at("notice_max") : NAN,
        verdict(w.count("wait_cpu_pct") && w.at("wait_cpu_pct") < 5 && w.at("notice_max") <= 20));
    std::printf("- last path on panel 1 after every scan: %s; no box, start or end requested: %s\n",
                panelOk ? "yes" : "NO", unexpected ? "NO" : "yes");
    std::printf("\nTotal benchmark time %.0f s\n", double(NowNs() - start) / 1e9);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    self = "/proc/self/exe";
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n > 0)
        self.assign(path, std::size_t(n));
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "scan" && argc > 2) {
        bench::ScanOptions options;
        for (int i = 3; i + 1 < argc; i += 2) {
            const std::string k = argv[i];
            if (k == "--helpers")
                options.helpers = std::atoi(argv[i + 1]);
            else if (k == "--settle-ms")
                options.settleMs = std::atoi(argv[i + 1]);
        }
        QApplication qt(argc, argv);
        return bench::RunScanChild(argv[2], options);
    }
    if (mode == "wait" && argc > 2) {
        QApplication qt(argc, argv);
        return bench::RunWaitChild(argv[2], 10);
    }
    if (mode == "flood" && argc > 2) {
        QApplication qt(argc, argv);
        return bench::RunFloodChild(argv[2], argc > 3 ? std::atoi(argv[3]) : 200);
    }
    if (mode == "run")
        return runDriver(argc, argv);
    std::fprintf(stderr,
                 "usage: %s run [--display :N] [--rounds N] [--base DIR] [--app PATH] "
                 "[--mode both|warm|cold] [--against OTHER_FORGEWAY_BENCH]\n",
                 argv[0]);
    return 2;
}
