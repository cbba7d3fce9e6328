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
// Windows a console program starts with a console that has no window, and a
// program with windows shows them.
StartResult StartProcess(const std::string &program, const std::vector<std::string> &args,
                         const OutputCapture *output = nullptr);

// Whether the program at path can only have been put there by root or by the
// user running this program, so that starting it unasked is safe.  On POSIX
// the path is followed name by name, as the kernel follows it, and every step
// must be root's or the user's: each folder entered (owned by one of them,
// and not writable by others unless it has the sticky bit), each symbolic
// link met (owned by one of them; its target is read relative to its own
// folder, at most 40 links), and the program (a plain file owned by one of
// them, not writable by others; a sticky bit on a file changes nothing).
// Group write counts as write by others unless the group is the user's
// primary group and no other account has it.  False when path is not
// absolute or cannot be examined.  On Windows always true: rights there are
// access lists, which these rules do not describe.
bool TrustedProgram(const std::string &path);

} // namespace host
