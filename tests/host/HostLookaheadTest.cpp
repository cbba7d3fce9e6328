// Folders read ahead of a depth-first walk (host::Lookahead), on every host:
// the walk sees what it sees without one, in the same order, within the
// lookahead's bounds, and a walk that stops early leaves nothing behind.
#include "tests/host/Scratch.h"

#include "tests/support/HangingFolder.h"

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

using namespace host;
using hosttest::Walk;
using hosttest::walked;

namespace {

// A random tree of 600 entries, and one folder of 3,000 entries (several
// parts of a listing) with subfolders among them.
struct RandomTree : hosttest::Scratch {
    const std::size_t folders; // root included
    explicit RandomTree(unsigned seed)
        : folders(
              walk::randomTree(root, seed, {.steps = 600, .bigEntries = 3000, .bigEvery = 97})) {}
    std::string drive() const { return root + PathDelim; }
};

} // namespace

TEST_CASE("Lookahead: the walk sees every entry in the host's order, within the bounds") {
    RandomTree tree(7);
    const std::vector<std::string> plain = walked(tree.drive(), nullptr);
    CHECK(plain.size() > 3000 + 2 * tree.folders);

    const LookaheadLimits tight{.helpers = 3, .folders = 2, .bytes = 1, .descriptors = 2},
        none{.helpers = 0}, wide{.helpers = 8},
        // Each bound alone: reached, and never passed by one.
        folders{.folders = 5}, descriptors{.descriptors = 3};
    for (const LookaheadLimits &limits :
         {LookaheadLimits(), tight, none, wide, folders, descriptors}) {
        Lookahead lookahead(limits);
        Walk w{.lookahead = &lookahead};
        // Let the helpers get ahead once, as far as the bounds let them.
        w.atFirstEntry = [&] {
            for (int i = 0; i < 1000 && limits.helpers > 0; ++i) {
                const Lookahead::Statistics s = lookahead.Stats();
                if (s.mostAhead >= limits.folders || s.mostDescriptors >= limits.descriptors)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        };
        w.folder(tree.drive(), nullptr);
        CHECK(w.seen == plain);
        const Lookahead::Statistics s = lookahead.Stats();
        CHECK_EQ(s.listedAhead > 0, limits.helpers > 0);
        CHECK_EQ(s.listedAhead + s.listedAsked, tree.folders);
        CHECK(s.mostAhead <= limits.folders);
        CHECK(s.mostDescriptors <= limits.descriptors);
        if (&limits == &folders)
            CHECK_EQ(s.mostAhead, limits.folders);
        if (&limits == &descriptors) {
            CHECK_EQ(s.mostDescriptors, limits.descriptors);
            CHECK(s.mostAhead > limits.folders / 1024 + std::size_t(limits.descriptors));
        }
        if (&limits == &tight) // one folder at a time beyond the budget, whatever it holds
            CHECK(s.mostBytes <= 2 * LookaheadLimits::PartBytes + 64 * 1024);
    }
}

TEST_CASE("Lookahead: readers read on up to each bound, and are woken again once more than a "
          "quarter is free") {
    const LookaheadLimits l{.folders = 8, .bytes = 800, .descriptors = 4};
    struct Row {
        std::size_t ahead, bytes;
        int descriptors;
        bool reads, refills;
    };
    for (const Row &r :
         {Row{0, 5000, 0, true, true}, Row{5, 500, 2, true, true}, Row{6, 0, 0, true, false},
          Row{8, 0, 0, false, false}, Row{1, 600, 0, true, false}, Row{1, 800, 0, false, false},
          Row{1, 0, 3, true, false}, Row{1, 0, 4, false, false}}) {
        CHECK_EQ(MayReadAhead(l, r.ahead, r.bytes, r.descriptors, false), r.reads);
        CHECK_EQ(MayReadAhead(l, r.ahead, r.bytes, r.descriptors, true), r.refills);
    }
}

TEST_CASE("Lookahead: a walk that stops early, and one that never starts, leave it whole") {
    RandomTree tree(11);
    const std::vector<std::string> plain = walked(tree.drive(), nullptr);
    for (const std::size_t stop : {std::size_t(1), std::size_t(40), plain.size() / 2}) {
        Lookahead lookahead;
        Walk w{.lookahead = &lookahead, .stopAfter = stop};
        w.folder(tree.drive(), nullptr);
        CHECK(std::equal(w.seen.begin(), w.seen.end(), plain.begin()));
        CHECK_EQ(lookahead.Stats().aheadNow, 0u); // what it passed by holds no room
        // The same lookahead serves a whole walk afterwards.
        CHECK(walked(tree.drive(), &lookahead) == plain);
    }
    // A walk that passes subfolders by, and then a whole one, with one lookahead.
    Walk passing{.passEveryOther = true}, passingAhead{.passEveryOther = true};
    passing.folder(tree.drive(), nullptr);
    Lookahead lookahead({.folders = 8, .descriptors = 4});
    passingAhead.lookahead = &lookahead;
    passingAhead.folder(tree.drive(), nullptr);
    CHECK(passingAhead.seen == passing.seen);
    CHECK_EQ(lookahead.Stats().aheadNow, 0u);
    CHECK(walked(tree.drive(), &lookahead) == plain);
    Lookahead unused;
    CHECK_EQ(unused.Stats().helpersStarted, 0);
}

TEST_CASE("Lookahead: a folder that hangs holds up neither a stop nor the walk before it") {
    RandomTree tree(13);
    const std::vector<std::string> plain = walked(tree.drive(), nullptr);
    // The root's last subfolder: read ahead early, reached by the walk late.
    std::string last;
    std::size_t at = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const std::string path = plain[i].substr(0, plain[i].rfind(' '));
        if ((std::stoi(plain[i].substr(plain[i].rfind(' ') + 1)) & faDirectory) &&
            ExtractFilePath(path) == tree.drive() && !path.ends_with("."))
            last = path + PathDelim, at = i;
    }
    CHECK(at > 3); // the walk below stops before it
    if (at <= 3)
        return;
    // Read ahead while the walk is still in the first folders: the walk
    // stops there and the lookahead goes, with a helper still held.
    {
        HangingFolder hang(last);
        {
            Lookahead lookahead;
            Walk w{.lookahead = &lookahead, .stopAfter = 3};
            w.atFirstEntry = [&] { CHECK(hang.WaitHeld()); };
            w.folder(tree.drive(), nullptr);
            CHECK(std::equal(w.seen.begin(), w.seen.end(), plain.begin()));
        }
        CHECK(hang.Holding());
        CHECK(Lookahead::HelpersAlive() > 0);
        hang.Release();
        CHECK(HangingFolder::HelpersEnd()); // it ends on its own, never joined
    }
    // Reached by the walk: it waits with its events running, then goes on;
    // given a wake, the helper that read the folder ends the wait.
    for (const bool wakes : {false, true}) {
        HangingFolder hang(last);
        int waits = 0;
        std::atomic<int> woken{0};
        Lookahead lookahead(
            {},
            [&] {
                if (hang.Holding() && ++waits == 5)
                    hang.Release();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return true;
            },
            wakes ? Lookahead::Wake([&] { ++woken; }) : nullptr);
        CHECK(walked(tree.drive(), &lookahead) == plain);
        CHECK(waits >= 5);
        CHECK_EQ(woken > 0, wakes);
    }
}

TEST_CASE("RunAside: the work's exception comes back; a wait that gives up returns at once") {
    bool thrown = false;
    try {
        RunAside([] { throw std::runtime_error("no drive table"); }, {});
    } catch (const std::runtime_error &) {
        thrown = true;
    }
    CHECK(thrown);
    // Work that blocks (a hung mount) is left to end on its own.
    std::atomic<bool> release{false};
    int waits = 0;
    CHECK(!RunAside(
        [&release] {
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        },
        [&waits] { return ++waits < 3; }));
    CHECK_EQ(waits, 3);
    CHECK(Lookahead::HelpersAlive() > 0);
    release = true;
    CHECK(HangingFolder::HelpersEnd());
}
