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
