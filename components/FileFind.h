// TFileFind: looks for one file, by name, on every drive of the machine.
//
// The search runs in the foreground: writing Enabled := True walks the drives
// and returns only when the walk has ended.  Before every directory entry it
// lets pending window events run (through the pump it was given), so that the
// owner's windows stay alive and their handlers can stop it by writing
// Enabled := False; after naming each entry it raises OnSearch.  The first
// plain file whose name equals Search, ignoring ASCII letter case, ends the
// search, and its full path is left in Found.  An owner that has set
// AcceptMatch has the last word: a matching file it refuses is passed over
// and the search goes on.
//
// While it walks, a few helper threads read the folders ahead of it, in the
// order it will reach them (host::Lookahead): the calling thread never opens
// a folder, and where a folder is not read yet it waits for it with events
// running.  What it visits, in what order, and everything it does on the
// calling thread stay as they are.  A stop never waits for a helper: one
// still blocked in a folder when the write of Enabled returns ends on its own.
#pragma once

#include "host/FileSearch.h"
#include "host/Lookahead.h"
#include "runtime/NativeText.h"
#include "runtime/NotifyEvent.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TFileFind : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Tag MEMBER Tag)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(QString Search READ Search WRITE SetSearch)
    Q_PROPERTY(QString Found READ Found WRITE SetFound)

public:
    // Lets every pending window event run.
    using Pump = std::function<void()>;
    // The roots of the drives to walk, in order, each ending with a separator.
    using DriveTable = std::function<std::vector<std::string>()>;

    TFileFind(QObject *owner, Pump pump, DriveTable drives);

    int Tag = 0;

    bool Enabled() const { return enabled_; }
    // Sets the flag, empties Found and, for True with a non-empty Search, runs
    // a whole search before returning.  False stops a running search at its
    // next entry.
    void SetEnabled(bool enabled);
    QString Search() const { return fromNative(search_); }
    // Sets Search and disables the component.
    void SetSearch(const QString &search);
    QString Found() const { return fromNative(found_); }
    // Ignored: Found is only ever set by a search.
    void SetFound(const QString &) {}
    // The entry being visited; after a search, the last one visited.  Its
    // bytes: a status panel converts them only when it shows them.
    const NativeString &CurrentPath() const { return currentPath_; }

    // Raised for every entry visited, with this component as sender.
    TNotifyEvent OnSearch;
    // Asked, with its full path, about each file whose name matches, after
    // its OnSearch; true takes it.  Empty: every match is taken.
    std::function<bool(const std::string &path)> AcceptMatch;

    // How far the next searches read ahead; none: the walk reads every
    // folder itself, on the calling thread (for comparison).
    void SetLookahead(std::optional<host::LookaheadLimits> limits) { lookahead_ = limits; }

private:
    void ScanDrives();
    // within: the parent folder's search, whose current entry is folder.
    void ScanFolder(std::string folder, host::VolumeId volume,
                    const host::TSearchRec *within = nullptr);
    void PumpPendingMessages();

    bool enabled_ = false;
    std::string search_;
    std::string found_;
    NativeString currentPath_;
    Pump pump_;
    DriveTable drives_;
    std::optional<host::LookaheadLimits> lookahead_ = host::LookaheadLimits();
    host::Lookahead *ahead_ = nullptr; // the running search's
};
