// The transition file: two header lines (a keyword and a number each), then
// one entry line "row col value" per matrix entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "lineread.h"

// Fields keep their values from line to line: a line that does not supply a
// field leaves it as it was.
struct tra_header {
    std::string states;
    std::int64_t size = 0;
    std::string transitions;
    std::int64_t nnz = 0;
};

struct tra_entry {
    std::int64_t row = 0;
    std::int64_t col = 0;
    double val = 0.0;
    // A value that is only copied is kept as it will be written, where its
    // text decides that; val holds it otherwise.
    fixed6 val6;
    bool in_val6 = false;
    // The text of row and col in the line last parsed as copied, when it
    // is just what "%d %d" writes for them; empty otherwise. Valid while the
    // line is. The row takes its first row_length bytes.
    std::string_view indices;
    std::size_t row_length = 0;
};

// "%s%d": a word, then an integer.
void parse_header_line(std::string_view line, std::string& keyword, std::int64_t& number);
// "%d%d%lf": fields are assigned up to the first that cannot be read.
// True when the line gave all three, so that no field is left from an
// earlier line.
bool parse_entry_line(std::string_view line, tra_entry& e);
// The same for an entry that is only summed: col is checked, not kept.
bool parse_summed_entry_line(std::string_view line, tra_entry& e);
// The same for an entry that is only copied: its value goes to val6 where it
// can, which spares the conversion to a double and back, and the text of its
// indices is kept in indices where it can be copied.
bool parse_copied_entry_line(std::string_view line, tra_entry& e);

// Reads and parses the next header line; false when there is none.
bool read_header_line(line_reader& in, std::string& keyword, std::int64_t& number);
// Reads both header lines and, when both are there, writes them back.
// Returns false when the input ended before the second.
bool copy_header(line_reader& in, out_buf& out, tra_header& h);

// "%s %d\n" and "%d %d %lf\n", with 64-bit numbers.
void write_header_line(out_buf& out, std::string_view keyword, std::int64_t number);
void write_entry_line(out_buf& out, std::int64_t row, std::int64_t col, double val);
void write_copied_entry_line(out_buf& out, const tra_entry& e);
// The entry with the indices it was read with.
void write_unchanged_entry_line(out_buf& out, const tra_entry& e);
// The entry with one added to each index; the largest index, 2^63 - 1,
// becomes 2^63.
void write_shifted_entry_line(out_buf& out, const tra_entry& e);

// The longest text write_fixed6 produces: a sign, 309 integer digits, the
// point and six decimals.
constexpr std::size_t max_fixed6_chars = 1 + 309 + 1 + 6;

// Writes v as the C library's "%lf" does: the exact value rounded to six
// decimals, ties to even; inf, -inf, nan, -nan. Returns the end.
char* write_fixed6(char* p, double v) noexcept;
char* write_fixed6(char* p, fixed6 v) noexcept;

// Identity of an open file, to tell when two names lead to the same file.
struct file_id {
    dev_t dev = 0;
    ino_t ino = 0;
    bool known = false;
};

file_id identify(int fd);

// Opens the output for writing, unless it names the input file: truncating
// it would destroy the data still to be read. Returns -1 then, and on
// failure.
int open_output_apart(const char* path, file_id input);

// Opens the output beside an input that was opened as ip (-1 if it was not:
// the output is then created empty where it does not exist, and left as it
// is where it does, as the run cannot replace it). Returns false, with both
// closed, unless both are open.
bool open_output_beside(int ip, file_id input, const char* outfile, int& op);

// Closes the input, then the output: true when every read and every write
// succeeded.
bool close_both(line_reader& in, out_buf& out);
