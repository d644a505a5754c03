// Reals as scanf's "%lf" reads them: the common decimals converted by one
// operation on exact doubles or by the product with a power of five, any
// other text by the exact routine of exact_reals.cpp.
#include <algorithm>
#include <limits>

#include "number_words.h"

namespace {

// Powers of five for the product method, as 128 bits with the top bit set:
// 5^q exactly for q >= 0 (it fits 64 bits up to q = 27), and for q < 0 the
// reciprocal 2^b / 5^-q rounded down, plus one. Built here by long division,
// exactly.
// w * 10^q can lie exactly halfway between two doubles only for q from -4
// (5^4 still divides a 64-bit w that makes such a tie) to 23 (5^23 times
// w, below 2^64, still fits the 128 bits exactly with a half to spare).
constexpr int min_tie_power = -4;
constexpr int max_tie_power = 23;

constexpr u128_parts power_of_five(int q) noexcept {
    std::uint64_t five = 1;
    for (int i = 0; i < (q < 0 ? -q : q); ++i) five *= 5;
    int bits = 64 - std::countl_zero(five);
    if (q >= 0) return {five << (64 - bits), 0};
    // 2^b / five for b = bits + 127, a bit at a time; the quotient has 128 bits.
    u128_parts quotient{0, 0};
    std::uint64_t rest = 0;
    for (int i = bits + 127; i >= 0; --i) {
        rest = 2 * rest + (i == bits + 127);
        if (rest >= five) {
            rest -= five;
            if (i >= 64)
                quotient.high |= std::uint64_t{1} << (i - 64);
            else
                quotient.low |= std::uint64_t{1} << i;
        }
    }
    quotient.low += 1;
    quotient.high += quotient.low == 0;
    return quotient;
}

struct power_table {
    u128_parts entries[max_product_power - min_product_power + 1];
};

constexpr power_table make_power_table() noexcept {
    power_table t{};
    for (int q = min_product_power; q <= max_product_power; ++q) t.entries[q - min_product_power] = power_of_five(q);
    return t;
}

constexpr power_table powers_of_five = make_power_table();

}  // namespace


// The double nearest to w * 10^q, for a non-zero w and q in the table's
// range, where neither overflow nor subnormals occur: the top bits of the
// product with the power of five (a second product where the first leaves
// its low bits undecided), rounded to even on an exact tie.
double product_value(std::uint64_t w, int q) noexcept {
    const u128_parts& five = powers_of_five.entries[q - min_product_power];
    int leading_zeros = std::countl_zero(w);
    w <<= leading_zeros;
    u128_parts product = multiply_64x64(w, five.high);
    constexpr std::uint64_t undecided = 0x1FF;  // the bits below the 55 kept
    if ((product.high & undecided) == undecided) {
        u128_parts second = multiply_64x64(w, five.low);
        product.low += second.high;
        product.high += second.high > product.low;
    }
    int upper_bit = static_cast<int>(product.high >> 63);
    int shift = upper_bit + 64 - mantissa_bits - 3;
    std::uint64_t mantissa = product.high >> shift;
    // floor(q * log2(10)) + 63, from 217706 / 2^16 just above log2(10).
    std::int64_t power2 =
        ((217706 * static_cast<std::int64_t>(q)) >> 16) + 63 + upper_bit - leading_zeros + exponent_bias;
    // Halfway between two doubles, which only 5^q of 64 bits can give:
    // round down to the even one instead of up.
    if (product.low <= 1 && q >= min_tie_power && q <= max_tie_power && (mantissa & 3) == 1 &&
        (mantissa << shift) == product.high)
        mantissa &= ~std::uint64_t{1};
    mantissa += mantissa & 1;
    mantissa >>= 1;
    if (mantissa >= std::uint64_t{2} << mantissa_bits) {
        mantissa = std::uint64_t{1} << mantissa_bits;
        ++power2;
    }
    mantissa &= ~(std::uint64_t{1} << mantissa_bits);
    std::uint64_t bits = static_cast<std::uint64_t>(power2) << mantissa_bits | mantissa;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

namespace {

bool lower_is(char c, char lower) noexcept { return (c | 0x20) == lower; }

bool is_hex_prefix(const char* p) noexcept { return p[0] == '0' && lower_is(p[1], 'x'); }


// Past a run of zeros, eight at a time where it is long: a word of zeros
// holds no line feed, so the next word may be loaded too.
const char* skip_zeros(const char* p) noexcept {
    while (load_word(p) == all_bytes('0')) p += 8;
    while (*p == '0') ++p;
    return p;
}

// Takes the digits at p into d, eight at a time; past 19 significant
// digits they only move the exponent (by `shift` each) or mark d truncated.
const char* gather(const char* p, decimal& d, int& significant, int shift) noexcept {
    for (int n = 8; n == 8; p += n) {
        std::uint64_t w = load_word(p);
        n = leading_digits(w);
        int take = std::min(n, max_gathered_digits - significant);
        if (take > 0) d.mantissa = d.mantissa * powers_of_ten[take] + digits_value(w, take);
        significant += take;
        d.exponent += shift * take + (n - take) * (shift + 1);
        d.truncated |= take < n;
    }
    return p;
}

// Digits with an optional point and an optional exponent, without a sign;
// null when the text is no complete number ("." or "1e").
const char* scan_decimal(const char* p, decimal& d) noexcept {
    const char* start = p;
    p = skip_zeros(p);
    int significant = 0;
    p = gather(p, d, significant, 0);
    if (*p == '.') {
        ++p;
        if (significant == 0) {
            const char* zeros = p;
            p = skip_zeros(p);
            d.exponent -= p - zeros;
        }
        p = gather(p, d, significant, -1);
    }
    if (p == start || (p == start + 1 && *start == '.')) return nullptr;
    if (lower_is(*p, 'e')) {
        const char* q = p + 1;
        bool negative = *q == '-';
        q += *q == '-' || *q == '+';
        if (!is_digit(*q)) return nullptr;
        std::int64_t exponent = 0;
        for (; is_digit(*q); ++q)
            if (exponent < exponent_saturation) exponent = exponent * 10 + (*q - '0');
        d.exponent += negative ? -exponent : exponent;
        p = q;
    }
    return p;
}

// The general conversion of a complete run without its sign: exact, for a
// text of any length.
double convert_text(const char* p, const char* end, bool hex) noexcept {
    return hex ? exact_hex_value(p, end) : exact_decimal_value(p, end);
}

// The decimal's value: as nearest_double gives it, else from its text.
double decimal_value(const decimal& d, const char* start, const char* end) noexcept {
    double v;
    if (!d.truncated && nearest_double(d, v)) return v;
    return convert_text(start, end, false);
}

// After "0x": hexadecimal digits with an optional point, then an optional
// binary exponent "p" that must have digits; null when incomplete.
const char* scan_hex(const char* p) noexcept {
    bool any_digit = false;
    for (; hex_digit_value(*p) >= 0; ++p) any_digit = true;
    if (*p == '.')
        for (++p; hex_digit_value(*p) >= 0; ++p) any_digit = true;
    if (!any_digit) return nullptr;
    if (lower_is(*p, 'p')) {
        const char* q = p + 1;
        q += *q == '+' || *q == '-';
        if (!is_digit(*q)) return nullptr;
        while (is_digit(*q)) ++q;
        p = q;
    }
    return p;
}

// How many leading letters of word (lower case) stand at p, ignoring case.
std::size_t match_word(const char* p, const char* word) noexcept {
    std::size_t n = 0;
    while (word[n] != '\0' && lower_is(p[n], word[n])) ++n;
    return n;
}

// "inf" or "infinity"; a longer prefix of "infinity" alone is incomplete.
const char* scan_infinity(const char* p) noexcept {
    if (match_word(p, "inf") != 3) return nullptr;
    std::size_t rest = match_word(p + 3, "inity");
    if (rest != 0 && rest != 5) return nullptr;
    return p + 3 + rest;
}

bool is_nan_payload(char c) noexcept {
    char l = static_cast<char>(c | 0x20);
    return is_digit(c) || (l >= 'a' && l <= 'z') || c == '_';
}

// "nan", or "nan(" letters, digits and underscores ")".
const char* scan_nan(const char* p) noexcept {
    if (match_word(p, "nan") != 3) return nullptr;
    p += 3;
    if (*p != '(') return p;
    const char* q = p + 1;
    while (is_nan_payload(*q)) ++q;
    return *q == ')' ? q + 1 : nullptr;
}

const char* scan_unsigned_decimal(const char* p, bool negative, double& value) noexcept {
    decimal d;
    const char* end = scan_decimal(p, d);
    if (end == nullptr) return nullptr;
    double v = decimal_value(d, p, end);
    value = negative ? -v : v;
    return end;
}

// Any real field: white space, a sign, and every form.
[[gnu::noinline]] const char* scan_real_general(const char* p, double& value) noexcept {
    p = skip_blanks(p);
    bool negative = *p == '-';
    p += *p == '-' || *p == '+';
    double v;
    const char* end;
    if (is_hex_prefix(p)) {
        end = scan_hex(p + 2);
        if (end == nullptr) return nullptr;
        v = convert_text(p + 2, end, true);
    } else if (is_digit(*p) || *p == '.') {
        return scan_unsigned_decimal(p, negative, value);
    } else if ((end = scan_infinity(p)) != nullptr) {
        v = std::numeric_limits<double>::infinity();
    } else if ((end = scan_nan(p)) != nullptr) {
        v = std::numeric_limits<double>::quiet_NaN();
    } else {
        return nullptr;
    }
    value = negative ? -v : v;
    return end;
}

}  // namespace

// The decimals at p, after a point that follows n integer digits whose
// value is m: up to two words of eight decimals and a part of a third,
// taken into the digits as they come. Past 19 digits in all the digits may
// have wrapped, but the decimal is refused then. The end, or null.
[[gnu::always_inline]] inline const char* scan_places(const char* p, int n, std::uint64_t& m, int& places) noexcept {
    std::uint64_t w = load_word(p);
    int k = leading_digits(w);
    if (k < 8) {
        if (k > 0) m = m * powers_of_ten[k] + digits_value(w, k);
    } else {
        m = m * powers_of_ten[8] + eight_digits_value(w);
        w = load_word(p + 8);
        int more = leading_digits(w);
        if (more == 8) {
            m = m * powers_of_ten[8] + eight_digits_value(w);
            w = load_word(p + 16);
            k += 8;
            more = leading_digits(w);
            if (more == 8) return nullptr;
        }
        if (more > 0) m = m * powers_of_ten[more] + (more == 1 ? (w & 0xF) : digits_value(w, more));
        k += more;
    }
    if (n + k > max_gathered_digits) return nullptr;
    places = k;
    return p + k;
}

const char* scan_plain_decimal(const char* p, decimal& d) noexcept {
    int places = 0;
    std::uint64_t w = load_word(p);
    std::uint64_t m = 0;
    if ((w & 0xFFFF) == zero_point) {  // most values of a transition file lie below one
        // The zero does not count among the 19 digits: it adds nothing to
        // them, and "0." with 19 decimals (%.17g of a value below 0.01) fits.
        p = scan_places(p + 2, 0, m, places);
        if (p == nullptr) return nullptr;
    } else {
        std::uint64_t non_digit = non_digits(w);
        if (non_digit == 0) return nullptr;
        int n = std::countr_zero(non_digit) / 8;
        p += n;
        std::uint64_t after_point = non_digit >> 8 * n >> 8;
        if (*p == '.' && after_point != 0) {
            // The decimals end in this word too (a point does not carry in
            // the digit test): the digits on both sides of the point, moved
            // together, are one run.
            int k = std::countr_zero(after_point) / 8;
            if (n + k == 0) return nullptr;  // "."
            std::uint64_t low = (std::uint64_t{1} << 8 * n) - 1;
            std::uint64_t lanes = digit_lanes(w);
            m = lanes_value((lanes & low) | (lanes >> 8 & ~low), n + k);
            places = k;
            p += 1 + k;
        } else {
            m = n == 1 ? (w & 0xF) : n > 1 ? digits_value(w, n) : 0;
            if (*p == '.') {
                p = scan_places(p + 1, n, m, places);
                if (p == nullptr || n + places == 0) return nullptr;  // long, or "."
            } else if (n == 0) {
                return nullptr;
            }
        }
    }
    d.mantissa = m;
    d.exponent = -places;
    // Most often a line feed or a blank follows; only letters carry 0x40.
    if ((*p & 0x40) == 0) return p;
    char next = static_cast<char>(*p | 0x20);
    if (next == 'x') return nullptr;  // "0x"
    if (next == 'e') {
        const char* q = p + 1;
        bool negative = *q == '-';
        q += *q == '-' || *q == '+';
        int n = leading_digits(load_word(q));
        if (n == 0 || n > 3) return nullptr;  // incomplete, or long: the general routine decides
        int exponent = 0;
        for (int i = 0; i < n; ++i) exponent = exponent * 10 + (q[i] - '0');
        d.exponent += negative ? -exponent : exponent;
        p = q + n;
    }
    return p;
}

const char* scan_common_real(const char* p, double& value) noexcept {
    decimal d;
    const char* end = scan_plain_decimal(p, d);
    return end != nullptr && nearest_double(d, value) ? end : nullptr;
}

// The common field, after one blank at most, or any other text by the
// general routine.
const char* scan_real(const char* p, double& value) noexcept {
    p += *p == ' ';
    if (const char* end = scan_common_real(p, value)) return end;
    return scan_real_general(p, value);
}
