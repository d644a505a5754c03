#include "failure.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

failure system_failure(const char* path, int error) {
    failure f;
    f.path = path;
    f.names_path = true;
    f.error = error != 0 ? error : EIO;
    return f;
}

failure own_failure(const char* path, std::string_view reason) {
    failure f;
    f.path = path;
    f.names_path = true;
    std::size_t n = std::min(reason.size(), sizeof f.reason - 1);
    std::memcpy(f.reason, reason.data(), n);
    return f;
}

failure memory_failure(std::int64_t states) {
    failure f = own_failure("", "not enough memory");
    f.names_path = false;
    if (states >= 0) {
        // Written in place: a run out of memory allocates nothing more.
        char* p = f.reason + std::strlen(f.reason);
        std::memcpy(p, " for ", 5);
        p = std::to_chars(p + 5, f.reason + sizeof f.reason, states).ptr;
        std::memcpy(p, " states", 8);
    }
    return f;
}
