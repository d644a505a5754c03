// The long sweeps: numbers scanned and written, checked against the C
// library on millions of texts, and a line of more digits than 32 bits
// count. ctest runs them with the label "long" (CI does; the README's
// test command leaves them out).
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

// A line may hold more digits than a 32-bit count can count: such a run is
// read whole, as the C library reads it.
TEST(Scanner, DigitRunsPastTwoBillion) {
#ifdef SANITIZED_BUILD
    GTEST_SKIP() << "two gigabytes of digits take too long under the sanitizers";
#endif
    const std::size_t digits = (std::size_t{1} << 31) + 16;
    std::string text(digits + 1 + line_padding, '\0');
    std::memset(text.data(), '0', digits);
    text[digits] = '\n';
    const char* end = text.data() + digits;
    text[1] = '.';
    text[digits - 1] = '5';  // 0.000...0005
    double value = 1;
    EXPECT_EQ(scan_real(text.data(), value), end);
    EXPECT_EQ(value, 0.0);
    text[0] = '1';
    text[1] = '0';  // 1000...0005
    EXPECT_EQ(scan_real(text.data(), value), end);
    EXPECT_EQ(value, INFINITY);
    std::int64_t index = 7;
    EXPECT_EQ(scan_int(text.data(), index), nullptr);
    EXPECT_EQ(index, 7);
}

// Texts for the sweep below.
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

std::string formatted(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

// A decimal whose 7th and later decimals lie near a half millionth, or
// whose 7th is a lone final 5.
std::string near_half_decimal(std::mt19937_64& rng) {
    std::string text = rng() % 4 == 0 ? "-" : "";
    text += std::to_string(rng() % (rng() % 2 ? 10 : 10000000)) + ".";
    for (int n = 0; n < 6; ++n) text += static_cast<char>('0' + rng() % 10);
    const char* tails[] = {"5",      "4999999999", "5000000001", "49999999999999", "500000000000001",
                           "499999", "5000000",    "50000000001", "4999999999999999", "49"};
    text += tails[rng() % std::size(tails)];
    if (rng() % 3 == 0) {
        // The same value with its point moved right and an exponent.
        std::size_t point = text.find('.');
        std::size_t shift = 1 + rng() % 4;
        text.erase(point, 1);
        text.insert(point + shift, ".");
        text += "e-" + std::to_string(shift);
    }
    return text;
}

#ifdef SANITIZED_BUILD
constexpr int sweep_scale = 10;
#else
constexpr int sweep_scale = 1;
#endif

struct sweep {
    const char* name;
    int count;
    std::function<std::string(std::mt19937_64&)> text;
};

// Texts of every fast path of the scanners and writers, at its borders.
const std::vector<sweep>& sweeps() {
    static const std::vector<sweep> all = [] {
        constexpr int scale = sweep_scale;
    auto unit = [](std::mt19937_64& rng) { return std::ldexp(static_cast<double>(rng() >> 11), -53); };
    auto any_double = [](std::mt19937_64& rng) {
        std::uint64_t bits = (rng() & ~(std::uint64_t{0x7ff} << 52)) | (rng() % 0x7ff) << 52;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    };
    return std::vector<sweep>{
        {"17 digits in (0, 1)", 600000, [=](auto& rng) { return formatted("%.17g", unit(rng)); }},
        {"six decimals", 400000, [=](auto& rng) { return formatted("%.6f", unit(rng) * 1e4); }},
        {"%g forms", 400000,
         [=](auto& rng) { return formatted(rng() % 2 ? "%g" : "%.3g", unit(rng) * std::pow(10.0, double(rng() % 40) - 20)); }},
        {"shortest forms of any double", 400000,
         [=](auto& rng) { return formatted(rng() % 2 ? "%.17g" : "%.6f", any_double(rng)); }},
        {"halfway between doubles", 400000,
         [=](auto& rng) {
             double d = std::ldexp(1.0 + static_cast<double>(rng() >> 12) * 0x1p-52, static_cast<int>(rng() % 126) - 63);
             long double half = (static_cast<long double>(d) + std::nextafter(d, INFINITY)) / 2;
             char text[64];
             std::snprintf(text, sizeof text, rng() % 2 ? "%.*Le" : "%.*Lf", static_cast<int>(15 + rng() % 4), half);
             return std::string(text);
         }},
        {"exact halfway points, and a digit past the 800th either side", 30000,
         [=](auto& rng) {
             double d = any_double(rng);
             long double half = (static_cast<long double>(d) + std::nextafter(d, INFINITY)) / 2;
             char exact[1000];
             std::snprintf(exact, sizeof exact, "%.900Le", half);
             std::string text = exact;
             std::size_t e = text.find('e');
             std::string digits = text.substr(0, e);
             while (digits.back() == '0') digits.pop_back();
             if (rng() % 3 == 1) digits += std::string(820, '0') + "1";
             if (rng() % 3 == 2) digits.back() = static_cast<char>(digits.back() - 1), digits += std::string(820, '9');
             return digits + text.substr(e);
         }},
        {"hexadecimal forms", 200000,
         [=](auto& rng) {
             std::string text = "0x";
             for (int n = 1 + static_cast<int>(rng() % 20); n > 0; --n) text += "0123456789abcdefABCDEF"[rng() % 22];
             if (rng() % 2) text.insert(2 + rng() % (text.size() - 1), ".");
             return text + "p" + std::to_string(static_cast<int>(rng() % 2200) - 1150);
         }},
        {"near half a millionth", 400000, near_half_decimal},
        {"short exponent forms near half a millionth", 200000,
         [](auto& rng) {
             // One digit and up to six decimals, moved x places right: the
             // 7th and 8th decimals of the value are set near a half.
             int x = 1 + static_cast<int>(rng() % 9);
             std::string digits(1 + rng() % 7, '0');
             for (char& c : digits) c = static_cast<char>('0' + rng() % 10);
             if (digits[0] == '0') digits[0] = '1';
             const char* near[] = {"50", "49", "51", "48", "45", "99"};
             const char* pair = near[rng() % std::size(near)];
             for (int i = 0; i < 2; ++i)
                 if (7 + i - x >= 0 && 7 + i - x < static_cast<int>(digits.size())) digits[7 + i - x] = pair[i];
             if (rng() % 4 == 0 && 8 - x >= 1 && 8 - x < static_cast<int>(digits.size())) digits.resize(8 - x);
             std::string text = rng() % 3 == 0 ? "-" : "";
             text += digits.substr(0, 1);
             if (digits.size() > 1) text += "." + digits.substr(1);
             return text + (rng() % 2 ? "e-0" : "e-") + std::to_string(x);
         }},
        {"exponent forms", 300000,
         [](auto& rng) {
             // One to 19 digits, the point anywhere among them, and an
             // exponent of one to three digits either way, as %e, %g and
             // people write them.
             int digits = 1 + static_cast<int>(rng() % 19);
             std::string text = rng() % 4 == 0 ? "-" : "";
             for (int i = 0; i < digits; ++i) {
                 if (i == 1 || (i > 0 && rng() % 12 == 0 && text.find('.') == std::string::npos)) text += '.';
                 text += static_cast<char>('0' + (i == 0 ? 1 + rng() % 9 : rng() % 10));
             }
             int exponent = static_cast<int>(rng() % 60) - 40;
             char tail[16];
             std::snprintf(tail, sizeof tail, rng() % 2 ? "e%+03d" : "E%d", exponent);
             return text + tail;
         }},
        {"binary ties at six decimals", 200000,
         [=](auto& rng) {
             double v = std::ldexp(static_cast<double>(rng() % 200000) - 100000.0, -7 - static_cast<int>(rng() % 13));
             return formatted("%.20f", v);
         }},
        {"any text of digits", 400000, random_number},
        {"borders of the text path", 32 * scale,
         [border = std::size_t{0}](auto&) mutable {
             const char* borders[] = {"9.9999995",  "-0.9999996",     "9999999.9999996", ".9999996",
                                      "-.5",        "0.12345649",     "0.1234565",       "0.12345650",
                                      "0.123456500001", "1234567.1234565", "5.",          "-0",
                                      "0.0000005",  "12345678.5",     "0.49999995",      "2e-3",
                                      "1e22",       "1E5",            "007.5",           "0.99999949",
                                      "-2e-3",      "9.99999e-1",     "2.e-3",           "5e-07",
                                      "1.5E-05",    "2e-003",         "0e-3",            "3e-6",
                                      "12.5e-3",    "123456.7",       "1234567.",        "-42.125"};
             return std::string(borders[border++ % std::size(borders)]);
         }},
    };
    }();
    return all;
}

// Each sweep against the C library, one test each so that they run side by
// side: the double scan_real reads is strtod's, to the bit, and the text a
// copied real is written as is "%f" of that double.
class RealsSweep : public ::testing::TestWithParam<std::size_t> {};

// The C library of Debian 12 misrounds some hexadecimal forms whose value
// is subnormal (0x444a3B609F46A.Ap-1074 gives ...46a, not ...46b): for
// those the double is worked out here, exactly, in units of 2^-1074, from
// the first 30 digits and whether any digit after them is not zero.
double exact_subnormal_hex(const std::string& text) {
    unsigned __int128 m = 0;
    int exponent = 0, taken = 0;
    bool after_point = false, sticky = false;
    std::size_t i = 2;
    for (; text[i] != 'p'; ++i) {
        if (text[i] == '.') {
            after_point = true;
            continue;
        }
        int digit = std::stoi(text.substr(i, 1), nullptr, 16);
        if (taken < 30 && (m != 0 || digit != 0)) {
            m = m * 16 + static_cast<unsigned>(digit);
            ++taken;
            exponent -= after_point ? 4 : 0;
        } else if (m == 0) {
            exponent -= after_point ? 4 : 0;
        } else {
            sticky |= digit != 0;
            exponent += after_point ? 0 : 4;
        }
    }
    exponent += std::stoi(text.substr(i + 1)) + 1074;  // m * 2^exponent units
    if (exponent >= 0) return std::ldexp(static_cast<double>(m), exponent - 1074);
    int shift = -exponent;
    if (shift >= 127) return 0.0;
    unsigned __int128 units = m >> shift, rest = m - (units << shift), half = static_cast<unsigned __int128>(1) << (shift - 1);
    if (rest > half || (rest == half && (sticky || (units & 1) != 0))) ++units;
    return std::ldexp(static_cast<double>(units), -1074);
}

TEST_P(RealsSweep, FastAndExactPathsAgreeWithStrtodAndPrintf) {
    const sweep& s = sweeps()[GetParam()];
    std::mt19937_64 rng(11 + GetParam());
    {
        for (int i = 0; i < s.count / sweep_scale; ++i) {
            std::string text = s.text(rng);
            std::string line = padded(text);
            char* stop;
            double expected = std::strtod(text.c_str(), &stop);
            if (text.rfind("0x", 0) == 0 && expected != 0 && std::fabs(expected) < DBL_MIN)
                expected = exact_subnormal_hex(text);
            double value = 0;
            const char* end = scan_real(line.data(), value);
            ASSERT_EQ(end, line.data() + (stop - text.c_str())) << s.name << ": " << text;
            ASSERT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << s.name << ": " << text;
            copied_real copy;
            ASSERT_EQ(scan_copied_real(line.data(), copy), end) << s.name << ": " << text;
            char written[max_fixed6_chars + 8];
            ASSERT_EQ(std::string(written, write_fixed6(written, copy)), printf_f(expected)) << s.name << ": " << text;
            char* direct = written;
            if (const char* copied_end = copy_common_real(line.data(), direct)) {
                ASSERT_EQ(copied_end, end) << s.name << ": " << text;
                ASSERT_EQ(std::string(written, direct), printf_f(expected)) << s.name << ": " << text;
            }
            // The copy that reads the double as well: the same text, and
            // strtod's double.
            char* valued = written;
            double copied_value = 0;
            if (const char* copied_end = copy_common_real(line.data(), valued, copied_value)) {
                ASSERT_EQ(copied_end, end) << s.name << ": " << text;
                ASSERT_EQ(std::string(written, valued), printf_f(expected)) << s.name << ": " << text;
                ASSERT_EQ(std::memcmp(&copied_value, &expected, sizeof expected), 0) << s.name << ": " << text;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Reals, RealsSweep, ::testing::Range<std::size_t>(0, sweeps().size()));

}  // namespace
