// The state of one image extraction and its steps, shared by single.cpp
// (the walk, the record, the entry points), native_pixels.cpp and
// encapsulated_frames.cpp. Not for callers: they use image/single.h.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "image/codec_video.h"
#include "image/encapsulated_frames.h"
#include "image/image_attributes.h"
#include "image/image_failure.h"
#include "image/single.h"
#include "reader/dicom_reader.h"

// The state of one extraction: the reader it walks, the record it fills, why
// it failed, where the pixels go, and what the walk found of the pixel data,
// kept so that a later frame is decoded without walking the header again.
class ImageExtraction {
public:
    explicit ImageExtraction(DicomReader& reader) : reader_(reader) {}
    ~ImageExtraction() { release(); }
    ImageExtraction(const ImageExtraction&) = delete;
    ImageExtraction& operator=(const ImageExtraction&) = delete;

    // Every frame (`wanted` < 0) or frame `wanted`, walking from the reader's
    // position.
    single_image* extract(int32_t wanted);
    // Frame `wanted` from what an earlier successful extract() of a frame
    // found; null (and everything released) on failure.
    single_image* extract_known_frame(int32_t wanted);
    // Whether extract_known_frame() can be used.
    bool knows_pixel_data() const
    {
        return known_frames_.has_value() || known_native_.has_value() || known_video_ != nullptr;
    }
    single_image* extract_to(pixel_sink& sink)
    {
        sink_ = &sink;
        single_image* image = extract(-1);
        sink_ = nullptr;
        return image;
    }
    // Releases the record's buffers, clears it and forgets the pixel data.
    void release();
    int64_t load_pixel(ELEMENT* element);

    single_image& record() { return record_; }
    const image_failure& failure() const { return failure_; }
    void set_failure(image_failure failure) { failure_ = std::move(failure); }
    void set_threads(unsigned count) { threads_ = count; }
    // The size a one-frame extraction's frame may be reduced to (null:
    // decoded whole); kept by the caller while it is set.
    void set_reduction(const reduction_rule* wanted) { reduction_ = wanted; }

private:
    void reset_record();
    // The pair of the first two values of a split string as a pixel's size, when
    // both are positive numbers; `rank` orders the attributes that give it.
    void store_spacing(const ELEMENT* element, const void* value, int rank);
    // Stores the first value of a freshly loaded element in its field. The
    // palette data array is taken over; every other value is released.
    void store_field(extraction::Field field, ELEMENT* element);
    single_image* fail();
    // Fails with `failure` as the reason.
    single_image* fail(image_failure failure);
    // Fails with `failure` logged at error level as the reason.
    single_image* fail_logged(image_failure failure);
    // The reason the reader stopped, for a failure the reader met: its recorded
    // failure, or `otherwise` when it recorded none.
    image_failure reader_failure(image_failure otherwise);
    single_image* fail_reader(image_failure otherwise = image_failures::data_set_broken());
    // The reason a pixel data value failed to load.
    single_image* fail_pixel_value();
    // The VR decides whether the load converts 16-bit words to host order.
    void fix_native_vr(ELEMENT* element);
    // Loads `element->length` bytes of native pixel data from the stream's
    // position into `pixels`: the length, or -1 when the load failed.
    int64_t load_pixel_value(ELEMENT* element);
    // Native pixel data: loaded as stored, checked against the header.
    single_image* load_native(ELEMENT* element);
    // The UID of the open file's transfer syntax, or null.
    const char* open_transfer_syntax();
    void log_unsupported_syntax();
    // Reads the first item (the Basic Offset Table) and sets up the frame index
    // of the items that follow it, grouped into frames as `codec`'s are.
    // Nothing on failure (the reason recorded).
    std::optional<frame_index> index_the_fragments(single_image& image, const frame_codec& codec);
    // Refuses frames no decoder could make from what is left of the file.
    bool announced_bytes_fit(uint64_t bytes, const frame_codec& codec);
    // The codestream of frame `number` (the first one for the whole image) must
    // announce the data set's frame before any frame is allocated.
    bool frame_header_matches(frame_index& index, const extraction::frame_decoder& decoder, int32_t number);
    // Decodes the frames whose fragments are planned, on `threads` threads
    // taking frames in turn: each into its slot of the image, or, with an output
    // sink, into the thread's own frame buffer and from there to the sink. False
    // when one failed (logged and recorded, unless the sink refused). `first`
    // numbers the plan's first frame.
    bool decode_planned(single_image& image, const extraction::frame_decoder& decoder,
                        const std::vector<std::vector<fragment_span>>& plan, unsigned threads, int64_t first = 0);
    // Nothing, after logging why, when no codec reads the syntax or the
    // fragments cannot be listed.
    std::optional<extraction::encapsulated_frames> open_encapsulated_frames(single_image& image);
    // The fragments of each frame the item list holds; the frames after them
    // (cut off with the file) are all missing the same way. Nothing, after
    // logging why, when the items cannot be listed or end early.
    std::optional<std::vector<std::vector<fragment_span>>> plan_frames(const single_image& image,
                                                                       frame_index& index);
    unsigned threads_for(std::size_t frames);
    // Every frame to the output sink, and zeros for the frames cut off.
    single_image* stream_encapsulated(single_image& image, const extraction::frame_decoder& decoder,
                                      frame_index& index, uint64_t image_bytes);
    // Every frame, each decoded into its slot of one buffer.
    single_image* load_encapsulated();
    // One frame alone, in a buffer of one frame.
    single_image* load_encapsulated_frame(int32_t wanted);
    // The same at a reduced resolution: null with nothing recorded when the
    // reduced decode failed (the whole frame is tried next).
    single_image* load_reduced_frame(const std::vector<fragment_span>& fragments, int32_t wanted);
    // Native pixel data, one frame: only that frame's bytes are read.
    single_image* load_native_frame(ELEMENT* element, int32_t wanted);
    // Video pixel data (video_pixels.cpp): the stream read and indexed, its
    // decoder kept, then every frame (`wanted` < 0) or frame `wanted`.
    single_image* load_video(video_codec codec, int32_t wanted);
    // Frame `wanted` of the stream, in a buffer of one frame.
    single_image* load_video_frame(int32_t wanted);
    // Every frame, in one buffer or to the sink.
    single_image* load_video_frames();

    DicomReader& reader_;
    single_image record_{};
    // Why the last extraction failed.
    image_failure failure_{};
    // Where whole-image extraction hands its pixel bytes, when it keeps none.
    pixel_sink* sink_ = nullptr;
    // Which attribute gave the record's pixel spacing pair: a later one of a
    // higher rank takes over.
    int spacing_rank_ = 0;
    // How many threads whole-image extraction decodes frames on (0: one per core).
    unsigned threads_ = 1;
    const reduction_rule* reduction_ = nullptr;
    // The Extended Offset Table, collected on the way to the pixel data.
    extraction::extended_table extended_{};
    // What the walk of a one-frame extraction found of the pixel data.
    std::optional<extraction::encapsulated_frames> known_frames_;
    struct native_value {
        ELEMENT element;
        uint64_t value_start;
    };
    std::optional<native_value> known_native_;
    // The decoder of video pixel data and where it stands.
    std::unique_ptr<video_decoder> known_video_;
    // Whether the data set gives Number of Frames (video without it has the
    // stream's count).
    bool frames_given_ = false;
};
