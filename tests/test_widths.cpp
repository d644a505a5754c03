// Indices of every width a signed 64-bit index can have, through every way
// the tools write one: users' files have ten million states and more, and
// the tools' word-at-a-time copies change their shape at eight digits.
#include <gtest/gtest.h>

#include "reference_diagfill.h"
#include "tool_harness.h"

namespace {

// The smallest index of the given number of digits.
std::int64_t smallest_of_width(int digits) {
    std::int64_t n = 1;
    for (int i = 1; i < digits; ++i) n *= 10;
    return digits == 1 ? 1 : n;
}

// Rows r, r+1, ... of one width: common lines, lines of another shape
// (tabs, an exponent), where not sound a row that comes back after a
// greater one (its diagonal written from its final sum), and, where
// long_row, a row whose held diagonal waits behind more bytes than memory
// keeps.
std::string rows_of_width(std::int64_t r, std::int64_t states, bool sound, bool long_row) {
    auto s = [](std::int64_t v) { return std::to_string(v); };
    std::string text = "STATES " + s(states) + "\nTRANSITIONS " + (sound ? "8" : "9") + "\n";
    text += s(r) + " 1 0.25\n" + s(r) + " " + s(r) + " 0.5\n" + s(r) + " " + s(r + 1) + " 0.125\n";
    text += s(r + 1) + "\t1\t0.5\n" + s(r + 1) + "\t" + s(r + 2) + "\t1e0\n";
    text += s(r + 2) + " 1 0.5\n";
    if (!sound) text += s(r) + " " + s(r + 1) + " 0.25\n";
    text += s(r + 3) + " " + s(r + 3) + " 2\n";
    if (long_row)
        for (int i = 0; i < 120000; ++i) text += s(r + 3) + " 1 0.5\n";
    text += s(r + 3) + " 1 0.5\n";
    return text;
}

// diagfill from a file, a pipe, to standard output and compressed, plain
// and strict: each gives what the line-by-line reference gives.
TEST(Widths, DiagfillWritesEveryIndexWidth) {
    temp_dir dir;
    const std::string tool = shell_quoted(tool_path("diagfill"));
    struct route {
        const char* name;
        std::string command;  // run in dir, from in to out
        bool sound_input;
    } const routes[] = {
        {"file", tool + " in out", false},
        {"pipe", "cat in | " + tool + " - out", false},
        {"standard output", tool + " in - >out", false},
        {"strict", tool + " --strict in out", true},
#ifdef STATETOOLS_GZIP
        {"gzip", tool + " in out.gz && gzip -dc out.gz >out", false},
#endif
    };
    for (int digits = 1; digits <= 19; ++digits) {
        std::int64_t r = smallest_of_width(digits);
        // Rows in the table get diagonals: a table of up to ten billion
        // rows is only address space until a row is written.
        bool in_table = digits <= 10;
        for (const auto& route : routes) {
            if (route.sound_input && !in_table) continue;
            std::string input = rows_of_width(r, in_table ? r + 3 : 5, route.sound_input, digits % 3 == 1);
            write_text(dir.file("in"), input);
            tool_run run = run_shell("cd " + shell_quoted(dir.path.string()) + " && " + route.command);
            EXPECT_EQ(run.status, 0) << digits << " digits, " << route.name << ": " << run.errors;
            EXPECT_EQ(first_difference(read_text(dir.file("out")), reference_diagfill(input)), "")
                << digits << " digits, " << route.name;
        }
    }
}

// onebase adds one to indices of every width, the largest becoming 2^63.
TEST(Widths, OnebaseShiftsEveryIndexWidth) {
    for (int digits = 1; digits <= 19; ++digits) {
        std::int64_t r = digits == 19 ? INT64_MAX - 1 : smallest_of_width(digits) - (digits == 1 ? 1 : 0);
        std::string row = std::to_string(r), col = std::to_string(r / 7);
        std::string next_row = std::to_string(r + 1), next_col = std::to_string(r / 7 + 1);
        std::string input = "S 1\nT 3\n" + row + " " + col + " 0.5\n" + row + "\t" + col + "\t1e0\n" +
                            std::to_string(r + 1) + " " + row + " 2\n";
        std::string last = digits == 19 ? "9223372036854775808" : std::to_string(r + 2);
        std::string want = "S 1\nT 3\n" + next_row + " " + next_col + " 0.500000\n" + next_row + " " + next_col +
                           " 1.000000\n" + last + " " + next_row + " 2.000000\n";
        EXPECT_EQ(convert_text("onebase", input, "done: 1\n"), want) << digits << " digits";
    }
}

// minmark numbers states from 1 at every width that a table can hold, and
// passes over wider ones, which lie outside any table.
TEST(Widths, MinmarkLabelsEveryStateWidth) {
    temp_dir dir;
    const std::string meets = ":(2,0,0,0,0,0,0,0,1,0,0)\n";
    for (int digits = 1; digits <= 19; ++digits) {
        std::int64_t s = smallest_of_width(digits) + 1;
        bool in_table = digits <= 10;
        std::string size = in_table ? std::to_string(s + 1) : "3";
        write_text(dir.file("list"), "0" + meets + std::to_string(s) + meets);
        for (const char* mode : {"--", "--strict"}) {
            if (!in_table && std::string(mode) == "--strict") continue;
            tool_run r = run_tool("minmark", {mode, size, "2", dir.file("list"), dir.file("labels")});
            EXPECT_EQ(r.output, "done: " + size + "\n") << digits << " digits " << mode;
            EXPECT_EQ(read_text(dir.file("labels")),
                      "#DECLARATION\nminimum\n#END\n1  minimum\n" +
                          (in_table ? std::to_string(s + 1) + "  minimum\n" : std::string()))
                << digits << " digits " << mode;
        }
    }
}

}  // namespace
