#include "check.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

check_log make_check_log(check_mode mode, const char* input_name) {
    check_log log;
    log.mode = mode;
    log.input = input_name;
    return log;
}

static std::string formatted(const char* format, std::va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    return text;
}

// "infile:LINE: " before a message; "infile: " for the whole input, and
// nothing for the arguments (line < 0).
static std::string place(const check_log& log, std::int64_t line) {
    if (line < 0) return "";
    return line > 0 ? log.input + ":" + std::to_string(line) + ": " : log.input + ": ";
}

bool add_problem(check_log& log, std::int64_t line, const char* format, ...) {
    if (log.mode == check_mode::warn && log.problems++ > 0) return true;  // only the first is told
    std::va_list args;
    va_start(args, format);
    std::string message = formatted(format, args);
    va_end(args);
    if (log.mode == check_mode::warn) {
        log.first_line = line;
        log.first_message = std::move(message);
        return true;
    }
    ++log.problems;
    if (log.mode == check_mode::strict) {
        if (log.problems == 1) {
            std::string where = place(log, line);
            if (!where.empty()) where.resize(where.size() - 2);  // the frame puts ": " after the place
            log.first = own_failure(where.c_str(), message);
            log.first.names_path = !where.empty();
        }
        return false;
    }
    if (log.problems <= listed_problems) log.listed += place(log, line) + message + "\n";
    return true;
}

void add_note(check_log& log, std::int64_t line, const char* format, ...) {
    if (log.mode != check_mode::report) return;
    std::va_list args;
    va_start(args, format);
    log.notes += place(log, line) + "note: " + formatted(format, args) + "\n";
    va_end(args);
}

std::string check_report(const check_log& log, std::string_view summary) {
    std::string text = log.listed;
    if (log.problems > listed_problems)
        text += log.input + ": and " + std::to_string(log.problems - listed_problems) + " more problems\n";
    text += log.notes;
    text += log.input + ": ";
    text += summary;
    text += log.problems == 0   ? ": no problem\n"
            : log.problems == 1 ? ": 1 problem\n"
                                : ": " + std::to_string(log.problems) + " problems\n";
    return text;
}

check_result checked(const check_log& log, std::string_view summary) {
    check_result result;
    result.read = true;
    result.clean = log.problems == 0;
    result.report = check_report(log, summary);
    return result;
}

bool damage_is_a_problem(check_log& log, std::int64_t line, const char* problem) {
    if (problem == nullptr) return false;
    add_problem(log, line, "%s", problem);
    return true;
}

std::string counted(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

void add_line_notes(check_log& log, const line_notes& n, std::int64_t last_line, bool unended_last_line) {
    if (unended_last_line) add_note(log, last_line, "the last line has no line feed");
    if (n.long_lines > 0)
        add_note(log, n.first_long,
                 "%s longer than 1023 characters: these tools read lines whole, but readers that read lines in "
                 "pieces of 1023 characters will split %s",
                 counted(n.long_lines, "line is", "lines are").c_str(), n.long_lines == 1 ? "it" : "them");
}

// A byte as a message shows it: control bytes (ESC, BEL, DEL) as '?'.
static char shown(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < ' ' || byte == 0x7f ? '?' : c;
}

std::string quoted_text(const char* p, std::size_t max) {
    std::string text = "'";
    std::size_t n = 0;
    for (; p[n] != '\n' && n < max; ++n) text += shown(p[n]);
    if (p[n] != '\n') text += "...";
    return text + "'";
}

std::string shown_text(std::string_view text) {
    std::string s;
    for (std::size_t n = 0; n < text.size() && n < 40; ++n) s += shown(text[n]);
    if (text.size() > 40) s += "...";
    return s;
}

std::string quoted_text_of(const char* text) {
    std::string line = std::string(text).substr(0, 40) + "\n";
    return quoted_text(line.c_str(), 40);
}
