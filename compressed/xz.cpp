// xz through liblzma: streams decoded one after the other, with the
// padding of zero bytes the format allows between them, and their checks
// verified; output at preset 1, checked by CRC64 as the xz tool writes it.
#include <cerrno>
#include <lzma.h>
#include <memory>
#include <new>

#include "codecs.h"
#include "platform.h"

struct xz_decoder {
    lzma_stream stream = LZMA_STREAM_INIT;
    bool in_stream = true;  // the data starts with a stream's magic
    ~xz_decoder() { lzma_end(&stream); }
};

// With the options given here, the library fails to start a stream only
// for want of memory.
static void started(lzma_ret ret) {
    if (ret != LZMA_OK) throw std::bad_alloc();
}

xz_decoder* new_xz_decoder() {
    std::unique_ptr<xz_decoder> d(new xz_decoder);
    started(lzma_stream_decoder(&d->stream, max_decoder_window, 0));
    return d.release();
}

void delete_xz_decoder(xz_decoder* d) { delete d; }

static const char* decode_problem(lzma_ret ret) {
    switch (ret) {
    case LZMA_MEMLIMIT_ERROR: return "xz data whose dictionary needs more than 128 MiB";
    case LZMA_OPTIONS_ERROR: return "xz data of options these tools do not read";
    case LZMA_BUF_ERROR: return "xz data cut short";
    default: return "xz data damaged";
    }
}

// Where a stream has ended: padding, then another stream or the end of
// the data (done).
static bool at_next_stream(xz_decoder& d, compressed_block& block, int fd, bool& done) {
    for (;;) {
        while (block.start < block.end && block.bytes[block.start] == 0) ++block.start;
        if (block.end - block.start >= 6 || (block.ended && block.start < block.end)) break;
        if (block.ended) {
            done = true;
            return true;
        }
        if (!refill(block, fd)) return false;
    }
    bool partly = false;
    if (format_of(block.bytes.get() + block.start, block.end - block.start, partly) != stream_format::xz) {
        block.problem = "data after the end of the xz data";
        return false;
    }
    started(lzma_stream_decoder(&d.stream, max_decoder_window, 0));
    d.in_stream = true;
    return true;
}

std::ptrdiff_t xz_decode(xz_decoder& d, compressed_block& block, int fd, char* data, std::size_t n) {
    lzma_stream& s = d.stream;
    for (;;) {
        int ready = ready_to_decode(d.in_stream, block, fd, [&](bool& done) { return at_next_stream(d, block, fd, done); });
        if (ready <= 0) return ready;
        s.next_in = block.bytes.get() + block.start;
        s.avail_in = block.end - block.start;
        s.next_out = reinterpret_cast<std::uint8_t*>(data);
        s.avail_out = n;
        lzma_ret ret = lzma_code(&s, block.ended ? LZMA_FINISH : LZMA_RUN);
        block.start = block.end - s.avail_in;
        auto produced = static_cast<std::ptrdiff_t>(n - s.avail_out);
        if (ret == LZMA_MEM_ERROR) throw std::bad_alloc();
        if (ret != LZMA_OK && ret != LZMA_STREAM_END) {
            block.problem = decode_problem(ret);
            return -1;
        }
        if (ret == LZMA_STREAM_END) d.in_stream = false;
        if (produced > 0) return produced;
    }
}

struct xz_encoder {
    lzma_stream stream = LZMA_STREAM_INIT;
    std::unique_ptr<std::uint8_t[]> out{new std::uint8_t[compressed_block_size]};
    ~xz_encoder() { lzma_end(&stream); }
};

xz_encoder* new_xz_encoder() {
    std::unique_ptr<xz_encoder> e(new xz_encoder);
    started(lzma_easy_encoder(&e->stream, 1, LZMA_CHECK_CRC64));
    return e.release();
}

void delete_xz_encoder(xz_encoder* e) { delete e; }

bool xz_encode(xz_encoder& e, int fd, const char* data, std::size_t n, bool finish) {
    lzma_stream& s = e.stream;
    s.next_in = reinterpret_cast<const std::uint8_t*>(data);
    s.avail_in = n;
    for (;;) {
        s.next_out = e.out.get();
        s.avail_out = compressed_block_size;
        lzma_ret ret = lzma_code(&s, finish ? LZMA_FINISH : LZMA_RUN);
        if (ret != LZMA_OK && ret != LZMA_STREAM_END) {
            errno = ENOMEM;  // its failures are of memory or set-up
            return false;
        }
        std::size_t made = compressed_block_size - s.avail_out;
        if (!write_all(fd, reinterpret_cast<const char*>(e.out.get()), made)) return false;
        if (finish ? ret == LZMA_STREAM_END : s.avail_in == 0 && s.avail_out > 0) return true;
    }
}
