// The frame of a run that every tool shares: the arguments, the usage line
// and the standard options, the messages on standard output, the reason
// for a failure on standard error, the exit status.
#pragma once

#include <cstdint>
#include <new>
#include <string_view>

#include "check.h"
#include "failure.h"
#include "platform.h"

// Exit statuses shared by the tools.
constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

// What a tool says of itself: its name, its usage line, and what --help
// prints after the usage line.
struct tool_text {
    std::string_view name;
    std::string_view format_line;
    std::string_view help;
};

// A lone --help (or -h) prints the usage line and the help text, a lone
// --version the name and version; either gives exit_ok, or exit_failed and
// a reason when standard output could not be written. Any other arguments
// give -1: they are the run's.
int answer_option(int argc, char** argv, const tool_text& tool);
// Prints the usage line and gives the status to exit with.
int usage(const tool_text& tool);

// The options, which come before the file arguments: --check, --strict;
// "--" ends them. An argument is an option only where it begins with "--":
// "-" is a file (standard input or output), "-4" a number.
struct run_options {
    bool check = false;
    bool strict = false;
    bool quiet = false;  // no warning of problems seen
    int first_file = 1;  // the index of the first file argument
    const char* unknown = nullptr;  // an option that is none of these
    const char* alone = nullptr;    // --help or --version among other arguments
};
run_options read_options(int argc, char** argv);
// An option that cannot be taken: unknown, or one that stands alone.
inline bool misplaced_option(const run_options& o) { return o.unknown != nullptr || o.alone != nullptr; }
// The usage line for arguments that do not fit: an unknown option is
// named on standard error.
int usage(const tool_text& tool, const run_options& options);

// The console: standard output, written line by line as the messages come,
// with nothing allocated, so that a run out of memory can still say so.
struct console {
    int fd;
    standard_streams streams;  // which standard streams were open when the run began
    bool failed = false;       // sticky, as for output files
    int error = 0;             // the system's error number of the failed write
};

// The console of a run: standard output, or standard error where the
// output file (outfile) is standard output. Closed standard streams get
// stand-ins, and a write that fails (a pipe without a reader, a file-size
// limit) fails instead of ending the process, so that the run can say why.
console open_console(const char* outfile = nullptr);
void console_put(console& c, std::string_view text);
// Prints the done line, closes standard output and gives the exit status:
// a failed run, or a console that could not be written, is a failure, and
// its reason goes to standard error.
int finish(console& c, const tool_text& tool, std::int64_t result, bool run_ok, const failure& why);

// A default run that saw problems in its input (a log of mode warn, its
// first problem's line told, 0 where unknown) warns of them in one line on
// standard error, and names the check that lists them.
void warn_of_problems(const tool_text& tool, const char* infile, const check_log& seen);

// Prints a check run's report and gives the status: exit_ok without
// problems, exit_failed with problems or an input that could not be read
// (the reason then on standard error).
int finish_check(console& c, const tool_text& tool, const check_result& result, const failure& why);

// Runs a conversion; a failed allocation anywhere in it is a failed run,
// which gives `failed` and a lack of memory as the reason, and never an
// abort.
template <typename Result, typename Conversion>
Result unless_out_of_memory(Result failed, failure& why, Conversion conversion) noexcept {
    try {
        return conversion();
    } catch (const std::bad_alloc&) {
        why = memory_failure(-1);
        return failed;
    }
}
