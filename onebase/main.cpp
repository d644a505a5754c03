#include "frame.h"
#include "onebase.h"

int main(int argc, char** argv) {
    if (argc != 3) return usage("FORMAT: <infile> <outfile> \n");
    console messages = open_console();
    int result = read_tra_file(argv[1], argv[2]);
    return finish(messages, result, result == 1);
}
