// The transition file: two header lines (a keyword and a number each), then
// one entry line "row col value" per matrix entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// The indices are turned into numbers only where a tool asks for them.
struct tra_entry {
    lazy_int row;
    lazy_int col;
    copied_real val;
    // The text of row and col in the line last parsed to be copied, where it
    // is just what "%d %d" writes for them; null otherwise. Valid while the
    // line is. The row takes its first row_length bytes.
    const char* indices = nullptr;
    std::uint32_t row_length = 0;
    std::uint32_t indices_length = 0;
};

inline std::int64_t row_of(const tra_entry& e) { return value_of(e.row); }
inline std::int64_t col_of(const tra_entry& e) { return value_of(e.col); }
// col >= row, on the digits where the line's indices were plain and short.
inline bool col_at_least_row(const tra_entry& e) {
    if (e.indices != nullptr && e.row.digits != 0 && e.col.digits != 0) return at_least(e.col, e.row);
    return col_of(e) >= row_of(e);
}

// "%s%d" on the line at p: a word, then an integer.
void parse_header_line(const char* p, std::string& keyword, std::int64_t& number);
// Reads the next line as a header line; false when there is none.
bool read_header_line(line_reader& in, std::string& keyword, std::int64_t& number);
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
};

// "%d%d%lf" on the line at p, whose line feed comes before lines_end:
// fields are assigned up to the first that cannot be read. Each returns
// the line's line feed. To be summed, col is only passed over and the value
// is kept as a double; to be copied, the value is kept as it will be
// written and the text of the indices is kept where it can be copied, and
// rows knows a repeated row.
const char* parse_entry_line(const char* p, const char* lines_end, tra_entry& e);
const char* parse_summed_entry_line(const char* p, const char* lines_end, tra_entry& e);
const char* parse_copied_entry_line(const char* p, const char* lines_end, row_text& rows, tra_entry& e);

// The common line to be summed: plain indices of one to seven digits, each
// followed by one blank, and a plain decimal right before the line feed.
// Its line feed, with its row and value, which e keeps as well; null for a
// line of any other shape (to be parsed in full).
const char* take_common_summed_line(const char* p, row_text& rows, tra_entry& e, std::int64_t& row, double& value);

// "%d %d %lf\n" at q, with the indices as they are or each plus one (the
// largest, 2^63 - 1, becomes 2^63); returns the end. max_line_output / 2
// bytes at q must be free.
enum class index_shift { none, plus_one };
char* write_entry_line(char* q, const tra_entry& e, index_shift shift);

// An entry line copied at q as parse_copied_entry_line and write_entry_line
// would, in one pass where it is common (plain indices of one to seven
// digits and a value of the common text, each after one blank, right
// before the line feed). The end at q, and the line's line feed.
char* copy_entry_line(char* q, const char* p, const char* lines_end, row_text& rows, tra_entry& e, index_shift shift,
                      const char*& line_feed);

// Closes the input, then the output: true when every read and every write
// succeeded, else false with the reason.
bool close_both(line_reader& in, out_buf& out, const char* infile, const char* outfile, failure& why);
