#include "compressed.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "codecs.h"
#include "platform.h"

void free_decoder(decoder* d) {
#ifdef STATETOOLS_GZIP
    if (d->gzip != nullptr) delete_gzip_decoder(d->gzip);
#endif
#ifdef STATETOOLS_ZSTD
    if (d->zstd != nullptr) delete_zstd_decoder(d->zstd);
#endif
#ifdef STATETOOLS_XZ
    if (d->xz != nullptr) delete_xz_decoder(d->xz);
#endif
#ifdef STATETOOLS_BZIP2
    if (d->bzip2 != nullptr) delete_bzip2_decoder(d->bzip2);
#endif
    delete d;
}

void decoder_deleter::operator()(decoder* d) const noexcept {
    stop_relay(d->texts);  // before the codec it uses goes
    free_decoder(d);
}

void close_compressed_input(compressed_input& in, int fd) {
    decoder* d = in.state.release();
    if (d != nullptr && leave_helper(d->texts)) return;  // the helper closes fd and frees d
    if (d != nullptr) free_decoder(d);
    close_file(fd);
}

void encoder_deleter::operator()(encoder* e) const noexcept {
#ifdef STATETOOLS_GZIP
    if (e->gzip != nullptr) delete_gzip_encoder(e->gzip);
#endif
#ifdef STATETOOLS_ZSTD
    if (e->zstd != nullptr) delete_zstd_encoder(e->zstd);
#endif
#ifdef STATETOOLS_XZ
    if (e->xz != nullptr) delete_xz_encoder(e->xz);
#endif
#ifdef STATETOOLS_BZIP2
    if (e->bzip2 != nullptr) delete_bzip2_encoder(e->bzip2);
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

// The bytes that open each format, as ranges a byte (zstd's skippable
// frames have sixteen magic numbers, bzip2 gives its block size as a
// digit). Text never holds the control bytes each of them has.
struct format_magic {
    stream_format format;
    unsigned char low[10];
    unsigned char high[10];
    std::size_t size;
};
static constexpr format_magic magics[] = {
    {stream_format::gzip, {0x1f, 0x8b}, {0x1f, 0x8b}, 2},
    {stream_format::zstd, {0x28, 0xb5, 0x2f, 0xfd}, {0x28, 0xb5, 0x2f, 0xfd}, 4},
    {stream_format::zstd, {0x50, 0x2a, 0x4d, 0x18}, {0x5f, 0x2a, 0x4d, 0x18}, 4},
    {stream_format::xz, {0xfd, '7', 'z', 'X', 'Z', 0}, {0xfd, '7', 'z', 'X', 'Z', 0}, 6},
    {stream_format::bzip2, {'B', 'Z', 'h', '1', 0x31, 0x41, 0x59, 0x26, 0x53, 0x59},
     {'B', 'Z', 'h', '9', 0x31, 0x41, 0x59, 0x26, 0x53, 0x59}, 10},
    {stream_format::bzip2, {'B', 'Z', 'h', '1', 0x17, 0x72, 0x45, 0x38, 0x50, 0x90},
     {'B', 'Z', 'h', '9', 0x17, 0x72, 0x45, 0x38, 0x50, 0x90}, 10},
    {stream_format::lz4, {0x04, 0x22, 0x4d, 0x18}, {0x04, 0x22, 0x4d, 0x18}, 4},
    {stream_format::lz4, {0x02, 0x21, 0x4c, 0x18}, {0x02, 0x21, 0x4c, 0x18}, 4},
    {stream_format::zip, {'P', 'K', 3, 4}, {'P', 'K', 3, 4}, 4},
    {stream_format::zip, {'P', 'K', 5, 6}, {'P', 'K', 5, 6}, 4},
    {stream_format::seven_zip, {'7', 'z', 0xbc, 0xaf, 0x27, 0x1c}, {'7', 'z', 0xbc, 0xaf, 0x27, 0x1c}, 6},
    {stream_format::rar, {'R', 'a', 'r', '!', 0x1a, 0x07}, {'R', 'a', 'r', '!', 0x1a, 0x07}, 6},
    {stream_format::lzip, {'L', 'Z', 'I', 'P', 1}, {'L', 'Z', 'I', 'P', 1}, 5},
    {stream_format::lzop, {0x89, 'L', 'Z', 'O', 0, 0x0d, 0x0a, 0x1a, 0x0a}, {0x89, 'L', 'Z', 'O', 0, 0x0d, 0x0a, 0x1a, 0x0a}, 9},
    {stream_format::compress, {0x1f, 0x9d}, {0x1f, 0x9d}, 2},
};

stream_format format_of(const unsigned char* p, std::size_t n, bool& partly) {
    partly = false;
    for (const format_magic& m : magics) {
        std::size_t i = 0;
        while (i < n && i < m.size && p[i] >= m.low[i] && p[i] <= m.high[i]) ++i;
        if (i == m.size) return m.format;
        partly = partly || i == n;
    }
    return stream_format::plain;
}

stream_format format_named_by(std::string_view first_bytes) {
    bool partly = false;
    return format_of(reinterpret_cast<const unsigned char*>(first_bytes.data()), first_bytes.size(), partly);
}

const char* missing_library(stream_format format) {
    switch (format) {
    case stream_format::plain: return nullptr;
    case stream_format::gzip: return has_gzip ? nullptr : "gzip needs ISA-L, which this build lacks";
    case stream_format::zstd: return has_zstd ? nullptr : "zstd needs libzstd, which this build lacks";
    case stream_format::xz: return has_xz ? nullptr : "xz needs liblzma, which this build lacks";
    case stream_format::bzip2: return has_bzip2 ? nullptr : "bzip2 needs libbz2, which this build lacks";
    case stream_format::lz4: return "lz4 data, which these tools do not read";
    case stream_format::zip: return "zip data, which these tools do not read";
    case stream_format::seven_zip: return "7-Zip data, which these tools do not read";
    case stream_format::rar: return "RAR data, which these tools do not read";
    case stream_format::lzip: return "lzip data, which these tools do not read";
    case stream_format::lzop: return "lzop data, which these tools do not read";
    case stream_format::compress: return "compress (.Z) data, which these tools do not read";
    }
    return nullptr;
}

// Names are compared without regard to case: OUT.TRA.GZ is gzip too.
static bool ends_with_name(std::string_view path, std::string_view suffix) {
    if (path.size() < suffix.size()) return false;
    path.remove_prefix(path.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(path[i])) != suffix[i]) return false;
    return true;
}

stream_format format_for_name(std::string_view path) {
    if (ends_with_name(path, ".gz")) return stream_format::gzip;
    if (ends_with_name(path, ".zst")) return stream_format::zstd;
    if (ends_with_name(path, ".xz")) return stream_format::xz;
    if (ends_with_name(path, ".bz2")) return stream_format::bzip2;
    return stream_format::plain;
}

// "a, b and c": the names joined as a sentence lists them.
static std::string listed(const std::vector<std::string>& names, const char* last_joint) {
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? last_joint : ", ") + names[i];
    return list;
}

std::string compressed_formats_line() {
    struct named {
        bool built;
        const char* name;
        const char* suffix;
    } const formats[] = {{has_gzip, "gzip", "*.gz"}, {has_zstd, "zstd", "*.zst"}, {has_xz, "xz", "*.xz"},
                         {has_bzip2, "bzip2", "*.bz2"}};
    std::vector<std::string> read{"plain"}, written, missing;
    for (const named& f : formats) {
        (f.built ? read : missing).push_back(f.name);
        if (f.built) written.push_back(f.suffix);
    }
    if (written.empty()) return "Reads and writes plain text only: this build has no compression library.\n";
    std::string line = "Reads " + listed(read, " and ") + " input (told by its first bytes)";
    if (!missing.empty()) line += ";\nthis build lacks " + listed(missing, " and ");
    return line + ".\nAn outfile named " + listed(written, " or ") + " is written in that format.\n";
}
