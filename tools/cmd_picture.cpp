// picture FILE OUT [--level L] [--width W] [--frame N] [--size WxH|full]
// [--window N] [--invert] [--overlays]: the whole Open pipeline without the
// window, writing the picture the viewer would show of frame N (1-based,
// the first by default), 256 x 256 unless --size says otherwise.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/checked_file.h"
#include "tools/commands.h"
#include "tools/error_line.h"
#include "tools/gray_image_file.h"
#include "viewer/image_step.h"
#include "viewer/messages.h"
#include "viewer/open_pipeline.h"
#include "viewer/picture_render.h"
#include "viewer/window_choices.h"

namespace {

// The largest picture written: 2^27 pixels.
constexpr int64_t largest_picture = int64_t{1} << 27;

bool parse_int(const char* text, int32_t& value)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < INT32_MIN || v > INT32_MAX) {
        return false;
    }
    value = static_cast<int32_t>(v);
    return true;
}

// "WxH" with both sides positive and the picture not too large, or "full"
// (both 0).
bool parse_size(const char* text, int32_t& width, int32_t& height)
{
    if (std::strcmp(text, "full") == 0) {
        width = height = 0;
        return true;
    }
    const char* x = std::strchr(text, 'x');
    if (x == nullptr) {
        return false;
    }
    const std::string w(text, x);
    if (!parse_int(w.c_str(), width) || !parse_int(x + 1, height) || width < 1 || height < 1) {
        return false;
    }
    return int64_t{width} * height <= largest_picture;
}

bool ends_with(const char* text, const char* suffix)
{
    const std::size_t n = std::strlen(text);
    const std::size_t m = std::strlen(suffix);
    return n >= m && std::strcmp(text + n - m, suffix) == 0;
}

int usage()
{
    std::fprintf(stderr, "usage: velmor-dump picture FILE OUT [--level L] [--width W] [--frame N] "
                         "[--size WxH|full] [--window N] [--invert] [--overlays]\n");
    return 2;
}

struct Options {
    ViewerState state;
    bool level_given = false;
    bool width_given = false;
    int32_t frame = 1;
    int32_t width = display_size; // 0: the frame's own size
    int32_t height = display_size;
    int32_t window = 0; // 1-based in window_choices; 0: the one an Open applies
    bool invert = false;
    bool overlays = false;
};

bool parse_options(int argc, char** argv, Options& options)
{
    for (int i = 2; i < argc; ++i) {
        const char* name = argv[i];
        if (std::strcmp(name, "--invert") == 0) {
            options.invert = true;
            continue;
        }
        if (std::strcmp(name, "--overlays") == 0) {
            options.overlays = true;
            continue;
        }
        if (i + 1 >= argc) {
            return false;
        }
        const char* text = argv[++i];
        if (std::strcmp(name, "--size") == 0) {
            if (!parse_size(text, options.width, options.height)) {
                return false;
            }
            continue;
        }
        int32_t value = 0;
        if (!parse_int(text, value)) {
            return false;
        }
        if (std::strcmp(name, "--level") == 0) {
            options.level_given = true;
            options.state.window_level = value;
        } else if (std::strcmp(name, "--width") == 0) {
            options.width_given = true;
            options.state.window_width = value;
        } else if (std::strcmp(name, "--frame") == 0 && value >= 1) {
            options.frame = value;
        } else if (std::strcmp(name, "--window") == 0 && value >= 1) {
            options.window = value;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int cmd_picture(int argc, char** argv)
{
    Options options;
    if (argc < 2 || !parse_options(argc, argv, options)) {
        return usage();
    }
    const char* out = argv[1];
    if (options.overlays && ends_with(out, ".pgm")) {
        print_error_line(out, msg::cannot_create, "a picture with overlays is written as .png or .ppm, not .pgm");
        return 1;
    }

    ViewerState& state = options.state;
    OpenedFile opened;
    const bool walked = opened.open(argv[0], state);
    if (!print_file_check(argv[0], opened.check(), opened.error())) {
        return 1;
    }
    if (!walked) {
        print_error_line(argv[0], msg::cannot_open); // not readable from its start again
        return 1;
    }

    // A picture smaller than the frame is made from a reduced-resolution
    // decode where the codec offers one; --size full decodes in full.
    FrameImage frame;
    FrameInfo info;
    image_failure failure;
    const PictureSize picture_size{options.width, options.height};
    const ImageStepResult result =
        opened.frame(options.frame - 1, frame, info, failure, options.width > 0 ? &picture_size : nullptr);
    if (result != ImageStepResult::Shown) {
        print_error_line(argv[0], failure ? failure.message.c_str() : image_step_message(result));
        return 1;
    }
    for (const std::string& problem : frame.problems) {
        if (options.overlays || problem.rfind("Overlay ", 0) != 0) {
            print_error_line(argv[0], problem.c_str());
        }
    }

    // --level and --width stand for the window a previous file left: the
    // file's own window wins over them, and they win over the spanning one.
    RenderSettings settings;
    const VoiWindow kept{static_cast<double>(state.window_level), static_cast<double>(state.window_width),
                         VoiFunction::linear};
    settings.voi = open_voi(frame, info.bits_allocated, kept,
                            options.level_given || options.width_given || state.file_sets_window);
    if (options.window > 0) {
        const std::vector<WindowChoice> choices = window_choices(frame);
        if (static_cast<std::size_t>(options.window) > choices.size()) {
            const std::string text = "Window " + std::to_string(options.window) +
                                     " requested: the picture offers " + std::to_string(choices.size()) + ".";
            print_error_line(argv[0], text.c_str());
            return 1;
        }
        settings.voi = choices[static_cast<std::size_t>(options.window) - 1].setting;
    }
    settings.invert = options.invert;
    settings.overlays = options.overlays;

    const bool full = options.width == 0;
    const int width = full ? frame.frame_columns : options.width;
    const int height = full ? frame.frame_rows : options.height;
    const ViewRect view = full ? full_view()
                               : fit_view(frame.frame_columns, frame.frame_rows, frame.row_spacing,
                                          frame.column_spacing, width, height);
    ViewSamples samples;
    PictureBitmap bitmap;
    if (int64_t{width} * height > largest_picture || !view_samples(frame, view, width, height, samples) ||
        !render_picture(frame, samples, settings, bitmap)) {
        print_error_line(argv[0], image_failures::out_of_memory().message.c_str());
        return 1;
    }
    std::string error;
    if (!write_picture_file(out, bitmap.pixels.data(), bitmap.width, bitmap.height, bitmap.channels, error)) {
        print_error_line(out, msg::cannot_create, error.c_str());
        return 1;
    }
    return 0;
}
