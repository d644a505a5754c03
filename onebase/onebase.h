// onebase: copies a transition file with every row and column index raised
// by one, turning 0-based indices into the 1-based ones diagfill reads.
#pragma once

#include "frame.h"

// Returns 1 after a run that succeeded, else 0 and the reason. A strict
// run stops at the first problem of its input, and fails with it; a
// default run counts the problems it sees in seen (a log of mode warn).
// streams tell whether standard input may be read.
int read_tra_file(const char* infile, const char* outfile, bool strict, standard_streams streams, failure& why,
                  check_log* seen = nullptr);

// onebase --check: reads the input as a run would, writes no file, and
// gives the report of its problems and notes, or the reason it could not
// be read.
check_result check_file(const char* infile, standard_streams streams, failure& why);
