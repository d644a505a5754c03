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

static void fail(out_buf& o, int error) {
    if (o.failed) return;
    o.failed = true;
    o.error = error;
}

// After a failed write the rest is dropped: the run has failed already, and
// the failure is reported when the output is closed.
[[gnu::noinline]] void out_flush(out_buf& o) {
    auto used = static_cast<std::size_t>(o.pos - o.buf.data());
    if (o.fd < 0) {
        o.buf.resize(2 * o.buf.size());
        set_room(o, used);
        return;
    }
    if (used > 0 && !o.failed && !write_all(o.fd, o.buf.data(), used)) fail(o, errno);
    set_room(o, 0);
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

temporary_output::temporary_output(temporary_output&& other) noexcept : path(std::move(other.path)) {
    other.path.clear();
}

temporary_output& temporary_output::operator=(temporary_output&& other) noexcept {
    if (this != &other) {
        if (!path.empty()) remove_temporary(path.c_str());
        path = std::move(other.path);
        other.path.clear();
    }
    return *this;
}

temporary_output::~temporary_output() {
    if (!path.empty()) remove_temporary(path.c_str());
}

bool is_standard_output(const char* path) { return path[0] == '-' && path[1] == '\0'; }

const char* output_name(const char* path) { return is_standard_output(path) ? "standard output" : path; }

// The last block can land in the page cache and the close still fail, on a
// full disk or a network file system: a failed close is a failed run.
bool out_close(out_buf& o) {
    out_flush(o);
    if (!close_file(o.fd)) fail(o, errno);
    o.fd = -1;
    if (!o.failed && !o.temporary.path.empty()) {
        if (rename_over(o.temporary.path.c_str(), o.path))
            o.temporary.path.clear();
        else
            fail(o, errno);
    }
    o.temporary = temporary_output();
    return !o.failed;
}

void out_discard(out_buf& o) {
    if (o.fd >= 0) close_file(o.fd);
    o.fd = -1;
    o.temporary = temporary_output();
}

// A file that a rename can replace is written beside it, unless its folder
// takes no new file; anything else in place.
static int open_output(const char* path, temporary_output& temporary) {
    if (replaceable_by_rename(path)) {
        int fd = create_temporary_beside(path, temporary.path);
        if (fd >= 0) return fd;
        temporary.path.clear();
    }
    return open_output_file(path, true);
}

bool open_whole_output(const char* path, standard_streams streams, out_buf& out, failure& why) {
    temporary_output temporary;
    int fd;
    if (!is_standard_output(path)) {
        fd = open_output(path, temporary);
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
    out.path = path;
    out.temporary = std::move(temporary);
    return true;
}

static file_id identify_output(const char* path) {
    return is_standard_output(path) ? identify_file(standard_output) : identify_path(path);
}

bool open_output_beside(int ip, int input_error, file_id input, const char* infile, const char* outfile,
                        standard_streams streams, out_buf& out, failure& why) {
    if (ip < 0) {
        why = system_failure(infile, input_error);
        if (!is_standard_output(outfile)) {
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
