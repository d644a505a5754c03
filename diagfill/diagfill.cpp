#include <sys/stat.h>
#include <unistd.h>

#include "blocks.h"
#include "diagfill.h"

static bool in_table(const row_sums& sums, long long row) { return row >= 1 && row <= sums.slots; }

// A size of zero or below gives a table of no slots. One spare slot keeps an
// empty table apart from a failed allocation.
static bool allocate_table(row_sums& sums, int size) {
    sums.slots = size > 0 ? size : 0;
    sums.rowsum.reset(static_cast<double*>(std::calloc(static_cast<std::size_t>(sums.slots) + 1, sizeof(double))));
    return sums.rowsum != nullptr;
}

// A pipe or a terminal yields its bytes once: keep a copy for the second pass.
static bool needs_copy(int fd) {
    struct stat st;
    return fstat(fd, &st) != 0 || !S_ISREG(st.st_mode);
}

// Both passes parse their lines a block at a time on two helper threads;
// what carries from line to line is applied here, block after block in input
// order. A block is split at its first line whose row passes the first
// line's row. The lines before (the head) continue whatever row the block
// before left open, so they are done here. The helper does the rest (the
// body) as if that row were less than the body's first row, as it is in a
// file whose rows ascend; where it is not, or where a line leaves a field
// unset (it keeps the value of the line before), the block is done here line
// by line.

static void add_to_row(row_sums& sums, long long& prev_row, int row, double val) {
    if (prev_row == -1 || row > prev_row) prev_row = row;
    if (in_table(sums, prev_row)) sums.rowsum[prev_row - 1] += val;
}

struct summed_value {
    int row;
    double val;
};

struct summed_block {
    std::vector<summed_value> head;
    // The body's rows with the sums of their values, added from zero: as no
    // line before counts toward them, their sums start from zero.
    std::vector<summed_value> totals;
    summed_value last{};  // the fields of the last line
    bool whole = false;   // every line gave all its fields
};

// The per-line routines are inlined into each loop (flatten). The loops
// work on locals, which stay in registers, and leave them in the block.
[[gnu::flatten]] static void parse_summed_block(std::string_view lines, summed_block& b) {
    std::vector<summed_value> head = std::move(b.head);
    std::vector<summed_value> totals = std::move(b.totals);
    head.clear();
    totals.clear();
    bool whole = true;
    bool in_body = false;
    std::string_view line;
    tra_entry e;
    while (split_line(lines, line)) {
        whole = parse_summed_entry_line(line, e);
        if (!whole) break;
        // A negative first row stands apart in the row-sum rule: such a
        // block stays whole in the head.
        in_body = !head.empty() && head.front().row >= 0 && e.row > head.front().row;
        if (in_body) break;
        head.push_back({e.row, e.val});
    }
    if (in_body) {
        summed_value total{e.row, 0.0};
        do {
            if (e.row > total.row) {
                totals.push_back(total);
                total = {e.row, 0.0};
            }
            total.val += e.val;
        } while (split_line(lines, line) && (whole = parse_summed_entry_line(line, e)));
        totals.push_back(total);
    }
    b.head = std::move(head);
    b.totals = std::move(totals);
    b.last = {e.row, e.val};
    b.whole = whole;
}

struct summing {
    long long prev_row = -1;
    tra_entry e;  // the fields of the last line
};

[[gnu::flatten]] static void sum_lines(std::string_view lines, summing& s, row_sums& sums) {
    std::string_view line;
    while (split_line(lines, line)) {
        parse_summed_entry_line(line, s.e);
        add_to_row(sums, s.prev_row, s.e.row, s.e.val);
    }
}

// Returns whether the helper's work was used.
static bool take_sums(std::string_view lines, const summed_block& b, bool mapped, summing& s, row_sums& sums) {
    if (!mapped || !b.whole || (!b.totals.empty() && s.prev_row >= b.totals.front().row)) {
        sum_lines(lines, s, sums);
        return false;
    }
    for (const summed_value& v : b.head) add_to_row(sums, s.prev_row, v.row, v.val);
    for (const summed_value& t : b.totals)
        if (in_table(sums, t.row)) sums.rowsum[t.row - 1] = t.val;
    if (!b.totals.empty()) s.prev_row = b.totals.back().row;
    s.e.row = b.last.row;
    s.e.val = b.last.val;
    return true;
}

static void sum_rows(line_reader& in, row_sums& sums) {
    summing s;
    map_blocks_in_order<summed_block>(
        in, parse_summed_block,
        [&](std::string_view lines, const summed_block& b, bool mapped) { return take_sums(lines, b, mapped, s, sums); });
}

static void read_sums(line_reader& in, row_sums& sums) {
    tra_header h;
    if (!read_header_line(in, h.states, h.size)) return;
    if (!allocate_table(sums, h.size)) {
        sums.failed = true;
        return;
    }
    if (read_header_line(in, h.transitions, h.nnz)) sum_rows(in, sums);
}

row_sums first_pas(const char* infile) {
    row_sums sums;
    int fd = open_input(infile);
    if (fd < 0) return sums;
    sums.input = identify(fd);
    bool copying = needs_copy(fd);
    if (copying) sums.copy.reset(std::tmpfile());
    if (copying && !sums.copy) {
        sums.failed = true;
    } else {
        line_reader in = make_line_reader(fd, sums.copy ? fileno(sums.copy.get()) : -1, line_block_size);
        read_sums(in, sums);
        sums.failed = sums.failed || in.failed;
    }
    close(fd);
    return sums;
}

struct completing {
    long long pres_row = 0;
    bool row_flag = false;
    tra_entry e;  // the fields of the last line
};

// Whether the row's diagonal entry goes in before this entry: before the
// first entry of the row on or right of the diagonal.
static bool diagonal_due(completing& c, const row_sums& sums, int row, int col) {
    if (row > c.pres_row) {
        c.pres_row = row;
        c.row_flag = false;
    }
    if (c.row_flag || col < row || !in_table(sums, row)) return false;
    c.row_flag = true;
    return true;
}

static void write_diagonal(out_buf& out, const row_sums& sums, int row) {
    write_entry_line(out, row, row, -sums.rowsum[row - 1]);
}

// A line of the head as copied by a helper: its indices, and the end of its
// text, where a diagonal entry may have to go in before the next line.
struct copied_line {
    int row;
    int col;
    std::size_t end;
};

// Room left before the body's text, for the text that goes out before it.
constexpr std::size_t room_before_body = 4096;

struct copied_block {
    std::vector<copied_line> head;
    out_buf head_text = make_memory_buf(0);
    // The body's text with its diagonal entries in, from room_before_body.
    out_buf body_text = make_memory_buf(0);
    int body_row = 0;  // the body's first row, when it has lines
    bool has_body = false;
    completing body;     // where the body leaves the row being completed
    bool whole = false;  // every line gave all its fields
};

[[gnu::flatten]] static void copy_block(std::string_view lines, copied_block& b, const row_sums& sums) {
    std::vector<copied_line> head = std::move(b.head);
    out_buf head_text = std::move(b.head_text);
    out_buf text = std::move(b.body_text);
    head.clear();
    head_text.used = 0;
    // The body's buffer may be another since it was last filled.
    text.used = 0;
    completing body;
    bool whole = true;
    bool in_body = false;
    std::string_view line;
    tra_entry& e = body.e;
    while (split_line(lines, line)) {
        whole = parse_copied_entry_line(line, e);
        if (!whole) break;
        in_body = !head.empty() && e.row > head.front().row;
        if (in_body) break;
        write_unchanged_entry_line(head_text, e);
        head.push_back({e.row, e.col, head_text.used});
    }
    if (in_body) {
        b.body_row = e.row;
        body.pres_row = head.front().row;
        out_reserve(text, room_before_body);
        text.used = room_before_body;
        do {
            if (diagonal_due(body, sums, e.row, e.col)) write_diagonal(text, sums, e.row);
            write_unchanged_entry_line(text, e);
        } while (split_line(lines, line) && (whole = parse_copied_entry_line(line, e)));
    }
    b.head = std::move(head);
    b.head_text = std::move(head_text);
    b.body_text = std::move(text);
    b.body = body;
    b.has_body = in_body;
    b.whole = whole;
}

[[gnu::flatten]] static void complete_lines(std::string_view lines, completing& c, const row_sums& sums,
                                            out_buf& out) {
    std::string_view line;
    while (split_line(lines, line)) {
        parse_copied_entry_line(line, c.e);
        if (diagonal_due(c, sums, c.e.row, c.e.col)) write_diagonal(out, sums, c.e.row);
        write_unchanged_entry_line(out, c.e);
    }
}

// Returns whether the helper's work was used.
static bool take_copies(std::string_view lines, copied_block& b, bool mapped, completing& c, const row_sums& sums,
                        out_buf& out) {
    if (!mapped || !b.whole || (b.has_body && c.pres_row >= b.body_row)) {
        complete_lines(lines, c, sums, out);
        return false;
    }
    // The head's text goes out in pieces, split where a diagonal entry goes
    // in; the body's text goes out whole.
    std::string_view text = out_text(b.head_text);
    std::size_t copied = 0;
    std::size_t start = 0;
    for (const copied_line& l : b.head) {
        if (diagonal_due(c, sums, l.row, l.col)) {
            out_put(out, text.substr(copied, start - copied));
            write_diagonal(out, sums, l.row);
            copied = start;
        }
        start = l.end;
    }
    out_put(out, text.substr(copied));
    if (b.has_body) {
        out_hand_over(out, b.body_text.buf, room_before_body, b.body_text.used);
        c.pres_row = b.body.pres_row;
        c.row_flag = b.body.row_flag;
    }
    c.e = b.body.e;
    return true;
}

static void complete_rows(line_reader& in, out_buf& out, const row_sums& sums) {
    completing c;
    map_blocks_in_order<copied_block>(
        in, [&](std::string_view lines, copied_block& b) { copy_block(lines, b, sums); },
        [&](std::string_view lines, copied_block& b, bool mapped) { return take_copies(lines, b, mapped, c, sums, out); });
}

// The second pass reads the copy when there is one, else the input again.
static int reopen_input(const char* infile, const row_sums& sums) {
    if (!sums.copy) return open_input(infile);
    int fd = dup(fileno(sums.copy.get()));
    if (fd >= 0 && lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int read_tra_file(const char* infile, const char* outfile, out_buf& console) {
    row_sums sums = first_pas(infile);
    out_put(console, "here\n");
    out_flush(console);
    if (sums.failed) return 0;
    int ip = reopen_input(infile, sums);
    file_id input = sums.copy ? sums.input : (ip >= 0 ? identify(ip) : file_id{});
    int op;
    if (!open_output_beside(ip, input, outfile, op)) return 0;
    line_reader in = make_line_reader(ip, -1, line_block_size);
    out_buf out = make_out_buf(op);
    tra_header h;
    if (copy_header(in, out, h)) complete_rows(in, out, sums);
    return close_both(in, out) ? 1 : 0;
}
