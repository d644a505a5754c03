// The input of a run: one descriptor read in blocks into one buffer (its
// text, where it is compressed), and handed out as runs of whole lines in
// place, each line ended by a line feed and followed by readable padding
// (see numbers.h).
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

#include "buffer.h"
#include "compressed.h"
#include "failure.h"
#include "progress.h"

#ifdef TINY_BLOCKS
constexpr std::size_t read_block_size = 64;  // so that tests cross block ends
#else
constexpr std::size_t read_block_size = 256 * 1024;
#endif

// The lines not yet taken are from next up to lines_end; the bytes after
// them, up to data_end, are the start of a line still being read.
struct line_reader {
    int fd = -1;
    byte_buffer buf;
    const char* next = nullptr;
    const char* lines_end = nullptr;
    std::size_t data_end = 0;
    bool at_end = false;
    bool unended_last_line = false;  // the input's last line had no line feed
    bool failed = false;  // a read error ended the input
    int error = 0;        // its system error number
    const char* problem = nullptr;  // or what is wrong with the compressed data
    progress_line progress;     // off unless a tool starts it
    compressed_input source;    // what reads the text from fd
    std::int64_t text_before = 0;  // the bytes of text before the buffer's start
    std::int64_t start = -1;       // where the reading started in a file, -1 in a pipe
};

// Opens the input named by path for reading, "-" being standard input: -1
// on failure, with errno set. Standard input that was closed when the run
// began (standard_input_open false) fails with EBADF, also by a name that
// leads to its stand-in, such as /dev/stdin. input_name gives the name it
// has in messages.
int open_input(const char* path, bool standard_input_open);
const char* input_name(const char* path);

line_reader make_line_reader(int fd);
// Why the reading failed.
failure reading_failure(const line_reader& r, const char* path);

// Makes lines ready from next up to lines_end: false once the input is
// done. A line that crosses a block end is moved to the buffer's start and
// read on; a last line without a line feed is given one.
bool more_lines(line_reader& r);

// The line feed that ends the line p stands in: most often right where its
// fields end.
inline const char* line_feed_after(const char* p, const char* lines_end) {
    if (*p == '\n') return p;
    return static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(lines_end - p)));
}

// Takes the next line: its start, or null at the end of the input.
const char* take_line(line_reader& r);
// Ends the reading here, as if the input ended: a strict run's first
// problem.
inline void stop_reading(line_reader& r) {
    r.next = r.lines_end;
    r.at_end = true;
}

// Where the line at p stands in the input's text, counted in bytes: a
// default run keeps its first problem's place so, at no cost to the lines
// without one.
inline std::int64_t text_position(const line_reader& r, const char* p) {
    return r.text_before + (p - r.buf.data());
}
// The line (from 1) at that place, once the input has been read to its end:
// the text before it is read again, where the input is a file; 0 where it
// cannot be (a pipe).
std::int64_t line_at(line_reader& r, std::int64_t position);

// Closes the input and clears its progress line.
void close_reader(line_reader& r);
