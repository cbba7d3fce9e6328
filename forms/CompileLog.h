// The compiles of one build, each with what it wrote, for the details of a
// message that tells the user the build went wrong.
//
// Each compile's standard output and error go into a capture of its own
// (host/Capture.h).  The compiler is never waited for and never
// tracked: all the log keeps of it is the command line, whether the start
// succeeded, and the capture it writes to.  On POSIX a capture keeps only a
// bounded tail by itself.  Where it keeps everything (Windows), a timer on
// the GUI thread frees all but the last few TailBytes of every capture four
// times a second (a hundred when one is new or grows by a megabyte a tick),
// also after the build that started it has ended, until the capture has been
// quiet for a while; it ticks in whichever event loop runs (the wait dialog,
// a message box, the output wait).  So there a compiler's output costs what
// it writes between two ticks, plus the tail.
#pragma once

#include "core/CompileCommand.h"
#include "host/Process.h"

#include <QString>
#include <memory>
#include <string>
#include <vector>

class Seam;

namespace host {
class OutputCapture;
}

class CompileLog {
public:
    // How much of each compile's output is kept and shown: its last bytes.
    static constexpr std::size_t TailBytes = 64 * 1024;

    // Compiles are started through seam, which must outlive the log.
    explicit CompileLog(Seam &seam);
    ~CompileLog();
    CompileLog(const CompileLog &) = delete;
    CompileLog &operator=(const CompileLog &) = delete;

    // Starts line through the seam with its output captured.
    // output: the file the compile makes.  A start that fails is recorded with
    // the host's reason.
    void Start(const CompileCommandLine &line, const std::string &output);

    // For each of outputs, in that order, that does not exist: the compiles of
    // this log that make it, each as its command line as typed ("> " before
    // it), then why it did not start, or the tail of what it wrote.  Empty
    // when every output exists.
    QString Details(const std::vector<std::string> &outputs) const;

private:
    struct Compile {
        std::string command;
        std::string output;
        host::StartResult start;
        std::shared_ptr<host::OutputCapture> capture;
        std::string captureError;
    };
    Seam &seam_;
    std::vector<Compile> compiles_;
};
