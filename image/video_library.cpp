#include "image/video_library.h"

#include <dlfcn.h>

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

template <typename Function>
bool find(void* handle, const char* name, Function& function, std::string& error)
{
    function = reinterpret_cast<Function>(dlsym(handle, name));
    if (function == nullptr && error.empty()) {
        error = std::string("The video libraries lack ") + name;
    }
    return function != nullptr;
}

loaded_library load()
{
    loaded_library loaded;
    std::string& error = loaded.error;
    // Kept open for the life of the process: decoders may live until its end.
    void* util = dlopen(soname("avutil", LIBAVUTIL_VERSION_MAJOR).c_str(), RTLD_NOW | RTLD_LOCAL);
    void* scale = dlopen(soname("swscale", LIBSWSCALE_VERSION_MAJOR).c_str(), RTLD_NOW | RTLD_LOCAL);
    void* codec = dlopen(soname("avcodec", LIBAVCODEC_VERSION_MAJOR).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (util == nullptr || scale == nullptr || codec == nullptr) {
        const char* why = dlerror();
        error = std::string("The video libraries cannot be loaded (") + (why != nullptr ? why : "not found") + ")";
        return loaded;
    }
    video_library& f = loaded.functions;
    find(util, "av_log_set_level", f.av_log_set_level, error);
    find(util, "av_frame_alloc", f.av_frame_alloc, error);
    find(util, "av_frame_free", f.av_frame_free, error);
    find(util, "av_frame_unref", f.av_frame_unref, error);
    find(codec, "av_packet_alloc", f.av_packet_alloc, error);
    find(codec, "av_packet_free", f.av_packet_free, error);
    find(codec, "av_parser_init", f.av_parser_init, error);
    find(codec, "av_parser_parse2", f.av_parser_parse2, error);
    find(codec, "av_parser_close", f.av_parser_close, error);
    find(codec, "avcodec_find_decoder", f.avcodec_find_decoder, error);
    find(codec, "avcodec_alloc_context3", f.avcodec_alloc_context3, error);
    find(codec, "avcodec_open2", f.avcodec_open2, error);
    find(codec, "avcodec_free_context", f.avcodec_free_context, error);
    find(codec, "avcodec_flush_buffers", f.avcodec_flush_buffers, error);
    find(codec, "avcodec_send_packet", f.avcodec_send_packet, error);
    find(codec, "avcodec_receive_frame", f.avcodec_receive_frame, error);
    find(scale, "sws_getCachedContext", f.sws_getCachedContext, error);
    find(scale, "sws_setColorspaceDetails", f.sws_setColorspaceDetails, error);
    find(scale, "sws_getCoefficients", f.sws_getCoefficients, error);
    find(scale, "sws_scale", f.sws_scale, error);
    find(scale, "sws_freeContext", f.sws_freeContext, error);
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
