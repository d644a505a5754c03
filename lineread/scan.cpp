#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "lineread.h"

static bool is_digit(char c) noexcept { return static_cast<unsigned char>(c - '0') < 10; }

static int hex_value(char c) noexcept {
    if (is_digit(c)) return c - '0';
    char l = static_cast<char>(c | 0x20);
    return (l >= 'a' && l <= 'f') ? l - 'a' + 10 : -1;
}

static bool lower_is(char c, char lower) noexcept { return (c | 0x20) == lower; }

static bool is_nan_payload(char c) noexcept {
    char l = static_cast<char>(c | 0x20);
    return is_digit(c) || (l >= 'a' && l <= 'z') || c == '_';
}

// Matches word (lower case) ignoring case; returns how many leading letters
// of it stand at p.
static std::size_t match_word(const char* p, const char* end, std::string_view word) noexcept {
    std::size_t n = 0;
    while (n < word.size() && p + n != end && lower_is(p[n], word[n])) ++n;
    return n;
}

bool scan_int(const char*& p, const char* end, int& value) noexcept {
    const char* q = skip_space(p, end);
    bool negative = false;
    if (q != end && (*q == '+' || *q == '-')) negative = *q++ == '-';
    if (q == end || !is_digit(*q)) return false;
    // Accumulate until the value is certainly out of range, then only count
    // on: the whole run of digits belongs to the field either way.
    constexpr std::int64_t limit = std::int64_t{1} << 31;
    std::int64_t magnitude = 0;
    for (; q != end && is_digit(*q); ++q)
        if (magnitude <= limit) magnitude = magnitude * 10 + (*q - '0');
    if (magnitude > limit - (negative ? 0 : 1)) return false;
    value = static_cast<int>(negative ? -magnitude : magnitude);
    p = q;
    return true;
}

namespace {

// A scanned number: where its text ends, and its value once known.
struct real_run {
    const char* end = nullptr;  // null when the run is incomplete
    double value = 0;
    bool known = false;  // false: convert the text with the general routine
};

// Decimal mantissas of up to 19 digits are gathered exactly; with at most
// 2^53 and a power of ten up to 22 both are exact doubles, so one
// multiplication or division rounds correctly (Clinger's fast path).
constexpr int max_gathered_digits = 19;
constexpr std::uint64_t max_exact_mantissa = std::uint64_t{1} << 53;
constexpr int max_exact_power = 22;
constexpr double exact_powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
// Exponents past this cannot change whether the fast path applies.
constexpr int exponent_cap = 100000;

real_run scan_decimal(const char* p, const char* end) noexcept {
    real_run run;
    std::uint64_t mantissa = 0;
    int gathered = 0, dropped = 0, scale = 0;
    bool any_digit = false;
    auto gather = [&](char c) {
        any_digit = true;
        if (mantissa == 0 && c == '0') return;
        if (gathered < max_gathered_digits) {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
            ++gathered;
        } else {
            ++dropped;
        }
    };
    for (; p != end && is_digit(*p); ++p) gather(*p);
    if (p != end && *p == '.') {
        for (++p; p != end && is_digit(*p); ++p) {
            gather(*p);
            --scale;
        }
    }
    if (!any_digit) return run;
    if (p != end && lower_is(*p, 'e')) {
        const char* q = p + 1;
        bool negative = false;
        if (q != end && (*q == '+' || *q == '-')) negative = *q++ == '-';
        if (q == end || !is_digit(*q)) return run;  // "1e", "1e+": incomplete
        int exponent = 0;
        for (; q != end && is_digit(*q); ++q)
            if (exponent < exponent_cap) exponent = exponent * 10 + (*q - '0');
        scale += negative ? -exponent : exponent;
        p = q;
    }
    run.end = p;
    if (mantissa == 0) {
        run.known = true;
    } else if (dropped == 0 && mantissa <= max_exact_mantissa && scale >= -max_exact_power &&
               scale <= max_exact_power) {
        double m = static_cast<double>(mantissa);
        run.value = scale < 0 ? m / exact_powers[-scale] : m * exact_powers[scale];
        run.known = true;
    }
    return run;
}

// After "0x": hexadecimal digits with an optional point, then an optional
// binary exponent "p" that must have digits.
real_run scan_hex(const char* p, const char* end) noexcept {
    real_run run;
    bool any_digit = false;
    for (; p != end && hex_value(*p) >= 0; ++p) any_digit = true;
    if (p != end && *p == '.')
        for (++p; p != end && hex_value(*p) >= 0; ++p) any_digit = true;
    if (!any_digit) return run;
    if (p != end && lower_is(*p, 'p')) {
        const char* q = p + 1;
        if (q != end && (*q == '+' || *q == '-')) ++q;
        if (q == end || !is_digit(*q)) return run;
        while (q != end && is_digit(*q)) ++q;
        p = q;
    }
    run.end = p;
    return run;
}

// "inf" or "infinity"; a longer prefix of "infinity" alone is incomplete.
real_run scan_infinity(const char* p, const char* end) noexcept {
    real_run run;
    if (match_word(p, end, "inf") != 3) return run;
    std::size_t rest = match_word(p + 3, end, "inity");
    if (rest != 0 && rest != 5) return run;
    run.end = p + 3 + rest;
    run.value = std::numeric_limits<double>::infinity();
    run.known = true;
    return run;
}

// "nan", or "nan(" letters, digits and underscores ")".
real_run scan_nan(const char* p, const char* end) noexcept {
    real_run run;
    if (match_word(p, end, "nan") != 3) return run;
    p += 3;
    if (p != end && *p == '(') {
        const char* q = p + 1;
        while (q != end && is_nan_payload(*q)) ++q;
        if (q == end || *q != ')') return run;
        p = q + 1;
    }
    run.end = p;
    run.value = std::numeric_limits<double>::quiet_NaN();
    run.known = true;
    return run;
}

// The general conversion of a complete run without its sign: correctly
// rounded, with the C library's answer where the value overflows or
// underflows.
double convert_text(const char* p, const char* end, bool hex) noexcept {
    double value = 0;
    auto format = hex ? std::chars_format::hex : std::chars_format::general;
    auto [stop, ec] = std::from_chars(p, end, value, format);
    if (ec == std::errc() && stop == end) return value;
    std::string text(hex ? "0x" : "");
    text.append(p, end);
    return std::strtod(text.c_str(), nullptr);
}

}  // namespace

bool scan_real(const char*& p, const char* end, double& value) noexcept {
    const char* q = skip_space(p, end);
    bool negative = false;
    if (q != end && (*q == '+' || *q == '-')) negative = *q++ == '-';
    if (q == end) return false;
    bool hex = *q == '0' && q + 1 != end && lower_is(q[1], 'x');
    const char* digits = hex ? q + 2 : q;
    real_run run;
    if (hex)
        run = scan_hex(digits, end);
    else if (is_digit(*q) || *q == '.')
        run = scan_decimal(q, end);
    else if (lower_is(*q, 'i'))
        run = scan_infinity(q, end);
    else if (lower_is(*q, 'n'))
        run = scan_nan(q, end);
    if (run.end == nullptr) return false;
    double v = run.known ? run.value : convert_text(digits, run.end, hex);
    value = negative ? -v : v;
    p = run.end;
    return true;
}
