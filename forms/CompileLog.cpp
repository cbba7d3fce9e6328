#include "forms/CompileLog.h"

#include "host/Capture.h"
#include "host/FileSearch.h"
#include "runtime/NativeText.h"
#include "runtime/Seam.h"

#include <QCoreApplication>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// How often the captures are trimmed.  Between two trims a capture holds what
// its compiler wrote since the last one, on top of the tail; so while one
// grows fast, they are trimmed more often.
constexpr int TrimIntervalMs = 250;
constexpr int FastTrimIntervalMs = 10;
constexpr std::uint64_t FastGrowth = 1024 * 1024;
// A capture no build holds any more is let go once it has not grown for this
// long.  Until then a compiler that floods its output after the build has
// ended still costs no more than the tail.
constexpr Clock::duration QuietLimit = std::chrono::seconds(30);
// What a trim keeps: the tail that is shown, and as much again, so that
// nothing a reader of the tail needs is ever freed.
constexpr std::uint64_t KeptBytes = 2 * CompileLog::TailBytes;

// Keeps every capture trimmed, for the life of the application object, on a
// host whose captures keep all that is written.
class OutputKeeper : public QObject {
public:
    static OutputKeeper &instance() {
        static QPointer<OutputKeeper> keeper;
        if (!keeper)
            keeper = new OutputKeeper(QCoreApplication::instance());
        return *keeper;
    }

    void add(std::shared_ptr<host::OutputCapture> capture) {
        kept_.push_back({std::move(capture), 0, Clock::now()});
        // A compiler may flood its output from its first moment.
        timer_.start(FastTrimIntervalMs);
    }

private:
    explicit OutputKeeper(QObject *parent) : QObject(parent) {
        connect(&timer_, &QTimer::timeout, this, &OutputKeeper::trim);
    }

    void trim() {
        const Clock::time_point now = Clock::now();
        bool fast = false;
        for (auto it = kept_.begin(); it != kept_.end();) {
            const std::uint64_t written = it->capture->Written();
            fast = fast || written - it->written >= FastGrowth;
            if (written != it->written) {
                it->written = written;
                it->changed = now;
            }
            it->capture->Trim(KeptBytes);
            const bool heldByABuild = it->capture.use_count() > 1;
            if (!heldByABuild && now - it->changed >= QuietLimit)
                it = kept_.erase(it);
            else
                ++it;
        }
        if (kept_.empty())
            timer_.stop();
        else
            timer_.setInterval(fast ? FastTrimIntervalMs : TrimIntervalMs);
    }

    struct Kept {
        std::shared_ptr<host::OutputCapture> capture;
        std::uint64_t written;
        Clock::time_point changed;
    };
    std::vector<Kept> kept_;
    QTimer timer_;
};

// The last bytes a capture holds, as whole lines to read.
QString tailText(const host::OutputCapture &capture) {
    // One byte more than is shown tells whether the first line is whole.
    std::uint64_t from = 0;
    std::string tail = capture.Tail(CompileLog::TailBytes + 1, &from);
    if (tail.empty())
        return QStringLiteral("(no output)");
    if (from == 0 && tail.size() <= CompileLog::TailBytes)
        return fromNativeEscaped(tail);
    // Start at the first line that begins within the tail, if there is one.
    std::size_t cut = tail.find('\n');
    if (cut == std::string::npos || cut + 1 == tail.size())
        cut = 0;
    tail.erase(0, cut + 1);
    from += cut + 1;
    return QStringLiteral("(the first %1 bytes are left out)\n").arg(from) +
           fromNativeEscaped(tail);
}

} // namespace

CompileLog::CompileLog(Seam &seam) : seam_(seam) {}
CompileLog::~CompileLog() = default;

void CompileLog::Start(const CompileCommandLine &line, const std::string &output) {
    Compile compile{line.text, output, {}, nullptr, {}};
    compile.capture = host::OutputCapture::Open(&compile.captureError);
    if (host::OutputCapture::NeedsTrim && compile.capture)
        OutputKeeper::instance().add(compile.capture);
    compile.start = seam_.startProcess(line.program, line.args, compile.capture.get());
    compiles_.push_back(std::move(compile));
}

QString CompileLog::Details(const std::vector<std::string> &outputs) const {
    QStringList parts;
    for (const std::string &output : outputs) {
        if (host::PathExists(output, host::faAnyFile))
            continue;
        for (const Compile &c : compiles_) {
            if (c.output != output)
                continue;
            QString part = QStringLiteral("> ") + fromNative(c.command) + QLatin1Char('\n');
            if (!c.start.started)
                part += QStringLiteral("Not started: ") + fromNative(c.start.error);
            else if (!c.capture)
                part +=
                    QStringLiteral("Its output could not be kept: ") + fromNative(c.captureError);
            else
                part += tailText(*c.capture);
            if (part.endsWith(QLatin1Char('\n')))
                part.chop(1);
            parts << part;
        }
    }
    return parts.join(QStringLiteral("\n\n"));
}
