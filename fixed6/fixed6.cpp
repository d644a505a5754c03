#include <algorithm>
#include <charconv>

#include "digits.h"
#include "fixed6.h"
#include "reals.h"
#include "wide.h"

namespace {

constexpr int mantissa_bits = 52;
constexpr int exponent_bias = 1075;  // 1023, plus the 52 fraction bits
constexpr int max_exponent_field = 0x7ff;
constexpr std::uint64_t micros_per_unit = 1000000;
// Below 2^63 a whole value fits an unsigned 64-bit integer.
constexpr int max_integral_shift = 63 - mantissa_bits - 1;

// The rounding of a fraction m / 2^shift (m < 2^shift) to millionths: its
// count of millionths rounded down, and where the exact rest lies against
// half a millionth.
struct rounded {
    std::uint64_t micros;
    bool above_half;
    bool at_half;
};

// m * 10^6 is exact in 128 bits; its bits below `shift` are the rest.
rounded round_fraction(std::uint64_t m, int shift) noexcept {
    u128_parts x = multiply_64x64(m, micros_per_unit);
    if (shift < 64) {
        std::uint64_t rest = x.low & ((std::uint64_t{1} << shift) - 1);
        std::uint64_t half = std::uint64_t{1} << (shift - 1);
        std::uint64_t micros = shift == 0 ? x.low : (x.high << (64 - shift)) | (x.low >> shift);
        return {micros, rest > half, rest == half};
    }
    int high_shift = shift - 64;
    std::uint64_t rest_high = x.high & ((std::uint64_t{1} << high_shift) - 1);
    if (high_shift == 0) {
        constexpr std::uint64_t half = std::uint64_t{1} << 63;
        return {x.high, x.low > half, x.low == half};
    }
    std::uint64_t half_high = std::uint64_t{1} << (high_shift - 1);
    bool above = rest_high > half_high || (rest_high == half_high && x.low != 0);
    return {x.high >> high_shift, above, rest_high == half_high && x.low == 0};
}

// m / 2^shift split into its integer part and its fraction rounded to six
// decimals, ties to even on the exact value: as the integer part times
// 10^6 is even, the parity of the decimals decides.
void split_fraction(std::uint64_t m, int shift, std::uint64_t& whole, std::uint64_t& decimals) noexcept {
    if (shift >= 64) {
        whole = 0;
    } else {
        whole = m >> shift;
        m -= whole << shift;
    }
    decimals = 0;
    // m < 2^53, so m * 10^6 < 2^73: past that shift the fraction is below
    // half a millionth and rounds to zero.
    constexpr int zero_shift = 74;
    if (shift >= zero_shift) return;
    rounded r = round_fraction(m, shift);
    decimals = r.micros + (r.above_half || (r.at_half && (r.micros & 1)));
    if (decimals == micros_per_unit) {  // rounded up into the next unit
        decimals = 0;
        ++whole;
    }
}

char* write_special(char* p, bool negative, bool nan) noexcept {
    if (negative) *p++ = '-';
    std::memcpy(p, nan ? "nan" : "inf", 3);
    return p + 3;
}

// The sign, the integer part below 2^63 and six decimals.
char* write_parts(char* p, bool negative, std::uint64_t whole, std::uint64_t decimals) noexcept {
    if (negative) *p++ = '-';
    if (whole == 0)  // most values of a transition file lie below one
        *p++ = '0';
    else
        p = write_int(p, static_cast<std::int64_t>(whole));
    *p++ = '.';
    return write_six_digits(p, decimals);
}

}  // namespace

char* write_fixed6(char* p, double v) noexcept {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bool negative = bits >> 63;
    int field = static_cast<int>((bits >> mantissa_bits) & max_exponent_field);
    std::uint64_t fraction = bits & ((std::uint64_t{1} << mantissa_bits) - 1);
    if (field == max_exponent_field) return write_special(p, negative, fraction != 0);
    int exponent = field == 0 ? 1 - exponent_bias : field - exponent_bias;
    std::uint64_t m = field == 0 ? fraction : fraction | (std::uint64_t{1} << mantissa_bits);
    if (exponent > max_integral_shift) {
        // Huge values print every integer digit; rare enough for the general
        // exact routine.
        return std::to_chars(p, p + max_fixed6_chars, v, std::chars_format::fixed, 6).ptr;
    }
    std::uint64_t whole = m << (exponent > 0 ? exponent : 0);
    std::uint64_t decimals = 0;
    if (exponent < 0) split_fraction(m, -exponent, whole, decimals);
    return write_parts(p, negative, whole, decimals);
}

char* write_fixed6(char* p, fixed6 v) noexcept {
    std::uint64_t whole = v.micros / micros_per_unit;
    return write_parts(p, v.negative, whole, v.micros - whole * micros_per_unit);
}

char* write_fixed6(char* p, const copied_real& v) noexcept {
    return v.is_fixed ? write_fixed6(p, v.fixed) : write_fixed6(p, v.value);
}

namespace {

// Below 2^33 a double lies within 2^-21 of the decimal it was read from,
// under half a millionth: a decimal of at most six decimals is written as
// it stands (taken here up to seven integer digits). With more decimals, the 7th to 18th (the tail, in units of
// 10^-12 millionths) tell how it rounds, unless they lie within the
// double's error of the half: at most (whole + 1) * 2^-53 * 10^18 < (whole
// + 1) * 112 units, plus one for the digits past the 18th.
constexpr int tail_digits = 12;
constexpr std::uint64_t half_tail = 500000000000;
constexpr std::uint64_t error_per_unit = 112;

std::uint64_t low_bytes(int n) noexcept { return n >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1; }

// Gathers the digits at p, the tail after the 6th decimal, up to twelve;
// notes any non-zero digit past them.
const char* gather_tail(const char* p, std::uint64_t& tail, int& taken, bool& sticky) noexcept {
    for (int n = 8; n == 8; p += n) {
        std::uint64_t w = load_word(p);
        n = leading_digits(w);
        int take = std::min(n, tail_digits - taken);
        if (take > 0) tail = tail * powers_of_ten[take] + digits_value(w, take);
        taken += take;
        sticky |= ((w ^ all_bytes('0')) & low_bytes(n) & ~low_bytes(take)) != 0;
    }
    return p;
}

// The plain decimal at p (digits, maybe a point and more digits, then
// neither an exponent nor more digits) as fixed, when its text decides; null
// for any other text.
const char* scan_fixed_decimal(const char* p, fixed6& v) noexcept {
    bool negative = *p == '-';
    p += negative;
    if (p[0] == '0' && (p[1] | 0x20) == 'x') return nullptr;
    const char* start = p;
    while (*p == '0') ++p;
    std::uint64_t w = load_word(p);
    int n = leading_digits(w);
    if (n > 7) return nullptr;  // eight or more integer digits: rare enough for the double
    std::uint64_t whole = n > 0 ? digits_value(w, n) : 0;
    p += n;
    std::uint64_t decimals = 0;
    std::uint64_t tail = 0;
    int taken = 0;
    bool sticky = false;
    bool has_tail = false;
    if (*p == '.') {
        ++p;
        w = load_word(p);
        n = leading_digits(w);
        if (n <= 6) {
            decimals = n > 0 ? digits_value(w, n) * powers_of_ten[6 - n] : 0;
            p += n;
        } else {
            decimals = digits_value(w, 6);
            has_tail = true;
            p = gather_tail(p + 6, tail, taken, sticky);
            tail *= powers_of_ten[tail_digits - taken];
        }
    }
    if (p == start || (p == start + 1 && *start == '.') || (*p | 0x20) == 'e') return nullptr;
    if (has_tail) {
        std::uint64_t distance = tail > half_tail ? tail - half_tail : half_tail - tail;
        if (distance <= (whole + 1) * error_per_unit + sticky) return nullptr;
        decimals += tail > half_tail;
    }
    v = {whole * micros_per_unit + decimals, negative};
    return p;
}

}  // namespace

const char* scan_copied_real(const char* p, copied_real& v) noexcept {
    const char* q = p + (*p == ' ');
    fixed6 f;
    if (const char* end = scan_fixed_decimal(q, f)) {
        v.fixed = f;
        v.is_fixed = true;
        return end;
    }
    const char* end = scan_real(p, v.value);
    if (end != nullptr) v.is_fixed = false;
    return end;
}
