// Six decimals as "%lf" writes them: from a double, rounded exactly, and
// for a value only copied, from its text where that decides the rounding.
#pragma once

#include <cstddef>
#include <cstdint>

#include "numbers.h"

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

// The longest text written: a sign, 309 integer digits, the point and six
// decimals.
constexpr std::size_t max_fixed6_chars = 1 + 309 + 1 + 6;

// As "%lf": the exact value rounded to six decimals, ties to even; inf,
// -inf, nan, -nan. Each returns the end of what it wrote, and may store up
// to eight bytes past it.
char* write_fixed6(char* p, double v) noexcept;
char* write_fixed6(char* p, fixed6 v) noexcept;
char* write_fixed6(char* p, const copied_real& v) noexcept;
