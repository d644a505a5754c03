#include "reference_diagfill.h"

#include <cmath>
#include <vector>

#include "transfile.h"

static std::vector<std::string_view> lines_of(std::string_view input) {
    std::vector<std::string_view> lines;
    while (!input.empty()) {
        std::size_t feed = input.find('\n');
        std::size_t len = feed == std::string_view::npos ? input.size() : feed + 1;
        lines.push_back(input.substr(0, len));
        input.remove_prefix(len);
    }
    return lines;
}

std::string reference_diagfill(std::string_view input) {
    std::vector<std::string_view> lines = lines_of(input);
    if (lines.size() < 2) return "";
    tra_header h;
    parse_header_line(lines[0], h.states, h.size);
    parse_header_line(lines[1], h.transitions, h.nnz);
    std::vector<double> rowsum(h.size > 0 ? static_cast<std::size_t>(h.size) : 0);
    auto in_table = [&](long long row) { return row >= 1 && row <= static_cast<long long>(rowsum.size()); };

    tra_entry e;
    long long prev_row = -1;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        parse_entry_line(lines[i], e);
        if (prev_row == -1 || e.row > prev_row) prev_row = e.row;
        if (!in_table(prev_row)) continue;
        // As C adds on x86-64: of two NaNs, the first operand's is kept.
        double& sum = rowsum[static_cast<std::size_t>(prev_row - 1)];
        if (!std::isnan(sum)) sum += e.val;
    }

    out_buf out = make_memory_buf(0);
    write_header_line(out, h.states, h.size);
    write_header_line(out, h.transitions, h.nnz);
    tra_entry f;
    long long pres_row = 0;
    bool row_flag = false;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        parse_entry_line(lines[i], f);
        if (f.row > pres_row) {
            pres_row = f.row;
            row_flag = false;
        }
        if (!row_flag && f.col >= f.row && in_table(f.row)) {
            row_flag = true;
            write_entry_line(out, f.row, f.row, -rowsum[static_cast<std::size_t>(f.row - 1)]);
        }
        write_entry_line(out, f.row, f.col, f.val);
    }
    return std::string(out_text(out));
}
