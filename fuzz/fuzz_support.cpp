#include "fuzz_support.h"

#include <fstream>
#include <sstream>
#include <unistd.h>

const std::string& scratch_dir() {
    static const std::string dir = [] {
        std::string pattern = "/dev/shm/statetools-fuzz-XXXXXX";
        require(mkdtemp(pattern.data()) != nullptr);
        return pattern;
    }();
    return dir;
}

std::string scratch_file(const char* name, std::string_view bytes) {
    std::string path = scratch_dir() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    require(static_cast<bool>(out));
    return path;
}

std::string read_file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

