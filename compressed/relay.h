// Two blocks passed between the tool's thread and one helper thread that
// decompresses: one side fills a block while the other empties the other
// one, in turn. A block belongs to its filler while it is
// not full and to its emptier while it is; the lock guards `full` and
// `stopping`, and the handing over makes the block's bytes and the
// status written with them visible to the other side.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

#include "platform.h"

struct relay_block {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    bool full = false;
};

struct relay {
    relay_block blocks[2];
    std::mutex lock;
    std::condition_variable changed;
    bool stopping = false;  // the tool's side is gone: the helper ends
    bool helper_done = false;  // the helper has left its work
    bool orphaned = false;     // and has what it used to free itself
    thread_handle helper;
};

// Waits until the block is full (or empty, for full false); false where the
// relay is stopping first.
inline bool await_block(relay& r, const relay_block& b, bool full) {
    std::unique_lock<std::mutex> hold(r.lock);
    r.changed.wait(hold, [&] { return b.full == full || r.stopping; });
    return b.full == full;
}

inline void hand_over(relay& r, relay_block& b, bool full) {
    {
        std::lock_guard<std::mutex> hold(r.lock);
        b.full = full;
    }
    r.changed.notify_all();
}

// Starts the helper, run(argument), with blocks of the given size. A
// helper pays where the machine has a second core; without one, or where
// no thread can be started, the tool's thread does the work: false.
inline bool start_relay(relay& r, std::size_t block_size, void (*run)(void*), void* argument) {
    if (std::thread::hardware_concurrency() < 2) return false;
    for (relay_block& b : r.blocks) b.bytes.reset(new char[block_size]);
    return start_thread(r.helper, run, argument);
}

// The helper's last step: true where the tool's side has gone on without
// it (leave_helper), so that what it used is its own to free.
inline bool helper_leaves(relay& r) {
    std::lock_guard<std::mutex> hold(r.lock);
    r.helper_done = true;
    return r.orphaned;
}

// Ends the helper without waiting for it where it is still at work (a
// read of a pipe whose writer has stalled may never return): true then,
// and it frees what it uses once it ends (helper_leaves). False where no
// helper runs or it has ended.
inline bool leave_helper(relay& r) {
    if (!r.helper.started) return false;
    {
        std::lock_guard<std::mutex> hold(r.lock);
        r.stopping = true;
        // Woken under the lock: once it is released, a helper left alone
        // may free the relay.
        r.changed.notify_all();
        if (!r.helper_done) {
            r.orphaned = true;
            detach_thread(r.helper);
            return true;
        }
    }
    join_thread(r.helper);
    return false;
}

// Ends the helper, at once where it waits for a block.
inline void stop_relay(relay& r) {
    if (!r.helper.started) return;
    {
        std::lock_guard<std::mutex> hold(r.lock);
        r.stopping = true;
    }
    r.changed.notify_all();
    join_thread(r.helper);
}
