#include "diagfill.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tracheck.h"
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

// The checks of diagfill's input beyond the format's: rows in ascending
// order, and for a check run the notes on the diagonal.
struct diagfill_checks {
    tra_checks t;
    std::int64_t last_row = 0;  // the greatest row so far; 0 before the first
    std::int64_t rows = 0;
    bool reaches = true;  // the row has an entry at or right of the diagonal
    std::int64_t row_line = 0;
    std::int64_t on_diagonal = 0;
    std::int64_t first_on_diagonal = 0;
    std::int64_t short_rows = 0;  // rows that get no diagonal entry
    std::int64_t first_short_row = 0;
    std::int64_t first_short_line = 0;
};

static void finish_row(diagfill_checks& dc) {
    if (dc.reaches || dc.last_row < dc.t.low || dc.last_row > dc.t.high) return;
    if (dc.short_rows++ == 0) {
        dc.first_short_row = dc.last_row;
        dc.first_short_line = dc.row_line;
    }
}

// One entry's checks: false where a strict run stops.
[[gnu::noinline]] static bool check_row_entry(diagfill_checks& dc, std::int64_t row, std::int64_t col, double val) {
    tra_checks& t = dc.t;
    std::int64_t problems = t.log->problems;
    if (!check_entry(t, row, col, val)) return false;
    if (t.log->problems != problems) return true;  // one problem a line
    if (row < dc.last_row)
        return add_problem(*t.log, t.line, "row %lld after row %lld: diagfill needs the entries grouped by ascending row",
                           static_cast<long long>(row), static_cast<long long>(dc.last_row));
    if (row > dc.last_row) {
        finish_row(dc);
        dc.last_row = row;
        ++dc.rows;
        dc.reaches = false;
        dc.row_line = t.line;
    }
    dc.reaches |= col >= row;
    if (col == row && dc.on_diagonal++ == 0) dc.first_on_diagonal = t.line;
    return true;
}

// A line of any other shape, through its fields: rare, and kept out of the
// loop. Returns the next line.
template <check_mode mode>
[[gnu::noinline]] static const char* sum_other_line(const char* p, const char* end, entry_cursor& c, row_sums& sums,
                                                    row_run& run, diagfill_checks& dc) {
    other_line read = read_other_line(c, p, end, mode == check_mode::off ? entry_use::sums : entry_use::values);
    if constexpr (mode != check_mode::off) {
        check_other_line(dc.t, p, read, c.e, c.e.val.value, [&](std::int64_t row, std::int64_t col, double val) {
            return check_row_entry(dc, row, col, val);
        });
    }
    std::int64_t row = row_of(c.e);
    if (run.prev_row == -1 || row > run.prev_row) start_row(sums, run, row);
    run.sum = added(run.sum, c.e.val.value);
    return read.line_feed + 1;
}

// The sum of the row being summed is kept here while its entries come, and
// goes to the table when a greater row starts. As rows only grow, each
// row's entries are summed in one stretch. The routines of common lines
// are inlined into the loop (flatten); the run is handed to the other
// lines' routine as a copy, so that the loop keeps it in registers. A
// strict run counts the lines and checks each entry; a default run's loop
// has none of it.
template <check_mode mode>
[[gnu::flatten, gnu::noinline]] static void sum_rows(line_reader& in, row_sums& sums, diagfill_checks& dc) {
    row_run run;
    entry_cursor c;
    row_text rows;
    const common_col_bound bound = mode == check_mode::strict ? make_col_bound(dc.t) : common_col_bound{};
    while (more_entries(c, in)) {
        const char* p = in.next;
        const char* end = in.lines_end;
        while (p != end) {
            if constexpr (mode != check_mode::off) ++dc.t.line;
            common_indices ix;
            double val;
            const char* line_feed = nullptr;
            if (take_common_indices(rows, p, ix, entry_use::sums)) line_feed = take_common_value(ix, val);
            if (line_feed == nullptr) {
                row_run other = run;
                p = sum_other_line<mode>(p, end, c, sums, other, dc);
                run = other;
                if (mode == check_mode::strict && stopped(*dc.t.log)) break;
                continue;
            }
            // A strict run's common line: its value is a finite decimal, and
            // its row needs checking only where it changes.
            if (mode == check_mode::strict && (ix.row != run.prev_row || !common_col_in_range<1>(bound, ix)) &&
                !check_row_entry(dc, ix.row, col_value(ix), val))
                break;
            // A common row is never negative, so it starts a row as soon as
            // it is greater; its value is a decimal, never a NaN, so the sum
            // keeps its own NaN whichever operand comes first.
            took_common_line(c, p);
            p = line_feed + 1;
            if (ix.row > run.prev_row) start_row(sums, run, ix.row);
            run.sum += val;
        }
        in.next = p;
        if (mode == check_mode::strict && stopped(*dc.t.log)) stop_reading(in);
    }
    keep_row_sum(sums, run.prev_row, run.sum);
}

// The header, the table sized by it, and the sums; a strict run checks
// each line on the way.
template <check_mode mode>
static bool read_sums(line_reader& in, row_sums& sums, diagfill_checks& dc, failure& why) {
    if constexpr (mode == check_mode::off) {
        tra_header h;
        if (!read_header_line(in, h.states, h.size)) return true;
        if (!allocate_table(sums, h.size)) {
            why = memory_failure(h.size);
            return false;
        }
        if (read_header_line(in, h.transitions, h.nnz)) sum_rows<mode>(in, sums, dc);
        return true;
    } else {
        if (!read_checked_header(in, dc.t, 1)) return true;  // missing, or a strict run's stop
        if (!allocate_table(sums, dc.t.header.size)) {
            why = memory_failure(dc.t.header.size);
            return false;
        }
        sum_rows<mode>(in, sums, dc);
        if (!stopped(*dc.t.log)) finish_checks(dc.t, in);
        return true;
    }
}

// A strict run's sums: false, with its first problem as the reason, where
// it stops.
[[gnu::noinline]] static bool read_checked_sums(line_reader& in, row_sums& sums, const char* infile, failure& why) {
    check_log log = make_check_log(check_mode::strict, input_name(infile));
    diagfill_checks dc;
    dc.t.log = &log;
    if (!read_sums<check_mode::strict>(in, sums, dc, why)) return false;
    if (!stopped(log)) return true;
    why = log.first;
    return false;
}

bool first_pas(line_reader& in, row_sums& sums, const char* infile, bool strict, failure& why) {
    if (!is_regular_file(in.fd) && !keep_copy(in)) {
        why = reading_failure(in, infile);
        return false;
    }
    diagfill_checks unchecked;
    bool summed = strict ? read_checked_sums(in, sums, infile, why)
                         : read_sums<check_mode::off>(in, sums, unchecked, why);
    if (!summed) return false;
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
    diagonal.row = diagonal.col = row;
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
    if (!decided && diagonal_pending(s, sums, row) && c.e.col >= row) {
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

static check_result check_input(const char* infile, standard_streams streams, failure& why) {
    check_log log = make_check_log(check_mode::report, input_name(infile));
    diagfill_checks dc;
    dc.t.log = &log;
    auto entry = [&](std::int64_t row, std::int64_t col, double val) { return check_row_entry(dc, row, col, val); };
    if (!check_tra_input("diagfill", infile, streams, 1, dc.t, entry, why)) return {};
    finish_row(dc);
    if (dc.on_diagonal > 0)
        add_note(log, dc.first_on_diagonal,
                 "%s on the diagonal: the output will hold two in %s; was diagfill run on this file already?",
                 counted(dc.on_diagonal, "entry lies", "entries lie").c_str(),
                 dc.on_diagonal == 1 ? "its row" : "their rows");
    if (dc.short_rows > 0)
        add_note(log, dc.first_short_line, "%s no diagonal entry, as all %s entries lie left of it (the first is row %lld)",
                 counted(dc.short_rows, "row gets", "rows get").c_str(), dc.short_rows == 1 ? "its" : "their",
                 static_cast<long long>(dc.first_short_row));
    char summary[128];
    std::snprintf(summary, sizeof summary, "%lld lines, %lld entries in %s", static_cast<long long>(dc.t.line),
                  static_cast<long long>(dc.t.line > 2 ? dc.t.line - 2 : 0), counted(dc.rows, "row", "rows").c_str());
    return checked(log, summary);
}

check_result check_file(const char* infile, standard_streams streams, failure& why) {
    return unless_out_of_memory(check_result{}, why, [&] { return check_input(infile, streams, why); });
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
[[gnu::flatten]] int read_tra_file(const char* infile, const char* outfile, bool strict, console& messages, failure& why) {
    line_reader in;
    out_buf out;
    row_sums sums;
    bool summed = unless_out_of_memory(false, why, [&] {
        return open_files(infile, outfile, messages.streams, in, out, why) &&
               first_pas(in, sums, infile, strict, why);
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
