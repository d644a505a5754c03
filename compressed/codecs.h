// What the formats' own files (gzip.cpp, zstd.cpp) share with the files
// that pick among them (read_compressed.cpp, write_compressed.cpp): the
// compressed bytes read from the input, one entry point a format and a
// direction, and the decoder and encoder. Not included outside this folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "compressed.h"
#include "relay.h"

#ifdef TINY_BLOCKS
constexpr std::size_t compressed_block_size = 64;  // so that tests cut streams everywhere
constexpr std::size_t text_block_size = 64;
#else
constexpr std::size_t compressed_block_size = 256 * 1024;
constexpr std::size_t text_block_size = 256 * 1024;  // decoded a block at a time
#endif

// Compressed input not yet decoded: bytes[start, end).
struct compressed_block {
    std::unique_ptr<unsigned char[]> bytes{new unsigned char[compressed_block_size]};
    std::size_t start = 0;
    std::size_t end = 0;
    bool ended = false;  // the file has no more
    std::int64_t bytes_read = 0;     // from the file
    const char* problem = nullptr;   // what is wrong with the data, once found
};
// Moves the bytes not yet decoded to the front and reads behind them;
// false (errno set) when the read fails.
bool refill(compressed_block& block, int fd);

// Before each decoding step of a format whose streams (or members) follow
// one another: where the last has ended, the next is started by
// at_next(done), false on failure and done at the end of the data; then a
// block used up is read on. -1 on failure, 0 at the end, 1 when ready.
template <class AtNext>
int ready_to_decode(bool in_stream, compressed_block& block, int fd, AtNext at_next) {
    if (!in_stream) {
        bool done = false;
        if (!at_next(done)) return -1;
        if (done) return 0;
    }
    if (block.start == block.end && !block.ended && !refill(block, fd)) return -1;
    return 1;
}

// The format the n bytes at p start (a gzip member starts 1f 8b, a zstd
// frame 28 b5 2f fd, ...), and in `partly` whether they could still grow
// into the start of another.
stream_format format_of(const unsigned char* p, std::size_t n, bool& partly);

struct gzip_decoder;
struct zstd_decoder;
struct xz_decoder;
struct bzip2_decoder;
struct gzip_encoder;
struct zstd_encoder;
struct xz_encoder;
struct bzip2_encoder;

// Each decodes into data up to n bytes: the count, 0 at the end of the
// stream, -1 on failure (block.problem set, or errno).
gzip_decoder* new_gzip_decoder();
void delete_gzip_decoder(gzip_decoder* d);
std::ptrdiff_t gzip_decode(gzip_decoder& d, compressed_block& block, int fd, char* data, std::size_t n);
zstd_decoder* new_zstd_decoder();
void delete_zstd_decoder(zstd_decoder* d);
std::ptrdiff_t zstd_decode(zstd_decoder& d, compressed_block& block, int fd, char* data, std::size_t n);
xz_decoder* new_xz_decoder();
void delete_xz_decoder(xz_decoder* d);
std::ptrdiff_t xz_decode(xz_decoder& d, compressed_block& block, int fd, char* data, std::size_t n);
bzip2_decoder* new_bzip2_decoder();
void delete_bzip2_decoder(bzip2_decoder* d);
std::ptrdiff_t bzip2_decode(bzip2_decoder& d, compressed_block& block, int fd, char* data, std::size_t n);

// Each compresses data (finish: ends the stream) and writes to fd.
gzip_encoder* new_gzip_encoder();
void delete_gzip_encoder(gzip_encoder* e);
bool gzip_encode(gzip_encoder& e, int fd, const char* data, std::size_t n, bool finish);
zstd_encoder* new_zstd_encoder();
void delete_zstd_encoder(zstd_encoder* e);
bool zstd_encode(zstd_encoder& e, int fd, const char* data, std::size_t n, bool finish);
xz_encoder* new_xz_encoder();
void delete_xz_encoder(xz_encoder* e);
bool xz_encode(xz_encoder& e, int fd, const char* data, std::size_t n, bool finish);
bzip2_encoder* new_bzip2_encoder();
void delete_bzip2_encoder(bzip2_encoder* e);
bool bzip2_encode(bzip2_encoder& e, int fd, const char* data, std::size_t n, bool finish);

// Which libraries the build found (CMake defines these).
#ifdef STATETOOLS_GZIP
constexpr bool has_gzip = true;
#else
constexpr bool has_gzip = false;
#endif
#ifdef STATETOOLS_ZSTD
constexpr bool has_zstd = true;
#else
constexpr bool has_zstd = false;
#endif
#ifdef STATETOOLS_XZ
constexpr bool has_xz = true;
#else
constexpr bool has_xz = false;
#endif
#ifdef STATETOOLS_BZIP2
constexpr bool has_bzip2 = true;
#else
constexpr bool has_bzip2 = false;
#endif

// A frame or dictionary may ask for memory up to this much (zstd's own
// default limit): beyond it the run fails rather than take the memory.
constexpr std::uint64_t max_decoder_window = std::uint64_t{128} << 20;

// What a block of text decoded by the helper is followed by: more text (1),
// the end (0) or a failure (-1), and the state of the input after it.
struct text_status {
    std::ptrdiff_t after = 1;
    std::int64_t bytes_read = 0;
    const char* problem = nullptr;
    int error = 0;
    std::exception_ptr thrown;  // a lack of memory, passed on to the tool's thread
};

// A compressed input's decoder, with the compressed bytes it reads; with a
// helper thread (texts.helper running), that thread reads and decodes a
// block of text while the tool works on the other.
struct decoder {
    int fd = -1;
    compressed_block block;
    gzip_decoder* gzip = nullptr;
    zstd_decoder* zstd = nullptr;
    xz_decoder* xz = nullptr;
    bzip2_decoder* bzip2 = nullptr;
    relay texts;
    text_status status[2];  // of each block of texts
    int taking = 0;         // the block the tool takes text from
    std::size_t taken = 0;  // and how much of it
};

// Frees the decoder and its codec (its helper, if any, has ended).
void free_decoder(decoder* d);

// A compressed output's encoder.
struct encoder {
    gzip_encoder* gzip = nullptr;
    zstd_encoder* zstd = nullptr;
    xz_encoder* xz = nullptr;
    bzip2_encoder* bzip2 = nullptr;
};

// The compressed bytes the decoder has used: those read less those waiting
// in its block (the progress line counts these).
inline std::int64_t bytes_used(const compressed_block& block) {
    return block.bytes_read - static_cast<std::int64_t>(block.end - block.start);
}
