// The frame of a run that every tool shares: the argument count and usage
// line, the messages on standard output, the exit status.
#pragma once

#include <cstdint>
#include <new>
#include <string_view>

// Exit statuses shared by the tools.
constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

// Prints the usage line and gives the status to exit with.
int usage(std::string_view format_line);

// The console: standard output, written line by line as the messages come,
// with nothing allocated, so that a run out of memory can still say so.
struct console {
    int fd;
    bool failed = false;  // sticky, as for output files
    bool was_open = true;  // standard output was open when the run began
};

// The console of a run that had the right arguments.
console open_console();
void console_put(console& c, std::string_view text);
// Prints the done line, closes standard output and gives the exit status:
// a failed run, or a console that could not be written, is a failure.
int finish(console& c, std::int64_t result, bool run_ok);

// Runs a conversion; a failed allocation anywhere in it is a failed run,
// which gives `failed`, and never an abort.
template <typename Result, typename Conversion>
Result unless_out_of_memory(Result failed, Conversion conversion) noexcept {
    try {
        return conversion();
    } catch (const std::bad_alloc&) {
        return failed;
    }
}
