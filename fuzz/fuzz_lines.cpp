// The line reader over arbitrary bytes, with small blocks chosen by the
// input so that lines straddle blocks: the lines must be those of a plain
// split after each line feed, and the copy must hold every byte.
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "fuzz_support.h"
#include "lineread.h"

static int file_holding(std::string_view text) {
    int fd = memfd_create("lines", 0);
    require(fd >= 0 && write_all(fd, text.data(), text.size()) && lseek(fd, 0, SEEK_SET) == 0);
    return fd;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::size_t block = data[0] % 64 + 1;
    std::string_view text = as_text(data + 1, size - 1);
    int fd = file_holding(text);
    int copy = memfd_create("copy", 0);
    line_reader r = make_line_reader(fd, copy, block);
    std::string_view line;
    std::size_t at = 0;
    while (next_line(r, line)) {
        std::size_t feed = text.find('\n', at);
        std::size_t len = feed == std::string_view::npos ? text.size() - at : feed + 1 - at;
        require(len > 0 && line == text.substr(at, len));
        at += len;
    }
    require(at == text.size() && !r.failed);
    std::string copied(text.size() + 1, '\0');
    require(pread(copy, copied.data(), copied.size(), 0) == static_cast<ssize_t>(text.size()));
    require(std::string_view(copied.data(), text.size()) == text);
    close(fd);
    close(copy);
    return 0;
}
