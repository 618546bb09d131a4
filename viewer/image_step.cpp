#include "image_step.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>

#include "frame_samples.h"
#include "image/single.h"
#include "reader/dicom.h"
#include "viewer/messages.h"
#include "viewer/placement.h"

namespace {

ImageStepResult result_of(const image_failure& failure)
{
    switch (failure.code) {
    case image_failure_code::out_of_memory: return ImageStepResult::OutOfMemory;
    case image_failure_code::frame_past_end:
    case image_failure_code::frame_cut_off: return ImageStepResult::FramePastEnd;
    case image_failure_code::not_shown: return ImageStepResult::NotMonochrome2;
    case image_failure_code::no_pixel_data: return ImageStepResult::NoPixelData;
    default: return ImageStepResult::LoadFailed;
    }
}

image_failure refusal_failure(const single_image& image, int index, FrameRefusal refusal)
{
    switch (refusal) {
    case FrameRefusal::not_displayable:
        return image_failures::not_shown(image.photometric_text[0] != '\0' ? image.photometric_text
                                         : image.photometric >= 0 && image.photometric < photometric_name_count
                                             ? photometric_names[image.photometric]
                                             : "UNKNOWN");
    case FrameRefusal::past_end: return image_failures::frame_past_end(index, FrameSamples::frames_held(image));
    case FrameRefusal::out_of_memory: return image_failures::out_of_memory();
    default: return image_failures::no_samples();
    }
}

} // namespace

const char* image_step_message(ImageStepResult result)
{
    switch (result) {
    case ImageStepResult::Shown: return "";
    case ImageStepResult::OpenFailed: return "dicom_open() Failed.";
    case ImageStepResult::LoadFailed:
    case ImageStepResult::NotMonochrome2:
    case ImageStepResult::OutOfMemory:
    case ImageStepResult::FramePastEnd: return "DICOM Image Load Failed.!";
    case ImageStepResult::NoPixelData: return msg::no_image;
    }
    return "";
}

std::string image_step_box_text(ImageStepResult result, const image_failure& failure)
{
    if (result == ImageStepResult::Shown) {
        return "";
    }
    std::string text = image_step_message(ImageStepResult::LoadFailed);
    if (failure) {
        text += "\n" + failure.message;
    }
    return text;
}

bool build_display_picture(const single_image& image, int index, DisplayPicture& picture, ImageStepResult& result)
{
    image_failure failure;
    return build_display_picture(image, index, picture, result, failure);
}

bool build_display_picture(const single_image& image, int index, DisplayPicture& picture, ImageStepResult& result,
                           image_failure& failure)
{
    return build_display_picture(image, index, index, picture, result, failure);
}

bool build_display_picture(const single_image& image, int index, int frame_number, DisplayPicture& picture,
                           ImageStepResult& result, image_failure& failure)
{
    FrameRefusal refusal = FrameRefusal::none;
    std::optional<FrameImage> frame = FrameImage::of(image, index, frame_number, refusal);
    if (frame && !picture.show(std::move(*frame))) {
        refusal = FrameRefusal::out_of_memory;
    }
    if (refusal != FrameRefusal::none) {
        failure = refusal_failure(image, index, refusal);
        result = result_of(failure);
        return false;
    }
    failure = {};
    result = ImageStepResult::Shown;
    return true;
}

ImageStepResult load_display_image(const char* path, int index, DisplayPicture& picture, FrameInfo& info)
{
    image_failure failure;
    return load_display_image(path, index, picture, info, failure);
}

ImageStepResult load_display_image(const char* path, int index, DisplayPicture& picture, FrameInfo& info,
                                   image_failure& failure)
{
    ImageSource source;
    if (image_failure unopened = source.open(path)) {
        failure = std::move(unopened);
        return ImageStepResult::OpenFailed;
    }
    return frame_picture(source, index, picture, info, failure);
}

namespace {

// Frame `index` of the source into `shown`: the record of that frame alone
// (the record keeps the file's count) goes to `show`. With a rule, at the
// reduced resolution it asks for.
template <typename Show>
ImageStepResult source_frame(ImageSource& source, int index, FrameInfo& info, image_failure& failure, Show show,
                             const reduction_rule* rule = nullptr)
{
    const single_image* image = rule != nullptr ? source.reduced_frame(index, *rule) : source.frame(index);
    failure = image != nullptr ? image_failure{} : source.failure();
    ImageStepResult result = result_of(failure);
    if (image != nullptr) {
        info.count = std::max(image->frames, 1);
        info.bits_allocated = image->bits_allocated;
        show(*image, result);
    }
    return result;
}

// The size a frame reduced for a picture of `size` must keep: the frame's
// extent in it (fit_view), each side rounded up.
reduction_rule covering(PictureSize size)
{
    return [size](const single_image& image) {
        const ViewRect view =
            fit_view(image.columns, image.rows, image.row_spacing, image.column_spacing, size.width, size.height);
        const auto extent = [](int pixels, double scale) {
            return static_cast<uint32_t>(std::max(1.0, std::ceil(pixels * scale - 1e-9)));
        };
        return reduced_size{extent(image.columns, view.scale_x), extent(image.rows, view.scale_y)};
    };
}

} // namespace

ImageStepResult frame_picture(ImageSource& source, int index, DisplayPicture& picture, FrameInfo& info,
                              image_failure& failure, const PictureSize* reduced_for)
{
    const reduction_rule rule = reduced_for != nullptr ? covering(*reduced_for) : reduction_rule{};
    return source_frame(
        source, index, info, failure,
        [&](const single_image& image, ImageStepResult& result) {
            build_display_picture(image, 0, index, picture, result, failure);
        },
        reduced_for != nullptr ? &rule : nullptr);
}

ImageStepResult frame_image(ImageSource& source, int index, FrameImage& shown, FrameInfo& info,
                            image_failure& failure, const PictureSize* reduced_for)
{
    const reduction_rule rule = reduced_for != nullptr ? covering(*reduced_for) : reduction_rule{};
    return source_frame(
        source, index, info, failure,
        [&](const single_image& image, ImageStepResult& result) {
            FrameRefusal refusal = FrameRefusal::none;
            std::optional<FrameImage> frame = FrameImage::of(image, 0, index, refusal);
            if (!frame) {
                failure = refusal_failure(image, 0, refusal);
                result = result_of(failure);
                return;
            }
            shown = std::move(*frame);
            result = ImageStepResult::Shown;
        },
        reduced_for != nullptr ? &rule : nullptr);
}

void choose_open_window(const DisplayPicture& picture, const FrameInfo& info, bool file_sets_window,
                        ViewerState& state)
{
    if (picture.kind != PictureKind::windowed || info.bits_allocated != 32 || file_sets_window) {
        return;
    }
    const WindowSetting window = window_spanning(picture.range);
    state.window_level = window.level;
    state.window_width = window.width;
}
