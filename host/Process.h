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
// it is not when the file (after any symbolic links) is owned by neither
// root nor the user or is writable by others, or when a folder on its path,
// as given or as the links resolve, is owned by neither or is writable by
// others without the sticky bit.  Group write is accepted.  False when path
// is not absolute or cannot be examined.  On Windows always true: rights
// there are access lists, which these rules do not describe.
bool TrustedProgram(const std::string &path);

} // namespace host
