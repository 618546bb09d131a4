// Reads the first frame header of a JPEG stream, stepping over the marker
// segments before it by their lengths.
#include "image/jpeg_frame_header.h"

namespace {

bool is_frame_marker(uint8_t marker)
{
    const bool dct_or_lossless =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    return dct_or_lossless || marker == 0xF7;
}

unsigned big16(const uint8_t* bytes) { return unsigned{bytes[0]} << 8 | bytes[1]; }

// Offset of the first frame header's marker, or size when there is none.
std::size_t find_frame(const uint8_t* data, std::size_t size)
{
    if (data == nullptr || size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        return size;
    }
    std::size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF) {
            return size;
        }
        const uint8_t marker = data[at + 1];
        if (marker == 0xFF) {
            ++at; // fill byte
            continue;
        }
        if (is_frame_marker(marker)) {
            return at;
        }
        if (marker == 0xD9 || marker == 0xDA) {
            return size; // end of image or scan before any frame
        }
        at += 2 + big16(data + at + 2);
    }
    return size;
}

} // namespace

uint8_t jpeg_frame_marker(const uint8_t* data, std::size_t size)
{
    const std::size_t at = find_frame(data, size);
    return at < size ? data[at + 1] : 0;
}

bool read_jpeg_frame_header(const uint8_t* data, std::size_t size, codestream_header& header)
{
    const std::size_t at = find_frame(data, size);
    // FF Cn, length (2), precision (1), lines (2), samples per line (2), components (1)
    if (at >= size || size - at < 10) {
        return false;
    }
    const uint8_t* frame = data + at + 4;
    header.precision = frame[0];
    header.rows = big16(frame + 1);
    header.columns = big16(frame + 3);
    header.components = frame[5];
    header.is_signed = false;
    return true;
}
