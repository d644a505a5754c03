// What the formats' own files share with compressed.cpp, which picks among
// them: the compressed bytes read from the input, and one entry point a
// format and a direction. Not included outside this folder.
#pragma once

#include <cstddef>
#include <memory>

#include "compressed.h"

#ifdef TINY_BLOCKS
constexpr std::size_t compressed_block_size = 64;  // so that tests cut streams everywhere
#else
constexpr std::size_t compressed_block_size = 256 * 1024;
#endif

// Compressed input not yet decoded: bytes[start, end).
struct compressed_block {
    std::unique_ptr<unsigned char[]> bytes{new unsigned char[compressed_block_size]};
    std::size_t start = 0;
    std::size_t end = 0;
    bool ended = false;  // the file has no more
};
// Moves the bytes not yet decoded to the front and reads behind them;
// false (errno set) when the read fails.
bool refill(compressed_block& block, int fd, compressed_input& in);

struct gzip_decoder;
struct zstd_decoder;
struct gzip_encoder;
struct zstd_encoder;

// Each decodes into data up to n bytes: the count, 0 at the end of the
// stream, -1 on failure (in.problem set, or errno).
gzip_decoder* new_gzip_decoder();
void delete_gzip_decoder(gzip_decoder* d);
std::ptrdiff_t gzip_decode(gzip_decoder& d, compressed_block& block, int fd, compressed_input& in, char* data,
                           std::size_t n);
zstd_decoder* new_zstd_decoder();
void delete_zstd_decoder(zstd_decoder* d);
std::ptrdiff_t zstd_decode(zstd_decoder& d, compressed_block& block, int fd, compressed_input& in, char* data,
                           std::size_t n);

// Each compresses data (finish: ends the stream) and writes to fd.
gzip_encoder* new_gzip_encoder();
void delete_gzip_encoder(gzip_encoder* e);
bool gzip_encode(gzip_encoder& e, int fd, const char* data, std::size_t n, bool finish);
zstd_encoder* new_zstd_encoder();
void delete_zstd_encoder(zstd_encoder* e);
bool zstd_encode(zstd_encoder& e, int fd, const char* data, std::size_t n, bool finish);
