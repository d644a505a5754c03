// Signed 64-bit integers written eight digits at a time, and the six
// decimals of a count of millionths.
#include "number_words.h"

// Eight digits of x < 10^8 as one word of byte values 0 to 9, first digit
// in the first byte: the halves, quarters and digits are split in all lanes
// at once, dividing by multiplication: 109951163 / 2^40 is exact for 10^4
// below 4.9 * 10^8, 10486 / 2^20 for 100 below 10^4, and 103 / 2^10 for 10
// below 100.
static std::uint64_t eight_digit_values(std::uint64_t x) noexcept {
    std::uint64_t high = (x * 109951163) >> 40;
    std::uint64_t v = high | (x - high * 10000) << 32;
    std::uint64_t t = (v * 10486) >> 20 & 0x0000007F0000007FULL;
    v = t | (v - t * 100) << 16;
    t = (v * 103) >> 10 & 0x000F000F000F000FULL;
    return t | (v - t * 10) << 8;
}

constexpr std::uint64_t eight_digit_limit = 100000000;

// The last n of the eight digits. The word is stored whole: the room for a
// number always spans eight more bytes.
static char* put_last_digits(char* p, std::uint64_t values, int n) noexcept {
    store_word(p, (values | all_bytes('0')) >> (8 * (8 - n)));
    return p + n;
}

// u in exactly n digits, with leading zeros.
static char* write_digits(char* p, std::uint64_t u, int n) noexcept {
    while (n > 8) {
        std::uint64_t high = u / eight_digit_limit;
        p = write_digits(p, high, n - 8);
        u -= high * eight_digit_limit;
        n = 8;
    }
    return put_last_digits(p, eight_digit_values(u), n);
}

// From the bit length: 1233 / 4096 is just above log10(2), so the estimate
// is the digit count or one less. u | 1 has as many digits as u.
static int decimal_digits(std::uint64_t u) noexcept {
    std::uint64_t v = u | 1;
    int estimate = ((64 - std::countl_zero(v)) * 1233) >> 12;
    return estimate + 1 - (v < powers_of_ten[estimate]);
}

static char* write_uint(char* p, std::uint64_t u) noexcept {
    if (u < eight_digit_limit) {
        // The leading zeros are the low bytes; the last digit always counts.
        std::uint64_t values = eight_digit_values(u);
        return put_last_digits(p, values, 8 - std::countr_zero(values | std::uint64_t{1} << 56) / 8);
    }
    return write_digits(p, u, decimal_digits(u));
}

char* write_int(char* p, std::int64_t v) noexcept {
    auto u = static_cast<std::uint64_t>(v);
    if (v < 0) {
        *p++ = '-';
        u = 0 - u;
    }
    return write_uint(p, u);
}

char* write_int_plus_one(char* p, std::int64_t v) noexcept {
    if (v < 0) return write_int(p, v + 1);
    return write_uint(p, static_cast<std::uint64_t>(v) + 1);
}

// Six decimals, with their leading zeros.
char* write_six_digits(char* p, std::uint64_t u) noexcept { return put_last_digits(p, eight_digit_values(u), 6); }

char* write_millionths(char* p, std::uint64_t u) noexcept {
    bool tens = u >= eight_digit_limit / 10;
    if (u >= eight_digit_limit) {  // rare: most values lie below a hundred
        std::uint64_t hundreds = u / eight_digit_limit;
        *p++ = static_cast<char>('0' + hundreds);
        u -= hundreds * eight_digit_limit;
    }
    std::uint64_t values = eight_digit_values(u) | all_bytes('0');
    if (tens) *p++ = static_cast<char>(values & 0xFF);
    // The ones, the point, then the six decimals where they stand.
    store_word(p, (values >> 8 & 0xFF) | std::uint64_t{'.'} << 8 | (values & ~std::uint64_t{0xFFFF}));
    return p + 8;
}
