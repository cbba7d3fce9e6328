// What a started program writes: its standard output and standard error,
// together, in the order written, whatever way the program opens them.
//
// On POSIX the program writes into a pipe.  A drain of its own
// (forgeway-drain, host/Drain.cpp, installed beside the program) reads the
// pipe into a ring of the last 256 KiB in a memfd that Forgeway maps, and
// ends once every writer has closed the pipe.  A pipe keeps what a program
// writes whole even when it reopens /dev/stdout or /dev/stderr (a reopen of a
// file would truncate it and write at its start), and the drain outlives
// Forgeway, so a program never meets a pipe without a reader: it is never
// ended by Forgeway's end.  It waits for the drain only as long as the drain
// takes to copy what it wrote.  The memory is bounded by the ring, however
// much and however long the program and its children write, also after
// Forgeway has ended; nothing lies in any folder.
//
// On Windows the program writes into a hidden temporary file that is deleted
// when its last handle closes, so nothing is left once the program and
// Forgeway have both let go of it; writing to a file never blocks.  The file
// keeps everything written, so its owner calls Trim as it grows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace host {

#ifdef _WIN32
inline constexpr bool CaptureKeepsAll = true;
#else
inline constexpr bool CaptureKeepsAll = false;
#endif

class OutputCapture {
public:
    // A new, empty capture; nullptr when the host gives none (error says why).
    static std::unique_ptr<OutputCapture> Open(std::string *error = nullptr);
    ~OutputCapture();
    OutputCapture(const OutputCapture &) = delete;
    OutputCapture &operator=(const OutputCapture &) = delete;

    // Whether the capture keeps all that is written until Trim frees it
    // (Windows); without, it keeps a bounded tail by itself and Trim does
    // nothing.
    static constexpr bool NeedsTrim = CaptureKeepsAll;

    // How many bytes have been written so far (POSIX: of them, those the
    // drain has already taken from the pipe).
    std::uint64_t Written() const;
    // The last bytes written, at most maxBytes of them; from, when given,
    // receives the offset of the first one.  On POSIX the ring gives at most
    // the last 192 KiB, and fewer when the drain overwrites some of them
    // while they are read (from then says where they begin).
    std::string Tail(std::size_t maxBytes, std::uint64_t *from = nullptr) const;
    // Frees the storage of everything but the last keepBytes written (rounded
    // to whole blocks); the freed bytes read back as zeros.  Best effort: on a
    // file system that cannot free part of a file it does nothing.
    void Trim(std::uint64_t keepBytes);

    // The handle that a start passes on as the program's standard output and
    // error: a file descriptor on POSIX, a HANDLE on Windows.  It is not
    // inherited by anything else.
    std::intptr_t NativeHandle() const { return writer_; }

private:
    OutputCapture(std::intptr_t writer, std::intptr_t reader) : writer_(writer), reader_(reader) {}

    std::intptr_t writer_;
    // Where Forgeway reads.  On Windows a handle of its own, so that reading
    // never moves the file position the program writes at; on POSIX the
    // ring's memfd, mapped at ring_.
    std::intptr_t reader_;
#ifdef _WIN32
    std::uint64_t freedTo_ = 0;
#else
    void *ring_ = nullptr;
#endif
};

} // namespace host
