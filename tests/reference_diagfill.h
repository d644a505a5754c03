// diagfill's output worked out the plain way, a line at a time with the
// general parse and write: what the tool must write byte for byte.
#pragma once

#include <string>
#include <string_view>

std::string reference_diagfill(std::string_view input);
