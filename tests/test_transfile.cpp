#include <cmath>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "padded.h"
#include "transfile.h"

namespace {

TEST(HeaderLine, KeywordAndNumber) {
    struct header_case {
        std::string_view line;
        const char* keyword;
        std::int64_t number;
    };
    using namespace std::string_view_literals;
    const header_case cases[] = {
        {"STATES 3", "STATES", 3},
        {"  \tstates    12   trailing text\r", "states", 12},
        {"states3", "states3", -1},      // no white space: one word, no number
        {"states 1e", "states", 1},      // the number ends where it cannot go on
        {"states x5", "states", -1},     // no number: it keeps its value
        {"   ", "old", -1},              // no word: nothing is assigned
        {"", "old", -1},
        {"k 99999999999", "k", 99999999999},
        {"k 9223372036854775808", "k", -1},  // out of range: the number fails
        // A line read into a string ends at a NUL byte.
        {"S\0 3"sv, "S", -1},
        {"S \0 3"sv, "S", -1},
        {"\0S 3"sv, "old", -1},
        {"S 1\0 2"sv, "S", 1},
    };
    for (const auto& c : cases) {
        std::string keyword = "old";
        std::int64_t number = -1;
        parse_header_line(padded(c.line).data(), keyword, number);
        EXPECT_EQ(keyword, c.keyword) << c.line;
        EXPECT_EQ(number, c.number) << c.line;
    }
    std::string long_word(5000, 'k');
    std::string keyword;
    std::int64_t number = 0;
    parse_header_line(padded(long_word + " 7").data(), keyword, number);
    EXPECT_EQ(keyword, long_word);
    EXPECT_EQ(number, 7);
}

TEST(EntryLine, FieldsUpToTheFirstThatFailsAndWhatTheLineGave) {
    struct entry_case {
        const char* line;
        std::int64_t row, col;
        double val;
        int supplied;
        bool trailing;
    };
    // Every line starts from row 9, col 9, val 9.
    const entry_case cases[] = {
        {"1 2 0.5", 1, 2, 0.5, 3, false},
        {"1\t2\t0.25\r", 1, 2, 0.25, 3, false},
        {"1 2.5", 1, 2, 0.5, 3, false},
        {"1-2 0.5", 1, -2, 0.5, 3, false},
        {"", 9, 9, 9, 0, false},
        {"3 4", 3, 4, 9, 2, false},
        {"3 4 1e", 3, 4, 9, 2, true},
        {"3 x 7", 3, 9, 9, 1, true},
        {"# 1 2 3", 9, 9, 9, 0, true},
        {"3 99999999999 7", 3, 99999999999, 7, 3, false},
        {"3 9223372036854775808 7", 3, 9, 9, 1, true},
        {"  -1 0 -inf junk", -1, 0, -INFINITY, 3, true},
        {"1 2 0.5 \t", 1, 2, 0.5, 3, false},
    };
    const entry_use uses[] = {entry_use::values, entry_use::sums, entry_use::copy};
    for (const auto& c : cases) {
        std::string line = padded(c.line);
        const char* end = line.data() + line.size() - line_padding;
        for (entry_use use : uses) {
            entry_cursor cursor;
            tra_entry& e = cursor.e;
            e.row = e.col = 9;
            e.val.value = 9.0;
            other_line read = read_other_line(cursor, line.data(), end, use);
            EXPECT_EQ(read.line_feed, end - 1) << c.line;
            EXPECT_EQ(read.shape.supplied, c.supplied) << c.line;
            EXPECT_EQ(read.shape.trailing, c.trailing) << c.line;
            EXPECT_EQ(row_of(e), c.row) << c.line;
            if (use != entry_use::sums) {
                EXPECT_EQ(col_of(e), c.col) << c.line;
            }
            if (use != entry_use::copy) {
                EXPECT_EQ(e.val.value, c.val) << c.line;
            }
        }
    }
}

// The lines, each parsed to be copied and written, through one entry.
std::string copied(const std::vector<std::string>& lines, index_shift shift) {
    out_buf o = make_memory_buf();
    entry_cursor c;
    for (const auto& text : lines) {
        std::string line = padded(text);
        read_other_line(c, line.data(), line.data() + line.size() - line_padding, entry_use::copy);
        o.pos = write_entry_line(out_line_room(o), c.e, shift);
    }
    return std::string(out_text(o));
}

TEST(EntryWriter, LineLayout) {
    out_buf o = make_memory_buf();
    write_header_line(o, "STATES", 3);
    tra_entry e;
    e.row = 2147483648LL;
    e.col = -1;
    e.val.value = -0.0;
    o.pos = write_entry_line(out_line_room(o), e, index_shift::none);
    EXPECT_EQ(out_text(o), "STATES 3\n2147483648 -1 -0.000000\n");
}

TEST(IndicesAsRead, WritesThemAsPrintfWouldWhateverTheirText) {
    // Unchanged and shifted by one, each line's output must equal the
    // general parse and a plain write; index texts of every length from 3 to
    // 21 exercise the copies, and runs of nines the carries of the shift.
    const std::vector<std::string> lines = {
        "1 2 0.5",          "+1 2 0.5",      "01 2 0.5",       "1  2 0.5",    "1\t2 0.5",
        " 1 2 0.5",         "0 0 1",         "00 0 1",         "1 00 1",      "-1 -2 0.5",
        "12 34 1",          "123 4567 1",    "1234 5678 2",    "12345678 1 3", "1234567 12345678 4",
        "9 9 1",            "19 99 1",       "999 1 1",        "1 9999999 1", "1099 2999 1",
        "123456789 987654321 0.5", "2147483647 2147483647 1e-3", "9223372036854775807 99999999999999999 1",
        "3 4 x",            "5 x 0.25",      "",               "7 8",
    };
    for (index_shift shift : {index_shift::none, index_shift::plus_one}) {
        std::string expected;
        tra_entry e;
        for (const auto& text : lines) {
            std::string line = padded(text);
            parse_entry_line(line.data(), line.data() + line.size() - line_padding, e);
            char value[max_fixed6_chars + 8];
            char index[max_int_chars + 8];
            auto number = [&](std::int64_t v) {
                char* end = shift == index_shift::plus_one ? write_int_plus_one(index, v) : write_int(index, v);
                return std::string(index, end);
            };
            expected += number(row_of(e)) + " " + number(col_of(e)) + " " + std::string(value, write_fixed6(value, e.val.value)) + "\n";
        }
        EXPECT_EQ(copied(lines, shift), expected) << (shift == index_shift::plus_one ? "shifted" : "as read");
    }
}

TEST(CopiedEntry, AFailedValueKeepsThePreviousOneOfEitherKind) {
    EXPECT_EQ(copied({"1 2 0.25", "1 3 x", "1 4 2e-3", "1 5 1e", "", "1 6 0.75 junk", "1 7"}, index_shift::none),
              "1 2 0.250000\n1 3 0.250000\n1 4 0.002000\n1 5 0.002000\n1 5 0.002000\n1 6 0.750000\n"
              "1 7 0.750000\n");
}

}  // namespace
