// onebase on an arbitrary input file: the run succeeds, and the output is
// what the general parse and a plain write give for the same lines, each
// index plus one: the shortcuts for common text (values written from their
// text, indices copied and raised on their text) must not change a byte.
#include "fuzz_support.h"
#include "onebase.h"
#include "padded.h"
#include "transfile.h"

// The index plus one in decimal; the largest index gives 2^63.
static std::string plus_one(std::int64_t v) {
    return v == INT64_MAX ? "9223372036854775808" : std::to_string(v + 1);
}

static std::string expected_output(std::string_view input) {
    std::string out;
    tra_header h;
    tra_entry e;
    std::size_t at = 0;
    for (std::size_t n = 0; at < input.size(); ++n) {
        std::size_t feed = input.find('\n', at);
        std::size_t end = feed == std::string_view::npos ? input.size() : feed;
        std::string line = padded(input.substr(at, end - at));
        at = end + 1;
        if (n == 0) {
            parse_header_line(line.data(), h.states, h.size);
        } else if (n == 1) {
            parse_header_line(line.data(), h.transitions, h.nnz);
            out += h.states + " " + std::to_string(h.size) + "\n" + h.transitions + " " + std::to_string(h.nnz) + "\n";
        } else {
            parse_entry_line(line.data(), line.data() + line.size() - line_padding, e);
            char value[max_fixed6_chars + 8];
            out += plus_one(row_of(e)) + " " + plus_one(col_of(e)) + " ";
            out.append(value, write_fixed6(value, e.val.value));
            out += "\n";
        }
    }
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = as_text(data, size);
    if (starts_compressed(input)) return 0;
    std::string in = scratch_file("in.tra", input);
    std::string out = scratch_dir() + "/out.tra";
    failure why;
    require(read_tra_file(in.c_str(), out.c_str(), false, standard_streams{}, why) == 1);
    require(read_file_text(out) == expected_output(input));
    return 0;
}
