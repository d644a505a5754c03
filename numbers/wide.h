// The full 128-bit product of two 64-bit integers, for the exact real
// conversions of this folder: the compiler's 128-bit integers where it has
// them, MSVC's intrinsic, or four 32-bit products.
#pragma once

#include <cstdint>

#if defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
#include <intrin.h>
#endif

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
