#include "frame.h"
#include "minmark.h"

int main(int argc, char** argv) {
    if (argc != 5) return usage("FORMAT: size k <infile> <outfile> \n");
    console messages = open_console();
    mark_result r = read_file(parse_argument(argv[1]), parse_argument(argv[2]), argv[3], argv[4]);
    return finish(messages, r.result, r.ok);
}
