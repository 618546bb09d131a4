// libjxl, loaded when the first JPEG XL frame is read rather than when the
// program starts: its vector library times the machine's clock when loaded,
// which cost every run of velmor and velmor-dump some 5 ms, JPEG XL or not.
// The functions are the headers' own, called through pointers.
#pragma once

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include <string>

struct jpegxl_library {
    decltype(&::JxlDecoderCreate) JxlDecoderCreate;
    decltype(&::JxlDecoderDestroy) JxlDecoderDestroy;
    decltype(&::JxlDecoderSubscribeEvents) JxlDecoderSubscribeEvents;
    decltype(&::JxlDecoderSetInput) JxlDecoderSetInput;
    decltype(&::JxlDecoderCloseInput) JxlDecoderCloseInput;
    decltype(&::JxlDecoderProcessInput) JxlDecoderProcessInput;
    decltype(&::JxlDecoderGetBasicInfo) JxlDecoderGetBasicInfo;
    decltype(&::JxlDecoderImageOutBufferSize) JxlDecoderImageOutBufferSize;
    decltype(&::JxlDecoderSetImageOutBuffer) JxlDecoderSetImageOutBuffer;
    decltype(&::JxlDecoderSetParallelRunner) JxlDecoderSetParallelRunner;
    decltype(&::JxlThreadParallelRunner) JxlThreadParallelRunner;
    decltype(&::JxlThreadParallelRunnerCreate) JxlThreadParallelRunnerCreate;
    decltype(&::JxlThreadParallelRunnerDestroy) JxlThreadParallelRunnerDestroy;
};

// The functions, the libraries loaded on the first call from any thread;
// null with `error` set when one cannot be loaded.
const jpegxl_library* load_jpegxl_library(std::string& error);

// The functions, once load_jpegxl_library has given them.
const jpegxl_library& jpegxl_functions();
