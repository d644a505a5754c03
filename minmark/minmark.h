// minmark: reads a state listing and writes a label file that declares the
// label "minimum" and gives it to the states that meet the condition for k.
#pragma once

#include <cstdint>

#include "check.h"
#include "frame.h"

struct mark_result {
    std::int64_t result = 0;  // size after a run that succeeded, else 0
    bool ok = false;
};

// Converts a command-line number as atoi does (white space, sign, digits,
// anything after ignored; no digits give 0), but into 64 bits, and a value
// beyond that range saturates to its nearest end instead of wrapping.
std::int64_t parse_argument(const char* text);

// The fields of one listed state: "%d:(%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d)".
struct state_line {
    std::int64_t state = 0;
    std::int64_t field[11] = {};
};

// Updates the values as far as the line at p (see numbers.h) supplies them;
// returns where the match ended.
const char* parse_state_line(const char* p, state_line& s);
bool meets_minimum(const state_line& s, std::int64_t k);

// A strict run stops at the first problem of its listing, and fails with
// it; a default run counts the problems it sees in seen (a log of mode
// warn). streams tell whether standard input may be read.
mark_result read_file(std::int64_t size, std::int64_t k, const char* infile, const char* outfile, bool strict,
                      standard_streams streams, failure& why, check_log* seen = nullptr);

// The problems of size and k that are not whole numbers: false where a
// strict run stops.
bool check_arguments(check_log& log, const char* size_text, const char* k_text);

// minmark --check: reads the listing as a run would, writes no file, and
// gives the report of its problems and notes, or the reason it could not
// be read.
check_result check_file(const char* size_text, const char* k_text, const char* infile, standard_streams streams,
                        failure& why);
