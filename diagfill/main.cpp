#include "diagfill.h"

static constexpr tool_text diagfill_text{
    "diagfill", "FORMAT: <infile> <outfile> \n",
    "Copies the 1-based transition file infile to outfile and inserts into each\n"
    "row that has an entry on or right of the diagonal a diagonal entry holding\n"
    "the negated row sum. An infile of - is standard input, an outfile of -\n"
    "standard output (the messages then go to standard error).\n"
    "Prints \"here\" once it has tried to open both files, then \"done: 1\", or\n"
    "\"done: 0\" and the reason on standard error when the run fails.\n"
    "  --check      as diagfill --check infile: list the input's problems and\n"
    "               notes, write no file; status 1 when there are problems\n"
    "  --strict     stop at the first problem --check would report: done: 0\n"
    "  --quiet      no warning at the end of a run that met problems\n"
    "  --           end of the options\n"
    "  -h, --help   this text\n"
    "  --version    the version\n"
    "More in man diagfill.\n"};

int main(int argc, char** argv) {
    if (int status = answer_option(argc, argv, diagfill_text); status >= 0) return status;
    run_options options = read_options(argc, argv);
    char** files = argv + options.first_file;
    int count = argc - options.first_file;
    failure why;
    if (!misplaced_option(options) && options.check && !options.strict && count == 1) {
        console report = open_console();
        return finish_check(report, diagfill_text, check_file(files[0], report.streams, why), why);
    }
    if (misplaced_option(options) || options.check || count != 2) return usage(diagfill_text, options);
    console messages = open_console(files[1]);
    check_log seen = make_check_log(check_mode::warn, "");
    int result = read_tra_file(files[0], files[1], options.strict, messages, why, &seen);
    int status = finish(messages, diagfill_text, result, result == 1, why);
    if (status == exit_ok && !options.quiet) warn_of_problems(diagfill_text, files[0], seen);
    return status;
}
