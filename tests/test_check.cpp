// --check and --strict over each kind of problem and note: a check run
// reports it at its line and exits 1 for a problem, 0 for a note; a strict
// run stops at a problem with it as the reason and leaves the output as it
// was, and writes on through a note as a default run does.
#include <gtest/gtest.h>

#include "tool_harness.h"

namespace {

struct check_case {
    std::string tool;
    std::string arguments;  // before the files
    std::string input;
    std::string at;     // "LINE: " where it is reported, or "" for the arguments
    std::string words;  // what the message must hold
    bool problem;
};

const std::string h3 = "STATES 3\nTRANSITIONS 2\n";
const std::string state = ":(2,0,0,0,0,0,0,0,1,0,0)\n";

const check_case cases[] = {
    {"diagfill", "", "", "1: ", "the file is empty", true},
    {"diagfill", "", "STATES 3\n", "2: ", "second header line", true},
    {"diagfill", "", "STATES\nTRANSITIONS 0\n", "1: ", "STATES without its number", true},
    {"diagfill", "", "STATES 3 x\nTRANSITIONS 0\n", "1: ", "text after the header's number", true},
    {"diagfill", "", h3 + "1 2 0.5\n\n", "4: ", "blank line", true},
    {"diagfill", "", h3 + "# comment\n1 2 0.5\n", "3: ", "'# comment' repeats the entry before it", true},
    {"diagfill", "", h3 + "1 2 0.5\n1 3\n", "4: ", "gives no value", true},
    {"diagfill", "", h3 + "1 2 0.5 x\n1 3 1\n", "3: ", "text after the value: 'x'", true},
    {"diagfill", "", h3 + "0 1 0.5\n1 3 1\n", "3: ", "row 0 is outside 1..3: the file looks 0-based", true},
    {"diagfill", "", h3 + "1 4 0.5\n1 3 1\n", "3: ", "col 4 is outside 1..3", true},
    {"diagfill", "", h3 + "1 2 nan\n1 3 1\n", "3: ", "not a finite number", true},
    {"diagfill", "", "STATES 1234\nTRANSITIONS 2\n1 1234 1\n1 1235 1\n", "4: ", "col 1235 is outside 1..1234", true},
    {"diagfill", "", h3 + "2 1 0.5\n1 3 1\n", "4: ", "row 1 after row 2: diagfill needs the entries grouped", true},
    {"diagfill", "", "STATES 3\nTRANSITIONS 4\n1 2 0.5\n", "4: ", "TRANSITIONS says 4, the file has 1 entry", true},
    {"diagfill", "", "STATES 3\nTRANSITIONS 1\n1 2 0.5\n1 3 1\n", "2: note: ", "the file has 2 entries", false},
    {"diagfill", "", h3 + "1 2 4e-7\n1 3 1\n", "3: note: ", "written as 0.000000", false},
    {"diagfill", "", h3 + "1 1 0.5\n1 3 1\n", "3: note: ", "was diagfill run on this file already?", false},
    {"diagfill", "", h3 + "1 2 0.5\n2 1 1\n", "4: note: ", "1 row gets no diagonal entry", false},
    {"diagfill", "", h3 + "1 2 0.5\n1 3 1", "4: note: ", "no line feed", false},
    {"diagfill", "", h3 + "1 2 0.5" + std::string(1100, ' ') + "\n1 3 1\n", "3: note: ", "longer than 1023",
     false},
    {"onebase", "", h3 + "0 3 0.5\n0 1 1\n", "3: ", "col 3 is outside 0..2: the file looks 1-based already", true},
    {"onebase", "", h3 + "0 1 0.5\n\n", "4: ", "blank line", true},
    {"onebase", "", "STATES 1234\nTRANSITIONS 2\n0 1233 1\n0 1234 1\n", "4: ", "col 1234 is outside 0..1233", true},
    {"onebase", "", h3 + "0 1 1e999\n0 2 1\n", "3: ", "not a finite number", true},
    {"onebase", "", h3 + "0 1 0.5\n-1 2 1\n", "4: ", "row -1 is outside 0..2", true},
    {"minmark", "3 2", "0" + state + "\n", "2: ", "blank line", true},
    {"minmark", "3 2", "state fields\n0" + state, "1: ", "does not match state:(f1,...,f11)", true},
    {"minmark", "3 2", "0 " + state, "1: ", "does not match", true},
    {"minmark", "3 2", "0:(2,0,0,0,0,0,0,0,1,0,0) x\n", "1: ", "text after the closing parenthesis: 'x'", true},
    {"minmark", "3 2", "0" + state + "3" + state, "2: ", "state 3 is outside 0..2", true},
    {"minmark", "3 2x", "0" + state, "", "k '2x' is not a whole number", true},
    {"minmark", "3 2", "0" + state + "0" + state, "2: note: ", "1 state is listed more than once", false},
};

// Whether a line of the text starts with place and holds words.
bool has_line(const std::string& text, const std::string& place, const std::string& words) {
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        std::string line = text.substr(at, end - at);
        if (line.rfind(place, 0) == 0 && line.find(words) != std::string::npos) return true;
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return false;
}

TEST(Check, EachProblemAndNoteAtItsLineThroughCheckAndStrict) {
    for (const auto& c : cases) {
        temp_dir dir;
        std::string in = dir.file("in"), out = dir.file("out");
        write_text(in, c.input);
        std::string tool = shell_quoted(tool_path(c.tool)) + " ";
        std::string what = c.tool + ": " + c.words;
        std::string place = c.at.empty() ? "" : in + ":" + c.at;

        tool_run checked = run_shell(tool + "--check " + c.arguments + " " + shell_quoted(in));
        EXPECT_EQ(checked.status, c.problem ? 1 : 0) << what << "\n" << checked.output;
        EXPECT_TRUE(has_line(checked.output, place, c.words)) << what << "\n" << checked.output;
        EXPECT_NE(checked.output.rfind(in + ": "), std::string::npos) << what;  // the summary line
        EXPECT_EQ(checked.errors, "") << what;

        write_text(out, "keep\n");
        tool_run strict = run_shell(tool + "--strict " + c.arguments + " " + shell_quoted(in) + " " + shell_quoted(out));
        if (c.problem) {
            EXPECT_EQ(strict.status, 1) << what;
            EXPECT_TRUE(has_line(strict.errors, c.tool + ": " + place, c.words)) << what << "\n" << strict.errors;
            EXPECT_EQ(read_text(out), "keep\n") << what;
        } else {
            tool_run plain = run_shell(tool + c.arguments + " " + shell_quoted(in) + " " + shell_quoted(dir.file("plain")));
            EXPECT_EQ(strict.status, 0) << what << strict.errors;
            EXPECT_EQ(strict.output, plain.output) << what;
            EXPECT_EQ(read_text(out), read_text(dir.file("plain"))) << what;
        }
    }
}

// A check run lists the first 20 problems, then says how many more.
TEST(Check, ListsTwentyProblemsThenCountsTheRest) {
    temp_dir dir;
    std::string in = dir.file("in");
    write_text(in, h3 + std::string(25, '\n'));
    tool_run r = run_shell(shell_quoted(tool_path("onebase")) + " --check " + shell_quoted(in));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(in + ":22: blank line"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find(in + ":23: blank line"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(in + ": and 5 more problems\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(in + ": 27 lines, 25 entries: 25 problems\n"), std::string::npos) << r.output;
}

}  // namespace
