#include "image/jpegxl_library.h"

#include <jxl/version.h>

#include "base/run_time_library.h"

namespace {

// libjxl's sonames: "libjxl.so.0.7" while its major version is 0, then "libjxl.so.1".
std::string soname(const char* name)
{
    const std::string version = JPEGXL_MAJOR_VERSION == 0 ? "0." + std::to_string(JPEGXL_MINOR_VERSION)
                                                          : std::to_string(JPEGXL_MAJOR_VERSION);
    return std::string("lib") + name + ".so." + version;
}

struct loaded_library {
    jpegxl_library functions{};
    std::string error; // empty when every function was found
};

loaded_library load()
{
    loaded_library loaded;
    std::string& error = loaded.error;
    void* jxl = open_run_time_library(soname("jxl"), error);
    void* threads = jxl != nullptr ? open_run_time_library(soname("jxl_threads"), error) : nullptr;
    if (threads == nullptr) {
        return loaded;
    }
    jpegxl_library& f = loaded.functions;
    find_run_time_function(jxl, "JxlDecoderCreate", f.JxlDecoderCreate, error);
    find_run_time_function(jxl, "JxlDecoderDestroy", f.JxlDecoderDestroy, error);
    find_run_time_function(jxl, "JxlDecoderSubscribeEvents", f.JxlDecoderSubscribeEvents, error);
    find_run_time_function(jxl, "JxlDecoderSetInput", f.JxlDecoderSetInput, error);
    find_run_time_function(jxl, "JxlDecoderCloseInput", f.JxlDecoderCloseInput, error);
    find_run_time_function(jxl, "JxlDecoderProcessInput", f.JxlDecoderProcessInput, error);
    find_run_time_function(jxl, "JxlDecoderGetBasicInfo", f.JxlDecoderGetBasicInfo, error);
    find_run_time_function(jxl, "JxlDecoderImageOutBufferSize", f.JxlDecoderImageOutBufferSize, error);
    find_run_time_function(jxl, "JxlDecoderSetImageOutBuffer", f.JxlDecoderSetImageOutBuffer, error);
    find_run_time_function(jxl, "JxlDecoderSetParallelRunner", f.JxlDecoderSetParallelRunner, error);
    find_run_time_function(threads, "JxlThreadParallelRunner", f.JxlThreadParallelRunner, error);
    find_run_time_function(threads, "JxlThreadParallelRunnerCreate", f.JxlThreadParallelRunnerCreate, error);
    find_run_time_function(threads, "JxlThreadParallelRunnerDestroy", f.JxlThreadParallelRunnerDestroy, error);
    return loaded;
}

const loaded_library& library()
{
    static const loaded_library loaded = load();
    return loaded;
}

} // namespace

const jpegxl_library* load_jpegxl_library(std::string& error)
{
    const loaded_library& loaded = library();
    if (!loaded.error.empty()) {
        error = loaded.error;
        return nullptr;
    }
    return &loaded.functions;
}

const jpegxl_library& jpegxl_functions() { return library().functions; }
