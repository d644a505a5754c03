// The exact conversion of a real's text of any length to the nearest
// double, ties to even, as the C library's strtod does in the "C" locale:
// the slow path for the texts that the fast scans of reals/ leave, in plain
// standard C++ so that every system rounds alike.
#pragma once

#include <cstdint>

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
