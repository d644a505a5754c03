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

// The sum of each row: rows 1..slots, sized by the header.
struct row_sums {
    std::unique_ptr<double[], free_deleter> rowsum;  // null: no table
    std::int64_t slots = 0;
};

// Copies the input to the output with the diagonal entries, reading it
// once: "here" goes to the console once both files have been opened, or
// could not be. A row's sum is final once a greater row starts (entries
// are expected grouped by ascending row; one out of order counts toward
// the largest row seen before it), so the output after the place of a
// row's diagonal entry is held back until then. Returns 1 after a run that
// succeeded, else 0 and the reason. A strict run stops at the first
// problem of its input, and fails with it; a default run counts the
// problems it sees in seen (a log of mode warn).
int read_tra_file(const char* infile, const char* outfile, bool strict, console& messages, failure& why,
                  check_log* seen = nullptr);

// diagfill --check: reads the input as a run would, writes no file, and
// gives the report of its problems and notes, or the reason it could not
// be read.
check_result check_file(const char* infile, standard_streams streams, failure& why);
