// Numbers in the text of a line, read as the C library's scanf reads them
// and written as printf writes them: how a line is laid out for scanning,
// the digits of a word, signed 64-bit integers ("%d"), reals ("%lf" read),
// and reals written with six decimals ("%lf" written), from a double or,
// for a value only copied, from its text. Each file of this folder does
// one direction; number_words.h holds what they share.
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

// The digits of a word (eight bytes of a line, the first in the lowest
// byte).
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

// Each scan skips the white space before its field and
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

// Reals as scanf's "%lf" reads them: decimals, the common ones converted
// exactly by integer arithmetic, and the hexadecimal, infinity and NaN
// forms. The end of the real field at p, or null (value left as it was).
const char* scan_real(const char* p, double& value) noexcept;
// A plain decimal right at p (digits, maybe a point and more digits, 19 at
// most in all, fewer than eight before the point, maybe an exponent of one
// to three digits), converted exactly without the general routine: its
// end, or null for any other text or a rare value (which may still be a
// number).
const char* scan_common_real(const char* p, double& value) noexcept;

// A value as "%lf" writes it: its sign and its count of millionths.
struct fixed6 {
    std::uint64_t micros = 0;
    bool negative = false;
};

// A real that is only copied, kept as it will be written: where its text
// alone decides what "%lf" writes for the double scanf reads (a plain
// decimal below 2^33 that is not within the double's error of a half
// millionth), its count of millionths; for any other text, the double.
struct copied_real {
    enum class form : std::uint8_t { as_double, as_fixed };
    double value = 0.0;
    fixed6 fixed;
    form kept = form::as_double;
};
// The end of the real field at p, or null (value left as it was).
const char* scan_copied_real(const char* p, copied_real& value) noexcept;
// The value right at p, which ends the line, written at q as "%lf" writes
// what scan_copied_real reads (most often from its text alone); q moves
// past it, and max_fixed6_chars + 24 bytes at q may be stored. The line
// feed, or null where no value ends the line there.
const char* copy_common_real(const char* p, char*& q) noexcept;
// The same, and the double scan_real reads from the text, from one reading
// of it (for diagfill, which copies and sums each value).
const char* copy_common_real(const char* p, char*& q, double& value) noexcept;

// The longest text written: a sign, 309 integer digits, the point and six
// decimals.
constexpr std::size_t max_fixed6_chars = 1 + 309 + 1 + 6;

// As "%lf": the exact value rounded to six decimals, ties to even; inf,
// -inf, nan, -nan. Each returns the end of what it wrote, and may store up
// to eight bytes past it.
char* write_fixed6(char* p, double v) noexcept;
char* write_fixed6(char* p, fixed6 v) noexcept;
char* write_fixed6(char* p, const copied_real& v) noexcept;
