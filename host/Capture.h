// What a started program writes: its standard output and standard error, both
// into one anonymous file, in the order written.
//
// The file lies in no folder (on Linux a memfd, on Windows a hidden temporary
// file that is deleted when its last handle closes), so nothing is left
// anywhere once the program and Forgeway have both let go of it, however
// either ends.  Writing to a file never blocks and never raises SIGPIPE: the
// program is not slowed by a reader that falls behind, nor ended by the
// reader's end.  The reader only ever reads the tail, and frees the storage of
// what lies before it while the program writes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace host {

class OutputCapture {
public:
    // A new, empty capture; nullptr when the host gives none (error says why).
    static std::unique_ptr<OutputCapture> Open(std::string *error = nullptr);
    ~OutputCapture();
    OutputCapture(const OutputCapture &) = delete;
    OutputCapture &operator=(const OutputCapture &) = delete;

    // How many bytes have been written so far, freed ones included.
    std::uint64_t Written() const;
    // The last bytes written, at most maxBytes of them; from, when given,
    // receives the offset of the first one.
    std::string Tail(std::size_t maxBytes, std::uint64_t *from = nullptr) const;
    // Frees the storage of everything but the last keepBytes written (rounded
    // to whole blocks); the freed bytes read back as zeros.  Best effort: on a
    // host or file system that cannot free part of a file it does nothing.
    void Trim(std::uint64_t keepBytes);

    // The handle that a start passes on as the program's standard output and
    // error: a file descriptor on POSIX, a HANDLE on Windows.  It is not
    // inherited by anything else.
    std::intptr_t NativeHandle() const { return writer_; }

private:
    OutputCapture(std::intptr_t writer, std::intptr_t reader) : writer_(writer), reader_(reader) {}

    std::intptr_t writer_;
    // Where Forgeway reads.  On Windows a handle of its own, so that reading
    // never moves the file position the program writes at; on POSIX reads go
    // by offset and this is the writer.
    std::intptr_t reader_;
    std::uint64_t freedTo_ = 0;
};

} // namespace host
