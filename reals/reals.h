// Reals as scanf's "%lf" reads them: decimals, the common ones converted
// exactly by integer arithmetic, and the hexadecimal, infinity and NaN
// forms. Lines are laid out as numbers.h says.
#pragma once

#include <cstdint>

#include "numbers.h"

// The end of the real field at p, or null (value left as it was).
const char* scan_real(const char* p, double& value) noexcept;

// The common decimal: digits, maybe a point and more digits, 19 at most in
// all (a lone zero before the point not counted) and fewer than eight
// before the point, maybe an exponent of one to three digits.
struct plain_decimal {
    std::uint64_t digits = 0;  // all of them, as one integer
    int places = 0;            // how many follow the point
    int exponent = 0;
};
// Its end, or null for any other text (which may still be a number).
const char* scan_plain_decimal(const char* p, plain_decimal& d) noexcept;
// Its value, converted exactly where that takes no general routine: false
// for a rare value (value left as it was).
bool plain_decimal_value(const plain_decimal& d, double& value) noexcept;
// A plain decimal right at p, converted exactly without the general
// routine: its end, or null for any other text or a rare value (which may
// still be a number).
const char* scan_common_real(const char* p, double& value) noexcept;
