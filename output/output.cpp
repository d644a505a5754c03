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

// After a failed write the rest is dropped: the run has failed already, and
// the failure is reported when the output is closed.
[[gnu::noinline]] void out_flush(out_buf& o) {
    auto used = static_cast<std::size_t>(o.pos - o.buf.data());
    if (o.fd < 0) {
        o.buf.resize(2 * o.buf.size());
        set_room(o, used);
        return;
    }
    if (used > 0 && !o.failed && !write_all(o.fd, o.buf.data(), used)) {
        o.failed = true;
        o.error = errno;
    }
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

// The last block can land in the page cache and the close still fail, on a
// full disk or a network file system: a failed close is a failed run.
bool out_close(out_buf& o) {
    out_flush(o);
    if (!close_file(o.fd) && !o.failed) {
        o.failed = true;
        o.error = errno;
    }
    o.fd = -1;
    return !o.failed;
}

bool open_output_beside(int ip, int input_error, file_id input, const char* infile, const char* outfile, int& op,
                        failure& why) {
    op = -1;
    if (ip < 0) {
        why = system_failure(infile, input_error);
        op = open_output_file(outfile, false);
    } else if (same_file(input, identify_path(outfile))) {
        why = own_failure(outfile, "input and output are the same file");
    } else if ((op = open_output_file(outfile, true)) < 0) {
        why = system_failure(outfile, errno);
    }
    if (ip >= 0 && op >= 0) return true;
    if (ip >= 0) close_file(ip);
    if (op >= 0) close_file(op);
    return false;
}
