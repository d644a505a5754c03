#include <cstdint>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "transfile.h"

void parse_header_line(std::string_view line, std::string& keyword, std::int64_t& number) {
    const char* p = skip_space(line.data(), line.data() + line.size());
    const char* end = line.data() + line.size();
    const char* word = p;
    while (p != end && !is_space(*p)) ++p;
    if (p == word) return;
    keyword.assign(word, p);
    scan_int(p, end, number);
}

enum class entry_use { all, sums, copy };

// A field that "%d" writes as it stands: digits without a leading zero.
static bool plain_index(const char* digits, const char* field_end) {
    return (*digits >= '1' && *digits <= '9') || (*digits == '0' && field_end == digits + 1);
}

template <entry_use use>
[[gnu::always_inline]] inline bool parse_entry(std::string_view line, tra_entry& e) {
    const char* begin = line.data();
    const char* end = begin + line.size();
    const char* p = begin;
    if (use == entry_use::copy) e.indices = {};
    if (!scan_int(p, end, e.row, begin)) return false;
    const char* row_end = p;
    if (use == entry_use::sums ? !skip_int(p, end, begin) : !scan_int(p, end, e.col, begin)) return false;
    if constexpr (use == entry_use::copy) {
        // Both fields were read, so a blank after the row comes before the col.
        if (plain_index(begin, row_end) && *row_end == ' ' && plain_index(row_end + 1, p)) {
            e.indices = std::string_view(begin, static_cast<std::size_t>(p - begin));
            e.row_length = static_cast<std::size_t>(row_end - begin);
        }
    }
    if (use == entry_use::copy && scan_fixed6(p, end, e.val6, begin)) {
        e.in_val6 = true;
        return true;
    }
    if (!scan_real(p, end, e.val, begin)) return false;
    e.in_val6 = false;
    return true;
}

[[gnu::flatten]] bool parse_entry_line(std::string_view line, tra_entry& e) {
    return parse_entry<entry_use::all>(line, e);
}

[[gnu::flatten]] bool parse_summed_entry_line(std::string_view line, tra_entry& e) {
    return parse_entry<entry_use::sums>(line, e);
}

[[gnu::flatten]] bool parse_copied_entry_line(std::string_view line, tra_entry& e) {
    return parse_entry<entry_use::copy>(line, e);
}

bool read_header_line(line_reader& in, std::string& keyword, std::int64_t& number) {
    std::string_view line;
    if (!next_line(in, line)) return false;
    parse_header_line(line, keyword, number);
    return true;
}

bool copy_header(line_reader& in, out_buf& out, tra_header& h) {
    if (!read_header_line(in, h.states, h.size) || !read_header_line(in, h.transitions, h.nnz))
        return false;
    write_header_line(out, h.states, h.size);
    write_header_line(out, h.transitions, h.nnz);
    return true;
}

void write_header_line(out_buf& out, std::string_view keyword, std::int64_t number) {
    out_put(out, keyword);
    char* p = out_reserve(out, max_int_chars + 2);
    *p++ = ' ';
    p = write_int(p, number);
    *p++ = '\n';
    out_commit(out, p);
}

// An index as it is, or plus one.
template <bool shifted>
[[gnu::always_inline]] inline char* write_index(char* p, std::int64_t v) {
    return shifted ? write_int_plus_one(p, v) : write_int(p, v);
}

template <bool shifted = false, typename Value>
[[gnu::always_inline]] inline void write_entry(out_buf& out, std::int64_t row, std::int64_t col, Value val) {
    char* p = out_reserve(out, 2 * max_int_chars + max_fixed6_chars + 3);
    p = write_index<shifted>(p, row);
    *p++ = ' ';
    p = write_index<shifted>(p, col);
    *p++ = ' ';
    p = write_fixed6(p, val);
    *p++ = '\n';
    out_commit(out, p);
}

// A short text, as two words or two halves that may overlap: cheaper than a
// call to copy a few bytes, and never past the text's end.
[[gnu::always_inline]] inline char* copy_short(char* p, std::string_view text) {
    std::size_t n = text.size();
    auto copy_pair = [&](auto word) {
        constexpr std::size_t w = sizeof word;
        std::memcpy(&word, text.data(), w);
        std::memcpy(p, &word, w);
        std::memcpy(&word, text.data() + n - w, w);
        std::memcpy(p + n - w, &word, w);
    };
    if (n >= 8 && n <= 16)
        copy_pair(std::uint64_t{});
    else if (n >= 4 && n < 8)
        copy_pair(std::uint32_t{});
    else
        std::copy(text.begin(), text.end(), p);
    return p + n;
}

// Adds one to the decimal digits from first up to stop, in place; false when
// they are all nines, as the number would need one more digit.
static bool add_one(char* first, char* stop) {
    for (char* d = stop; d != first;) {
        if (*--d != '9') {
            ++*d;
            return true;
        }
        *d = '0';
    }
    return false;
}

// The entry with its indices as the line has them, or each plus one when
// shifted; false, with nothing written, where a shifted index gains a digit.
template <bool shifted, typename Value>
[[gnu::always_inline]] inline bool write_entry_from_text(out_buf& out, const tra_entry& e, Value val) {
    char* start = out_reserve(out, e.indices.size() + 1 + max_fixed6_chars + 2);
    char* p = copy_short(start, e.indices);
    if (shifted && !(add_one(start, start + e.row_length) && add_one(start + e.row_length + 1, p))) return false;
    *p++ = ' ';
    p = write_fixed6(p, val);
    *p++ = '\n';
    out_commit(out, p);
    return true;
}

template <bool shifted>
[[gnu::always_inline]] inline bool write_from_text(out_buf& out, const tra_entry& e) {
    if (e.indices.empty()) return false;
    return e.in_val6 ? write_entry_from_text<shifted>(out, e, e.val6) : write_entry_from_text<shifted>(out, e, e.val);
}

[[gnu::flatten]] void write_entry_line(out_buf& out, std::int64_t row, std::int64_t col, double val) {
    write_entry(out, row, col, val);
}

template <bool shifted>
[[gnu::always_inline]] inline void write_parsed_entry(out_buf& out, const tra_entry& e) {
    if (e.in_val6)
        write_entry<shifted>(out, e.row, e.col, e.val6);
    else
        write_entry<shifted>(out, e.row, e.col, e.val);
}

[[gnu::flatten]] void write_copied_entry_line(out_buf& out, const tra_entry& e) { write_parsed_entry<false>(out, e); }

// Where the indices stand in the line as they would be written, their text
// is copied: cheaper than writing two numbers.
[[gnu::flatten]] void write_unchanged_entry_line(out_buf& out, const tra_entry& e) {
    if (!write_from_text<false>(out, e)) write_parsed_entry<false>(out, e);
}

[[gnu::flatten]] void write_shifted_entry_line(out_buf& out, const tra_entry& e) {
    if (!write_from_text<true>(out, e)) write_parsed_entry<true>(out, e);
}

file_id identify(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) return {};
    return {st.st_dev, st.st_ino, true};
}

int open_output_apart(const char* path, file_id input) {
    struct stat st;
    if (input.known && stat(path, &st) == 0 && st.st_dev == input.dev && st.st_ino == input.ino)
        return -1;
    return open_output(path);
}

bool open_output_beside(int ip, file_id input, const char* outfile, int& op) {
    op = ip >= 0 ? open_output_apart(outfile, input) : open_output_untruncated(outfile);
    if (ip >= 0 && op >= 0) return true;
    if (ip >= 0) close(ip);
    if (op >= 0) close(op);
    return false;
}

bool close_both(line_reader& in, out_buf& out) {
    bool read_ok = !in.failed;
    close(in.fd);
    bool written = out_close(out);
    return read_ok && written;
}
