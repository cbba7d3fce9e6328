// Starting outside programs.
#pragma once

#include <string>
#include <vector>

namespace host {

class OutputCapture;

struct StartResult {
    bool started = false;
    std::string error; // why the start failed, in the host's words
};

// Starts program with args and returns at once, never waiting for it to end.
// No shell takes part: the program is named explicitly and each argument
// arrives whole, blanks and all.  Its standard input reads nothing; its
// standard output and error both go into output, or nowhere without one.  On
// POSIX the child runs detached in its own session and leaves no zombie; on
// Windows it starts with a console that has no window.
StartResult StartProcess(const std::string &program, const std::vector<std::string> &args,
                         const OutputCapture *output = nullptr);

} // namespace host
