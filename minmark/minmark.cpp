#include "minmark.h"

#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
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

// The fields the condition reads: 1, 3, 7, 9 and 11, counted from 1.
constexpr unsigned condition_fields = 1u << 0 | 1u << 2 | 1u << 6 | 1u << 8 | 1u << 10;

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

// The digit in the low half byte of x, where the condition reads field i.
template <int i>
void store_condition_digit(std::int64_t* field, std::uint64_t x) {
    if constexpr (condition_fields >> i & 1) field[i] = static_cast<std::int64_t>(x & 0xF);
}

// Four fields of one digit each with their commas, "d,d,d,d,", from
// field first_field on, in one word, stored where the condition reads
// them; false for any other text.
template <int first_field>
static bool take_four_digits(const char*& p, std::int64_t* field) {
    constexpr std::uint64_t pattern = 0x2C302C302C302C30ULL;  // "0,0,0,0,"
    std::uint64_t x = load_line_word(p) ^ pattern;           // digits become 0 to 9, commas 0
    if ((x | (x + 0x0006000600060006ULL)) & 0xFFF0FFF0FFF0FFF0ULL) return false;
    store_condition_digit<first_field>(field, x);
    store_condition_digit<first_field + 1>(field, x >> 16);
    store_condition_digit<first_field + 2>(field, x >> 32);
    store_condition_digit<first_field + 3>(field, x >> 48);
    p += 8;
    return true;
}

// A field of one to seven digits alone, as listings write them, followed
// by its comma (taken too) or, the last, by the closing parenthesis: from
// one word, its value worked out only where the condition reads it. False
// for any other text (white space, a sign, more digits), which the number
// scanner then reads.
template <int i>
static bool take_plain_field(const char*& p, std::int64_t* field) {
    std::uint64_t w = load_line_word(p);
    int n = leading_digits(w);
    if (static_cast<unsigned>(n - 1) >= 7 || p[n] != (i < 10 ? ',' : ')')) return false;
    if (condition_fields >> i & 1) field[i] = static_cast<std::int64_t>(n == 1 ? (w & 0xF) : digits_value(w, n));
    p += n + (i < 10);
    return true;
}

// The usual listing has fields of one digit: they are taken four at a
// time, the last three with the parenthesis; a wider field alone, and the
// digits after it four at a time again. Any other text goes through the
// number scanner.
// Fields from field i on, after the usual line's steps stopped there: a
// wider field alone, then digits four at a time again; any other text
// through the number scanner. Returns where the match ended. One routine
// a field, so that each knows its field's place in the condition.
template <int i>
[[gnu::noinline]] static const char* take_fields_from(const char* q, std::int64_t* field) {
    if constexpr (i == 11) {
        return *q == ')' ? q + 1 : q;  // most often the line ends here
    } else {
        if constexpr (i <= 6)
            if (take_four_digits<i>(q, field)) return take_fields_from<i + 4>(q, field);
        if constexpr (i == 8)
            if (take_lone_tail(q, field)) return q;
        if (!take_plain_field<i>(q, field)) {
            const char* after = scan_int(q, field[i]);
            if (after == nullptr) return q;
            q = after;
            if (i < 10 && (q = expect(after, ',')) == nullptr) return after;
        }
        return take_fields_from<i + 1>(q, field);
    }
}

// The usual listing has fields of one digit: they are taken four at a
// time, the last three with the parenthesis.
const char* parse_state_line(const char* p, state_line& s) {
    const char* q = expect(expect(scan_int(p, s.state), ':'), '(');
    if (q == nullptr) return p;
    if (!take_four_digits<0>(q, s.field)) return take_fields_from<0>(q, s.field);
    if (!take_four_digits<4>(q, s.field)) return take_fields_from<4>(q, s.field);
    if (!take_lone_tail(q, s.field)) return take_fields_from<8>(q, s.field);
    return q;
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

// The checks of a listing, in a strict or a check run: each line matches
// the whole pattern and names a state in the table; a check run also notes
// states listed twice (in a table of its own) and long lines.
struct listing_checks {
    check_log* log = nullptr;
    std::int64_t line = 0;
    std::int64_t size = 0;
    line_notes lines;
    marks_table seen;
    std::int64_t listed = 0;
    std::int64_t repeated = 0;
    std::int64_t first_repeated = 0;
    std::int64_t first_repeated_line = 0;
    bool block_problems = false;  // a default run's: the block being read has some
};

static bool whole_match(const char* line, const char* match_end) {
    return match_end != line && match_end[-1] == ')' && *skip_blanks(match_end) == '\n';
}

static void note_listed(listing_checks& lc, std::int64_t state) {
    std::uint64_t& word = lc.seen.words[state / 64];
    std::uint64_t bit = std::uint64_t{1} << (state % 64);
    if ((word & bit) == 0) {
        word |= bit;
        ++lc.listed;
    } else if (lc.repeated++ == 0) {
        lc.first_repeated = state;
        lc.first_repeated_line = lc.line;
    }
}

// A line's checks: false where a strict run stops.
[[gnu::noinline]] static bool check_state_line(listing_checks& lc, const char* line, const char* match_end,
                                               const state_line& s) {
    if (!whole_match(line, match_end)) {
        if (*skip_blanks(line) == '\n')
            return add_problem(*lc.log, lc.line, "blank line: it repeats the state before it");
        if (match_end != line && match_end[-1] == ')')
            return add_problem(*lc.log, lc.line, "text after the closing parenthesis: %s",
                               quoted_text(skip_blanks(match_end)).c_str());
        return add_problem(*lc.log, lc.line,
                           "%s does not match state:(f1,...,f11), with no blank before a colon, parenthesis or comma",
                           quoted_text(line, 40).c_str());
    }
    if (s.state < 0 || s.state >= lc.size)
        return add_problem(*lc.log, lc.line, "state %lld is outside 0..%lld", static_cast<long long>(s.state),
                           static_cast<long long>(lc.size - 1));
    if (lc.seen.words != nullptr) note_listed(lc, s.state);
    return true;
}

// A default run's count of the problems its loop sees (a match that ends
// before the line feed, a state outside the table), for its warning: the
// loop only flags a block that has some, whose lines are then read again
// from the state before them (s), with the checks. Rare.
[[gnu::noinline]] static void count_block_problems(listing_checks& lc, const line_reader& in, const char* p,
                                                   const char* end, state_line s) {
    while (p != end) {
        const char* match_end = parse_state_line(p, s);
        bool seen = *match_end != '\n' || static_cast<std::uint64_t>(s.state) >= static_cast<std::uint64_t>(lc.size);
        lc.line = text_position(in, p);
        if (seen) check_state_line(lc, p, match_end, s);
        p = line_feed_after(match_end, end) + 1;
    }
}

// Marks are never cleared: a state listed twice is marked if either line
// meets the condition. States outside the table mark nothing. The per-line
// routines are inlined into the loop (flatten). A strict run checks each
// line, a check run each line and its notes; a default run's loop has none
// of it.
template <check_mode mode>
[[gnu::flatten]] static bool mark_states(int fd, std::int64_t k, marks_table& m, listing_checks& lc,
                                         const char* infile, failure& why) {
    line_reader in = make_line_reader(fd);
    in.progress = start_progress("minmark", fd, 1);
    state_line s;
    // In locals: a store to the table could otherwise change them.
    std::uint64_t* words = m.words.get();
    const std::int64_t size = m.size;
    while (more_lines(in)) {
        const char* p = in.next;
        const char* end = in.lines_end;
        const state_line before = s;
        while (p != end) {
            const char* match_end = parse_state_line(p, s);
            const char* line_feed = match_end;
            if (*match_end != '\n') [[unlikely]] {
                line_feed = line_feed_after(match_end, end);
                if (mode == check_mode::off) lc.block_problems = true;
            }
            if constexpr (mode != check_mode::off) {
                ++lc.line;
                if (mode == check_mode::report) note_length(lc.lines, lc.line, line_feed - p);
                bool plain = mode == check_mode::strict && *match_end == '\n' && match_end[-1] == ')' &&
                             static_cast<std::uint64_t>(s.state) < static_cast<std::uint64_t>(size);
                if (!plain && !check_state_line(lc, p, match_end, s) && mode == check_mode::strict) break;
            }
            p = line_feed + 1;
            // One comparison for 0 <= state < size: a negative state is a huge unsigned one.
            if (static_cast<std::uint64_t>(s.state) < static_cast<std::uint64_t>(size)) {
                if (meets_minimum(s, k)) words[s.state / 64] |= std::uint64_t{1} << (s.state % 64);
            } else if (mode == check_mode::off) {
                lc.block_problems = true;
            }
        }
        if (mode == check_mode::off && lc.block_problems) {
            count_block_problems(lc, in, in.next, end, before);
            lc.block_problems = false;
        }
        in.next = p;
        if (mode == check_mode::strict && stopped(*lc.log)) stop_reading(in);
    }
    if (mode == check_mode::off && lc.log->problems > 0 && !in.failed)
        lc.log->first_line = line_at(in, lc.log->first_line);
    close_reader(in);
    if (mode == check_mode::report && in.failed && damage_is_a_problem(*lc.log, lc.line + 1, in.problem)) return true;
    if (mode != check_mode::off) add_line_notes(*lc.log, lc.lines, lc.line, in.unended_last_line);
    if (in.failed) why = reading_failure(in, infile);
    return !in.failed;
}

static void write_label(out_buf& out, std::int64_t state) {
    constexpr std::string_view label = "  minimum\n";
    char* p = write_int(out_line_room(out), state + 1);
    std::memcpy(p, label.data(), label.size());
    out.pos = p + label.size();
}

// Once a run (see mark_file).
[[gnu::noinline]] static bool write_labels(const char* outfile, standard_streams streams, const marks_table& m, failure& why) {
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

// A strict run's marking: false, with the first problem as the reason, where
// it stops.
[[gnu::noinline]] static bool mark_checked_states(int fd, std::int64_t k, marks_table& m, const char* infile,
                                                  failure& why) {
    check_log log = make_check_log(check_mode::strict, input_name(infile));
    listing_checks lc;
    lc.log = &log;
    lc.size = m.size;
    if (!mark_states<check_mode::strict>(fd, k, m, lc, infile, why)) return false;
    if (!stopped(log)) return true;
    why = log.first;
    return false;
}

// Flattened so that the loop is compiled inside it, where the table is its
// own local; the labels are written apart (noinline), so that their loop
// does not crowd the reading loop's registers: about four instructions a
// state either way.
[[gnu::flatten]] static mark_result mark_file(std::int64_t size, std::int64_t k, const char* infile,
                                              const char* outfile, bool strict, standard_streams streams,
                                              failure& why, check_log& seen) {
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
    listing_checks unchecked;
    unchecked.log = &seen;
    unchecked.size = size;
    bool read_ok = strict ? mark_checked_states(fd, k, marks, infile, why)
                          : mark_states<check_mode::off>(fd, k, marks, unchecked, infile, why);
    // The listing is read whole before the label file is opened, so both may
    // be the same file.
    if (!read_ok || !write_labels(outfile, streams, marks, why)) return {};
    return {size, true};
}

mark_result read_file(std::int64_t size, std::int64_t k, const char* infile, const char* outfile, bool strict,
                      standard_streams streams, failure& why, check_log* seen) {
    check_log unseen = make_check_log(check_mode::warn, "");
    check_log& log = seen != nullptr ? *seen : unseen;
    return unless_out_of_memory(mark_result{}, why,
                                [&] { return mark_file(size, k, infile, outfile, strict, streams, why, log); });
}

// An optional sign and digits that fit 64 bits, and nothing else.
static bool whole_number(const char* text) {
    const char* p = text + (*text == '-' || *text == '+');
    if (!is_digit(*p)) return false;
    while (is_digit(*p)) ++p;
    return *p == '\0' && parse_argument(text) != INT64_MAX && parse_argument(text) != INT64_MIN;
}

bool check_arguments(check_log& log, const char* size_text, const char* k_text) {
    const char* names[] = {"size", "k"};
    const char* texts[] = {size_text, k_text};
    for (int i = 0; i < 2; ++i) {
        if (whole_number(texts[i])) continue;
        if (!add_problem(log, -1, "%s %s is not a whole number: it is read as %lld", names[i],
                         quoted_text_of(texts[i]).c_str(), static_cast<long long>(parse_argument(texts[i]))))
            return false;
    }
    return true;
}

static check_result check_input(std::int64_t size, const char* size_text, const char* k_text, const char* infile,
                                standard_streams streams, failure& why) {
    check_result result;
    check_log log = make_check_log(check_mode::report, input_name(infile));
    check_arguments(log, size_text, k_text);
    listing_checks lc;
    lc.log = &log;
    lc.size = size;
    marks_table marks;
    if (!allocate_marks(marks, size) || !allocate_marks(lc.seen, size)) {
        why = memory_failure(size);
        return result;
    }
    int fd = open_input(infile, streams.input);
    if (fd < 0) {
        why = system_failure(input_name(infile), errno);
        return result;
    }
    if (!mark_states<check_mode::report>(fd, parse_argument(k_text), marks, lc, infile, why)) return result;
    if (lc.repeated > 0)
        add_note(log, lc.first_repeated_line, "%s more than once (the first is state %lld)",
                 counted(lc.repeated, "state is listed", "states are listed").c_str(),
                 static_cast<long long>(lc.first_repeated));
    std::int64_t marked = 0;
    for (std::int64_t w = 0; w <= marks.size / 64; ++w) marked += std::popcount(marks.words[w]);
    return checked(log, counted(lc.line, "line", "lines") + ", " +
                            counted(lc.listed, "state listed", "states listed") + ", " + std::to_string(marked) +
                            " marked");
}

check_result check_file(const char* size_text, const char* k_text, const char* infile, standard_streams streams,
                        failure& why) {
    std::int64_t size = parse_argument(size_text);
    return unless_out_of_memory(check_result{}, why,
                                [&] { return check_input(size, size_text, k_text, infile, streams, why); });
}
