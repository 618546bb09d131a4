// picture FILE OUT [--level L] [--width W]: the whole Open pipeline without
// the window, writing the 256 x 256 picture the viewer would show.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "tools/checked_file.h"
#include "tools/commands.h"
#include "tools/error_line.h"
#include "tools/gray_image_file.h"
#include "viewer/display.h"
#include "viewer/header_walk.h"
#include "viewer/image_step.h"
#include "viewer/messages.h"

namespace {

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

int usage()
{
    std::fprintf(stderr, "usage: velmor-dump picture FILE OUT [--level L] [--width W]\n");
    return 2;
}

} // namespace

int cmd_picture(int argc, char** argv)
{
    if (argc < 2) {
        return usage();
    }
    ViewerState state;
    for (int i = 2; i < argc; i += 2) {
        if (i + 1 >= argc) {
            return usage();
        }
        int32_t* target = std::strcmp(argv[i], "--level") == 0   ? &state.window_level
                          : std::strcmp(argv[i], "--width") == 0 ? &state.window_width
                                                                 : nullptr;
        if (target == nullptr || !parse_int(argv[i + 1], *target)) {
            return usage();
        }
    }

    FilePtr file = open_checked_file(argv[0]);
    if (!file) {
        return 1;
    }
    HeaderListing listing;
    walk_header(file.get(), listing, state);
    file.reset();

    auto samples = std::make_unique<DisplaySamples>();
    samples->fill(0);
    const ImageStepResult result = load_display_image(argv[0], *samples);
    if (result != ImageStepResult::Shown) {
        print_error_line(argv[0], image_step_message(result));
        return 1;
    }
    auto pixels = std::make_unique<DisplayPixels>();
    render_display_pixels(*samples, state.window_level, state.window_width, state.rescale_intercept, *pixels);

    // The display buffer runs bottom row first; pictures are written top row first.
    std::string top_first(pixels->size(), '\0');
    for (int r = 0; r < display_size; ++r) {
        std::memcpy(&top_first[static_cast<std::size_t>(r) * display_size],
                    &(*pixels)[static_cast<std::size_t>(display_size - 1 - r) * display_size], display_size);
    }
    std::string error;
    if (!write_gray_image(argv[1], reinterpret_cast<const uint8_t*>(top_first.data()), display_size, display_size,
                          error)) {
        print_error_line(argv[1], msg::cannot_create, error.c_str());
        return 1;
    }
    return 0;
}
