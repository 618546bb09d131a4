#include "image/pixel_buffer.h"

#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace extraction {

void* allocate_large(uint64_t bytes)
{
    void* buffer = nullptr;
    if (bytes >= huge_page) {
        const uint64_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
        buffer = std::aligned_alloc(huge_page, rounded);
        if (buffer != nullptr) {
            madvise(buffer, rounded, MADV_HUGEPAGE);
        }
    } else {
        buffer = std::malloc(bytes);
    }
    return buffer;
}

uint8_t* allocate_pixels(uint64_t bytes)
{
    void* buffer = allocate_large(bytes);
    if (buffer != nullptr) {
        std::memset(static_cast<uint8_t*>(buffer) + bytes - trailing_zeros, 0, trailing_zeros);
    }
    return static_cast<uint8_t*>(buffer);
}

} // namespace extraction
