// The line reader over arbitrary bytes, in tiny blocks so that lines
// straddle blocks: the lines must be those of a plain split after each line
// feed (a last line given one), the spool must hold every byte, and a
// second pass over the spool must give the same lines.
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
    line_reader r = make_line_reader(file_holding(text));
    require(keep_copy(r));
    int spool = r.spool;
    require_lines(r, text);
    std::string copied(text.size() + 1, '\0');
    require(pread(spool, copied.data(), copied.size(), 0) == static_cast<ssize_t>(text.size()));
    require(std::string_view(copied.data(), text.size()) == text);
    require(rewind_reader(r));
    require_lines(r, text);
    close(r.fd);
    return 0;
}
