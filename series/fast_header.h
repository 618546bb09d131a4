// The common header read without the stream reader: a file that starts with
// the preamble and "DICM", an explicit VR little endian meta group, and a
// data set in implicit or explicit VR little endian (native or encapsulated
// pixel data) is walked straight from its first bytes to its top-level Pixel
// Data. Anything else - another byte order, a deflated data set, a VR or a
// nesting it does not know, a length past the file - is left to the reader,
// which says what is wrong with it. A folder scan reads thousands of headers
// through this.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

enum class FastHeaderStatus {
    read,        // the walk reached the top-level Pixel Data
    not_handled, // the reader must read this file
    needs_more,  // the bytes end before the Pixel Data: give more of them
};

struct FastHeader {
    FastHeaderStatus status = FastHeaderStatus::not_handled;
    int64_t pixel_value_start = 0; // where the Pixel Data's value starts
    uint32_t pixel_length = 0;     // its length as the file gives it
};

// Walks `bytes`, the start of a file of `file_size` bytes, handing each
// top-level data set element `wanted` picks (a defined length up to 4096)
// to `take` with its VR (the file's, or the dictionary's when implicit) and
// its value bytes.
FastHeader fast_header(std::string_view bytes, int64_t file_size, const std::function<bool(uint32_t tag)>& wanted,
                       const std::function<void(uint32_t tag, int32_t vr, std::string_view value)>& take);
