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
    int helpers = 4;    // the finder's lookahead helpers; -1: no lookahead
    int settleMs = 300; // events run after the window is shown, before the scan
};

// One scan of root by the real main window; needs a QApplication's argv.
int RunScanChild(const std::string &root, const ScanOptions &options);
// The build's output wait: ten seconds without output, then appearRounds
// waits for an output made by another thread.
int RunWaitChild(const std::string &dir, int appearRounds);

} // namespace bench
