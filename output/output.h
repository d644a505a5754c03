// Output files: bytes collected in one buffer and written a block at a
// time (compressed where the name ends in .gz or .zst), with write errors
// kept until the close reports them. A regular file is written whole: to a
// temporary file beside it, which takes its place only when the run has
// succeeded.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "buffer.h"
#include "compressed.h"
#include "failure.h"
#include "platform.h"

#ifdef TINY_BLOCKS
constexpr std::size_t write_block_size = 64;  // so that tests cross block ends
constexpr std::size_t hold_bound = 200;       // and held bytes go to a spool
#else
constexpr std::size_t write_block_size = 1024 * 1024;
// The most bytes kept in memory behind a held place (see out_hold).
constexpr std::size_t hold_bound = 2 * 1024 * 1024;
#endif

// Room that one line of output may take: two entry lines.
constexpr std::size_t max_line_output = 1024;

// How an output file is being written whole (see whole_file): its run's
// file is discarded unless the run succeeded, so that a run that fails, or
// ends by an exception, leaves the output as it was and no file behind.
struct whole_output {
    whole_file file;
    whole_output() = default;
    whole_output(whole_output&& other) noexcept;
    whole_output& operator=(whole_output&& other) noexcept;
    ~whole_output();
};

// The buffer is filled at pos; before a line is put, pos must not pass
// limit, which keeps max_line_output bytes of room behind it. A buffer of
// an output without a file grows instead of being written.
struct out_buf {
    int fd = -1;
    compressed_output packing;  // how the bytes are written to fd
    byte_buffer buf;
    char* pos = nullptr;
    char* limit = nullptr;
    bool failed = false;  // sticky: a failed write is reported at the close
    int error = 0;        // its system error number
    whole_output whole;  // where the output is a file of its own
    char* held = nullptr;  // a held place, or null
    std::size_t gap = 0;   // the room left there
    int spool = -1;        // while open, what follows the held place
    bool spool_failed = false;  // the failure was the spool's
    std::string spool_folder;
};

// "-" names standard output; output_name gives the name an output has in
// messages.
bool is_standard_output(const char* path);
// An output that is the tool's own standard output: "-", or a name of the
// file or pipe it is (/dev/stdout, say), which the tool's own lines must
// not go into. A terminal or /dev/null is taken by its name as before.
bool goes_to_standard_output(const char* path);
const char* output_name(const char* path);

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

// A place held open in the output, for bytes known only later (diagfill's
// diagonal entry of a row whose sum is not final yet): what is put after
// it is kept back until out_fill puts the bytes in, in the buffer up to
// hold_bound bytes, past that in a spool file in the temporary folder. One
// place at a time; q is the loop's position, as for out_line_room. Room
// for as many bytes as are likely to come is left there (gap, at most
// max_line_output / 2), so that most often they fill it exactly and
// nothing after it moves. Returns the position after the room.
inline char* out_hold(out_buf& o, char* q, std::size_t gap) {
    o.held = q;
    o.gap = gap;
    return q + gap;
}
// The bytes after the room at the held place, while they are in the
// buffer; else null.
inline const char* out_held_text(const out_buf& o) { return o.spool < 0 ? o.held + o.gap : nullptr; }
// Puts text at the held place and releases it: returns the new position.
// Where no spool could be made, the output has failed and holds no place
// any more (held is null): nothing is to be put then.
char* out_fill(out_buf& o, char* q, std::string_view text);
// Flushes and closes; a file written whole then becomes the output. False
// when any write, the close or that failed: the output is then left as it
// was.
bool out_close(out_buf& o);

// Closes the output of a run that failed: a file written whole is left as
// it was; a FIFO or device keeps what was written.
void out_discard(out_buf& o);

// Opens the output named by path to be written whole, compressed as its
// name asks (a format the build lacks fails before anything is opened):
// standard output for "-" and its other names (EBADF when it was closed
// when the run began); a file as open_whole_file writes it. False, with
// the reason, when it cannot be opened.
bool open_whole_output(const char* path, standard_streams streams, out_buf& out, failure& why);

// Where the input did not open (ip is -1), the output is created empty if
// it does not exist and left as it is if it does, as the run cannot replace
// it. Else it is opened as open_whole_output does, unless it is the input
// file (written in place it would destroy what is still to be read).
// Unless both are open, both are closed and the failure is given: the
// input's when it did not open (its error number is input_error), else the
// output's.
bool open_output_beside(int ip, int input_error, file_id input, const char* infile, const char* outfile,
                        standard_streams streams, out_buf& out, failure& why);
