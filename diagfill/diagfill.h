// diagfill: copies a 1-based transition file and inserts into each row that
// has an entry on or right of the diagonal a diagonal entry holding the
// negated sum of the row, so that it sums to zero.
#pragma once

#include <cstdint>
#include <memory>

#include "frame.h"
#include "platform.h"
#include "reader.h"

// What the first pass hands to the second.
struct row_sums {
    std::unique_ptr<double[], free_deleter> rowsum;  // null: no table
    std::int64_t slots = 0;                          // rows 1..slots have a sum
    bool failed = false;  // a read error, a failed copy or no memory
    int input_error = 0;  // why the input did not open
    file_id input;
    // The input as the first pass opened it, rewound for the second: never
    // opened again by its name. An input that cannot be read twice (a pipe)
    // is read again from a copy. Its descriptor is -1 when it did not open.
    line_reader in;
};

// Sums the values of each row. Entries are expected grouped by ascending
// row; one out of order counts toward the largest row seen before it.
// A failure is marked in the sums, and its reason given. streams tell
// whether standard input may be read.
row_sums first_pas(const char* infile, standard_streams streams, failure& why);

// Both passes; "here" goes to the console between them. Returns 1 after a
// run that succeeded, else 0 and the reason.
int read_tra_file(const char* infile, const char* outfile, console& messages, failure& why);
