#include "onebase.h"

#include "transfile.h"

// Indices are widened before the shift: 2147483647 becomes 2147483648. The
// per-line routines are inlined into the loop (flatten).
[[gnu::flatten]] static void shift_entries(line_reader& in, out_buf& out) {
    std::string_view line;
    tra_entry e;
    while (next_line(in, line)) {
        parse_copied_entry_line(line, e);
        write_shifted_entry_line(out, e);
    }
}

static int shift_file(const char* infile, const char* outfile) {
    int ip = open_input(infile);
    int op;
    if (!open_output_beside(ip, ip >= 0 ? identify(ip) : file_id{}, outfile, op)) return 0;
    line_reader in = make_line_reader(ip);
    out_buf out = make_out_buf(op);
    tra_header h;
    if (copy_header(in, out, h)) shift_entries(in, out);
    return close_both(in, out) ? 1 : 0;
}

int read_tra_file(const char* infile, const char* outfile) {
    return unless_out_of_memory(0, [&] { return shift_file(infile, outfile); });
}
