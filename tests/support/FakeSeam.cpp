#include "tests/support/FakeSeam.h"

#include "runtime/host/Process.h"

host::StartResult FakeSeam::startProcess(const std::string &program,
                                         const std::vector<std::string> &args) {
    starts.push_back({program, args});
    return reallyStart ? host::StartProcess(program, args) : fakeStartResult;
}

void FakeSeam::showMessage(QWidget *, const QString &text) {
    boxes << QStringLiteral("message: ") + text;
    if (whileBoxUp)
        whileBoxUp(text);
}

bool FakeSeam::confirm(QWidget *, const QString &text) {
    boxes << QStringLiteral("confirm: ") + text;
    if (whileBoxUp)
        whileBoxUp(text);
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
    const bool picked = openAnswers.front().has_value();
    const QString path = picked ? *openAnswers.front() : QString();
    openAnswers.pop_front();
    if (!picked)
        return std::nullopt;
    return path;
}
