#include "tests/support/FakeSeam.h"

#include "host/Capture.h"
#include "host/Process.h"

#include <chrono>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// Writes text into the capture, as a program started with it would, and
// waits (a few seconds at most) until the capture holds it: on POSIX a drain
// takes it from a pipe.
bool writeInto(const host::OutputCapture &output, const std::string &text) {
    const std::uint64_t before = output.Written();
#ifdef _WIN32
    DWORD written = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(output.NativeHandle()), text.data(),
                     DWORD(text.size()), &written, nullptr) ||
        written != text.size())
        return false;
#else
    if (::write(int(output.NativeHandle()), text.data(), text.size()) != ssize_t(text.size()))
        return false;
#endif
    for (int i = 0; i < 500 && output.Written() < before + text.size(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return output.Written() == before + text.size();
}

} // namespace

host::StartResult FakeSeam::startProcess(const std::string &program,
                                         const std::vector<std::string> &args,
                                         const host::OutputCapture *output) {
    starts.push_back({program, args, output != nullptr});
    if (reallyStart)
        return host::StartProcess(program, args, output);
    const std::size_t index = starts.size() - 1;
    const auto written = fakeOutput.find(index);
    if (output && written != fakeOutput.end()) {
        const std::string &text = written->second;
        if (!writeInto(*output, text))
            return {false, "the fake output could not be written"};
    }
    const auto result = fakeStartResults.find(index);
    return result != fakeStartResults.end() ? result->second : host::StartResult{true, {}};
}

void FakeSeam::showMessage(QWidget *, const QString &text, const QString &details) {
    box(QStringLiteral("message: "), text, details);
}

void FakeSeam::box(const QString &kind, const QString &text, const QString &details) {
    boxes << kind + text;
    this->details << details;
    if (whileBoxUp)
        whileBoxUp(text);
}

bool FakeSeam::confirm(QWidget *, const QString &text) {
    box(QStringLiteral("confirm: "), text, QString());
    if (confirmAnswers.empty())
        return true;
    const bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
}

std::optional<QString> FakeSeam::openFile(QWidget *, const QString &, const QString &) {
    ++openCalls;
    if (openAnswers.empty())
        return std::nullopt;
    const std::optional<QString> answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}
