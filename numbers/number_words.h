// What the files of the number module share: words of eight bytes, the
// powers of ten, the 128-bit product, the double's layout, and the routines
// one direction hands another. Not for use outside this folder.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
#include <intrin.h>
#endif

#include "numbers.h"

// A line is read in place with padding after its line feed, so a word may
// always be loaded at any byte up to the line feed.
inline std::uint64_t load_word(const char* p) noexcept { return load_line_word(p); }

inline void store_word(char* p, std::uint64_t w) noexcept {
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t r = 0;
        for (int i = 0; i < 8; ++i) r |= (w >> (8 * i) & 0xFF) << (8 * (7 - i));
        w = r;
    }
    std::memcpy(p, &w, sizeof w);
}

constexpr std::uint64_t powers_of_ten[] = {1ULL,
                                           10ULL,
                                           100ULL,
                                           1000ULL,
                                           10000ULL,
                                           100000ULL,
                                           1000000ULL,
                                           10000000ULL,
                                           100000000ULL,
                                           1000000000ULL,
                                           10000000000ULL,
                                           100000000000ULL,
                                           1000000000000ULL,
                                           10000000000000ULL,
                                           100000000000000ULL,
                                           1000000000000000ULL,
                                           10000000000000000ULL,
                                           100000000000000000ULL,
                                           1000000000000000000ULL,
                                           10000000000000000000ULL};

// 19 digits always fit 64 bits.
constexpr int max_gathered_digits = 19;

// With a mantissa of at most 2^53 and a power of ten up to 22, both are
// exact doubles and one multiplication or division rounds correctly.
constexpr std::uint64_t max_exact_mantissa = std::uint64_t{1} << 53;
constexpr int max_exact_power = 22;
constexpr double exact_powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The double: a sign, an exponent field of 11 bits biased by 1023, and 52
// fraction bits below an implicit leading one.
constexpr int mantissa_bits = 52;
constexpr int exponent_bias = 1023;
constexpr int max_exponent_field = 0x7ff;

// The full 128-bit product of two 64-bit integers: the compiler's 128-bit
// integers where it has them, MSVC's intrinsic, or four 32-bit products.
struct u128_parts {
    std::uint64_t high;
    std::uint64_t low;
};

inline u128_parts multiply_64x64(std::uint64_t a, std::uint64_t b) noexcept {
#if defined(__SIZEOF_INT128__)
    unsigned __int128 x = static_cast<unsigned __int128>(a) * b;
    return {static_cast<std::uint64_t>(x >> 64), static_cast<std::uint64_t>(x)};
#elif defined(_MSC_VER) && defined(_M_X64)
    std::uint64_t high;
    std::uint64_t low = _umul128(a, b, &high);
    return {high, low};
#else
    std::uint64_t a_lo = a & 0xFFFFFFFF, a_hi = a >> 32, b_lo = b & 0xFFFFFFFF, b_hi = b >> 32;
    std::uint64_t lo_lo = a_lo * b_lo, hi_lo = a_hi * b_lo, lo_hi = a_lo * b_hi, hi_hi = a_hi * b_hi;
    std::uint64_t middle = (lo_lo >> 32) + (hi_lo & 0xFFFFFFFF) + lo_hi;
    return {hi_hi + (hi_lo >> 32) + (middle >> 32), (middle << 32) | (lo_lo & 0xFFFFFFFF)};
#endif
}

constexpr std::uint64_t micros_per_unit = 1000000;

// A decimal as one integer of its digits and the power of ten of its last
// digit: mantissa * 10^exponent. A scan that met more than 19 significant
// digits keeps the first 19 and marks it truncated. The scanners of reals
// hand it on: to their conversion, and to the copy of a value's text.
struct decimal {
    std::uint64_t mantissa = 0;
    std::int64_t exponent = 0;
    bool truncated = false;
};

// Reals scanned (scan_reals.cpp). The common decimal: digits, maybe a
// point and more digits, 19 at most in all (a lone zero before the point
// not counted) and fewer than eight before the point, maybe an exponent of
// one to three digits: its end, or null for any other text (which may
// still be a number).
const char* scan_plain_decimal(const char* p, decimal& d) noexcept;
// The powers of ten that the product method takes, and its product: the
// double nearest to w * 10^q, for a non-zero w and q in that range.
constexpr int min_product_power = -27;
constexpr int max_product_power = 27;
double product_value(std::uint64_t w, int q) noexcept;
// The double nearest a decimal that is not truncated, where one operation
// on exact doubles or the product with a power of five gives it: false
// where only the exact routine can (value left as it was). Every scan of a
// real decides here; most values of a transition file have no exponent
// and at most 19 decimals, which one of the two takes.
inline bool nearest_double(const decimal& d, double& value) noexcept {
    std::uint64_t m = d.mantissa;
    std::int64_t q = d.exponent;
    // Each range in one comparison: below its low end the difference wraps.
    auto within = [q](std::int64_t low, std::int64_t high) {
        return static_cast<std::uint64_t>(q - low) <= static_cast<std::uint64_t>(high - low);
    };
    if (within(-max_exact_power, max_exact_power) && m <= max_exact_mantissa) {
        auto v = static_cast<double>(m);
        value = q < 0 ? v / exact_powers[-q] : v * exact_powers[q];
        return true;
    }
    if (m == 0) {
        value = 0.0;
        return true;
    }
    if (!within(min_product_power, max_product_power)) return false;
    value = product_value(m, static_cast<int>(q));
    return true;
}

// Reals converted exactly from their text (exact_reals.cpp).
// An exponent is read whole, as it may make up for a digit run of any
// length ("1" and a million zeros "e-1000000" is 1). Past this it stops
// growing: no line held in memory has as many digits as it would take to
// make up for it, and adding a line's digit count to it cannot overflow.
constexpr std::int64_t exponent_saturation = 100'000'000'000'000'000;

// The text from p up to end, without a sign: decimal digits with an
// optional point and an optional exponent ("1.5e-300"), or after "0x",
// hexadecimal digits with an optional point and an optional binary
// exponent ("1.8p3"). Beyond the range of a double the result is infinity;
// below it, zero.
double exact_decimal_value(const char* p, const char* end) noexcept;
double exact_hex_value(const char* p, const char* end) noexcept;

// Integers written (write_integers.cpp), for the six decimals.
// Six decimals, with their leading zeros; eight bytes at p are written.
char* write_six_digits(char* p, std::uint64_t u) noexcept;
// A count of millionths u below 10^9 as "%lf" writes the value u / 10^6:
// its integer digits, the point and six decimals, from one conversion of
// the last eight digits. Nothing is stored past the end.
char* write_millionths(char* p, std::uint64_t u) noexcept;
