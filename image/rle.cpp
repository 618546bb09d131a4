// DICOM run-length decoding (transfer syntax 1.2.840.10008.1.2.5).
//
// A frame is a 64-byte header (segment count, then fifteen 32-bit segment
// offsets counted from the start of the frame) followed by the segments. Each
// segment carries one byte plane: segment j of an n-segment frame holds byte j
// of every pixel, most significant byte of a sample first. The decoder reads
// the header and the segments straight from the reader's stream and spreads
// every segment over the frame slot, never writing at or past its end.
#include "rle.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "reader/dicom.h"
#include "reader/log.h"

namespace {

constexpr uint32_t header_bytes = 64;
constexpr uint32_t offset_slots = 15;
constexpr uint32_t max_segments = 4;
// Spare bytes after each segment buffer.
constexpr std::size_t segment_spare = 10;

// Number of positions start, start + stride, ... that lie before slot_size.
std::size_t positions_left(std::size_t out, std::size_t stride, std::size_t slot_size)
{
    return out < slot_size ? (slot_size - out - 1) / stride + 1 : 0;
}

// Where segment j of an n-segment frame starts inside each pixel. The
// encoding puts the most significant byte of a sample in the earlier segment;
// samples of 2 or 4 bytes are laid down in host byte order, so a 16-bit RLE
// image reads as the same numbers as its uncompressed twin. One-byte samples
// (1 or 3 segments) stay in segment order, colour interleaved pixel by pixel.
uint32_t byte_position(uint32_t segment, uint32_t segments)
{
    const bool multi_byte_sample = segments == 2 || segments == 4;
    if (multi_byte_sample && std::endian::native == std::endian::little) {
        return segments - 1 - segment;
    }
    return segment;
}

// Reads one 32-bit header number and converts it to host order.
bool read_header_number(std::FILE* stream, uint32_t& number)
{
    number = 0;
    const std::size_t got = std::fread(&number, sizeof number, 1, stream);
    if (dicom_check_stream(1) != 0 || got != 1) {
        return false;
    }
    dicom_swap(&number, sizeof number);
    return true;
}

// Offsets must start after the header, ascend and stay inside the frame; the
// last entry is the frame's length, so no segment size can be negative.
bool offsets_are_sound(const std::array<uint32_t, max_segments + 1>& offsets, uint32_t segments)
{
    if (segments > 0 && offsets[0] < header_bytes) {
        return false;
    }
    for (uint32_t j = 0; j < segments; ++j) {
        if (offsets[j] > offsets[j + 1]) {
            return false;
        }
    }
    return true;
}

} // namespace

uint32_t mdc_dicom_decodeRLE_segment(uint8_t* destination, const uint8_t* segment, uint32_t size,
                                     uint32_t stride, uint32_t start, std::size_t slot_size)
{
    dicom_log(LOG_DEBUG, "mdc_dicom_decodeRLE_segment()");
    if (stride == 0 || destination == nullptr || slot_size == 0) {
        return 0; // no slot to write into: nothing of the segment is taken
    }
    uint32_t in = 0;
    std::size_t out = start;
    while (in < size) {
        const uint32_t run_start = in;
        const uint8_t header = segment[in++];
        if (header == 128) {
            continue; // no operation
        }
        const std::size_t room = positions_left(out, stride, slot_size);
        if (header < 128) {
            // Literal run: copy what the segment still holds of the h + 1 bytes.
            const std::size_t wanted = std::min<std::size_t>(header + 1U, size - in);
            const std::size_t count = std::min(wanted, room);
            if (stride == 1) {
                std::memcpy(destination + out, segment + in, count);
                out += count;
            } else {
                for (std::size_t k = 0; k < count; ++k, out += stride) {
                    destination[out] = segment[in + k];
                }
            }
            in += static_cast<uint32_t>(count);
            if (count < wanted) {
                return run_start; // cut at the end of the slot
            }
        } else {
            if (in >= size) {
                break; // replicate header without its value byte
            }
            const uint8_t value = segment[in++];
            const std::size_t wanted = 257U - header;
            const std::size_t count = std::min(wanted, room);
            if (stride == 1) {
                std::memset(destination + out, value, count);
                out += count;
            } else {
                for (std::size_t k = 0; k < count; ++k, out += stride) {
                    destination[out] = value;
                }
            }
            if (count < wanted) {
                return run_start; // cut at the end of the slot
            }
        }
    }
    return in;
}

int16_t mdc_dicom_decomp_rle(std::FILE* stream, uint8_t* destination, uint32_t length,
                             std::size_t slot_size)
{
    dicom_log(LOG_DEBUG, "mdc_dicom_decomp_rle()");
    if (length < header_bytes) {
        dicom_log(LOG_ERROR, "RLE - Frame shorter than its header");
        return -1;
    }

    uint32_t segments = 0;
    if (stream == nullptr || !read_header_number(stream, segments)) {
        dicom_log(LOG_ERROR, "RLE - Failure numberSegments");
        return -1;
    }
    if (segments > max_segments) {
        dicom_log(LOG_ERROR, "RLE - Maximum of 32 bits images supported");
        return -1;
    }

    std::array<uint32_t, max_segments + 1> offsets{};
    for (uint32_t j = 0; j < segments; ++j) {
        if (!read_header_number(stream, offsets[j])) {
            dicom_log(LOG_ERROR, "RLE - Failure offsets");
            return -1;
        }
    }
    offsets[segments] = length;
    if (!offsets_are_sound(offsets, segments)) {
        dicom_log(LOG_ERROR, "RLE - Bad segment offsets");
        return -1;
    }

    // Step over the unused offset slots, and over any gap between the header
    // and the first segment, so that the stream stands at segment 0.
    const long unused_slots = static_cast<long>(offset_slots - segments) * 4;
    const long gap = segments > 0 ? static_cast<long>(offsets[0] - header_bytes) : 0;
    const long skip = unused_slots + gap;
    if (std::fseek(stream, skip, SEEK_CUR) != 0 || dicom_check_stream(1) != 0) {
        dicom_log(LOG_ERROR, "RLE - Failure header skip");
        return -1;
    }

    for (uint32_t j = 0; j < segments; ++j) {
        const uint32_t size = offsets[j + 1] - offsets[j];
        // A segment can hold no more than what is left of the file.
        const int64_t left = dicom_bytes_left();
        const uint32_t readable =
            static_cast<uint32_t>(std::min<int64_t>(size, left > 0 ? left : 0));
        auto* buffer = static_cast<uint8_t*>(std::calloc(readable + segment_spare, 1));
        if (buffer == nullptr) {
            dicom_log(LOG_ERROR, "RLE - Out of memory");
            return -3;
        }
        const std::size_t got = std::fread(buffer, 1, readable, stream);
        if (std::ferror(stream) != 0) {
            std::free(buffer);
            dicom_log(LOG_ERROR, "RLE - Failure image read");
            return -2;
        }
        const auto decoded = static_cast<uint32_t>(got);
        const uint32_t used = mdc_dicom_decodeRLE_segment(
            destination, buffer, decoded, segments, byte_position(j, segments), slot_size);
        std::free(buffer);
        if (used < decoded) {
            dicom_log(LOG_WARNING, "RLE - Segment overflows the frame (cut)");
        }
        if (decoded < size) {
            // The file ends inside the segment: what was there is decoded.
            dicom_log(LOG_WARNING, "RLE - Segment cut short by end of file");
            return 0;
        }
    }
    return 0;
}
