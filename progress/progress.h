// The progress line of a long run: when standard error is a terminal and a
// run has lasted a second, one line there, redrawn a few times a second,
// tells how far the reading is ("diagfill: pass 2/2  61%  3.1 GB of 5.0 GB
// 1.2 GB/s"; for a pipe the bytes and the rate), and is cleared at the end.
// Scripts and logs, whose standard error is no terminal, see nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

struct progress_line {
    bool enabled = false;
    std::string_view tool;
    int pass = 1;
    int passes = 1;
    std::int64_t total = -1;  // bytes in all, where known
    std::int64_t done = 0;    // bytes read in this pass
    std::chrono::steady_clock::time_point pass_start;
    std::chrono::steady_clock::time_point next_draw;
    std::size_t drawn = 0;  // the length of the line on the terminal
};

// A line for the reading of fd, in `passes` passes.
progress_line start_progress(std::string_view tool, int fd, int passes);
// Counts bytes read, once a block, and redraws the line when it is time.
void draw_progress(progress_line& p);
inline void progress_read(progress_line& p, std::int64_t bytes) {
    if (!p.enabled) return;
    p.done += bytes;
    if (std::chrono::steady_clock::now() >= p.next_draw) draw_progress(p);
}
// The next pass reads `total` bytes (-1: unknown) from the start.
void next_progress_pass(progress_line& p, std::int64_t total);
void clear_progress(progress_line& p);
