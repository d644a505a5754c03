#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

#include "diagfill.h"

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

// A pipe or a terminal yields its bytes once: keep a copy for the second pass.
static bool needs_copy(int fd) {
    struct stat st;
    return fstat(fd, &st) != 0 || !S_ISREG(st.st_mode);
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

// The sum of the row being summed is kept here while its entries come, and
// goes to the table when a greater row starts. As rows only grow, each
// row's entries are summed in one stretch. The per-line routines are
// inlined into the loop (flatten).
[[gnu::flatten]] static void sum_rows(line_reader& in, row_sums& sums) {
    std::int64_t prev_row = -1;
    double sum = 0.0;
    tra_entry e;
    std::string_view line;
    while (next_line(in, line)) {
        parse_summed_entry_line(line, e);
        if (prev_row == -1 || e.row > prev_row) {
            keep_row_sum(sums, prev_row, sum);
            prev_row = e.row;
            sum = row_sum(sums, prev_row);
        }
        sum = added(sum, e.val);
    }
    keep_row_sum(sums, prev_row, sum);
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

// An anonymous file that lives as long as its descriptor, or -1.
static int open_spool() {
    std::FILE* f = std::tmpfile();
    if (f == nullptr) return -1;
    int fd = dup(fileno(f));
    std::fclose(f);
    return fd;
}

row_sums first_pas(const char* infile) {
    row_sums sums;
    int fd = open_input(infile);
    if (fd < 0) return sums;
    sums.input = identify(fd);
    int spool = needs_copy(fd) ? open_spool() : fd;
    if (spool < 0) {
        sums.failed = true;
    } else {
        line_reader in = make_line_reader(fd, spool != fd ? spool : -1);
        read_sums(in, sums);
        sums.failed = sums.failed || in.failed;
    }
    if (spool != fd) close(fd);
    sums.again = spool;
    if (sums.again >= 0 && lseek(sums.again, 0, SEEK_SET) != 0) sums.failed = true;
    return sums;
}

struct completing {
    std::int64_t pres_row = 0;
    bool row_flag = false;
    tra_entry e;  // the fields of the last line
};

// Whether the row's diagonal entry goes in before this entry: before the
// first entry of the row on or right of the diagonal.
static bool diagonal_due(completing& c, const row_sums& sums, std::int64_t row, std::int64_t col) {
    if (row > c.pres_row) {
        c.pres_row = row;
        c.row_flag = false;
    }
    if (c.row_flag || col < row || !in_table(sums, row)) return false;
    c.row_flag = true;
    return true;
}

static void write_diagonal(out_buf& out, const row_sums& sums, std::int64_t row) {
    write_entry_line(out, row, row, -sums.rowsum[row - 1]);
}

[[gnu::flatten]] static void complete_rows(line_reader& in, out_buf& out, const row_sums& sums) {
    completing c;
    std::string_view line;
    while (next_line(in, line)) {
        parse_copied_entry_line(line, c.e);
        if (diagonal_due(c, sums, c.e.row, c.e.col)) write_diagonal(out, sums, c.e.row);
        write_unchanged_entry_line(out, c.e);
    }
}

// The second pass, over the input that the first pass left at its start.
static int complete_file(row_sums& sums, const char* outfile) {
    int op;
    if (!open_output_beside(sums.again, sums.input, outfile, op)) return 0;
    line_reader in = make_line_reader(sums.again);
    out_buf out = make_out_buf(op);
    tra_header h;
    if (copy_header(in, out, h)) complete_rows(in, out, sums);
    return close_both(in, out) ? 1 : 0;
}

int read_tra_file(const char* infile, const char* outfile, console& messages) {
    row_sums no_memory;
    no_memory.failed = true;
    row_sums sums = unless_out_of_memory(std::move(no_memory), [&] { return first_pas(infile); });
    console_put(messages, "here\n");
    if (sums.failed) {
        if (sums.again >= 0) close(sums.again);
        return 0;
    }
    return unless_out_of_memory(0, [&] { return complete_file(sums, outfile); });
}
