#include "image_step.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>

#include "frame_samples.h"
#include "image/single.h"
#include "reader/dicom.h"
#include "viewer/messages.h"

namespace {

ValueRange modality_range(const FrameSamples& frame, const Modality& modality)
{
    const std::array<int64_t, 2> extremes = frame.value_extremes();
    const double a = static_cast<double>(extremes[0]) * modality.slope + modality.intercept;
    const double b = static_cast<double>(extremes[1]) * modality.slope + modality.intercept;
    return {std::min(a, b), std::max(a, b)};
}

void resample_colour(const FrameSamples& frame, DisplayPicture& picture)
{
    const Placement& p = picture.placement;
    const std::size_t origin = static_cast<std::size_t>(p.y) * display_size + static_cast<std::size_t>(p.x);
    auto channel = std::make_unique<DisplaySamples>();
    for (std::size_t c = 0; c < 3; ++c) {
        channel->fill(0);
        const SampleAt at = [&](std::size_t i) { return static_cast<double>(frame.rgb(i)[c]); };
        resample_to_display(at, frame.columns(), frame.rows(), channel->data() + origin, p.width, p.height,
                            display_size);
        for (std::size_t i = 0; i < display_pixel_count; ++i) {
            picture.rgb[i * 3 + c] = static_cast<uint8_t>(std::clamp((*channel)[i], 0, 255));
        }
    }
}

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
    FrameRefusal refusal = FrameRefusal::none;
    const std::optional<FrameSamples> frame = FrameSamples::of(image, index, refusal);
    if (!frame) {
        switch (refusal) {
        case FrameRefusal::not_displayable:
            failure =
                image_failures::not_shown(image.photometric_text[0] != '\0' ? image.photometric_text
                                          : image.photometric >= 0 && image.photometric < photometric_name_count
                                              ? photometric_names[image.photometric]
                                              : "UNKNOWN");
            break;
        case FrameRefusal::past_end:
            failure = image_failures::frame_past_end(index, FrameSamples::frames_held(image));
            break;
        default: failure = image_failures::no_samples(); break;
        }
        result = result_of(failure);
        return false;
    }
    failure = {};
    result = ImageStepResult::Shown;
    picture.placement =
        picture_placement(frame->columns(), frame->rows(), image.row_spacing, image.column_spacing);
    picture.modality = {image.rescale_slope, image.rescale_intercept};
    picture.inverted = frame->colour() == FrameColour::inverted;
    picture.samples.fill(0);
    picture.rgb.fill(0);
    if (frame->colour() == FrameColour::rgb) {
        picture.kind = PictureKind::colour;
        picture.range = {};
        resample_colour(*frame, picture);
        return true;
    }

    const Placement& p = picture.placement;
    int32_t* origin = picture.samples.data() + static_cast<std::size_t>(p.y) * display_size + p.x;
    if (frame->one_bit()) {
        picture.kind = PictureKind::fixed;
        picture.range = {0.0, 255.0};
        const SampleAt at = [&](std::size_t i) { return frame->value(i) != 0 ? 255.0 : 0.0; };
        resample_to_display(at, frame->columns(), frame->rows(), origin, p.width, p.height, display_size);
        return true;
    }
    picture.kind = PictureKind::windowed;
    picture.range = modality_range(*frame, picture.modality);
    const SampleAt at = [&](std::size_t i) { return static_cast<double>(frame->value(i)); };
    resample_to_display(at, frame->columns(), frame->rows(), origin, p.width, p.height, display_size);
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

ImageStepResult frame_picture(ImageSource& source, int index, DisplayPicture& picture, FrameInfo& info,
                              image_failure& failure)
{
    // The source decodes that frame alone; the record keeps the file's count.
    const single_image* image = source.frame(index);
    failure = image != nullptr ? image_failure{} : source.failure();
    ImageStepResult result = result_of(failure);
    if (image != nullptr) {
        info.count = std::max(image->frames, 1);
        info.bits_allocated = image->bits_allocated;
        build_display_picture(*image, 0, picture, result, failure);
    }
    return result;
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
