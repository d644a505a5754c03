// The transition file: two header lines (a keyword and a number each), then
// one entry line "row col value" per matrix entry.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

#include "numbers.h"
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
// copied); to be copied and summed (as copied, with the value's double
// always there as well).
enum class entry_use { values, sums, copy, copy_and_sum };

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
// The same, unshifted, with the value's double as scan_real reads it, from
// one reading of its text.
const char* copy_common_line(char*& q, const char* p, const common_indices& ix, double& value);

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

// "%d %d %lf\n" at q, with the indices as they are or each plus one (the
// largest, 2^63 - 1, becomes 2^63); returns the end. max_line_output / 2
// bytes at q must be free.
char* write_entry_line(char* q, const tra_entry& e, index_shift shift);

// Closes the input, then the output: true when every read and every write
// succeeded, else false with the reason.
bool close_both(line_reader& in, out_buf& out, const char* infile, const char* outfile, failure& why);
