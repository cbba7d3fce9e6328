#include "FileFind.h"

#include "NativeText.h"
#include "host/Drives.h"
#include "host/Text.h"

TFileFind::TFileFind(QObject *owner, Pump pump, DriveTable drives)
    : QObject(owner), pump_(std::move(pump)), drives_(std::move(drives)) {}

QString TFileFind::fromNativeName(const std::string &s) {
    return fromNative(s);
}

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
    for (const std::string &root : drives_()) {
        if (!enabled_)
            break;
        ScanFolder(root, host::VolumeOf(root));
    }
}

void TFileFind::ScanFolder(std::string folder, host::VolumeId volume) {
    if (folder.empty() || folder.back() != host::PathDelim)
        folder += host::PathDelim;
    host::SearchOptions options;
    options.wantSize = false;
    options.stayOnVolume = volume;
    host::TSearchRec record; // closes its search however this level is left
    int result = host::FindFirst(folder + "*.*", host::faAnyFile, record, options);
    while (result == 0 && enabled_) {
        PumpPendingMessages();
        currentPath_ = folder + record.Name;
        if (const TNotifyEvent handler = OnSearch) // the handler may replace itself
            handler(this);
        if (record.Attr & host::faDirectory) {
            if (record.Name != "." && record.Name != "..")
                ScanFolder(folder + record.Name, volume);
        } else if (host::CompareText(record.Name, search_) == 0) {
            enabled_ = false; // directly: Found must survive
            found_ = folder + record.Name;
        }
        result = host::FindNext(record);
    }
    host::FindClose(record);
}

void TFileFind::PumpPendingMessages() {
    if (pump_)
        pump_();
}
