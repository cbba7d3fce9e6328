// The seam the benchmark hands the application: the real clock, one "drive"
// (the generated tree), and no user.  A message box or a process start would
// mean the benchmark took a path it did not mean to; they are counted.
#pragma once

#include "Seam.h"
#include "host/Clock.h"

#include <string>
#include <vector>

class BenchSeam final : public Seam {
public:
    std::vector<std::string> roots;
    std::string exe = "/nonexistent/Forgeway";
    int unexpected = 0; // boxes shown, processes started, ends requested

    std::string exeName() override { return exe; }
    std::uint32_t tickCount() override { return host::GetTickCount(); }
    host::StartResult startProcess(const std::string &, const std::vector<std::string> &) override {
        ++unexpected;
        return {};
    }
    std::vector<std::string> driveRoots() override { return roots; }
    void showMessage(QWidget *, const QString &) override { ++unexpected; }
    bool confirm(QWidget *, const QString &) override {
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
