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
// read whole.
static void fill(line_reader& r) {
    if (r.begin > 0) {
        std::memmove(r.buf.data(), r.buf.data() + r.begin, r.end - r.begin);
        r.end -= r.begin;
        r.begin = 0;
    }
    if (r.buf.size() - r.end < r.block) r.buf.resize(2 * r.buf.size());
    // At most two blocks at a time, also once a long line has grown the
    // buffer: blocks of lines then keep their size.
    std::size_t want = std::min(r.buf.size() - r.end, 2 * r.block);
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

bool next_lines(line_reader& r, byte_buffer& spare, std::string_view& lines) {
    for (;;) {
        std::size_t avail = r.end - r.begin;
        if (avail < r.block && !r.at_eof && !r.failed) {
            fill(r);
            continue;
        }
        const char* start = r.buf.data() + r.begin;
        // Only bytes not yet searched: a long line costs one pass.
        const char* last = static_cast<const char*>(memrchr(start + r.scanned, '\n', avail - r.scanned));
        r.scanned = avail;
        if (last == nullptr) {
            if (r.failed || avail == 0) return false;
            if (r.at_eof)
                last = start + avail - 1;
            else {
                fill(r);
                continue;
            }
        }
        std::size_t len = static_cast<std::size_t>(last - start) + 1;
        std::size_t from = r.begin;
        std::swap(r.buf, spare);
        if (r.buf.size() < spare.size()) r.buf.resize(spare.size());
        // The unfinished line, searched already, starts the reader's new
        // buffer.
        r.end = avail - len;
        std::memcpy(r.buf.data(), spare.data() + from + len, r.end);
        r.begin = 0;
        r.scanned = r.end;
        lines = std::string_view(spare.data() + from, len);
        return true;
    }
}
