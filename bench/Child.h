// Measurements that run inside a Forgeway window, one per process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

std::int64_t NowNs();
// The p-th percentile (0-100) by nearest rank; 100 gives the maximum.
double Percentile(std::vector<double> v, double p);

struct ScanOptions {
    // The finder's lookahead helpers: Default keeps the finder's own
    // setting, None reads every folder on the GUI thread as before.
    static constexpr int Default = -2, None = -1;
    int helpers = Default;
    int settleMs = 300; // events run after the window is shown, before the scan
};

// One scan of root by the real main window; needs a QApplication's argv.
int RunScanChild(const std::string &root, const ScanOptions &options);
// The build's output wait: ten seconds without output, then appearRounds
// waits for an output made by another thread.
int RunWaitChild(const std::string &dir, int appearRounds);
// The same ten seconds while each of the seven compiles writes megabytes
// MB into its capture as fast as it can: the GUI thread's CPU share, and the
// most memory the captures held at once.
int RunFloodChild(const std::string &dir, int megabytes);

} // namespace bench
