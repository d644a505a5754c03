#include "transfile.h"

#include <cstring>


// A header line's word ends at any white space, the line feed included,
// and at a NUL byte, where a line read into a C string ends: nothing after
// a NUL is read.
static bool ends_word(char c) { return c == '\n' || c == '\0' || is_blank(c); }

header_shape parse_header_line(const char* p, std::string& keyword, std::int64_t& number) {
    header_shape shape;
    p = skip_blanks(p);
    const char* word = p;
    while (!ends_word(*p)) ++p;
    if (p != word) {
        shape.keyword = true;
        keyword.assign(word, p);
        const char* end = *p != '\0' ? scan_int(p, number) : nullptr;
        shape.number = end != nullptr;
        if (end != nullptr) p = end;
    }
    shape.rest = skip_blanks(p);
    return shape;
}

bool read_header_line(line_reader& in, std::string& keyword, std::int64_t& number, header_shape* shape) {
    const char* line = take_line(in);
    if (line == nullptr) return false;
    header_shape read = parse_header_line(line, keyword, number);
    if (shape != nullptr) *shape = read;
    return true;
}

bool copy_header(line_reader& in, out_buf& out, tra_header& h) {
    if (!read_header_line(in, h.states, h.size) || !read_header_line(in, h.transitions, h.nnz)) return false;
    write_header_line(out, h.states, h.size);
    write_header_line(out, h.transitions, h.nnz);
    return true;
}

void write_header_line(out_buf& out, std::string_view keyword, std::int64_t number) {
    out_put(out, keyword);
    char* q = out_line_room(out);
    *q++ = ' ';
    q = write_int(q, number);
    *q++ = '\n';
    out.pos = q;
}

// An index that "%d" writes as it stands: digits without a sign or a
// leading zero.
static bool plain_index(const char* digits, const char* field_end) {
    return (*digits >= '1' && *digits <= '9') || (*digits == '0' && field_end == digits + 1);
}

// The row at a line's start, where it is a plain index of one to seven
// digits and a blank: the start of the field after it, else null. The row
// text learns it.
[[gnu::always_inline]] inline const char* after_common_row(std::uint64_t w, const char* p, row_text& rows) {
    if ((w & rows.mask) == rows.text) return p + rows.digits + 1;
    int n = leading_digits(w);
    if (static_cast<unsigned>(n - 1) >= 7 || p[n] != ' ' || ((w & 0xFF) == '0' && n > 1)) return nullptr;
    rows.mask = ~std::uint64_t{0} >> (56 - 8 * n);  // the digits and the blank
    rows.text = w & rows.mask;
    rows.digits = n;
    rows.row = static_cast<std::int64_t>(digits_value(w, n));
    rows.key = reversed_bytes(w) >> (64 - 8 * n);
    return p + n + 1;
}

bool take_common_indices(row_text& rows, const char* p, common_indices& ix, entry_use use) {
    const char* col_start = after_common_row(load_line_word(p), p, rows);
    if (col_start == nullptr) return false;
    std::uint64_t col = load_line_word(col_start);
    int m = leading_digits(col);
    if (static_cast<unsigned>(m - 1) >= 7) return false;
    // A leading zero is rare, so the first digit is looked at first. The
    // col of a line only summed is passed over: its text does not matter.
    if (use != entry_use::sums && (col & 0xFF) == '0' && m > 1) return false;
    ix.row = rows.row;
    ix.row_key = rows.key;
    ix.col_word = col;
    ix.row_digits = rows.digits;
    ix.col_digits = m;
    ix.col_end = col_start + m;
    return true;
}

std::int64_t col_value(const common_indices& ix) {
    return static_cast<std::int64_t>(digits_value(ix.col_word, ix.col_digits));
}

const char* take_common_value(const common_indices& ix, double& value) {
    if (*ix.col_end != ' ') return nullptr;
    const char* end = scan_common_real(ix.col_end + 1, value);
    return end != nullptr && *end == '\n' ? end : nullptr;
}

// The line feed of a line whose fields ended at p, and whether anything
// but white space came before it.
static other_line line_end(const char* p, const char* lines_end, int supplied) {
    const char* rest = skip_blanks(p);
    const char* line_feed = line_feed_after(rest, lines_end);
    return {line_feed, {supplied, rest != line_feed}, rest};
}

template <entry_use use>
[[gnu::always_inline]] inline other_line parse_entry(const char* p, const char* lines_end, entry_cursor& c) {
    tra_entry& e = c.e;
    const char* line = p;
    constexpr bool copied = use == entry_use::copy || use == entry_use::copy_and_sum;
    if (copied) e.indices = nullptr;
    const char* row_end = scan_int(p, e.row);
    if (row_end == nullptr) return line_end(p, lines_end, 0);
    const char* col_end = use == entry_use::sums ? skip_int(row_end) : scan_int(row_end, e.col);
    if (col_end == nullptr) return line_end(row_end, lines_end, 1);
    if (copied && plain_index(line, row_end) && *row_end == ' ' && plain_index(row_end + 1, col_end)) {
        e.indices = line;
        e.row_length = static_cast<std::uint32_t>(row_end - line);
        e.indices_length = static_cast<std::uint32_t>(col_end - line);
    }
    const char* val_end;
    if (copied) {
        val_end = scan_copied_real(col_end, e.val);
        if (use == entry_use::copy_and_sum && val_end != nullptr && e.val.kept == copied_real::form::as_fixed)
            scan_real(col_end, e.val.value);
    } else {
        val_end = scan_real(col_end, e.val.value);
        if (val_end != nullptr) e.val.kept = copied_real::form::as_double;
    }
    return val_end != nullptr ? line_end(val_end, lines_end, 3) : line_end(col_end, lines_end, 2);
}

// The fields of the last common line, taken into the entry.
static void settle_fields(entry_cursor& c, const char* lines_end) {
    if (c.pending == nullptr) return;
    parse_entry<entry_use::values>(c.pending, lines_end, c);
    c.pending = nullptr;
}

bool more_entries(entry_cursor& c, line_reader& in) {
    settle_fields(c, in.lines_end);
    return more_lines(in);
}

// Rare, and kept out of the loops.
[[gnu::noinline]] other_line read_other_line(entry_cursor& c, const char* p, const char* lines_end, entry_use use) {
    settle_fields(c, lines_end);
    switch (use) {
        case entry_use::sums:
            return parse_entry<entry_use::sums>(p, lines_end, c);
        case entry_use::copy:
            return parse_entry<entry_use::copy>(p, lines_end, c);
        case entry_use::copy_and_sum:
            return parse_entry<entry_use::copy_and_sum>(p, lines_end, c);
        default:
            return parse_entry<entry_use::values>(p, lines_end, c);
    }
}

const char* parse_entry_line(const char* p, const char* lines_end, tra_entry& e) {
    entry_cursor c;
    c.e = e;
    const char* line_feed = parse_entry<entry_use::values>(p, lines_end, c).line_feed;
    e = c.e;
    return line_feed;
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

// Where the indices stand in the line as they are written, their text is
// copied (and raised by one on the text when shifted): cheaper than
// writing two numbers. Index texts of up to 16 bytes are copied as 16, as
// the line's buffer is padded and the output has room.
template <index_shift shift>
[[gnu::always_inline]] inline char* write_indices(char* q, const tra_entry& e) {
    if (e.indices != nullptr) {
        std::size_t n = e.indices_length;
        if (n <= 16)
            std::memcpy(q, e.indices, 16);
        else
            std::memcpy(q, e.indices, n);
        if (shift == index_shift::none ||
            (add_one(q, q + e.row_length) && add_one(q + e.row_length + 1, q + n)))
            return q + n;
    }
    q = shift == index_shift::plus_one ? write_int_plus_one(q, row_of(e)) : write_int(q, row_of(e));
    *q++ = ' ';
    return shift == index_shift::plus_one ? write_int_plus_one(q, col_of(e)) : write_int(q, col_of(e));
}

template <index_shift shift>
[[gnu::always_inline]] inline char* write_entry(char* q, const tra_entry& e) {
    q = write_indices<shift>(q, e);
    *q++ = ' ';
    q = write_fixed6(q, e.val);
    *q++ = '\n';
    return q;
}

char* write_entry_line(char* q, const tra_entry& e, index_shift shift) {
    return shift == index_shift::plus_one ? write_entry<index_shift::plus_one>(q, e) : write_entry<index_shift::none>(q, e);
}

// The common line copied at q: its indices as text, raised by one on the
// text when shifted ("row col " is at most 16 bytes, as the buffer is
// padded and the output has room), then its value.
template <index_shift shift>
[[gnu::always_inline]] inline const char* copy_common(char*& q, const char* p, const common_indices& ix,
                                                     double* value) {
    if (*ix.col_end != ' ') return nullptr;
    auto n = static_cast<std::size_t>(ix.col_end - p);
    std::memcpy(q, p, 16);
    if (shift == index_shift::plus_one &&
        !(add_one(q, q + ix.row_digits) && add_one(q + ix.row_digits + 1, q + n)))
        return nullptr;
    char* t = q + n + 1;
    const char* end = value != nullptr ? copy_common_real(ix.col_end + 1, t, *value) : copy_common_real(ix.col_end + 1, t);
    if (end == nullptr) return nullptr;
    *t++ = '\n';
    q = t;
    return end;
}

const char* copy_common_line(char*& q, const char* p, const common_indices& ix, index_shift shift) {
    return shift == index_shift::plus_one ? copy_common<index_shift::plus_one>(q, p, ix, nullptr)
                                          : copy_common<index_shift::none>(q, p, ix, nullptr);
}

const char* copy_common_line(char*& q, const char* p, const common_indices& ix, double& value) {
    return copy_common<index_shift::none>(q, p, ix, &value);
}

bool close_both(line_reader& in, out_buf& out, const char* infile, const char* outfile, failure& why) {
    close_reader(in);
    if (in.failed) {
        out_discard(out);
        why = reading_failure(in, infile);
        return false;
    }
    if (out_close(out)) return true;
    why = system_failure(out.spool_failed ? out.spool_folder.c_str() : output_name(outfile), out.error);
    return false;
}
