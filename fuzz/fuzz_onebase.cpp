// onebase on an arbitrary input file: the run succeeds, and the output has a
// line for every input line once both header lines are there.
#include "fuzz_support.h"
#include "onebase.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = as_text(data, size);
    std::string in = scratch_file("in.tra", input);
    std::string out = scratch_dir() + "/out.tra";
    require(read_tra_file(in.c_str(), out.c_str()) == 1);
    std::size_t lines = count_lines(input);
    std::string written = read_file_text(out);
    require(count_lines(written) == (lines >= 2 ? lines : 0));
    return 0;
}
