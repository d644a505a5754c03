#include "diagfill.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "transfile.h"

static bool in_table(const row_sums& sums, std::int64_t row) { return row >= 1 && row <= sums.slots; }

// A size of zero or below gives a table of no slots. One spare slot keeps an
// empty table apart from a failed allocation. A size whose table cannot be
// addressed fails as one that cannot be allocated.
static bool allocate_table(row_sums& sums, std::int64_t size) {
    sums.slots = size > 0 ? size : 0;
    if (static_cast<std::uint64_t>(sums.slots) >= SIZE_MAX / sizeof(double)) return false;
    sums.rowsum.reset(static_cast<double*>(std::calloc(static_cast<std::size_t>(sums.slots) + 1, sizeof(double))));
    return sums.rowsum != nullptr;
}

// sum + val in file order, with the sum as the first operand: where both are
// NaNs, the x86-64 addition keeps the first, so a row's sum keeps the NaN it
// took first (and its sign). Compilers may swap the operands of an addition,
// so that case is spelled out.
static double added(double sum, double val) { return std::isnan(sum) ? sum : sum + val; }

static double row_sum(const row_sums& sums, std::int64_t row) { return in_table(sums, row) ? sums.rowsum[row - 1] : 0.0; }

static void keep_row_sum(row_sums& sums, std::int64_t row, double sum) {
    if (in_table(sums, row)) sums.rowsum[row - 1] = sum;
}

// The row being summed and its sum so far.
struct row_run {
    std::int64_t prev_row = -1;
    double sum = 0.0;
};

// The sum of the row that ends goes to the table, and the sum of the row
// that starts comes from it.
static void start_row(row_sums& sums, row_run& run, std::int64_t row) {
    keep_row_sum(sums, run.prev_row, run.sum);
    run.prev_row = row;
    run.sum = row_sum(sums, row);
}

// A line of any other shape, through its fields: rare, and kept out of the
// loop. Returns the next line.
[[gnu::noinline]] static const char* sum_other_line(const char* p, const char* end, entry_cursor& c, row_sums& sums,
                                                    row_run& run) {
    const char* line_feed = read_other_line(c, p, end, entry_use::sums).line_feed;
    std::int64_t row = row_of(c.e);
    if (run.prev_row == -1 || row > run.prev_row) start_row(sums, run, row);
    run.sum = added(run.sum, c.e.val.value);
    return line_feed + 1;
}


// The sum of the row being summed is kept here while its entries come, and
// goes to the table when a greater row starts. As rows only grow, each
// row's entries are summed in one stretch. The routines of common lines
// are inlined into the loop (flatten); the run is handed to the other
// lines' routine as a copy, so that the loop keeps it in registers.
[[gnu::flatten, gnu::noinline]] static void sum_rows(line_reader& in, row_sums& sums) {
    row_run run;
    entry_cursor c;
    row_text rows;
    while (more_entries(c, in)) {
        const char* p = in.next;
        const char* end = in.lines_end;
        while (p != end) {
            common_indices ix;
            double val;
            const char* line_feed = nullptr;
            if (take_common_indices(rows, p, ix, entry_use::sums)) line_feed = take_common_value(ix, val);
            if (line_feed == nullptr) {
                row_run other = run;
                p = sum_other_line(p, end, c, sums, other);
                run = other;
                continue;
            }
            // A common row is never negative, so it starts a row as soon as
            // it is greater; its value is a decimal, never a NaN, so the sum
            // keeps its own NaN whichever operand comes first.
            took_common_line(c, p);
            p = line_feed + 1;
            if (ix.row > run.prev_row) start_row(sums, run, ix.row);
            run.sum += val;
        }
        in.next = p;
    }
    keep_row_sum(sums, run.prev_row, run.sum);
}

static bool read_sums(line_reader& in, row_sums& sums, failure& why) {
    tra_header h;
    if (!read_header_line(in, h.states, h.size)) return true;
    if (!allocate_table(sums, h.size)) {
        why = memory_failure(h.size);
        return false;
    }
    if (read_header_line(in, h.transitions, h.nnz)) sum_rows(in, sums);
    return true;
}

bool first_pas(line_reader& in, row_sums& sums, const char* infile, failure& why) {
    if (!is_regular_file(in.fd) && !keep_copy(in)) {
        why = reading_failure(in, infile);
        return false;
    }
    if (!read_sums(in, sums, why)) return false;
    if (rewind_reader(in)) return true;
    why = reading_failure(in, infile);
    return false;
}

// The row being copied and whether its diagonal entry has been written;
// and whether that row may still need one, which alone decides for most
// lines (those of the same row as the line before).
struct row_state {
    std::int64_t pres_row = 0;
    bool row_flag = false;
    bool wants = false;  // not row_flag, and the row in the table
};

// Whether a line of another row than the last may still need its
// diagonal entry.
[[gnu::noinline]] static bool other_row_pending(row_state& s, const row_sums& sums, std::int64_t row) {
    if (row > s.pres_row) {
        s.pres_row = row;
        s.row_flag = false;
        s.wants = in_table(sums, row);
        return s.wants;
    }
    return !s.row_flag && in_table(sums, row);
}

// Whether the line's row may still need its diagonal entry.
static bool diagonal_pending(row_state& s, const row_sums& sums, std::int64_t row) {
    return row == s.pres_row ? s.wants : other_row_pending(s, sums, row);
}

static void diagonal_written(row_state& s) {
    s.row_flag = true;
    s.wants = false;
}

// The row's diagonal entry, once a row, so kept out of the loop. Where the
// row's text (n digits) is known, the indices are that text twice.
[[gnu::noinline, gnu::flatten]] static char* put_diagonal(char* q, const row_sums& sums, std::int64_t row,
                                                          const char* text, std::size_t n) {
    tra_entry diagonal;
    diagonal.row.value = diagonal.col.value = row;
    diagonal.val.value = -sums.rowsum[row - 1];
    char indices[24];
    if (text != nullptr) {
        std::memcpy(indices, text, 8);
        std::memcpy(indices + n + 1, text, 8);
        diagonal.indices = indices;
        diagonal.row_length = static_cast<std::uint32_t>(n);
        diagonal.indices_length = static_cast<std::uint32_t>(2 * n + 1);
    }
    return write_entry_line(q, diagonal, index_shift::none);
}

// A line of any other shape, through its fields, and the diagonal entry
// before it unless the line's start was common and the diagonal decided on
// it: rare, and kept out of the loop. Returns its line feed and moves q.
[[gnu::noinline]] static const char* copy_other_line(char*& q, const char* p, const char* end, bool decided,
                                                     row_state& s, entry_cursor& c, const row_sums& sums) {
    const char* line_feed = read_other_line(c, p, end, entry_use::copy).line_feed;
    std::int64_t row = row_of(c.e);
    if (!decided && diagonal_pending(s, sums, row) && col_at_least_row(c.e)) {
        diagonal_written(s);
        q = put_diagonal(q, sums, row, nullptr, 0);
    }
    q = write_entry_line(q, c.e, index_shift::none);
    return line_feed;
}

// Each entry is copied, a common line in one pass from its text, any other
// through its fields; before the first entry of a row on or right of the
// diagonal, the row's diagonal entry goes in. The routines of common lines
// are inlined into the loop (flatten); the other lines' routine is handed
// copies of what the loop keeps, so that the loop keeps it in registers.
[[gnu::flatten]] static void complete_rows(line_reader& in, out_buf& out, const row_sums& sums) {
    row_state s;
    entry_cursor c;
    row_text rows;
    while (more_entries(c, in)) {
        const char* p = in.next;
        const char* end = in.lines_end;
        char* q = out.pos;
        while (p != end) {
            q = out_line_room(out, q);
            common_indices ix;
            const char* line_feed = nullptr;
            bool common = take_common_indices(rows, p, ix, entry_use::copy);
            if (common) {
                if (diagonal_pending(s, sums, ix.row) && col_at_least_row(ix)) {
                    diagonal_written(s);
                    q = put_diagonal(q, sums, ix.row, p, static_cast<std::size_t>(ix.row_digits));
                }
                line_feed = copy_common_line(q, p, ix, index_shift::none);
            }
            if (line_feed != nullptr) {
                took_common_line(c, p);
            } else {
                row_state other = s;
                char* t = q;
                line_feed = copy_other_line(t, p, end, common, other, c, sums);
                s = other;
                q = t;
            }
            p = line_feed + 1;
        }
        in.next = p;
        out.pos = q;
    }
}

// Both files are opened before the first pass, so that a run that cannot
// write its output fails before it reads the input.
static bool open_files(const char* infile, const char* outfile, standard_streams streams, line_reader& in,
                       out_buf& out, failure& why) {
    int fd = open_input(infile, streams.input);
    int input_error = errno;
    file_id input = fd >= 0 ? identify_file(fd) : file_id{};
    if (!open_output_beside(fd, input_error, input, input_name(infile), outfile, streams, out, why)) return false;
    in = make_line_reader(fd);
    in.progress = start_progress("diagfill", fd, 2);
    return true;
}

// The second pass, over the input that the first pass left at its start.
static int complete_file(line_reader& in, out_buf& out, const row_sums& sums, const char* infile,
                         const char* outfile, failure& why) {
    tra_header h;
    if (copy_header(in, out, h)) complete_rows(in, out, sums);
    return close_both(in, out, infile, outfile, why) ? 1 : 0;
}

// Flattened so that the second pass's loop is compiled inside it, where the
// table and the output are its own locals: called by reference from
// outside, the loop costs some six instructions more a line.
[[gnu::flatten]] int read_tra_file(const char* infile, const char* outfile, console& messages, failure& why) {
    line_reader in;
    out_buf out;
    row_sums sums;
    bool summed = unless_out_of_memory(false, why, [&] {
        return open_files(infile, outfile, messages.streams, in, out, why) && first_pas(in, sums, infile, why);
    });
    // The first pass's progress line goes before "here" reaches the terminal.
    clear_progress(in.progress);
    console_put(messages, "here\n");
    if (!summed) {
        close_reader(in);
        out_discard(out);
        return 0;
    }
    return unless_out_of_memory(0, why, [&] { return complete_file(in, out, sums, infile, outfile, why); });
}
