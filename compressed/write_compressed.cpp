// Compressed outputs: the bytes compressed as they come and written, on the
// tool's thread (a helper thread gained little: the compression itself
// takes most of the time).
#include "codecs.h"
#include "platform.h"

static bool encode(encoder& e, int fd, const char* data, std::size_t n, bool finish) {
#ifdef STATETOOLS_GZIP
    if (e.gzip != nullptr) return gzip_encode(*e.gzip, fd, data, n, finish);
#endif
#ifdef STATETOOLS_ZSTD
    if (e.zstd != nullptr) return zstd_encode(*e.zstd, fd, data, n, finish);
#endif
#ifdef STATETOOLS_XZ
    if (e.xz != nullptr) return xz_encode(*e.xz, fd, data, n, finish);
#endif
#ifdef STATETOOLS_BZIP2
    if (e.bzip2 != nullptr) return bzip2_encode(*e.bzip2, fd, data, n, finish);
#endif
    (void)e, (void)fd, (void)data, (void)n, (void)finish;
    return true;
}

compressed_output start_compressed_output(stream_format format) {
    compressed_output out;
    out.format = format;
    if (format == stream_format::plain) return out;
    out.state.reset(new encoder);
    [[maybe_unused]] encoder& e = *out.state;
#ifdef STATETOOLS_GZIP
    if (format == stream_format::gzip) e.gzip = new_gzip_encoder();
#endif
#ifdef STATETOOLS_ZSTD
    if (format == stream_format::zstd) e.zstd = new_zstd_encoder();
#endif
#ifdef STATETOOLS_XZ
    if (format == stream_format::xz) e.xz = new_xz_encoder();
#endif
#ifdef STATETOOLS_BZIP2
    if (format == stream_format::bzip2) e.bzip2 = new_bzip2_encoder();
#endif
    return out;
}

bool write_compressed(compressed_output& out, int fd, const char* data, std::size_t n) {
    if (out.format == stream_format::plain) return write_all(fd, data, n);
    // The libraries count in 32 bits.
    constexpr std::size_t most = std::size_t{1} << 30;
    for (; n > most; data += most, n -= most)
        if (!encode(*out.state, fd, data, most, false)) return false;
    return encode(*out.state, fd, data, n, false);
}

bool finish_compressed(compressed_output& out, int fd) {
    return out.format == stream_format::plain || encode(*out.state, fd, nullptr, 0, true);
}
