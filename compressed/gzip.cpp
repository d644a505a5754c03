// gzip through ISA-L's igzip: members inflated one after the other, each
// header read here and each checksum checked by the library; output deflated
// at its fastest level that still finds repeats.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include "codecs.h"
#include "platform.h"

struct gzip_decoder {
    inflate_state state;
    bool in_member = false;  // a member's header has been read, its end not
};

gzip_decoder* new_gzip_decoder() {
    auto* d = new gzip_decoder;
    isal_inflate_init(&d->state);
    return d;
}

void delete_gzip_decoder(gzip_decoder* d) { delete d; }

static const char* inflate_problem(int status) {
    switch (status) {
    case ISAL_INCORRECT_CHECKSUM: return "gzip data damaged: bad checksum";
    default: return "gzip data damaged: invalid deflate data";
    }
}

// A member's header, read here rather than by the library, across any
// number of reads and of any length: a pipe may deliver its first bytes
// apart, and a name or comment may be longer than a block. The checksum a
// header may carry covers every byte before it.
struct member_header {
    compressed_block& block;
    int fd;
    std::uint32_t crc = 0;
};

// Bytes at the block's start, read on where none are left; false at the
// end of the file (problem set) or where a read failed.
static bool header_bytes_ready(member_header& h) {
    compressed_block& b = h.block;
    while (b.start == b.end) {
        if (b.ended) {
            b.problem = "gzip data cut short";
            return false;
        }
        if (!refill(b, h.fd)) return false;
    }
    return true;
}

static void take_header_bytes(member_header& h, std::size_t k) {
    h.crc = crc32_gzip_refl(h.crc, h.block.bytes.get() + h.block.start, k);
    h.block.start += k;
}

// count bytes of the header, copied to keep where it is not null.
static bool pass_header_bytes(member_header& h, std::size_t count, unsigned char* keep) {
    while (count > 0) {
        if (!header_bytes_ready(h)) return false;
        std::size_t k = std::min(count, h.block.end - h.block.start);
        if (keep != nullptr) std::memcpy(keep, h.block.bytes.get() + h.block.start, k), keep += k;
        take_header_bytes(h, k);
        count -= k;
    }
    return true;
}

// A name or comment: bytes up to a zero byte.
static bool pass_zero_ended(member_header& h) {
    for (;;) {
        if (!header_bytes_ready(h)) return false;
        const unsigned char* p = h.block.bytes.get() + h.block.start;
        std::size_t left = h.block.end - h.block.start;
        const auto* zero = static_cast<const unsigned char*>(std::memchr(p, 0, left));
        take_header_bytes(h, zero != nullptr ? static_cast<std::size_t>(zero - p) + 1 : left);
        if (zero != nullptr) return true;
    }
}

enum : unsigned char { header_crc = 2, extra_field = 4, file_name = 8, file_comment = 16, reserved_flags = 0xe0 };

static bool header_damaged(compressed_block& block, const char* problem) {
    block.problem = problem;
    return false;
}

static bool read_member_header(compressed_block& block, int fd) {
    member_header h{block, fd};
    unsigned char fixed[10];  // magic, method, flags, time, extra flags, system
    if (!pass_header_bytes(h, sizeof fixed, fixed)) return false;
    if (fixed[2] != 8) return header_damaged(block, "gzip data of an unknown compression method");
    unsigned char flags = fixed[3];
    if ((flags & reserved_flags) != 0) return header_damaged(block, "gzip data damaged: bad member header");
    if ((flags & extra_field) != 0) {
        unsigned char length[2];
        if (!pass_header_bytes(h, 2, length) || !pass_header_bytes(h, length[0] | length[1] << 8, nullptr))
            return false;
    }
    if ((flags & file_name) != 0 && !pass_zero_ended(h)) return false;
    if ((flags & file_comment) != 0 && !pass_zero_ended(h)) return false;
    if ((flags & header_crc) != 0) {
        std::uint32_t want = h.crc & 0xffff;
        unsigned char crc[2];
        if (!pass_header_bytes(h, 2, crc)) return false;
        if ((crc[0] | crc[1] << 8) != static_cast<int>(want))
            return header_damaged(block, "gzip data damaged: bad member header");
    }
    return true;
}

// Zero bytes after the last member, as some tools pad a file with, end the
// data as gzip takes them; anything else after them is not gzip data.
static bool only_zeros_follow(compressed_block& block, int fd) {
    for (;;) {
        for (; block.start < block.end; ++block.start)
            if (block.bytes[block.start] != 0) return false;
        if (block.ended) return true;
        if (!refill(block, fd)) return false;
    }
}

// Where a member may start: another member (its header read), or the end
// of the data (done).
static bool at_next_member(gzip_decoder& d, compressed_block& block, int fd, bool& done) {
    while (block.end - block.start < 2 && !block.ended)
        if (!refill(block, fd)) return false;
    done = block.start == block.end;
    if (done) return true;
    bool partly = false;
    if (block.bytes[block.start] == 0) {
        if (!only_zeros_follow(block, fd)) {
            if (block.problem == nullptr && block.start < block.end)
                block.problem = "data after the end of the gzip data";
            return false;
        }
        done = true;
        return true;
    }
    if (format_of(block.bytes.get() + block.start, block.end - block.start, partly) != stream_format::gzip)
        return header_damaged(block, "data after the end of the gzip data");
    if (!read_member_header(block, fd)) return false;
    isal_inflate_reset(&d.state);
    d.state.crc_flag = ISAL_GZIP_NO_HDR_VER;  // the deflate data, then the trailer checked
    d.in_member = true;
    return true;
}

std::ptrdiff_t gzip_decode(gzip_decoder& d, compressed_block& block, int fd, char* data, std::size_t n) {
    inflate_state& s = d.state;
    for (;;) {
        int ready = ready_to_decode(d.in_member, block, fd, [&](bool& done) { return at_next_member(d, block, fd, done); });
        if (ready <= 0) return ready;
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
        if (s.block_state == ISAL_BLOCK_FINISH) d.in_member = false;
        auto produced = static_cast<std::ptrdiff_t>(n - s.avail_out);
        if (produced > 0) return produced;
        if (block.ended && block.start == block.end && d.in_member) {
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
