// Signed 64-bit integers scanned a word of eight digits at a time.
#include "number_words.h"

// Any run of digits, with a sign and more white space, and the range check.
[[gnu::noinline]] static const char* scan_int_general(const char* p, std::int64_t& value) noexcept {
    p = skip_blanks(p);
    bool negative = *p == '-';
    p += *p == '-' || *p == '+';
    if (!is_digit(*p)) return nullptr;
    while (*p == '0') ++p;  // leading zeros never overflow
    const char* first = p;
    std::uint64_t magnitude = 0;
    for (int n = 8; n == 8; p += n) {
        std::uint64_t w = load_word(p);
        n = leading_digits(w);
        if (n > 0 && p - first + n <= max_gathered_digits)
            magnitude = magnitude * powers_of_ten[n] + digits_value(w, n);
    }
    // 19 digits may still fit; past that the value is out of range, but the
    // whole run of digits belongs to the field all the same. The magnitude of
    // the most negative value, 2^63, fits the unsigned magnitude.
    constexpr std::uint64_t limit = std::uint64_t{1} << 63;
    if (p - first > max_gathered_digits || magnitude > limit - !negative) return nullptr;
    value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return p;
}

// The common field, after one blank at most: one to seven digits, taken in
// one word. Anything else (a sign, more white space, more digits, no
// number) goes to the general routine.
const char* scan_int(const char* p, std::int64_t& value) noexcept {
    p += *p == ' ';
    std::uint64_t w = load_word(p);
    int n = leading_digits(w);
    if (static_cast<unsigned>(n - 1) < 7) {
        value = static_cast<std::int64_t>(digits_value(w, n));
        return p + n;
    }
    return scan_int_general(p, value);
}

const char* skip_int(const char* p) noexcept {
    p += *p == ' ';
    int n = leading_digits(load_word(p));
    if (static_cast<unsigned>(n - 1) < 7) return p + n;
    std::int64_t unused;
    return scan_int_general(p, unused);
}
