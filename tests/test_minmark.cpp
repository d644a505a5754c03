#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <vector>

#include "tool_harness.h"

namespace {

const std::string declarations = "#DECLARATION\nminimum\n#END\n";

// A listing line for state s with the given fields (1-based) set, others 0.
std::string state(int s, std::initializer_list<std::pair<int, int>> set) {
    int f[12] = {};
    for (auto [field, value] : set) f[field] = value;
    std::string line = std::to_string(s) + ":(";
    for (int i = 1; i <= 11; ++i) line += std::to_string(f[i]) + (i < 11 ? "," : ")\n");
    return line;
}

tool_run minmark(const temp_dir& dir, const std::string& size, const std::string& k, const std::string& listing) {
    write_text(dir.file("list"), listing);
    return run_tool("minmark", {size, k, dir.file("list"), dir.file("labels")});
}

TEST(Minmark, ConditionTable) {
    struct condition_case {
        std::initializer_list<std::pair<int, int>> fields;
        bool marked;
    };
    const condition_case cases[] = {
        {{{1, 2}, {9, 1}}, true},                                  // A
        {{{1, 5}, {9, 0}}, false},                                 // A needs field 9
        {{{3, 2}, {11, 1}}, true},                                 // B
        {{{3, 2}, {11, 2}}, false},                                // B needs an odd field 11
        {{{3, 2}, {11, -1}}, true},                                // -1 has its lowest bit set
        {{{1, 1}, {3, 1}, {7, 1}, {9, 1}, {11, 2}}, true},         // C
        {{{1, 1}, {3, 1}, {7, 0}, {9, 1}, {11, 1}}, false},        // C needs field 7
        {{{1, 2147483647}, {3, 2147483647}, {7, 1}, {9, 1}, {11, 2}}, true},  // no wrap in the sum
        {{{2, 9}, {4, 9}, {5, 9}, {6, 9}, {8, 9}, {10, 9}}, false},  // fields that take no part
    };
    temp_dir dir;
    for (const auto& c : cases) {
        tool_run r = minmark(dir, "3", "2", state(0, {}) + state(2, c.fields));
        EXPECT_EQ(r.output, "done: 3\n");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(read_text(dir.file("labels")), declarations + (c.marked ? "3  minimum\n" : "")) << state(2, c.fields);
    }
}

TEST(Minmark, ListingsAndTable) {
    struct listing_case {
        const char* name;
        std::string size, k, listing, labels, done;
    };
    const std::string a = "(2,0,0,0,0,0,0,0,1,0,0)\n";  // meets A for k = 2
    const listing_case cases[] = {
        {"state 0 written as 1, in ascending order", "5", "2", "4:" + a + "0:" + a, "1  minimum\n5  minimum\n", "5"},
        {"marks never cleared", "2", "2", "1:" + a + "1:(0,0,0,0,0,0,0,0,0,0,0)\n", "2  minimum\n", "2"},
        {"values carried from the line before", "3", "2", "0:" + a + "2:\n", "1  minimum\n3  minimum\n", "3"},
        {"heading line marks nothing", "3", "2", "state fields\n1:" + a, "2  minimum\n", "3"},
        {"blank before the colon ends the match", "3", "2", "1 :" + a, "", "3"},
        {"white space before numbers", "3", "2", " 1:( 2, 0,0,0,0,0,0,0,\t1,0,0)\n", "2  minimum\n", "3"},
        {"out-of-range field keeps the old value", "3", "2", "1:(2,0,0,0,0,0,0,0,1,0,0)\n2:(2,0,0,0,0,0,0,0,99999999999999999999,0,0)\n",
         "2  minimum\n3  minimum\n", "3"},
        {"states outside the table", "2", "2", "-1:" + a + "2:" + a + "5:" + a, "", "2"},
        {"size 0", "0", "2", "0:" + a, "", "0"},
        {"negative size", "-4", "2", "0:" + a, "", "-4"},
        {"long line read whole", "2", "2", "1:(2," + std::string(3000, ' ') + "0,0,0,0,0,0,0,1,0,0)\n", "2  minimum\n", "2"},
        {"k as text is 0", "2", "abc", "1:(0,0,0,0,0,0,0,0,1,0,0)\n", "2  minimum\n", "2"},
        {"arguments like atoi", " +2xyz", "3junk", "1:(3,0,0,0,0,0,0,0,1,0,0)\n", "2  minimum\n", "2"},
        {"k saturates, not wraps", "2", "99999999999999999999", "1:(9223372036854775807,0,0,0,0,0,0,0,1,0,0)\n",
         "2  minimum\n", "2"},
        {"k saturates low", "2", "-99999999999999999999", "1:(-9223372036854775808,0,0,0,0,0,0,0,1,0,0)\n",
         "2  minimum\n", "2"},
    };
    temp_dir dir;
    for (const auto& c : cases) {
        tool_run r = minmark(dir, c.size, c.k, c.listing);
        EXPECT_EQ(r.output, "done: " + c.done + "\n") << c.name;
        EXPECT_EQ(r.status, 0) << c.name;
        EXPECT_EQ(read_text(dir.file("labels")), declarations + c.labels) << c.name;
    }
}

// Lines whose fields have one to nine digits (the fast paths take up to
// seven), now and then a blank, a sign, or a field cut short, against the
// condition worked out on what sscanf reads from each line, with the
// values a line does not supply carried from the line before.
TEST(Minmark, FieldsOfAnyWidthAsScanfReadsThem) {
    std::mt19937 rng(5);
    const int states = 3000;
    std::string listing;
    std::vector<bool> marked(states);
    long long carried[12] = {};
    for (int line = 0; line < 20000; ++line) {
        std::string text = std::to_string(rng() % states) + ":(";
        for (int i = 0; i < 11; ++i) {
            unsigned shape = rng() % 40;
            int digits = shape < 30 ? 1 : static_cast<int>(1 + rng() % 9);
            std::string field;
            if (shape == 30) field = " ";
            if (shape == 31) field = "-";
            for (int d = 0; d < digits; ++d) field += static_cast<char>('0' + (d == 0 && digits > 1 ? 1 + rng() % 9 : rng() % 4));
            if (shape == 32) field = "x";
            text += field + (i < 10 ? "," : ")");
        }
        text += "\n";
        listing += text;
        long long v[12];
        std::copy(std::begin(carried), std::end(carried), v);
        int read = std::sscanf(text.c_str(), "%lld:(%lld,%lld,%lld,%lld,%lld,%lld,%lld,%lld,%lld,%lld,%lld)", &v[0],
                               &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10], &v[11]);
        for (int i = 0; i < std::max(read, 0); ++i) carried[i] = v[i];
        const long long k = 2, *f = carried + 1;
        bool meets = (f[0] >= k && f[8] != 0) || (f[2] >= k && (f[10] & 1)) ||
                     (f[8] != 0 && f[6] != 0 && f[10] != 0 && f[0] + f[2] >= k);
        if (read > 0 && carried[0] >= 0 && carried[0] < states && meets) marked[carried[0]] = true;
    }
    std::string labels;
    for (int s = 0; s < states; ++s)
        if (marked[s]) labels += std::to_string(s + 1) + "  minimum\n";
    temp_dir dir;
    tool_run r = minmark(dir, std::to_string(states), "2", listing);
    EXPECT_EQ(r.output, "done: " + std::to_string(states) + "\n");
    EXPECT_EQ(read_text(dir.file("labels")), declarations + labels);
}

TEST(Minmark, FailuresAndUsage) {
    temp_dir dir;
    write_text(dir.file("list"), "0:(2,0,0,0,0,0,0,0,1,0,0)\n");
    fs::create_directory(dir.file("adir"));
    struct failure_case {
        std::string in, out;
        bool creates_output;
    };
    const failure_case cases[] = {
        {dir.file("none"), dir.file("out1"), false},  // listing missing
        {dir.file("adir"), dir.file("out2"), false},  // read error
        {dir.file("list"), "/dev/full", true},        // write error
        {dir.file("list"), dir.file("adir"), false},  // label file cannot be created
    };
    for (const auto& c : cases) {
        tool_run r = run_tool("minmark", {"2", "2", c.in, c.out});
        EXPECT_EQ(r.output, "done: 0\n") << c.in;
        EXPECT_EQ(r.status, 1) << c.in;
    }
    EXPECT_FALSE(fs::exists(dir.file("out1")));
    EXPECT_FALSE(fs::exists(dir.file("out2")));

    tool_run same = run_tool("minmark", {"2", "2", dir.file("list"), dir.file("list")});
    EXPECT_EQ(same.output, "done: 2\n");
    EXPECT_EQ(read_text(dir.file("list")), declarations + "1  minimum\n");

    tool_run usage = run_tool("minmark", {"2", "2", dir.file("list")});
    EXPECT_EQ(usage.output, "FORMAT: size k <infile> <outfile> \n");
    EXPECT_EQ(usage.status, 2);
}

TEST(Minmark, TableThatCannotBeAllocatedFails) {
#ifdef SANITIZED_BUILD
    GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#endif
    temp_dir dir;
    write_text(dir.file("list"), "0:(2,0,0,0,0,0,0,0,1,0,0)\n");
    tool_run r = run_shell("ulimit -v 400000; " + shell_quoted(tool_path("minmark")) + " 9000000000000000000 2 " +
                           shell_quoted(dir.file("list")) + " " + shell_quoted(dir.file("out")));
    EXPECT_EQ(r.output, "done: 0\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir.file("out")));
}

}  // namespace
