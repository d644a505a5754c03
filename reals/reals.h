// Reals as scanf's "%lf" reads them: decimals, the common ones converted
// exactly by integer arithmetic, and the hexadecimal, infinity and NaN
// forms. Lines are laid out as numbers.h says.
#pragma once

#include "numbers.h"

// The end of the real field at p, or null (value left as it was).
const char* scan_real(const char* p, double& value) noexcept;
