#include "image/j2k_size.h"

namespace {

uint32_t big16(const uint8_t* bytes) { return uint32_t{bytes[0]} << 8 | bytes[1]; }

uint32_t big32(const uint8_t* bytes) { return big16(bytes) << 16 | big16(bytes + 2); }

constexpr uint8_t jp2_signature[] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};

bool starts_with_signature(const uint8_t* data, std::size_t size)
{
    if (size < sizeof jp2_signature) {
        return false;
    }
    for (std::size_t k = 0; k < sizeof jp2_signature; ++k) {
        if (data[k] != jp2_signature[k]) {
            return false;
        }
    }
    return true;
}

// Offset of the codestream inside a JP2 file's boxes, or size when none.
std::size_t codestream_in_boxes(const uint8_t* data, std::size_t size)
{
    std::size_t at = 0;
    while (size - at >= 8) {
        uint64_t length = big32(data + at);
        std::size_t header = 8;
        if (length == 1) {
            if (size - at < 16) {
                return size;
            }
            length = uint64_t{big32(data + at + 8)} << 32 | big32(data + at + 12);
            header = 16;
        }
        const bool is_codestream = big32(data + at + 4) == 0x6A703263; // "jp2c"
        if (is_codestream) {
            return at + header;
        }
        if (length == 0 || length < header || length > size - at) {
            return size; // the last box, or a broken one, without the codestream
        }
        at += static_cast<std::size_t>(length);
    }
    return size;
}

} // namespace

bool read_j2k_size(const uint8_t* data, std::size_t size, j2k_size& found)
{
    found = j2k_size{};
    if (data == nullptr) {
        return false;
    }
    std::size_t at = 0;
    found.is_jp2 = starts_with_signature(data, size);
    if (found.is_jp2) {
        at = codestream_in_boxes(data, size);
    }
    // SOC, SIZ marker, Lsiz, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz, XTsiz, YTsiz, XTOsiz, YTOsiz, Csiz
    constexpr std::size_t fixed = 2 + 2 + 2 + 2 + 8 * 4 + 2;
    if (at >= size || size - at < fixed) {
        return false;
    }
    const uint8_t* siz = data + at;
    if (big16(siz) != 0xFF4F || big16(siz + 2) != 0xFF51) {
        return false;
    }
    const uint32_t length = big16(siz + 4);
    const uint32_t image_width = big32(siz + 8);
    const uint32_t image_height = big32(siz + 12);
    const uint32_t x_origin = big32(siz + 16);
    const uint32_t y_origin = big32(siz + 20);
    found.tile_width = big32(siz + 24);
    found.tile_height = big32(siz + 28);
    const uint32_t components = big16(siz + 40);
    if (image_width <= x_origin || image_height <= y_origin || components == 0 || found.tile_width == 0 ||
        found.tile_height == 0 || length != 38 + 3 * components || size - at < 4 + length) {
        return false;
    }
    const uint8_t* first = siz + 42;
    found.header.columns = image_width - x_origin;
    found.header.rows = image_height - y_origin;
    found.header.components = components;
    found.header.precision = (first[0] & 0x7FU) + 1;
    found.header.is_signed = (first[0] & 0x80U) != 0;
    found.same_components = true;
    for (uint32_t c = 0; c < components; ++c) {
        const uint8_t* component = first + 3 * c;
        if (component[0] != first[0] || component[1] != 1 || component[2] != 1) {
            found.same_components = false;
        }
    }
    return true;
}

bool read_j2k_header(const uint8_t* data, std::size_t size, codestream_header& header)
{
    j2k_size found{};
    if (!read_j2k_size(data, size, found)) {
        return false;
    }
    header = found.header;
    return true;
}
