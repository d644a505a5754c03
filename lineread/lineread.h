// Reading lines and numbers, and writing blocks: the input and output layer
// that every tool shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

// Input is read in blocks this large; a line is handed out as a view into
// the block, so only a line that straddles two blocks is ever moved. Output
// is collected into blocks this large before it is written. Fuzzing builds
// take tiny blocks, so that short inputs cross block boundaries too.
#ifdef TINY_BLOCKS
constexpr std::size_t read_block_size = 64;
constexpr std::size_t write_block_size = 64;
#else
constexpr std::size_t read_block_size = 256 * 1024;
constexpr std::size_t write_block_size = 1024 * 1024;
#endif

struct free_deleter {
    void operator()(void* p) const noexcept { std::free(p); }
};

// A byte buffer that grows and shrinks without clearing the new bytes: every
// byte is written before it is read, and clearing megabytes of buffers costs
// as much as the work on a small file. Large buffers are resized by realloc,
// which on Linux moves their pages instead of copying them, so that a line
// of a gigabyte is never held twice. Throws std::bad_alloc when memory runs
// out.
struct byte_buffer {
    std::unique_ptr<char, free_deleter> bytes;
    std::size_t length = 0;
    char* data() const noexcept { return bytes.get(); }
    std::size_t size() const noexcept { return length; }
    void resize(std::size_t n);
};

struct line_reader {
    int fd = -1;
    int copy_fd = -1;  // when open, every block read is also written here
    // The buffer starts at two blocks and keeps a block free to read into.
    std::size_t block = read_block_size;
    byte_buffer buf;
    std::size_t begin = 0;    // first byte not yet handed out
    std::size_t scanned = 0;  // bytes after begin known to hold no line feed
    std::size_t end = 0;      // end of the bytes read so far
    bool at_eof = false;
    bool failed = false;  // a read error (or a failed copy) ended the input
};

line_reader make_line_reader(int fd, int copy_fd = -1, std::size_t block = read_block_size);

// Hands out the line that ends at the first line feed after the bytes
// already searched, if there is one.
inline bool take_line(line_reader& r, std::string_view& line, const char* start, std::size_t avail) {
    const void* lf = std::memchr(start + r.scanned, '\n', avail - r.scanned);
    if (lf == nullptr) return false;
    std::size_t len = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
    line = std::string_view(start, len);
    r.begin += len;
    r.scanned = 0;
    return true;
}

bool next_line_after_block(line_reader& r, std::string_view& line);

// The next line, line feed included; a last line without one is a line too.
// Returns false at the end of the input or once a read has failed.
inline bool next_line(line_reader& r, std::string_view& line) {
    return take_line(r, line, r.buf.data() + r.begin, r.end - r.begin) || next_line_after_block(r, line);
}

// Number fields, scanned from p up to end and never past it. On success p
// moves past the number and the value is set; on failure both are left.
// Integers are signed 64-bit: a run of digits beyond that range fails.
// White space before the number is skipped as the C library's scanf does.
// The bytes from begin (the start of the line, at or before p) may be read
// too: near the end of a line that lets digits be taken a word at a time.
bool scan_int(const char*& p, const char* end, std::int64_t& value, const char* begin) noexcept;
bool scan_real(const char*& p, const char* end, double& value, const char* begin) noexcept;
// Passes over an integer field as scan_int reads it, without its value.
bool skip_int(const char*& p, const char* end, const char* begin) noexcept;
inline bool scan_int(const char*& p, const char* end, std::int64_t& value) noexcept {
    return scan_int(p, end, value, p);
}
inline bool scan_real(const char*& p, const char* end, double& value) noexcept {
    return scan_real(p, end, value, p);
}

// A value of at least zero rounded to six decimals, as "%lf" writes it: a
// count of millionths.
struct fixed6 {
    std::uint64_t micros = 0;
};

// A real field whose text alone decides how its value rounds to six
// decimals: a plain decimal below 10^4, without sign or exponent, not too
// near a half millionth. Gives what "%lf" writes for the double scan_real
// reads, without finding that double. False, with p and value left, for any
// other text, including fields that fail: scan_real decides those.
bool scan_fixed6(const char*& p, const char* end, fixed6& value, const char* begin) noexcept;

// Blank, tab, line feed, vertical tab, form feed, carriage return: one bit
// each in a mask indexed by the character.
inline bool is_space(char c) noexcept {
    constexpr unsigned long long space_bits = 1ULL << ' ' | 0x1FULL << '\t';
    auto u = static_cast<unsigned char>(c);
    return u <= ' ' && (space_bits >> u & 1);
}

inline const char* skip_space(const char* p, const char* end) noexcept {
    while (p != end && is_space(*p)) ++p;
    return p;
}

constexpr unsigned long long powers_of_ten[] = {1ULL,
                                                10ULL,
                                                100ULL,
                                                1000ULL,
                                                10000ULL,
                                                100000ULL,
                                                1000000ULL,
                                                10000000ULL,
                                                100000000ULL,
                                                1000000000ULL,
                                                10000000000ULL,
                                                100000000000ULL,
                                                1000000000000ULL,
                                                10000000000000ULL,
                                                100000000000000ULL,
                                                1000000000000000ULL,
                                                10000000000000000ULL,
                                                100000000000000000ULL,
                                                1000000000000000000ULL,
                                                10000000000000000000ULL};

// x / d by one multiplication with 2^64 / d rounded up, exact while x * d
// stays below 2^64. For a constant divisor compilers may emit a division
// instruction, several times slower, where a quotient and a remainder are
// both wanted.
template <std::uint64_t d>
constexpr std::uint64_t quotient(std::uint64_t x) noexcept {
    constexpr std::uint64_t reciprocal = UINT64_MAX / d + 1;
    return static_cast<std::uint64_t>((static_cast<unsigned __int128>(x) * reciprocal) >> 64);
}

// The longest decimal text write_int produces, sign included.
constexpr std::size_t max_int_chars = 20;

// Writes v in decimal at p and returns the end of what was written. The
// max_int_chars bytes at p must be writable: past the end they are scratch.
char* write_int(char* p, std::int64_t v) noexcept;
// Writes v + 1, which for the largest v is 2^63: no wrap.
char* write_int_plus_one(char* p, std::int64_t v) noexcept;
// Writes u as exactly n digits, with leading zeros where u has fewer; eight
// bytes at p (or n, if more) must be writable.
char* write_uint_digits(char* p, unsigned long long u, int n) noexcept;

struct out_buf {
    int fd = -1;
    byte_buffer buf;
    std::size_t used = 0;
    bool failed = false;  // sticky: a failed write is reported at the close
};

out_buf make_out_buf(int fd, std::size_t capacity = write_block_size);
// An output that writes nothing: it grows to hold what is put into it.
out_buf make_memory_buf(std::size_t capacity);
inline std::string_view out_text(const out_buf& o) { return {o.buf.data(), o.used}; }

// Room for n more bytes at the returned pointer; out_commit takes the end of
// what was written there.
char* out_reserve(out_buf& o, std::size_t n);
inline void out_commit(out_buf& o, const char* new_end) {
    o.used = static_cast<std::size_t>(new_end - o.buf.data());
}
void out_put(out_buf& o, std::string_view text);
void out_flush(out_buf& o);
// Flushes and closes; false when any write or the close failed.
bool out_close(out_buf& o);

bool write_all(int fd, const char* data, std::size_t len);

// Opens a path for reading (a directory fails to open), or for writing
// (created, or truncated to empty), or for writing without truncating.
// All return -1 on failure.
int open_input(const char* path);
int open_output(const char* path);
int open_output_untruncated(const char* path);

// Reopens /dev/null onto any of the standard descriptors that is closed, so
// that a file opened later cannot take its number and receive the messages.
// Returns false when standard output was closed.
bool keep_std_streams_open();

// The console: standard output, written line by line as the messages come,
// with nothing allocated, so that a run out of memory can still say so.
struct console {
    int fd = 1;
    bool failed = false;  // sticky, as for output files
};
void console_put(console& c, std::string_view text);
void put_done_line(console& c, std::int64_t result);

// Exit statuses shared by the tools.
constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

// Prints the usage line and gives the status to exit with.
int usage(std::string_view format_line);
// Prints the done line, closes standard output and gives the exit status:
// a failed run, or a console that could not be written, is a failure.
int finish(console& c, bool console_ok, std::int64_t result, bool run_ok);

// Runs a conversion; a failed allocation anywhere in it is a failed run,
// which gives `failed`, and never an abort.
template <typename Result, typename Conversion>
Result unless_out_of_memory(Result failed, Conversion conversion) noexcept {
    try {
        return conversion();
    } catch (const std::bad_alloc&) {
        return failed;
    }
}
