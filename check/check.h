// Problems and notes found in an input. The tools read past damage as the
// format's reading rules say (a line that lacks a field repeats the line
// before, text after the last field is ignored); a strict run stops at the
// first problem instead, and a check run lists them and writes no file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "failure.h"

// off: a default run, which counts the problems its reading sees on its
// rare paths (a line of another shape, a row that changes) in a log of
// mode warn, for one warning line at the end.
enum class check_mode : std::uint8_t { off, strict, report, warn };

// How many problems a check run lists; the rest are counted.
constexpr std::int64_t listed_problems = 20;

struct check_log {
    check_mode mode = check_mode::off;
    std::string input;  // the input's name in messages
    std::int64_t problems = 0;
    std::string listed;  // the problems listed, a line each
    std::string notes;   // a line each
    failure first;       // the reason a strict run stops
    // A warning's first problem: where it is (for a default run, the
    // position of its line in the text, until told as a line), and what.
    std::int64_t first_line = 0;
    std::string first_message;
};

check_log make_check_log(check_mode mode, const char* input_name);

// Records a problem at a line (counted from 1; 0 for the whole input, -1
// for the arguments). False where the run stops at it: a strict run's
// first.
[[gnu::format(printf, 3, 4)]] bool add_problem(check_log& log, std::int64_t line, const char* format, ...);
// Records a note about a line, or about the whole input where line is 0.
[[gnu::format(printf, 3, 4)]] void add_note(check_log& log, std::int64_t line, const char* format, ...);

// Compressed data found damaged (problem, else null) ends the text where
// it stands: a check run lists it as the problem at that line, after those
// before it, rather than fail to read. True where it did so.
bool damage_is_a_problem(check_log& log, std::int64_t line, const char* problem);

inline bool stopped(const check_log& log) { return log.mode == check_mode::strict && log.problems > 0; }

// What a check run prints: the problems listed, how many more there were,
// the notes, and the summary line.
std::string check_report(const check_log& log, std::string_view summary);

// Notes that lines of any input may get: longer than 1023 characters
// (these tools read them whole, other readers split them), or a last line
// without a line feed.
struct line_notes {
    std::int64_t long_lines = 0;
    std::int64_t first_long = 0;
};
inline void note_length(line_notes& n, std::int64_t line, std::ptrdiff_t length_before_line_feed) {
    if (length_before_line_feed >= 1023 && n.long_lines++ == 0) n.first_long = line;
}
void add_line_notes(check_log& log, const line_notes& n, std::int64_t last_line, bool unended_last_line);

// What a check run gives: whether its input could be read, whether it had
// no problem, and the report to print.
struct check_result {
    bool read = false;
    bool clean = false;
    std::string report;
};

// "1 value is" or "3 values are": a count and the words that agree with it.
std::string counted(std::int64_t n, const char* one, const char* many);

// The result of a check run that read its whole input.
check_result checked(const check_log& log, std::string_view summary);

// Up to max bytes of a line's text from p, for a message: the text up to
// its line feed, control bytes shown as '?'.
std::string quoted_text(const char* p, std::size_t max = 24);
// The same of a C string (an argument).
std::string quoted_text_of(const char* text);
// A word of the file (a header's keyword) for a message, without quotes:
// control bytes shown as '?', and cut after 40 bytes, so that a message
// never sends the terminal escapes.
std::string shown_text(std::string_view text);
