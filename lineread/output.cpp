#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "lineread.h"

static const char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

char* write_int(char* p, long long v) noexcept {
    unsigned long long u = static_cast<unsigned long long>(v);
    if (v < 0) {
        *p++ = '-';
        u = 0 - u;
    }
    char tmp[max_int_chars];
    char* t = tmp + sizeof tmp;
    while (u >= 100) {
        unsigned pair = static_cast<unsigned>(u % 100) * 2;
        u /= 100;
        *--t = digit_pairs[pair + 1];
        *--t = digit_pairs[pair];
    }
    if (u >= 10) {
        *--t = digit_pairs[u * 2 + 1];
        *--t = digit_pairs[u * 2];
    } else {
        *--t = static_cast<char>('0' + u);
    }
    std::size_t n = static_cast<std::size_t>(tmp + sizeof tmp - t);
    std::memcpy(p, t, n);
    return p + n;
}

bool write_all(int fd, const char* data, std::size_t len) {
    while (len > 0) {
        ssize_t n = write(fd, data, len);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        len -= static_cast<std::size_t>(n);
    }
    return true;
}

out_buf make_out_buf(int fd, std::size_t capacity) {
    out_buf o;
    o.fd = fd;
    o.buf.resize(capacity);
    return o;
}

// After a failed write the rest is dropped: the run has failed already, and
// the failure is reported when the output is closed.
void out_flush(out_buf& o) {
    if (o.used > 0 && !o.failed && !write_all(o.fd, o.buf.data(), o.used)) o.failed = true;
    o.used = 0;
}

char* out_reserve(out_buf& o, std::size_t n) {
    if (o.buf.size() - o.used < n) {
        out_flush(o);
        if (o.buf.size() < n) o.buf.resize(n);
    }
    return o.buf.data() + o.used;
}

void out_put(out_buf& o, std::string_view text) {
    char* p = out_reserve(o, text.size());
    std::memcpy(p, text.data(), text.size());
    out_commit(o, p + text.size());
}

// The last block can land in the page cache and the close still fail, on a
// full disk or a network file system: a failed close is a failed run.
bool out_close(out_buf& o) {
    out_flush(o);
    if (close(o.fd) != 0) o.failed = true;
    o.fd = -1;
    return !o.failed;
}

static int open_retrying(const char* path, int flags) {
    int fd;
    do {
        fd = open(path, flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int open_input(const char* path) { return open_retrying(path, O_RDONLY); }

int open_output(const char* path) { return open_retrying(path, O_WRONLY | O_CREAT | O_TRUNC); }

bool keep_std_streams_open() {
    bool stdout_open = true;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        if (fd == 1) stdout_open = false;
        // open() returns the lowest free number, which is this one.
        open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    }
    return stdout_open;
}

constexpr std::size_t console_capacity = 4096;

out_buf make_console() { return make_out_buf(STDOUT_FILENO, console_capacity); }

void put_done_line(out_buf& console, int result) {
    char* p = out_reserve(console, max_int_chars + 8);
    std::memcpy(p, "done: ", 6);
    p = write_int(p + 6, result);
    *p++ = '\n';
    out_commit(console, p);
}

int usage(std::string_view format_line) {
    keep_std_streams_open();
    out_buf console = make_console();
    out_put(console, format_line);
    out_close(console);
    return exit_usage;
}

int finish(out_buf& console, bool console_ok, int result, bool run_ok) {
    put_done_line(console, result);
    bool written = out_close(console);
    return run_ok && console_ok && written ? exit_ok : exit_failed;
}
