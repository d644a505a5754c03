#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "reference_diagfill.h"
#include "tool_harness.h"

namespace {

const std::string header = "STATES 3\nTRANSITIONS 6\n";

struct diagfill_case {
    const char* name;
    std::string input;
    std::string output;
};

std::string diagfill(const std::string& input) { return convert_text("diagfill", input, "here\ndone: 1\n"); }

TEST(Diagfill, CompletesRows) {
    const diagfill_case cases[] = {
        {"worked example",
         header + "1 2 0.5\n1 3 1.5\n2 1 2\n2 3 1\n3 1 1\n3 2 1\n",
         header +
             "1 1 -2.000000\n1 2 0.500000\n1 3 1.500000\n2 1 2.000000\n2 2 -3.000000\n"
             "2 3 1.000000\n3 1 1.000000\n3 2 1.000000\n"},
        {"entry on the diagonal", header + "2 2 0.5\n", header + "2 2 -0.500000\n2 2 0.500000\n"},
        {"row summing to zero", header + "1 2 1\n1 3 -1\n",
         header + "1 1 -0.000000\n1 2 1.000000\n1 3 -1.000000\n"},
        {"header only", header, header},
        {"one header line", "STATES 3\n", ""},
        {"empty", "", ""},
        {"header kept as read, nnz not raised", "  s   3 x\r\n\tt 1\n1 1 1\n", "s 3\nt 1\n1 1 -1.000000\n1 1 1.000000\n"},
        // Row 2 comes late: its value counts toward row 3, its own sum stays
        // 0, and its diagonal entry uses up row 3's.
        {"row out of order", header + "1 2 1\n3 1 2\n2 3 4\n3 3 1\n",
         header + "1 1 -1.000000\n1 2 1.000000\n3 1 2.000000\n2 2 -0.000000\n2 3 4.000000\n3 3 1.000000\n"},
        {"blank line repeats the entry", header + "1 2 0.25\n\n",
         header + "1 1 -0.500000\n1 2 0.250000\n1 2 0.250000\n"},
        {"CR LF and tabs", "STATES 3\r\nTRANSITIONS 1\r\n1\t2\t0.5\r\n",
         header.substr(0, 9) + "TRANSITIONS 1\n1 1 -0.500000\n1 2 0.500000\n"},
        {"incomplete value keeps the previous one", header + "1 2 0.5\n1 3 1e\n",
         header + "1 1 -1.000000\n1 2 0.500000\n1 3 0.500000\n"},
        {"sums from unrounded values", header + "1 1 0.0000004\n1 2 0.0000004\n",
         header + "1 1 -0.000001\n1 1 0.000000\n1 2 0.000000\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(diagfill(c.input), c.output) << c.name;
}

// A file of many read blocks: ascending rows of a few entries, now and then
// a row long enough to span blocks, and, per thousand lines, odd_lines lines
// that leave fields to the line before and out_of_order lines whose row lies
// up to 30 behind or ahead (below 1 near the start).
// Rows and cols start at first_row + 1 (users' files have rows of eight and
// nine digits), and the table covers them.
std::string many_blocks_input(unsigned seed, unsigned odd_lines, unsigned out_of_order, long long first_row = 0) {
    std::mt19937 rng(seed);
    const char* odd[] = {"\n", "7\n", "12 3\n", "x y z\n", "5 5 1e\n", "-3\n"};
    const char* values[] = {"0.5", "3", "-2.25", "1e-3", "0.123456", "0.0000005", "2.5e2"};
    std::string text = "STATES " + std::to_string(first_row + 40000) + "\nTRANSITIONS 0\n";
    char line[96];
    for (int row = 1; text.size() < 3'000'000; row += 1 + static_cast<int>(rng() % 3)) {
        int entries = rng() % 100 == 0 ? 3000 : 1 + static_cast<int>(rng() % 12);
        for (int col = 1 + static_cast<int>(rng() % 5); entries-- > 0; col += 1 + static_cast<int>(rng() % 9)) {
            long long r = first_row + row, c = first_row + col;
            if (rng() % 1000 < out_of_order) r += static_cast<int>(rng() % 60) - 30;
            if (rng() % 1000 < odd_lines) text += odd[rng() % std::size(odd)];
            if (rng() % 2)
                std::snprintf(line, sizeof line, "%lld %lld %s\n", r, c, values[rng() % std::size(values)]);
            else
                std::snprintf(line, sizeof line, "%lld %lld %.17g\n", r, c,
                              std::ldexp(static_cast<double>(rng()), -31));
            text += line;
        }
    }
    return text;
}

TEST(Diagfill, ManyBlocksGiveWhatLineByLineWorkGives) {
    struct {
        unsigned odd_lines, out_of_order;
        long long first_row;
    } const cases[] = {{0, 0, 0}, {0, 2, 0}, {3, 0, 0}, {2, 2, 0}, {2, 2, 10'000'000}, {2, 2, 100'000'000}};
    for (const auto& c : cases) {
        std::string input =
            many_blocks_input(c.odd_lines + 10 * c.out_of_order, c.odd_lines, c.out_of_order, c.first_row);
        EXPECT_EQ(first_difference(diagfill(input), reference_diagfill(input)), "")
            << c.odd_lines << " " << c.out_of_order << " from row " << c.first_row;
    }
}

TEST(Diagfill, RowsOutsideTheTableAreCopiedWithoutDiagonal) {
    const diagfill_case cases[] = {
        {"row 0 and a row past size", "S 2\nT 3\n0 1 1\n1 1 2\n3 3 4\n",
         "S 2\nT 3\n0 1 1.000000\n1 1 -2.000000\n1 1 2.000000\n3 3 4.000000\n"},
        {"negative rows", "S 2\nT 2\n-5 1 1\n-1 -1 1\n", "S 2\nT 2\n-5 1 1.000000\n-1 -1 1.000000\n"},
        {"size zero", "S 0\nT 1\n1 1 1\n", "S 0\nT 1\n1 1 1.000000\n"},
        {"negative size", "S -4\nT 1\n1 1 1\n", "S -4\nT 1\n1 1 1.000000\n"},
        {"largest row", "S 2\nT 1\n2147483647 2147483647 1\n", "S 2\nT 1\n2147483647 2147483647 1.000000\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(diagfill(c.input), c.output) << c.name;
}

TEST(Diagfill, LongLinesAndKeywordsAreReadWhole) {
    std::string keyword(3000, 'K');
    std::string gap(5000, ' ');
    std::string out = diagfill(keyword + " 2\nT 1\n1" + gap + "2" + gap + "0.5\n");
    EXPECT_EQ(out, keyword + " 2\nT 1\n1 1 -0.500000\n1 2 0.500000\n");
}

TEST(Diagfill, WrongArgumentCountPrintsUsage) {
    temp_dir dir;
    for (auto args : {std::initializer_list<std::string>{}, {dir.file("a")},
                      {dir.file("a"), dir.file("b"), dir.file("c")}}) {
        tool_run r = run_tool("diagfill", args);
        EXPECT_EQ(r.output, "FORMAT: <infile> <outfile> \n");
        EXPECT_EQ(r.status, 2);
    }
    EXPECT_TRUE(fs::is_empty(dir.path));
}

TEST(Diagfill, MissingInputStillCreatesEmptyOutput) {
    temp_dir dir;
    tool_run r = run_tool("diagfill", {dir.file("none"), dir.file("out")});
    EXPECT_EQ(r.output, "here\ndone: 0\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(fs::exists(dir.file("out")));
    EXPECT_EQ(fs::file_size(dir.file("out")), 0u);
}

TEST(Diagfill, UnreadableInputLeavesOutputAlone) {
    temp_dir dir;
    fs::create_directory(dir.file("adir"));
    write_text(dir.file("out"), "keep");
    tool_run r = run_tool("diagfill", {dir.file("adir"), dir.file("out")});
    EXPECT_EQ(r.output, "here\ndone: 0\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_text(dir.file("out")), "keep");
}

TEST(Diagfill, TableThatCannotBeAllocatedFails) {
#ifdef SANITIZED_BUILD
    GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#endif
    temp_dir dir;
    write_text(dir.file("in"), "S 2000000000\nT 1\n1 1 1\n");
    tool_run r = run_shell("ulimit -v 400000; " + shell_quoted(tool_path("diagfill")) + " " + shell_quoted(dir.file("in")) +
                           " " + shell_quoted(dir.file("out")));
    EXPECT_EQ(r.output, "here\ndone: 0\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir.file("out")));
}

TEST(Diagfill, WriteFailuresAreReported) {
    temp_dir dir;
    write_text(dir.file("in"), header + "1 2 0.5\n");
    tool_run full = run_tool("diagfill", {dir.file("in"), "/dev/full"});
    EXPECT_EQ(full.output, "here\ndone: 0\n");
    EXPECT_EQ(full.status, 1);

    tool_run console = run_shell(shell_quoted(tool_path("diagfill")) + " " + shell_quoted(dir.file("in")) + " " +
                                 shell_quoted(dir.file("out")) + " >/dev/full; echo $?");
    EXPECT_EQ(console.output, "1\n");
    EXPECT_EQ(read_text(dir.file("out")), header + "1 1 -0.500000\n1 2 0.500000\n");

    tool_run closed = run_shell(shell_quoted(tool_path("diagfill")) + " " + shell_quoted(dir.file("in")) + " " +
                                shell_quoted(dir.file("out2")) + " >&-; echo $?");
    EXPECT_EQ(closed.output, "1\n");
    EXPECT_EQ(read_text(dir.file("out2")), header + "1 1 -0.500000\n1 2 0.500000\n");
}

TEST(Diagfill, RefusesToOverwriteItsInput) {
    temp_dir dir;
    const std::string input = header + "1 2 0.5\n";
    write_text(dir.file("in"), input);
    fs::create_hard_link(dir.file("in"), dir.file("link"));
    fs::create_symlink(dir.file("in"), dir.file("sym"));
    for (const char* out : {"in", "link", "sym"}) {
        tool_run r = run_tool("diagfill", {dir.file("in"), dir.file(out)});
        EXPECT_EQ(r.output, "here\ndone: 0\n") << out;
        EXPECT_EQ(r.status, 1) << out;
        EXPECT_EQ(read_text(dir.file("in")), input) << out;
    }
}

// A row's diagonal entry waits for its sum, and the lines behind it are
// held back: past what is kept in memory they go through a spool, from a
// file or a pipe alike. Row 1 holds far more than that; row 3 comes early
// and holds row 2's lines; blank lines repeat entries inside the stretches.
TEST(Diagfill, LongStretchesFromAFileOrAPipe) {
    temp_dir dir;
    std::string input = "STATES 4\nTRANSITIONS 0\n";
    for (int i = 0; i < 300000; ++i) input += "1 " + std::to_string(i % 5 + 1) + (i % 1000 == 7 ? " 0.125\n\n" : " 0.5\n");
    input += "3 4 0.25\n";
    for (int i = 0; i < 200000; ++i) input += "2 " + std::to_string(i % 4 + 1) + " 1e-3\n";
    input += "4 1 2\n4 4 1\n";
    write_text(dir.file("in"), input);
    std::string want = reference_diagfill(input);
    EXPECT_EQ(first_difference(diagfill(input), want), "");
    tool_run piped = run_shell("cat " + shell_quoted(dir.file("in")) + " | " + shell_quoted(tool_path("diagfill")) +
                               " - " + shell_quoted(dir.file("piped")));
    EXPECT_EQ(piped.output, "here\ndone: 1\n");
    EXPECT_EQ(first_difference(read_text(dir.file("piped")), want), "");
}

// Standard input redirected from a file that a script has partly read: the
// reading starts where it stood.
TEST(Diagfill, StandardInputIsReadFromWhereItStands) {
    temp_dir dir;
    std::string input = header + "1 2 0.5\n2 1 2\n2 2 1\n";
    write_text(dir.file("in"), "a line that the script reads first\n" + input);
    tool_run r = run_shell("{ read -r first; " + shell_quoted(tool_path("diagfill")) + " - " +
                           shell_quoted(dir.file("out")) + "; } < " + shell_quoted(dir.file("in")));
    EXPECT_EQ(r.output, "here\ndone: 1\n");
    EXPECT_EQ(read_text(dir.file("out")), diagfill(input));
}

}  // namespace
