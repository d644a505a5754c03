#include <gtest/gtest.h>

#include "tool_harness.h"

namespace {

std::string onebase(const std::string& input) { return convert_text("onebase", input, "done: 1\n"); }

TEST(Onebase, ShiftsIndices) {
    struct shift_case {
        const char* name;
        std::string input, output;
    };
    const std::string h = "STATES 2\nTRANSITIONS 2\n";
    const shift_case cases[] = {
        {"plain", h + "0 1 0.25\n1 0 0.125\n", h + "1 2 0.250000\n2 1 0.125000\n"},
        {"negative index", h + "-1 -5 1\n", h + "0 -4 1.000000\n"},
        {"no order or range check", h + "7 3 1\n0 0 2\n", h + "8 4 1.000000\n1 1 2.000000\n"},
        {"blank line repeats the last entry", h + "0 1 0.5\n\n", h + "1 2 0.500000\n1 2 0.500000\n"},
        {"widest indices do not wrap", h + "2147483647 -2147483648 1\n", h + "2147483648 -2147483647 1.000000\n"},
        {"header copied as read", " S  -3 junk\nT 99\n", "S -3\nT 99\n"},
        {"one header line", "S 2\n", ""},
        {"empty", "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(onebase(c.input), c.output) << c.name;
    EXPECT_EQ(onebase(onebase(h + "0 1 0.5\n")), h + "2 3 0.500000\n");
}

TEST(Onebase, FailuresAndUsage) {
    temp_dir dir;
    const std::string input = "S 1\nT 1\n0 0 1\n";
    write_text(dir.file("in"), input);
    fs::create_directory(dir.file("adir"));
    fs::create_hard_link(dir.file("in"), dir.file("link"));
    struct failure_case {
        std::string in, out;
    };
    const failure_case cases[] = {
        {dir.file("none"), dir.file("out1")},  // missing input: empty output still created
        {dir.file("adir"), dir.file("out2")},  // read error
        {dir.file("in"), "/dev/full"},         // write error
        {dir.file("in"), dir.file("in")},      // same file
        {dir.file("in"), dir.file("link")},    // same file by another name
        {dir.file("in"), dir.file("adir")},    // output cannot be created
    };
    for (const auto& c : cases) {
        tool_run r = run_tool("onebase", {c.in, c.out});
        EXPECT_EQ(r.output, "done: 0\n") << c.in << " " << c.out;
        EXPECT_EQ(r.status, 1) << c.in << " " << c.out;
    }
    EXPECT_EQ(read_text(dir.file("in")), input);
    EXPECT_EQ(read_text(dir.file("out1")), "");

    tool_run usage = run_tool("onebase", {dir.file("in")});
    EXPECT_EQ(usage.output, "FORMAT: <infile> <outfile> \n");
    EXPECT_EQ(usage.status, 2);
}

TEST(Onebase, PipelineIntoDiagfillMatchesHandWrittenOneBasedFile) {
    temp_dir dir;
    write_text(dir.file("zero.tra"), "STATES 3\nTRANSITIONS 4\n0 1 0.5\n0 2 1.5\n1 0 2\n2 2 1\n");
    write_text(dir.file("one.tra"), "STATES 3\nTRANSITIONS 4\n1 2 0.5\n1 3 1.5\n2 1 2\n3 3 1\n");
    // Through a named pipe: onebase's own done line goes to its standard
    // output, apart from the data.
    std::string fifo = dir.file("fifo");
    tool_run piped = run_shell("mkfifo " + shell_quoted(fifo) + " && { " + shell_quoted(tool_path("onebase")) + " " +
                               shell_quoted(dir.file("zero.tra")) + " " + shell_quoted(fifo) + " >" +
                               shell_quoted(dir.file("onebase.out")) + " & " + shell_quoted(tool_path("diagfill")) +
                               " " + shell_quoted(fifo) + " " + shell_quoted(dir.file("piped.tra")) + "; wait; }");
    EXPECT_EQ(piped.output, "here\ndone: 1\n");
    EXPECT_EQ(read_text(dir.file("onebase.out")), "done: 1\n");
    tool_run direct = run_tool("diagfill", {dir.file("one.tra"), dir.file("direct.tra")});
    EXPECT_EQ(direct.status, 0);
    EXPECT_EQ(read_text(dir.file("piped.tra")), read_text(dir.file("direct.tra")));
    EXPECT_EQ(read_text(dir.file("direct.tra")),
              "STATES 3\nTRANSITIONS 4\n1 1 -2.000000\n1 2 0.500000\n1 3 1.500000\n2 1 2.000000\n"
              "3 3 -1.000000\n3 3 1.000000\n");
}

}  // namespace
