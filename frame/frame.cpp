#include "frame.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "compressed.h"
#include "numbers.h"
#include "output.h"
#include "platform.h"
#include "reader.h"

#ifndef STATETOOLS_VERSION
#define STATETOOLS_VERSION "unknown"
#endif

static void put(int fd, std::string_view text) { write_all(fd, text.data(), text.size()); }

static bool is_argument(const char* arg, std::string_view option) { return std::string_view(arg) == option; }

console open_console(const char* outfile) {
    ignore_write_signals();
    bool data_on_standard_output = outfile != nullptr && goes_to_standard_output(outfile);
    console c{data_on_standard_output ? standard_error : standard_output, keep_standard_streams_open()};
    return c;
}

static const char* console_name(const console& c) {
    return c.fd == standard_output ? "standard output" : "standard error";
}

void console_put(console& c, std::string_view text) {
    if (c.failed) return;
    if (!write_all(c.fd, text.data(), text.size())) {
        c.failed = true;
        c.error = errno;
    }
}

// Closes standard output: false, with the error kept, when it could not be
// written or closed, or was closed when the run began (its stand-in takes
// every write). Standard error, where the messages went there, stays open
// for the reason of a failure.
static bool close_console(console& c) {
    bool was_open = c.fd == standard_output ? c.streams.output : c.streams.error;
    if (!c.failed && !was_open) {
        c.failed = true;
        c.error = EBADF;
    }
    if (!c.failed && c.fd == standard_output && !close_file(c.fd)) {
        c.failed = true;
        c.error = errno;
    }
    return !c.failed;
}

// "tool: path: reason" on standard error, written without allocating. An
// empty path is shown as '' so that its place stays visible.
static void report(const tool_text& tool, const failure& why) {
    put(standard_error, tool.name);
    put(standard_error, ": ");
    if (why.names_path) {
        put(standard_error, why.path.empty() ? "''" : why.path);
        put(standard_error, ": ");
    }
    if (why.reason[0] != '\0')
        put(standard_error, why.reason);
    else
        put(standard_error, why.error != 0 ? std::strerror(why.error) : "the run failed");
    put(standard_error, "\n");
}

// Closes standard output after the messages and says when they could not
// be written.
static bool console_done(console& c, const tool_text& tool) {
    if (close_console(c)) return true;
    report(tool, system_failure(console_name(c), c.error));
    return false;
}

// A lone --help, -h or --version: among other arguments they are out of
// place (the usage line says so), and -h is a file's name.
static const char* asked_option(int argc, char** argv) {
    if (argc != 2) return nullptr;
    if (is_argument(argv[1], "-h")) return "--help";
    return is_argument(argv[1], "--help") || is_argument(argv[1], "--version") ? argv[1] : nullptr;
}

int answer_option(int argc, char** argv, const tool_text& tool) {
    const char* asked = asked_option(argc, argv);
    if (asked == nullptr) return -1;
    bool help = is_argument(asked, "--help");
    console c = open_console();
    if (help) {
        console_put(c, tool.format_line);
        console_put(c, tool.help);
        console_put(c, compressed_formats_line());
    } else {
        console_put(c, tool.name);
        console_put(c, " (statetools) " STATETOOLS_VERSION "\n");
    }
    return console_done(c, tool) ? exit_ok : exit_failed;
}

int usage(const tool_text& tool) {
    console c = open_console();
    console_put(c, tool.format_line);
    console_done(c, tool);
    return exit_usage;
}

run_options read_options(int argc, char** argv) {
    run_options o;
    for (; o.first_file < argc; ++o.first_file) {
        // Only "--..." is an option: "-" is a file, and "-4" may be minmark's
        // size or k.
        const char* arg = argv[o.first_file];
        if (arg[0] != '-' || arg[1] != '-') break;
        if (is_argument(arg, "--")) {
            ++o.first_file;
            break;
        }
        if (is_argument(arg, "--check"))
            o.check = true;
        else if (is_argument(arg, "--strict"))
            o.strict = true;
        else if (is_argument(arg, "--quiet"))
            o.quiet = true;
        else if (o.unknown == nullptr && o.alone == nullptr)
            (is_argument(arg, "--help") || is_argument(arg, "--version") ? o.alone : o.unknown) = arg;
    }
    return o;
}

int usage(const tool_text& tool, const run_options& options) {
    if (options.alone != nullptr) {
        put(standard_error, tool.name);
        put(standard_error, ": ");
        put(standard_error, options.alone);
        put(standard_error, " takes no other arguments\n");
    }
    if (options.unknown != nullptr) {
        put(standard_error, tool.name);
        put(standard_error, ": unknown option ");
        put(standard_error, options.unknown);
        put(standard_error, "\n");
    }
    return usage(tool);
}

// "diagfill: warning: in.tra: 3 problems, the first at line 5: MESSAGE
// (diagfill --check in.tra lists them)"; the line is left out where it is
// unknown, and the name where the input was standard input.
void warn_of_problems(const tool_text& tool, const char* infile, const check_log& seen) {
    if (seen.problems == 0) return;
    bool one = seen.problems == 1;
    std::string text = std::string(tool.name) + ": warning: " + input_name(infile) + ": " +
                       counted(seen.problems, "problem", "problems") + (one ? "" : ", the first");
    if (seen.first_line > 0) text += " at line " + std::to_string(seen.first_line);
    text += ": " + seen.first_message + " (" + std::string(tool.name) + " --check ";
    if (std::string_view(infile) != "-") text += std::string(infile) + " ";
    text += one ? "lists it)\n" : "lists them)\n";
    put(standard_error, text);
}

int finish_check(console& c, const tool_text& tool, const check_result& result, const failure& why) {
    if (!result.read) {
        report(tool, why);
        return exit_failed;
    }
    console_put(c, result.report);
    if (!console_done(c, tool)) return exit_failed;
    return result.clean ? exit_ok : exit_failed;
}

int finish(console& c, const tool_text& tool, std::int64_t result, bool run_ok, const failure& why) {
    char line[max_int_chars + 16] = "done: ";
    char* p = write_int(line + 6, result);
    *p++ = '\n';
    console_put(c, std::string_view(line, static_cast<std::size_t>(p - line)));
    if (!run_ok) {
        close_console(c);
        report(tool, why);
        return exit_failed;
    }
    return console_done(c, tool) ? exit_ok : exit_failed;
}
