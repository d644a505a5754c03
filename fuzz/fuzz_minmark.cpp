// minmark on an arbitrary listing, with size and k taken from the input: the
// run succeeds with size as its result, and the label file declares the
// label and then lists states in ascending order, each within 1..size.
#include <cstring>

#include "fuzz_support.h"
#include "numbers.h"
#include "minmark.h"

// The label file is written by a walk over the whole table, so a large size
// would make every run slow; states past the size are listed all the same.
constexpr int max_fuzzed_size = 1 << 16;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8 || starts_compressed(as_text(data + 8, size - 8))) return 0;
    std::int32_t numbers[2];
    std::memcpy(numbers, data, sizeof numbers);
    std::int64_t states = numbers[0] % max_fuzzed_size;
    std::int64_t k = numbers[1];
    std::string in = scratch_file("in.lst", as_text(data + 8, size - 8));
    std::string out = scratch_dir() + "/out.lab";
    failure why;
    mark_result r = read_file(states, k, in.c_str(), out.c_str(), false, standard_streams{}, why);
    require(r.ok && r.result == states);
    std::string labels = read_file_text(out);
    constexpr std::string_view head = "#DECLARATION\nminimum\n#END\n";
    require(labels.compare(0, head.size(), head) == 0);
    const char* p = labels.data() + head.size();
    const char* end = labels.data() + labels.size();
    long long last = 0;
    while (p != end) {
        const char* feed = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        require(feed != nullptr);
        std::int64_t state = 0;
        std::string line(p, feed + 1);
        line.append(line_padding, '\0');
        const char* q = scan_int(line.data(), state);
        require(q != nullptr && std::string_view(q, static_cast<std::size_t>(line.data() + (feed - p) - q)) == "  minimum");
        require(state > last && state <= states);
        last = state;
        p = feed + 1;
    }
    return 0;
}
