#include "compressed.h"

#include <algorithm>
#include <cstring>

#include "codecs.h"
#include "platform.h"

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

// The decoder of one format, with the compressed bytes it reads.
struct decoder {
    compressed_block block;
    gzip_decoder* gzip = nullptr;
    zstd_decoder* zstd = nullptr;
};

struct encoder {
    gzip_encoder* gzip = nullptr;
    zstd_encoder* zstd = nullptr;
};

void decoder_deleter::operator()(decoder* d) const noexcept {
#ifdef STATETOOLS_GZIP
    if (d->gzip != nullptr) delete_gzip_decoder(d->gzip);
#endif
#ifdef STATETOOLS_ZSTD
    if (d->zstd != nullptr) delete_zstd_decoder(d->zstd);
#endif
    delete d;
}

void encoder_deleter::operator()(encoder* e) const noexcept {
#ifdef STATETOOLS_GZIP
    if (e->gzip != nullptr) delete_gzip_encoder(e->gzip);
#endif
#ifdef STATETOOLS_ZSTD
    if (e->zstd != nullptr) delete_zstd_encoder(e->zstd);
#endif
    delete e;
}

bool refill(compressed_block& block, int fd, compressed_input& in) {
    unsigned char* bytes = block.bytes.get();
    std::size_t kept = block.end - block.start;
    if (block.start > 0) std::memmove(bytes, bytes + block.start, kept);
    block.start = 0;
    block.end = kept;
    std::ptrdiff_t n = read_some(fd, reinterpret_cast<char*>(bytes) + kept, compressed_block_size - kept);
    if (n < 0) return false;
    if (n == 0) block.ended = true;
    block.end += static_cast<std::size_t>(n);
    in.bytes_read += n;
    return true;
}

// A gzip member starts 1f 8b, a zstd frame 28 b5 2f fd. `partly` asks
// whether the bytes so far could still grow into one of them.
static stream_format format_of(const unsigned char* p, std::size_t n, bool& partly) {
    static constexpr unsigned char gzip_magic[] = {0x1f, 0x8b};
    static constexpr unsigned char zstd_magic[] = {0x28, 0xb5, 0x2f, 0xfd};
    auto starts = [&](const unsigned char* magic, std::size_t size) {
        std::size_t m = std::min(n, size);
        if (std::memcmp(p, magic, m) != 0) return false;
        partly = partly || m < size;
        return m == size;
    };
    partly = false;
    if (starts(gzip_magic, sizeof gzip_magic)) return stream_format::gzip;
    if (starts(zstd_magic, sizeof zstd_magic)) return stream_format::zstd;
    return stream_format::plain;
}

const char* missing_library(stream_format format) {
    if (format == stream_format::gzip && !has_gzip) return "gzip needs ISA-L, which this build lacks";
    if (format == stream_format::zstd && !has_zstd) return "zstd needs libzstd, which this build lacks";
    return nullptr;
}

static std::ptrdiff_t decode(compressed_input& in, int fd, char* data, std::size_t n) {
    decoder& d = *in.state;
#ifdef STATETOOLS_GZIP
    if (d.gzip != nullptr) return gzip_decode(*d.gzip, d.block, fd, in, data, n);
#endif
#ifdef STATETOOLS_ZSTD
    if (d.zstd != nullptr) return zstd_decode(*d.zstd, d.block, fd, in, data, n);
#endif
    (void)d, (void)fd, (void)data, (void)n;
    return 0;
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
    std::memcpy(d.block.bytes.get(), bytes, got);
    d.block.end = got;
#ifdef STATETOOLS_GZIP
    if (in.format == stream_format::gzip) d.gzip = new_gzip_decoder();
#endif
#ifdef STATETOOLS_ZSTD
    if (in.format == stream_format::zstd) d.zstd = new_zstd_decoder();
#endif
    return decode(in, fd, data, n);
}

std::ptrdiff_t read_text(compressed_input& in, int fd, char* data, std::size_t n) {
    if (!in.format_known) return first_read(in, fd, data, n);
    if (in.format != stream_format::plain) return decode(in, fd, data, n);
    std::ptrdiff_t got = read_some(fd, data, n);
    if (got > 0) in.bytes_read += got;
    return got;
}

stream_format format_for_name(std::string_view path) {
    if (path.ends_with(".gz")) return stream_format::gzip;
    if (path.ends_with(".zst")) return stream_format::zstd;
    return stream_format::plain;
}

compressed_output start_compressed_output(stream_format format) {
    compressed_output out;
    out.format = format;
    if (format == stream_format::plain) return out;
    out.state.reset(new encoder);
#ifdef STATETOOLS_GZIP
    if (format == stream_format::gzip) out.state->gzip = new_gzip_encoder();
#endif
#ifdef STATETOOLS_ZSTD
    if (format == stream_format::zstd) out.state->zstd = new_zstd_encoder();
#endif
    return out;
}

static bool encode(compressed_output& out, int fd, const char* data, std::size_t n, bool finish) {
    encoder& e = *out.state;
#ifdef STATETOOLS_GZIP
    if (e.gzip != nullptr) return gzip_encode(*e.gzip, fd, data, n, finish);
#endif
#ifdef STATETOOLS_ZSTD
    if (e.zstd != nullptr) return zstd_encode(*e.zstd, fd, data, n, finish);
#endif
    (void)e, (void)fd, (void)data, (void)n, (void)finish;
    return true;
}

bool write_compressed(compressed_output& out, int fd, const char* data, std::size_t n) {
    if (out.format == stream_format::plain) return write_all(fd, data, n);
    // The libraries count in 32 bits.
    constexpr std::size_t most = std::size_t{1} << 30;
    for (; n > most; data += most, n -= most)
        if (!encode(out, fd, data, most, false)) return false;
    return encode(out, fd, data, n, false);
}

bool finish_compressed(compressed_output& out, int fd) {
    return out.format == stream_format::plain || encode(out, fd, nullptr, 0, true);
}

std::string_view compressed_formats_line() {
    if (has_gzip && has_zstd)
        return "Reads plain, gzip and zstd input (told by its first bytes); an outfile\n"
               "named *.gz is written with gzip, one named *.zst with zstd.\n";
    if (has_gzip)
        return "Reads plain and gzip input (told by its first bytes; no zstd in this\n"
               "build); an outfile named *.gz is written with gzip.\n";
    if (has_zstd)
        return "Reads plain and zstd input (told by its first bytes; no gzip in this\n"
               "build); an outfile named *.zst is written with zstd.\n";
    return "Reads plain text only: this build has neither gzip nor zstd.\n";
}
