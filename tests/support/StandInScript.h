// The compiler played by a shell script, for the tests that run real
// processes: it logs how it was called and writes what the real one would.
#pragma once

#include <string>
#include <vector>

class BuildKit;

namespace standin {

// text as one single-quoted shell word, each ' written as '\''.
std::string shellQuoted(const std::string &text);

struct Options {
    // Each run writes its argument count and its arguments, each followed by
    // "|", to the file run.<pid> in logDir.  The script knows it as $log.
    std::string logDir{};
    // Shell lines run after the log and before the output is written; they
    // may end the run early.
    std::string before{};
    // For the project: a program copied in as Lumio.EXE, executable.
    // Without it, Lumio.EXE holds text and cannot run.
    std::string lumioTemplate{};
};

// The script.  Its first argument names the source: Cove.Pas gives Cove.DCU,
// Lumio.DPR gives Lumio.EXE, beside it; anything else ends it with exit code
// 2.  Each output is written under another name and renamed into place, so
// that it is whole the moment it exists.
std::string script(const Options &options);

// The runs logged in logDir ("<count>|<arg>|<arg>|..."), sorted.
std::vector<std::string> runs(const std::string &logDir);
// What runs() gives after the seven compiles of a build in kit, with the unit
// folder of versionIndex.
std::vector<std::string> buildRuns(const BuildKit &kit, int versionIndex);

} // namespace standin
