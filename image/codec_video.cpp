#include "image/codec_video.h"

#include <algorithm>

#include "image/video_library.h"

namespace {

struct context_closer {
    void operator()(AVCodecContext* context) const { video_functions().avcodec_free_context(&context); }
};
struct frame_closer {
    void operator()(AVFrame* frame) const { video_functions().av_frame_free(&frame); }
};
struct packet_closer {
    void operator()(AVPacket* packet) const { video_functions().av_packet_free(&packet); }
};
struct scaler_closer {
    void operator()(SwsContext* scaler) const { video_functions().sws_freeContext(scaler); }
};

// The swscale matrix of the colour space a picture signals; unsaid, BT.601
// for standard definition and BT.709 above it.
int colour_matrix(AVColorSpace space, int rows)
{
    switch (space) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M: return SWS_CS_ITU601;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    default: return rows > 576 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

} // namespace

struct video_decoder::state {
    video_codec codec;
    video_stream stream;
    uint16_t columns;
    uint16_t rows;
    std::unique_ptr<AVCodecContext, context_closer> context;
    std::unique_ptr<AVFrame, frame_closer> frame;
    std::unique_ptr<AVPacket, packet_closer> packet;
    std::unique_ptr<SwsContext, scaler_closer> scaler;
    bool started = false;         // the context has been fed since it was last flushed
    bool draining = false;        // the end of the stream has been sent
    std::size_t next_picture = 0; // the next picture to send, in stream order
    int32_t next_frame = 0;       // the number of the next frame to come out
    int32_t first_frame = 0;      // the number of the first frame since the last restart

    const char* name() const { return video_codec_name(codec); }

    image_failure broken(int32_t number)
    {
        started = false;
        return image_failures::codestream_broken(name(), number);
    }

    void restart(std::size_t key)
    {
        if (started) {
            video_functions().avcodec_flush_buffers(context.get());
        }
        started = true;
        draining = false;
        next_picture = key;
        next_frame = static_cast<int32_t>(key);
        first_frame = next_frame;
    }

    // Sends the next picture, or the end of the stream once; false when both
    // have been sent or libavcodec refuses the picture.
    bool feed()
    {
        if (next_picture < stream.pictures().size()) {
            const video_picture& picture = stream.pictures()[next_picture];
            packet->data = const_cast<uint8_t*>(stream.bytes().data()) + picture.offset;
            packet->size = static_cast<int>(picture.size);
            packet->pts = static_cast<int64_t>(next_picture);
            ++next_picture;
            const int sent = video_functions().avcodec_send_packet(context.get(), packet.get());
            packet->data = nullptr;
            packet->size = 0;
            return sent >= 0;
        }
        if (draining) {
            return false;
        }
        draining = true;
        return video_functions().avcodec_send_packet(context.get(), nullptr) >= 0;
    }

    image_failure convert(int32_t number, uint8_t* rgb)
    {
        const AVFrame& picture = *frame;
        if (picture.width != columns || picture.height != rows) {
            started = false;
            return image_failures::pixel_data_broken(std::string("The ") + name() + " stream's pictures are " +
                                                     std::to_string(picture.width) + " x " +
                                                     std::to_string(picture.height) + ", the data set's frames " +
                                                     std::to_string(columns) + " x " + std::to_string(rows));
        }
        scaler.reset(video_functions().sws_getCachedContext(
            scaler.release(), columns, rows, static_cast<AVPixelFormat>(picture.format), columns, rows,
            AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!scaler) {
            return broken(number);
        }
        const int full_range = picture.color_range == AVCOL_RANGE_JPEG ? 1 : 0;
        video_functions().sws_setColorspaceDetails(
            scaler.get(), video_functions().sws_getCoefficients(colour_matrix(picture.colorspace, rows)),
            full_range, video_functions().sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        uint8_t* planes[4] = {rgb, nullptr, nullptr, nullptr};
        const int strides[4] = {3 * columns, 0, 0, 0};
        if (video_functions().sws_scale(scaler.get(), picture.data, picture.linesize, 0, rows, planes, strides) !=
            rows) {
            return broken(number);
        }
        return {};
    }
};

video_decoder::video_decoder(std::unique_ptr<state> made) : state_(std::move(made)) {}

video_decoder::~video_decoder() = default;

std::unique_ptr<video_decoder> video_decoder::open(video_codec codec, video_stream stream, uint16_t columns,
                                                   uint16_t rows, std::string& error)
{
    if (load_video_library(error) == nullptr) {
        return nullptr;
    }
    const AVCodec* decoder = video_functions().avcodec_find_decoder(video_codec_id(codec));
    auto made = std::make_unique<state>();
    made->codec = codec;
    made->stream = std::move(stream);
    made->columns = columns;
    made->rows = rows;
    made->context.reset(decoder != nullptr ? video_functions().avcodec_alloc_context3(decoder) : nullptr);
    made->frame.reset(video_functions().av_frame_alloc());
    made->packet.reset(video_functions().av_packet_alloc());
    if (!made->context || !made->frame || !made->packet) {
        error = std::string("No ") + video_codec_name(codec) + " decoder is available";
        return nullptr;
    }
    // Nothing much larger than the data set's frame is ever allocated: the
    // decoder's buffers round the size up to whole blocks and add borders,
    // which for small frames is more than the frame itself.
    made->context->max_pixels = std::max<int64_t>(2 * (int64_t{columns} + 64) * (int64_t{rows} + 64), 1 << 18);
    made->context->thread_count = 0; // one per core
    if (video_functions().avcodec_open2(made->context.get(), decoder, nullptr) < 0) {
        error = std::string("The ") + video_codec_name(codec) + " decoder cannot be opened";
        return nullptr;
    }
    return std::unique_ptr<video_decoder>(new video_decoder(std::move(made)));
}

int32_t video_decoder::frames() const { return static_cast<int32_t>(state_->stream.pictures().size()); }

std::size_t video_decoder::frame_bytes() const { return std::size_t{3} * state_->columns * state_->rows; }

image_failure video_decoder::decode(int32_t number, uint8_t* rgb)
{
    state& s = *state_;
    if (number < 0 || number >= frames()) {
        return image_failures::frame_past_end(number, frames());
    }
    const std::size_t key = s.stream.key_before(static_cast<std::size_t>(number));
    // Forward from the decode under way, unless a clean start lies nearer.
    if (!s.started || s.next_frame > number || static_cast<int64_t>(key) > s.next_frame) {
        s.restart(key);
    }
    for (;;) {
        const int got = video_functions().avcodec_receive_frame(s.context.get(), s.frame.get());
        if (got == 0) {
            const int32_t frame = s.next_frame++;
            image_failure failure = frame == number ? s.convert(number, rgb) : image_failure{};
            video_functions().av_frame_unref(s.frame.get());
            if (frame == number || failure) {
                return failure;
            }
            continue;
        }
        if (got == AVERROR(EAGAIN) && s.feed()) {
            continue;
        }
        if ((got == AVERROR_EOF || (got == AVERROR(EAGAIN) && s.draining)) && s.next_frame > s.first_frame) {
            const int32_t made = s.next_frame;
            s.started = false;
            return image_failures::pixel_data_broken(std::string("The ") + s.name() + " stream gives " +
                                                     std::to_string(made) + " frames: frame " +
                                                     std::to_string(number + 1) + " is missing");
        }
        return s.broken(number);
    }
}
