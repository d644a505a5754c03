#include "onebase.h"

#include <cerrno>

#include "frame.h"
#include "transfile.h"

// A line of any other shape, through its fields: rare, and kept out of the
// loop so that the loop's values stay in registers. Returns its line feed.
[[gnu::noinline]] static const char* shift_other_line(char*& q, const char* p, const char* end, entry_cursor& c) {
    const char* line_feed = read_other_line(c, p, end, entry_use::copy).line_feed;
    q = write_entry_line(q, c.e, index_shift::plus_one);
    return line_feed;
}

// Each entry is copied with its indices plus one: a common line in one
// pass from its text, any other through its fields. The per-line routines
// of common lines are inlined into the loop (flatten).
[[gnu::flatten]] static void shift_entries(line_reader& in, out_buf& out) {
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
            if (take_common_indices(rows, p, ix, entry_use::copy)) line_feed = copy_common_line(q, p, ix, index_shift::plus_one);
            if (line_feed != nullptr)
                took_common_line(c, p);
            else
                line_feed = shift_other_line(q, p, end, c);
            p = line_feed + 1;
        }
        in.next = p;
        out.pos = q;
    }
}

static int shift_file(const char* infile, const char* outfile, standard_streams streams, failure& why) {
    int ip = open_input(infile, streams.input);
    int input_error = errno;
    file_id input = ip >= 0 ? identify_file(ip) : file_id{};
    out_buf out;
    if (!open_output_beside(ip, input_error, input, input_name(infile), outfile, streams, out, why)) return 0;
    line_reader in = make_line_reader(ip);
    in.progress = start_progress("onebase", ip, 1);
    tra_header h;
    if (copy_header(in, out, h)) shift_entries(in, out);
    return close_both(in, out, infile, outfile, why) ? 1 : 0;
}

int read_tra_file(const char* infile, const char* outfile, standard_streams streams, failure& why) {
    return unless_out_of_memory(0, why, [&] { return shift_file(infile, outfile, streams, why); });
}
