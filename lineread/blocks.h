// Work on an input a block of whole lines at a time, shared by two helper
// threads, with the results taken back in input order: for tools whose
// per-line work is independent but whose output depends on the lines before.
#pragma once

#include <array>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "lineread.h"

// Four blocks are in flight at once, each with what a helper made of it:
// read half as much at a time as a single reader does, to keep the memory
// in use the same.
constexpr std::size_t line_block_size = read_block_size / 2;

// A block of lines and what a helper made of it. The helpers write to their
// blocks with every line: blocks kept on cache lines of their own spare the
// cores from passing lines back and forth.
template <typename Result>
struct alignas(128) line_block {
    byte_buffer bytes;
    std::string_view lines;
    Result result;
    bool mapped = false;
};

// The blocks in flight: read, being mapped, or waiting to be taken. Read
// blocks come from a ring; block n is in slot n % slots.
template <typename Result>
struct block_ring {
    static constexpr std::size_t slots = 4;
    std::array<line_block<Result>, slots> blocks;
    std::mutex lock;
    std::condition_variable changed;
    std::size_t read = 0;    // blocks read so far
    std::size_t handed = 0;  // blocks handed to a helper
    bool input_done = false;
};

// A helper maps blocks, oldest first, until the input is done.
template <typename Result, typename Map>
void map_blocks(block_ring<Result>& ring, Map& map) {
    std::unique_lock<std::mutex> held(ring.lock);
    for (;;) {
        ring.changed.wait(held, [&] { return ring.handed < ring.read || ring.input_done; });
        if (ring.handed == ring.read) return;
        line_block<Result>& b = ring.blocks[ring.handed++ % ring.slots];
        held.unlock();
        map(b.lines, b.result);
        held.lock();
        b.mapped = true;
        ring.changed.notify_all();
    }
}

// Tells the helpers that no more blocks come, and waits for them to end;
// also when the caller leaves by an exception.
template <typename Result>
struct helpers_joiner {
    block_ring<Result>& ring;
    std::vector<std::thread> threads;
    ~helpers_joiner() {
        {
            std::lock_guard<std::mutex> held(ring.lock);
            ring.input_done = true;
        }
        ring.changed.notify_all();
        for (std::thread& t : threads) t.join();
    }
};

// Reads a block into the ring's next slot, or tells the helpers that the
// input has ended.
template <typename Result, typename Map>
void read_block(line_reader& r, block_ring<Result>& ring, bool alone, Map& map) {
    line_block<Result>& b = ring.blocks[ring.read % ring.slots];
    bool got = next_lines(r, b.bytes, b.lines);
    if (got && alone) map(b.lines, b.result);
    std::lock_guard<std::mutex> held(ring.lock);
    b.mapped = alone;
    if (got)
        ++ring.read;
    else
        ring.input_done = true;
    ring.changed.notify_all();
}

// Where the maps go unused (take says so for this many blocks in a row), the
// next stretch of blocks goes to take unmapped, sparing the work; then the
// helpers try again.
constexpr int unused_maps_before_stretch = 4;
constexpr int unmapped_stretch = 64;

// Reads every remaining line of r in blocks. map(lines, result) runs on a
// helper thread for each block; take(lines, result, mapped) runs on this
// thread, for one block after the other in input order, and returns whether
// it used what map made. Without helpers (no thread could be started) this
// thread maps each block before taking it.
template <typename Result, typename Map, typename Take>
void map_blocks_in_order(line_reader& r, Map map, Take take) {
    block_ring<Result> ring;
    helpers_joiner<Result> helpers{ring, {}};
    try {
        for (int i = 0; i < 2; ++i) helpers.threads.emplace_back([&] { map_blocks(ring, map); });
    } catch (const std::system_error&) {
    }
    bool alone = helpers.threads.empty();
    int unused = 0;
    for (std::size_t taken = 0;;) {
        // Read ahead into every free slot while the helpers work.
        while (unused < unused_maps_before_stretch && !ring.input_done && ring.read - taken < ring.slots)
            read_block(r, ring, alone, map);
        if (taken < ring.read) {
            line_block<Result>& b = ring.blocks[taken++ % ring.slots];
            {
                std::unique_lock<std::mutex> held(ring.lock);
                ring.changed.wait(held, [&] { return b.mapped; });
            }
            unused = take(b.lines, b.result, true) ? 0 : unused + 1;
            continue;
        }
        if (ring.input_done) return;
        // Nothing is in flight: the blocks of the stretch go through the
        // ring's next slot, unseen by the helpers.
        line_block<Result>& b = ring.blocks[ring.read % ring.slots];
        for (int n = 0; n < unmapped_stretch; ++n) {
            if (!next_lines(r, b.bytes, b.lines)) break;
            take(b.lines, b.result, false);
        }
        unused = 0;
    }
}
