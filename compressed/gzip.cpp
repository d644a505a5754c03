// gzip through ISA-L's igzip: members inflated one after the other, each
// with its header and its checksum checked by the library; output deflated
// at its fastest level that still finds repeats.
#include <cerrno>
#include <cstring>
#include <isa-l/igzip_lib.h>

#include "codecs.h"
#include "platform.h"

struct gzip_decoder {
    inflate_state state;
};

gzip_decoder* new_gzip_decoder() {
    auto* d = new gzip_decoder;
    isal_inflate_init(&d->state);
    d->state.crc_flag = ISAL_GZIP;
    return d;
}

void delete_gzip_decoder(gzip_decoder* d) { delete d; }

static const char* inflate_problem(int status) {
    switch (status) {
    case ISAL_INCORRECT_CHECKSUM: return "gzip data damaged: bad checksum";
    case ISAL_INVALID_WRAPPER: return "gzip data damaged: bad member header";
    case ISAL_UNSUPPORTED_METHOD: return "gzip data of an unknown compression method";
    default: return "gzip data damaged: invalid deflate data";
    }
}

// A member has ended: what follows is another member, or the end.
static bool at_next_member(gzip_decoder& d, compressed_block& block, int fd, bool& done) {
    while (block.end - block.start < 2 && !block.ended)
        if (!refill(block, fd)) return false;
    done = block.start == block.end;
    if (done) return true;
    bool partly = false;
    if (format_of(block.bytes.get() + block.start, block.end - block.start, partly) != stream_format::gzip) {
        block.problem = "data after the end of the gzip data";
        return false;
    }
    isal_inflate_reset(&d.state);
    d.state.crc_flag = ISAL_GZIP;
    return true;
}

std::ptrdiff_t gzip_decode(gzip_decoder& d, compressed_block& block, int fd, char* data, std::size_t n) {
    inflate_state& s = d.state;
    for (;;) {
        if (s.block_state == ISAL_BLOCK_FINISH) {
            bool done = false;
            if (!at_next_member(d, block, fd, done)) return -1;
            if (done) return 0;
        }
        if (block.start == block.end && !block.ended && !refill(block, fd)) return -1;
        s.next_in = block.bytes.get() + block.start;
        s.avail_in = static_cast<std::uint32_t>(block.end - block.start);
        s.next_out = reinterpret_cast<std::uint8_t*>(data);
        s.avail_out = static_cast<std::uint32_t>(n);
        int status = isal_inflate(&s);
        block.start = block.end - s.avail_in;
        if (status < 0) {
            block.problem = inflate_problem(status);
            return -1;
        }
        auto produced = static_cast<std::ptrdiff_t>(n - s.avail_out);
        if (produced > 0) return produced;
        if (block.ended && block.start == block.end && s.block_state != ISAL_BLOCK_FINISH) {
            block.problem = "gzip data cut short";
            return -1;
        }
    }
}

struct gzip_encoder {
    isal_zstream stream;
    std::unique_ptr<std::uint8_t[]> level_buffer{new std::uint8_t[ISAL_DEF_LVL1_DEFAULT]};
    std::unique_ptr<std::uint8_t[]> out{new std::uint8_t[compressed_block_size]};
};

gzip_encoder* new_gzip_encoder() {
    auto* e = new gzip_encoder;
    isal_deflate_init(&e->stream);
    e->stream.gzip_flag = IGZIP_GZIP;
    e->stream.level = 1;
    e->stream.level_buf = e->level_buffer.get();
    e->stream.level_buf_size = ISAL_DEF_LVL1_DEFAULT;
    return e;
}

void delete_gzip_encoder(gzip_encoder* e) { delete e; }

bool gzip_encode(gzip_encoder& e, int fd, const char* data, std::size_t n, bool finish) {
    isal_zstream& s = e.stream;
    s.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(data));
    s.avail_in = static_cast<std::uint32_t>(n);
    s.end_of_stream = finish ? 1 : 0;
    do {
        s.next_out = e.out.get();
        s.avail_out = static_cast<std::uint32_t>(compressed_block_size);
        if (isal_deflate(&s) != COMP_OK) {
            errno = ENOMEM;  // its only failures are of its set-up
            return false;
        }
        std::size_t made = compressed_block_size - s.avail_out;
        if (!write_all(fd, reinterpret_cast<const char*>(e.out.get()), made)) return false;
    } while (s.avail_in > 0 || s.avail_out == 0 || (finish && s.internal_state.state != ZSTATE_END));
    return true;
}
