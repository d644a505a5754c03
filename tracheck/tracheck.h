// The checks of a transition file that both tools make in a strict or a
// check run: the header lines, what each entry line supplied, its indices
// and value, and at the end the count of entries against the header's. A
// default run makes none. Built on the entry reader of transfile/.
#pragma once

#include <cerrno>
#include <cstdint>

#include "check.h"
#include "transfile.h"

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
    const line_reader* reader = nullptr;  // for a default run's places of problems
};

// Reads both header lines, with their problems, into the checks' header:
// false when the input ended before the second. The expected indices
// follow from the size: 1..size (first_index 1) or 0..size-1 (0).
bool read_checked_header(line_reader& in, tra_checks& chk, std::int64_t first_index);
// The same range, for a default run's header.
void expect_indices(tra_checks& chk, std::int64_t size, std::int64_t first_index);
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

// The checks of a line of another shape, read into e: what it supplied,
// and where that was whole, its entry by the tool's own check (false where
// the run stops). A line that lacks fields repeats the entry before it,
// which has been checked already; text after the fields leaves it whole.
template <typename EntryCheck>
bool check_other_line(tra_checks& chk, const char* p, const other_line& read, const tra_entry& e, double value,
                      EntryCheck&& entry) {
    check_length(chk, p, read.line_feed);
    if (!check_shape(chk, p, read)) return false;
    return read.shape.supplied < 3 || entry(e.row, e.col, value);
}

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
                check_other_line(chk, p, read, c.e, c.e.val.value, entry);
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
        if (!in.failed) finish_checks(chk, in);
    }
    close_reader(in);
    if (in.failed && damage_is_a_problem(*chk.log, chk.line + 1, in.problem)) return true;
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
// digits without working out their values: high's digits, and its text
// with the first digit on top and the bytes after it all ones, where it
// has fewer than eight digits (else every common col lies below it). A col
// of as many digits, taken the same way with whatever follows it, is within
// when it compares no greater. Where indices start at 1, a col whose first
// digit is 0 (a 0, or a leading zero of a col only summed) goes the way of
// check_indices instead; where they start at 0, a copied common col
// starting with 0 is 0 itself, within.
struct common_col_bound {
    int digits = 0;
    std::uint64_t key = 0;
};
common_col_bound make_col_bound(const tra_checks& chk);
template <int first_index>
bool common_col_in_range(const common_col_bound& b, const common_indices& ix) {
    bool zero_within = first_index == 0 || (ix.col_word & 0xFF) != '0';
    if (ix.col_digits != b.digits) return ix.col_digits < b.digits && zero_within;
    return reversed_bytes(ix.col_word) <= b.key && zero_within;
}
inline bool check_indices(tra_checks& chk, std::int64_t row, std::int64_t col) {
    if (!index_in_range(chk, row)) return report_index(chk, "row", row);
    if (!index_in_range(chk, col)) return report_index(chk, "col", col);
    return true;
}
