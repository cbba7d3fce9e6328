// What the POSIX and the Windows tests of the host layer share: a scratch
// folder that goes with all it holds, listings through the host's own search,
// and a wait for a file.  Paths are native, UTF-8 on Windows.  No Qt here.
#pragma once

#include "host/FileSearch.h"
#include "host/Lookahead.h"
#include "host/Text.h"
#include "tests/host/Check.h"
#include "tests/support/ListingWalk.h"

#include <chrono>
#include <functional>
#include <map>
#include <thread>
#ifndef _WIN32
#include <cstdlib>
#endif

namespace hosttest {

using walk::exists;

#ifdef _WIN32
// attrs: FILE_ATTRIBUTE_* bits, or 0 to leave them as they are.
inline bool setAttributes(const std::string &path, unsigned attrs) {
    return !attrs || ::SetFileAttributesW(walk::wide(path).c_str(), attrs);
}
inline std::string newFolder() {
    wchar_t temp[MAX_PATH];
    const DWORD n = ::GetTempPathW(MAX_PATH, temp);
    static int serial = 0;
    const std::string root = walk::utf8(n > 0 && n < MAX_PATH ? temp : L"C:\\") + "forgeway-host-" +
                             std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(++serial);
    walk::removeTree(root);
    return walk::makeFolder(root) ? root : "";
}
#else
inline bool setAttributes(const std::string &, unsigned attrs) {
    return attrs == 0;
}
inline std::string newFolder() {
    char tmpl[] = "/tmp/forgeway-host-XXXXXX";
    return mkdtemp(tmpl) ? tmpl : "";
}
#endif

struct Scratch {
    const std::string root = newFolder(); // without a final separator
    Scratch() { CHECK(!root.empty()); }
    ~Scratch() {
        // A program started from here may still be on its way out, and Windows
        // deletes no running executable.
        for (int i = 0; i < 300 && exists(root); ++i) {
            walk::removeTree(root);
            if (exists(root))
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        CHECK(!exists(root));
    }
    std::string path(const std::string &rel) const { return root + walk::Separator + rel; }
    void file(const std::string &rel, std::size_t size = 0, unsigned attrs = 0) const {
        CHECK(walk::writeFile(path(rel), std::string(size, 'x')) &&
              setAttributes(path(rel), attrs));
    }
    void folder(const std::string &rel, unsigned attrs = 0) const {
        CHECK(walk::makeFolder(path(rel)) && setAttributes(path(rel), attrs));
    }
};

// Name -> Attr of every entry the search admits.
inline std::map<std::string, int> listing(const std::string &pattern, int mask) {
    std::map<std::string, int> entries;
    host::TSearchRec f;
    for (int r = host::FindFirst(pattern, mask, f); r == 0; r = host::FindNext(f))
        entries[f.Name] = f.Attr;
    host::FindClose(f);
    return entries;
}

// Whether done() holds within ms, asked every 10 ms.
inline bool waitUntil(const std::function<bool()> &done, int ms = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        if (std::chrono::steady_clock::now() > until)
            return false;
    return true;
}
inline bool waitFor(const std::string &path, int ms = 10000) {
    return waitUntil([&] { return exists(path); }, ms);
}

// A depth-first walk through the host's search, entering what it calls a
// folder, maybe with a lookahead and stopping after so many entries.
struct Walk {
    host::Lookahead *lookahead = nullptr;
    std::vector<std::string> seen{}; // path and attribute bits of each entry
    std::size_t stopAfter = std::size_t(-1);
    std::function<void()> atFirstEntry{};
    bool passEveryOther = false; // enters only every other subfolder it meets
    std::size_t met = 0;

    void folder(std::string path, const host::TSearchRec *within) {
        if (path.back() != host::PathDelim)
            path += host::PathDelim;
        const host::SearchOptions options{
            .wantSize = false, .within = within, .lookahead = lookahead};
        host::TSearchRec r;
        for (int result = host::FindFirst(path + "*.*", host::faAnyFile, r, options);
             result == 0 && seen.size() < stopAfter; result = host::FindNext(r)) {
            if (seen.empty() && atFirstEntry)
                atFirstEntry();
            seen.push_back(path + r.Name + " " + std::to_string(r.Attr));
            if ((r.Attr & host::faDirectory) && r.Name != "." && r.Name != ".." &&
                (!passEveryOther || ++met % 2))
                folder(path + r.Name, &r);
        }
    }
};

inline std::vector<std::string> walked(const std::string &drive, host::Lookahead *lookahead) {
    Walk w{.lookahead = lookahead};
    w.folder(drive, nullptr);
    return w.seen;
}

} // namespace hosttest
