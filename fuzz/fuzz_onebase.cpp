// onebase on an arbitrary input file: the run succeeds, and the output is
// what the general parse and write give for the same lines, each index plus
// one: the shortcuts for common text (six decimals kept as they are, indices
// copied and raised on their text) must not change a byte.
#include "fuzz_support.h"
#include "onebase.h"
#include "transfile.h"

// The index plus one in decimal; the largest index gives 2^63.
static std::string plus_one(std::int64_t v) {
    return v == INT64_MAX ? "9223372036854775808" : std::to_string(v + 1);
}

static std::string expected_output(std::string_view input) {
    std::string path = scratch_dir() + "/expected.tra";
    out_buf out = make_out_buf(open_output(path.c_str()), write_block_size);
    tra_header h;
    tra_entry e;
    std::size_t at = 0;
    for (std::size_t n = 0; at < input.size(); ++n) {
        std::size_t feed = input.find('\n', at);
        std::size_t end = feed == std::string_view::npos ? input.size() : feed + 1;
        std::string_view line = input.substr(at, end - at);
        at = end;
        if (n == 0) {
            parse_header_line(line, h.states, h.size);
        } else if (n == 1) {
            parse_header_line(line, h.transitions, h.nnz);
            write_header_line(out, h.states, h.size);
            write_header_line(out, h.transitions, h.nnz);
        } else {
            parse_entry_line(line, e);
            char value[max_fixed6_chars];
            out_put(out, plus_one(e.row) + " " + plus_one(e.col) + " ");
            out_put(out, std::string_view(value, static_cast<std::size_t>(write_fixed6(value, e.val) - value)));
            out_put(out, "\n");
        }
    }
    require(out_close(out));
    return read_file_text(path);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = as_text(data, size);
    std::string in = scratch_file("in.tra", input);
    std::string out = scratch_dir() + "/out.tra";
    require(read_tra_file(in.c_str(), out.c_str()) == 1);
    require(read_file_text(out) == expected_output(input));
    return 0;
}
