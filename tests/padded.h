// Text laid out as the reader hands out a line: ended by a line feed, with
// readable padding after it.
#pragma once

#include <string>
#include <string_view>

#include "numbers.h"

inline std::string padded(std::string_view text) {
    std::string line(text);
    line += '\n';
    line.append(line_padding, '\0');
    return line;
}
