// diagfill on an arbitrary input file: the run succeeds, prints "here", and
// writes what line-by-line work with the general parse and write gives,
// across the blocks (tiny here) that it reads.

#include "diagfill.h"
#include "fuzz_support.h"
#include "padded.h"
#include "reference_diagfill.h"
#include "transfile.h"

// The header's size sets the table of row sums, 8 bytes a row, cleared for
// every run: past this size runs would slow down, and far past it outgrow
// the fuzzer's memory limit. Rows past the size are fuzzed all the same; a
// huge size is left to the tests, which run diagfill under a memory limit.
constexpr int max_fuzzed_size = 1 << 16;

static bool size_within_reach(std::string_view input) {
    std::string first = padded(input.substr(0, input.find('\n')));
    std::string keyword;
    std::int64_t size = 0;
    parse_header_line(first.data(), keyword, size);
    return size <= max_fuzzed_size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = as_text(data, size);
    if (!size_within_reach(input) || starts_compressed(input)) return 0;
    std::string in = scratch_file("in.tra", input);
    std::string out = scratch_dir() + "/out.tra";
    std::string said = scratch_dir() + "/console";
    console messages{open_output_file(said.c_str(), true), standard_streams{}};
    failure why;
    int result = read_tra_file(in.c_str(), out.c_str(), false, messages, why);
    require(!messages.failed && close_file(messages.fd));
    require(result == 1 && read_file_text(said) == "here\n");
    require(read_file_text(out) == reference_diagfill(input));
    return 0;
}
