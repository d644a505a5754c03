// Compressed inputs: the format told by the first bytes, then the text
// decoded a block at a time, by a helper thread where one can run.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "codecs.h"
#include "platform.h"

// A block at most (the libraries count in 32 bits).
static std::ptrdiff_t decode(decoder& d, char* data, std::size_t n) {
    n = std::min(n, text_block_size);
#ifdef STATETOOLS_GZIP
    if (d.gzip != nullptr) return gzip_decode(*d.gzip, d.block, d.fd, data, n);
#endif
#ifdef STATETOOLS_ZSTD
    if (d.zstd != nullptr) return zstd_decode(*d.zstd, d.block, d.fd, data, n);
#endif
#ifdef STATETOOLS_XZ
    if (d.xz != nullptr) return xz_decode(*d.xz, d.block, d.fd, data, n);
#endif
#ifdef STATETOOLS_BZIP2
    if (d.bzip2 != nullptr) return bzip2_decode(*d.bzip2, d.block, d.fd, data, n);
#endif
    (void)d, (void)data, (void)n;
    return 0;
}

// Decoding on the tool's thread, where no helper runs.
static std::ptrdiff_t decode_here(compressed_input& in, char* data, std::size_t n) {
    decoder& d = *in.state;
    std::ptrdiff_t got = decode(d, data, n);
    in.bytes_read = bytes_used(d.block);
    in.problem = d.block.problem;
    return got;
}

// The helper's work on one block: text up to its size, then what follows.
static void fill(decoder& d, relay_block& b, text_status& s) {
    b.size = 0;
    try {
        while (b.size < text_block_size) {
            std::ptrdiff_t got = decode(d, b.bytes.get() + b.size, text_block_size - b.size);
            if (got <= 0) {
                s.after = got;
                s.error = errno;
                break;
            }
            b.size += static_cast<std::size_t>(got);
            // The compressed bytes at hand are used up: the text goes to
            // the tool before a read that may wait on a stalled pipe.
            if (d.block.start == d.block.end && !d.block.ended) break;
        }
    } catch (...) {
        s.after = -1;
        s.thrown = std::current_exception();
    }
    s.bytes_read = bytes_used(d.block);
    s.problem = d.block.problem;
}

static void fill_blocks(decoder& d) {
    for (int i = 0;; i ^= 1) {
        relay_block& b = d.texts.blocks[i];
        if (!await_block(d.texts, b, false)) return;
        fill(d, b, d.status[i]);
        hand_over(d.texts, b, true);
        if (d.status[i].after <= 0) return;
    }
}

static void decode_ahead(void* argument) {
    decoder& d = *static_cast<decoder*>(argument);
    fill_blocks(d);
    if (!helper_leaves(d.texts)) return;
    // The tool went on without waiting for this read.
    close_file(d.fd);
    free_decoder(&d);
}

// Text the helper has decoded; a block all taken goes back to it. At the
// end or a failure, the last block gives the same answer to every call.
static std::ptrdiff_t take_text(compressed_input& in, char* data, std::size_t n) {
    decoder& d = *in.state;
    relay_block& b = d.texts.blocks[d.taking];
    const text_status& s = d.status[d.taking];
    await_block(d.texts, b, true);
    in.bytes_read = s.bytes_read;
    if (d.taken == b.size) {
        if (s.thrown) std::rethrow_exception(s.thrown);
        in.problem = s.problem;
        errno = s.error;
        return s.after;
    }
    std::size_t k = std::min(n, b.size - d.taken);
    std::memcpy(data, b.bytes.get() + d.taken, k);
    d.taken += k;
    if (d.taken == b.size && s.after > 0) {
        hand_over(d.texts, b, false);
        d.taking ^= 1;
        d.taken = 0;
    }
    return static_cast<std::ptrdiff_t>(k);
}

static std::ptrdiff_t decoded_text(compressed_input& in, char* data, std::size_t n) {
    return in.state->texts.helper.started ? take_text(in, data, n) : decode_here(in, data, n);
}

// The first bytes, read into data, tell the format; those of a compressed
// input go on to its decoder.
static std::ptrdiff_t first_read(compressed_input& in, int fd, char* data, std::size_t n) {
    n = std::min(n, compressed_block_size);
    auto* bytes = reinterpret_cast<unsigned char*>(data);
    std::size_t got = 0;
    bool partly = true;
    while (partly) {
        std::ptrdiff_t r = read_some(fd, data + got, n - got);
        if (r < 0) return -1;
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
        in.bytes_read += r;
        in.format = format_of(bytes, got, partly);
    }
    in.format_known = true;
    if (in.format == stream_format::plain) return static_cast<std::ptrdiff_t>(got);
    if ((in.problem = missing_library(in.format)) != nullptr) return -1;
    in.state.reset(new decoder);
    decoder& d = *in.state;
    d.fd = fd;
    std::memcpy(d.block.bytes.get(), bytes, got);
    d.block.end = got;
    d.block.bytes_read = in.bytes_read;
#ifdef STATETOOLS_GZIP
    if (in.format == stream_format::gzip) d.gzip = new_gzip_decoder();
#endif
#ifdef STATETOOLS_ZSTD
    if (in.format == stream_format::zstd) d.zstd = new_zstd_decoder();
#endif
#ifdef STATETOOLS_XZ
    if (in.format == stream_format::xz) d.xz = new_xz_decoder();
#endif
#ifdef STATETOOLS_BZIP2
    if (in.format == stream_format::bzip2) d.bzip2 = new_bzip2_decoder();
#endif
    start_relay(d.texts, text_block_size, decode_ahead, &d);
    return decoded_text(in, data, n);
}

std::ptrdiff_t read_text(compressed_input& in, int fd, char* data, std::size_t n) {
    if (!in.format_known) return first_read(in, fd, data, n);
    if (in.format != stream_format::plain) return decoded_text(in, data, n);
    std::ptrdiff_t got = read_some(fd, data, n);
    if (got > 0) in.bytes_read += got;
    return got;
}
