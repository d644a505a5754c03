// The line reader over arbitrary plain bytes, in tiny blocks so that lines
// straddle blocks: the lines must be those of a plain split after each line
// feed (a last line given one).
#include <string>
#include <unistd.h>

#include "fuzz_support.h"
#include "platform.h"
#include "reader.h"

static int file_holding(std::string_view text) {
    int fd = open_spool_file();
    require(fd >= 0 && write_all(fd, text.data(), text.size()) && seek_file(fd, 0));
    return fd;
}

static void require_lines(line_reader& r, std::string_view text) {
    std::size_t at = 0;
    while (const char* line = take_line(r)) {
        std::size_t feed = text.find('\n', at);
        std::size_t len = feed == std::string_view::npos ? text.size() - at : feed + 1 - at;
        std::string expected(text.substr(at, len));
        if (feed == std::string_view::npos) expected += '\n';
        require(len > 0 && std::string_view(line, expected.size()) == expected);
        at += len;
    }
    require(at == text.size() && !r.failed);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text = as_text(data, size);
    if (starts_compressed(text)) return 0;
    line_reader r = make_line_reader(file_holding(text));
    require_lines(r, text);
    close(r.fd);
    return 0;
}
