// The pixel buffers of extraction: allocated without zero-filling, on huge
// pages when large, with the record's trailing zero bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace extraction {

// The largest encapsulated pixel buffer extraction asks for (4 GiB): a header
// announcing more is answered like a failed allocation.
constexpr uint64_t max_pixel_buffer = uint64_t{1} << 32;
constexpr std::size_t trailing_zeros = 4;

// Allocates `bytes` of pixel buffer, the last 4 of them zero. Large buffers
// are 2 MiB aligned and asked for on huge pages, which spares the kernel
// most of its page faults; nothing else is zero-filled here.
constexpr uint64_t huge_page = uint64_t{2} << 20;

// `bytes` of memory, not zero-filled; on huge pages from 2 MiB on.
void* allocate_large(uint64_t bytes);

uint8_t* allocate_pixels(uint64_t bytes);

// The bytes of one frame, compressed or decoded: grown as needed, never
// zero-filled.
class frame_bytes_buffer {
public:
    frame_bytes_buffer() = default;
    frame_bytes_buffer(const frame_bytes_buffer&) = delete;
    frame_bytes_buffer& operator=(const frame_bytes_buffer&) = delete;
    ~frame_bytes_buffer() { std::free(data_); }

    bool resize(uint64_t size)
    {
        if (size > capacity_) {
            std::free(data_);
            data_ = static_cast<uint8_t*>(allocate_large(std::max<uint64_t>(size, 1)));
            capacity_ = data_ != nullptr ? size : 0;
        }
        size_ = data_ != nullptr ? static_cast<std::size_t>(size) : 0;
        return data_ != nullptr;
    }
    uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    uint64_t capacity_ = 0;
};

} // namespace extraction
