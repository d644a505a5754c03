#include "minmark.h"

#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "frame.h"
#include "numbers.h"
#include "output.h"
#include "reader.h"

std::int64_t parse_argument(const char* text) {
    const char* p = text;
    while (is_blank(*p) || *p == '\n') ++p;
    bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    // Past 2^63 the magnitude stops growing: it saturates either way.
    constexpr std::uint64_t limit = std::uint64_t{1} << 63;
    std::uint64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        magnitude = magnitude > (limit - 9) / 10 ? limit : magnitude * 10 + static_cast<std::uint64_t>(*p - '0');
    if (negative) return magnitude >= limit ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
    return magnitude >= limit ? INT64_MAX : static_cast<std::int64_t>(magnitude);
}

// Literal characters match exactly: white space is skipped only before
// numbers, by the number scanner. Null where the line does not match.
static const char* expect(const char* p, char c) { return p != nullptr && *p == c ? p + 1 : nullptr; }

// The last three fields of one digit each and the closing parenthesis,
// "d,d,d)", in one word; false for any other text.
static bool take_lone_tail(const char*& p, std::int64_t* field) {
    constexpr std::uint64_t pattern = 0x29302C302C30ULL;  // "0,0,0)"
    std::uint64_t x = (load_line_word(p) ^ pattern) & 0xFFFFFFFFFFFFULL;
    if ((x | (x + 0x000600060006ULL)) & 0xFFF0FFF0FFF0ULL) return false;
    field[8] = static_cast<std::int64_t>(x & 0xF);
    field[10] = static_cast<std::int64_t>(x >> 32 & 0xF);
    p += 6;
    return true;
}

// Fields of one digit each, with their commas: the usual listing. Takes
// them four at a time while eight bytes read "d,d,d,d,", then the last
// three with the parenthesis, or else one at a time while two read "d,"
// (the first ten fields at most, as only they have a comma after them).
// Returns how many it took. Fields 2, 4, 6, 8 and 10 take no part in the
// condition, so the word-wide steps leave them unstored.
static int take_lone_digits(const char*& p, std::int64_t* field) {
    int i = 0;
    constexpr std::uint64_t pattern = 0x2C302C302C302C30ULL;  // "0,0,0,0,"
    for (; i + 4 <= 10; i += 4, p += 8) {
        std::uint64_t x = load_line_word(p) ^ pattern;  // digits become 0 to 9, commas 0
        if ((x | (x + 0x0006000600060006ULL)) & 0xFFF0FFF0FFF0FFF0ULL) break;
        field[i] = static_cast<std::int64_t>(x & 0xF);
        field[i + 2] = static_cast<std::int64_t>(x >> 32 & 0xF);
    }
    if (i == 8 && take_lone_tail(p, field)) return 11;
    for (; i < 10 && static_cast<unsigned char>(p[0] - '0') < 10 && p[1] == ','; p += 2) field[i++] = p[0] - '0';
    return i;
}

const char* parse_state_line(const char* p, state_line& s) {
    const char* q = expect(expect(scan_int(p, s.state), ':'), '(');
    if (q == nullptr) return p;
    int i = take_lone_digits(q, s.field);
    if (i == 11) return q;
    for (; i < 11; ++i) {
        const char* after = scan_int(q, s.field[i]);
        if (after == nullptr) return q;
        q = after;
        if (i < 10 && (q = expect(after, ',')) == nullptr) return after;
    }
    return *q == ')' ? q + 1 : q;  // most often the line ends here
}

// a + b >= k, also where a + b is beyond the 64-bit range.
static bool sum_at_least(std::int64_t a, std::int64_t b, std::int64_t k) {
    if (b > 0 && a > INT64_MAX - b) return true;   // above every k
    if (b < 0 && a < INT64_MIN - b) return false;  // below every k
    return a + b >= k;
}

// Fields are numbered from 1 in the condition: field[0] is field 1.
bool meets_minimum(const state_line& s, std::int64_t k) {
    const std::int64_t* f = s.field;
    bool a = f[0] >= k && f[8] != 0;
    bool b = f[2] >= k && (f[10] & 1);
    return a || b || (f[8] != 0 && f[6] != 0 && f[10] != 0 && sum_at_least(f[0], f[2], k));
}


// A bit a state: billions of states fit, and the label file is written by
// skipping whole words of unmarked states.
struct marks_table {
    std::unique_ptr<std::uint64_t[], free_deleter> words;
    std::int64_t size = 0;
};

// A size of zero or below gives a table of no states. One spare word keeps an
// empty table apart from a failed allocation.
static bool allocate_marks(marks_table& m, std::int64_t size) {
    m.size = size > 0 ? size : 0;
    auto words = static_cast<std::uint64_t>(m.size) / 64 + 1;
    m.words.reset(static_cast<std::uint64_t*>(std::calloc(words, sizeof(std::uint64_t))));
    return m.words != nullptr;
}

// Marks are never cleared: a state listed twice is marked if either line
// meets the condition. States outside the table mark nothing. The per-line
// routines are inlined into the loop (flatten).
[[gnu::flatten]] static bool mark_states(int fd, std::int64_t k, marks_table& m, const char* infile, failure& why) {
    line_reader in = make_line_reader(fd);
    in.progress = start_progress("minmark", fd, 1);
    state_line s;
    // In locals: a store to the table could otherwise change them.
    std::uint64_t* words = m.words.get();
    const std::int64_t size = m.size;
    while (more_lines(in)) {
        const char* p = in.next;
        const char* end = in.lines_end;
        while (p != end) {
            p = line_feed_after(parse_state_line(p, s), end) + 1;
            // One comparison for 0 <= state < size: a negative state is a huge unsigned one.
            if (static_cast<std::uint64_t>(s.state) < static_cast<std::uint64_t>(size) && meets_minimum(s, k))
                words[s.state / 64] |= std::uint64_t{1} << (s.state % 64);
        }
        in.next = p;
    }
    close_reader(in);
    if (in.failed) why = reading_failure(in, infile);
    return !in.failed;
}

static void write_label(out_buf& out, std::int64_t state) {
    constexpr std::string_view label = "  minimum\n";
    char* p = write_int(out_line_room(out), state + 1);
    std::memcpy(p, label.data(), label.size());
    out.pos = p + label.size();
}

static bool write_labels(const char* outfile, standard_streams streams, const marks_table& m, failure& why) {
    out_buf out;
    if (!open_whole_output(outfile, streams, out, why)) return false;
    out_put(out, "#DECLARATION\nminimum\n#END\n");
    for (std::int64_t w = 0; w <= m.size / 64; ++w)
        for (std::uint64_t bits = m.words[w]; bits != 0; bits &= bits - 1)
            write_label(out, w * 64 + std::countr_zero(bits));
    if (out_close(out)) return true;
    why = system_failure(output_name(outfile), out.error);
    return false;
}

static mark_result mark_file(std::int64_t size, std::int64_t k, const char* infile, const char* outfile,
                             standard_streams streams, failure& why) {
    marks_table marks;
    if (!allocate_marks(marks, size)) {
        why = memory_failure(size);
        return {};
    }
    int fd = open_input(infile, streams.input);
    if (fd < 0) {
        why = system_failure(input_name(infile), errno);
        return {};
    }
    bool read_ok = mark_states(fd, k, marks, infile, why);
    // The listing is read whole before the label file is opened, so both may
    // be the same file.
    if (!read_ok || !write_labels(outfile, streams, marks, why)) return {};
    return {size, true};
}

mark_result read_file(std::int64_t size, std::int64_t k, const char* infile, const char* outfile,
                      standard_streams streams, failure& why) {
    return unless_out_of_memory(mark_result{}, why, [&] { return mark_file(size, k, infile, outfile, streams, why); });
}
