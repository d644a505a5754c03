// Numbers in the text of a line: how a line is laid out for scanning, and
// signed 64-bit integers, read as the C library's scanf reads them and
// written as printf's "%d" writes them. Reals are in reals/ and fixed6/.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// A line is scanned in place: it ends in a line feed, and line_padding more
// bytes after that may be read, so that digits are taken eight at a time
// without a bound check. No scan goes past the line feed.
constexpr std::size_t line_padding = 16;

// The word with its bytes in the other order: pairs, then pairs of pairs,
// then halves swapped, which compilers make one instruction.
inline std::uint64_t reversed_bytes(std::uint64_t w) noexcept {
    w = (w & 0x00FF00FF00FF00FFULL) << 8 | (w >> 8 & 0x00FF00FF00FF00FFULL);
    w = (w & 0x0000FFFF0000FFFFULL) << 16 | (w >> 16 & 0x0000FFFF0000FFFFULL);
    return w << 32 | w >> 32;
}

// The eight bytes at p in a line, the first in the lowest byte.
inline std::uint64_t load_line_word(const char* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big) w = reversed_bytes(w);
    return w;
}

constexpr std::uint64_t all_bytes(std::uint8_t b) noexcept { return 0x0101010101010101ULL * b; }

// "0." as the first two bytes of a word.
constexpr std::uint64_t zero_point = '0' | '.' << 8;

inline bool is_digit(char c) noexcept { return static_cast<unsigned char>(c - '0') < 10; }

// The value of a hexadecimal digit, or -1 for any other byte.
inline int hex_digit_value(char c) noexcept {
    if (is_digit(c)) return c - '0';
    char l = static_cast<char>(c | 0x20);
    return (l >= 'a' && l <= 'f') ? l - 'a' + 10 : -1;
}

// The bytes of the word that are not decimal digits, as the high half of
// each such byte. After the xor a digit byte is 0..9, so adding 6 leaves
// its high half clear; any other byte has a high bit in one of the two. A
// carry runs upward only out of a byte of 0xCA to 0xCF, so the mask is
// exact up to the first non-digit, and past it up to the next where the
// first is a point or a blank; beyond, it says nothing.
inline std::uint64_t non_digits(std::uint64_t w) noexcept {
    std::uint64_t x = w ^ all_bytes('0');
    return (x | (x + all_bytes(6))) & all_bytes(0xF0);
}

// How many of the word's bytes, from the first, are decimal digits.
inline int leading_digits(std::uint64_t w) noexcept {
    std::uint64_t non_digit = non_digits(w);
    return non_digit ? std::countr_zero(non_digit) / 8 : 8;
}

// The white space that scanf skips inside a line: blank, tab, vertical tab,
// form feed and carriage return (a line feed ends the line).
inline bool is_blank(char c) noexcept {
    auto u = static_cast<unsigned char>(c);
    return u == ' ' || (u >= '\t' && u <= '\r' && u != '\n');
}

inline const char* skip_blanks(const char* p) noexcept {
    while (is_blank(*p)) ++p;
    return p;
}

// Each scan (here and of reals) skips the white space before its field and
// returns the end of the field, or null when the line has no such field
// there (the value is then left as it was). An integer beyond the signed
// 64-bit range fails.
const char* scan_int(const char* p, std::int64_t& value) noexcept;
const char* skip_int(const char* p) noexcept;

// The longest text write_int produces: a sign and 19 digits.
constexpr std::size_t max_int_chars = 20;

// Each writer returns the end of what it wrote. The writers of integers may
// store up to eight bytes past it.
char* write_int(char* p, std::int64_t v) noexcept;
// v + 1, which for the largest v is 2^63: no wrap.
char* write_int_plus_one(char* p, std::int64_t v) noexcept;
