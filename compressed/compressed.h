// Compressed files, read and written as the plain text they hold: gzip
// (one member or several) and zstd (one frame or several) inputs are told
// by their first bytes, and outputs named *.gz or *.zst are compressed. The
// libraries are called here only; the reader and the output see blocks of
// text as from a plain file. A build without a library still runs, and
// fails on its format with a reason that names the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The formats the tools read and write, then those only told apart, so
// that they fail with a reason rather than read as text.
enum class stream_format { plain, gzip, zstd, xz, bzip2, lz4, zip, seven_zip, rar, lzip, lzop, compress };

struct decoder;
struct encoder;
struct decoder_deleter {
    void operator()(decoder* d) const noexcept;
};
struct encoder_deleter {
    void operator()(encoder* e) const noexcept;
};

// An input read as text. Its first bytes tell its format (a text file never
// starts with the bytes that open a gzip member or a zstd frame).
struct compressed_input {
    stream_format format = stream_format::plain;
    bool format_known = false;
    std::unique_ptr<decoder, decoder_deleter> state;
    std::int64_t bytes_read = 0;     // from the file, compressed or not
    const char* problem = nullptr;   // why the data cannot be read, where no system error says it
};

// The format the first bytes of a stream name (plain where they name none,
// or could still grow into a name).
stream_format format_named_by(std::string_view first_bytes);

// Reads up to n bytes of the text of the input fd: the count, 0 at its end,
// -1 on failure (problem set, or errno).
std::ptrdiff_t read_text(compressed_input& in, int fd, char* data, std::size_t n);

// Ends the reading of fd and closes it. A helper thread that is still
// reading fd (a pipe whose writer has stalled) is not waited for: it
// closes fd and frees what it used when its read returns, so that a run
// that stops early ends at once.
void close_compressed_input(compressed_input& in, int fd);

// An output compressed as it is written, in the format its name asks for.
struct compressed_output {
    stream_format format = stream_format::plain;
    std::unique_ptr<encoder, encoder_deleter> state;
};

// The format an output's name asks for: *.gz gzip, *.zst zstd, else plain.
stream_format format_for_name(std::string_view path);
// Null where the build reads and writes the format, else why it cannot.
const char* missing_library(stream_format format);
// Starts compressing a format the build has (plain needs nothing).
compressed_output start_compressed_output(stream_format format);
// Writes bytes to fd, compressed where the output's format asks for it:
// false (errno set) once a write has failed.
bool write_compressed(compressed_output& out, int fd, const char* data, std::size_t n);
// Ends the stream on fd (its last blocks, its checksum): false (errno set)
// where a write failed.
bool finish_compressed(compressed_output& out, int fd);

// What the build reads and writes, for --help: one line.
std::string compressed_formats_line();
