#include <cmath>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "transfile.h"

namespace {

TEST(HeaderLine, KeywordAndNumber) {
    struct header_case {
        const char* line;
        const char* keyword;
        std::int64_t number;
    };
    const header_case cases[] = {
        {"STATES 3\n", "STATES", 3},
        {"  \tstates    12   trailing text\r\n", "states", 12},
        {"states3\n", "states3", -1},      // no white space: one word, no number
        {"states 1e\n", "states", 1},      // the number ends where it cannot go on
        {"states x5\n", "states", -1},     // no number: it keeps its value
        {"   \n", "old", -1},              // no word: nothing is assigned
        {"", "old", -1},
        {"k 99999999999\n", "k", 99999999999},
        {"k 9223372036854775808\n", "k", -1},  // out of range: the number fails
    };
    for (const auto& c : cases) {
        std::string keyword = "old";
        std::int64_t number = -1;
        parse_header_line(c.line, keyword, number);
        EXPECT_EQ(keyword, c.keyword) << c.line;
        EXPECT_EQ(number, c.number) << c.line;
    }
    std::string long_word(5000, 'k');
    std::string keyword;
    std::int64_t number = 0;
    parse_header_line(long_word + " 7\n", keyword, number);
    EXPECT_EQ(keyword, long_word);
    EXPECT_EQ(number, 7);
}

TEST(EntryLine, FieldsUpToTheFirstThatFails) {
    struct entry_case {
        const char* line;
        std::int64_t row, col;
        double val;
    };
    // Every line starts from row 9, col 9, val 9.
    const entry_case cases[] = {
        {"1 2 0.5\n", 1, 2, 0.5},
        {"1\t2\t0.25\r\n", 1, 2, 0.25},
        {"1 2.5\n", 1, 2, 0.5},
        {"1-2 0.5\n", 1, -2, 0.5},
        {"\n", 9, 9, 9},
        {"3 4\n", 3, 4, 9},
        {"3 4 1e\n", 3, 4, 9},
        {"3 x 7\n", 3, 9, 9},
        {"3 99999999999 7\n", 3, 99999999999, 7},
        {"3 9223372036854775808 7\n", 3, 9, 9},
        {"  -1 0 -inf junk\n", -1, 0, -INFINITY},
    };
    for (const auto& c : cases) {
        tra_entry e;
        e.row = e.col = 9;
        e.val = 9.0;
        parse_entry_line(c.line, e);
        EXPECT_EQ(e.row, c.row) << c.line;
        EXPECT_EQ(e.col, c.col) << c.line;
        EXPECT_EQ(e.val, c.val) << c.line;
    }
}

std::string fixed6(double v) {
    char buf[max_fixed6_chars + 1];
    return std::string(buf, write_fixed6(buf, v));
}

std::string printf_f(double v) {
    char buf[400];
    int n = std::snprintf(buf, sizeof buf, "%f", v);
    return std::string(buf, static_cast<std::size_t>(n));
}

TEST(FixedWriter, KnownValues) {
    struct fixed_case {
        double v;
        const char* text;
    };
    const fixed_case cases[] = {
        {0.0078125, "0.007812"},   {0.0234375, "0.023438"},  {0.1234567, "0.123457"},
        {250, "250.000000"},       {0.0000001, "0.000000"},  {-0.0000001, "-0.000000"},
        {-0.0, "-0.000000"},       {0.0, "0.000000"},        {0.9999995, "1.000000"},
        {-2, "-2.000000"},        {INFINITY, "inf"},
        {-INFINITY, "-inf"},       {NAN, "nan"},             {-NAN, "-nan"},
        {4.9e-324, "0.000000"},    {9007199254740993.0, "9007199254740992.000000"},
    };
    for (const auto& c : cases) EXPECT_EQ(fixed6(c.v), c.text) << c.v;
    EXPECT_EQ(fixed6(1e300), printf_f(1e300));
    EXPECT_EQ(fixed6(1e300).size(), 301u + 7u);
    EXPECT_EQ(fixed6(-1.7976931348623157e308), printf_f(-1.7976931348623157e308));
}

TEST(FixedWriter, MatchesPrintfAcrossAllExponents) {
    std::mt19937_64 rng(3);
    for (std::uint64_t field = 0; field <= 0x7ff; ++field) {
        for (int i = 0; i < 200; ++i) {
            std::uint64_t bits = (rng() & ((std::uint64_t{1} << 52) - 1)) | field << 52;
            if (i % 2) bits |= std::uint64_t{1} << 63;
            if (i < 4) bits &= ~std::uint64_t{0} << (52 - 13 * i);  // short mantissas: ties
            double v;
            std::memcpy(&v, &bits, sizeof v);
            ASSERT_EQ(fixed6(v), printf_f(v)) << std::hexfloat << v;
        }
    }
}

TEST(FixedWriter, MatchesPrintfOnSixDecimalTies) {
    // Values k / 2^7 near every magnitude hit exact ties at the sixth place.
    for (long long k = -100000; k <= 100000; k += 7) {
        double v = std::ldexp(static_cast<double>(k), -7 - static_cast<int>(k % 13 + 13) % 13);
        ASSERT_EQ(fixed6(v), printf_f(v)) << v;
    }
}

// What the writes into an output buffer put in the file.
template <typename Writes>
std::string written(Writes writes) {
    std::FILE* f = std::tmpfile();
    out_buf o = make_out_buf(dup(fileno(f)));
    writes(o);
    EXPECT_TRUE(out_close(o));
    std::rewind(f);
    std::string text;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
    return text;
}

TEST(EntryWriter, LineLayout) {
    std::string text = written([](out_buf& o) {
        write_header_line(o, "STATES", 3);
        write_entry_line(o, 1, 2, 0.5);
        write_entry_line(o, 2147483648LL, -1, -0.0);
    });
    EXPECT_EQ(text, "STATES 3\n1 2 0.500000\n2147483648 -1 -0.000000\n");
}

// Copies each line as the tools copy an entry, through one entry.
std::string copied(const std::vector<std::string>& lines) {
    return written([&](out_buf& o) {
        tra_entry e;
        for (const auto& line : lines) {
            parse_copied_entry_line(line, e);
            write_copied_entry_line(o, e);
        }
    });
}

// A decimal text, often with its seventh to twelfth decimals near a half.
std::string random_decimal(std::mt19937_64& rng) {
    std::string text;
    for (int n = static_cast<int>(rng() % 6); n > 0; --n) text += static_cast<char>('0' + rng() % 10);
    if (rng() % 4 == 0) return text.empty() ? "0" : text;
    text += '.';
    for (int n = static_cast<int>(rng() % 7); n > 0; --n) text += static_cast<char>('0' + rng() % 10);
    if (text.size() - text.find('.') == 7 && rng() % 2) {
        const char* near_half[] = {"499997", "499998", "499999", "5", "500000", "500001", "500002", "4999999999999"};
        text += near_half[rng() % 8];
    }
    for (int n = static_cast<int>(rng() % 14); n > 0; --n) text += static_cast<char>('0' + rng() % 10);
    return text == "." ? "0." : text;
}

TEST(CopiedEntry, WritesWhatPrintfWritesForTheValueRead) {
    std::vector<std::string> texts = {"0.0078125", "0.0000005", "0.00000050000000001", "0.0000004999999999999",
                                      "9999.9999995", "9999.99999949999", "0.9999995", "1", "5.", "007.25",
                                      "10000.5", "0.5", "3", "0.012382771132014792", "1.5.5", "2 ", "0x1p-3",
                                      ".25", "2e-3", "-0.0000001", "00000000000000000000001.5"};
    std::mt19937_64 rng(11);
    for (int i = 0; i < 200000; ++i) texts.push_back(random_decimal(rng));
    std::vector<std::string> lines;
    for (const auto& text : texts) lines.push_back("1 2 " + text + "\n");
    std::string out = copied(lines);
    std::size_t at = 0;
    for (const auto& text : texts) {
        std::size_t next = out.find('\n', at) + 1;
        ASSERT_EQ(out.substr(at, next - at), "1 2 " + printf_f(std::strtod(text.c_str(), nullptr)) + "\n") << text;
        at = next;
    }
}

TEST(IndicesAsRead, WritesThemAsPrintfWouldWhateverTheirText) {
    // Unchanged and shifted by one, each line's output must equal the general
    // parse and write; index texts of every length from 3 to 21 exercise the
    // short copies, and runs of nines the carries of the shift.
    const std::vector<std::string> lines = {
        "1 2 0.5\n",          "+1 2 0.5\n",      "01 2 0.5\n",       "1  2 0.5\n",    "1\t2 0.5\n",
        " 1 2 0.5\n",         "0 0 1\n",         "00 0 1\n",         "1 00 1\n",      "-1 -2 0.5\n",
        "12 34 1\n",          "123 4567 1\n",    "1234 5678 2\n",    "12345678 1 3\n", "1234567 12345678 4\n",
        "9 9 1\n",            "19 99 1\n",       "999 1 1\n",        "1 9999999 1\n", "1099 2999 1\n",
        "123456789 987654321 0.5\n", "2147483647 2147483647 1e-3\n", "3 4 x\n", "5 x 0.25\n", "\n", "7 8",
    };
    for (long long shift : {0, 1}) {
        std::string expected = written([&](out_buf& o) {
            tra_entry e;
            for (const auto& line : lines) {
                parse_entry_line(line, e);
                write_entry_line(o, e.row + shift, e.col + shift, e.val);
            }
        });
        std::string actual = written([&](out_buf& o) {
            tra_entry e;
            for (const auto& line : lines) {
                parse_copied_entry_line(line, e);
                if (shift)
                    write_shifted_entry_line(o, e);
                else
                    write_unchanged_entry_line(o, e);
            }
        });
        EXPECT_EQ(actual, expected) << "shift " << shift;
    }
}

TEST(CopiedEntry, AFailedValueKeepsThePreviousOneOfEitherKind) {
    EXPECT_EQ(copied({"1 2 0.25\n", "1 3 x\n", "1 4 2e-3\n", "1 5 1e\n", "\n", "1 6 0.75 junk\n", "1 7\n"}),
              "1 2 0.250000\n1 3 0.250000\n1 4 0.002000\n1 5 0.002000\n1 5 0.002000\n1 6 0.750000\n"
              "1 7 0.750000\n");
}

}  // namespace
