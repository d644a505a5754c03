// Decimal texts are converted by holding their first 800 significant
// digits as a decimal number, with a mark for any non-zero digit dropped,
// and shifting it by powers of two until its integer part is the double's
// 53 bits: as 2 divides 10, each shift is exact in decimal (up to the
// dropped digits, which only ever break a tie), so the rounding is exact.
#include "number_words.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>


namespace {


// A decimal 0.d1 d2 d3 ... * 10^point, digits as values 0 to 9, without
// trailing zeros; 800 digits are more than any tie between two doubles
// needs.
constexpr int capacity = 800;
struct long_decimal {
    std::uint8_t digits[capacity];
    int count = 0;
    std::int64_t point = 0;
    bool truncated = false;  // a non-zero digit was dropped
};

void trim(long_decimal& d) noexcept {
    while (d.count > 0 && d.digits[d.count - 1] == 0) --d.count;
    if (d.count == 0) d.point = 0;
}

// Past digits that no longer fit, eight at a time: they only mark the
// decimal truncated (and move the point when before it).
const char* pass_dropped_digits(const char* p, const char* end, long_decimal& d, bool before_point) noexcept {
    const char* start = p;
    while (end - p >= 8) {
        std::uint64_t w = load_line_word(p);
        if (leading_digits(w) < 8) break;
        d.truncated |= w != all_bytes('0');
        p += 8;
    }
    for (; p != end && is_digit(*p); ++p) d.truncated |= *p != '0';
    if (before_point) d.point += p - start;
    return p;
}

// Takes a run of digits; zeros before the first significant digit are not
// kept, and those after the point then move it down.
const char* take_digits(const char* p, const char* end, long_decimal& d, bool before_point) noexcept {
    for (; p != end && is_digit(*p); ++p) {
        auto v = static_cast<std::uint8_t>(*p - '0');
        if (d.count == 0 && v == 0) {
            d.point -= !before_point;
            continue;
        }
        if (d.count == capacity) return pass_dropped_digits(p, end, d, before_point);
        d.digits[d.count++] = v;
        d.point += before_point;
    }
    return p;
}

// An optional sign and digits, saturating (see exponent_saturation).
std::int64_t read_exponent(const char* p, const char* end) noexcept {
    bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    std::int64_t exponent = 0;
    for (; p != end && is_digit(*p); ++p)
        if (exponent < exponent_saturation) exponent = exponent * 10 + (*p - '0');
    return negative ? -exponent : exponent;
}

// The largest shift whose digit times 2^shift, plus a carry, fits 64 bits.
constexpr int max_shift = 60;

// Halves the decimal k times (k <= max_shift), reading it from the front.
void shift_right(long_decimal& d, int k) noexcept {
    int r = 0;
    int w = 0;
    std::uint64_t n = 0;
    for (; (n >> k) == 0; ++r) {
        if (r >= d.count) {
            while ((n >> k) == 0) {
                n *= 10;
                ++r;
            }
            break;
        }
        n = n * 10 + d.digits[r];
    }
    d.point -= r - 1;
    const std::uint64_t mask = (std::uint64_t{1} << k) - 1;
    for (; r < d.count; ++r) {
        d.digits[w++] = static_cast<std::uint8_t>(n >> k);
        n = (n & mask) * 10 + d.digits[r];
    }
    while (n > 0) {
        auto digit = static_cast<std::uint8_t>(n >> k);
        if (w < capacity)
            d.digits[w++] = digit;
        else
            d.truncated |= digit != 0;
        n = (n & mask) * 10;
    }
    d.count = w;
    trim(d);
}

// Doubles the decimal k times (k <= max_shift), from the back, into a
// buffer with room for the new leading digits (at most 19).
void shift_left(long_decimal& d, int k) noexcept {
    constexpr int room = capacity + 20;
    std::uint8_t out[room];
    int w = room;
    std::uint64_t n = 0;
    for (int r = d.count - 1; r >= 0; --r) {
        n += std::uint64_t{d.digits[r]} << k;
        std::uint64_t quotient = n / 10;
        out[--w] = static_cast<std::uint8_t>(n - 10 * quotient);
        n = quotient;
    }
    for (; n > 0; n /= 10) out[--w] = static_cast<std::uint8_t>(n % 10);
    int produced = room - w;
    d.point += produced - d.count;
    int kept = produced < capacity ? produced : capacity;
    for (int i = kept; i < produced; ++i) d.truncated |= out[w + i] != 0;
    std::memcpy(d.digits, out + w, static_cast<std::size_t>(kept));
    d.count = kept;
    trim(d);
}

void shift(long_decimal& d, int k) noexcept {
    for (; k > max_shift; k -= max_shift) shift_left(d, max_shift);
    for (; k < -max_shift; k += max_shift) shift_right(d, max_shift);
    if (k > 0) shift_left(d, k);
    if (k < 0) shift_right(d, -k);
}

// The integer part, rounded half to even (a dropped digit breaks a tie
// upward). The point is at most 54 here.
std::uint64_t rounded_integer(const long_decimal& d) noexcept {
    auto point = static_cast<int>(d.point);
    std::uint64_t n = 0;
    int i = 0;
    for (; i < point && i < d.count; ++i) n = n * 10 + d.digits[i];
    for (; i < point; ++i) n *= 10;
    if (point < 0 || point >= d.count) return n;
    bool up = d.digits[point] > 5 || (d.digits[point] == 5 && point + 1 < d.count);
    if (d.digits[point] == 5 && point + 1 == d.count) up = d.truncated || (n & 1) == 1;
    return n + up;
}

double from_bits(std::uint64_t bits) noexcept {
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}


double nearest_double(long_decimal& d) noexcept {
    if (d.count == 0) return 0.0;
    if (d.point > 310) return std::numeric_limits<double>::infinity();
    if (d.point < -330) return 0.0;
    // Powers of two that take the point toward zero without overshooting:
    // 2^powers[n] has n digits.
    constexpr int powers[] = {1, 3, 6, 9, 13, 16, 19, 23, 26};
    constexpr int max_power = 27;
    int exponent = 0;
    while (d.point > 0) {
        int n = d.point < 9 ? powers[d.point] : max_power;
        shift(d, -n);
        exponent += n;
    }
    while (d.point < 0 || (d.point == 0 && d.digits[0] < 5)) {
        int n = -d.point < 9 ? powers[-d.point] : max_power;
        shift(d, n);
        exponent -= n;
    }
    // Now in [1/2, 1); a double's significand is in [1, 2).
    --exponent;
    if (exponent < 1 - exponent_bias) {  // subnormal: fewer bits are kept
        int n = 1 - exponent_bias - exponent;
        shift(d, -n);
        exponent += n;
    }
    if (exponent + exponent_bias >= max_exponent_field) return std::numeric_limits<double>::infinity();
    shift(d, mantissa_bits + 1);
    std::uint64_t mantissa = rounded_integer(d);
    if (mantissa == std::uint64_t{2} << mantissa_bits) {
        mantissa >>= 1;
        if (++exponent + exponent_bias >= max_exponent_field) return std::numeric_limits<double>::infinity();
    }
    std::uint64_t biased = (mantissa >> mantissa_bits) != 0 ? static_cast<std::uint64_t>(exponent + exponent_bias) : 0;
    return from_bits(biased << mantissa_bits | (mantissa & ((std::uint64_t{1} << mantissa_bits) - 1)));
}

// Hexadecimal digits into the top of a 64-bit significand; the bits that do
// not fit move the exponent or mark the rest non-zero.
struct hex_significand {
    std::uint64_t bits = 0;
    std::int64_t exponent = 0;  // of the significand's last bit
    bool rest = false;
};

const char* take_hex_digits(const char* p, const char* end, hex_significand& s, bool before_point) noexcept {
    for (int v; p != end && (v = hex_digit_value(*p)) >= 0; ++p) {
        if ((s.bits >> 60) == 0) {
            s.bits = s.bits * 16 + static_cast<std::uint64_t>(v);
            s.exponent -= before_point ? 0 : 4;
        } else {
            s.rest |= v != 0;
            s.exponent += before_point ? 4 : 0;
        }
    }
    return p;
}

}  // namespace

double exact_decimal_value(const char* p, const char* end) noexcept {
    long_decimal d;
    p = take_digits(p, end, d, true);
    if (p != end && *p == '.') p = take_digits(p + 1, end, d, false);
    if (p != end) d.point += read_exponent(p + 1, end);  // past the 'e'
    trim(d);
    return nearest_double(d);
}

double exact_hex_value(const char* p, const char* end) noexcept {
    hex_significand s;
    p = take_hex_digits(p, end, s, true);
    if (p != end && *p == '.') p = take_hex_digits(p + 1, end, s, false);
    std::int64_t exponent = s.exponent + (p != end ? read_exponent(p + 1, end) : 0);  // past the 'p'
    if (s.bits == 0) return 0.0;
    // The last bit kept: 53 bits below the top one, or the least subnormal.
    std::int64_t top = exponent + 63 - std::countl_zero(s.bits);
    if (top > exponent_bias) return std::numeric_limits<double>::infinity();
    std::int64_t last = top - mantissa_bits;
    if (last < 1 - exponent_bias - mantissa_bits) last = 1 - exponent_bias - mantissa_bits;
    std::int64_t drop = last - exponent;
    std::uint64_t kept = s.bits;
    if (drop > 0) {
        kept = drop < 64 ? s.bits >> drop : 0;
        std::uint64_t dropped = drop < 64 ? s.bits & ((std::uint64_t{1} << drop) - 1) : s.bits;
        std::uint64_t half = drop <= 64 ? std::uint64_t{1} << (drop - 1) : 0;
        bool above = dropped > half || (dropped == half && (s.rest || (kept & 1) == 1));
        if (drop > 64) above = false;
        kept += above && half != 0;
    } else {
        kept <<= -drop;
    }
    return std::ldexp(static_cast<double>(kept), static_cast<int>(last));
}
