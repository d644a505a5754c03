#include "frame.h"
#include "minmark.h"

static constexpr tool_text minmark_text{
    "minmark", "FORMAT: size k <infile> <outfile> \n",
    "Reads the state listing infile and writes to outfile a label file that\n"
    "gives the label \"minimum\" to those of the size states that meet the\n"
    "condition for the threshold k. An infile of - is standard input, an\n"
    "outfile of - standard output (the messages then go to standard error).\n"
    "Prints \"done: size\", or \"done: 0\" and the reason on standard error when\n"
    "the run fails.\n"
    "  --check      as minmark --check size k infile: list the input's problems and\n"
    "               notes, write no file; status 1 when there are problems\n"
    "  --strict     stop at the first problem --check would report: done: 0\n"
    "  --quiet      no warning at the end of a run that met problems\n"
    "  --           end of the options\n"
    "  -h, --help   this text\n"
    "  --version    the version\n"
    "More in man minmark.\n"};

int main(int argc, char** argv) {
    if (int status = answer_option(argc, argv, minmark_text); status >= 0) return status;
    run_options options = read_options(argc, argv);
    char** args = argv + options.first_file;
    int count = argc - options.first_file;
    failure why;
    if (!misplaced_option(options) && options.check && !options.strict && count == 3) {
        console report = open_console();
        return finish_check(report, minmark_text, check_file(args[0], args[1], args[2], report.streams, why), why);
    }
    if (misplaced_option(options) || options.check || count != 4) return usage(minmark_text, options);
    console messages = open_console(args[3]);
    check_log arguments = make_check_log(check_mode::strict, "");
    if (options.strict && !check_arguments(arguments, args[0], args[1]))
        return finish(messages, minmark_text, 0, false, arguments.first);
    check_log seen = make_check_log(check_mode::warn, "");
    mark_result r = read_file(parse_argument(args[0]), parse_argument(args[1]), args[2], args[3], options.strict,
                              messages.streams, why, &seen);
    int status = finish(messages, minmark_text, r.result, r.ok, why);
    if (status == exit_ok && !options.quiet) warn_of_problems(minmark_text, args[2], seen);
    return status;
}
