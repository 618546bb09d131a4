// DICOM run-length decoding of one frame, held in memory or read from an
// open file. Each call keeps its state to itself: frames may be decoded
// on several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The most segments a frame may have (three 32-bit samples, say).
constexpr uint32_t rle_max_segments = 15;

// A frame's header: the segment count and where each segment starts,
// counted from the start of the frame; offsets[segments] is the frame length.
struct rle_frame_header {
    uint32_t segments;
    uint32_t offsets[rle_max_segments + 1];
};

// Takes apart the 64-byte header at the start of a frame of `size` bytes.
// False, after logging why, for a short frame, too many segments or offsets
// that do not ascend inside the frame.
bool rle_parse_header(const uint8_t* data, std::size_t size, rle_frame_header& header);

// Decodes the segments of a frame, `body` holding `got` bytes from the start
// of segment 0 on (fewer than the header announces when the data was cut),
// into the slot `destination` of `slot_size` bytes, every byte of which it
// writes: zero where the segments give nothing. Samples are
// `sample_bytes` wide (0: guessed from the segment count, 2 and 4 segments
// being one sample of that many bytes, 6 and 12 three samples of 2 and 4
// bytes, any other count one-byte samples). Returns 0.
int16_t rle_decode_segments(const rle_frame_header& header, const uint8_t* body, std::size_t got,
                            uint32_t sample_bytes, uint8_t* destination, std::size_t slot_size);

// Decodes the frame of `size` bytes held at `data`, writing every byte of the
// slot as rle_decode_segments does. 0 on success, -1 for a header fault.
int16_t rle_decode_frame(const uint8_t* data, std::size_t size, uint32_t sample_bytes, uint8_t* destination,
                         std::size_t slot_size);

// Reads the RLE frame of `length` bytes at the stream's position (no more
// than the file still holds) and decodes it into the zero-filled slot
// `destination` of `slot_size` bytes as rle_decode_segments does; a frame
// without segments leaves the slot as it was. The stream is left after the
// bytes read: at the end of the frame, or of the file. 0 on success, -1 for a
// header fault (the file ending inside the header too), -2 for a read
// failure, -3 when memory runs out.
int16_t mdc_dicom_decomp_rle(std::FILE* stream, uint8_t* destination, uint32_t length, std::size_t slot_size,
                             uint32_t sample_bytes = 0);

// Decodes `size` segment bytes into destination[start], destination[start +
// stride], ... never at or past destination[slot_size]. Returns the segment
// bytes consumed.
uint32_t mdc_dicom_decodeRLE_segment(uint8_t* destination, const uint8_t* segment, uint32_t size, uint32_t stride,
                                     uint32_t start, std::size_t slot_size);
