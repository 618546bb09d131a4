// Lossless JPEG (ITU-T T.81 process 14) decoder for fragments of encapsulated
// pixel data, read from an open file or from memory. Each call owns its
// decoder state: calls on several threads at once are safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Reads `length` bytes of one lossless JPEG stream from `file` and decodes it
// into `output` (capacity `output_size` bytes) at `depth` bits per pixel
// (8, 16 or 24). Returns 0 when the headers were accepted and decoding ran,
// -1 when nothing was decoded. A frame of more than `output_size` bytes at
// this depth is refused (-1, nothing written). The file is left just after
// the fragment, also on failure.
int32_t LosslessJpegDecode(std::FILE* file, uint8_t* output, int32_t depth, int32_t length,
                           std::size_t output_size);

// The same decode from `size` bytes held in memory, without any file: the
// same results and messages as LosslessJpegDecode over a file holding those
// bytes.
int32_t LosslessJpegDecodeBuffer(const uint8_t* data, std::size_t size, uint8_t* output, int32_t depth,
                                 std::size_t output_size);
