// picture FILE OUT [--level L] [--width W] [--frame N]: the whole Open
// pipeline without the window, writing the 256 x 256 picture the viewer
// would show of frame N (1-based, the first by default).
#include <climits>
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
#include "viewer/open_pipeline.h"

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
    std::fprintf(stderr, "usage: velmor-dump picture FILE OUT [--level L] [--width W] [--frame N]\n");
    return 2;
}

} // namespace

int cmd_picture(int argc, char** argv)
{
    if (argc < 2) {
        return usage();
    }
    ViewerState state;
    bool level_given = false;
    bool width_given = false;
    int32_t frame = 1;
    for (int i = 2; i < argc; i += 2) {
        if (i + 1 >= argc) {
            return usage();
        }
        int32_t value = 0;
        if (!parse_int(argv[i + 1], value)) {
            return usage();
        }
        if (std::strcmp(argv[i], "--level") == 0) {
            level_given = true;
            state.window_level = value;
        } else if (std::strcmp(argv[i], "--width") == 0) {
            width_given = true;
            state.window_width = value;
        } else if (std::strcmp(argv[i], "--frame") == 0 && value >= 1) {
            frame = value;
        } else {
            return usage();
        }
    }

    OpenedFile opened;
    const bool walked = opened.open(argv[0], state);
    if (!print_file_check(argv[0], opened.check(), opened.error())) {
        return 1;
    }
    if (!walked) {
        print_error_line(argv[0], msg::cannot_open); // not readable from its start again
        return 1;
    }

    auto picture = std::make_unique<DisplayPicture>();
    FrameInfo info;
    image_failure failure;
    // --level and --width stand for the window a previous file left: the
    // file's own window wins over them, and they win over the spanning one.
    const bool window_given = level_given || width_given;
    const ImageStepResult result = open_picture(opened, frame - 1, state, window_given, *picture, info, failure);
    if (result != ImageStepResult::Shown) {
        print_error_line(argv[0], failure ? failure.message.c_str() : image_step_message(result));
        return 1;
    }

    DisplayBitmap bitmap;
    render_display_pixels(*picture, {state.window_level, state.window_width}, bitmap);
    std::string error;
    if (!write_picture_file(argv[1], bitmap.rows.data(), display_size, display_size, bitmap.bytes_per_pixel,
                            error)) {
        print_error_line(argv[1], msg::cannot_create, error.c_str());
        return 1;
    }
    return 0;
}
