// diagfill on an arbitrary input file: the run succeeds, prints "here", and
// writes every input line, plus at most one diagonal entry for each row.
#include <fcntl.h>
#include <unistd.h>

#include "diagfill.h"
#include "fuzz_support.h"

// The header's size sets the table of row sums, 8 bytes a row, cleared for
// every run: past this size runs would slow down, and far past it outgrow
// the fuzzer's memory limit. Rows past the size are fuzzed all the same; a
// huge size is left to the tests, which run diagfill under a memory limit.
constexpr int max_fuzzed_size = 1 << 16;

static bool size_within_reach(std::string_view input) {
    std::string_view first = input.substr(0, input.find('\n'));
    std::string keyword;
    int size = 0;
    parse_header_line(first, keyword, size);
    return size <= max_fuzzed_size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = as_text(data, size);
    if (!size_within_reach(input)) return 0;
    std::string in = scratch_file("in.tra", input);
    std::string out = scratch_dir() + "/out.tra";
    std::string said = scratch_dir() + "/console";
    out_buf console = make_out_buf(open_output(said.c_str()), write_block_size, false);  // as the console
    int result = read_tra_file(in.c_str(), out.c_str(), console);
    require(out_close(console));
    require(result == 1 && read_file_text(said) == "here\n");
    std::size_t lines = count_lines(input);
    std::size_t written = count_lines(read_file_text(out));
    if (lines < 2)
        require(written == 0);
    else
        require(written >= lines && written <= 2 * lines - 2);
    return 0;
}
