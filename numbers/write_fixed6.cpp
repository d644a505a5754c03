// Reals written as "%lf" writes them, six decimals: from a double,
// rounded exactly, or from a count of millionths.
#include <algorithm>
#include <charconv>

#include "number_words.h"

namespace {

// The exponent of a double's last fraction bit: 1023, plus the 52 bits.
constexpr int last_bit_bias = exponent_bias + mantissa_bits;
// Below 2^63 a whole value fits an unsigned 64-bit integer.
constexpr int max_integral_shift = 63 - mantissa_bits - 1;

// m / 2^shift (shift from 1 to 127, the quotient times 10^6 below 2^64)
// in millionths, rounded to the nearest, ties to even on the exact value:
// m * 10^6 is exact in 128 bits and its bits below `shift` are the rest.
// Half a millionth less one, added to the rest and the parity of the count
// rounded down, carries into the next millionth just when the rest lies
// above the half, or on it with an odd count.
std::uint64_t nearest_micros(std::uint64_t m, int shift) noexcept {
    u128_parts x = multiply_64x64(m, micros_per_unit);
    if (shift < 64) {
        std::uint64_t below = (std::uint64_t{1} << shift) - 1;
        std::uint64_t micros = (x.high << (64 - shift)) | (x.low >> shift);
        return micros + (((x.low & below) + (micros & 1) + (below >> 1)) >> shift);
    }
    int high_shift = shift - 64;
    if (high_shift == 0) {
        constexpr std::uint64_t half = std::uint64_t{1} << 63;
        return x.high + (x.low > half || (x.low == half && (x.high & 1)));
    }
    std::uint64_t rest_high = x.high & ((std::uint64_t{1} << high_shift) - 1);
    std::uint64_t half_high = std::uint64_t{1} << (high_shift - 1);
    std::uint64_t micros = x.high >> high_shift;
    bool above = rest_high > half_high || (rest_high == half_high && x.low != 0);
    bool at = rest_high == half_high && x.low == 0;
    return micros + (above || (at && (micros & 1)));
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
    decimals = nearest_micros(m, shift);
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

// Below a thousand, the millionths are written in one piece.
constexpr std::uint64_t max_direct_micros = 1000 * micros_per_unit;

// The sign, the integer part below 2^63 and six decimals.
char* write_parts(char* p, bool negative, std::uint64_t whole, std::uint64_t decimals) noexcept {
    if (negative) *p++ = '-';
    if (whole < max_direct_micros / micros_per_unit) return write_millionths(p, whole * micros_per_unit + decimals);
    p = write_int(p, static_cast<std::int64_t>(whole));
    *p++ = '.';
    return write_six_digits(p, decimals);
}

// A double from 2^-76 to below 2^9 (the exponent fields): its millionths
// are below 10^9, and below 2^-76 it rounds to zero.
constexpr int min_direct_field = last_bit_bias - 127;
constexpr int max_direct_field = last_bit_bias - 44;

}  // namespace

char* write_fixed6(char* p, double v) noexcept {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bool negative = bits >> 63;
    int field = static_cast<int>((bits >> mantissa_bits) & max_exponent_field);
    std::uint64_t fraction = bits & ((std::uint64_t{1} << mantissa_bits) - 1);
    if (field >= min_direct_field && field <= max_direct_field) {
        // Most values: the millionths of the whole value in one product,
        // rounded to even on the exact rest.
        std::uint64_t micros = nearest_micros(fraction | std::uint64_t{1} << mantissa_bits, last_bit_bias - field);
        if (negative) *p++ = '-';
        return write_millionths(p, micros);
    }
    if (field == max_exponent_field) return write_special(p, negative, fraction != 0);
    int exponent = field == 0 ? 1 - last_bit_bias : field - last_bit_bias;
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
    if (v.micros < max_direct_micros) {
        if (v.negative) *p++ = '-';
        return write_millionths(p, v.micros);
    }
    std::uint64_t whole = v.micros / micros_per_unit;
    return write_parts(p, v.negative, whole, v.micros - whole * micros_per_unit);
}

char* write_fixed6(char* p, const copied_real& v) noexcept {
    return v.kept == copied_real::form::as_fixed ? write_fixed6(p, v.fixed) : write_fixed6(p, v.value);
}

