// The number scanners over arbitrary bytes, laid out as a line with exactly
// its padding behind it, so that any read past that is reported. Wherever a
// scanner reads a field, the C library must read the same field with the
// same value: strtoll for integers, strtod for reals, and "%f" of that
// double for a copied real.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "numbers.h"

namespace {

bool same_double(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void check_int(const char* from, const std::string& text) {
    std::int64_t value = 0;
    const char* end = scan_int(from, value);
    require(skip_int(from) == end);
    char* stop;
    errno = 0;
    long long expected = std::strtoll(text.c_str(), &stop, 10);
    bool in_range = errno != ERANGE;
    require((end != nullptr) == (stop != text.c_str() && in_range));
    if (end) require(value == expected && end - from == stop - text.c_str());
}

void check_real(const char* from, const std::string& text) {
    double value = 0;
    const char* end = scan_real(from, value);
    copied_real copy;
    require(scan_copied_real(from, copy) == end);
    char unused[max_fixed6_chars + 8];
    char* at = unused;
    if (end == nullptr) require(copy_common_real(from, at) == nullptr);
    if (end == nullptr) return;  // an incomplete number: strtod may still read a part
    char* stop;
    double expected = std::strtod(text.c_str(), &stop);
    require(end - from == stop - text.c_str() && same_double(value, expected));
    char ours[max_fixed6_chars + 8];
    char theirs[max_fixed6_chars + 1];
    std::string_view written(ours, static_cast<std::size_t>(write_fixed6(ours, copy) - ours));
    int n = std::snprintf(theirs, sizeof theirs, "%f", expected);
    require(written == std::string_view(theirs, static_cast<std::size_t>(n)));
    // The copy of a value that ends the line writes the same.
    char* direct = ours;
    if (const char* copied_end = copy_common_real(from, direct)) {
        require(copied_end == end && *end == '\n');
        require(std::string_view(ours, static_cast<std::size_t>(direct - ours)) == written);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text = as_text(data, size);
    text = text.substr(0, text.find('\n'));
    auto line = std::make_unique<char[]>(text.size() + 1 + line_padding);
    std::memcpy(line.get(), text.data(), text.size());
    line[text.size()] = '\n';
    std::memset(line.get() + text.size() + 1, 0, line_padding);
    // A NUL ends the C library's text; the scanners see it as a byte that
    // ends the field, as any other that is not part of a number.
    std::string c_text(text.substr(0, text.find('\0')));
    check_int(line.get(), c_text);
    check_real(line.get(), c_text);
    return 0;
}
