// Faults found on large and unlucky inputs, each pinned by the runs that
// showed it.
#include <gtest/gtest.h>

#include "tool_harness.h"

namespace {

struct wide_case {
    const char* name;
    std::string tool;
    std::vector<std::string> numbers;  // minmark's size and k
    std::string input, output, done;
};

// Numbers past 32 bits are read, kept and written in 64 bits.
TEST(Regression, NumbersAreSixtyFourBit) {
    const std::string max = "9223372036854775807", min = "-9223372036854775808";
    const std::string a_marks = ",0,0,0,0,0,0,0,1,0,0)\n";  // field 9 set
    const wide_case cases[] = {
        {"header numbers as read", "diagfill", {}, "STATES " + min + "\nTRANSITIONS 3000000000\n",
         "STATES " + min + "\nTRANSITIONS 3000000000\n", "1"},
        {"rows past 2^31 outside the table", "diagfill", {}, "S 3\nT 1\n3000000000 3000000000 1\n",
         "S 3\nT 1\n3000000000 3000000000 1.000000\n", "1"},
        {"largest indices shifted without wrap", "onebase", {}, "S 1\nT 1\n" + max + " " + min + " 1\n",
         "S 1\nT 1\n9223372036854775808 -9223372036854775807 1.000000\n", "1"},
        {"largest indices written anew", "onebase", {}, "S 1\nT 1\n+" + max + " 0" + max + " 1\n",
         "S 1\nT 1\n9223372036854775808 9223372036854775808 1.000000\n", "1"},
        {"index past 64 bits keeps the fields", "onebase", {}, "S 1\nT 1\n5 6 0.5\n9223372036854775808 1 2\n",
         "S 1\nT 1\n6 7 0.500000\n6 7 0.500000\n", "1"},
        {"size and k past 32 bits", "minmark", {"3000000000", "99999999999"},
         "2999999999:(99999999999" + a_marks, "3000000000  minimum\n", "3000000000"},
        {"field 1 + field 3 past 64 bits", "minmark", {"1", "9000000000000000000"},
         "0:(5000000000000000000,0,5000000000000000000,0,0,0,1,0,1,0,1)\n", "1  minimum\n", "1"},
    };
    for (const auto& c : cases) {
        temp_dir dir;
        write_text(dir.file("in"), c.input);
        std::vector<std::string> args = c.numbers;
        args.push_back(dir.file("in"));
        args.push_back(dir.file("out"));
        tool_run r = run_tool(c.tool, args);
        EXPECT_EQ(r.output, (c.tool == "diagfill" ? "here\ndone: " : "done: ") + c.done + "\n") << c.name;
        EXPECT_EQ(r.status, 0) << c.name;
        std::string want = c.tool == "minmark" ? "#DECLARATION\nminimum\n#END\n" + c.output : c.output;
        EXPECT_EQ(read_text(dir.file("out")), want) << c.name;
    }
}

}  // namespace
