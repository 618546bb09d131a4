// DICOM run-length decoding of one frame read straight from the reader's stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Decodes the RLE frame of `length` bytes at the stream's position into the
// zero-filled slot `destination` of `slot_size` bytes. 0 on success, -1 for a
// header fault, -2 for a segment read failure, -3 when memory runs out.
int16_t mdc_dicom_decomp_rle(std::FILE* stream, uint8_t* destination, uint32_t length, std::size_t slot_size);

// Decodes `size` segment bytes into destination[start], destination[start +
// stride], ... never at or past destination[slot_size]. Returns the segment
// bytes consumed.
uint32_t mdc_dicom_decodeRLE_segment(uint8_t* destination, const uint8_t* segment, uint32_t size, uint32_t stride,
                                     uint32_t start, std::size_t slot_size);
