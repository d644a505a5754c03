// The "%lf" writer on arbitrary 64-bit patterns: the same bytes as the C
// library's "%f".
#include <cstdio>
#include <cstring>

#include "fuzz_support.h"
#include "numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(double)) return 0;
    double v;
    std::memcpy(&v, data, sizeof v);
    char ours[max_fixed6_chars + 8];
    char theirs[max_fixed6_chars + 1];
    std::string_view written(ours, static_cast<std::size_t>(write_fixed6(ours, v) - ours));
    int n = std::snprintf(theirs, sizeof theirs, "%f", v);
    require(written == std::string_view(theirs, static_cast<std::size_t>(n)));
    return 0;
}
