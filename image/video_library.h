// libavcodec, libavutil and libswscale, loaded when the first video is read
// rather than when the program starts: linked in, they and the hundred
// libraries they need would cost every run of velmor and velmor-dump some
// 15 ms of start-up, video or not. The functions are the headers' own, called
// through pointers.
#pragma once

#include <string>

#include "image/video_stream.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

struct video_library {
    decltype(&::av_log_set_level) av_log_set_level;
    decltype(&::av_frame_alloc) av_frame_alloc;
    decltype(&::av_frame_free) av_frame_free;
    decltype(&::av_frame_unref) av_frame_unref;
    decltype(&::av_packet_alloc) av_packet_alloc;
    decltype(&::av_packet_free) av_packet_free;
    decltype(&::av_parser_init) av_parser_init;
    decltype(&::av_parser_parse2) av_parser_parse2;
    decltype(&::av_parser_close) av_parser_close;
    decltype(&::avcodec_find_decoder) avcodec_find_decoder;
    decltype(&::avcodec_alloc_context3) avcodec_alloc_context3;
    decltype(&::avcodec_open2) avcodec_open2;
    decltype(&::avcodec_free_context) avcodec_free_context;
    decltype(&::avcodec_flush_buffers) avcodec_flush_buffers;
    decltype(&::avcodec_send_packet) avcodec_send_packet;
    decltype(&::avcodec_receive_frame) avcodec_receive_frame;
    decltype(&::sws_getCachedContext) sws_getCachedContext;
    decltype(&::sws_setColorspaceDetails) sws_setColorspaceDetails;
    decltype(&::sws_getCoefficients) sws_getCoefficients;
    decltype(&::sws_scale) sws_scale;
    decltype(&::sws_freeContext) sws_freeContext;
};

// The functions, the libraries loaded (and their log silenced) on the first
// call from any thread; null with `error` set when one cannot be loaded.
const video_library* load_video_library(std::string& error);

// The functions, once load_video_library has given them.
const video_library& video_functions();

// libavcodec's name for the codec.
AVCodecID video_codec_id(video_codec codec);
