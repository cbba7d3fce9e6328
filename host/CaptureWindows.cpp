// The capture on Windows: a hidden temporary file, deleted when the last
// handle to it closes (FILE_FLAG_DELETE_ON_CLOSE), so it goes when both the
// program and Forgeway have let go of it, however either ends.
//
// The program writes through one handle (its file position shared by its
// standard output and error, so the two stay in the order written); Forgeway
// reads through a second handle of its own, because a positioned read on a
// synchronous handle moves that handle's file position.  Freeing turns the
// file sparse and zeroes what lies before the tail, where the file system
// allows it.
#include "host/Capture.h"
#include "host/WindowsText.h"

#include <windows.h>
#include <winioctl.h>

namespace host {

namespace {

constexpr std::uint64_t FreeBlock = 64 * 1024;
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE asHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

} // namespace

std::unique_ptr<OutputCapture> OutputCapture::Open(std::string *error) {
    const auto fail = [error](DWORD code) {
        if (error)
            *error = SystemErrorText(code);
        return nullptr;
    };
    wchar_t folder[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH)
        return fail(::GetLastError());
    // A name of our own, made only together with the flag that deletes it:
    // there is no moment at which an end of Forgeway would leave it behind.
    static unsigned serial = 0;
    HANDLE writer = INVALID_HANDLE_VALUE;
    std::wstring name;
    for (int attempt = 0; attempt < 100 && writer == INVALID_HANDLE_VALUE; ++attempt) {
        name = folder +
               Wide("forgeway-output-" + std::to_string(::GetCurrentProcessId()) + "-" +
                    std::to_string(++serial) + "-" + std::to_string(::GetTickCount()) + ".tmp");
        writer = ::CreateFileW(
            name.c_str(), GENERIC_READ | GENERIC_WRITE, ShareAll, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (writer == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            return fail(::GetLastError());
    }
    if (writer == INVALID_HANDLE_VALUE)
        return fail(ERROR_FILE_EXISTS);
    const HANDLE reader = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, ShareAll,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (reader == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        ::CloseHandle(writer); // deletes the file
        return fail(code);
    }
    return std::unique_ptr<OutputCapture>(new OutputCapture(
        reinterpret_cast<std::intptr_t>(writer), reinterpret_cast<std::intptr_t>(reader)));
}

OutputCapture::~OutputCapture() {
    ::CloseHandle(asHandle(reader_));
    ::CloseHandle(asHandle(writer_));
}

std::uint64_t OutputCapture::Written() const {
    LARGE_INTEGER size;
    return ::GetFileSizeEx(asHandle(reader_), &size) ? std::uint64_t(size.QuadPart) : 0;
}

std::string OutputCapture::Tail(std::size_t maxBytes, std::uint64_t *start) const {
    const std::uint64_t size = Written();
    const std::uint64_t from = size > maxBytes ? size - maxBytes : 0;
    if (start)
        *start = from;
    std::string out(std::size_t(size - from), '\0');
    std::size_t got = 0;
    while (got < out.size()) {
        OVERLAPPED at{};
        const std::uint64_t offset = from + got;
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD n = 0;
        if (!::ReadFile(asHandle(reader_), out.data() + got, DWORD(out.size() - got), &n, &at) ||
            n == 0)
            break;
        got += n;
    }
    out.resize(got);
    return out;
}

void OutputCapture::Trim(std::uint64_t keepBytes) {
    const std::uint64_t size = Written();
    if (size <= keepBytes)
        return;
    const std::uint64_t to = (size - keepBytes) / FreeBlock * FreeBlock;
    if (to <= freedTo_)
        return;
    DWORD n = 0;
    if (freedTo_ == 0 && !::DeviceIoControl(asHandle(reader_), FSCTL_SET_SPARSE, nullptr, 0,
                                            nullptr, 0, &n, nullptr))
        return;
    FILE_ZERO_DATA_INFORMATION range;
    range.FileOffset.QuadPart = LONGLONG(freedTo_);
    range.BeyondFinalZero.QuadPart = LONGLONG(to);
    if (::DeviceIoControl(asHandle(reader_), FSCTL_SET_ZERO_DATA, &range, sizeof range, nullptr, 0,
                          &n, nullptr))
        freedTo_ = to;
}

} // namespace host
