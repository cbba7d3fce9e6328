// Starting outside programs.
#pragma once

#include <string>
#include <vector>

namespace host {

struct StartResult {
    bool started = false;
    std::string error; // why the start failed, in the host's words
};

// Starts program with args and returns at once, never waiting for it to end.
// No shell takes part: the program is named explicitly and each argument
// arrives whole, blanks and all.  On POSIX the child runs detached in its own
// session with its standard streams on /dev/null and leaves no zombie; on
// Windows it starts hidden.
StartResult StartProcess(const std::string &program, const std::vector<std::string> &args);

} // namespace host
