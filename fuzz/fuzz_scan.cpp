// The number scanners over arbitrary bytes, placed in a buffer of exactly
// their size so that any read outside it is reported. Wherever a scanner
// reads a field, the C library must read the same field with the same value:
// strtol for integers (within 32 bits), strtod for reals, and "%f" of that
// double for the six decimals.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "lineread.h"
#include "transfile.h"

namespace {

bool same_double(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void check_int(const char* begin, const char* from, const char* end, const std::string& text) {
    const char* p = from;
    std::int64_t value = 0;
    bool read = scan_int(p, end, value, begin);
    const char* skipped = from;
    require(skip_int(skipped, end, begin) == read && (!read || skipped == p));
    char* stop;
    errno = 0;
    long long expected = std::strtoll(text.c_str(), &stop, 10);
    bool in_range = errno != ERANGE;
    require(read == (stop != text.c_str() && in_range));
    if (read) require(value == expected && p - from == stop - text.c_str());
}

void check_real(const char* begin, const char* from, const char* end, const std::string& text) {
    const char* p = from;
    double value = 0;
    if (!scan_real(p, end, value, begin)) return;  // an incomplete number: strtod may still read a part
    char* stop;
    double expected = std::strtod(text.c_str(), &stop);
    require(p - from == stop - text.c_str() && same_double(value, expected));

    const char* q = from;
    fixed6 six;
    if (!scan_fixed6(q, end, six, begin)) return;
    require(q == p);
    char ours[max_fixed6_chars + 1];
    char theirs[max_fixed6_chars + 1];
    std::string_view written(ours, static_cast<std::size_t>(write_fixed6(ours, six) - ours));
    int n = std::snprintf(theirs, sizeof theirs, "%f", expected);
    require(written == std::string_view(theirs, static_cast<std::size_t>(n)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto line = std::make_unique<char[]>(size);
    std::memcpy(line.get(), data, size);
    const char* begin = line.get();
    const char* end = begin + size;
    // From the start, and from the second byte, so that fields also begin
    // after the line's first byte (digits are read a word at a time, and
    // near the end words are loaded back from the line's start).
    for (std::size_t offset = 0; offset <= 1 && offset <= size; ++offset) {
        const char* from = begin + offset;
        std::string text(from, end);
        if (text.find('\0') != std::string::npos) text.resize(text.find('\0'));
        // A NUL ends the C library's text; the scanners see it as a byte
        // that ends the field, as any other that is not part of a number.
        check_int(begin, from, end, text);
        check_real(begin, from, end, text);
    }
    return 0;
}
