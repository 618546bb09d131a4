// Frames of a video stream (image/video_stream.h) decoded by number with
// libavcodec: frame N is decoded from the last clean start at or before it,
// and a step forward continues the decode already under way. The pictures
// come out as 8-bit RGB, interleaved, through the colour matrix the stream
// signals (BT.601 or BT.709; unsaid: BT.601 up to 576 rows, BT.709 above).
// One decoder per open file, kept while its frames are asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "image/image_failure.h"
#include "image/video_stream.h"

class video_decoder {
public:
    // A decoder of `stream` (indexed) whose frames must be `columns` x `rows`.
    // Null, with `error` saying why, when libavcodec offers no decoder.
    static std::unique_ptr<video_decoder> open(video_codec codec, video_stream stream, uint16_t columns,
                                               uint16_t rows, std::string& error);
    ~video_decoder();
    video_decoder(const video_decoder&) = delete;
    video_decoder& operator=(const video_decoder&) = delete;

    // Pictures the stream holds.
    int32_t frames() const;
    // Bytes of one decoded frame: columns x rows x 3.
    std::size_t frame_bytes() const;
    // Frame `number` (0-based, in display order) into `rgb` (frame_bytes()
    // bytes). No failure, or why (a picture of another size than the data
    // set's, a broken stream, a stream ending before the frame).
    image_failure decode(int32_t number, uint8_t* rgb);

private:
    struct state;
    explicit video_decoder(std::unique_ptr<state> made);
    std::unique_ptr<state> state_;
};
