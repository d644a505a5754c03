#include "onebase.h"

#include "frame.h"
#include "transfile.h"

// Each entry is copied with its indices plus one. The per-line routines are
// inlined into the loop (flatten).
[[gnu::flatten]] static void shift_entries(line_reader& in, out_buf& out) {
    tra_entry e;
    while (more_lines(in)) {
        const char* p = in.next;
        const char* end = in.lines_end;
        char* q = out.pos;
        while (p != end) {
            q = out_line_room(out, q);
            p = parse_copied_entry_line(p, end, e) + 1;
            q = write_entry_line(q, e, index_shift::plus_one);
        }
        in.next = p;
        out.pos = q;
    }
}

static int shift_file(const char* infile, const char* outfile) {
    int ip = open_input_file(infile);
    int op;
    if (!open_output_beside(ip, ip >= 0 ? identify_file(ip) : file_id{}, outfile, op)) return 0;
    line_reader in = make_line_reader(ip);
    out_buf out = make_out_buf(op);
    tra_header h;
    if (copy_header(in, out, h)) shift_entries(in, out);
    return close_both(in, out) ? 1 : 0;
}

int read_tra_file(const char* infile, const char* outfile) {
    return unless_out_of_memory(0, [&] { return shift_file(infile, outfile); });
}
