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
    "  -h, --help   this text\n"
    "  --version    the version\n"
    "More in man onebase.\n"};

int main(int argc, char** argv) {
    if (int status = answer_option(argc, argv, onebase_text); status >= 0) return status;
    if (argc != 3) return usage(onebase_text);
    console messages = open_console(argv[2]);
    failure why;
    int result = read_tra_file(argv[1], argv[2], messages.streams, why);
    return finish(messages, onebase_text, result, result == 1, why);
}
