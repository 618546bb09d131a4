#include "image/video_library.h"

#include "base/run_time_library.h"

namespace {

// The sonames of the versions the headers describe.
std::string soname(const char* name, int major)
{
    return std::string("lib") + name + ".so." + std::to_string(major);
}

struct loaded_library {
    video_library functions{};
    std::string error; // empty when every function was found
};

loaded_library load()
{
    loaded_library loaded;
    std::string& error = loaded.error;
    void* util = open_run_time_library(soname("avutil", LIBAVUTIL_VERSION_MAJOR), error);
    void* scale =
        util != nullptr ? open_run_time_library(soname("swscale", LIBSWSCALE_VERSION_MAJOR), error) : nullptr;
    void* codec =
        scale != nullptr ? open_run_time_library(soname("avcodec", LIBAVCODEC_VERSION_MAJOR), error) : nullptr;
    if (codec == nullptr) {
        return loaded;
    }
    video_library& f = loaded.functions;
    find_run_time_function(util, "av_log_set_level", f.av_log_set_level, error);
    find_run_time_function(util, "av_frame_alloc", f.av_frame_alloc, error);
    find_run_time_function(util, "av_frame_free", f.av_frame_free, error);
    find_run_time_function(util, "av_frame_unref", f.av_frame_unref, error);
    find_run_time_function(codec, "av_packet_alloc", f.av_packet_alloc, error);
    find_run_time_function(codec, "av_packet_free", f.av_packet_free, error);
    find_run_time_function(codec, "av_parser_init", f.av_parser_init, error);
    find_run_time_function(codec, "av_parser_parse2", f.av_parser_parse2, error);
    find_run_time_function(codec, "av_parser_close", f.av_parser_close, error);
    find_run_time_function(codec, "avcodec_find_decoder", f.avcodec_find_decoder, error);
    find_run_time_function(codec, "avcodec_alloc_context3", f.avcodec_alloc_context3, error);
    find_run_time_function(codec, "avcodec_open2", f.avcodec_open2, error);
    find_run_time_function(codec, "avcodec_free_context", f.avcodec_free_context, error);
    find_run_time_function(codec, "avcodec_flush_buffers", f.avcodec_flush_buffers, error);
    find_run_time_function(codec, "avcodec_send_packet", f.avcodec_send_packet, error);
    find_run_time_function(codec, "avcodec_receive_frame", f.avcodec_receive_frame, error);
    find_run_time_function(scale, "sws_getCachedContext", f.sws_getCachedContext, error);
    find_run_time_function(scale, "sws_setColorspaceDetails", f.sws_setColorspaceDetails, error);
    find_run_time_function(scale, "sws_getCoefficients", f.sws_getCoefficients, error);
    find_run_time_function(scale, "sws_scale", f.sws_scale, error);
    find_run_time_function(scale, "sws_freeContext", f.sws_freeContext, error);
    if (error.empty()) {
        f.av_log_set_level(AV_LOG_QUIET); // failures reach the user as Velmor's own messages
    }
    return loaded;
}

const loaded_library& library()
{
    static const loaded_library loaded = load();
    return loaded;
}

} // namespace

const video_library* load_video_library(std::string& error)
{
    const loaded_library& loaded = library();
    if (!loaded.error.empty()) {
        error = loaded.error;
        return nullptr;
    }
    return &loaded.functions;
}

const video_library& video_functions() { return library().functions; }

AVCodecID video_codec_id(video_codec codec)
{
    switch (codec) {
    case video_codec::mpeg2: return AV_CODEC_ID_MPEG2VIDEO;
    case video_codec::h264: return AV_CODEC_ID_H264;
    case video_codec::hevc: return AV_CODEC_ID_HEVC;
    }
    return AV_CODEC_ID_NONE;
}
