#include "frame.h"
#include "onebase.h"

static constexpr tool_text onebase_text{
    "onebase", "FORMAT: <infile> <outfile> \n",
    "Copies the transition file infile to outfile with one added to every row\n"
    "and column index, turning 0-based indices into 1-based ones. An infile of\n"
    "- is standard input, an outfile of - standard output (the messages then\n"
    "go to standard error).\n"
    "Prints \"done: 1\", or \"done: 0\" and the reason on standard error when the\n"
    "run fails.\n"
    "  --check      as onebase --check infile: list the input's problems and\n"
    "               notes, write no file; status 1 when there are problems\n"
    "  --strict     stop at the first problem --check would report: done: 0\n"
    "  --quiet      no warning at the end of a run that met problems\n"
    "  --           end of the options\n"
    "  -h, --help   this text\n"
    "  --version    the version\n"
    "More in man onebase.\n"};

int main(int argc, char** argv) {
    if (int status = answer_option(argc, argv, onebase_text); status >= 0) return status;
    run_options options = read_options(argc, argv);
    char** files = argv + options.first_file;
    int count = argc - options.first_file;
    failure why;
    if (!misplaced_option(options) && options.check && !options.strict && count == 1) {
        console report = open_console();
        return finish_check(report, onebase_text, check_file(files[0], report.streams, why), why);
    }
    if (misplaced_option(options) || options.check || count != 2) return usage(onebase_text, options);
    console messages = open_console(files[1]);
    check_log seen = make_check_log(check_mode::warn, "");
    int result = read_tra_file(files[0], files[1], options.strict, messages.streams, why, &seen);
    int status = finish(messages, onebase_text, result, result == 1, why);
    if (status == exit_ok && !options.quiet) warn_of_problems(onebase_text, files[0], seen);
    return status;
}
