// A value that is only copied: from its text where that decides what
// "%lf" writes for the double scanf reads, else from the double.
#include <algorithm>

#include "number_words.h"

namespace {

// When a value's text decides its six decimals. The double scanf reads
// lies within (whole + 1) * 2^-53 of the text (whole: its integer part).
// Below 2^33 that is under half a millionth, so a text of at most six
// decimals (once an exponent has moved the point) gives its own
// millionths. With more, its digits past the sixth decimal (the tail, 12
// of them, in units of 10^-18) tell how it rounds, unless they lie within
// the double's error of the half: (whole + 1) * 2^-53 * 10^18 < (whole +
// 1) * 112 units. A tail known to its first digits only lies from what
// they give up to the next value they could give. Both ways of copying a
// value's text, from its digits and from its integer, decide here.
constexpr int tail_digits = 12;
constexpr std::uint64_t half_tail = 500000000000;
constexpr std::uint64_t error_per_unit = 112;

enum class text_rounding { down, up, undecided };

constexpr text_rounding rounding_by_text(std::uint64_t tail_from, std::uint64_t tail_to, std::uint64_t whole) noexcept {
    std::uint64_t error = (whole + 1) * error_per_unit;
    if (tail_to + error < half_tail) return text_rounding::down;
    if (tail_from > half_tail + error) return text_rounding::up;
    return text_rounding::undecided;
}

// The copy from the digits takes at most seven before the point, and looks
// at the 7th and 8th decimals only: a tail from 10^10 times their value up
// to the next.
constexpr std::uint64_t max_copied_whole = 9'999'999;
constexpr std::uint64_t two_digit_tail = 10'000'000'000;

constexpr text_rounding rounding_of_two_digits(int digits) noexcept {
    auto tail = static_cast<std::uint64_t>(digits) * two_digit_tail;
    return rounding_by_text(tail, tail + two_digit_tail, max_copied_whole);
}
// The two digits as their characters, the 7th on top, which order as
// their values do; the first and the last that leave it undecided.
constexpr int digit_pair(int digits) noexcept { return ('0' + digits / 10) << 8 | ('0' + digits % 10); }
constexpr int first_undecided_pair = [] {
    int digits = 0;
    while (rounding_of_two_digits(digits) == text_rounding::down) ++digits;
    return digit_pair(digits);
}();
constexpr int last_undecided_pair = [] {
    int digits = 99;
    while (rounding_of_two_digits(digits) == text_rounding::up) --digits;
    return digit_pair(digits);
}();
static_assert(first_undecided_pair == digit_pair(49) && last_undecided_pair == digit_pair(50));

inline text_rounding rounding_by_two_digits(char seventh, char eighth) noexcept {
    int pair = static_cast<unsigned char>(seventh) << 8 | static_cast<unsigned char>(eighth);
    if (pair < first_undecided_pair) return text_rounding::down;
    return pair > last_undecided_pair ? text_rounding::up : text_rounding::undecided;
}

// floor(x / 10^k) for x < 2^64 and k from 1 to 12, by one multiplication:
// x / 10^k is (x / 2^k) / 5^k, and for a dividend below 2^N = 2^(64 - k)
// the multiplier ceil(2^(N + l) / 5^k), with 5^k below 2^l, fits 64 bits
// and gives the exact quotient as the top bits of the product (Granlund
// and Montgomery). The multipliers are built by long division.
struct reciprocal {
    std::uint64_t multiplier;
    int shift;  // l - k: the product's high word is shifted by it
};

constexpr reciprocal reciprocal_of_power(int k) noexcept {
    std::uint64_t five = 1;
    for (int i = 0; i < k; ++i) five *= 5;
    int l = 64 - std::countl_zero(five);
    int top = 64 - k + l;  // the dividend 2^top
    std::uint64_t quotient = 0, rest = 0;
    for (int i = top; i >= 0; --i) {
        rest = 2 * rest + (i == top);
        quotient <<= 1;
        if (rest >= five) {
            rest -= five;
            quotient |= 1;
        }
    }
    return {quotient + (rest != 0), l - k};
}

struct reciprocal_table {
    reciprocal entries[tail_digits + 1];
};

constexpr reciprocal_table make_reciprocals() noexcept {
    reciprocal_table t{};
    for (int k = 1; k <= tail_digits; ++k) t.entries[k] = reciprocal_of_power(k);
    return t;
}

constexpr reciprocal_table reciprocals = make_reciprocals();

std::uint64_t divide_by_power_of_ten(std::uint64_t x, int k) noexcept {
    const reciprocal& r = reciprocals.entries[k];
    return multiply_64x64(x >> k, r.multiplier).high >> r.shift;
}

// Below 2^33, in millionths, and the digits that stay below it once scaled
// by 10^scale.
constexpr std::uint64_t max_text_micros = (std::uint64_t{1} << 33) * micros_per_unit;
constexpr int max_scale = 15;

struct digit_limits {
    std::uint64_t below[max_scale + 1];
};

constexpr digit_limits make_digit_limits() noexcept {
    digit_limits t{};
    for (int scale = 0; scale <= max_scale; ++scale) t.below[scale] = max_text_micros / powers_of_ten[scale];
    return t;
}

constexpr digit_limits scaled_digit_limits = make_digit_limits();

// The plain decimal at p, with a sign and maybe an exponent, as fixed when
// its text decides; null for any other text.
const char* scan_fixed_decimal(const char* p, fixed6& v) noexcept {
    bool negative = *p == '-';
    decimal d;
    const char* end = scan_plain_decimal(p + negative, d);
    if (end == nullptr) return nullptr;
    // The decimal is digits / 10^places.
    std::uint64_t digits = d.mantissa;
    std::int64_t places = -d.exponent;
    std::uint64_t micros;
    if (places <= 6) {
        auto scale = static_cast<int>(6 - places);
        if (scale > max_scale || digits >= scaled_digit_limits.below[scale]) return nullptr;
        micros = digits * powers_of_ten[scale];
    } else {
        if (places - 6 > tail_digits) return nullptr;
        auto extra = static_cast<int>(places - 6);
        micros = divide_by_power_of_ten(digits, extra);
        if (micros >= max_text_micros) return nullptr;
        std::uint64_t tail = (digits - micros * powers_of_ten[extra]) * powers_of_ten[tail_digits - extra];
        text_rounding rounding = rounding_by_text(tail, tail, micros / micros_per_unit);
        if (rounding == text_rounding::undecided) return nullptr;
        micros += rounding == text_rounding::up;
    }
    v = {micros, negative};
    return end;
}

// Adds one to the last decimal digit before stop (a point is passed over,
// a sign or the text's start ends the digits); false when they are all
// nines, as the number would need one more digit.
bool round_up(char* text, char* stop) noexcept {
    for (char* d = stop; d != text;) {
        --d;
        if (*d == '.') continue;
        if (!is_digit(*d)) return false;
        if (*d != '9') {
            ++*d;
            return true;
        }
        *d = '0';
    }
    return false;
}

// The six decimals before stop, in the text from text on, rounded on their
// 7th and 8th: false where those cannot decide (a lone final 5 reads 50)
// or the carry would need one more digit.
bool round_on_text(char* text, char* stop, char seventh, char eighth) noexcept {
    text_rounding rounding = rounding_by_two_digits(seventh, eighth);
    if (rounding == text_rounding::undecided) return false;
    if (rounding == text_rounding::down) return true;
    // The 6th decimal stands before stop; most often it takes the one alone.
    if (stop[-1] != '9') {
        ++stop[-1];
        return true;
    }
    return round_up(text, stop);
}

// A value that the text path does not take, ending the line: written as
// it would be through its fields, from its count of millionths where its
// text decides them, else from its double; kept out of the loops. The
// line feed and the end of what was written (the caller's output pointer
// is not handed over, so that it may stay in a register).
struct copied_text {
    const char* line_feed;
    char* written_end;
};

[[gnu::noinline]] copied_text write_copied_value(const char* p, char* q, double* value) noexcept {
    copied_real v;
    const char* end = scan_copied_real(p, v);
    if (end == nullptr || *end != '\n') return {nullptr, q};
    if (value != nullptr) {
        if (v.kept == copied_real::form::as_double)
            *value = v.value;
        else
            scan_real(p, *value);
    }
    return {end, write_fixed6(q, v)};
}

// value, where not null, takes the double of the text as well.
const char* copy_by_value(const char* p, char*& q, double* value) noexcept {
    copied_text c = write_copied_value(p, q, value);
    q = c.written_end;
    return c.line_feed;
}

// The double of a value whose digits (counted of them significant, a
// lone 0 before the point not counted) make the integer m, times
// 10^-places, as scanf reads the text at p: from m where they are 19 at
// most and the power is near, else by the scan of the text.
[[gnu::always_inline]] inline void take_double(const char* p, std::uint64_t m, int counted, int places,
                                               double* value) noexcept {
    decimal x;
    x.mantissa = m;
    x.exponent = -places;
    double v;
    if (counted > max_gathered_digits || !nearest_double(x, v))
        scan_real(p, *value);
    else
        *value = *p == '-' ? -v : v;
}

// The same for a short value: n digits before the point at d, k of at
// most six after it at decimals, the whole times 10^-shift.
[[gnu::always_inline]] inline void take_short_double(const char* p, const char* d, int n, const char* decimals,
                                                     int k, int shift, double* value) noexcept {
    std::uint64_t m = n > 0 ? digits_value(load_word(d), n) : 0;
    if (k > 0) m = m * powers_of_ten[k] + digits_value(load_word(decimals), k);
    take_double(p, m, n + k, k + shift, value);
}

// A short value in exponent form, one digit d (not zero), up to six
// decimals, then "e-x" with x of one or two digits, ending the line, as %g
// writes small values: its decimals are its digits behind x - 1 zeros. The
// first six are written at t and the 7th rounds them, as in copy_decimals.
// The line feed, or null for another text.
[[gnu::always_inline]] inline const char* copy_small_exponent(const char* p, const char* d, int k, const char* e, char* t, char*& q,
                                double* value) noexcept {
    if (*d == '0' || (*e | 0x20) != 'e' || e[1] != '-' || !is_digit(e[2])) return nullptr;
    int x = e[2] - '0';
    const char* end = e + 3;
    if (is_digit(*end)) x = 10 * x + (*end++ - '0');
    if (*end != '\n' || x == 0) return nullptr;
    // The decimals from the first to the 8th, the first in the lowest byte.
    std::uint64_t taken = (std::uint64_t{1} << (8 * k)) - 1;
    std::uint64_t digits = static_cast<unsigned char>(*d) | ((load_word(d + 2) & taken) | (all_bytes('0') & ~taken)) << 8;
    std::uint64_t decimals = all_bytes('0');
    if (x <= 8) decimals = digits << 8 * (x - 1) | (all_bytes('0') & ((std::uint64_t{1} << 8 * (x - 1)) - 1));
    t[0] = '0';
    t[1] = '.';
    store_word(t + 2, decimals);
    if (!round_on_text(q, t + 8, static_cast<char>(decimals >> 48), static_cast<char>(decimals >> 56))) return nullptr;
    q = t + 8;
    if (value != nullptr) take_short_double(p, d, 1, d + 2, k, x, value);
    return end;
}

// A value whose digits (n before the point at d + n, k after it) stop at e,
// short of the line feed: a short exponent form from its text, any other
// from its value.
[[gnu::always_inline]] inline const char* copy_past_digits(const char* p, char*& q, const char* d, int n, int k, const char* e, char* t,
                             double* value) noexcept {
    if (n == 1)
        if (const char* end = copy_small_exponent(p, d, k, e, t, q, value)) return end;
    return copy_by_value(p, q, value);
}

}  // namespace

const char* scan_copied_real(const char* p, copied_real& v) noexcept {
    const char* q = p + (*p == ' ');
    fixed6 f;
    if (const char* end = scan_fixed_decimal(q, f)) {
        v.fixed = f;
        v.kept = copied_real::form::as_fixed;
        return end;
    }
    const char* end = scan_real(p, v.value);
    if (end != nullptr) v.kept = copied_real::form::as_double;
    return end;
}

// The decimals after the point that follows the n integer digits at d,
// the integer digits and the point being written at t already.
// value, where not null, takes the double of the text as well.
[[gnu::always_inline]] inline const char* copy_decimals(const char* p, char*& q, const char* d, char* t, int n,
                                                       double* value) noexcept {
    const char* decimals = d + n + 1;
    char* written_point = t + n;
    std::uint64_t w = load_word(decimals);
    int k = leading_digits(w);
    const char* end = decimals + k;
    if (k <= 6) {
        if (*end != '\n') return copy_past_digits(p, q, d, n, k, end, t, value);
        store_word(written_point + 1 + k, all_bytes('0'));
        q = written_point + 7;
        if (value != nullptr) take_short_double(p, d, n, decimals, k, 0, value);
        return end;
    }
    // The value's digits are gathered word by word as the decimals are
    // passed (past 19 of them the sum is of no use, and is not used).
    std::uint64_t m = 0;
    if (value != nullptr) {
        m = n == 1 ? static_cast<std::uint64_t>(*d - '0') : n > 1 ? digits_value(load_word(d), n) : 0;
        m = m * powers_of_ten[k] + (k == 8 ? eight_digits_value(w) : digits_value(w, k));
    }
    bool integral_part = value != nullptr && m >= powers_of_ten[k];
    while (k == 8) {
        w = load_word(end);
        k = leading_digits(w);
        if (value != nullptr && k > 0) m = m * powers_of_ten[k] + (k == 8 ? eight_digits_value(w) : digits_value(w, k));
        end += k;
    }
    if (*end != '\n' || !round_on_text(q, written_point + 7, decimals[6], end > decimals + 7 ? decimals[7] : '0'))
        return copy_by_value(p, q, value);
    q = written_point + 7;
    if (value != nullptr) {
        auto places = static_cast<int>(end - decimals);
        take_double(p, m, (integral_part ? n : 0) + places, places, value);
    }
    return end;
}

// A value "0." and decimals at d, its sign written before t already.
[[gnu::always_inline]] inline const char* copy_below_one(const char* p, char*& q, const char* d, char* t,
                                                        double* value) noexcept {
    std::memcpy(t, d, 16);
    return copy_decimals(p, q, d, t, 1, value);
}

// The text is copied as it stands: a sign, one to seven integer digits as
// "%lf" writes them (no leading zero but a lone one, "0" put before a bare
// point), the point and up to six decimals, padded with zeros. With more
// decimals, the 7th and 8th decide the rounding unless they read 49 or 50
// (then the rest may lie within the double's error of the half), and the
// text is rounded up on its digits; a short exponent form, as %g writes
// small values, is copied the same way. Any other value is written from
// what it reads as.
[[gnu::always_inline]] inline const char* copy_real(const char* p, char*& q, double* value) noexcept {
    char* t = q;
    const char* d = p;
    // Most values of a transition file lie below one, and few are negative.
    std::uint64_t w = load_word(d);
    if ((w & 0xFFFF) == zero_point) return copy_below_one(p, q, d, t, value);
    if (*d == '-') {
        *t++ = '-';
        w = load_word(++d);
        if ((w & 0xFFFF) == zero_point) return copy_below_one(p, q, d, t, value);
    }
    int n = leading_digits(w);
    if (n == 0) {
        if (*d != '.' || !is_digit(d[1])) return nullptr;
        *t++ = '0';
    } else if (n > 7 || (n > 1 && *d == '0')) {
        return copy_by_value(p, q, value);
    }
    std::memcpy(t, d, 16);  // the digits, the point and six decimals
    const char* point = d + n;
    if (*point != '.') {
        if (*point != '\n') return copy_past_digits(p, q, d, n, 0, point, t, value);
        t[n] = '.';
        store_word(t + n + 1, all_bytes('0'));
        q = t + n + 7;
        if (value != nullptr) take_short_double(p, d, n, point, 0, 0, value);
        return point;
    }
    return copy_decimals(p, q, d, t, n, value);
}

const char* copy_common_real(const char* p, char*& q) noexcept { return copy_real(p, q, nullptr); }

const char* copy_common_real(const char* p, char*& q, double& value) noexcept { return copy_real(p, q, &value); }
