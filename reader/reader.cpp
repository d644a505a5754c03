#include "reader.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include "numbers.h"
#include "platform.h"

// The buffer holds a block, or a long line and a block, and the padding.
static std::size_t first_size() { return 2 * read_block_size + line_padding + 1; }

static bool is_standard_input(const char* path) { return path[0] == '-' && path[1] == '\0'; }

int open_input(const char* path, bool standard_input_open) {
    if (is_standard_input(path)) {
        if (standard_input_open) return open_standard_input();
        errno = EBADF;
        return -1;
    }
    int fd = open_input_file(path);
    if (fd >= 0 && !standard_input_open && same_file(identify_file(fd), identify_file(standard_input))) {
        close_file(fd);
        errno = EBADF;
        return -1;
    }
    return fd;
}

const char* input_name(const char* path) { return is_standard_input(path) ? "standard input" : path; }

line_reader make_line_reader(int fd) {
    line_reader r;
    r.fd = fd;
    r.buf.resize(first_size());
    r.next = r.lines_end = r.buf.data();
    if (is_regular_file(fd)) r.start = file_position(fd);
    return r;
}

// The last line feed in [from, to), or null.
static const char* last_line_feed(const char* from, const char* to) {
    while (to != from)
        if (*--to == '\n') return to;
    return nullptr;
}

static void fail(line_reader& r) {
    r.failed = true;
    r.error = errno;
    r.problem = r.source.problem;
}

// Moves the line being read to the front, then reads behind it; returns
// where the new bytes start. A long line grows the buffer by a quarter at a
// time, so that it takes little more room than the line itself; once it is
// done the buffer shrinks back.
[[gnu::noinline]] static std::size_t read_block(line_reader& r) {
    char* base = r.buf.data();
    auto carried = static_cast<std::size_t>(base + r.data_end - r.lines_end);
    r.text_before += r.lines_end - base;
    if (r.lines_end != base) std::memmove(base, r.lines_end, carried);
    r.data_end = carried;
    if (r.buf.size() > first_size() && carried < read_block_size) r.buf.resize(first_size());
    if (r.buf.size() - carried < read_block_size + line_padding + 1)
        r.buf.resize(carried + std::max(read_block_size, carried / 4) + line_padding + 1);
    base = r.buf.data();
    r.next = r.lines_end = base;
    std::int64_t read_before = r.source.bytes_read;
    std::ptrdiff_t n = read_text(r.source, r.fd, base + carried, r.buf.size() - carried - line_padding - 1);
    if (n < 0) fail(r);
    if (n <= 0) r.at_end = true;
    if (n > 0) r.data_end += static_cast<std::size_t>(n);
    // Compressed bytes, as the file's size counts them.
    progress_read(r.progress, r.source.bytes_read - read_before);
    return carried;
}

bool more_lines(line_reader& r) {
    while (r.next == r.lines_end) {
        if (r.at_end || r.failed) return false;
        std::size_t fresh = read_block(r);
        char* base = r.buf.data();
        // Only the new bytes: the line carried over holds no line feed.
        const char* feed = last_line_feed(base + fresh, base + r.data_end);
        if (feed == nullptr && r.at_end && r.data_end > 0 && !r.failed) {
            base[r.data_end++] = '\n';  // the last line, ended here
            feed = base + r.data_end - 1;
            r.unended_last_line = true;
        }
        if (feed != nullptr) r.lines_end = feed + 1;
        std::memset(base + r.data_end, 0, line_padding);
    }
    return true;
}

const char* take_line(line_reader& r) {
    if (!more_lines(r)) return nullptr;
    const char* line = r.next;
    r.next = line_feed_after(line, r.lines_end) + 1;
    return line;
}

// Once a run, kept out of the loops that flatten what they call.
[[gnu::noinline]] std::int64_t line_at(line_reader& r, std::int64_t position) {
    if (r.start < 0) return 0;
    r.source = compressed_input();  // its helper, if any, has ended with the text
    if (!seek_file(r.fd, r.start)) return 0;
    std::unique_ptr<char[]> block(new char[read_block_size]);
    std::int64_t line = 1;
    while (position > 0) {
        auto want = static_cast<std::size_t>(std::min<std::int64_t>(position, read_block_size));
        std::ptrdiff_t got = read_text(r.source, r.fd, block.get(), want);
        if (got <= 0) return 0;
        line += std::count(block.get(), block.get() + got, '\n');
        position -= got;
    }
    return line;
}

void close_reader(line_reader& r) {
    if (r.fd >= 0) close_compressed_input(r.source, r.fd);
    r.fd = -1;
    clear_progress(r.progress);
}

failure reading_failure(const line_reader& r, const char* path) {
    if (r.problem != nullptr) return own_failure(input_name(path), r.problem);
    return system_failure(input_name(path), r.error);
}
