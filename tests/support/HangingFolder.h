// A folder whose opening blocks, as one on a hung network mount or a stopped
// FUSE daemon does: installed as the read-ahead's open hook, it holds every
// helper that opens a folder whose path ends with Suffix until released.
#pragma once

#include "host/Lookahead.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

struct HangingFolder {
    explicit HangingFolder(std::string suffix) {
        std::lock_guard lock(state().mutex);
        state().suffix = std::move(suffix);
        state().released = false;
        host::Lookahead::SetOpenHook(&hook);
    }
    ~HangingFolder() {
        Release();
        host::Lookahead::SetOpenHook(nullptr);
    }
    // Whether a helper is held in it now.
    bool Holding() {
        std::lock_guard lock(state().mutex);
        return state().held > 0;
    }
    // Waits up to timeout for a helper to be held; whether one is.
    bool WaitHeld(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(state().mutex);
        return state().changed.wait_for(lock, timeout, [] { return state().held > 0; });
    }
    void Release() {
        std::lock_guard lock(state().mutex);
        state().released = true;
        state().changed.notify_all();
    }
    // Waits up to 10 s for every helper of every lookahead to end.
    static bool HelpersEnd() {
        for (int i = 0; i < 1000 && host::Lookahead::HelpersAlive() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return host::Lookahead::HelpersAlive() == 0;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::string suffix;
        int held = 0;
        bool released = false;
    };
    static State &state() {
        static State s;
        return s;
    }
    static void hook(const char *path) {
        State &s = state();
        std::unique_lock lock(s.mutex);
        const std::string p(path);
        if (s.released || !p.ends_with(s.suffix))
            return;
        ++s.held;
        s.changed.notify_all();
        s.changed.wait(lock, [&] { return s.released; }); // the test always releases it
        --s.held;
    }
};
