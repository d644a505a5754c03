#include "diagfill.h"

int main(int argc, char** argv) {
    if (argc != 3) return usage("FORMAT: <infile> <outfile> \n");
    bool console_ok = keep_std_streams_open();
    console messages;
    int result = read_tra_file(argv[1], argv[2], messages);
    return finish(messages, console_ok, result, result == 1);
}
