// The transition file: two header lines (a keyword and a number each), then
// one entry line "row col value" per matrix entry.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "fixed6.h"
#include "output.h"
#include "reader.h"

// Fields keep their values from line to line: a line that does not supply a
// field leaves it as it was.
struct tra_header {
    std::string states;
    std::int64_t size = 0;
    std::string transitions;
    std::int64_t nnz = 0;
};

// The fields as carried from line to line. A common line's indices are
// read on the fast path as common_indices, from their digits; these hold
// the values of any line read in full, or settled.
struct tra_entry {
    std::int64_t row = 0;
    std::int64_t col = 0;
    copied_real val;
    // The text of row and col in the line last parsed to be copied, where it
    // is just what "%d %d" writes for them; null otherwise. Valid while the
    // line is. The row takes its first row_length bytes.
    const char* indices = nullptr;
    std::uint32_t row_length = 0;
    std::uint32_t indices_length = 0;
};

inline std::int64_t row_of(const tra_entry& e) { return e.row; }
inline std::int64_t col_of(const tra_entry& e) { return e.col; }

// What a header line gave: a word, a number after it, and whether anything
// but white space follows the number (where it starts).
struct header_shape {
    bool keyword = false;
    bool number = false;
    const char* rest = nullptr;
};
// "%s%d" on the line at p: a word, then an integer.
header_shape parse_header_line(const char* p, std::string& keyword, std::int64_t& number);
// Reads the next line as a header line; false when there is none.
bool read_header_line(line_reader& in, std::string& keyword, std::int64_t& number, header_shape* shape = nullptr);
// Reads both header lines and, when both are there, writes them back as
// parsed. Returns false when the input ended before the second.
bool copy_header(line_reader& in, out_buf& out, tra_header& h);
void write_header_line(out_buf& out, std::string_view keyword, std::int64_t number);

// The row of the line before, kept as its text with the blank after it,
// and its value: a common line that begins with the same bytes has the same
// row, which need not be scanned or worked out again. At first it matches
// no line.
struct row_text {
    std::uint64_t mask = 0xFF;
    std::uint64_t text = 0x100;
    int digits = 0;
    std::int64_t row = 0;
    std::uint64_t key = 0;  // its digits with the first on top, ordered as the rows
};

// What an entry line's fields are read for: their values (the value as a
// double); to be summed (col only passed over); to be copied (the value
// kept as it will be written, and the text of the indices where it can be
// copied).
enum class entry_use { values, sums, copy };

// What an entry line gave: how many of row, col and value in that order it
// supplied, up to the first that could not be read, and whether anything
// but white space follows its value.
struct line_shape {
    int supplied = 3;
    bool trailing = false;
};

// "%d%d%lf" on the line at p, whose line feed comes before lines_end:
// fields are assigned up to the first that cannot be read; their values.
// Returns the line's line feed.
const char* parse_entry_line(const char* p, const char* lines_end, tra_entry& e);

// The start of a common line: plain indices of one to seven digits, as
// "%d" writes them, the row at the line's start and a blank after it.
struct common_indices {
    std::int64_t row = 0;
    std::uint64_t row_key = 0;   // the row's digits with the first on top
    std::uint64_t col_word = 0;  // the col's digits, the first in the lowest byte
    int row_digits = 0;
    int col_digits = 0;
    const char* col_end = nullptr;
};
// col >= row, on their digits: the longer is the larger, and of two as
// long, the one whose digits, the first on top, make the larger number. A
// line of another shape compares its values.
inline bool col_at_least_row(const common_indices& ix) {
    if (ix.col_digits != ix.row_digits) return ix.col_digits > ix.row_digits;
    return reversed_bytes(ix.col_word) >> (64 - 8 * ix.col_digits) >= ix.row_key;
}

// The rest of the common line at p copied at q, as the entry reader and
// write_entry_line would, where its col is followed by one blank and a
// value that ends the line. Returns the line feed and
// moves q past the line; null for a line of another shape (bytes at q may
// have been written).
enum class index_shift { none, plus_one };
const char* copy_common_line(char*& q, const char* p, const common_indices& ix, index_shift shift);

// The entry reader: the fields as they carry over from line to line. A
// loop takes each line on the fast path (take_common_indices, with the
// row of the line before in a row_text of the loop's own, then the value
// by the loop's own need) or else through read_other_line. A common line
// sets every field, so a run of such lines need not store them: the last
// of the run is kept instead, and its fields taken only where a line of
// another shape comes, which may lack fields, or before its block is left.
// The row_text stays apart from the cursor, whose address the rare path
// takes, so that the loop keeps it in registers.
struct entry_cursor {
    tra_entry e;
    const char* pending = nullptr;  // the last common line, not yet in e
};

// Makes lines ready, as more_lines does, once the fields of the block
// being left are settled.
bool more_entries(entry_cursor& c, line_reader& in);
// The common line at p: its indices, or false for a line of any other
// shape. Every loop's fast path starts here (inlined by the loops'
// flatten). A col only summed need not be as "%d" writes it (a leading
// zero passes).
bool take_common_indices(row_text& rows, const char* p, common_indices& ix, entry_use use);
// The col's value, where it is wanted (in checks).
std::int64_t col_value(const common_indices& ix);
// The value of a common line, a plain decimal after one blank that ends the
// line: its line feed, or null for any other text.
const char* take_common_value(const common_indices& ix, double& value);
// The common line at p has been taken whole: its fields are now the ones
// to carry.
inline void took_common_line(entry_cursor& c, const char* p) { c.pending = p; }

// Any other line: the fields carried over are settled, the line read for
// the given use, and its line feed and shape given.
struct other_line {
    const char* line_feed;
    line_shape shape;
    const char* rest;  // where what follows the fields starts
};
other_line read_other_line(entry_cursor& c, const char* p, const char* lines_end, entry_use use);

// The checks both tools make of a transition file, in a strict or a check
// run: the header lines, each entry line, and at the end the count of
// entries against the header's. A default run makes none.
struct tra_checks {
    check_log* log = nullptr;
    std::int64_t low = 0;  // the indices the tool expects, low..high
    std::int64_t high = -1;
    std::uint64_t count = 0;  // how many: high - low + 1, or 0
    std::int64_t line = 0;  // the lines read so far
    tra_header header;
    std::int64_t tiny_values = 0;  // written as 0.000000 though not zero
    std::int64_t first_tiny = 0;
    line_notes lines;
};

// Reads both header lines, with their problems, into the checks' header:
// false when the input ended before the second. The expected indices
// follow from the size: 1..size (first_index 1) or 0..size-1 (0).
bool read_checked_header(line_reader& in, tra_checks& chk, std::int64_t first_index);
// Each returns false where a strict run stops. What the line at p supplied
// (a line of another shape); its indices; its value, once read.
bool check_shape(tra_checks& chk, const char* p, const other_line& read);
inline bool check_indices(tra_checks& chk, std::int64_t row, std::int64_t col);
bool check_value(tra_checks& chk, double value);
// A line's length, for the note on long lines (check runs only).
inline void check_length(tra_checks& chk, const char* p, const char* line_feed) {
    note_length(chk.lines, chk.line, line_feed - p);
}
// At the end: the count of entries, and the notes of the whole file.
bool finish_checks(tra_checks& chk, const line_reader& in);

// A check run's reading of the entry lines: each is checked by the
// format's rules and handed, where whole, to entry(row, col, value), the
// tool's own check (false where the run stops). A line that lacks fields
// repeats the entry before it, which has been checked already.
template <typename EntryCheck>
void check_entries(line_reader& in, tra_checks& chk, EntryCheck&& entry) {
    entry_cursor c;
    row_text rows;
    while (more_entries(c, in)) {
        const char* p = in.next;
        const char* end = in.lines_end;
        while (p != end) {
            ++chk.line;
            common_indices ix;
            double val;
            const char* line_feed = nullptr;
            if (take_common_indices(rows, p, ix, entry_use::sums)) line_feed = take_common_value(ix, val);
            if (line_feed != nullptr) {
                took_common_line(c, p);
                check_length(chk, p, line_feed);
                entry(ix.row, col_value(ix), val);
            } else {
                other_line read = read_other_line(c, p, end, entry_use::values);
                line_feed = read.line_feed;
                check_length(chk, p, line_feed);
                if (check_shape(chk, p, read) && read.shape.supplied == 3)
                    entry(row_of(c.e), col_of(c.e), c.e.val.value);
            }
            p = line_feed + 1;
        }
        in.next = p;
    }
}
// A check run's input, opened and read whole with the checks (entry is the
// tool's own, as for check_entries): false, with the reason, where it
// cannot be opened or read.
template <typename EntryCheck>
bool check_tra_input(const char* tool, const char* infile, standard_streams streams, std::int64_t first_index,
                     tra_checks& chk, EntryCheck&& entry, failure& why) {
    int fd = open_input(infile, streams.input);
    if (fd < 0) {
        why = system_failure(input_name(infile), errno);
        return false;
    }
    line_reader in = make_line_reader(fd);
    in.progress = start_progress(tool, fd, 1);
    if (read_checked_header(in, chk, first_index)) {
        check_entries(in, chk, entry);
        finish_checks(chk, in);
    }
    close_reader(in);
    if (in.failed) why = reading_failure(in, infile);
    return !in.failed;
}

// The format's own checks of a whole entry: its indices, then its value;
// false where the run stops. Only one problem is reported a line.
inline bool check_entry(tra_checks& chk, std::int64_t row, std::int64_t col, double value) {
    std::int64_t problems = chk.log->problems;
    return check_indices(chk, row, col) && (chk.log->problems != problems || check_value(chk, value));
}

bool report_index(tra_checks& chk, const char* which, std::int64_t index);
// low <= index <= high in one comparison: below low, the difference wraps
// to a huge unsigned number.
inline bool index_in_range(const tra_checks& chk, std::int64_t index) {
    return static_cast<std::uint64_t>(index) - static_cast<std::uint64_t>(chk.low) < chk.count;
}
// A strict run's bound for the cols of common lines, decided on their
// digits without working out their values: high's digits, and the word of
// them reversed (the first on top) where it has fewer than eight (else
// every common col lies below it). A col of as many digits compares as the
// same reversal of its word, cut to them. A col whose first digit is 0 (a
// 0, or a leading zero) goes the way of check_indices instead.
struct common_col_bound {
    int digits = 0;
    std::uint64_t mask = 0;
    std::uint64_t key = 0;
};
common_col_bound make_col_bound(const tra_checks& chk);
inline bool common_col_in_range(const common_col_bound& b, const common_indices& ix) {
    if (ix.col_digits != b.digits) return ix.col_digits < b.digits && (ix.col_word & 0xFF) != '0';
    return reversed_bytes(ix.col_word & b.mask) <= b.key && (ix.col_word & 0xFF) != '0';
}
inline bool check_indices(tra_checks& chk, std::int64_t row, std::int64_t col) {
    if (!index_in_range(chk, row)) return report_index(chk, "row", row);
    if (!index_in_range(chk, col)) return report_index(chk, "col", col);
    return true;
}

// "%d %d %lf\n" at q, with the indices as they are or each plus one (the
// largest, 2^63 - 1, becomes 2^63); returns the end. max_line_output / 2
// bytes at q must be free.
char* write_entry_line(char* q, const tra_entry& e, index_shift shift);

// Closes the input, then the output: true when every read and every write
// succeeded, else false with the reason.
bool close_both(line_reader& in, out_buf& out, const char* infile, const char* outfile, failure& why);
