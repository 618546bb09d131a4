// Encapsulated pixel data: each frame's fragments read into memory and
// decoded by the codec of the transfer syntax, on one or more threads, into
// the image or a sink. The extraction's members for it are in
// encapsulated_frames.cpp too.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "image/codec.h"
#include "image/frame_index.h"
#include "image/image_failure.h"
#include "image/pixel_buffer.h"
#include "image/single.h"
#include "reader/dicom.h"

namespace extraction {

// Reads a frame's fragments back to back into `data`, one positioned read
// each. No failure, or why the read failed (logged).
image_failure read_fragments(int descriptor, const std::vector<fragment_span>& fragments, frame_bytes_buffer& data,
                             uint64_t limit = UINT64_MAX);

// Whether the decoder writes every byte of the slot: a codec whose data
// announces no size always does, the others when the codestream announces
// exactly the frame the data set describes.
bool fills_the_slot(const frame_codec& codec, const frame_bytes_buffer& data, const frame_format& format);

// Hands bytes to the output sink, one thread at a time.
class sink_gate {
public:
    explicit sink_gate(pixel_sink* sink) : sink_(sink) {}
    bool put(uint64_t offset, const uint8_t* bytes, std::size_t size)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return sink_->put(offset, bytes, size);
    }

private:
    pixel_sink* sink_;
    std::mutex mutex_;
};

// How one frame is decoded: its fragments read into memory and handed to the
// codec of the transfer syntax.
struct frame_decoder {
    const frame_codec* codec;
    frame_format format;
    int descriptor;
    uint64_t frame_bytes;

    // Frame `number` into `slot`: no failure, or why it failed (logged).
    image_failure decode(int64_t number, const std::vector<fragment_span>& fragments, uint8_t* slot,
                         frame_bytes_buffer& scratch, frame_layout& layout) const
    {
        if (image_failure failed = read_fragments(descriptor, fragments, scratch)) {
            return failed;
        }
        if (!fills_the_slot(*codec, scratch, format)) {
            std::memset(slot, 0, frame_bytes); // the decoder may leave part of the slot
        }
        layout = {format.photometric, format.planar_configuration};
        if (codec->decode(scratch.data(), scratch.size(), format, slot, frame_bytes, layout) != 0) {
            return image_failures::codestream_broken(codec->name, number);
        }
        return {};
    }

    // Frame `number` at the lowest resolution reaching `wanted`, into `out`.
    image_failure decode_reduced(int64_t number, const std::vector<fragment_span>& fragments, reduced_size wanted,
                                 frame_bytes_buffer& scratch, reduced_frame& out, frame_layout& layout) const
    {
        if (image_failure failed = read_fragments(descriptor, fragments, scratch)) {
            return failed;
        }
        layout = {format.photometric, format.planar_configuration};
        if (codec->decode_reduced(scratch.data(), scratch.size(), format, wanted.columns, wanted.rows, out,
                                  layout) != 0) {
            return image_failures::codestream_broken(codec->name, number);
        }
        return {};
    }

    // The frame handed to the sink at `offset` in bands of rows by a codec
    // that has them, zeros after a codestream frame smaller than the data
    // set's. No failure, or why it failed (logged; not when the sink refused:
    // `refused`).
    image_failure decode_in_bands(int64_t number, const std::vector<fragment_span>& fragments,
                                  frame_bytes_buffer& scratch, frame_layout& layout, sink_gate& gate,
                                  uint64_t offset, bool& refused) const
    {
        if (image_failure failed = read_fragments(descriptor, fragments, scratch)) {
            return failed;
        }
        struct target {
            sink_gate& gate;
            uint64_t offset;
            uint64_t handed;
            uint64_t frame_bytes;
            bool refused;
        } bands_to{gate, offset, 0, frame_bytes, false};
        const band_sink bands{[](void* context, const uint8_t* rows, std::size_t size) {
                                  auto& to = *static_cast<target*>(context);
                                  if (size > to.frame_bytes - to.handed) {
                                      return false; // never past the frame
                                  }
                                  to.refused = !to.gate.put(to.offset + to.handed, rows, size);
                                  to.handed += size;
                                  return !to.refused;
                              },
                              &bands_to};
        layout = {format.photometric, format.planar_configuration};
        const int status =
            codec->decode_bands(scratch.data(), scratch.size(), format, frame_bytes, bands, layout) == 0 ? 0 : -1;
        static constexpr uint8_t zeros[4096] = {};
        while (status == 0 && !bands_to.refused && bands_to.handed < frame_bytes) {
            const std::size_t size = std::min<uint64_t>(sizeof zeros, frame_bytes - bands_to.handed);
            bands.take(&bands_to, zeros, size);
        }
        refused = bands_to.refused;
        if (status != 0 && !refused) {
            return image_failures::codestream_broken(codec->name, number);
        }
        return {};
    }
};

// The Extended Offset Table, collected on the way to the pixel data.
struct extended_table {
    std::vector<uint64_t> offsets;
    std::vector<uint64_t> lengths;
};

std::vector<uint64_t> take_very_long_values(ELEMENT* element);

bool is_extended_table(const ELEMENT* element);

void apply_layout(single_image& image, const frame_layout& layout);

// The codec of the open file and where its frames lie.
struct encapsulated_frames {
    frame_decoder decoder;
    frame_index index;
};

} // namespace extraction
