// Compressed streams through the line reader, in tiny blocks. The first
// byte chooses: the rest fed as it is (a mutated stream of the seeds: the
// reader must succeed or fail with a reason, never crash); or the rest
// compressed as gzip, zstd, xz or bzip2, in one piece or two, and then maybe damaged
// at a place and with a byte the next bytes give: undamaged, the lines
// read must be the text; damaged, the reader may fail, but a reading that
// succeeds must still give the text.
#include <string>
#include <unistd.h>

#include "compressed.h"
#include "fuzz_support.h"
#include "platform.h"
#include "reader.h"

static int file_holding(std::string_view bytes) {
    int fd = open_spool_file();
    require(fd >= 0 && write_all(fd, bytes.data(), bytes.size()) && seek_file(fd, 0));
    return fd;
}

static std::string whole_file(int fd) {
    require(seek_file(fd, 0));
    std::string bytes;
    char block[4096];
    std::ptrdiff_t n;
    while ((n = read_some(fd, block, sizeof block)) > 0) bytes.append(block, static_cast<std::size_t>(n));
    return bytes;
}

// The text compressed, its first `split` bytes as one member or frame and
// the rest as another.
static std::string compressed(stream_format format, std::string_view text, std::size_t split) {
    std::string bytes;
    for (std::string_view piece : {text.substr(0, split), text.substr(split)}) {
        int fd = open_spool_file();
        require(fd >= 0);
        compressed_output out = start_compressed_output(format);
        require(write_compressed(out, fd, piece.data(), piece.size()) && finish_compressed(out, fd));
        bytes += whole_file(fd);
        close(fd);
    }
    return bytes;
}

// Reads all lines; false where the reader failed. The text read is put in
// `read`, each line as the reader gives it.
static bool read_lines(std::string_view bytes, std::string& read) {
    line_reader r = make_line_reader(file_holding(bytes));
    while (const char* line = take_line(r)) read += std::string_view(line, line_feed_after(line, r.lines_end) + 1 - line);
    bool ok = !r.failed;
    require(ok || r.problem != nullptr || r.error != 0);
    close_reader(r);
    return ok;
}

static std::string with_last_feed(std::string_view text) {
    std::string s(text);
    if (!s.empty() && s.back() != '\n') s += '\n';
    return s;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::string_view rest = as_text(data + 4, size - 4);
    std::string read;
    int mode = data[0] % 9;
    if (mode == 0) {
        read_lines(rest, read);
        return 0;
    }
    const stream_format formats[] = {stream_format::gzip, stream_format::zstd, stream_format::xz, stream_format::bzip2};
    const std::size_t magic_sizes[] = {2, 4, 6, 10};  // bzip2's with its block's magic
    stream_format format = formats[(mode - 1) / 2];
    std::size_t magic = magic_sizes[(mode - 1) / 2];
    if (missing_library(format) != nullptr) return 0;
    std::string bytes = compressed(format, rest, data[1] % (rest.size() + 1));
    bool damaged = mode % 2 == 0;
    // Past the first magic bytes: damaged there, the input is plain text.
    if (damaged) bytes[magic + data[2] * 7 % (bytes.size() - magic)] ^= static_cast<char>(data[3] | 1);
    bool ok = read_lines(bytes, read);
    std::string text = with_last_feed(rest);
    require(ok ? read == text : damaged);
    return 0;
}
