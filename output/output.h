// Output files: bytes collected in one buffer and written a block at a
// time, with write errors kept until the close reports them.
#pragma once

#include <cstddef>
#include <string_view>

#include "buffer.h"
#include "failure.h"
#include "platform.h"

#ifdef TINY_BLOCKS
constexpr std::size_t write_block_size = 64;  // so that tests cross block ends
#else
constexpr std::size_t write_block_size = 1024 * 1024;
#endif

// Room that one line of output may take: two entry lines.
constexpr std::size_t max_line_output = 1024;

// The buffer is filled at pos; before a line is put, pos must not pass
// limit, which keeps max_line_output bytes of room behind it. A buffer of
// an output without a file grows instead of being written.
struct out_buf {
    int fd = -1;
    byte_buffer buf;
    char* pos = nullptr;
    char* limit = nullptr;
    bool failed = false;  // sticky: a failed write is reported at the close
    int error = 0;        // its system error number
};

out_buf make_out_buf(int fd);
out_buf make_memory_buf();
inline std::string_view out_text(const out_buf& o) {
    return {o.buf.data(), static_cast<std::size_t>(o.pos - o.buf.data())};
}

// Writes what the buffer holds (or grows a memory buffer) so that the room
// for a line is there again. Once a block, kept out of the loops.
void out_flush(out_buf& o);
// Room for a line at the returned pointer, flushing first if need be.
inline char* out_line_room(out_buf& o) {
    if (o.pos > o.limit) out_flush(o);
    return o.pos;
}
// The same for loops that keep the position q in a local: one comparison a
// line.
inline char* out_line_room(out_buf& o, char* q) {
    if (q <= o.limit) return q;
    o.pos = q;
    out_flush(o);
    return o.pos;
}
void out_put(out_buf& o, std::string_view text);
// Flushes and closes; false when any write or the close failed.
bool out_close(out_buf& o);

// Where the input did not open (ip is -1), the output is created empty if
// it does not exist and left as it is if it does, as the run cannot replace
// it. Else it is opened for writing, emptied, unless it names the input file
// (truncating it would destroy what is still to be read). Unless both are
// open, both are closed and the failure is given: the input's when it did
// not open (its error number is input_error), else the output's.
bool open_output_beside(int ip, int input_error, file_id input, const char* infile, const char* outfile, int& op,
                        failure& why);
