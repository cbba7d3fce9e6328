// Start-up time of the real program, seen from the X server.
#pragma once

#include <string>
#include <vector>

namespace bench {

// Starts app count times on display and returns, for each start, the
// milliseconds from exec to the map of its first top-level window, as the X
// server reports it to a client that listens on the root window.  Each run
// is ended once its window is up.  Empty when no X client library was built
// in or the server cannot be reached.
std::vector<double> MeasureStartup(const std::string &app, const std::string &display, int count);

} // namespace bench
