// Text laid out as the reader hands out a line: ended by a line feed, with
// readable padding after it.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "numbers.h"

inline std::string padded(std::string_view text) {
    std::string line(text);
    line += '\n';
    line.append(line_padding, '\0');
    return line;
}

// What printf("%f") writes for v: the six decimals the tools must match.
inline std::string printf_f(double v) {
    char buf[400];
    int n = std::snprintf(buf, sizeof buf, "%f", v);
    return std::string(buf, static_cast<std::size_t>(n));
}
