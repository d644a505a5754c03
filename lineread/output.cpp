#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lineread.h"

static const char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// From the bit length: 1233 / 4096 is just above log10(2), so the estimate
// is the digit count or one less. u | 1 has as many digits as u.
static int decimal_digits(std::uint64_t u) noexcept {
    std::uint64_t v = u | 1;
    int estimate = ((64 - std::countl_zero(v)) * 1233) >> 12;
    return estimate + 1 - (v < powers_of_ten[estimate]);
}

// Pairs of digits from the end; 32-bit division where the value allows, as
// it is much cheaper and covers the indices and the decimals.
template <typename Unsigned>
static char* write_digits(char* p, Unsigned u, int n) noexcept {
    char* t = p + n;
    for (; t - p >= 2; u /= 100) {
        unsigned pair = static_cast<unsigned>(u % 100) * 2;
        *--t = digit_pairs[pair + 1];
        *--t = digit_pairs[pair];
    }
    if (t != p) *--t = static_cast<char>('0' + u % 10);
    return p + n;
}

// Eight digits of x < 10^8 as one word of byte values 0 to 9, first digit
// in the first byte: the halves, quarters and digits are split in all lanes
// at once, dividing by multiplication with 10486 / 2^20 (exact below 10^4
// for 100) and 103 / 2^10 (exact below 100 for 10).
static std::uint64_t eight_digit_values(std::uint32_t x) noexcept {
    std::uint64_t high = quotient<10000>(x);
    std::uint64_t v = high | (x - high * 10000) << 32;
    std::uint64_t t = (v * 10486) >> 20 & 0x0000007F0000007FULL;
    v = t | (v - t * 100) << 16;
    t = (v * 103) >> 10 & 0x000F000F000F000FULL;
    return t | (v - t * 10) << 8;
}

constexpr std::uint64_t ascii_zeros = 0x3030303030303030ULL;

constexpr std::uint32_t eight_digit_limit = 100000000;
constexpr bool word_at_a_time = std::endian::native == std::endian::little;

// The last n of the eight digits. The word is stored whole, as the caller's
// room for a number always spans eight bytes.
static char* put_last_digits(char* p, std::uint64_t values, int n) noexcept {
    std::uint64_t w = (values | ascii_zeros) >> (8 * (8 - n));
    std::memcpy(p, &w, sizeof w);
    return p + n;
}

char* write_uint_digits(char* p, unsigned long long u, int n) noexcept {
    if (word_at_a_time && u < eight_digit_limit && n <= 8)
        return put_last_digits(p, eight_digit_values(static_cast<std::uint32_t>(u)), n);
    if (u <= UINT32_MAX) return write_digits(p, static_cast<std::uint32_t>(u), n);
    return write_digits(p, static_cast<std::uint64_t>(u), n);
}

// The magnitude u, with no sign.
static char* write_uint(char* p, std::uint64_t u) noexcept {
    if (word_at_a_time && u < eight_digit_limit) {
        // The leading zeros are the low bytes; the last digit always counts.
        std::uint64_t values = eight_digit_values(static_cast<std::uint32_t>(u));
        return put_last_digits(p, values, 8 - std::countr_zero(values | std::uint64_t{1} << 56) / 8);
    }
    return write_uint_digits(p, u, decimal_digits(u));
}

char* write_int(char* p, std::int64_t v) noexcept {
    auto u = static_cast<std::uint64_t>(v);
    if (v < 0) {
        *p++ = '-';
        u = 0 - u;
    }
    return write_uint(p, u);
}

char* write_int_plus_one(char* p, std::int64_t v) noexcept {
    if (v < 0) return write_int(p, v + 1);
    return write_uint(p, static_cast<std::uint64_t>(v) + 1);
}

void byte_buffer::resize(std::size_t n) {
    void* grown = std::realloc(bytes.get(), n > 0 ? n : 1);
    if (grown == nullptr) throw std::bad_alloc();
    static_cast<void>(bytes.release());
    bytes.reset(static_cast<char*>(grown));
    length = n;
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
// the failure is reported when the output is closed. Once a block, so kept
// out of the loops that fill the blocks.
[[gnu::noinline]] void out_flush(out_buf& o) {
    if (o.used > 0 && !o.failed && !write_all(o.fd, o.buf.data(), o.used)) o.failed = true;
    o.used = 0;
}

out_buf make_memory_buf(std::size_t capacity) { return make_out_buf(-1, capacity); }

[[gnu::noinline]] static void make_room(out_buf& o, std::size_t n) {
    if (o.fd < 0) {
        o.buf.resize(std::max(2 * o.buf.size(), o.used + n));
        return;
    }
    out_flush(o);
    if (o.buf.size() < n) o.buf.resize(n);
}

char* out_reserve(out_buf& o, std::size_t n) {
    if (o.buf.size() - o.used < n) make_room(o, n);
    return o.buf.data() + o.used;
}

void out_put(out_buf& o, std::string_view text) {
    if (o.fd >= 0 && text.size() > o.buf.size()) {
        // A text longer than the buffer goes out as it is, not through it.
        out_flush(o);
        if (!o.failed && !write_all(o.fd, text.data(), text.size())) o.failed = true;
        return;
    }
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

// A directory opens for reading but its first read fails: refused here, so
// that the run fails before it touches the output.
int open_input(const char* path) {
    int fd = open_retrying(path, O_RDONLY);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        errno = EISDIR;
        return -1;
    }
    return fd;
}

int open_output(const char* path) { return open_retrying(path, O_WRONLY | O_CREAT | O_TRUNC); }

int open_output_untruncated(const char* path) { return open_retrying(path, O_WRONLY | O_CREAT); }

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

void console_put(console& c, std::string_view text) {
    if (!c.failed && !write_all(c.fd, text.data(), text.size())) c.failed = true;
}

void put_done_line(console& c, std::int64_t result) {
    char line[max_int_chars + 8] = "done: ";
    char* p = write_int(line + 6, result);
    *p++ = '\n';
    console_put(c, std::string_view(line, static_cast<std::size_t>(p - line)));
}

int usage(std::string_view format_line) {
    keep_std_streams_open();
    console c;
    console_put(c, format_line);
    return exit_usage;
}

int finish(console& c, bool console_ok, std::int64_t result, bool run_ok) {
    put_done_line(c, result);
    bool written = !c.failed && close(c.fd) == 0;
    return run_ok && console_ok && written ? exit_ok : exit_failed;
}
