// Memory that a run holds: a byte buffer that grows and shrinks, and the
// deleter for tables taken from the C allocator.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

struct free_deleter {
    void operator()(void* p) const noexcept { std::free(p); }
};

// A byte buffer that grows and shrinks without clearing the new bytes: every
// byte is written before it is read, and clearing megabytes costs as much
// as the work on a small file. Large buffers are resized by realloc, which
// on Linux moves their pages instead of copying them, so that a line of a
// gigabyte is never held twice. Throws std::bad_alloc when memory runs out.
struct byte_buffer {
    std::unique_ptr<char, free_deleter> bytes;
    std::size_t length = 0;
    char* data() const noexcept { return bytes.get(); }
    std::size_t size() const noexcept { return length; }
    void resize(std::size_t n);
};
