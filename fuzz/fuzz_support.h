// What the fuzz targets share: a scratch folder, files written from the
// input, and a check that stops the run when a property fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "compressed.h"

// Stops the run, so that the fuzzer keeps the input that broke the property.
inline void require(bool property) {
    if (!property) std::abort();
}

// A folder of this process's own, made on first use.
const std::string& scratch_dir();

// Writes the bytes to a file in the scratch folder and returns its path.
std::string scratch_file(const char* name, std::string_view bytes);

std::string read_file_text(const std::string& path);

// Text that starts as a gzip member or a zstd frame is read as one: the
// targets of plain text leave it to fuzz_compressed.
inline bool starts_compressed(std::string_view text) { return format_named_by(text) != stream_format::plain; }

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}
