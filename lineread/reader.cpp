#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "lineread.h"

line_reader make_line_reader(int fd, int copy_fd, std::size_t block) {
    line_reader r;
    r.fd = fd;
    r.copy_fd = copy_fd;
    r.block = block > 0 ? block : 1;
    r.buf.resize(2 * r.block);
    return r;
}

// Moves the unfinished line to the front and reads one more block behind it,
// growing the buffer when the line alone fills it: lines of any length are
// read whole. A long line grows the buffer by a quarter at a time, so that it
// takes little more room than the line itself, and once it is done the
// buffer shrinks back to its first size.
static void fill(line_reader& r) {
    if (r.begin > 0) {
        std::memmove(r.buf.data(), r.buf.data() + r.begin, r.end - r.begin);
        r.end -= r.begin;
        r.begin = 0;
    }
    std::size_t first_size = 2 * r.block;
    if (r.buf.size() > first_size && r.end < r.block) r.buf.resize(first_size);
    if (r.buf.size() - r.end < r.block) r.buf.resize(r.end + std::max(r.block, r.end / 4));
    std::size_t want = r.buf.size() - r.end;
    ssize_t n;
    do {
        n = read(r.fd, r.buf.data() + r.end, want);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        r.failed = true;
        return;
    }
    if (n == 0) {
        r.at_eof = true;
        return;
    }
    if (r.copy_fd >= 0 && !write_all(r.copy_fd, r.buf.data() + r.end, static_cast<std::size_t>(n)))
        r.failed = true;
    r.end += static_cast<std::size_t>(n);
}

// The current block holds no whole line: read more, or end the input.
bool next_line_after_block(line_reader& r, std::string_view& line) {
    for (;;) {
        const char* start = r.buf.data() + r.begin;
        std::size_t avail = r.end - r.begin;
        if (take_line(r, line, start, avail)) return true;
        // The next search starts after these bytes, so a long line costs one
        // pass however many blocks it spans.
        r.scanned = avail;
        if (r.failed) return false;
        if (r.at_eof) {
            if (avail == 0) return false;
            line = std::string_view(start, avail);
            r.begin = r.end;
            r.scanned = 0;
            return true;
        }
        fill(r);
    }
}
