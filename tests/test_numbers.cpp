#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "numbers.h"
#include "padded.h"

namespace {

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
        std::string line = padded(c.text);
        std::int64_t value = -99;
        const char* end = scan_int(line.data(), value);
        EXPECT_EQ(end != nullptr, c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : -99) << c.text;
        if (end) {
            EXPECT_EQ(static_cast<std::size_t>(end - line.data()), c.used) << c.text;
        }
        EXPECT_EQ(skip_int(line.data()), end) << c.text;
    }
}

TEST(Scanner, IncompleteRealsFailAndLeaveTheValue) {
    const char* cases[] = {"1e",   "1e+",     "1e-x",     "0x", "0x.", "0x1p", "0x1pz", "0x1p-",
                           "infinit", "nan(", "nan(abc", "nan(a-b)", ".",  "-",   "+",    "",
                           "in",   "na",      "infi",     ".e5", "e5", "-.",  "x"};
    for (const char* text : cases) {
        std::string line = padded(text);
        double value = 42;
        copied_real copy;
        copy.value = 42;
        EXPECT_EQ(scan_real(line.data(), value), nullptr) << text;
        EXPECT_EQ(scan_copied_real(line.data(), copy), nullptr) << text;
        EXPECT_EQ(value, 42) << text;
        EXPECT_EQ(copy.kept, copied_real::form::as_double) << text;
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
        {"12\n3", 12, 2},  // a field ends at the line feed
    };
    for (const auto& c : cases) {
        std::string line = padded(c.text);
        double value = 42;
        const char* end = scan_real(line.data(), value);
        ASSERT_NE(end, nullptr) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
        EXPECT_EQ(static_cast<std::size_t>(end - line.data()), c.used) << c.text;
    }
}

TEST(Scanner, NanFormsAndSigns) {
    const char* cases[] = {"nan", "nanx", "NaN(abc)", "nan()", "nan(a_1)", "-nan", "-0", "-0x0p0"};
    for (const char* text : cases) {
        std::string line = padded(text);
        double value = 1;
        ASSERT_NE(scan_real(line.data(), value), nullptr) << text;
        bool expect_nan = std::strchr(text, 'n') || std::strchr(text, 'N');
        EXPECT_EQ(std::isnan(value), expect_nan) << text;
        EXPECT_EQ(std::signbit(value), text[0] == '-') << text;
    }
    std::string line = padded("nanx");
    double value;
    EXPECT_EQ(scan_real(line.data(), value), line.data() + 3);
}


TEST(IntWriter, WritesDecimal) {
    const std::int64_t cases[] = {0, 7, -7, 10, 99, 100, 12345678, 123456789, 2147483648LL, -2147483648LL,
                                  INT64_MAX, INT64_MIN};
    for (std::int64_t v : cases) {
        char buf[max_int_chars + 8];
        EXPECT_EQ(std::string(buf, write_int(buf, v)), std::to_string(v));
    }
    char buf[max_int_chars + 8];
    EXPECT_EQ(std::string(buf, write_int_plus_one(buf, INT64_MAX)), "9223372036854775808");
    EXPECT_EQ(std::string(buf, write_int_plus_one(buf, -1)), "0");
}

std::string fixed6_text(double v) {
    char buf[max_fixed6_chars + 8];
    return std::string(buf, write_fixed6(buf, v));
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
        {9.9999996, "10.000000"},  {99.9999996, "100.000000"}, {-511.9999999, "-512.000000"},
        {999.9999996, "1000.000000"}, {0x1p-76, "0.000000"},   {0x1.fffffffffffffp8, "512.000000"},
    };
    for (const auto& c : cases) EXPECT_EQ(fixed6_text(c.v), c.text) << c.v;
    EXPECT_EQ(fixed6_text(1e300), printf_f(1e300));
    EXPECT_EQ(fixed6_text(1e300).size(), 301u + 7u);
    EXPECT_EQ(fixed6_text(-1.7976931348623157e308), printf_f(-1.7976931348623157e308));
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
            ASSERT_EQ(fixed6_text(v), printf_f(v)) << std::hexfloat << v;
        }
    }
}


}  // namespace

namespace {

// A long run of digits that its exponent makes up for is read as a whole:
// the exponent is not cut short where the digit run is longer still.
TEST(Scanner, LongDigitRunsMadeUpForByTheirExponents) {
    auto zeros = [](std::size_t n) { return std::string(n, '0'); };
    const std::string cases[] = {
        "1" + zeros(1000000) + "e-1000000",
        "0x1" + zeros(250000) + "p-1000000",
        "0." + zeros(1100000) + "1e1100010",
        "1" + zeros(150000) + "e-150006",
        "-0." + zeros(120000) + "15e+120000",
        "1e" + zeros(40) + "5",
        "1e-99999999999999999999999999",
        "1e99999999999999999999999999",
        "0x1p-99999999999999999999999999",
    };
    for (const auto& text : cases) {
        std::string line = padded(text);
        double expected = std::strtod(text.c_str(), nullptr);
        double value = 0;
        ASSERT_EQ(scan_real(line.data(), value), line.data() + text.size()) << text.substr(0, 20);
        EXPECT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << text.substr(0, 20) << ": " << value;
        copied_real copy;
        ASSERT_EQ(scan_copied_real(line.data(), copy), line.data() + text.size()) << text.substr(0, 20);
        char written[max_fixed6_chars + 8];
        EXPECT_EQ(std::string(written, write_fixed6(written, copy)), printf_f(expected)) << text.substr(0, 20);
    }
}

}  // namespace
