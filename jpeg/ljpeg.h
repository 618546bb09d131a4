// Lossless JPEG (ITU-T T.81 process 14) decoder for fragments of encapsulated
// pixel data, held in memory or read from an open file. Each call owns its
// decoder state: calls on several threads at once are safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Decodes the lossless JPEG stream of `size` bytes held at `data` into
// `output` (capacity `output_size` bytes) at `depth` bits per pixel (8, 16 or
// 24). Returns 0 when the headers were accepted and decoding ran, -1 when
// nothing was decoded. A frame of more than `output_size` bytes at this depth
// is refused (-1, nothing written).
// `written`, when given, receives the bytes of whole rows written from the
// start of `output`: fewer than the frame's when decoding stopped early (at a
// restart marker out of place), the rest of `output` then left as it was.
int32_t LosslessJpegDecodeBuffer(const uint8_t* data, std::size_t size, uint8_t* output, int32_t depth,
                                 std::size_t output_size, std::size_t* written = nullptr);

// Reads the fragment of `length` bytes at the file's position (no more than
// the file still holds: a short read ends the stream where the file ended)
// and decodes it as LosslessJpegDecodeBuffer does, with its results and
// messages. A negative length is refused (-1, nothing read). The file is
// left just after the fragment, also on failure.
int32_t LosslessJpegDecode(std::FILE* file, uint8_t* output, int32_t depth, int32_t length,
                           std::size_t output_size);

// Takes the next `size` bytes of a decoded frame, whole rows; false stops the
// decode.
using LosslessJpegBandSink = bool (*)(void* context, const uint8_t* rows, std::size_t size);

// The same decode from memory, the frame handed to `take` a band of rows at a
// time, in order, instead of being written to an output: no more than a band
// is held. Depth 8, 16 or 24 only. A frame of more than `frame_size` bytes is
// refused (-1, nothing handed out); otherwise every row of the frame is
// handed out, rows after an early stop as zeros. 0, or -1 when nothing was
// decoded or `take` refused a band.
int32_t LosslessJpegDecodeBands(const uint8_t* data, std::size_t size, int32_t depth, std::size_t frame_size,
                                LosslessJpegBandSink take, void* context);
