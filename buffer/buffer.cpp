#include "buffer.h"

#include <new>

void byte_buffer::resize(std::size_t n) {
    void* grown = std::realloc(bytes.get(), n > 0 ? n : 1);
    if (grown == nullptr) throw std::bad_alloc();
    static_cast<void>(bytes.release());
    bytes.reset(static_cast<char*>(grown));
    length = n;
}
