// The image and tile sizes a JPEG 2000 codestream (or JP2 file) announces in
// its SIZ marker segment, read without the library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/codec.h"

struct j2k_size {
    codestream_header header; // rows, columns, components, first component's precision and sign
    uint32_t tile_width;
    uint32_t tile_height;
    bool same_components; // every component has the precision, sign and (1, 1) sampling of the first
    bool is_jp2;          // a JP2 file around the codestream
};

// False when the bytes hold no SIZ segment where a codestream (or the jp2c box
// of a JP2 file) should start, or it is cut short or inconsistent.
bool read_j2k_size(const uint8_t* data, std::size_t size, j2k_size& found);

// read_j2k_size for the codec registry.
bool read_j2k_header(const uint8_t* data, std::size_t size, codestream_header& header);
