// DICOM run-length decoding (transfer syntax 1.2.840.10008.1.2.5).
//
// A frame is a 64-byte header (segment count, then fifteen 32-bit segment
// offsets counted from the start of the frame) followed by the segments. Each
// segment carries one byte plane: segment j of an n-segment frame holds byte j
// of every pixel, most significant byte of a sample first. The decoder takes
// the header apart, gets the segments in one piece (held in memory, or read
// from a file into memory first), and expands all segments side by side a few
// thousand pixels at a time, so that each stretch of the slot is written once,
// whole pixels at a time, while it is in the cache. Every decode keeps its
// state on its own stack. Nothing is written at or past the end of the slot.
#include "rle.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "base/file_bytes.h"
#include "base/log.h"

namespace {

constexpr uint32_t header_bytes = 64;
constexpr uint32_t max_segments = rle_max_segments;
// Plane bytes expanded per segment before they are interleaved; a run adds
// at most 128 bytes past it.
constexpr std::size_t chunk_bytes = 8192;
constexpr std::size_t longest_run = 128;

// Number of positions start, start + stride, ... that lie before slot_size.
std::size_t positions_left(std::size_t out, std::size_t stride, std::size_t slot_size)
{
    return out < slot_size ? (slot_size - out - 1) / stride + 1 : 0;
}

// Where segment j of an n-segment frame starts inside each pixel. Segments
// come sample by sample, the most significant byte of a sample first; samples
// of 2 or 4 bytes are laid down in host byte order, so a 16-bit RLE image
// reads as the same numbers as its uncompressed twin. Samples stay
// interleaved pixel by pixel. `sample_bytes` 0 means: 2 or 4 segments are one
// sample of that many bytes, 6 and 12 three samples of 2 and 4 bytes, any
// other count holds one-byte samples.
uint32_t byte_position(uint32_t segment, uint32_t segments, uint32_t sample_bytes)
{
    if (sample_bytes == 0) {
        sample_bytes = segments == 2 || segments == 4 ? segments : segments == 6 ? 2 : segments == 12 ? 4 : 1;
    }
    if (sample_bytes == 1 || segments % sample_bytes != 0 || std::endian::native == std::endian::big) {
        return segment;
    }
    const uint32_t first = segment - segment % sample_bytes;
    return first + sample_bytes - 1 - segment % sample_bytes;
}

// Offsets must start after the header, ascend and stay inside the frame; the
// last entry is the frame's length, so no segment size can be negative.
bool offsets_are_sound(const uint32_t* offsets, uint32_t segments)
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
// byte j of each pixel from plane j at position[j] inside the pixel.
void interleave_pixels(uint32_t segments, const uint8_t* const* planes, const uint32_t* position,
                       std::size_t pixels, uint8_t* destination, std::size_t first)
{
    uint8_t* out = destination + first * segments;
    if (segments == 1) {
        std::memcpy(out, planes[0], pixels);
        return;
    }
    if (segments == 3 && position[0] == 0 && position[1] == 1 && position[2] == 2) {
        const uint8_t* p0 = planes[0];
        const uint8_t* p1 = planes[1];
        const uint8_t* p2 = planes[2];
        for (std::size_t k = 0; k < pixels; ++k, out += 3) {
            out[0] = p0[k];
            out[1] = p1[k];
            out[2] = p2[k];
        }
        return;
    }
    // One sample of 2 or 4 bytes a pixel, most significant plane first: one
    // store per sample (position 0 holds the least significant byte here).
    if (segments == 2 && position[0] == 1) {
        const uint8_t* p0 = planes[0];
        const uint8_t* p1 = planes[1];
        for (std::size_t k = 0; k < pixels; ++k, out += 2) {
            const auto sample = static_cast<uint16_t>(p0[k] << 8 | p1[k]);
            std::memcpy(out, &sample, 2);
        }
        return;
    }
    if (segments == 4 && position[0] == 3 && position[1] == 2) {
        const uint8_t* p0 = planes[0];
        const uint8_t* p1 = planes[1];
        const uint8_t* p2 = planes[2];
        const uint8_t* p3 = planes[3];
        for (std::size_t k = 0; k < pixels; ++k, out += 4) {
            const uint32_t sample = uint32_t{p0[k]} << 24 | uint32_t{p1[k]} << 16 | uint32_t{p2[k]} << 8 | p3[k];
            std::memcpy(out, &sample, 4);
        }
        return;
    }
    for (uint32_t j = 0; j < segments; ++j) {
        const uint8_t* plane = planes[j];
        uint8_t* column = out + position[j];
        for (std::size_t k = 0; k < pixels; ++k) {
            column[k * segments] = plane[k];
        }
    }
}

} // namespace

uint32_t mdc_dicom_decodeRLE_segment(uint8_t* destination, const uint8_t* segment, uint32_t size, uint32_t stride,
                                     uint32_t start, std::size_t slot_size)
{
    dicom_log(LogLevel::debug, "mdc_dicom_decodeRLE_segment()");
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
                     std::size_t slot_size, uint32_t* consumed, uint32_t segments, uint32_t sample_bytes)
{
    if (destination == nullptr || slot_size == 0) {
        std::fill(consumed, consumed + present, 0U); // no slot: nothing is taken
        return;
    }
    std::array<SegmentRuns, max_segments> runs{};
    std::array<uint32_t, max_segments> position{};
    std::vector<uint8_t> buffers(std::size_t{present} * (chunk_bytes + longest_run));
    std::array<uint8_t*, max_segments> planes{};
    std::array<std::size_t, max_segments> held{};
    for (uint32_t j = 0; j < present; ++j) {
        position[j] = byte_position(j, segments, sample_bytes);
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
        interleave_pixels(segments, planes.data(), position.data(), ready, destination, pixel);
        pixel += ready;
        for (uint32_t j = 0; j < segments; ++j) {
            held[j] -= ready;
            std::memmove(planes[j], planes[j] + ready, held[j]);
        }
    }

    // Planes of unequal length, or missing ones: the rest of each on its own,
    // over zeros where the segments give nothing.
    const std::size_t whole = pixel * segments;
    std::memset(destination + whole, 0, slot_size - std::min(whole, slot_size));
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

// Reads one little-endian 32-bit header number from memory.
uint32_t little_number(const uint8_t* bytes)
{
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

bool count_is_sound(uint32_t segments)
{
    if (segments > max_segments) {
        dicom_log(LogLevel::error, "RLE - Maximum of 32 bits images supported");
        return false;
    }
    return true;
}

bool header_is_sound(rle_frame_header& header, uint32_t length)
{
    header.offsets[header.segments] = length;
    if (!offsets_are_sound(header.offsets, header.segments)) {
        dicom_log(LogLevel::error, "RLE - Bad segment offsets");
        return false;
    }
    return true;
}

// Takes the header apart from the `got` bytes held of a frame of `length`
// bytes (length at least the header's size).
bool take_header(const uint8_t* data, std::size_t got, uint32_t length, rle_frame_header& header)
{
    header = rle_frame_header{};
    if (got < 4) {
        dicom_log(LogLevel::error, "RLE - Failure numberSegments");
        return false;
    }
    header.segments = little_number(data);
    if (!count_is_sound(header.segments)) {
        return false;
    }
    if (got < 4 + std::size_t{4} * header.segments) {
        dicom_log(LogLevel::error, "RLE - Failure offsets");
        return false;
    }
    for (uint32_t j = 0; j < header.segments; ++j) {
        header.offsets[j] = little_number(data + 4 + 4 * j);
    }
    return header_is_sound(header, length);
}

} // namespace

bool rle_parse_header(const uint8_t* data, std::size_t size, rle_frame_header& header)
{
    header = rle_frame_header{};
    if (size < header_bytes) {
        dicom_log(LogLevel::error, "RLE - Frame shorter than its header");
        return false;
    }
    return take_header(data, size, static_cast<uint32_t>(std::min<std::size_t>(size, UINT32_MAX)), header);
}

int16_t rle_decode_segments(const rle_frame_header& header, const uint8_t* body, std::size_t got,
                            uint32_t sample_bytes, uint8_t* destination, std::size_t slot_size)
{
    const uint32_t segments = header.segments;
    // What the bytes hold of each segment. Where they end inside a segment,
    // what is there is decoded and the segments after it are not.
    std::array<const uint8_t*, max_segments> data{};
    std::array<uint32_t, max_segments> held{};
    uint32_t present = 0;
    bool cut_short = false;
    for (uint32_t j = 0; j < segments && !cut_short; ++j) {
        const std::size_t begin = header.offsets[j] - header.offsets[0];
        const uint32_t size = header.offsets[j + 1] - header.offsets[j];
        const std::size_t available = got > begin ? got - begin : 0;
        data[j] = body + std::min(begin, got);
        held[j] = static_cast<uint32_t>(std::min<std::size_t>(size, available));
        cut_short = held[j] < size;
        ++present;
    }

    std::array<uint32_t, max_segments> used{};
    decode_segments(data.data(), held.data(), present, destination, slot_size, used.data(), segments,
                    sample_bytes);
    for (uint32_t j = 0; j < present; ++j) {
        if (used[j] < held[j]) {
            dicom_log(LogLevel::warning, "RLE - Segment overflows the frame (cut)");
        }
    }
    if (cut_short) {
        dicom_log(LogLevel::warning, "RLE - Segment cut short by end of file");
    }
    return 0;
}

int16_t rle_decode_frame(const uint8_t* data, std::size_t size, uint32_t sample_bytes, uint8_t* destination,
                         std::size_t slot_size)
{
    dicom_log(LogLevel::debug, "rle_decode_frame()");
    rle_frame_header header;
    if (data == nullptr || !rle_parse_header(data, size, header)) {
        return -1;
    }
    if (header.segments == 0) {
        if (destination != nullptr) {
            std::memset(destination, 0, slot_size);
        }
        return 0;
    }
    return rle_decode_segments(header, data + header.offsets[0], size - header.offsets[0], sample_bytes,
                               destination, slot_size);
}

int16_t mdc_dicom_decomp_rle(std::FILE* stream, uint8_t* destination, uint32_t length, std::size_t slot_size,
                             uint32_t sample_bytes)
{
    dicom_log(LogLevel::debug, "mdc_dicom_decomp_rle()");
    if (length < header_bytes) {
        dicom_log(LogLevel::error, "RLE - Frame shorter than its header");
        return -1;
    }
    // The frame in one read; it can hold no more than what is left of the
    // file. Segments the file ends inside are decoded as far as they go.
    std::vector<uint8_t> frame;
    const FileRead read = read_file_bytes(stream, length, frame);
    if (read == FileRead::out_of_memory) {
        dicom_log(LogLevel::error, "RLE - Out of memory");
        return -3;
    }
    rle_frame_header header;
    if (!take_header(frame.data(), frame.size(), length, header)) {
        return -1;
    }
    if (read == FileRead::read_error) {
        dicom_log(LogLevel::error, "RLE - Failure image read");
        return -2;
    }
    if (header.segments == 0) {
        return 0; // nothing to decode: the slot stays as it was
    }
    const std::size_t first = std::min<std::size_t>(header.offsets[0], frame.size());
    return rle_decode_segments(header, frame.data() + first, frame.size() - first, sample_bytes, destination,
                               slot_size);
}
