#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "lineread.h"

namespace {

// An anonymous file holding text, positioned at its start.
int file_with(const std::string& text) {
    std::FILE* f = std::tmpfile();
    int fd = dup(fileno(f));
    std::fclose(f);
    EXPECT_TRUE(write_all(fd, text.data(), text.size()));
    lseek(fd, 0, SEEK_SET);
    return fd;
}

std::vector<std::string> read_lines(int fd) {
    line_reader r = make_line_reader(fd);
    std::vector<std::string> lines;
    std::string_view line;
    while (next_line(r, line)) lines.emplace_back(line);
    EXPECT_FALSE(r.failed);
    return lines;
}

std::vector<std::string> split_after_line_feeds(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t lf = text.find('\n', start);
        std::size_t stop = lf == std::string::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(start, stop - start));
        start = stop;
    }
    return lines;
}

TEST(LineReader, SplitsLikeLineFeedsAcrossBlocksLongLinesAndAnUnendedLastLine) {
    std::mt19937 rng(7);
    std::string text;
    // Many short lines, so that lines straddle every block boundary, a few
    // lines longer than a block, CR LF endings, and no final line feed.
    while (text.size() < 5 * read_block_size) {
        std::size_t len = rng() % 50 == 0 ? read_block_size + rng() % 100000 : rng() % 90;
        text += std::string(len, static_cast<char>('a' + rng() % 26));
        text += rng() % 3 == 0 ? "\r\n" : "\n";
    }
    text += "last line";
    int fd = file_with(text);
    EXPECT_EQ(read_lines(fd), split_after_line_feeds(text));
    close(fd);
}

TEST(LineReader, EmptyInputAndLoneLineFeed) {
    int empty = file_with("");
    EXPECT_TRUE(read_lines(empty).empty());
    int lone = file_with("\n");
    EXPECT_EQ(read_lines(lone), std::vector<std::string>{"\n"});
    close(empty);
    close(lone);
}

TEST(LineReader, ReadErrorEndsInputAsFailure) {
    int fd = open("/", O_RDONLY);
    line_reader r = make_line_reader(fd);
    std::string_view line;
    EXPECT_FALSE(next_line(r, line));
    EXPECT_TRUE(r.failed);
    close(fd);
}

TEST(LineReader, CopiesEveryByteReadToTheCopy) {
    std::string text(3 * read_block_size + 17, 'x');
    text[text.size() / 3] = '\n';
    int fd = file_with(text);
    int copy = file_with("");
    line_reader r = make_line_reader(fd, copy);
    std::string_view line;
    while (next_line(r, line)) {
    }
    lseek(copy, 0, SEEK_SET);
    std::string copied(text.size() + 1, '\0');
    EXPECT_EQ(read(copy, copied.data(), copied.size()), static_cast<ssize_t>(text.size()));
    copied.resize(text.size());
    EXPECT_EQ(copied, text);
    close(fd);
    close(copy);
}

struct int_case {
    const char* text;
    bool ok;
    std::int64_t value;
    std::size_t used;
};

TEST(Scanner, Integers) {
    const int_case cases[] = {
        {"42", true, 42, 2},
        {" \t-7 ", true, -7, 4},
        {"+3x", true, 3, 2},
        {"1-2", true, 1, 1},
        {"2147483648", true, 2147483648, 10},
        {"9223372036854775807", true, INT64_MAX, 19},
        {"-9223372036854775808", true, INT64_MIN, 20},
        {"000000000000000000012", true, 12, 21},
        {"9223372036854775808", false, 0, 0},
        {"-9223372036854775809", false, 0, 0},
        {"18446744073709551616", false, 0, 0},
        {"99999999999999999999999", false, 0, 0},
        {"-", false, 0, 0},
        {"+", false, 0, 0},
        {"- 1", false, 0, 0},
        {"x1", false, 0, 0},
        {"", false, 0, 0},
        {"  ", false, 0, 0},
    };
    for (const auto& c : cases) {
        const char* p = c.text;
        std::int64_t value = -99;
        bool ok = scan_int(p, c.text + std::strlen(c.text), value);
        EXPECT_EQ(ok, c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : -99) << c.text;
        EXPECT_EQ(static_cast<std::size_t>(p - c.text), c.used) << c.text;
    }
}

TEST(Scanner, IncompleteRealsFailAndLeaveTheValue) {
    const char* cases[] = {"1e",   "1e+",     "1e-x",     "0x", "0x.", "0x1p", "0x1pz", "0x1p-",
                           "infinit", "nan(", "nan(abc", "nan(a-b)", ".",  "-",   "+",    "",
                           "in",   "na",      "infi",     ".e5", "e5", "-.",  "x"};
    for (const char* text : cases) {
        std::string s = text;
        const char* p = s.data();
        double value = 42;
        EXPECT_FALSE(scan_real(p, s.data() + s.size(), value)) << text;
        EXPECT_EQ(value, 42) << text;
        EXPECT_EQ(p, s.data()) << text;
    }
}

struct real_case {
    const char* text;
    double value;
    std::size_t used;
};

TEST(Scanner, CompleteRealsReadTheLongestRun) {
    const double inf = INFINITY;
    const real_case cases[] = {
        {"1e5x", 1e5, 3},          {"infx", inf, 3},          {"-INFINITY", -inf, 9},
        {"1.5.5", 1.5, 3},         {"5.", 5, 2},              {".5", 0.5, 2},
        {"0x.8", 0.5, 4},          {"0X1P3", 8, 5},           {"-0x1.8p+1", -3, 9},
        {"0x1", 1, 3},             {"4e-320", 4e-320, 6},     {" \t+2.5e-1", 0.25, 9},
        {"1e400", inf, 5},         {"-1e400", -inf, 6},       {"1e-400", 0, 6},
        {"0e999999999999", 0, 14}, {"250", 250, 3},           {"0.1234567", 0.1234567, 9},
    };
    for (const auto& c : cases) {
        const char* p = c.text;
        double value = 42;
        bool ok = scan_real(p, c.text + std::strlen(c.text), value);
        ASSERT_TRUE(ok) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
        EXPECT_EQ(static_cast<std::size_t>(p - c.text), c.used) << c.text;
    }
}

TEST(Scanner, NanFormsAndSigns) {
    const char* cases[] = {"nan", "nanx", "NaN(abc)", "nan()", "nan(a_1)", "-nan", "-0", "-0x0p0"};
    for (const char* text : cases) {
        const char* p = text;
        double value = 1;
        ASSERT_TRUE(scan_real(p, text + std::strlen(text), value)) << text;
        bool expect_nan = std::strchr(text, 'n') || std::strchr(text, 'N');
        EXPECT_EQ(std::isnan(value), expect_nan) << text;
        EXPECT_EQ(std::signbit(value), text[0] == '-') << text;
    }
    const char* text = "nanx";
    const char* p = text;
    double value;
    scan_real(p, text + 4, value);
    EXPECT_EQ(p, text + 3);
}

TEST(Scanner, NeverReadsPastTheEnd) {
    // The bytes after the end would continue each number.
    const char* text = "12345678e10";
    const char* p = text;
    double value = 0;
    ASSERT_TRUE(scan_real(p, text + 3, value));
    EXPECT_EQ(value, 123);
    p = text;
    EXPECT_FALSE(scan_real(p, text + 9, value));  // "12345678e" is incomplete
    std::int64_t i = 0;
    p = text;
    ASSERT_TRUE(scan_int(p, text + 2, i));
    EXPECT_EQ(i, 12);
}

std::string random_number(std::mt19937_64& rng) {
    auto digits = [&](std::size_t n, const char* set, std::size_t base) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s += set[rng() % base];
        return s;
    };
    const char* dec = "0123456789";
    const char* hex = "0123456789abcdefABCDEF";
    std::string s = rng() % 3 == 0 ? "-" : "";
    std::size_t before = rng() % 25, after = rng() % 25;
    if (rng() % 40 == 0) before = 300 + rng() % 500;  // past any fast path
    if (before + after == 0) before = 1;
    bool is_hex = rng() % 6 == 0;
    if (is_hex) s += "0x";
    s += digits(before, is_hex ? hex : dec, is_hex ? 22 : 10);
    if (after > 0 || rng() % 2) {
        s += '.';
        s += digits(after, is_hex ? hex : dec, is_hex ? 22 : 10);
    }
    if (rng() % 2) {
        s += is_hex ? "p" : "e";
        s += rng() % 2 ? "-" : "";
        s += std::to_string(rng() % (rng() % 4 == 0 ? 1200 : 30));
    }
    return s;
}

TEST(Scanner, AgreesWithStrtodOnGeneratedNumbers) {
    std::mt19937_64 rng(11);
    for (int i = 0; i < 200000; ++i) {
        std::string s = random_number(rng);
        const char* p = s.data();
        double value = 0;
        ASSERT_TRUE(scan_real(p, s.data() + s.size(), value)) << s;
        char* stop;
        double expected = std::strtod(s.c_str(), &stop);
        EXPECT_EQ(p, stop) << s;
        ASSERT_EQ(std::memcmp(&value, &expected, sizeof value), 0)
            << s << " gave " << value << ", strtod " << expected;
    }
}

void expect_strtod_value(const char* text) {
    const char* p = text;
    double value = 0;
    ASSERT_TRUE(scan_real(p, text + std::strlen(text), value)) << text;
    double expected = std::strtod(text, nullptr);
    ASSERT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << text;
}

TEST(Scanner, AgreesWithStrtodOnShortestFormsOfRandomDoubles) {
    std::mt19937_64 rng(5);
    for (int i = 0; i < 200000; ++i) {
        std::uint64_t bits = (rng() & ~(std::uint64_t{0x7ff} << 52)) | (rng() % 0x7ff) << 52;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        char text[40];
        std::snprintf(text, sizeof text, i % 2 ? "%.17g" : "%.6f", d);
        expect_strtod_value(text);
    }
}

TEST(Scanner, AgreesWithStrtodNextToHalfwayPoints) {
    // Points halfway between neighbouring doubles from 1e-19 to 1e19, which
    // long double holds exactly, written with 16 to 19 digits: the hardest
    // texts for the integer rounding of 17 to 19 digits.
    std::mt19937_64 rng(9);
    for (int i = 0; i < 200000; ++i) {
        double d = std::ldexp(1.0 + static_cast<double>(rng() >> 12) * 0x1p-52, static_cast<int>(rng() % 126) - 63);
        long double half = (static_cast<long double>(d) + std::nextafter(d, INFINITY)) / 2;
        char text[48];
        std::snprintf(text, sizeof text, i % 2 ? "%.*Le" : "%.*Lf", static_cast<int>(15 + rng() % 4), half);
        expect_strtod_value(text);
    }
}

// A line may hold more digits than a 32-bit count can count: such a run is
// read whole, as the C library reads it.
TEST(Scanner, DigitRunsPastTwoBillion) {
#ifdef SANITIZED_BUILD
    GTEST_SKIP() << "two gigabytes of digits take too long under the sanitizers";
#endif
    std::string text((std::size_t{1} << 31) + 16, '0');
    const char* end = text.data() + text.size();
    text[1] = '.';
    text.back() = '5';  // 0.000...0005
    const char* p = text.data();
    double value = 1;
    ASSERT_TRUE(scan_real(p, end, value));
    EXPECT_EQ(value, 0.0);
    EXPECT_EQ(p, end);
    text[0] = '1';
    text[1] = '0';  // 1000...0005
    p = text.data();
    ASSERT_TRUE(scan_real(p, end, value));
    EXPECT_EQ(value, INFINITY);
    EXPECT_EQ(p, end);
    std::int64_t index = 7;
    p = text.data();
    EXPECT_FALSE(scan_int(p, end, index));
    EXPECT_EQ(index, 7);
}

TEST(IntWriter, WritesDecimal) {
    const long long cases[] = {0, 7, -7, 10, 99, 100, 2147483648LL, -2147483648LL, 9223372036854775807LL,
                               -9223372036854775807LL - 1};
    for (long long v : cases) {
        char buf[max_int_chars + 1];
        char* end = write_int(buf, v);
        EXPECT_EQ(std::string(buf, end), std::to_string(v));
    }
}

TEST(OutBuf, WritesPiecesInOrderAndRecordsFailure) {
    // Pieces shorter and longer than the blocks.
    {
        int fd = file_with("");
        out_buf o = make_out_buf(dup(fd), 16);
        std::string expected;
        for (int i = 0; i < 2000; ++i) {
            std::string piece = std::to_string(i) + std::string(static_cast<std::size_t>(i % 37), 'x') + "\n";
            out_put(o, piece);
            expected += piece;
        }
        EXPECT_TRUE(out_close(o));
        lseek(fd, 0, SEEK_SET);
        std::string back(expected.size() + 1, '\0');
        back.resize(static_cast<std::size_t>(read(fd, back.data(), back.size())));
        EXPECT_EQ(back, expected);
        close(fd);
    }
    std::string big(100, 'b');

    out_buf full = make_out_buf(open("/dev/full", O_WRONLY), 16);
    out_put(full, big);
    out_put(full, "more");
    EXPECT_FALSE(out_close(full));
}

}  // namespace
