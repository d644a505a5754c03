// zstd through libzstd: frames decoded one after the other (the library
// starts the next by itself), with their checksums checked; output at
// level 1 with a checksum, as the zstd tool writes it.
#include <cerrno>
#include <zstd.h>
#include <zstd_errors.h>

#include "codecs.h"
#include "platform.h"

// A frame may ask for a window up to this size (the library's own default
// limit): beyond it the run fails rather than take the memory.
constexpr int max_window_log = 27;

struct zstd_decoder {
    ZSTD_DCtx* context = nullptr;
    bool in_frame = true;      // the stream starts with a frame's magic
    bool frame_ended = false;  // a whole frame has been read
    ~zstd_decoder() { ZSTD_freeDCtx(context); }
};

zstd_decoder* new_zstd_decoder() {
    auto* d = new zstd_decoder;
    d->context = ZSTD_createDCtx();
    if (d->context == nullptr) {
        delete d;
        throw std::bad_alloc();
    }
    ZSTD_DCtx_setParameter(d->context, ZSTD_d_windowLogMax, max_window_log);
    return d;
}

void delete_zstd_decoder(zstd_decoder* d) { delete d; }

static const char* decode_problem(const zstd_decoder& d, std::size_t result) {
    switch (ZSTD_getErrorCode(result)) {
    case ZSTD_error_checksum_wrong: return "zstd data damaged: bad checksum";
    case ZSTD_error_prefix_unknown:
        return d.frame_ended ? "data after the end of the zstd data" : "zstd data damaged: bad frame header";
    case ZSTD_error_frameParameter_windowTooLarge: return "zstd data whose window needs more than 128 MiB";
    default: return "zstd data damaged";
    }
}

std::ptrdiff_t zstd_decode(zstd_decoder& d, compressed_block& block, int fd, char* data, std::size_t n) {
    ZSTD_outBuffer out{data, n, 0};
    for (;;) {
        if (block.start == block.end && !block.ended && !refill(block, fd)) return -1;
        if (block.start == block.end && block.ended && !d.in_frame) return 0;
        ZSTD_inBuffer source{block.bytes.get(), block.end, block.start};
        std::size_t result = ZSTD_decompressStream(d.context, &out, &source);
        block.start = source.pos;
        if (ZSTD_isError(result)) {
            if (ZSTD_getErrorCode(result) == ZSTD_error_memory_allocation) throw std::bad_alloc();
            block.problem = decode_problem(d, result);
            return -1;
        }
        d.in_frame = result != 0;
        if (result == 0) d.frame_ended = true;
        if (out.pos > 0) return static_cast<std::ptrdiff_t>(out.pos);
        if (block.ended && block.start == block.end && d.in_frame) {
            block.problem = "zstd data cut short";
            return -1;
        }
    }
}

struct zstd_encoder {
    ZSTD_CCtx* context = nullptr;
    std::unique_ptr<char[]> out{new char[compressed_block_size]};
    ~zstd_encoder() { ZSTD_freeCCtx(context); }
};

zstd_encoder* new_zstd_encoder() {
    auto* e = new zstd_encoder;
    e->context = ZSTD_createCCtx();
    if (e->context == nullptr) {
        delete e;
        throw std::bad_alloc();
    }
    ZSTD_CCtx_setParameter(e->context, ZSTD_c_compressionLevel, 1);
    ZSTD_CCtx_setParameter(e->context, ZSTD_c_checksumFlag, 1);
    return e;
}

void delete_zstd_encoder(zstd_encoder* e) { delete e; }

bool zstd_encode(zstd_encoder& e, int fd, const char* data, std::size_t n, bool finish) {
    ZSTD_inBuffer source{data, n, 0};
    ZSTD_EndDirective mode = finish ? ZSTD_e_end : ZSTD_e_continue;
    for (;;) {
        ZSTD_outBuffer out{e.out.get(), compressed_block_size, 0};
        std::size_t left = ZSTD_compressStream2(e.context, &out, &source, mode);
        if (ZSTD_isError(left)) {
            errno = ENOMEM;  // its failures are of memory or set-up
            return false;
        }
        if (!write_all(fd, e.out.get(), out.pos)) return false;
        bool done = finish ? left == 0 : source.pos == source.size;
        if (done) return true;
    }
}
