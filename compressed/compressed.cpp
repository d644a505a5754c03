#include "compressed.h"

#include <algorithm>
#include <cstring>

#include "codecs.h"
#include "platform.h"

void decoder_deleter::operator()(decoder* d) const noexcept {
    stop_relay(d->texts);  // before the codec it uses goes
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

bool refill(compressed_block& block, int fd) {
    unsigned char* bytes = block.bytes.get();
    std::size_t kept = block.end - block.start;
    if (block.start > 0) std::memmove(bytes, bytes + block.start, kept);
    block.start = 0;
    block.end = kept;
    std::ptrdiff_t n = read_some(fd, reinterpret_cast<char*>(bytes) + kept, compressed_block_size - kept);
    if (n < 0) return false;
    if (n == 0) block.ended = true;
    block.end += static_cast<std::size_t>(n);
    block.bytes_read += n;
    return true;
}

stream_format format_of(const unsigned char* p, std::size_t n, bool& partly) {
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

stream_format format_for_name(std::string_view path) {
    if (path.ends_with(".gz")) return stream_format::gzip;
    if (path.ends_with(".zst")) return stream_format::zstd;
    return stream_format::plain;
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
