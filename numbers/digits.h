// Digits eight bytes at a time, for the scanners and writers of this
// folder. A line is read in place with padding after its line feed, so a
// word may always be loaded at any byte up to the line feed.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "numbers.h"

inline std::uint64_t load_word(const char* p) noexcept { return load_line_word(p); }

inline void store_word(char* p, std::uint64_t w) noexcept {
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t r = 0;
        for (int i = 0; i < 8; ++i) r |= (w >> (8 * i) & 0xFF) << (8 * (7 - i));
        w = r;
    }
    std::memcpy(p, &w, sizeof w);
}

// A word's digit values: each digit xor '0', as the digit test has them.
inline std::uint64_t digit_lanes(std::uint64_t w) noexcept { return w ^ all_bytes('0'); }

// The value of eight digit values, combined pairwise in three steps, each
// one multiplication: by 10 * 2^8 + 1, 100 * 2^16 + 1 and 10000 * 2^32 + 1,
// which add each lane's first half, scaled, to its second.
inline std::uint64_t eight_lanes_value(std::uint64_t v) noexcept {
    v = (v * 2561) >> 8 & 0x00FF00FF00FF00FFULL;
    v = (v * 6553601) >> 16 & 0x0000FFFF0000FFFFULL;
    return (v * 42949672960001) >> 32;
}

// The value of the first n (1 to 8) digit values: shifted so that they are
// the last n lanes behind zeros.
inline std::uint64_t lanes_value(std::uint64_t v, int n) noexcept { return eight_lanes_value(v << (8 * (8 - n))); }

// The same of the first n digits of a word, and of a word of eight digits.
inline std::uint64_t digits_value(std::uint64_t w, int n) noexcept { return lanes_value(digit_lanes(w), n); }
inline std::uint64_t eight_digits_value(std::uint64_t w) noexcept { return eight_lanes_value(digit_lanes(w)); }

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

// Six decimals, with their leading zeros; eight bytes at p are written.
char* write_six_digits(char* p, std::uint64_t u) noexcept;
// A count of millionths u below 10^9 as "%lf" writes the value u / 10^6:
// its integer digits, the point and six decimals, from one conversion of
// the last eight digits. Nothing is stored past the end.
char* write_millionths(char* p, std::uint64_t u) noexcept;
