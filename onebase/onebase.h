// onebase: copies a transition file with every row and column index raised
// by one, turning 0-based indices into the 1-based ones diagfill reads.
#pragma once

#include "frame.h"

// Returns 1 after a run that succeeded, else 0 and the reason. streams
// tell whether standard input may be read.
int read_tra_file(const char* infile, const char* outfile, standard_streams streams, failure& why);
