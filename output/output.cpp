#include "output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

static void set_room(out_buf& o, std::size_t used) {
    o.pos = o.buf.data() + used;
    o.limit = o.buf.data() + o.buf.size() - max_line_output;
}

out_buf make_out_buf(int fd) {
    out_buf o;
    o.fd = fd;
    o.buf.resize(write_block_size + max_line_output);
    set_room(o, 0);
    return o;
}

out_buf make_memory_buf() { return make_out_buf(-1); }

// The first failure is the one reported, with whether it was the spool's.
static void fail(out_buf& o, int error, bool in_spool = false) {
    if (o.failed) return;
    o.failed = true;
    o.error = error;
    o.spool_failed = in_spool;
}

// The spool holds plain bytes; the output gets them compressed where its
// name asks for it.
static void write_out(out_buf& o, int fd, const char* bytes, std::size_t n) {
    if (n == 0 || o.failed) return;
    bool written = fd == o.spool ? write_all(fd, bytes, n) : write_compressed(o.packing, fd, bytes, n);
    if (!written) fail(o, errno, fd == o.spool);
}

static void open_spool(out_buf& o) {
    o.spool_folder = temporary_folder();
    o.spool = open_spool_file();
    if (o.spool < 0) fail(o, errno, true);
}

// The bytes before the held place are final and written; the held ones move
// to the front, and the buffer grows so that a block fits behind them. Held
// bytes past the bound go to the spool, and so does all that follows while
// the place is held.
static void flush_held(out_buf& o) {
    char* base = o.buf.data();
    auto used = static_cast<std::size_t>(o.pos - base);
    if (o.spool >= 0) {
        write_out(o, o.spool, base, used);
        set_room(o, 0);
        return;
    }
    auto final_bytes = static_cast<std::size_t>(o.held - base);
    write_out(o, o.fd, base, final_bytes);
    std::size_t kept = used - final_bytes;
    if (kept > hold_bound) {
        open_spool(o);
        // Without a spool the run has failed: the place is given up with
        // what it held, and nothing more is written.
        if (o.spool >= 0) write_out(o, o.spool, o.held, kept);
        o.held = o.spool >= 0 ? base : nullptr;
        set_room(o, 0);
        return;
    }
    std::memmove(base, o.held, kept);
    if (o.buf.size() < kept + write_block_size + max_line_output) {
        o.buf.resize(kept + write_block_size + max_line_output);
        base = o.buf.data();
    }
    o.held = base;
    set_room(o, kept);
}

// After a failed write the rest is dropped: the run has failed already, and
// the failure is reported when the output is closed.
[[gnu::noinline]] void out_flush(out_buf& o) {
    auto used = static_cast<std::size_t>(o.pos - o.buf.data());
    if (o.fd < 0) {
        std::ptrdiff_t held = o.held - o.buf.data();
        o.buf.resize(2 * o.buf.size());
        if (o.held != nullptr) o.held = o.buf.data() + held;
        set_room(o, used);
        return;
    }
    if (o.held != nullptr) return flush_held(o);
    write_out(o, o.fd, o.buf.data(), used);
    set_room(o, 0);
}

// The spool's bytes from skip on, read back through the buffer, which is
// empty then.
static void copy_spool(out_buf& o, std::size_t skip) {
    if (!o.failed && !seek_file(o.spool, static_cast<std::int64_t>(skip))) fail(o, errno, true);
    while (!o.failed) {
        std::ptrdiff_t n = read_some(o.spool, o.buf.data(), o.buf.size());
        if (n < 0) fail(o, errno, true);
        if (n <= 0) break;
        write_out(o, o.fd, o.buf.data(), static_cast<std::size_t>(n));
    }
    close_file(o.spool);
    o.spool = -1;
}

char* out_fill(out_buf& o, char* q, std::string_view text) {
    char* at = o.held;
    std::size_t gap = o.gap;
    o.held = nullptr;
    if (o.spool < 0) {
        if (text.size() != gap) {
            std::memmove(at + text.size(), at + gap, static_cast<std::size_t>(q - at) - gap);
            q += text.size();
            q -= gap;
        }
        std::memcpy(at, text.data(), text.size());
        return q;
    }
    // The spool starts with the room, and the buffer holds its last bytes.
    write_out(o, o.spool, o.buf.data(), static_cast<std::size_t>(q - o.buf.data()));
    write_out(o, o.fd, text.data(), text.size());
    copy_spool(o, gap);
    set_room(o, 0);
    return o.pos;
}

void out_put(out_buf& o, std::string_view text) {
    while (!text.empty()) {
        char* p = out_line_room(o);
        std::size_t n = std::min(text.size(), static_cast<std::size_t>(o.buf.data() + o.buf.size() - p));
        std::memcpy(p, text.data(), n);
        o.pos = p + n;
        text.remove_prefix(n);
    }
}

whole_output::whole_output(whole_output&& other) noexcept : file(std::move(other.file)) {
    other.file = whole_file{};
}

whole_output& whole_output::operator=(whole_output&& other) noexcept {
    if (this != &other) {
        discard_whole_file(file, -1);
        file = std::move(other.file);
        other.file = whole_file{};
    }
    return *this;
}

whole_output::~whole_output() { discard_whole_file(file, -1); }

bool is_standard_output(const char* path) { return path[0] == '-' && path[1] == '\0'; }

bool goes_to_standard_output(const char* path) {
    if (is_standard_output(path)) return true;
    file_id output = identify_file(standard_output);
    return !output.character_device && same_file(identify_path(path), output);
}

const char* output_name(const char* path) { return is_standard_output(path) ? "standard output" : path; }

// The last block can land in the page cache and the close still fail, on a
// full disk or a network file system: a failed close is a failed run.
bool out_close(out_buf& o) {
    out_flush(o);
    if (!o.failed && !finish_compressed(o.packing, o.fd)) fail(o, errno);
    o.packing = compressed_output();
    bool closed = o.whole.file.way == output_way::none ? close_file(o.fd)
                  : o.failed                            ? (discard_whole_file(o.whole.file, o.fd), true)
                                                        : commit_whole_file(o.whole.file, o.fd);
    if (!closed) fail(o, errno);
    o.fd = -1;
    o.whole = whole_output();
    return !o.failed;
}

void out_discard(out_buf& o) {
    if (o.spool >= 0) close_file(o.spool);
    o.spool = -1;
    if (o.fd >= 0) discard_whole_file(o.whole.file, o.fd);
    o.fd = -1;
    o.packing = compressed_output();
    o.whole = whole_output();
}

bool open_whole_output(const char* path, standard_streams streams, out_buf& out, failure& why) {
    stream_format format = format_for_name(path);
    if (const char* missing = missing_library(format)) {
        why = own_failure(path, missing);
        return false;
    }
    whole_output whole;
    int fd;
    if (!goes_to_standard_output(path)) {
        fd = open_whole_file(path, whole.file);
    } else if (streams.output) {
        fd = standard_output;
    } else {
        errno = EBADF;  // its stand-in would take the data without a word
        fd = -1;
    }
    if (fd < 0) {
        why = system_failure(output_name(path), errno);
        return false;
    }
    out = make_out_buf(fd);
    out.packing = start_compressed_output(format);
    out.whole = std::move(whole);
    return true;
}

static file_id identify_output(const char* path) {
    return goes_to_standard_output(path) ? identify_file(standard_output) : identify_path(path);
}

bool open_output_beside(int ip, int input_error, file_id input, const char* infile, const char* outfile,
                        standard_streams streams, out_buf& out, failure& why) {
    if (ip < 0) {
        why = system_failure(infile, input_error);
        if (!goes_to_standard_output(outfile)) {
            int op = open_output_file(outfile, false);
            if (op >= 0) close_file(op);
        }
        return false;
    }
    bool opened = false;
    if (same_file(input, identify_output(outfile)))
        why = own_failure(output_name(outfile), "input and output are the same file");
    else
        opened = open_whole_output(outfile, streams, out, why);
    if (!opened) close_file(ip);
    return opened;
}
