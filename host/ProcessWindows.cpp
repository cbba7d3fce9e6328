// Process start on Windows.  The program is named explicitly to CreateProcess,
// so it is never looked up from an unquoted command line (where a planted
// C:\Program.exe could run instead), and each argument is quoted so that it
// arrives whole.  Program and arguments are UTF-8 and go to the wide
// CreateProcessW, so a path beyond the ANSI code page arrives as it is.
//
// A console program gets a console without a window (CREATE_NO_WINDOW; never
// DETACHED_PROCESS, which leaves a console program no valid standard handles)
// and three standard handles: NUL to read, and the capture, or NUL, for output
// and error.  Those handles are the only ones it inherits
// (PROC_THREAD_ATTRIBUTE_HANDLE_LIST), so no other start, nor this program's
// other handles, leak into it.
#include "host/Process.h"

#include "host/Capture.h"
#include "host/WindowsText.h"

#include <windows.h>

#include <vector>

namespace host {

namespace {

// Quotes one argument the way the C runtime's command-line parser reads it.
std::string quoteArgument(const std::string &arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            out.append(backslashes * 2 + 1, '\\');
            out += '"';
            backslashes = 0;
        } else {
            out.append(backslashes, '\\');
            out += c;
            backslashes = 0;
        }
    }
    out.append(backslashes * 2, '\\');
    out += '"';
    return out;
}

// An inheritable handle, closed when the start is done.
class Inheritable {
public:
    Inheritable() = default;
    ~Inheritable() {
        if (h_)
            ::CloseHandle(h_);
    }
    Inheritable(const Inheritable &) = delete;
    Inheritable &operator=(const Inheritable &) = delete;
    bool copy(HANDLE from) {
        return ::DuplicateHandle(::GetCurrentProcess(), from, ::GetCurrentProcess(), &h_, 0, TRUE,
                                 DUPLICATE_SAME_ACCESS);
    }
    bool openNul(DWORD access) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        const HANDLE h = ::CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                       OPEN_EXISTING, 0, nullptr);
        h_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
        return h_ != nullptr;
    }
    HANDLE get() const { return h_; }

private:
    HANDLE h_ = nullptr;
};

class AttributeList {
public:
    explicit AttributeList(std::vector<HANDLE> &inherited) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!::InitializeProcThreadAttributeList(list_, 1, 0, &size)) {
            list_ = nullptr;
            return;
        }
        if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                         inherited.data(), inherited.size() * sizeof(HANDLE),
                                         nullptr, nullptr)) {
            ::DeleteProcThreadAttributeList(list_);
            list_ = nullptr;
        }
    }
    ~AttributeList() {
        if (list_)
            ::DeleteProcThreadAttributeList(list_);
    }
    AttributeList(const AttributeList &) = delete;
    AttributeList &operator=(const AttributeList &) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

private:
    std::vector<char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

} // namespace

StartResult StartProcess(const std::string &program, const std::vector<std::string> &args,
                         const OutputCapture *output) {
    std::string commandLine = quoteArgument(program);
    for (const std::string &a : args)
        commandLine += ' ' + quoteArgument(a);

    Inheritable input, out;
    if (!input.openNul(GENERIC_READ))
        return {false, SystemErrorText(::GetLastError())};
    const bool opened = output ? out.copy(reinterpret_cast<HANDLE>(output->NativeHandle()))
                               : out.openNul(GENERIC_WRITE);
    if (!opened)
        return {false, SystemErrorText(::GetLastError())};
    std::vector<HANDLE> inherited = {input.get(), out.get()};
    AttributeList attributes(inherited);
    if (!attributes.get())
        return {false, SystemErrorText(::GetLastError())};

    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si;
    // No STARTF_USESHOWWINDOW: a console program's console has no window
    // anyway, and a program with windows (Lumio) shows them as it would when
    // started from Explorer; SW_HIDE would keep its main window hidden.
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    si.StartupInfo.hStdInput = input.get();
    si.StartupInfo.hStdOutput = out.get();
    si.StartupInfo.hStdError = out.get();
    si.lpAttributeList = attributes.get();
    PROCESS_INFORMATION pi{};
    const std::wstring application = Wide(program);
    std::wstring command = Wide(commandLine); // CreateProcessW may write into it
    if (!::CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, TRUE,
                          CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                          &si.StartupInfo, &pi)) {
        // Some texts name the program as "%1" ("%1 is not a valid Win32
        // application."): the program's own name belongs there.
        std::string error = SystemErrorText(::GetLastError());
        if (const std::size_t at = error.find("%1"); at != std::string::npos)
            error.replace(at, 2, program);
        return {false, error};
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return {true, {}};
}

bool TrustedProgram(const std::string &) {
    return true;
}

} // namespace host
