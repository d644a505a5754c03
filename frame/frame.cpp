#include "frame.h"

#include "numbers.h"
#include "platform.h"

int usage(std::string_view format_line) {
    keep_standard_streams_open();
    console c{standard_output};
    console_put(c, format_line);
    return exit_usage;
}

console open_console() {
    console c{standard_output};
    c.was_open = keep_standard_streams_open();
    return c;
}

void console_put(console& c, std::string_view text) {
    if (!c.failed && !write_all(c.fd, text.data(), text.size())) c.failed = true;
}

int finish(console& c, std::int64_t result, bool run_ok) {
    char line[max_int_chars + 16] = "done: ";
    char* p = write_int(line + 6, result);
    *p++ = '\n';
    console_put(c, std::string_view(line, static_cast<std::size_t>(p - line)));
    bool written = !c.failed && close_file(c.fd);
    return run_ok && c.was_open && written ? exit_ok : exit_failed;
}
