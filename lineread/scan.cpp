#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "lineread.h"

// The digit loops run for every number of every line; calls would cost
// more than the work.
#define ALWAYS_INLINE [[gnu::always_inline]] inline

ALWAYS_INLINE bool is_digit(char c) noexcept { return static_cast<unsigned char>(c - '0') < 10; }

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

// Digit runs are taken eight bytes at a time where the line has eight bytes
// left: on a little-endian machine the first byte of the word is the first
// character.
constexpr bool word_at_a_time = std::endian::native == std::endian::little;
constexpr std::uint64_t all_bytes(std::uint8_t b) { return 0x0101010101010101ULL * b; }

ALWAYS_INLINE std::uint64_t load_word(const char* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// How many of the word's bytes, from the first, are decimal digits. After
// the xor a digit byte is 0..9, so adding 6 leaves its high half clear; any
// other byte has a high bit in one of the two. A carry only runs upward, into
// bytes after the first non-digit, so it never hides one.
ALWAYS_INLINE int leading_digits(std::uint64_t w) noexcept {
    std::uint64_t x = w ^ all_bytes('0');
    std::uint64_t non_digit = (x | (x + all_bytes(6))) & all_bytes(0xF0);
    return non_digit ? std::countr_zero(non_digit) / 8 : 8;
}

// The value of the first n (1 to 8) digits of the word: shifted so that they
// are the last n bytes behind zeros, then combined pairwise in three steps.
ALWAYS_INLINE std::uint64_t digits_value(std::uint64_t w, int n) noexcept {
    std::uint64_t v = (w & all_bytes(0x0F)) << (8 * (8 - n));
    v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFULL;
    v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFULL;
    return (v * 10000 + (v >> 32)) & 0xFFFFFFFFULL;
}

// 19 digits always fit 64 bits.
constexpr int max_gathered_digits = 19;

// The eight bytes at p. Near the end of the line the word is loaded so that
// it ends at the line's end, and shifted so that zero bytes (not digits)
// stand for the bytes past it; false when the line is too short for that.
ALWAYS_INLINE bool word_at(const char* p, const char* end, const char* begin, std::uint64_t& w) noexcept {
    if (!word_at_a_time) return false;
    if (end - p >= 8) {
        w = load_word(p);
        return true;
    }
    if (end - begin < 8 || p == end) return false;
    w = load_word(end - 8) >> (8 * (8 - (end - p)));
    return true;
}

// Skips the white space before a number and its sign, if it has one.
ALWAYS_INLINE const char* skip_space_and_sign(const char* p, const char* end, bool& negative) noexcept {
    p = skip_space(p, end);
    negative = p != end && *p == '-';
    if (p != end && (*p == '+' || negative)) ++p;
    return p;
}

// A run of digits being read: count counts them all, and value holds the
// first of them, up to the limit the run is gathered with.
struct digit_run {
    std::uint64_t value = 0;
    std::int64_t count = 0;  // a line may hold billions of digits
};

// Takes the run of digits at p into the run, a word at a time; past the
// limit, digits are only counted.
template <int limit = max_gathered_digits>
ALWAYS_INLINE const char* gather_digits(const char* p, const char* end, const char* begin, digit_run& run) noexcept {
    std::uint64_t w;
    while (word_at(p, end, begin, w)) {
        int n = leading_digits(w);
        if (n == 0) return p;
        int take = static_cast<int>(std::min<std::int64_t>(n, limit - run.count));
        if (take > 0) run.value = run.value * powers_of_ten[take] + digits_value(w, take);
        run.count += n;
        p += n;
        if (n < 8) return p;
    }
    for (; p != end && is_digit(*p); ++p, ++run.count)
        if (run.count < limit) run.value = run.value * 10 + static_cast<std::uint64_t>(*p - '0');
    return p;
}

// Any run of digits, with the range check.
[[gnu::noinline]] static bool scan_int_general(const char*& p, const char* end, std::int64_t& value,
                                               const char* begin) noexcept {
    bool negative;
    const char* q = skip_space_and_sign(p, end, negative);
    if (q == end || !is_digit(*q)) return false;
    while (q != end && *q == '0') ++q;  // leading zeros never overflow
    digit_run digits;
    q = gather_digits(q, end, begin, digits);
    // 19 digits may still fit; past that the value is out of range, but the
    // whole run of digits belongs to the field all the same. The magnitude of
    // the most negative value, 2^63, fits the unsigned gathered value.
    constexpr std::uint64_t limit = std::uint64_t{1} << 63;
    if (digits.count > max_gathered_digits || digits.value > limit - (negative ? 0 : 1)) return false;
    value = negative ? static_cast<std::int64_t>(0 - digits.value) : static_cast<std::int64_t>(digits.value);
    p = q;
    return true;
}

// Fields are mostly set apart by one blank.
ALWAYS_INLINE const char* after_blank(const char* p, const char* end) noexcept {
    return p + (p != end && *p == ' ');
}

// The length of the common field, one to seven digits, at q, with the word
// holding it; 0 for any other text, which may carry a sign, more white space
// or more digits, and is left to the general routine.
ALWAYS_INLINE unsigned short_digit_run(const char* q, const char* end, const char* begin, std::uint64_t& w) noexcept {
    if (!word_at(q, end, begin, w)) return 0;
    auto n = static_cast<unsigned>(leading_digits(w));
    return n - 1 < 7 ? n : 0;
}

bool scan_int(const char*& p, const char* end, std::int64_t& value, const char* begin) noexcept {
    const char* q = after_blank(p, end);
    std::uint64_t w;
    if (unsigned n = short_digit_run(q, end, begin, w)) {
        value = static_cast<std::int64_t>(digits_value(w, static_cast<int>(n)));
        p = q + n;
        return true;
    }
    return scan_int_general(p, end, value, begin);
}

bool skip_int(const char*& p, const char* end, const char* begin) noexcept {
    const char* q = after_blank(p, end);
    std::uint64_t w;
    if (unsigned n = short_digit_run(q, end, begin, w)) {
        p = q + n;
        return true;
    }
    std::int64_t unused;
    return scan_int_general(p, end, unused, begin);
}

namespace {

// A scanned number: where its text ends, and its value once known.
struct real_run {
    const char* end = nullptr;  // null when the run is incomplete
    double value = 0;
    bool known = false;  // false: convert the text with the general routine
};

// With a mantissa of at most 2^53 and a power of ten up to 22, both are
// exact doubles and one multiplication or division rounds correctly
// (Clinger's fast path).
constexpr std::uint64_t max_exact_mantissa = std::uint64_t{1} << 53;
constexpr int max_exact_power = 22;
constexpr double exact_powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
// Exponents past this cannot change whether a fast path applies.
constexpr int exponent_cap = 100000;

using u128 = unsigned __int128;

// The double nearest to (x + a little, when sticky) * 2^exponent, ties to
// even, for an x of 54 to 64 bits whose value lies in the normal range.
double round_to_double(std::uint64_t x, int exponent, bool sticky) noexcept {
    constexpr int mantissa_bits = 53;
    int shift = 64 - std::countl_zero(x) - mantissa_bits;
    std::uint64_t mantissa = x >> shift;
    std::uint64_t rest = x & ((std::uint64_t{1} << shift) - 1);
    std::uint64_t half = std::uint64_t{1} << (shift - 1);
    // Round up past half, and at exactly half when the dropped part is not
    // exact or the kept part is odd.
    if (rest > half || (rest == half && (sticky || (mantissa & 1)))) ++mantissa;
    if (mantissa >> mantissa_bits) {
        mantissa >>= 1;
        ++shift;
    }
    auto biased = static_cast<std::uint64_t>(exponent + shift + (mantissa_bits - 1) + 1023);
    std::uint64_t bits = biased << (mantissa_bits - 1) | (mantissa & ((std::uint64_t{1} << (mantissa_bits - 1)) - 1));
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// m * 10^scale for more than 2^53 and at most 19 digits, and |scale| up to
// 19, exactly rounded by integer arithmetic. A product is cut to its top 64
// bits, the rest kept as a sticky bit; a quotient is taken with 63 or 64
// bits, beside a remainder that tells whether it was exact.
[[gnu::noinline]] double exact_decimal(std::uint64_t m, int scale) noexcept {
    if (scale >= 0) {
        u128 x = static_cast<u128>(m) * powers_of_ten[scale];
        auto high = static_cast<std::uint64_t>(x >> 64);
        int cut = high ? 64 - std::countl_zero(high) : 0;
        u128 kept = x >> cut;
        return round_to_double(static_cast<std::uint64_t>(kept), cut, (kept << cut) != x);
    }
    std::uint64_t d = powers_of_ten[-scale];
    int shift = 63 + (64 - std::countl_zero(d)) - (64 - std::countl_zero(m));
    u128 n = static_cast<u128>(m) << shift;
    auto q = static_cast<std::uint64_t>(n / d);
    return round_to_double(q, -shift, n - static_cast<u128>(q) * d != 0);
}

// The value of up to 19 gathered digits times 10^scale, when exact integer or
// double arithmetic gives it; false when the text must be converted.
ALWAYS_INLINE bool gathered_value(std::uint64_t mantissa, std::int64_t scale, double& value) noexcept {
    if (mantissa == 0) {
        value = 0;
    } else if (mantissa <= max_exact_mantissa && scale >= -max_exact_power && scale <= max_exact_power) {
        double m = static_cast<double>(mantissa);
        value = scale < 0 ? m / exact_powers[-scale] : m * exact_powers[scale];
    } else if (scale >= -max_gathered_digits && scale <= max_gathered_digits) {
        value = exact_decimal(mantissa, static_cast<int>(scale));
    } else {
        return false;
    }
    return true;
}

// The digits of a decimal either side of its point.
struct decimal_digits {
    digit_run whole;
    digit_run fraction;
};

// Digits, then maybe a point and more digits, of which the first are
// gathered up to the limit.
template <int fraction_limit = max_gathered_digits>
ALWAYS_INLINE const char* gather_decimal(const char* p, const char* end, const char* begin,
                                         decimal_digits& d) noexcept {
    // Values below one are common: their "0." needs no gathering.
    if (*p == '0' && p + 1 != end && p[1] == '.') {
        d.whole = {0, 1};
        ++p;
    } else {
        p = gather_digits(p, end, begin, d.whole);
    }
    if (p != end && *p == '.') p = gather_digits<fraction_limit>(p + 1, end, begin, d.fraction);
    return p;
}

// All the digits as one integer, when there are at most 19 of them.
ALWAYS_INLINE bool all_digits(const decimal_digits& d, std::uint64_t& m) noexcept {
    if (d.whole.count + d.fraction.count > max_gathered_digits) return false;
    m = d.whole.value * powers_of_ten[d.fraction.count] + d.fraction.value;
    return true;
}

ALWAYS_INLINE real_run scan_decimal(const char* p, const char* end, const char* begin) noexcept {
    real_run run;
    decimal_digits d;
    p = gather_decimal(p, end, begin, d);
    if (d.whole.count + d.fraction.count == 0) return run;
    std::int64_t scale = -d.fraction.count;
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
    std::uint64_t m;
    run.known = all_digits(d, m) && gathered_value(m, scale, run.value);
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
ALWAYS_INLINE bool is_hex_prefix(const char* q, const char* end) noexcept {
    return *q == '0' && q + 1 != end && lower_is(q[1], 'x');
}

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

// Past a run of the byte c, eight bytes at a time where the run is long.
const char* skip_run(const char* p, const char* end, char c) noexcept {
    while (end - p >= 8 && load_word(p) == all_bytes(static_cast<std::uint8_t>(c))) p += 8;
    while (p != end && *p == c) ++p;
    return p;
}

// Past a run of digits, decimal ones eight at a time.
const char* skip_digits(const char* p, const char* end, bool hex) noexcept {
    if (hex) {
        while (p != end && hex_value(*p) >= 0) ++p;
        return p;
    }
    while (word_at_a_time && end - p >= 8) {
        int n = leading_digits(load_word(p));
        p += n;
        if (n < 8) return p;
    }
    while (p != end && is_digit(*p)) ++p;
    return p;
}

// For a complete run that is not zero: the power of the base (10, or 2 for
// hexadecimal) just above its value, capped far beyond the range of a
// double. Runs of digits may be gigabytes long.
std::int64_t power_above(const char* p, const char* end, bool hex) noexcept {
    const std::int64_t digit_power = hex ? 4 : 1;
    std::int64_t power;
    p = skip_run(p, end, '0');
    if (p != end && *p == '.') {
        const char* q = skip_run(p + 1, end, '0');
        power = -(q - p - 1) * digit_power;
        p = skip_digits(q, end, hex);
    } else {
        const char* q = skip_digits(p, end, hex);
        power = (q - p) * digit_power;
        p = q;
        if (p != end && *p == '.') p = skip_digits(p + 1, end, hex);
    }
    if (p == end) return power;
    ++p;  // the exponent mark
    bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    std::int64_t exponent = 0;
    for (; p != end && exponent < exponent_cap; ++p) exponent = exponent * 10 + (*p - '0');
    return power + (negative ? -exponent : exponent);
}

// The general conversion of a complete run without its sign: correctly
// rounded. Where the value is out of range the C library gives infinity or
// zero, as here, without a copy of the text (which may be gigabytes long).
double convert_text(const char* p, const char* end, bool hex) noexcept {
    double value = 0;
    auto format = hex ? std::chars_format::hex : std::chars_format::general;
    auto [stop, ec] = std::from_chars(p, end, value, format);
    if (ec == std::errc() && stop == end) return value;
    return power_above(p, end, hex) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}


// The forms other than plain decimals: hexadecimal, infinity and NaN. The
// returned run's end is null when the text is none of them, or incomplete.
[[gnu::noinline]] real_run scan_other_real(const char* q, const char* end) noexcept {
    if (is_hex_prefix(q, end)) return scan_hex(q + 2, end);
    if (lower_is(*q, 'i')) return scan_infinity(q, end);
    if (lower_is(*q, 'n')) return scan_nan(q, end);
    return {};
}

}  // namespace

// Any real field.
[[gnu::noinline]] static bool scan_real_general(const char*& p, const char* end, double& value,
                                                const char* begin) noexcept {
    bool negative;
    const char* q = skip_space_and_sign(p, end, negative);
    if (q == end) return false;
    bool hex = is_hex_prefix(q, end);
    real_run run = !hex && (is_digit(*q) || *q == '.') ? scan_decimal(q, end, begin) : scan_other_real(q, end);
    if (run.end == nullptr) return false;
    double v = run.known ? run.value : convert_text(hex ? q + 2 : q, run.end, hex);
    value = negative ? -v : v;
    p = run.end;
    return true;
}

// The common field, a decimal without sign, is converted here; any other
// text by the general routine.
bool scan_real(const char*& p, const char* end, double& value, const char* begin) noexcept {
    const char* q = after_blank(p, end);
    if (q != end && (is_digit(*q) || *q == '.') && !is_hex_prefix(q, end)) {
        real_run run = scan_decimal(q, end, begin);
        if (run.end != nullptr) {
            value = run.known ? run.value : convert_text(q, run.end, false);
            p = run.end;
            return true;
        }
    }
    return scan_real_general(p, end, value, begin);
}

namespace {

// Below 10^4 a value is below 2^14, where the double nearest to a text lies
// within 2^-40 of it. Decimals seven to twelve then tell which way the value
// rounds to six decimals, unless they lie within 2 of the half 500000: past
// that margin the text and its double are at least 2e-12 from the half.
constexpr std::uint64_t fixed6_whole_limit = 10000;
constexpr std::uint64_t micros_per_unit = 1000000;
constexpr std::uint64_t half_micro = 500000;
constexpr std::uint64_t rounding_margin = 2;
constexpr int settling_decimals = 12;

}  // namespace

bool scan_fixed6(const char*& p, const char* end, fixed6& value, const char* begin) noexcept {
    const char* q = after_blank(p, end);
    if (q == end || !is_digit(*q)) return false;
    decimal_digits d;
    q = gather_decimal<settling_decimals>(q, end, begin, d);
    // Only a plain decimal: nothing such as an exponent may go on from it.
    if ((q != end && !is_space(*q)) || d.whole.count > max_gathered_digits || d.whole.value >= fixed6_whole_limit)
        return false;
    int gathered = static_cast<int>(std::min<std::int64_t>(d.fraction.count, settling_decimals));
    std::uint64_t twelve = d.fraction.value * powers_of_ten[settling_decimals - gathered];
    std::uint64_t decimals = quotient<micros_per_unit>(twelve);
    std::uint64_t rest = twelve - decimals * micros_per_unit;
    if (rest >= half_micro - rounding_margin && rest < half_micro + rounding_margin) return false;
    value = {d.whole.value * micros_per_unit + decimals + (rest > half_micro)};
    p = q;
    return true;
}
