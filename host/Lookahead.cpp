// The folder tree of a Lookahead: which folder is read when, and by whom.
//
// Every folder the walk will enter is a node.  A folder's subfolders become
// nodes when its listing is read; a helper takes the pending node that the
// walk will reach first (depth first, in listing order), opens it through
// its parent's open folder and reads its first part.  The walk takes each
// node's listing when it gets there; it never waits for a helper: a folder
// that no helper has finished it reads itself (a helper that was at it then
// throws its reading away).  When the walk is done with a folder, everything
// still held below it goes; so does every pending sibling it has passed.
//
// One mutex guards the queue of pending folders and the tree's shape.  The
// helpers take it; the walk never waits for it while it scans (it only tries
// it, and leaves what needs it for the next time it finds it free), so a
// helper that the system has put aside while holding it cannot hold up the
// walk.  A node's stage says who has it: a helper claims a pending node, and
// the walk takes any node, by compare-and-swap; a helper hands over what it
// read (listing and subfolders, already queued) by storing Ready with release
// order, and from then on only the walk touches the node.  Nobody holds the
// mutex while the host is asked for anything but closing.
#include "host/Lookahead.h"
#include "host/LookaheadTree.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

namespace host {

namespace ahead {

void Listing::Add(std::string_view name, std::uint32_t info, bool descend) {
    const std::size_t length = std::min<std::size_t>(name.size(), 0xFFFF);
    const char head[7] = {char(info & 0xFF),         char((info >> 8) & 0xFF),
                          char((info >> 16) & 0xFF), char((info >> 24) & 0xFF),
                          char(descend ? 1 : 0),     char(length & 0xFF),
                          char(length >> 8)};
    bytes_.append(head, sizeof head);
    bytes_.append(name.data(), length);
}

bool Listing::Next(std::string_view &name, std::uint32_t &info, bool &descend) {
    if (at_ + 7 > bytes_.size())
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes_.data() + at_);
    info = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
    descend = p[4] != 0;
    const std::size_t length = std::size_t(p[5]) | std::size_t(p[6]) << 8;
    name = std::string_view(bytes_.data() + at_ + 7, length);
    at_ += 7 + length;
    return true;
}

enum class Stage : unsigned char {
    Pending, // known from its parent's listing, not read yet
    Reading, // a helper is reading it
    Ready,   // a helper has read it (Node::ready); the walk has not come yet
    Taken,   // the walk has it (or is reading it)
};

struct Tree;
struct Node;

// The walk's order: depth first, each folder's subfolders in listing order.
struct Before {
    bool operator()(const Node *a, const Node *b) const;
};
using Queue = std::set<Node *, Before>;

// What reading one folder gives, before it joins the tree.
struct Read {
    Listed listed;
    std::vector<std::unique_ptr<Node>> children;
    std::size_t childBytes = 0;
};

struct Node {
    // Fixed from its making on.
    Node *parent = nullptr;
    Tree *tree = nullptr;
    std::size_t slot = 0; // its place among its parent's subfolders
    std::size_t depth = 0;
    std::size_t pathLength = 0; // of its folder path, final separator included
    std::string name;

    std::atomic<Stage> stage{Stage::Pending};
    // A helper holds it (from before its claim until it is done with it): the
    // walk must not free it.
    std::atomic<bool> helperHolds{false};
    std::atomic<bool> queued{false}; // changed under the mutex
    // Under the mutex:
    Queue::iterator where;  // while queued
    bool dropped = false;   // given up while a helper holds it: the helper frees it
    bool detached = false;  // its parent went while the walk still had it
    FolderRef parentFolder; // until it has been read, and no helper can come for it

    // What a helper read, its subfolders queued already: written by the
    // helper (mutex held) before it stores Ready, the walk's from then on.
    std::unique_ptr<Read> ready;
    // The walk's:
    std::vector<std::unique_ptr<Node>> children; // one slot per subfolder; null once gone
    std::size_t passed = 0;                      // slots below this one are behind the walk
    std::size_t queuedUpTo = 0;                  // children below this slot have joined the queue
    std::size_t held = 0; // bytes counted for its listing and its children's nodes
};

struct Tree {
    // A tree started later lies inside the folder the walk is in, so all of
    // it comes before what is left of earlier trees.
    std::uint64_t order = 0;
    SearchOptions options;
    std::unique_ptr<Node> root;
};

bool Before::operator()(const Node *a, const Node *b) const {
    if (a->tree != b->tree)
        return a->tree->order > b->tree->order;
    const Node *x = a, *y = b;
    while (x->depth > y->depth)
        x = x->parent;
    while (y->depth > x->depth)
        y = y->parent;
    if (x == y)
        return a->depth < b->depth;
    while (x->parent != y->parent) {
        x = x->parent;
        y = y->parent;
    }
    // Two readings of one folder (a helper's that the walk overtook, and the
    // walk's own) are queued side by side for a moment: set apart by address.
    if (x->slot != y->slot)
        return x->slot < y->slot;
    return std::less<const Node *>()(x, y);
}

// What a reader needs of a node, copied while the mutex is held: the node's
// tree, and its parent's folder, may go while it reads.
struct Job {
    FolderRef parent;
    std::string name;
    SearchOptions options;
};

// What the walk is done with.  Helpers made most of it, so helpers free it:
// a free() on the walk's thread of memory from a helper's malloc arena would
// wait for that arena's lock whenever the helper is in malloc, and a helper
// the system has put aside there would hold up the walk.
struct Garbage {
    std::vector<std::unique_ptr<Node>> nodes;
    std::vector<std::unique_ptr<Read>> reads;
    std::vector<Listing> listings;
    std::vector<FolderRef> folders;

    bool empty() const {
        return nodes.empty() && reads.empty() && listings.empty() && folders.empty();
    }
    std::size_t size() const {
        return nodes.size() + reads.size() + listings.size() + folders.size();
    }
    void takeFrom(Garbage &other) {
        for (auto &n : other.nodes)
            nodes.push_back(std::move(n));
        for (auto &r : other.reads)
            reads.push_back(std::move(r));
        for (auto &l : other.listings)
            listings.push_back(std::move(l));
        for (auto &f : other.folders)
            folders.push_back(std::move(f));
        other = Garbage();
    }
};

} // namespace ahead

using namespace ahead;

struct Lookahead::State {
    LookaheadLimits limits;
    std::mutex mutex;
    std::condition_variable work; // idle helpers wait here
    Queue queue;                  // pending folders, the walk's next first
    std::list<Tree> trees;
    std::vector<std::unique_ptr<Node>> loose; // dropped while read, or detached
    std::vector<Node *> backlog;              // the walk's: nodes with children not queued yet
    std::vector<Node *> deferred; // the walk's: nodes to let go of once the mutex is free
    std::vector<Node *> stale;    // the walk's: nodes it took while they were queued
    Garbage walkGarbage;          // the walk's, until it finds the mutex free
    Garbage garbage;              // for the helpers to free
    std::uint64_t treesMade = 0;
    bool stopping = false;
    bool started = false;
    std::vector<std::thread> helpers;
    Statistics stats;

    // Read without the mutex by the walk, to decide whether to wake helpers.
    std::atomic<std::size_t> ahead{0};   // being read by helpers or read, not taken
    std::atomic<std::size_t> reading{0}; // by helpers
    std::atomic<std::size_t> bytes{0};
    std::atomic<std::size_t> pending{0}; // in the queue
    std::atomic<std::size_t> listedByWalk{0}, overtaken{0}, mostBytes{0};
    std::atomic<int> idle{0};
    std::atomic<bool> waking{false}; // an idle helper has been woken and is not up yet
    int calls = 0;                   // helpers called up to read beside the others
    int spareCores = 1;              // cores besides the walk's
    std::atomic<int> descriptors{0};

    std::size_t lowFolders() const { return limits.folders - limits.folders / 4; }
    std::size_t lowBytes() const { return limits.bytes - limits.bytes / 4; }

    // Whether a helper may read one more folder ahead; mutex held.
    bool canRead() const {
        if (queue.empty() || ahead >= limits.folders || descriptors >= limits.descriptors)
            return false;
        // At least one folder may always be read ahead, however small the budget.
        return ahead == 0 || bytes + reading * LookaheadLimits::PartBytes < limits.bytes;
    }
    // Whether an idle helper should start: only once the walk has used up a
    // quarter of what is ahead, so that helpers read in runs, not one folder
    // each time the walk takes one.
    bool hungry() const {
        return (canRead() && (ahead == 0 || (ahead <= lowFolders() && bytes <= lowBytes()))) ||
               garbage.size() >= GarbageRun;
    }
    static constexpr std::size_t GarbageRun = 256; // a helper frees garbage in runs this long
    // Whether a helper that was called up to read beside the others may.
    bool called() const { return calls > 0 && canRead(); }
    // Wakes an idle helper when there is something to do; mutex held.  One
    // helper reads a run on its own while its folders come from the cache
    // (so that the walk keeps a core to itself); each that has to wait for
    // the disk calls up one more (see helper()), so that many folders are
    // read at once when the disk can serve them.
    void wake() {
        if (idle > 0 && !waking && hungry()) {
            waking = true; // until a helper is up again: no need to wake twice
            work.notify_one();
        }
    }
    // The same from the walk, which tries the mutex only when helpers sleep
    // while there is room and work, or when it has left enough for the mutex
    // (subfolders to queue at once; the rest in runs).  (Helpers count
    // themselves idle before they test for work, so no wakeup is lost.)
    void wakeFromWalk() {
        if (!backlog.empty() || deferred.size() + stale.size() >= 16 ||
            walkGarbage.size() >= GarbageRun ||
            (idle > 0 && !waking && pending > 0 && ahead <= lowFolders() && bytes <= lowBytes() &&
             descriptors < limits.descriptors)) {
            std::unique_lock lock(mutex, std::try_to_lock);
            if (lock)
                catchUp();
        }
    }
    // What the walk left for the mutex: nodes it is done with go, subfolders
    // it read itself join the queue; then idle helpers are woken.  Mutex
    // held, on the walk's thread.
    void catchUp() {
        for (Node *n : stale) { // out of the queue, so their parents' folders can close
            unqueue(n);
            walkGarbage.folders.push_back(std::move(n->parentFolder));
        }
        stale.clear();
        for (Node *n : deferred) // in the order the walk let go of them: children first
            releaseHeld(n);
        deferred.clear();
        for (Node *n : backlog)
            enqueueChildren(n);
        backlog.clear();
        garbage.takeFrom(walkGarbage);
        wake();
    }
    void enqueueChildren(Node *n) {
        for (; n->queuedUpTo < n->children.size(); ++n->queuedUpTo)
            if (Node *child = n->children[n->queuedUpTo].get();
                child && child->stage.load(std::memory_order_relaxed) == Stage::Pending)
                enqueue(child); // not one the walk has taken meanwhile
    }

    void enqueue(Node *n) {
        n->where = queue.insert(n).first;
        n->queued.store(true, std::memory_order_relaxed);
        ++pending;
    }
    // By position, without comparing: n's parent may be gone already.
    void unqueue(Node *n) {
        if (n->queued.load(std::memory_order_relaxed)) {
            queue.erase(n->where);
            n->queued.store(false, std::memory_order_release);
            --pending;
        }
    }
    void count(std::size_t n) {
        const std::size_t now = bytes += n;
        std::size_t most = mostBytes.load(std::memory_order_relaxed);
        while (now > most && !mostBytes.compare_exchange_weak(most, now))
            ;
    }

    static Job jobFor(const Node *n) { return Job{n->parentFolder, n->name, n->tree->options}; }

    // The nodes of the subfolders in listing, in slots from firstSlot on; none
    // where the path would be too long.  Reads only what is fixed in parent.
    static void makeChildren(const Node *parent, const Listing &listing, std::size_t firstSlot,
                             const FolderRef &folder, Read &into) {
        const std::size_t limit = PathLimit();
        listing.ForEachSubfolder([&](std::string_view name) {
            std::unique_ptr<Node> child;
            const std::size_t length = parent->pathLength + name.size() + 1;
            if (length < limit) {
                child = std::make_unique<Node>();
                child->parent = const_cast<Node *>(parent);
                child->tree = parent->tree;
                child->slot = firstSlot + into.children.size();
                child->depth = parent->depth + 1;
                child->pathLength = length;
                child->name.assign(name);
                child->parentFolder = folder;
                into.childBytes += sizeof(Node) + child->name.capacity();
            }
            into.children.push_back(std::move(child));
        });
    }

    // Reads node n; no mutex held.  A helper passes its descriptor count.
    static Read read(const Node *n, const Job &job, std::atomic<int> *helperDescriptors) {
        Read r;
        try {
            r.listed = ListChild(*job.parent, job.name, job.options, helperDescriptors);
            if (r.listed.outcome == Outcome::Listed)
                makeChildren(n, r.listed.listing, 0, r.listed.folder, r);
        } catch (...) { // out of memory
            r = Read();
            r.listed.outcome = helperDescriptors ? Outcome::Retry : Outcome::Failed;
            r.listed.error = ENOMEM;
        }
        return r;
    }

    // Hangs what the walk read itself under n.  Its pending subfolders and
    // the rest of its listing keep the folder open as long as they need it.
    // The subfolders join the queue when the walk finds the mutex free.
    void attachFromWalk(Node *n, Read &r) {
        ++listedByWalk;
        for (auto &child : r.children)
            n->children.push_back(std::move(child));
        n->held += r.childBytes;
        count(r.childBytes);
        r.listed.folder.reset();
        if (n->queuedUpTo < n->children.size() &&
            std::find(backlog.begin(), backlog.end(), n) == backlog.end())
            backlog.push_back(n);
        std::unique_lock lock(mutex, std::try_to_lock);
        if (!lock && !n->parent)
            lock.lock(); // a drive's root: its subfolders go to the helpers at once
        if (lock)
            catchUp();
    }

    // A helper has read n; mutex held.  A helper that hands over its own
    // reading goes on by itself: only the walk wakes others (see wake()).
    void finish(Node *n, Read &&r) {
        --reading;
        if (n->dropped) {
            if (n->stage.load(std::memory_order_relaxed) != Stage::Taken)
                --ahead;
            const auto at = std::find_if(loose.begin(), loose.end(),
                                         [n](const auto &p) { return p.get() == n; });
            loose.erase(at); // frees n; r closes what it opened
            return;
        }
        // Queued before the hand-over, so that helpers read on below n while
        // the walk has not come yet.
        r.listed.folder.reset();
        for (auto &child : r.children)
            if (child)
                enqueue(child.get());
        count(r.childBytes + r.listed.listing.Bytes());
        const bool listed = r.listed.outcome == Outcome::Listed;
        n->ready = std::make_unique<Read>(std::move(r));
        Stage reading = Stage::Reading;
        if (n->stage.compare_exchange_strong(reading, Stage::Ready, std::memory_order_acq_rel)) {
            // The walk's from here on: n->ready is not touched again.
            if (listed)
                ++stats.listedAhead;
        } else { // the walk read it meanwhile: what this helper read goes
            for (auto &child : n->ready->children)
                if (child)
                    unqueue(child.get());
            bytes -= n->ready->childBytes + n->ready->listed.listing.Bytes();
            n->ready.reset();
        }
        n->helperHolds.store(false, std::memory_order_release);
    }

    // Takes node owner out of the tree with everything below it; mutex held,
    // on the walk's thread.  A node a helper holds is left to the helper, one
    // the walk has to its search.
    void drop(std::unique_ptr<Node> &owner) {
        std::vector<std::unique_ptr<Node>> stack;
        stack.push_back(std::move(owner));
        while (!stack.empty()) {
            std::unique_ptr<Node> n = std::move(stack.back());
            stack.pop_back();
            unqueue(n.get());
            for (auto &child : n->children)
                if (child)
                    stack.push_back(std::move(child));
            n->children.clear();
            bytes -= n->held;
            n->held = 0;
            const Stage stage = n->stage.load(std::memory_order_acquire);
            if (stage == Stage::Ready) {
                --ahead;
                for (auto &child : n->ready->children)
                    if (child)
                        stack.push_back(std::move(child));
                bytes -= n->ready->childBytes + n->ready->listed.listing.Bytes();
                walkGarbage.reads.push_back(std::move(n->ready));
            }
            if (stage == Stage::Taken) {
                n->detached = true;
                n->parent = nullptr;
                loose.push_back(std::move(n));
            } else if (n->helperHolds.load(std::memory_order_acquire)) {
                n->dropped = true;
                loose.push_back(std::move(n));
            } else {
                walkGarbage.nodes.push_back(std::move(n));
            }
        }
    }

    // Lets go of n, which the walk is done with, and of everything below it;
    // mutex held, on the walk's thread.
    void releaseHeld(Node *n) {
        unqueue(n);
        for (auto &child : n->children)
            if (child)
                drop(child);
        n->children.clear();
        bytes -= n->held;
        n->held = 0;
        std::unique_ptr<Node> gone;
        if (n->detached) {
            const auto at = std::find_if(loose.begin(), loose.end(),
                                         [n](const auto &p) { return p.get() == n; });
            if (at != loose.end()) {
                gone = std::move(*at);
                loose.erase(at);
            }
        } else if (!n->parent) {
            trees.remove_if([n](const Tree &t) { return t.root.get() == n; });
        } else {
            gone = std::move(n->parent->children[n->slot]);
        }
        if (gone && gone->helperHolds.load(std::memory_order_acquire)) {
            gone->dropped = true; // read by the walk, its helper not done yet: it frees it
            loose.push_back(std::move(gone));
        } else if (gone) {
            walkGarbage.nodes.push_back(std::move(gone));
        }
    }

    void helper() {
        YieldToWalk();
        // Where the host does not tell what came from the disk: a folder that
        // took this long did.
        constexpr auto fromDisk = std::chrono::microseconds(200);
        std::unique_lock lock(mutex);
        for (;;) {
            if (!canRead()) {
                ++idle;
                while (!stopping && !hungry() && !called()) {
                    work.wait(lock);
                    waking = false; // up, if only to sleep again: the next change wakes anew
                }
                --idle;
                waking = false;
                if (calls > 0)
                    --calls;
            }
            if (stopping)
                return;
            if (!garbage.empty()) {
                Garbage mine = std::move(garbage);
                garbage = Garbage();
                lock.unlock();
                mine = Garbage(); // freed here, not on the walk's thread
                lock.lock();
                continue;
            }
            if (!canRead())
                continue;
            // Held before it leaves the queue and is claimed: the walk, which
            // may take it at any moment, then leaves its freeing to this helper.
            Node *n = *queue.begin();
            n->helperHolds.store(true);
            unqueue(n);
            const Job job = jobFor(n);
            Stage pending = Stage::Pending;
            if (!n->stage.compare_exchange_strong(pending, Stage::Reading,
                                                  std::memory_order_acq_rel)) {
                n->helperHolds.store(false, std::memory_order_release); // the walk has it
                continue;
            }
            ++ahead;
            ++reading;
            stats.mostAhead = std::max(stats.mostAhead, ahead.load());
            lock.unlock();
            const auto began = std::chrono::steady_clock::now();
            const std::int64_t readBefore = DiskReads();
            Read r = read(n, job, &descriptors);
            const std::int64_t readAfter = DiskReads();
            const bool slow = readBefore >= 0 && readAfter >= 0
                                  ? readAfter > readBefore
                                  : std::chrono::steady_clock::now() - began > fromDisk;
            lock.lock();
            stats.mostDescriptors = std::max(stats.mostDescriptors, descriptors.load());
            finish(n, std::move(r));
            // One more helper when this one waited for the disk, or when the
            // walk is close behind and a core is free for it.
            const bool closeBehind =
                ahead < limits.folders / 8 && reading + 1 < std::size_t(spareCores);
            if ((slow || closeBehind) && idle > calls && canRead()) {
                ++calls;
                work.notify_one();
            }
        }
    }

    void start() {
        started = true;
        // The walk keeps one core; helpers reading from the cache use the rest.
        spareCores = std::max(1, int(std::thread::hardware_concurrency()) - 1);
        for (int i = 0; i < limits.helpers; ++i) {
            try {
                helpers.emplace_back([this] { helper(); });
            } catch (const std::system_error &) {
                break; // fewer helpers; the walk lists the rest itself
            }
        }
        stats.helpersStarted = int(helpers.size());
    }
};

struct LookaheadAccess {
    static Lookahead::State &of(Lookahead &lookahead) { return *lookahead.state_; }
};

Lookahead::Lookahead(const LookaheadLimits &limits) : state_(std::make_unique<State>()) {
    state_->limits = limits;
    state_->limits.helpers = std::clamp(limits.helpers, 0, 64);
}

Lookahead::~Lookahead() {
    State &s = *state_;
    {
        std::lock_guard lock(s.mutex);
        s.stopping = true;
    }
    s.work.notify_all();
    for (std::thread &t : s.helpers)
        t.join();
    // Whatever a search left open goes too, without recursion.
    std::lock_guard lock(s.mutex);
    s.backlog.clear();
    s.stale.clear();
    for (Node *n : s.deferred) // let go of by the walk already
        s.releaseHeld(n);
    s.deferred.clear();
    for (Tree &t : s.trees)
        if (t.root)
            s.drop(t.root);
    s.trees.clear();
    s.loose.clear();
}

Lookahead::Statistics Lookahead::Stats() const {
    const State &s = *state_;
    std::lock_guard lock(state_->mutex);
    Statistics stats = s.stats;
    stats.listedByWalk = s.listedByWalk;
    stats.overtaken = s.overtaken;
    stats.mostBytes = s.mostBytes;
    return stats;
}

namespace ahead {
Node *Child(Node *node, std::size_t slot) {
    return node && slot < node->children.size() ? node->children[slot].get() : nullptr;
}

Listed Take(Lookahead &lookahead, Node *n) {
    Lookahead::State &s = LookaheadAccess::of(lookahead);
    std::unique_ptr<Read> ready;
    for (bool decided = false; !decided;) {
        Stage stage = n->stage.load(std::memory_order_acquire);
        switch (stage) {
        case Stage::Ready: // read by a helper: the common path
            n->stage.store(Stage::Taken, std::memory_order_relaxed);
            --s.ahead;
            ready = std::move(n->ready);
            decided = true;
            break;
        case Stage::Pending: // no helper has come yet (it stays queued till one does)
        case Stage::Reading: // a helper is at it: the walk does not wait
            decided =
                n->stage.compare_exchange_strong(stage, Stage::Taken, std::memory_order_acq_rel);
            if (decided && stage == Stage::Reading) {
                --s.ahead;
                ++s.overtaken;
            }
            break;
        case Stage::Taken: // never: Child() hands each node to one search
            decided = true;
            break;
        }
    }
    Listed listed;
    if (ready && ready->listed.outcome == Outcome::Listed) {
        // Its subfolders are queued already.
        for (auto &child : ready->children)
            n->children.push_back(std::move(child));
        n->queuedUpTo = n->children.size();
        n->held += ready->childBytes;
        s.bytes -= ready->listed.listing.Bytes();                    // the walk's own from now on
        s.walkGarbage.folders.push_back(std::move(n->parentFolder)); // no helper reads it now
        listed = std::move(ready->listed);
        s.walkGarbage.reads.push_back(std::move(ready));
    } else {
        if (ready) { // a helper could not read it
            s.bytes -= ready->childBytes + ready->listed.listing.Bytes();
            s.walkGarbage.reads.push_back(std::move(ready));
        }
        Read r = Lookahead::State::read(n, Lookahead::State::jobFor(n), nullptr);
        // Its parent's folder can close once no helper can come for it: it
        // is out of the queue (else once the walk has taken it out), and no
        // helper holds it.
        if (n->queued.load(std::memory_order_acquire))
            s.stale.push_back(n);
        else if (!n->helperHolds.load(std::memory_order_acquire))
            s.walkGarbage.folders.push_back(std::move(n->parentFolder));
        s.attachFromWalk(n, r);
        listed = std::move(r.listed);
    }
    if (Node *parent = n->parent) {
        // Subfolders the walk passed without entering them (it never does
        // while it scans): whatever was read for them goes.
        if (std::any_of(parent->children.begin() + std::ptrdiff_t(parent->passed),
                        parent->children.begin() + std::ptrdiff_t(n->slot),
                        [](const auto &c) { return c != nullptr; })) {
            std::lock_guard lock(s.mutex);
            for (std::size_t i = parent->passed; i < n->slot; ++i)
                if (parent->children[i])
                    s.drop(parent->children[i]);
        }
        parent->passed = n->slot + 1;
    }
    s.wakeFromWalk();
    return listed;
}

Listed Adopt(Lookahead &lookahead, const FolderRef &folder, std::size_t pathLength,
             const SearchOptions &options, Node **node) {
    Lookahead::State &s = LookaheadAccess::of(lookahead);
    {
        std::lock_guard lock(s.mutex);
        if (!s.started)
            s.start();
        Tree &t = s.trees.emplace_back();
        t.order = ++s.treesMade;
        t.options = options;
        t.options.within = nullptr;
        t.options.lookahead = nullptr;
        t.root = std::make_unique<Node>();
        *node = t.root.get();
        (*node)->tree = &t;
        (*node)->pathLength = pathLength;
        (*node)->stage.store(Stage::Taken, std::memory_order_relaxed);
    }
    Read r;
    r.listed = ListOpened(folder);
    if (r.listed.outcome == Outcome::Listed)
        Lookahead::State::makeChildren(*node, r.listed.listing, 0, r.listed.folder, r);
    s.attachFromWalk(*node, r);
    return std::move(r.listed);
}

void More(Lookahead &lookahead, Node *n, Listing &listing) {
    Lookahead::State &s = LookaheadAccess::of(lookahead);
    const FolderRef folder = ListMore(listing);
    Read r;
    if (!n->detached)
        Lookahead::State::makeChildren(n, listing, n->children.size(), folder, r);
    --s.listedByWalk; // a part, not a folder
    s.attachFromWalk(n, r);
}

void Release(Lookahead &lookahead, Node *n, Listing &&listing) {
    Lookahead::State &s = LookaheadAccess::of(lookahead);
    s.walkGarbage.listings.push_back(std::move(listing)); // a helper's, as a rule
    s.backlog.erase(std::remove(s.backlog.begin(), s.backlog.end(), n), s.backlog.end());
    s.stale.erase(std::remove(s.stale.begin(), s.stale.end(), n), s.stale.end());
    // The common path, without the mutex: nothing below n is left, it is not
    // queued, and no helper holds it, so no other thread can reach it.
    if (n->parent && !n->detached && !n->queued.load(std::memory_order_acquire) &&
        !n->helperHolds.load(std::memory_order_acquire) &&
        std::all_of(n->children.begin(), n->children.end(),
                    [](const auto &c) { return c == nullptr; })) {
        s.bytes -= n->held;
        s.walkGarbage.nodes.push_back(std::move(n->parent->children[n->slot]));
        s.wakeFromWalk();
        return;
    }
    // Else when the mutex is free: now, or the next time the walk finds it
    // so (n stays in the tree meanwhile, and so does its parent).
    s.deferred.push_back(n);
    std::unique_lock lock(s.mutex, std::try_to_lock);
    if (lock || !n->parent) {
        if (!lock)
            lock.lock(); // a tree's root: once a drive
        s.catchUp();
    }
}

} // namespace ahead

} // namespace host
