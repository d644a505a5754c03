// minmark: reads a state listing and writes a label file that declares the
// label "minimum" and gives it to the states that meet the condition for k.
#pragma once

struct mark_result {
    int result = 0;  // size after a run that succeeded, else 0
    bool ok = false;
};

// Converts a command-line number as atoi does (white space, sign, digits,
// anything after ignored; no digits give 0), but a value beyond the 32-bit
// range saturates to its nearest end instead of wrapping.
int parse_argument(const char* text);

// The fields of one listed state: "%d:(%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d)".
struct state_line {
    int state = 0;
    int field[11] = {};
};

// Updates the values as far as the line supplies them.
void parse_state_line(const char* begin, const char* end, state_line& s);
bool meets_minimum(const state_line& s, int k);

mark_result read_file(int size, int k, const char* infile, const char* outfile);
