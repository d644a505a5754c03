#include "diagfill.h"

static constexpr tool_text diagfill_text{
    "diagfill", "FORMAT: <infile> <outfile> \n",
    "Copies the 1-based transition file infile to outfile and inserts into each\n"
    "row that has an entry on or right of the diagonal a diagonal entry holding\n"
    "the negated row sum. An infile of - is standard input, an outfile of -\n"
    "standard output (the messages then go to standard error).\n"
    "Prints \"here\" after the first pass, then \"done: 1\", or \"done: 0\" and the\n"
    "reason on standard error when the run fails.\n"
    "  -h, --help   this text\n"
    "  --version    the version\n"
    "More in man diagfill.\n"};

int main(int argc, char** argv) {
    if (int status = answer_option(argc, argv, diagfill_text); status >= 0) return status;
    if (argc != 3) return usage(diagfill_text);
    console messages = open_console(argv[2]);
    failure why;
    int result = read_tra_file(argv[1], argv[2], messages, why);
    return finish(messages, diagfill_text, result, result == 1, why);
}
