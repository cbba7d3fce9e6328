#include "components/FileFind.h"

#include "host/Drives.h"
#include "host/Text.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

TFileFind::TFileFind(QObject *owner, Pump pump, DriveTable drives)
    : QObject(owner), pump_(std::move(pump)), drives_(std::move(drives)) {}

void TFileFind::SetEnabled(bool enabled) {
    enabled_ = enabled;
    found_.clear();
    if (enabled_ && !search_.empty())
        ScanDrives();
}

void TFileFind::SetSearch(const QString &search) {
    search_ = toNative(search);
    SetEnabled(false);
}

void TFileFind::ScanDrives() {
    host::ErrorModeGuard quiet; // no "insert a disk" box while walking drives
    // The drive table and each root's volume are read on a thread of their
    // own too: either may touch a mount point that hangs.
    const host::Lookahead::Wait wait = [this] {
        PumpPendingMessages();
        return enabled_;
    };
    // Its helpers are told to stop as this returns or unwinds, never waited
    // for; a search started from a handler meanwhile brings its own.  While
    // the walk waits for a folder, events run as they come: the thread sleeps
    // in the event loop, for 10 ms at most, and the helper that has read the
    // folder wakes it.
    std::optional<host::Lookahead> ahead;
    QAbstractEventDispatcher *const events = QAbstractEventDispatcher::instance();
    if (lookahead_ && events)
        ahead.emplace(
            *lookahead_,
            [wait] {
                QTimer bound;
                bound.setSingleShot(true);
                bound.setTimerType(Qt::PreciseTimer);
                bound.start(10);
                QCoreApplication::processEvents(QEventLoop::AllEvents |
                                                QEventLoop::WaitForMoreEvents);
                return wait();
            },
            [events] { events->wakeUp(); });
    else if (lookahead_)
        ahead.emplace(*lookahead_, wait);
    host::Lookahead *const outer = std::exchange(ahead_, ahead ? &*ahead : nullptr);
    struct Restore {
        host::Lookahead *&current;
        host::Lookahead *previous;
        ~Restore() { current = previous; }
    } restore{ahead_, outer};
    const auto roots = std::make_shared<std::vector<std::string>>();
    if (!host::RunAside([roots, drives = drives_] { *roots = drives(); }, wait))
        return;
    for (const std::string &root : *roots) {
        const auto volume = std::make_shared<host::VolumeId>(0);
        if (!enabled_ ||
            (host::HasVolumes &&
             !host::RunAside([volume, root] { *volume = host::VolumeOf(root); }, wait)))
            break;
        ScanFolder(root, *volume);
    }
}

void TFileFind::ScanFolder(std::string folder, host::VolumeId volume,
                           const host::TSearchRec *within) {
    if (!enabled_)
        return; // stopped at this folder's entry: its search would visit nothing
    if (folder.empty() || folder.back() != host::PathDelim)
        folder += host::PathDelim;
    host::SearchOptions options;
    options.wantSize = false;
    options.stayOnVolume = volume;
    options.within = within;
    options.lookahead = ahead_;
    host::TSearchRec record; // closes its search however this level is left
    int result = host::FindFirst(folder + "*.*", host::faAnyFile, record, options);
    while (result == 0 && enabled_) {
        PumpPendingMessages();
        // Reuses the string's buffer: no allocation per entry.
        currentPath_.bytes.assign(folder).append(record.Name);
        if (const TNotifyEvent handler = OnSearch) // the handler may replace itself
            handler(this);
        if (record.Attr & host::faDirectory) {
            if (record.Name != "." && record.Name != "..")
                ScanFolder(folder + record.Name, volume, &record);
        } else if (!record.Special && host::CompareText(record.Name, search_) == 0) {
            std::string path = folder + record.Name;
            if (!AcceptMatch || AcceptMatch(path)) {
                enabled_ = false; // directly: Found must survive
                found_ = std::move(path);
            }
        }
        result = host::FindNext(record);
    }
    host::FindClose(record);
}

void TFileFind::PumpPendingMessages() {
    if (pump_)
        pump_();
}
