// A seam that tests drive: it records message boxes, answers them from a
// queue, plays the user at the open dialog, counts ticks on demand, scans
// the drives it is given and records process starts.
#pragma once

#include "runtime/Seam.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>

struct RecordedStart {
    std::string program;
    std::vector<std::string> args;
    bool captured = false; // its output went into a capture
};

class FakeSeam : public Seam {
public:
    // What the program sees as its own executable.
    std::string exe = "/kit/Forgeway";
    // The tick counter; advanced by tickStep at every reading.
    std::uint32_t ticks = 0;
    std::uint32_t tickStep = 0;
    std::vector<std::string> drives;

    // Every box shown, in order, as "message: <text>" or "confirm: <text>",
    // and the details of each (empty for none, and for every question).
    QStringList boxes;
    QStringList details;
    // Answers for confirm(); when empty, the box is answered OK.
    std::deque<bool> confirmAnswers;
    // Run while a box is up, in place of the user reading it.
    std::function<void(const QString &)> whileBoxUp;
    int beeps = 0;

    // Answers for openFile(): a path, or nothing for Cancel.  Empty: Cancel.
    std::deque<std::optional<QString>> openAnswers;
    int openCalls = 0;

    std::vector<RecordedStart> starts;
    // When set, starts really happen through the host; otherwise they are
    // only recorded and succeed, but for the result a start is given here by
    // its index; also what a start writes into its capture.
    bool reallyStart = false;
    std::map<std::size_t, host::StartResult> fakeStartResults;
    std::map<std::size_t, std::string> fakeOutput;

    int terminateCalls = 0;

    std::string exeName() override { return exe; }
    std::uint32_t tickCount() override {
        const std::uint32_t now = ticks;
        ticks += tickStep;
        return now;
    }
    host::StartResult startProcess(const std::string &program, const std::vector<std::string> &args,
                                   const host::OutputCapture *output) override;
    std::vector<std::string> driveRoots() override { return drives; }
    void showMessage(QWidget *parent, const QString &text, const QString &details) override;
    bool confirm(QWidget *parent, const QString &text) override;
    void beep() override { ++beeps; }
    std::optional<QString> openFile(QWidget *parent, const QString &initialName,
                                    const QString &filter) override;
    void terminate() override { ++terminateCalls; }

private:
    void box(const QString &kind, const QString &text, const QString &details);
};
