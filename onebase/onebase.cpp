#include "onebase.h"

#include <cerrno>
#include <cmath>
#include <cstdio>

#include "frame.h"
#include "tracheck.h"
#include "transfile.h"

// A line of any other shape, through its fields: rare, and kept out of the
// loop so that the loop's values stay in registers. Returns its line feed.
template <check_mode mode>
[[gnu::noinline]] static const char* shift_other_line(char*& q, const char* p, const char* end, entry_cursor& c,
                                                      tra_checks& chk) {
    other_line read = read_other_line(c, p, end, entry_use::copy);
    if constexpr (mode == check_mode::off) {  // counted for the warning
        chk.line = text_position(*chk.reader, p);
        check_shape(chk, p, read);
    }
    if constexpr (mode == check_mode::strict) {
        // A value kept as millionths is a finite decimal.
        double value = c.e.val.kept == copied_real::form::as_double ? c.e.val.value : 0;
        check_other_line(chk, p, read, c.e, value,
                         [&](std::int64_t row, std::int64_t col, double val) { return check_entry(chk, row, col, val); });
    }
    q = write_entry_line(q, c.e, index_shift::plus_one);
    return read.line_feed;
}

// A strict run's checks of a common line, copied to just before q: its
// indices, and its value, which "%lf" writes with a point seven bytes
// before the line feed unless it is not a finite number ("inf", "-nan"; the
// line written is at least eight bytes long, so those bytes are its own).
static bool check_common_line(tra_checks& chk, std::int64_t line, const common_indices& ix, const char* q) {
    chk.line = line;
    return check_indices(chk, ix.row, col_value(ix)) && (q[-8] == '.' || check_value(chk, q[-4] == 'n' ? NAN : INFINITY));
}

// Each entry is copied with its indices plus one: a common line in one
// pass from its text, any other through its fields. The per-line routines
// of common lines are inlined into the loop (flatten). A strict run counts
// the lines and checks each entry; a default run's loop has none of it.
template <check_mode mode>
[[gnu::flatten]] static void shift_entries(line_reader& in, out_buf& out, tra_checks& chk) {
    entry_cursor c;
    row_text rows;
    const common_col_bound bound = make_col_bound(chk);
    const std::uint64_t row_count = chk.count;  // rows 0..count-1; kept apart from chk, which writes may alias
    std::int64_t line = chk.line;
    while (more_entries(c, in)) {
        const char* p = in.next;
        const char* end = in.lines_end;
        char* q = out.pos;
        while (p != end) {
            if constexpr (mode == check_mode::strict) ++line;
            q = out_line_room(out, q);
            common_indices ix;
            const char* line_feed = nullptr;
            if (take_common_indices(rows, p, ix, entry_use::copy))
                line_feed = copy_common_line(q, p, ix, index_shift::plus_one);
            if (line_feed != nullptr) {
                took_common_line(c, p);
                if (mode == check_mode::strict &&
                    (static_cast<std::uint64_t>(ix.row) >= row_count || !common_col_in_range<0>(bound, ix) ||
                     q[-8] != '.')) [[unlikely]] {
                    if (!check_common_line(chk, line, ix, q)) break;
                }
            } else {
                chk.line = line;
                line_feed = shift_other_line<mode>(q, p, end, c, chk);
                if (mode == check_mode::strict && stopped(*chk.log)) break;
            }
            p = line_feed + 1;
        }
        in.next = p;
        out.pos = q;
        chk.line = line;
        if (mode == check_mode::strict && stopped(*chk.log)) stop_reading(in);
    }
}

// The header and the entries; the problems seen on the way (lines of
// another shape) are counted in seen. A strict run checks each line on the
// way, and stops at the first problem with it as the reason.
static void shift(line_reader& in, out_buf& out, check_log& seen) {
    tra_checks unchecked;
    unchecked.log = &seen;
    unchecked.reader = &in;
    tra_header h;
    if (copy_header(in, out, h)) shift_entries<check_mode::off>(in, out, unchecked);
    if (seen.problems > 0 && !in.failed) seen.first_line = line_at(in, seen.first_line);
}

// A strict run's: false, with the first problem as the reason, where it
// stops.
[[gnu::noinline]] static bool shift_checked(line_reader& in, out_buf& out, const char* infile, failure& why) {
    check_log log = make_check_log(check_mode::strict, input_name(infile));
    tra_checks chk;
    chk.log = &log;
    if (read_checked_header(in, chk, 0)) {
        write_header_line(out, chk.header.states, chk.header.size);
        write_header_line(out, chk.header.transitions, chk.header.nnz);
        shift_entries<check_mode::strict>(in, out, chk);
        if (!stopped(log)) finish_checks(chk, in);
    }
    if (!stopped(log)) return true;
    why = log.first;
    return false;
}

static int shift_file(const char* infile, const char* outfile, bool strict, standard_streams streams,
                      failure& why, check_log& seen) {
    int ip = open_input(infile, streams.input);
    int input_error = errno;
    file_id input = ip >= 0 ? identify_file(ip) : file_id{};
    out_buf out;
    if (!open_output_beside(ip, input_error, input, input_name(infile), outfile, streams, out, why)) return 0;
    line_reader in = make_line_reader(ip);
    in.progress = start_progress("onebase", ip, 1);
    bool passed = true;
    if (strict)
        passed = shift_checked(in, out, infile, why);
    else
        shift(in, out, seen);
    if (!passed) {
        close_reader(in);
        out_discard(out);
        return 0;
    }
    return close_both(in, out, infile, outfile, why) ? 1 : 0;
}

static check_result check_input(const char* infile, standard_streams streams, failure& why) {
    check_log log = make_check_log(check_mode::report, input_name(infile));
    tra_checks chk;
    chk.log = &log;
    auto entry = [&](std::int64_t row, std::int64_t col, double val) { return check_entry(chk, row, col, val); };
    if (!check_tra_input("onebase", infile, streams, 0, chk, entry, why)) return {};
    return checked(log, counted(chk.line, "line", "lines") + ", " +
                            counted(chk.line > 2 ? chk.line - 2 : 0, "entry", "entries"));
}

check_result check_file(const char* infile, standard_streams streams, failure& why) {
    return unless_out_of_memory(check_result{}, why, [&] { return check_input(infile, streams, why); });
}

int read_tra_file(const char* infile, const char* outfile, bool strict, standard_streams streams, failure& why,
                  check_log* seen) {
    check_log unseen = make_check_log(check_mode::warn, "");
    check_log& log = seen != nullptr ? *seen : unseen;
    return unless_out_of_memory(0, why, [&] { return shift_file(infile, outfile, strict, streams, why, log); });
}
