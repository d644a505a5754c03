// Why a run failed, as a plain value that every part of a run can give
// back, for the one line the run adds on standard error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The file concerned (none for a lack of memory) and the system's error
// number or a reason of our own.
struct failure {
    std::string path;
    bool names_path = false;  // an empty path is still a path: shown as ''
    int error = 0;
    char reason[256] = {};
};

failure system_failure(const char* path, int error);
failure own_failure(const char* path, std::string_view reason);
// "not enough memory for N states", or for states < 0 "not enough memory".
failure memory_failure(std::int64_t states);
