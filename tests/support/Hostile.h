// Tools for the tests that run real processes and odd trees: snapshots that
// account for every byte of a tree, the wait dialog driven on a fast clock,
// and the hunt for processes the tests left behind.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <map>
#include <string>
#include <vector>

namespace hostile {

// Every file and folder below root (relative path → SHA-256 of its contents,
// or "<dir>" / "<other>"), names kept as raw bytes.
using Snapshot = std::map<std::string, QByteArray>;
Snapshot snapshot(const std::string &root);
// The compiler's outputs in a kit: Demo/*.DCU and Demo/Lumio.EXE.
bool isCompilerOutput(const std::string &relative);
// Lines for a failure message.
QByteArray joined(const std::vector<std::string> &lines);
// What changed from before to after (besides the compiler's outputs, if so
// asked), joined a line per entry; empty when nothing did.
QByteArray changes(const Snapshot &before, const Snapshot &after, bool besidesOutputs = false);

void writeFile(const std::string &path, const std::string &contents, int mode = 0644);
inline void writeExecutable(const std::string &path, const std::string &contents) {
    writeFile(path, contents, 0755);
}
// The whole contents of a file; empty when it cannot be read.
std::string readFile(const std::string &path);
// How many entries of folder have names that begin with prefix.
int countPrefixed(const std::string &folder, const std::string &prefix);

// Marks every process started from now on (through the environment they
// inherit), and on kill() ends those still running.  The program itself never
// ends what it starts; the tests clean up after their stand-ins.
class ProcessMarker {
public:
    ProcessMarker();
    ~ProcessMarker();
    // Sends SIGKILL to every marked process but this one; returns how many.
    int kill();
    // Marked processes still alive, this one excluded.
    std::vector<int> alive() const;

private:
    QByteArray value_;
};

// No child of this process is left, running or as a zombie.
bool noChildren();

// Ticks the wait dialog every intervalMs while it is up, in place of its
// one-second timer, so that its 31 ticks take a fraction of a second.
class WaitDialogDriver : public QObject {
public:
    explicit WaitDialogDriver(int intervalMs = 20);
    int ticks = 0;

private:
    QTimer timer_;
};

} // namespace hostile
