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
    // How long the value of the last diagonal entry whose place was held
    // came out ("-0.500000"): the next most likely is as long.
    std::size_t value_length = 9;
    std::size_t held_digits = 0;  // the digits of the row whose place is held
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

static bool report_row_order(tra_checks& t, std::int64_t row, std::int64_t last_row) {
    return add_problem(*t.log, t.line, "row %lld after row %lld: diagfill needs the entries grouped by ascending row",
                       static_cast<long long>(row), static_cast<long long>(last_row));
}

// One entry's checks: false where a strict run stops.
[[gnu::noinline]] static bool check_row_entry(diagfill_checks& dc, std::int64_t row, std::int64_t col, double val) {
    tra_checks& t = dc.t;
    std::int64_t problems = t.log->problems;
    if (!check_entry(t, row, col, val)) return false;
    if (t.log->problems != problems) return true;  // one problem a line
    if (row < dc.last_row) return report_row_order(t, row, dc.last_row);
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

// What a default run sees where the row changes, counted for its warning:
// a row outside the table, or below the greatest one before it (prev_row).
static bool row_seems_wrong(const row_sums& sums, const row_run& run, std::int64_t row) {
    return row < run.prev_row || !in_table(sums, row);
}
[[gnu::noinline]] static void note_row(diagfill_checks& dc, std::int64_t row, std::int64_t prev_row) {
    if (!index_in_range(dc.t, row))
        report_index(dc.t, "row", row);
    else
        report_row_order(dc.t, row, prev_row);
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

// The diagonal entry of row (its text of n digits at text, where known:
// the indices are then that text twice) with the value -sum, written at q.
static char* write_diagonal(char* q, std::int64_t row, double sum, const char* text, std::size_t n) {
    tra_entry diagonal;
    diagonal.row = diagonal.col = row;
    diagonal.val.value = -sum;
    char indices[24];
    if (text != nullptr) {
        // Eight bytes at a time: a row of fewer digits brings its blank
        // along, one of eight does not.
        std::memcpy(indices, text, 8);
        indices[n] = ' ';
        std::memcpy(indices + n + 1, text, 8);
        diagonal.indices = indices;
        diagonal.row_length = static_cast<std::uint32_t>(n);
        diagonal.indices_length = static_cast<std::uint32_t>(2 * n + 1);
    }
    return write_entry_line(q, diagonal, index_shift::none);
}

// The row's diagonal entry goes at q, once a row, so this is kept out of
// the loop. The sum of a row smaller than the one being summed is final;
// that of the row being summed is not until a greater row starts, so its
// place is held in the output, and filled then (end_stretch).
[[gnu::noinline, gnu::flatten]] static char* put_diagonal(out_buf& out, char* q, row_state& s, const row_sums& sums,
                                                          row_run& run, std::int64_t row, const char* text,
                                                          std::size_t n) {
    s.row_flag = true;
    s.wants = false;
    if (row != run.prev_row) return write_diagonal(q, row, sums.rowsum[row - 1], text, n);
    if (text == nullptr)
        for (std::int64_t rest = row; rest > 0; rest /= 10) ++n;
    run.held_digits = n;
    return out_hold(out, q, 2 * n + 3 + run.value_length);  // "row row value\n"
}

// The row being summed ends where a greater row starts (or the input
// ends): its sum is final, and goes into its diagonal entry if its place
// is held. The row's text, copied at the place where it is still in the
// buffer, gives the indices.
static char* end_stretch(out_buf& out, char* q, row_run& run) {
    if (out.held == nullptr) return q;
    char diagonal[max_line_output];
    std::size_t n = run.held_digits;
    const char* text = n <= 8 ? out_held_text(out) : nullptr;
    auto length = static_cast<std::size_t>(write_diagonal(diagonal, run.prev_row, run.sum, text, n) - diagonal);
    run.value_length = length - 2 * n - 3;
    return out_fill(out, q, {diagonal, length});
}

// The sums: the largest row so far takes each line's value, so a row
// greater than all before it ends the stretch of the one before (whose sum
// is then final) and starts its own sum. Rows only grow, so each row's
// entries are summed in one stretch. Once a row.
static bool starts_stretch(const row_run& run, std::int64_t row) { return run.prev_row == -1 || row > run.prev_row; }
[[gnu::noinline, gnu::flatten]] static char* first_pas(out_buf& out, char* q, row_sums& sums, row_run& run,
                                                       std::int64_t row) {
    q = end_stretch(out, q, run);
    start_row(sums, run, row);
    return q;
}

// The same at the given line, which the loop counts apart.
[[gnu::noinline]] static bool check_row_entry_at(diagfill_checks& dc, std::int64_t line, std::int64_t row,
                                                 std::int64_t col, double val) {
    dc.t.line = line;
    return check_row_entry(dc, row, col, val);
}
[[gnu::noinline]] static bool check_value_at(diagfill_checks& dc, std::int64_t line, double val) {
    dc.t.line = line;
    return check_value(dc.t, val);
}

// A line of another row than the one being summed, or of any row where
// it is not a common line: the stretch it may start, then its diagonal
// entry (the row's text of digits bytes at text, where known). Rare. A
// default run counts a common line's row problems for its warning here
// (those of other lines where they are read).
template <check_mode mode>
[[gnu::noinline]] static char* decide_row(out_buf& out, char* q, row_state& s, row_sums& sums, row_run& run,
                                          std::int64_t row, bool col_at_least, const char* text,
                                          std::size_t digits, diagfill_checks& dc) {
    if (mode == check_mode::off && text != nullptr && row_seems_wrong(sums, run, row)) {
        dc.t.line = text_position(*dc.t.reader, text);
        note_row(dc, row, run.prev_row);
    }
    if (starts_stretch(run, row)) q = first_pas(out, q, sums, run, row);
    if (diagonal_pending(s, sums, row) && col_at_least) q = put_diagonal(out, q, s, sums, run, row, text, digits);
    return q;
}

// A line of any other shape, through its fields, where the fast path did
// not take it whole: its value is summed, and its row's stretch and
// diagonal entry decided unless the fast path did so already on the
// line's start (decided).
// Rare, and kept out of the loop. Returns its line feed and moves q.
template <check_mode mode>
[[gnu::noinline]] static const char* copy_other_line(out_buf& out, char*& q, const char* p, const char* end,
                                                     bool decided, row_state& s, row_run& run, entry_cursor& c,
                                                     row_sums& sums, diagfill_checks& dc) {
    other_line read = read_other_line(c, p, end, entry_use::copy_and_sum);
    if constexpr (mode == check_mode::off) {  // counted for the warning
        dc.t.line = text_position(*dc.t.reader, p);
        if (check_shape(dc.t, p, read) && !decided && read.shape.supplied == 3 && row_seems_wrong(sums, run, c.e.row))
            note_row(dc, c.e.row, run.prev_row);
    }
    if constexpr (mode == check_mode::strict) {
        check_other_line(dc.t, p, read, c.e, c.e.val.value, [&](std::int64_t row, std::int64_t col, double val) {
            return check_row_entry(dc, row, col, val);
        });
        if (stopped(*dc.t.log)) return read.line_feed;
    }
    std::int64_t row = row_of(c.e);
    if (!decided) q = decide_row<mode>(out, q, s, sums, run, row, c.e.col >= row, nullptr, 0, dc);
    run.sum = added(run.sum, c.e.val.value);
    q = write_entry_line(q, c.e, index_shift::none);
    return read.line_feed;
}

// Each entry is summed and copied in one reading, a common line from its
// text, any other through its fields; before the first entry of a row on
// or right of the diagonal, the row's diagonal entry goes in. The routines
// of common lines are inlined into the loop (flatten); the other lines'
// routine is handed copies of what the loop keeps, so that the loop keeps
// it in registers. A strict run counts the lines and checks each entry; a
// default run's loop has none of it.
template <check_mode mode>
[[gnu::flatten]] static void complete_rows(line_reader& in, out_buf& out, row_sums& sums, diagfill_checks& dc) {
    row_state s;
    row_run run;
    entry_cursor c;
    row_text rows;
    const common_col_bound bound = mode == check_mode::strict ? make_col_bound(dc.t) : common_col_bound{};
    std::int64_t line = dc.t.line;  // kept apart from the checks, which the output's writes may alias
    while (more_entries(c, in)) {
        const char* p = in.next;
        const char* end = in.lines_end;
        char* q = out.pos;
        while (p != end) {
            if constexpr (mode != check_mode::off) ++line;
            q = out_line_room(out, q);
            common_indices ix;
            bool decided = take_common_indices(rows, p, ix, entry_use::copy) && *ix.col_end == ' ';
            if (decided) {
                // A strict run's common line: its row needs checking only
                // where it changes (its value once copied; a run stopped
                // there discards what it wrote).
                if (mode == check_mode::strict && (ix.row != run.prev_row || !common_col_in_range<1>(bound, ix)) &&
                    !check_row_entry_at(dc, line, ix.row, col_value(ix), 0.0))
                    break;
                // Most lines have the row being summed, which is also the
                // row being copied (a common row is never negative); any
                // other goes the general way, once.
                if (ix.row != run.prev_row) {
                    q = decide_row<mode>(out, q, s, sums, run, ix.row, col_at_least_row(ix), p,
                                         static_cast<std::size_t>(ix.row_digits), dc);
                }
                else if (s.wants && col_at_least_row(ix))
                    q = put_diagonal(out, q, s, sums, run, ix.row, p, static_cast<std::size_t>(ix.row_digits));
                double val;
                if (const char* line_feed = copy_common_line(q, p, ix, val)) {
                    // "%lf" wrote a point seven bytes before the line feed,
                    // unless the value is not finite ("inf", "-nan").
                    if (mode == check_mode::strict && q[-8] != '.' && !check_value_at(dc, line, val)) break;
                    run.sum = added(run.sum, val);
                    took_common_line(c, p);
                    p = line_feed + 1;
                    continue;
                }
            }
            row_state other_s = s;
            row_run other_run = run;
            char* t = q;
            if constexpr (mode != check_mode::off) dc.t.line = line;
            const char* line_feed = copy_other_line<mode>(out, t, p, end, decided, other_s, other_run, c, sums, dc);
            s = other_s;
            run = other_run;
            q = t;
            if (mode == check_mode::strict && stopped(*dc.t.log)) break;
            p = line_feed + 1;
        }
        in.next = p;
        out.pos = q;
        if constexpr (mode != check_mode::off) dc.t.line = line;
        if (mode == check_mode::strict && stopped(*dc.t.log)) stop_reading(in);
    }
    out.pos = end_stretch(out, out_line_room(out, out.pos), run);
    keep_row_sum(sums, run.prev_row, run.sum);
}

// The header, the table sized by it, and the entries; a strict run checks
// each line on the way.
template <check_mode mode>
static bool complete_file(line_reader& in, out_buf& out, row_sums& sums, diagfill_checks& dc, failure& why) {
    tra_header h;
    if constexpr (mode == check_mode::off) {
        if (!read_header_line(in, h.states, h.size)) return true;
        if (!allocate_table(sums, h.size)) {
            why = memory_failure(h.size);
            return false;
        }
        if (!read_header_line(in, h.transitions, h.nnz)) return true;
        expect_indices(dc.t, h.size, 1);
    } else {
        if (!read_checked_header(in, dc.t, 1)) return true;  // missing, or a strict run's stop
        h = dc.t.header;
        if (!allocate_table(sums, h.size)) {
            why = memory_failure(h.size);
            return false;
        }
    }
    write_header_line(out, h.states, h.size);
    write_header_line(out, h.transitions, h.nnz);
    dc.t.reader = &in;
    complete_rows<mode>(in, out, sums, dc);
    if (mode == check_mode::strict && !stopped(*dc.t.log)) finish_checks(dc.t, in);
    check_log& seen = *dc.t.log;
    if (mode == check_mode::off && seen.problems > 0 && !in.failed) seen.first_line = line_at(in, seen.first_line);
    return true;
}

// A strict run: false, with its first problem as the reason, where it
// stops.
[[gnu::noinline]] static bool complete_checked(line_reader& in, out_buf& out, row_sums& sums, const char* infile,
                                               failure& why) {
    check_log log = make_check_log(check_mode::strict, input_name(infile));
    diagfill_checks dc;
    dc.t.log = &log;
    if (!complete_file<check_mode::strict>(in, out, sums, dc, why)) return false;
    if (!stopped(log)) return true;
    why = log.first;
    return false;
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
    return checked(log, counted(dc.t.line, "line", "lines") + ", " +
                            counted(dc.t.line > 2 ? dc.t.line - 2 : 0, "entry", "entries") + " in " +
                            counted(dc.rows, "row", "rows"));
}

check_result check_file(const char* infile, standard_streams streams, failure& why) {
    return unless_out_of_memory(check_result{}, why, [&] { return check_input(infile, streams, why); });
}

// Both files are opened before the reading starts, so that a run that
// cannot write its output fails before it reads the input.
static bool open_files(const char* infile, const char* outfile, standard_streams streams, line_reader& in,
                       out_buf& out, failure& why) {
    int fd = open_input(infile, streams.input);
    int input_error = errno;
    file_id input = fd >= 0 ? identify_file(fd) : file_id{};
    if (!open_output_beside(fd, input_error, input, input_name(infile), outfile, streams, out, why)) return false;
    in = make_line_reader(fd);
    return true;
}

static bool complete(line_reader& in, out_buf& out, row_sums& sums, bool strict, const char* infile, failure& why,
                     check_log& seen) {
    diagfill_checks unchecked;
    unchecked.t.log = &seen;
    return strict ? complete_checked(in, out, sums, infile, why)
                  : complete_file<check_mode::off>(in, out, sums, unchecked, why);
}

// Flattened so that the loop is compiled inside it, where the table and
// the output are its own locals: called by reference from outside, the
// loop costs some six instructions more a line.
[[gnu::flatten]] int read_tra_file(const char* infile, const char* outfile, bool strict, console& messages, failure& why,
                                   check_log* seen) {
    check_log unseen = make_check_log(check_mode::warn, "");
    line_reader in;
    out_buf out;
    row_sums sums;
    bool opened =
        unless_out_of_memory(false, why, [&] { return open_files(infile, outfile, messages.streams, in, out, why); });
    console_put(messages, "here\n");
    if (opened) {
        in.progress = start_progress("diagfill", in.fd, 1);
        bool completed = unless_out_of_memory(
            false, why, [&] { return complete(in, out, sums, strict, infile, why, seen != nullptr ? *seen : unseen); });
        if (completed) return close_both(in, out, infile, outfile, why) ? 1 : 0;
    }
    close_reader(in);
    out_discard(out);
    return 0;
}
