// The folders of a walk, read on helper threads in the walk's order.
//
// Each folder is a job keyed by its place in the walk: the slots of the
// subfolders that lead to it from its drive's root (the n-th subfolder of a
// folder has slot n), so that comparing keys as sequences is comparing the
// walk's order.  Listing a folder makes a pending job for each of its
// subfolders, which the folder's job owns until the walk takes it, and then
// the walk's cursor over the folder.  Helpers take first the jobs the walk
// asks for, then, within the bounds, the pending job the walk will reach
// first.  The walk takes a job when it gets to its folder, waiting with its
// events running if it is not done yet; when it is done with a folder,
// everything below it that it has not taken goes.  One mutex guards the
// jobs; nobody holds it while the host is asked for anything but closing.
// The walk takes a job that is done without it, unless the read-ahead has
// room to refill: on two cores, the helpers that held it made the walk wait
// for them a third of a warm scan.  Helpers share the state with the walk,
// so that one still in a system call when the walk ends finishes on its own.
#include "host/Lookahead.h"
#include "host/Listing.h"
#include "host/Text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

namespace host {

using namespace ahead;

namespace {

std::atomic<int> alive{0};
std::atomic<void (*)(const char *)> openHook{nullptr};
constexpr auto Pause = std::chrono::milliseconds(10);

using Key = std::vector<std::uint32_t>;

// Waits until ready(), calling wait every Pause, sleeping on cv meanwhile, or,
// when wait waits for events itself (sleep false), over and over; and onPause
// every Pause.  False when wait gave up first.  lock is released while wait
// runs.
template <class Ready, class OnPause>
bool waitWithEvents(std::unique_lock<std::mutex> &lock, std::condition_variable &cv, Ready ready,
                    const Lookahead::Wait &wait, bool sleep, OnPause onPause) {
    auto pause = std::chrono::steady_clock::now() + Pause;
    while (sleep ? !cv.wait_for(lock, Pause, ready) : !ready()) {
        if (sleep || std::chrono::steady_clock::now() >= pause) {
            onPause();
            pause = std::chrono::steady_clock::now() + Pause;
        }
        lock.unlock();
        const bool goOn = !wait || wait();
        lock.lock();
        if (!goOn)
            return ready();
    }
    return true;
}

enum class Stage { Pending, Reading, Done };

// One folder to read (or the next part of one), and what reading it gave.
struct Job {
    Key key;
    FolderRef parent;       // opened through it; by its path when null
    std::string path, name; // with its final separator; its name in parent
    VolumeId volume = 0;
    bool more = false;           // the next part of folder, not a first reading
    std::uint32_t firstSlot = 0; // the slot of the first subfolder read
    // Changed under the mutex; the walk also reads it without, and a job that
    // is done is the walk's alone.
    std::atomic<Stage> stage{Stage::Pending};
    // Under the mutex:
    bool dropped = false;  // nobody will take it
    bool asked = false;    // the walk has asked for it
    bool awaited = false;  // the walk waits for it
    bool counted = false;  // read ahead: counts against the bounds
    bool reserved = false; // read ahead and in progress: holds a descriptor's place
    // Written by the helper that reads it, the walk's once it is done.  Once
    // taken, the folder's cursor keeps the later parts here too.
    FolderRef folder; // null once nothing more is opened through it
    Listing listing;
    int error = 0;
    std::vector<std::shared_ptr<Job>> children; // by slot; null once the walk took them
};
using JobPtr = std::shared_ptr<Job>;

// The jobs of the subfolders in job's listing, made by its reader.
void makeChildren(Job &job) {
    std::uint32_t slot = job.firstSlot;
    job.listing.ForEachSubfolder([&](std::string_view name) {
        auto child = std::make_shared<Job>();
        child->key = job.key;
        child->key.push_back(slot++);
        child->parent = job.folder;
        child->name.assign(name);
        child->path = job.path + child->name + PathDelim;
        child->volume = job.volume;
        job.children.push_back(std::move(child));
    });
}

bool outOfResources(int error) {
    return error == EMFILE || error == ENFILE || error == ENOMEM;
}

// Reads job on a helper, without the mutex.
void read(Job &job) {
    try {
        if (!job.more) {
            if (void (*hook)(const char *) = openHook.load())
                hook(job.path.c_str());
            Dir *dir = nullptr;
            job.error = OpenFolder(job.parent ? job.parent->dir : nullptr, job.path, job.name,
                                   job.volume, &dir);
            if (job.error)
                return;
            job.folder = std::make_shared<Folder>();
            job.folder->dir = dir;
        }
        ReadPart(*job.folder->dir, job.listing);
        makeChildren(job);
    } catch (const std::bad_alloc &) {
        job.listing = Listing();
        job.children.clear();
        job.error = ENOMEM;
    }
}

} // namespace

struct FolderCursor {
    std::shared_ptr<Lookahead::State> state;
    JobPtr job;      // the folder's first part, taken; the part in hand
    JobPtr nextPart; // asked for as soon as the part before it came
    int mask = 0;
    std::uint32_t slots = 0;   // subfolders met so far
    std::int64_t current = -1; // the slot of the entry in hand, when it is a subfolder
};

struct Lookahead::State : std::enable_shared_from_this<State> {
    LookaheadLimits limits;
    Wait wait;
    Wake wakeWalk; // under the mutex
    // Before the jobs: their folders count down as they go.  Changed under
    // the mutex, but by the walk also without it, for jobs that are done.
    std::atomic<int> descriptors{0};
    std::atomic<std::size_t> ahead{0}, bytes{0};
    std::mutex mutex;
    std::condition_variable work, done; // helpers wait on work, the walk on done
    std::map<Key, JobPtr> pending;      // no helper has begun them, in the walk's order
    std::deque<JobPtr> asked;           // the walk waits for these
    std::vector<FolderCursor *> open;   // the walk's, and only the walk touches it
    std::uint32_t roots = 0;
    int idle = 0; // helpers waiting for work
    bool started = false, stopping = false;
    Statistics stats;

    void startHelper() {
        ++alive;
        if (StartHelper(
                [self = shared_from_this()]() mutable {
                    self->serve();
                    self.reset();
                    --alive;
                },
                true)) {
            ++stats.helpersStarted;
        } else {
            --alive; // fewer helpers
        }
    }
    // For a job the walk waits for: an idle helper, else (all busy, or stuck
    // in a folder that blocks) one more, at most two more.  Mutex held.
    void help() {
        if (idle == 0 && stats.helpersStarted < limits.helpers + 2)
            startHelper();
        work.notify_one();
    }

    void serve() {
        std::unique_lock lock(mutex);
        while (JobPtr job = next(lock)) {
            lock.unlock();
            read(*job);
            lock.lock();
            finish(*job);
        }
    }

    bool canRefill() const { return MayReadAhead(limits, ahead, bytes, descriptors, true); }
    // One idle reader more when there is room to refill: each that takes a
    // folder wakes the next.  Mutex held.
    void wake() {
        if (idle > 0 && !pending.empty() && canRefill())
            work.notify_one();
    }

    // The next job for a helper, or null when it is to end; mutex held.
    JobPtr next(std::unique_lock<std::mutex> &lock) {
        for (;;) {
            if (stopping)
                return nullptr;
            while (!asked.empty()) {
                JobPtr job = std::move(asked.front());
                asked.pop_front();
                if (job->stage == Stage::Pending && !job->dropped) {
                    job->stage = Stage::Reading;
                    return job;
                }
            }
            if (limits.helpers > 0 && !pending.empty() &&
                MayReadAhead(limits, ahead, bytes, descriptors, false)) {
                JobPtr job = std::move(pending.begin()->second);
                pending.erase(pending.begin());
                job->stage = Stage::Reading;
                job->counted = job->reserved = true;
                stats.mostAhead = std::max(stats.mostAhead, ++ahead);
                stats.mostDescriptors = std::max(stats.mostDescriptors, ++descriptors);
                wake();
                return job;
            }
            ++idle;
            work.wait(lock);
            --idle;
        }
    }

    // A helper has read job; mutex held.
    void finish(Job &job) {
        if (!job.more && !job.listing.more && job.children.empty())
            job.folder.reset(); // nothing more is opened through it
        if (std::exchange(job.reserved, false)) {
            if (job.counted && job.folder)
                job.folder->counted = &descriptors; // its place goes to the folder
            else
                --descriptors;
        }
        if (job.dropped) {
            job.folder.reset();
            job.children.clear();
            job.stage.store(Stage::Done, std::memory_order_release);
            return;
        }
        if (job.counted) {
            stats.mostBytes = std::max(stats.mostBytes, bytes += job.listing.Bytes());
            ++stats.listedAhead;
        } else if (!job.more) {
            ++stats.listedAsked;
        }
        if (!job.error)
            for (const JobPtr &child : job.children)
                pending.emplace_hint(pending.end(), child->key, child);
        job.stage.store(Stage::Done, std::memory_order_release);
        wake();
        if (job.awaited || descriptors == 0) { // the walk waits for one or the other
            done.notify_one();
            if (wakeWalk)
                wakeWalk();
        }
    }

    // Job no longer counts against the bounds: the walk's, with the mutex
    // held or the job done.
    void uncount(Job &job) {
        if (!std::exchange(job.counted, false))
            return;
        --ahead;
        if (job.stage == Stage::Done) {
            bytes -= job.listing.Bytes();
            if (job.folder)
                job.folder->Uncount();
        }
    }

    // Nobody will take job, nor anything below it; mutex held.
    void drop(const JobPtr &job) {
        if (!job || std::exchange(job->dropped, true))
            return;
        uncount(*job);
        if (job->stage == Stage::Pending) {
            pending.erase(job->key);
        } else if (job->stage == Stage::Done) {
            for (const JobPtr &child : job->children)
                drop(child);
            job->children.clear();
            job->folder.reset();
        }
    }
    // The walk's: drops the jobs of c's subfolders that it has not taken,
    // and with part its next part too.  The mutex is taken only when there
    // is any.  Subfolders passed by go when their folder is closed: the
    // finder passes none.
    void dropChildren(FolderCursor &c, bool part, bool locked = false) {
        std::vector<JobPtr> &children = c.job->children;
        part = part && c.nextPart;
        if (!part && std::all_of(children.begin(), children.end(), [](auto &j) { return !j; }))
            return;
        std::unique_lock lock(mutex, std::defer_lock);
        if (!locked)
            lock.lock();
        if (part)
            drop(std::exchange(c.nextPart, nullptr));
        for (JobPtr &j : children)
            drop(std::exchange(j, nullptr));
        wake();
    }

    // The walk is done with c's folder.
    void close(FolderCursor &c) {
        std::erase(open, &c);
        dropChildren(c, true);
    }

    // Has a helper read job, unless one is at it already; mutex held.
    void ask(const JobPtr &job) {
        job->asked = true;
        pending.erase(job->key);
        asked.push_back(job);
        help();
    }

    // The walk's, mutex held: waits until job is done, reading it again
    // when it ran out of descriptors or memory while folders read ahead held
    // some, once they are closed, as the walk alone would.  0, or ECANCELED.
    int waitDone(std::unique_lock<std::mutex> &lock, const JobPtr &job) {
        if (!started) {
            started = true;
            for (int i = 0; i < limits.helpers; ++i)
                startHelper();
        }
        for (bool drained = false;;) {
            if (job->stage == Stage::Pending && !job->asked)
                ask(job);
            job->awaited = true;
            if (!waitWithEvents(
                    lock, done, [&] { return job->stage == Stage::Done; }, wait, !wakeWalk,
                    [&] {
                        if (job->stage == Stage::Pending)
                            help();
                    })) {
                drop(job);
                return ECANCELED;
            }
            // A next part is not read again: the folder has moved on.
            if (!outOfResources(job->error) || job->more || (drained && !job->counted))
                return 0;
            if (!job->counted) {
                for (FolderCursor *c : open)
                    dropChildren(*c, false, true);
                if (!waitWithEvents(
                        lock, done, [&] { return descriptors == 0; }, wait, !wakeWalk, [] {}))
                    return ECANCELED;
                drained = true;
            }
            uncount(*job);
            job->folder.reset();
            job->listing = Listing();
            job->children.clear();
            job->error = 0;
            job->stage = Stage::Pending;
            job->asked = false;
        }
    }

    // The walk's: job, the first or the next part of c's folder, into c.  0,
    // or the error its FindFirst returns.  Without the mutex when a helper has
    // read it already and the read-ahead has no room to refill.
    int take(FolderCursor &c, const JobPtr &job) {
        if (job->stage.load(std::memory_order_acquire) != Stage::Done ||
            outOfResources(job->error)) {
            std::unique_lock lock(mutex);
            if (const int error = waitDone(lock, job))
                return error;
        }
        uncount(*job);
        if (canRefill() || job->listing.more) {
            std::lock_guard lock(mutex);
            wake();
            if (job->listing.more) { // read on while the walk goes through this part
                c.nextPart = std::make_shared<Job>();
                c.nextPart->key = c.job->key;
                c.nextPart->path = c.job->path;
                c.nextPart->more = true;
                c.nextPart->folder = job->folder;
                c.nextPart->firstSlot = job->firstSlot + std::uint32_t(job->children.size());
                ask(c.nextPart);
            }
        }
        if (job != c.job) {
            c.job->folder = std::move(job->folder);
            c.job->listing = std::move(job->listing);
            c.job->children.insert(c.job->children.end(),
                                   std::make_move_iterator(job->children.begin()),
                                   std::make_move_iterator(job->children.end()));
        }
        return job->error;
    }
};

struct LookaheadAccess {
    static const std::shared_ptr<Lookahead::State> &of(const Lookahead &l) { return l.state_; }
};

Lookahead::Lookahead(const LookaheadLimits &limits, Wait wait, Wake wake)
    : state_(std::make_shared<State>()) {
    state_->limits = limits;
    state_->limits.helpers = std::clamp(limits.helpers, 0, 64);
    state_->wait = std::move(wait);
    state_->wakeWalk = std::move(wake);
}

Lookahead::~Lookahead() {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    state_->wakeWalk = nullptr; // what it wakes may go with this
    for (auto &[key, job] : state_->pending)
        job->dropped = true;
    state_->pending.clear();
    state_->asked.clear();
    state_->work.notify_all();
}

Lookahead::Statistics Lookahead::Stats() const {
    std::lock_guard lock(state_->mutex);
    Statistics s = state_->stats;
    s.aheadNow = state_->ahead;
    return s;
}

int Lookahead::HelpersAlive() {
    return alive.load();
}

void Lookahead::SetOpenHook(void (*hook)(const char *path)) {
    openHook.store(hook);
}

void FolderCursorDeleter::operator()(FolderCursor *cursor) const {
    cursor->state->close(*cursor);
    delete cursor;
}

namespace ahead {

int First(const std::string &path, int mask, TSearchRec &f, const SearchOptions &options) {
    const std::shared_ptr<Lookahead::State> &state = LookaheadAccess::of(*options.lookahead);
    FolderCursor *parent = options.within ? options.within->cursor.get() : nullptr;
    if (parent && parent->state != state)
        parent = nullptr;
    const std::string folder = ExtractFilePath(path);
    JobPtr job;
    if (parent && parent->current >= 0 &&
        std::size_t(parent->current) < parent->job->children.size())
        job = std::exchange(parent->job->children[std::size_t(parent->current)], nullptr);
    if (!job) {
        job = std::make_shared<Job>();
        if (parent && parent->current >= 0) {
            job->key = parent->job->key;
            job->key.push_back(std::uint32_t(parent->current));
            job->parent = parent->job->folder;
            job->name = options.within->Name;
        } else {
            job->key = {++state->roots}; // a drive's root, which comes after all before it
        }
        job->path = folder;
        job->volume = options.stayOnVolume;
    }
    std::unique_ptr<FolderCursor, FolderCursorDeleter> c(new FolderCursor{state, job, {}, mask});
    state->open.push_back(c.get());
    if (const int error = state->take(*c, job))
        return error;
    f.cursor = std::move(c);
    return Next(f);
}

int Next(TSearchRec &f) {
    FolderCursor &c = *f.cursor;
    std::string_view name;
    std::uint32_t info = 0;
    bool descend = false;
    for (;;) {
        Listing &listing = c.job->listing;
        if (!listing.Next(name, info, descend)) {
            c.current = -1;
            if (const int error = std::exchange(listing.error, 0))
                return error;
            if (!listing.more)
                return ENOENT;
            if (const int error = c.state->take(c, std::exchange(c.nextPart, nullptr)))
                return error;
            continue;
        }
        c.current = descend ? std::int64_t(c.slots++) : -1;
        Describe(name, info, f);
        f.Size = 0;
        if (Admitted(f.Attr, c.mask))
            return 0;
    }
}

} // namespace ahead

bool MayReadAhead(const LookaheadLimits &limits, std::size_t ahead, std::size_t bytes,
                  int descriptors, bool refill) {
    const auto below = [refill](long long held, long long bound) {
        return held < bound - (refill ? bound / 4 : 0);
    };
    return below(ahead, limits.folders) && below(descriptors, limits.descriptors) &&
           (ahead == 0 || below(bytes, limits.bytes));
}

bool RunAside(std::function<void()> work, const Lookahead::Wait &wait) {
    auto task = std::make_shared<std::packaged_task<void()>>(std::move(work));
    std::future<void> done = task->get_future();
    ++alive;
    if (!StartHelper(
            [task]() mutable {
                (*task)();
                task.reset(); // what work holds goes before the count does
                --alive;
            },
            false)) {
        --alive;
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    while (done.wait_for(Pause) != std::future_status::ready)
        if (wait && !wait())
            return false;
    done.get(); // throws what work threw
    return true;
}

} // namespace host
