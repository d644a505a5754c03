#include "minmark.h"

#include <bit>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <unistd.h>

#include "lineread.h"

int parse_argument(const char* text) {
    const char* p = text;
    while (is_space(*p)) ++p;
    bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    long long magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (*p - '0');
    long long v = negative ? -magnitude : magnitude;
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
}

// Literal characters match exactly: white space is skipped only before
// numbers, by the number scanner.
static bool expect(const char*& p, const char* end, char c) {
    if (p == end || *p != c) return false;
    ++p;
    return true;
}

[[gnu::flatten]] // Fields of one digit each, with their commas: the usual listing. Takes
// them four at a time while eight bytes read "d,d,d,d,", then one at a time
// while two read "d,"; the first ten fields at most, as only they have a
// comma after them. Returns how many it took.
static int take_lone_digits(const char*& p, const char* end, int* field) {
    int i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t pattern = 0x2C302C302C302C30ULL;  // "0,0,0,0,"
        while (i + 4 <= 10 && end - p >= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, sizeof w);
            std::uint64_t x = w ^ pattern;  // digits become 0 to 9, commas 0
            if ((x | (x + 0x0006000600060006ULL)) & 0xFFF0FFF0FFF0FFF0ULL) break;
            for (int j = 0; j < 4; ++j) field[i + j] = static_cast<int>(x >> (16 * j) & 0xF);
            i += 4;
            p += 8;
        }
    }
    while (i < 10 && end - p >= 2 && static_cast<unsigned char>(p[0] - '0') < 10 && p[1] == ',') {
        field[i++] = p[0] - '0';
        p += 2;
    }
    return i;
}

void parse_state_line(const char* begin, const char* end, state_line& s) {
    const char* p = begin;
    if (!scan_int(p, end, s.state, begin) || !expect(p, end, ':') || !expect(p, end, '(')) return;
    int i = take_lone_digits(p, end, s.field);
    for (; i < 11; ++i) {
        if (!scan_int(p, end, s.field[i], begin)) return;
        if (i < 10 && !expect(p, end, ',')) return;
    }
}

// Fields are numbered from 1 in the condition: field[0] is field 1.
bool meets_minimum(const state_line& s, int k) {
    const int* f = s.field;
    bool a = f[0] >= k && f[8] != 0;
    bool b = f[2] >= k && (f[10] & 1);
    bool c = static_cast<long long>(f[0]) + f[2] >= k && f[8] != 0 && f[6] != 0 && f[10] != 0;
    return a || b || c;
}

struct free_deleter {
    void operator()(void* p) const { std::free(p); }
};
using marks_table = std::unique_ptr<std::uint8_t[], free_deleter>;

// Marks are never cleared: a state listed twice is marked if either line
// meets the condition. States outside the table mark nothing.
static bool mark_states(int fd, int size, int k, std::uint8_t* marks) {
    line_reader in = make_line_reader(fd);
    std::string_view line;
    state_line s;
    while (next_line(in, line)) {
        parse_state_line(line.data(), line.data() + line.size(), s);
        if (s.state >= 0 && s.state < size && meets_minimum(s, k)) marks[s.state] = 1;
    }
    return !in.failed;
}

static bool write_labels(const char* outfile, int size, const std::uint8_t* marks) {
    int fd = open_output(outfile);
    if (fd < 0) return false;
    out_buf out = make_out_buf(fd);
    out_put(out, "#DECLARATION\nminimum\n#END\n");
    constexpr std::string_view label = "  minimum\n";
    for (int i = 0; i < size; ++i) {
        if (!marks[i]) continue;
        char* p = write_int(out_reserve(out, max_int_chars + label.size()), i + 1LL);
        std::memcpy(p, label.data(), label.size());
        out_commit(out, p + label.size());
    }
    return out_close(out);
}

mark_result read_file(int size, int k, const char* infile, const char* outfile) {
    int slots = size > 0 ? size : 0;
    // One spare slot keeps an empty table apart from a failed allocation.
    marks_table marks(static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(slots) + 1, 1)));
    if (!marks) return {};
    int fd = open_input(infile);
    if (fd < 0) return {};
    bool read_ok = mark_states(fd, slots, k, marks.get());
    close(fd);
    // The listing is read whole before the label file is opened, so both may
    // be the same file.
    if (!read_ok || !write_labels(outfile, slots, marks.get())) return {};
    return {size, true};
}
