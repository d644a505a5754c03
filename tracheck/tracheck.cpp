#include "tracheck.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

static bool check_header_line(tra_checks& chk, const std::string& keyword, const header_shape& shape) {
    if (!shape.keyword) return add_problem(*chk.log, chk.line, "header line without a keyword and a number");
    if (!shape.number)
        return add_problem(*chk.log, chk.line, "header line %s without its number", shown_text(keyword).c_str());
    if (*shape.rest != '\n')
        return add_problem(*chk.log, chk.line, "text after the header's number: %s", quoted_text(shape.rest).c_str());
    return true;
}

bool read_checked_header(line_reader& in, tra_checks& chk, std::int64_t first_index) {
    tra_header& h = chk.header;
    header_shape shape;
    const char* missing = "the first header line (the number of states) is missing: the file is empty";
    for (int n = 1; n <= 2; ++n) {
        std::string& keyword = n == 1 ? h.states : h.transitions;
        if (!read_header_line(in, keyword, n == 1 ? h.size : h.nnz, &shape)) {
            add_problem(*chk.log, n, "%s", missing);
            return false;
        }
        chk.line = n;
        if (!check_header_line(chk, keyword, shape)) return false;
        missing = "the second header line (the number of entries) is missing";
    }
    expect_indices(chk, h.size, first_index);
    return true;
}

// size - 1 + first_index, without going past the 64-bit range for the
// least size (no index lies within then either).
void expect_indices(tra_checks& chk, std::int64_t size, std::int64_t first_index) {
    chk.low = first_index;
    chk.high = first_index == 0 && size == INT64_MIN ? INT64_MIN : size + (first_index - 1);
    chk.count = size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

common_col_bound make_col_bound(const tra_checks& chk) {
    common_col_bound b;
    if (chk.high >= 10'000'000) {
        b.digits = 8;
        return b;
    }
    if (chk.high < 0) return b;  // no col is within: digits 0 never matches
    char text[8];
    int n = std::snprintf(text, sizeof text, "%lld", static_cast<long long>(chk.high));
    std::uint64_t word = ~std::uint64_t{0};
    std::memcpy(&word, text, static_cast<std::size_t>(n));
    b.digits = n;
    b.key = reversed_bytes(load_line_word(reinterpret_cast<const char*>(&word)));
    return b;
}

bool check_shape(tra_checks& chk, const char* p, const other_line& read) {
    check_log& log = *chk.log;
    if (*skip_blanks(p) == '\n')
        return add_problem(log, chk.line, "blank line: it repeats the entry before it");
    if (read.shape.supplied == 0)
        return add_problem(log, chk.line, "no entry: %s repeats the entry before it", quoted_text(p).c_str());
    if (read.shape.supplied < 3) {
        const char* lacks = read.shape.supplied == 1 ? "col and value" : "value";
        return add_problem(log, chk.line, "the line gives no %s: the %s of the line before %s used", lacks,
                           lacks, read.shape.supplied == 1 ? "are" : "is");
    }
    if (read.shape.trailing)
        return add_problem(log, chk.line, "text after the value: %s", quoted_text(read.rest).c_str());
    return true;
}

bool report_index(tra_checks& chk, const char* which, std::int64_t index) {
    const char* hint = "";
    if (chk.low == 1 && index == 0) hint = ": the file looks 0-based; run onebase on it first";
    if (chk.low == 0 && index == chk.high + 1) hint = ": the file looks 1-based already";
    return add_problem(*chk.log, chk.line, "%s %lld is outside %lld..%lld%s", which, static_cast<long long>(index),
                       static_cast<long long>(chk.low), static_cast<long long>(chk.high), hint);
}

bool check_value(tra_checks& chk, double value) {
    if (!std::isfinite(value)) return add_problem(*chk.log, chk.line, "value %g is not a finite number", value);
    if (value != 0 && std::fabs(value) < 5e-7 && chk.tiny_values++ == 0) chk.first_tiny = chk.line;
    return true;
}

bool finish_checks(tra_checks& chk, const line_reader& in) {
    check_log& log = *chk.log;
    std::int64_t entries = chk.line - 2;
    std::string shown_keyword = shown_text(chk.header.transitions);
    const char* keyword = shown_keyword.c_str();
    std::string has = counted(entries, "entry", "entries");
    auto nnz = static_cast<long long>(chk.header.nnz);
    if (entries < chk.header.nnz &&
        !add_problem(log, chk.line + 1, "%s says %lld, the file has %s: was it cut short?", keyword, nnz, has.c_str()))
        return false;
    if (entries > chk.header.nnz)
        add_note(log, 2, "%s says %lld, the file has %s (diagfill's own outputs have more)", keyword, nnz, has.c_str());
    if (chk.tiny_values > 0)
        add_note(log, chk.first_tiny, "%s not zero but written as 0.000000 or -0.000000",
                 counted(chk.tiny_values, "value is", "values are").c_str());
    add_line_notes(log, chk.lines, chk.line, in.unended_last_line);
    return true;
}
