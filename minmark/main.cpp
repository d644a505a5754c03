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
    "  -h, --help   this text\n"
    "  --version    the version\n"
    "More in man minmark.\n"};

int main(int argc, char** argv) {
    if (int status = answer_option(argc, argv, minmark_text); status >= 0) return status;
    if (argc != 5) return usage(minmark_text);
    console messages = open_console(argv[4]);
    failure why;
    mark_result r = read_file(parse_argument(argv[1]), parse_argument(argv[2]), argv[3], argv[4], messages.streams, why);
    return finish(messages, minmark_text, r.result, r.ok, why);
}
