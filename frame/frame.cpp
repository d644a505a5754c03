#include "frame.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "numbers.h"
#include "platform.h"

#ifndef STATETOOLS_VERSION
#define STATETOOLS_VERSION "unknown"
#endif

static void put(int fd, std::string_view text) { write_all(fd, text.data(), text.size()); }

static bool is_argument(const char* arg, std::string_view option) { return std::string_view(arg) == option; }

int answer_option(int argc, char** argv, const tool_text& tool) {
    if (argc != 2) return -1;
    if (is_argument(argv[1], "--help") || is_argument(argv[1], "-h")) {
        keep_standard_streams_open();
        put(standard_output, tool.format_line);
        put(standard_output, tool.help);
        return exit_ok;
    }
    if (is_argument(argv[1], "--version")) {
        keep_standard_streams_open();
        put(standard_output, tool.name);
        put(standard_output, " (statetools) " STATETOOLS_VERSION "\n");
        return exit_ok;
    }
    return -1;
}

int usage(const tool_text& tool) {
    keep_standard_streams_open();
    put(standard_output, tool.format_line);
    return exit_usage;
}

console open_console() {
    console c{standard_output};
    c.was_open = keep_standard_streams_open();
    return c;
}

void console_put(console& c, std::string_view text) {
    if (c.failed) return;
    if (!write_all(c.fd, text.data(), text.size())) {
        c.failed = true;
        c.error = errno;
    }
}

// "tool: path: reason" on standard error, written without allocating.
static void report(const tool_text& tool, const failure& why) {
    put(standard_error, tool.name);
    put(standard_error, ": ");
    if (!why.path.empty()) {
        put(standard_error, why.path);
        put(standard_error, ": ");
    }
    if (why.reason[0] != '\0')
        put(standard_error, why.reason);
    else
        put(standard_error, why.error != 0 ? std::strerror(why.error) : "the run failed");
    put(standard_error, "\n");
}

int finish(console& c, const tool_text& tool, std::int64_t result, bool run_ok, const failure& why) {
    char line[max_int_chars + 16] = "done: ";
    char* p = write_int(line + 6, result);
    *p++ = '\n';
    console_put(c, std::string_view(line, static_cast<std::size_t>(p - line)));
    if (!c.failed && !close_file(c.fd)) {
        c.failed = true;
        c.error = errno;
    }
    if (!run_ok) {
        report(tool, why);
    } else if (!c.was_open || c.failed) {
        report(tool, system_failure("standard output", c.was_open ? c.error : EBADF));
    }
    return run_ok && c.was_open && !c.failed ? exit_ok : exit_failed;
}
