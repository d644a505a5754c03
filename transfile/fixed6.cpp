#include <charconv>
#include <cstdint>
#include <cstring>

#include "transfile.h"

namespace {

constexpr int mantissa_bits = 52;
constexpr int exponent_bias = 1075;  // 1023, plus the 52 fraction bits
constexpr int max_exponent_field = 0x7ff;
constexpr std::uint64_t decimals_scale = 1000000;
// Below 2^63 a whole value fits an unsigned 64-bit integer.
constexpr int max_integral_shift = 63 - mantissa_bits - 1;

using u128 = unsigned __int128;

// m / 2^shift split into its integer part and its fraction rounded to six
// decimals. The fraction is rounded on the exact product, ties to even; as
// the integer part times 10^6 is even, the parity of the decimals decides.
void split_fraction(std::uint64_t m, int shift, std::uint64_t& whole, std::uint64_t& decimals) {
    if (shift >= 64) {
        whole = 0;
    } else {
        whole = m >> shift;
        m -= whole << shift;
    }
    decimals = 0;
    // m < 2^53, so m * 10^6 < 2^73: past that shift the fraction is below
    // half a unit of the sixth decimal and rounds to zero.
    constexpr int zero_shift = 74;
    if (shift >= zero_shift) return;
    u128 x = static_cast<u128>(m) * decimals_scale;
    u128 q = x >> shift;
    u128 rest = x - (q << shift);
    u128 half = static_cast<u128>(1) << (shift - 1);
    if (rest > half || (rest == half && (q & 1))) ++q;
    decimals = static_cast<std::uint64_t>(q);
    if (decimals == decimals_scale) {  // rounded up into the next unit
        decimals = 0;
        ++whole;
    }
}

char* write_special(char* p, bool negative, bool nan) {
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
    return write_uint_digits(p, decimals, 6);
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
    std::uint64_t whole = quotient<decimals_scale>(v.micros);
    return write_parts(p, false, whole, v.micros - whole * decimals_scale);
}
