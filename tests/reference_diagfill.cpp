#include "reference_diagfill.h"

#include <cmath>
#include <unordered_map>
#include <vector>

#include "padded.h"
#include "transfile.h"

// Each line on its own, ended by a line feed and padded.
static std::vector<std::string> lines_of(std::string_view input) {
    std::vector<std::string> lines;
    while (!input.empty()) {
        std::size_t feed = input.find('\n');
        std::size_t len = feed == std::string_view::npos ? input.size() : feed + 1;
        lines.push_back(padded(input.substr(0, feed == std::string_view::npos ? len : len - 1)));
        input.remove_prefix(len);
    }
    return lines;
}

static void put_entry(std::string& out, std::int64_t row, std::int64_t col, double val) {
    char text[2 * max_int_chars + max_fixed6_chars + 16];
    char* p = write_int(text, row);
    *p++ = ' ';
    p = write_int(p, col);
    *p++ = ' ';
    p = write_fixed6(p, val);
    *p++ = '\n';
    out.append(text, p);
}

std::string reference_diagfill(std::string_view input) {
    std::vector<std::string> lines = lines_of(input);
    if (lines.size() < 2) return "";
    tra_header h;
    parse_header_line(lines[0].data(), h.states, h.size);
    parse_header_line(lines[1].data(), h.transitions, h.nnz);
    // Rows by their number, so that a table of a billion states costs only
    // the rows the file has.
    std::unordered_map<std::int64_t, double> rowsum;
    auto in_table = [&](std::int64_t row) { return row >= 1 && row <= h.size; };
    auto parse = [](const std::string& line, tra_entry& e) {
        parse_entry_line(line.data(), line.data() + line.size() - line_padding, e);
    };

    tra_entry e;
    std::int64_t prev_row = -1;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        parse(lines[i], e);
        if (prev_row == -1 || row_of(e) > prev_row) prev_row = row_of(e);
        if (!in_table(prev_row)) continue;
        // As C adds on x86-64: of two NaNs, the first operand's is kept.
        double& sum = rowsum[prev_row];
        if (!std::isnan(sum)) sum += e.val.value;
    }

    std::string out = h.states + " " + std::to_string(h.size) + "\n" + h.transitions + " " + std::to_string(h.nnz) + "\n";
    tra_entry f;
    std::int64_t pres_row = 0;
    bool row_flag = false;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        parse(lines[i], f);
        std::int64_t row = row_of(f);
        if (row > pres_row) {
            pres_row = row;
            row_flag = false;
        }
        if (!row_flag && col_of(f) >= row && in_table(row)) {
            row_flag = true;
            put_entry(out, row, row, -rowsum[row]);
        }
        put_entry(out, row, col_of(f), f.val.value);
    }
    return out;
}
