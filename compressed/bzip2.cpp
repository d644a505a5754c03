// bzip2 through libbz2: streams decoded one after the other (parallel
// bzip2 tools write many), each with its checksums checked; output with
// blocks of 100 kB, the fastest and smallest in memory.
#include <bzlib.h>
#include <cerrno>
#include <new>

#include "codecs.h"
#include "platform.h"

struct bzip2_decoder {
    bz_stream stream{};
    bool in_stream = false;  // a stream has been started and not ended
    ~bzip2_decoder() {
        if (in_stream) BZ2_bzDecompressEnd(&stream);
    }
};

bzip2_decoder* new_bzip2_decoder() { return new bzip2_decoder; }
void delete_bzip2_decoder(bzip2_decoder* d) { delete d; }

static bool start_stream(bzip2_decoder& d) {
    d.stream = bz_stream{};
    if (BZ2_bzDecompressInit(&d.stream, 0, 0) != BZ_OK) throw std::bad_alloc();
    d.in_stream = true;
    return true;
}

// Where a stream may start: another stream, or the end of the data (done).
static bool at_next_stream(bzip2_decoder& d, compressed_block& block, int fd, bool& done) {
    while (block.end - block.start < 10 && !block.ended)
        if (!refill(block, fd)) return false;
    done = block.start == block.end;
    if (done) return true;
    bool partly = false;
    if (format_of(block.bytes.get() + block.start, block.end - block.start, partly) != stream_format::bzip2) {
        block.problem = "data after the end of the bzip2 data";
        return false;
    }
    return start_stream(d);
}

static const char* decode_problem(int status) {
    if (status == BZ_MEM_ERROR) throw std::bad_alloc();
    return "bzip2 data damaged";
}

std::ptrdiff_t bzip2_decode(bzip2_decoder& d, compressed_block& block, int fd, char* data, std::size_t n) {
    bz_stream& s = d.stream;
    for (;;) {
        int ready = ready_to_decode(d.in_stream, block, fd, [&](bool& done) { return at_next_stream(d, block, fd, done); });
        if (ready <= 0) return ready;
        s.next_in = reinterpret_cast<char*>(block.bytes.get() + block.start);
        s.avail_in = static_cast<unsigned>(block.end - block.start);
        s.next_out = data;
        s.avail_out = static_cast<unsigned>(n);
        int status = BZ2_bzDecompress(&s);
        block.start = block.end - s.avail_in;
        if (status != BZ_OK && status != BZ_STREAM_END) {
            block.problem = decode_problem(status);
            return -1;
        }
        if (status == BZ_STREAM_END) {
            BZ2_bzDecompressEnd(&s);
            d.in_stream = false;
        }
        auto produced = static_cast<std::ptrdiff_t>(n - s.avail_out);
        if (produced > 0) return produced;
        if (block.ended && block.start == block.end && d.in_stream) {
            block.problem = "bzip2 data cut short";
            return -1;
        }
    }
}

struct bzip2_encoder {
    bz_stream stream{};
    std::unique_ptr<char[]> out{new char[compressed_block_size]};
    ~bzip2_encoder() { BZ2_bzCompressEnd(&stream); }
};

bzip2_encoder* new_bzip2_encoder() {
    auto* e = new bzip2_encoder;
    if (BZ2_bzCompressInit(&e->stream, 1, 0, 0) != BZ_OK) {
        e->stream = bz_stream{};
        delete e;
        throw std::bad_alloc();
    }
    return e;
}

void delete_bzip2_encoder(bzip2_encoder* e) { delete e; }

bool bzip2_encode(bzip2_encoder& e, int fd, const char* data, std::size_t n, bool finish) {
    if (n == 0 && !finish) return true;  // the library calls a step without input a misuse
    bz_stream& s = e.stream;
    s.next_in = const_cast<char*>(data);
    s.avail_in = static_cast<unsigned>(n);
    for (;;) {
        s.next_out = e.out.get();
        s.avail_out = static_cast<unsigned>(compressed_block_size);
        int status = BZ2_bzCompress(&s, finish ? BZ_FINISH : BZ_RUN);
        if (status < 0) {
            errno = ENOMEM;  // its failures are of memory or set-up
            return false;
        }
        std::size_t made = compressed_block_size - s.avail_out;
        if (!write_all(fd, e.out.get(), made)) return false;
        if (finish ? status == BZ_STREAM_END : s.avail_in == 0) return true;
    }
}
