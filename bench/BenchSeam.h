// The seam the benchmark hands the application: the real clock, one "drive"
// (the generated tree), and a user played by the benchmark.  A box, a start or
// an end that the run at hand did not ask for means the benchmark took a path
// it did not mean to; they are counted.
#pragma once

#include "host/Clock.h"
#include "runtime/Seam.h"

#include <functional>
#include <string>
#include <vector>

class BenchSeam final : public Seam {
public:
    std::vector<std::string> roots;
    std::string exe = "/nonexistent/Forgeway";
    int unexpected = 0;

    // The user reading a box; when unset, a box is unexpected.  onConfirm
    // answers the question (true for OK).
    std::function<void(const QString &)> onMessage;
    std::function<bool(const QString &)> onConfirm;
    // Compiles are counted, and run only when startReally is set.
    bool compilesExpected = false;
    bool startReally = false;
    int starts = 0;

    std::string exeName() override { return exe; }
    std::uint32_t tickCount() override { return host::GetTickCount(); }
    host::StartResult startProcess(const std::string &program, const std::vector<std::string> &args,
                                   const host::OutputCapture *output) override {
        ++starts;
        if (!compilesExpected)
            ++unexpected;
        if (startReally)
            return host::StartProcess(program, args, output);
        return {true, {}};
    }
    std::vector<std::string> driveRoots() override { return roots; }
    void showMessage(QWidget *, const QString &text, const QString &) override {
        if (onMessage)
            onMessage(text);
        else
            ++unexpected;
    }
    bool confirm(QWidget *, const QString &text) override {
        if (onConfirm)
            return onConfirm(text);
        ++unexpected;
        return false;
    }
    void beep() override {}
    std::optional<QString> openFile(QWidget *, const QString &, const QString &) override {
        ++unexpected;
        return std::nullopt;
    }
    void terminate() override { ++unexpected; }
};
