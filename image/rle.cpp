// DICOM run-length decoding (transfer syntax 1.2.840.10008.1.2.5).
//
// A frame is a 64-byte header (segment count, then fifteen 32-bit segment
// offsets counted from the start of the frame) followed by the segments. Each
// segment carries one byte plane: segment j of an n-segment frame holds byte j
// of every pixel, most significant byte of a sample first. The decoder reads
// the header and then the segments in one read from the reader's stream, and
// expands all segments side by side a few thousand pixels at a time, so that
// each stretch of the slot is written once, whole pixels at a time, while it
// is in the cache. Nothing is written at or past the end of the slot.
#include "rle.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "reader/dicom.h"
#include "reader/log.h"

namespace {

constexpr uint32_t header_bytes = 64;
constexpr uint32_t offset_slots = 15;
constexpr uint32_t max_segments = 4;
// Spare bytes after the segment buffer.
constexpr std::size_t segment_spare = 10;
// Plane bytes expanded per segment before they are interleaved; a run adds
// at most 128 bytes past it.
constexpr std::size_t chunk_bytes = 8192;
constexpr std::size_t longest_run = 128;

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

namespace {

// One segment being expanded into its byte plane, run by run. `room` is the
// number of plane bytes the slot still has space for.
struct SegmentRuns {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    uint32_t in = 0; // next run header
    std::size_t room = 0;
    bool done = false;     // the segment ended, or a run was cut at the slot's end
    uint32_t consumed = 0; // segment bytes used, once done
};

// Expands whole runs into plane[0..] until at least `want` bytes are there
// or the segment is done; a run may add up to longest_run bytes past `want`.
// Returns the bytes expanded.
std::size_t expand_runs(SegmentRuns& runs, uint8_t* plane, std::size_t want)
{
    std::size_t out = 0;
    const uint8_t* segment = runs.data;
    const uint32_t size = runs.size;
    uint32_t in = runs.in;
    while (out < want) {
        if (in >= size) {
            runs.done = true;
            runs.consumed = in;
            break;
        }
        const uint32_t run_start = in;
        const uint8_t header = segment[in++];
        if (header == 128) {
            continue; // no operation
        }
        std::size_t wanted = 0;
        std::size_t count = 0;
        if (header < 128) {
            // Literal run: copy what the segment still holds of the h + 1 bytes.
            wanted = std::min<std::size_t>(header + 1U, size - in);
            count = std::min(wanted, runs.room);
            std::memcpy(plane + out, segment + in, count);
            in += static_cast<uint32_t>(count);
        } else {
            if (in >= size) {
                runs.done = true; // replicate header without its value byte
                runs.consumed = size;
                break;
            }
            const uint8_t value = segment[in++];
            wanted = 257U - header;
            count = std::min(wanted, runs.room);
            std::memset(plane + out, value, count);
        }
        out += count;
        runs.room -= count;
        if (count < wanted) {
            runs.done = true; // cut at the end of the slot
            runs.consumed = run_start;
            break;
        }
    }
    runs.in = in;
    return out;
}

// Writes count plane bytes to destination[first], destination[first + stride], ...
void scatter(const uint8_t* plane, std::size_t count, uint8_t* destination, std::size_t first, uint32_t stride)
{
    if (count == 0) {
        return; // also the case of an empty (null) slot
    }
    if (stride == 1) {
        std::memcpy(destination + first, plane, count);
        return;
    }
    uint8_t* out = destination + first;
    for (std::size_t k = 0; k < count; ++k, out += stride) {
        *out = plane[k];
    }
}

// Writes `pixels` whole pixels from the planes, starting at pixel `first`,
// each byte where byte_position puts it: a 2- or 4-byte sample is the planes'
// bytes most significant first, stored as a host number; 3 one-byte samples
// stay in plane order.
void interleave_pixels(uint32_t segments, const uint8_t* const* planes, std::size_t pixels, uint8_t* destination,
                       std::size_t first)
{
    uint8_t* out = destination + first * segments;
    const uint8_t* p0 = planes[0];
    const uint8_t* p1 = planes[1];
    const uint8_t* p2 = planes[2];
    const uint8_t* p3 = planes[3];
    switch (segments) {
    case 1: std::memcpy(out, p0, pixels); break;
    case 2:
        for (std::size_t k = 0; k < pixels; ++k, out += 2) {
            const auto sample = static_cast<uint16_t>(p0[k] << 8 | p1[k]);
            std::memcpy(out, &sample, 2);
        }
        break;
    case 3:
        for (std::size_t k = 0; k < pixels; ++k, out += 3) {
            out[0] = p0[k];
            out[1] = p1[k];
            out[2] = p2[k];
        }
        break;
    default:
        for (std::size_t k = 0; k < pixels; ++k, out += 4) {
            const uint32_t sample = uint32_t{p0[k]} << 24 | uint32_t{p1[k]} << 16 | uint32_t{p2[k]} << 8 | p3[k];
            std::memcpy(out, &sample, 4);
        }
        break;
    }
}

} // namespace

uint32_t mdc_dicom_decodeRLE_segment(uint8_t* destination, const uint8_t* segment, uint32_t size, uint32_t stride,
                                     uint32_t start, std::size_t slot_size)
{
    dicom_log(LOG_DEBUG, "mdc_dicom_decodeRLE_segment()");
    if (stride == 0 || destination == nullptr || slot_size == 0) {
        return 0; // no slot to write into: nothing of the segment is taken
    }
    SegmentRuns runs;
    runs.data = segment;
    runs.size = size;
    runs.room = positions_left(start, stride, slot_size);
    std::array<uint8_t, chunk_bytes + longest_run> plane;
    std::size_t out = start;
    while (!runs.done) {
        const std::size_t count = expand_runs(runs, plane.data(), chunk_bytes);
        scatter(plane.data(), count, destination, out, stride);
        out += count * stride;
    }
    return runs.consumed;
}

namespace {

// Expands the first `present` of a frame's `segments` segments into the slot,
// side by side while all are there. Sets the segment bytes each used.
void decode_segments(const uint8_t* const* data, const uint32_t* sizes, uint32_t present, uint8_t* destination,
                     std::size_t slot_size, uint32_t* consumed, uint32_t segments)
{
    if (destination == nullptr || slot_size == 0) {
        std::fill(consumed, consumed + present, 0U); // no slot: nothing is taken
        return;
    }
    std::array<SegmentRuns, max_segments> runs{};
    std::array<uint32_t, max_segments> position{};
    std::vector<uint8_t> buffers(max_segments * (chunk_bytes + longest_run));
    std::array<uint8_t*, max_segments> planes{};
    std::array<std::size_t, max_segments> held{};
    for (uint32_t j = 0; j < present; ++j) {
        position[j] = byte_position(j, segments);
        runs[j].data = data[j];
        runs[j].size = sizes[j];
        runs[j].room = positions_left(position[j], segments, slot_size);
        planes[j] = buffers.data() + j * (chunk_bytes + longest_run);
    }

    // Whole pixels while every plane has bytes.
    std::size_t pixel = 0;
    while (present == segments) {
        std::size_t ready = SIZE_MAX;
        for (uint32_t j = 0; j < segments; ++j) {
            if (held[j] < chunk_bytes && !runs[j].done) {
                held[j] += expand_runs(runs[j], planes[j] + held[j], chunk_bytes - held[j]);
            }
            ready = std::min(ready, held[j]);
        }
        if (ready == 0) {
            break;
        }
        interleave_pixels(segments, planes.data(), ready, destination, pixel);
        pixel += ready;
        for (uint32_t j = 0; j < segments; ++j) {
            held[j] -= ready;
            std::memmove(planes[j], planes[j] + ready, held[j]);
        }
    }

    // Planes of unequal length, or missing ones: the rest of each on its own.
    for (uint32_t j = 0; j < present; ++j) {
        std::size_t out = pixel * segments + position[j];
        for (;;) {
            scatter(planes[j], held[j], destination, out, segments);
            out += held[j] * segments;
            if (runs[j].done) {
                break;
            }
            held[j] = expand_runs(runs[j], planes[j], chunk_bytes);
        }
        consumed[j] = runs[j].consumed;
    }
}

} // namespace

int16_t mdc_dicom_decomp_rle(std::FILE* stream, uint8_t* destination, uint32_t length, std::size_t slot_size)
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

    if (segments == 0) {
        return 0;
    }
    // All segments in one read; they can hold no more than what is left of the file.
    const uint32_t frame_rest = length - offsets[0];
    const int64_t left = dicom_bytes_left();
    const uint32_t readable = static_cast<uint32_t>(std::min<int64_t>(frame_rest, left > 0 ? left : 0));
    auto* buffer = static_cast<uint8_t*>(std::malloc(std::size_t{readable} + segment_spare));
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
    std::memset(buffer + got, 0, segment_spare);

    // What the file holds of each segment. Where the file ends inside a
    // segment, what was there is decoded and the segments after it are not.
    std::array<const uint8_t*, max_segments> data{};
    std::array<uint32_t, max_segments> held{};
    uint32_t present = 0;
    bool cut_short = false;
    for (uint32_t j = 0; j < segments && !cut_short; ++j) {
        const std::size_t begin = offsets[j] - offsets[0];
        const uint32_t size = offsets[j + 1] - offsets[j];
        const std::size_t available = got > begin ? got - begin : 0;
        data[j] = buffer + std::min(begin, got);
        held[j] = static_cast<uint32_t>(std::min<std::size_t>(size, available));
        cut_short = held[j] < size;
        ++present;
    }

    std::array<uint32_t, max_segments> used{};
    decode_segments(data.data(), held.data(), present, destination, slot_size, used.data(), segments);
    std::free(buffer);
    for (uint32_t j = 0; j < present; ++j) {
        if (used[j] < held[j]) {
            dicom_log(LOG_WARNING, "RLE - Segment overflows the frame (cut)");
        }
    }
    if (cut_short) {
        dicom_log(LOG_WARNING, "RLE - Segment cut short by end of file");
    }
    return 0;
}
