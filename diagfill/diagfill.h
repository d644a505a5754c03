// diagfill: copies a 1-based transition file and inserts into each row that
// has an entry on or right of the diagonal a diagonal entry holding the
// negated sum of the row, so that it sums to zero.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "check.h"
#include "frame.h"
#include "platform.h"
#include "reader.h"

// What the first pass hands to the second.
struct row_sums {
    std::unique_ptr<double[], free_deleter> rowsum;  // null: no table
    std::int64_t slots = 0;                          // rows 1..slots have a sum
};

// Sums the values of each row of the input, and leaves the input at its
// start for the second pass: the input is never opened again by its name,
// and one that cannot be read twice (a pipe) is read again from a copy.
// Entries are expected grouped by ascending row; one out of order counts
// toward the largest row seen before it. False, with the reason, on a read
// error, a failed copy or a lack of memory.
// A strict run stops at the first problem, and fails with it.
bool first_pas(line_reader& in, row_sums& sums, const char* infile, bool strict, failure& why);

// Both passes; "here" goes to the console between them. Returns 1 after a
// run that succeeded, else 0 and the reason. A strict run stops at the
// first problem of its input, and fails with it.
int read_tra_file(const char* infile, const char* outfile, bool strict, console& messages, failure& why);

// diagfill --check: reads the input as a run would, writes no file, and
// gives the report of its problems and notes, or the reason it could not
// be read.
check_result check_file(const char* infile, standard_streams streams, failure& why);
