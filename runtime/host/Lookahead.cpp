// The folder tree of a Lookahead: which folder is read when, and by whom.
//
// Every folder the walk will enter is a node.  A folder's subfolders become
// nodes when its listing is read; a helper takes the pending node that the
// walk will reach first (depth first, in listing order), opens it through
// its parent's open folder and reads its first part.  The walk takes each
// node's listing when it gets there.  When the walk is done with a folder,
// everything still held below it goes; so does every pending sibling the
// walk has passed.  One mutex guards the tree; nobody holds it while the
// host is asked for anything but closing.
#include "runtime/host/Lookahead.h"
#include "runtime/host/LookaheadTree.h"

#include <algorithm>
#include <cerrno>
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
    Reading, // a helper (or the walk) is reading it
    Ready,   // read, waiting for the walk
    Taken,   // the walk has it
};

struct Tree;
struct Node;

// The walk's order: depth first, each folder's subfolders in listing order.
struct Before {
    bool operator()(const Node *a, const Node *b) const;
};
using Queue = std::set<Node *, Before>;

struct Node {
    Node *parent = nullptr;
    Tree *tree = nullptr;
    std::size_t slot = 0; // its place among its parent's subfolders
    std::size_t depth = 0;
    std::size_t pathLength = 0; // of its folder path, final separator included
    std::string name;
    Stage stage = Stage::Pending;
    bool queued = false;
    Queue::iterator where;                       // while queued
    bool dropped = false;                        // given up while being read: its reader frees it
    bool detached = false;                       // its parent went while the walk still had it
    bool byHelper = false;                       // Ready: a helper read it
    FolderRef parentFolder;                      // until it has been opened
    Listed listed;                               // Ready: what was read
    std::vector<std::unique_ptr<Node>> children; // one slot per subfolder; null once gone
    std::size_t passed = 0;                      // slots below this one are behind the walk
    std::size_t held = 0;                        // bytes counted for it and its children's nodes
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
    return x->slot < y->slot;
}

// What reading one folder gives, before it joins the tree.
struct Read {
    Listed listed;
    std::vector<std::unique_ptr<Node>> children;
    std::size_t childBytes = 0;
};

} // namespace ahead

using namespace ahead;

struct Lookahead::State {
    LookaheadLimits limits;
    std::mutex mutex;
    std::condition_variable work; // helpers wait here for a folder to read
    std::condition_variable done; // the walk waits here for a helper's folder
    Queue queue;                  // pending folders, the walk's next first
    std::list<Tree> trees;
    std::vector<std::unique_ptr<Node>> loose; // dropped while read, or detached
    std::size_t ahead = 0;                    // being read or read, not taken yet
    std::size_t reading = 0;                  // by helpers
    std::size_t bytes = 0;
    std::atomic<int> descriptors{0};
    std::uint64_t treesMade = 0;
    bool stopping = false;
    bool started = false;
    int idle = 0;
    std::vector<std::thread> helpers;
    Statistics stats;

    // Whether a helper may read one more folder ahead.
    bool canRead() const {
        if (queue.empty() || ahead >= limits.folders ||
            descriptors.load(std::memory_order_relaxed) >= limits.descriptors)
            return false;
        // At least one folder may always be read ahead, however small the budget.
        return ahead == 0 || bytes + reading * LookaheadLimits::PartBytes < limits.bytes;
    }
    // Whether an idle helper should start: only once the walk has used up a
    // quarter of what is ahead, so that helpers read in runs, not one folder
    // each time the walk takes one.
    bool hungry() const {
        return canRead() && (ahead == 0 || (ahead <= limits.folders - limits.folders / 4 &&
                                            bytes <= limits.bytes - limits.bytes / 4));
    }

    void enqueue(Node *n) {
        n->where = queue.insert(n).first;
        n->queued = true;
    }
    // By position, without comparing: n's parent may be gone already.
    void unqueue(Node *n) {
        if (n->queued) {
            queue.erase(n->where);
            n->queued = false;
        }
    }
    void count(std::size_t n) {
        bytes += n;
        stats.mostBytes = std::max(stats.mostBytes, bytes);
    }
    void wake() {
        if (idle > 0 && hungry())
            work.notify_all();
    }

    // The nodes of the subfolders listed in listing from the byte offset from
    // on, in slots from firstSlot; those whose path would be too long get none.
    static void makeChildren(const Node *parent, const Listing &listing, std::size_t from,
                             const FolderRef &folder, Read &into) {
        const std::size_t limit = PathLimit();
        listing.ForEachSubfolder(from, [&](std::string_view name) {
            std::unique_ptr<Node> child;
            const std::size_t length = parent->pathLength + name.size() + 1;
            if (length < limit) {
                child = std::make_unique<Node>();
                child->parent = const_cast<Node *>(parent);
                child->tree = parent->tree;
                child->slot = parent->children.size() + into.children.size();
                child->depth = parent->depth + 1;
                child->pathLength = length;
                child->name.assign(name);
                child->parentFolder = folder;
                into.childBytes += sizeof(Node) + child->name.capacity();
            }
            into.children.push_back(std::move(child));
        });
    }

    // Reads node n with its tree's options (copied while the lock was held:
    // the tree may go meanwhile); no lock held.  A helper passes its
    // descriptor count.
    Read read(Node *n, const SearchOptions &options, std::atomic<int> *helperDescriptors) {
        Read r;
        try {
            r.listed = ListChild(*n->parentFolder, n->name, options, helperDescriptors);
            if (r.listed.outcome == Outcome::Listed)
                makeChildren(n, r.listed.listing, 0, r.listed.folder, r);
        } catch (...) { // out of memory
            r = Read();
            r.listed.outcome = helperDescriptors ? Outcome::Retry : Outcome::Failed;
            r.listed.error = ENOMEM;
        }
        return r;
    }

    // Hangs what was read under n, whose children are still empty; lock held.
    void attach(Node *n, Read &r) {
        for (auto &child : r.children) {
            if (child)
                enqueue(child.get());
            n->children.push_back(std::move(child));
        }
        n->held += r.childBytes;
        count(r.childBytes);
        if (!r.children.empty())
            wake();
    }

    // n has been read; lock held.
    void finish(Node *n, Read &&r, bool byHelper) {
        if (n->dropped) {
            --ahead;
            const auto at = std::find_if(loose.begin(), loose.end(),
                                         [n](const auto &p) { return p.get() == n; });
            loose.erase(at); // frees n; r closes what it opened
            wake();
            return;
        }
        if (r.listed.outcome != Outcome::Retry)
            n->parentFolder.reset();
        attach(n, r);
        // Its pending subfolders and the rest of its listing keep the folder
        // open as long as they need it.
        r.listed.folder.reset();
        n->held += r.listed.listing.Bytes();
        count(r.listed.listing.Bytes());
        n->listed = std::move(r.listed);
        n->byHelper = byHelper;
        n->stage = Stage::Ready;
        if (byHelper && n->listed.outcome == Outcome::Listed)
            ++stats.listedAhead;
        done.notify_all();
    }

    // Takes node owner out of the tree with everything below it; lock held.
    // A node being read is left to its reader, one the walk has to its search.
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
            switch (n->stage) {
            case Stage::Pending:
                break;
            case Stage::Ready:
                --ahead;
                break;
            case Stage::Reading:
                n->dropped = true;
                loose.push_back(std::move(n));
                break;
            case Stage::Taken:
                n->detached = true;
                n->parent = nullptr;
                loose.push_back(std::move(n));
                break;
            }
        }
    }

    void helper() {
        std::unique_lock lock(mutex);
        for (;;) {
            if (!canRead()) {
                ++idle;
                work.wait(lock, [this] { return stopping || hungry(); });
                --idle;
            }
            if (stopping)
                return;
            Node *n = *queue.begin();
            unqueue(n);
            n->stage = Stage::Reading;
            ++ahead;
            ++reading;
            stats.mostAhead = std::max(stats.mostAhead, ahead);
            const SearchOptions options = n->tree->options;
            lock.unlock();
            Read r = read(n, options, &descriptors);
            lock.lock();
            --reading;
            stats.mostDescriptors = std::max(stats.mostDescriptors, descriptors.load());
            finish(n, std::move(r), true);
        }
    }

    void start() {
        started = true;
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
    for (Tree &t : s.trees)
        if (t.root)
            s.drop(t.root);
    s.trees.clear();
    s.loose.clear();
}

Lookahead::Statistics Lookahead::Stats() const {
    std::lock_guard lock(state_->mutex);
    return state_->stats;
}

namespace ahead {

Node *Child(Node *node, std::size_t slot) {
    return node && slot < node->children.size() ? node->children[slot].get() : nullptr;
}

Listed Take(Lookahead &lookahead, Node *n) {
    Lookahead::State &s = LookaheadAccess::of(lookahead);
    std::unique_lock lock(s.mutex);
    if (n->stage == Stage::Reading) {
        ++s.stats.waited;
        s.done.wait(lock, [n] { return n->stage == Stage::Ready; });
    }
    // Not read yet, or a helper could not: read here.
    if (n->stage == Stage::Pending || n->listed.outcome == Outcome::Retry) {
        if (n->stage == Stage::Pending) {
            s.unqueue(n);
            ++s.ahead;
        } else {
            s.bytes -= n->held;
            n->held = 0;
        }
        n->stage = Stage::Reading;
        const SearchOptions options = n->tree->options;
        lock.unlock();
        Read r = s.read(n, options, nullptr);
        lock.lock();
        ++s.stats.listedByWalk;
        s.finish(n, std::move(r), false);
    }
    n->stage = Stage::Taken;
    --s.ahead;
    const std::size_t listingBytes = n->listed.listing.Bytes();
    s.bytes -= listingBytes; // the walk's own from now on
    n->held -= listingBytes;
    if (Node *parent = n->parent) {
        for (std::size_t i = parent->passed; i < n->slot; ++i)
            if (parent->children[i])
                s.drop(parent->children[i]);
        parent->passed = n->slot + 1;
    }
    s.wake();
    return std::move(n->listed);
}

Listed Adopt(Lookahead &lookahead, const FolderRef &folder, std::size_t pathLength,
             const SearchOptions &options, Node **node) {
    Lookahead::State &s = LookaheadAccess::of(lookahead);
    std::unique_lock lock(s.mutex);
    if (!s.started)
        s.start();
    Tree &t = s.trees.emplace_back();
    t.order = ++s.treesMade;
    t.options = options;
    t.options.within = nullptr;
    t.options.lookahead = nullptr;
    t.root = std::make_unique<Node>();
    Node *n = t.root.get();
    n->tree = &t;
    n->pathLength = pathLength;
    n->stage = Stage::Taken;
    *node = n;
    lock.unlock();

    Read r;
    r.listed = ListOpened(folder);
    if (r.listed.outcome == Outcome::Listed)
        Lookahead::State::makeChildren(n, r.listed.listing, 0, r.listed.folder, r);
    lock.lock();
    ++s.stats.listedByWalk;
    s.attach(n, r);
    r.listed.folder.reset();
    return std::move(r.listed);
}

void More(Lookahead &lookahead, Node *n, Listing &listing) {
    Lookahead::State &s = LookaheadAccess::of(lookahead);
    const FolderRef folder = ListMore(listing);
    Read r;
    if (!n->detached)
        Lookahead::State::makeChildren(n, listing, 0, folder, r);
    std::lock_guard lock(s.mutex);
    s.attach(n, r);
}

void Release(Lookahead &lookahead, Node *n) {
    Lookahead::State &s = LookaheadAccess::of(lookahead);
    std::lock_guard lock(s.mutex);
    for (auto &child : n->children)
        if (child)
            s.drop(child);
    n->children.clear();
    s.bytes -= n->held;
    n->held = 0;
    if (n->detached) {
        const auto at = std::find_if(s.loose.begin(), s.loose.end(),
                                     [n](const auto &p) { return p.get() == n; });
        if (at != s.loose.end())
            s.loose.erase(at);
    } else if (!n->parent) {
        s.trees.remove_if([n](const Tree &t) { return t.root.get() == n; });
    } else {
        n->parent->children[n->slot].reset();
    }
    s.wake();
}

} // namespace ahead

} // namespace host
